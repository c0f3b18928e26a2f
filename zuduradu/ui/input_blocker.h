// Keeps the user's input away from one window and everything on it, without
// greying it out: a conversion that ends within moments should not make the
// window flicker. Other windows, such as a progress dialog, are not affected.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace kv::ui {

class InputBlocker : public QObject {
  Q_OBJECT

 public:
  // Blocks from construction to destruction.
  explicit InputBlocker(QWidget* window);
  ~InputBlocker() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
};

}  // namespace kv::ui
