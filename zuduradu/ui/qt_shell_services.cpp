#include "zuduradu/ui/qt_shell_services.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "zuduradu/ui/name_filters.h"
#include "zuduradu/ui/path_text.h"

namespace kv::ui {

namespace {

// Every box carries its icon; the paths in its texts break only after their separators.
void Prepare(QMessageBox& box, const QString& text, const QString& detail) {
  box.setWindowTitle(QString::fromUtf8(kProgramTitle));
  box.setText(WithPathBreaks(text));
  box.setInformativeText(WithPathBreaks(detail));
}

void ShowMessage(QWidget* owner, QMessageBox::Icon icon, const QString& text, const QString& detail = {}) {
  QMessageBox box(icon, {}, {}, QMessageBox::Ok, owner);
  Prepare(box, text, detail);
  box.exec();
}

}  // namespace

std::optional<QString> QtShellServices::ShowOpenDialog(const DialogRequest& request) {
  return RunDialog(DialogKind::Open, request);
}

std::optional<QString> QtShellServices::ShowSaveDialog(const DialogRequest& request) {
  return RunDialog(DialogKind::Save, request);
}

std::optional<QString> QtShellServices::RunDialog(DialogKind kind, const DialogRequest& request) {
  QFileDialog dialog(owner_, request.title, request.folder);
  if (kind == DialogKind::Open) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmReplace);
  }
  // The descriptions already name their patterns; Qt's copy of them stays hidden.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters(QtNameFilters(request.filter));
  dialog.setDefaultSuffix(request.defaultExtension);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  // A choice the platform's dialog let through against the rules is explained,
  // and the dialog comes back, as the system dialogs do it.
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    const QString problem = DialogChoiceProblem(kind, chosen);
    if (problem.isEmpty()) return QDir::toNativeSeparators(chosen);
    ShowMessage(&dialog, QMessageBox::Warning, problem);
  }
}

void QtShellServices::Beep() { QApplication::beep(); }

void QtShellServices::Warn(const QString& text) { ShowMessage(owner_, QMessageBox::Warning, text); }

std::optional<RasterPlace> QtShellServices::AskRasterPlace(const QString& raster, int layers) {
  RasterPlaceDialog dialog(raster, layers, owner_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.place();
}

bool QtShellServices::Ask(const QString& text) {
  QMessageBox box(QMessageBox::Question, {}, {}, QMessageBox::Yes | QMessageBox::No, owner_);
  Prepare(box, text, {});
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtShellServices::Inform(const QString& text, const QString& detail) {
  ShowMessage(owner_, QMessageBox::Information, text, detail);
}

bool QtShellServices::InformWithAction(const QString& text, const QString& detail, const QString& action) {
  QMessageBox box(QMessageBox::Information, {}, {}, QMessageBox::Ok, owner_);
  Prepare(box, text, detail);
  QPushButton* chosen = box.addButton(action, QMessageBox::ActionRole);
  box.exec();
  return box.clickedButton() == chosen;
}

}  // namespace kv::ui
