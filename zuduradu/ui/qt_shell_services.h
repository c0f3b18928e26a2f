// The shell services on the desktop: QFileDialog, QApplication::beep and
// QMessageBox.
#pragma once

#include <QPointer>
#include <QWidget>

#include "zuduradu/ui/dialog_choice.h"
#include "zuduradu/ui/shell_services.h"

namespace kv::ui {

class QtShellServices : public ShellServices {
 public:
  // Dialogs and message boxes are modal over the owner once it is set.
  void setOwner(QWidget* owner) { owner_ = owner; }

  std::optional<QString> ShowOpenDialog(const DialogRequest& request) override;
  std::optional<QString> ShowSaveDialog(const DialogRequest& request) override;
  void Beep() override;
  void Warn(const QString& text) override;
  bool Ask(const QString& text) override;
  std::optional<RasterPlace> AskRasterPlace(const QString& raster, int layers) override;
  void Inform(const QString& text, const QString& detail) override;
  bool InformWithAction(const QString& text, const QString& detail, const QString& action) override;

 private:
  std::optional<QString> RunDialog(DialogKind kind, const DialogRequest& request);

  QPointer<QWidget> owner_;
};

}  // namespace kv::ui
