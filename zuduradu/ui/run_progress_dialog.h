// The modal dialog that shows how far a conversion is and offers to cancel it
// while the input is still being checked.
//
// It is a plain QDialog rather than QProgressDialog: the latter runs the event
// loop inside setValue when it is modal, which would let the end of the run be
// handled in the middle of a progress update.
#pragma once

#include <QDialog>

#include "zuduradu/core/run/conversion.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kv::ui {

class RunProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RunProgressDialog(QWidget* parent);

  // Back to the state of a run that has just begun.
  void restart();
  void showProgress(const kv::ConversionProgress& progress);

  QLabel* text() const { return text_; }
  QPushButton* cancelButton() const { return cancel_; }

 signals:
  void cancelRequested();

 public slots:
  // Cancel, Escape and the close box all ask for the run to stop; the dialog
  // itself stays until the run has ended.
  void reject() override;

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

}  // namespace kv::ui
