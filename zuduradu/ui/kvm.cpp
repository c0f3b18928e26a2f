// The converter window's start-up and event handlers: browse, type list, GO and
// Close.
#include "zuduradu/ui/kvm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/request.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/ui/app_icon.h"
#include "zuduradu/ui/center_window.h"
#include "zuduradu/ui/drop_rules.h"
#include "zuduradu/ui/grid_caption.h"
#include "zuduradu/ui/input_blocker.h"
#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/preview_dialog.h"
#include "zuduradu/ui/progress_text.h"
#include "zuduradu/ui/run_progress_dialog.h"
#include "zuduradu/ui/shell_services.h"

namespace kv::ui {

namespace {

// The browse dialog of each path row.
const DialogRequest& BrowseRequest(int row) {
  static const DialogRequest requests[3] = {
      {QStringLiteral("ZENTA Models"), QStringLiteral("KV Models (*.kv5)|*.kv5"), QStringLiteral("kv5"), {}},
      {QStringLiteral("Input Data Files"),
       QStringLiteral("Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|Text and CSV Files (*.txt; *.csv)|*.txt;*.csv|"
                      "All files (*)|*.*"),
       {},
       {}},
      {QStringLiteral("Output Data Files"), QStringLiteral("Output Data Files (*.dat)|*.dat|All Files (*.*)|*.*"), {}, {}},
  };
  return requests[row];
}

// A run that lasts longer than this shows the progress dialog.
constexpr int kProgressDelayMs = 500;

}  // namespace

kvm::kvm(ShellServices& shell, const std::string& commandLine, ConversionJob::Runner runner, QWidget* parent)
    : QWidget(parent), shell_(shell), job_(std::move(runner)) {
  setObjectName(QStringLiteral("kvm"));
  createControls();
  placeWindowControls();
  placeTabControls();
  setTabOrder();
  setAcceptDrops(true);

  kv::ResetSettings(settings_);
  CenterWindow(*this);
  setWindowTitle(QString::fromUtf8(kProgramTitle));
  setWindowIcon(AppIcon());
  combo_->setCurrentIndex(0);
  typeChosen(0);
  options_[0]->setChecked(true);
  if (!commandLine.empty()) {
    showBoxes(kv::TakeModelFromCommandLine(settings_, commandLine));
    showGrid();
  }
  buttons_[0]->setFocus();

  for (int row = 0; row < 3; ++row) {
    connect(openButtons_[row], &QPushButton::clicked, this, [this, row] { browse(row); });
  }
  connect(combo_, &QComboBox::activated, this, &kvm::typeChosen);
  // A model path typed into step 1 is taken when the box is left (Enter then
  // still presses GO, which takes it first too).
  connect(fileTexts_[0], &QLineEdit::editingFinished, this, &kvm::takeTypedModel);
  connect(buttons_[0], &QPushButton::clicked, this, &kvm::go);
  connect(buttons_[2], &QPushButton::clicked, this, &QWidget::close);
  connect(previewButton_, &QPushButton::clicked, this, &kvm::preview);

  progressDelay_.setSingleShot(true);
  progressDelay_.setInterval(kProgressDelayMs);
  connect(&progressDelay_, &QTimer::timeout, this, &kvm::showProgressDialog);
  connect(&job_, &ConversionJob::progressed, progress_, &RunProgressDialog::showProgress);
  connect(&job_, &ConversionJob::finished, this, &kvm::runEnded);
  connect(progress_, &RunProgressDialog::cancelRequested, &job_, &ConversionJob::cancel);
}

kvm::~kvm() {
  if (blocker_) QApplication::restoreOverrideCursor();
}

void kvm::showBoxes(const kv::PathBoxes& boxes) {
  if (boxes.model) fileTexts_[0]->setText(FromCore(*boxes.model));
  if (boxes.input) fileTexts_[1]->setText(FromCore(*boxes.input));
  if (boxes.output) fileTexts_[2]->setText(FromCore(*boxes.output));
}

void kvm::showGrid() {
  const QString caption = FromCore(GridCaption(settings_));
  // A long grid size drops its "Grid: " before anything else is shortened.
  const QFontMetrics metrics = gridLabel_->fontMetrics();
  QString shown = caption;
  if (metrics.horizontalAdvance(shown) > gridLabel_->width() && shown.startsWith(QLatin1String("Grid: "))) {
    shown = shown.mid(6);
  }
  gridLabel_->setText(metrics.elidedText(shown, Qt::ElideMiddle, gridLabel_->width()));
  const std::string refusal = settings_.model.state == kv::ModelState::NoneChosen ? "" : kv::ModelRefusal(settings_);
  gridLabel_->setToolTip(refusal.empty() ? caption : FromCore(refusal));
}

void kvm::browse(int row) {
  takeTypedModel();
  DialogRequest request = BrowseRequest(row);
  // Dialogs start in the model's folder, where its files usually are.
  if (!settings_.ModelFolder.empty()) request.folder = FromCore(settings_.ModelFolder);
  const std::optional<QString> chosen = row == kOutputRow ? shell_.ShowSaveDialog(request)
                                                          : shell_.ShowOpenDialog(request);
  if (chosen) take(row, *chosen);
}

void kvm::take(int row, const QString& chosenPath) {
  if (row == kModelRow) {
    // What the boxes show is what the new model may replace.
    settings_.InputPath = ToCore(fileTexts_[1]->text());
    settings_.OutputPath = ToCore(fileTexts_[2]->text());
    showBoxes(kv::TakeModelFromDialog(settings_, ToCore(chosenPath)));
    fileTexts_[0]->setModified(false);
    showGrid();
    return;
  }
  const std::string path = InPathCase(ToCore(chosenPath));
  fileTexts_[row]->setText(FromCore(path));
  (row == kInputRow ? settings_.InputPath : settings_.OutputPath) = path;
}

void kvm::typeChosen(int index) {
  if (const auto name = kv::OutputNameForType(settings_, combo_->itemData(index).toInt())) {
    fileTexts_[2]->setText(FromCore(*name));
  }
}

void kvm::takeTypedModel() {
  if (!fileTexts_[0]->isModified()) return;
  fileTexts_[0]->setModified(false);
  take(kModelRow, fileTexts_[0]->text());
}

bool kvm::ValidateInputs() {
  // The run takes the paths the boxes show, so they are what is checked.
  takeTypedModel();
  const std::string output = ToCore(fileTexts_[2]->text());
  QString problem;
  if (settings_.ModelPath.empty()) {
    problem = tr("Please select a KV Model.");
  } else if (const std::string input = kv::InputProblem(kv::PathFromUtf8(ToCore(fileTexts_[1]->text())), false);
             !input.empty()) {
    problem = FromCore(input);
  } else if (output.empty()) {
    problem = tr("Please specify the name of the output data file");
  } else if (const std::string folder = kv::OutputFolderProblem(kv::PathFromUtf8(output)); !folder.empty()) {
    problem = FromCore(folder);
  }
  if (problem.isEmpty()) return true;
  shell_.Beep();
  shell_.Warn(problem);
  return false;
}

void kvm::go() {
  if (job_.running()) return;
  settings_.InputPath = ToCore(fileTexts_[1]->text());
  if (!ValidateInputs()) return;
  // A model that was not accepted has left the grid size of the one before it.
  if (const std::string refusal = kv::ModelRefusal(settings_); !refusal.empty()) {
    shell_.Beep();
    shell_.Warn(FromCore(refusal));
    return;
  }
  if (!kv::FileExists(kv::PathFromUtf8(settings_.InputPath))) return;

  runOutput_ = fileTexts_[2]->text();
  kv::ConversionRequest request;
  request.input = kv::PathFromUtf8(settings_.InputPath);
  request.output = kv::PathFromUtf8(ToCore(runOutput_));
  request.typeCode = combo_->currentData().toInt();
  // An output named for another type is asked about; No leaves everything as it is.
  if (const QString name = FromCore(kv::OutputNameWarning(request.typeCode, ToCore(runOutput_))); !name.isEmpty() &&
      !shell_.Ask(name.left(1).toUpper() + name.mid(1) + tr(". Convert all the same?"))) {
    return;
  }
  request.grid = settings_.Grid();
  request.createNew = options_[1]->isChecked();
  request.model = kv::PathFromUtf8(settings_.ModelPath);

  blocker_ = std::make_unique<InputBlocker>(this);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  progress_->restart();
  progressDelay_.start();
  job_.start(std::move(request));
}

void kvm::showProgressDialog() {
  if (!job_.running()) return;
  // Over the dialog the pointer says "working, but Cancel can be pressed".
  QApplication::changeOverrideCursor(Qt::BusyCursor);
  progress_->open();
}

void kvm::runEnded(const JobOutcome& outcome) {
  progressDelay_.stop();
  progress_->hide();
  QApplication::restoreOverrideCursor();
  blocker_.reset();
  switch (outcome.kind) {
    case JobOutcome::Kind::Done:
      if (outcome.result.stored == 0) {
        shell_.Inform(tr("Conversion is complete."), FromCore(CompletionDetail(outcome.result, ToCore(runOutput_))));
        break;
      }
      settings_.OutputPath = ToCore(runOutput_);
      if (shell_.InformWithAction(tr("Conversion is complete."),
                                  FromCore(CompletionDetail(outcome.result, ToCore(runOutput_))), tr("Show"))) {
        preview_->showStored(settings_.OutputPath, settings_.Grid(), combo_->currentData().toInt());
      }
      break;
    case JobOutcome::Kind::Failed:
      shell_.Beep();
      shell_.Warn(FromCore(outcome.message));
      break;
    case JobOutcome::Kind::Cancelled:
      shell_.Inform(tr("The conversion was cancelled."),
                    tr("%1 was not changed.").arg(QDir::toNativeSeparators(runOutput_)));
      break;
  }
  emit conversionFinished();
}

void kvm::preview() { preview_->showInput(ToCore(fileTexts_[1]->text()), settings_); }

void kvm::keyPressEvent(QKeyEvent* event) {
  // GO is the default button: Enter anywhere on the window that no control
  // takes for itself presses it.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && buttons_[0]->isEnabled()) {
    buttons_[0]->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void kvm::closeEvent(QCloseEvent* event) {
  // A running conversion is not left half done: the window stays until it ends
  // (the progress dialog can cancel it while the input is being checked).
  if (job_.running()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace kv::ui
