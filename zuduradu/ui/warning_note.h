// A short line the user should not miss, such as a model that was not accepted
// or a path outside the model's folder: the platform's warning icon, then the
// text, both at the right end of the note's place. The note shows its text
// whole; the caller picks a form that fits (FitsWhole).
#pragma once

#include <QLabel>
#include <QWidget>

namespace kv::ui {

class WarningNote : public QWidget {
 public:
  explicit WarningNote(QWidget* parent);

  // The text, its tooltip, and whether the warning icon goes before it. An
  // empty text hides the note's content.
  void say(const QString& text, const QString& tip, bool warning);
  // Whether text fits the note whole, with the icon when warning.
  bool FitsWhole(const QString& text, bool warning) const;

  QLabel* text() const { return text_; }
  QLabel* icon() const { return icon_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  int iconRoom() const;
  void arrange();

  QLabel* icon_;
  QLabel* text_;
};

}  // namespace kv::ui
