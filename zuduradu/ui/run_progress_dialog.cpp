#include "zuduradu/ui/run_progress_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/progress_text.h"
#include "zuduradu/ui/shell_services.h"

namespace kv::ui {

RunProgressDialog::RunProgressDialog(QWidget* parent)
    : QDialog(parent), text_(new QLabel(this)), bar_(new QProgressBar(this)), cancel_(new QPushButton(this)) {
  setWindowTitle(QString::fromUtf8(kProgramTitle));
  setModal(true);
  bar_->setRange(0, 1000);
  bar_->setTextVisible(false);
  cancel_->setText(tr("Cancel"));
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::rejected, this, &RunProgressDialog::reject);
  auto* column = new QVBoxLayout(this);
  column->addWidget(text_);
  column->addWidget(bar_);
  column->addWidget(buttons);
  text_->setMinimumWidth(text_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
  restart();
}

void RunProgressDialog::restart() {
  text_->setText(tr("Reading the input file..."));
  bar_->setValue(0);
  cancel_->setEnabled(true);
}

void RunProgressDialog::showProgress(const kv::ConversionProgress& progress) {
  if (progress.phase == kv::RunPhase::Writing) cancel_->setEnabled(false);
  // After a cancel was asked for, the run may still report until it stops.
  if (cancel_->isEnabled() || progress.phase == kv::RunPhase::Writing) {
    text_->setText(FromCore(ProgressText(progress)));
  }
  bar_->setValue(ProgressPerMille(progress));
}

void RunProgressDialog::reject() {
  if (!cancel_->isEnabled()) return;
  cancel_->setEnabled(false);
  text_->setText(tr("Cancelling..."));
  emit cancelRequested();
}

}  // namespace kv::ui
