// The converter window's start-up and event handlers: browse, type list, GO and
// Close.
#include "zuduradu/ui/kvm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/request.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/ui/app_icon.h"
#include "zuduradu/ui/center_window.h"
#include "zuduradu/ui/drop_rules.h"
#include "zuduradu/ui/grid_caption.h"
#include "zuduradu/ui/input_blocker.h"
#include "zuduradu/ui/kvm_layout.h"
#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/preview_dialog.h"
#include "zuduradu/ui/progress_text.h"
#include "zuduradu/ui/run_progress_dialog.h"
#include "zuduradu/ui/shell_services.h"
#include "zuduradu/ui/warning_note.h"

namespace kv::ui {

namespace {

// The browse dialog of each path row.
const DialogRequest& BrowseRequest(int row) {
  static const DialogRequest requests[3] = {
      {QStringLiteral("ZENTA Models"), QStringLiteral("KV Models (*.kv5)|*.kv5"), QStringLiteral("kv5"), {}, {}},
      {QStringLiteral("Input Data Files"),
       QStringLiteral("Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|Text and CSV Files (*.txt; *.csv)|*.txt;*.csv|"
                      "All files (*)|*.*"),
       {},
       {},
       {}},
      {QStringLiteral("Output Data Files"), QStringLiteral("Output Data Files (*.dat)|*.dat|All Files (*.*)|*.*"), {},
       {}, {}},
  };
  return requests[row];
}

// Where a dialog starts without a model: the user's documents, not the folder the program was started in.
QString DocumentsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QDir(documents).exists() ? documents : QDir::homePath();
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
  options_[kAppendOption]->setChecked(true);
  if (!commandLine.empty()) {
    showBoxes(kv::TakeModelFromCommandLine(settings_, commandLine));
    showGrid();
  }
  buttons_[kGoButton]->setFocus();

  for (int row = 0; row < 3; ++row) {
    connect(openButtons_[row], &QPushButton::clicked, this, [this, row] { browse(row); });
  }
  connect(combo_, &QComboBox::activated, this, &kvm::typeChosen);
  // A model path typed into step 1 is taken when the box is left (Enter then
  // still presses GO, which takes it first too).
  connect(fileTexts_[kModelRow], &QLineEdit::editingFinished, this, &kvm::takeTypedModel);
  for (int row : {kInputRow, kOutputRow})
    connect(fileTexts_[row], &QLineEdit::textChanged, this, &kvm::showOutsideNotes);
  connect(buttons_[kGoButton], &QPushButton::clicked, this, &kvm::go);
  connect(buttons_[kCloseButton], &QPushButton::clicked, this, &QWidget::close);
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
  if (boxes.model) fileTexts_[kModelRow]->setText(FromCore(*boxes.model));
  if (boxes.input) fileTexts_[kInputRow]->setText(FromCore(*boxes.input));
  if (boxes.output) fileTexts_[kOutputRow]->setText(FromCore(*boxes.output));
}

QLabel* kvm::GridLabel() const { return gridNote_->text(); }

void kvm::showGrid() {
  const bool refused = settings_.model.state != kv::ModelState::NoneChosen && !settings_.model.accepted();
  // The first form that fits whole; the tooltip holds the whole caption, or the whole refusal.
  const std::vector<std::string> forms = GridCaptionForms(settings_);
  QString shown = FromCore(forms.back());
  for (const std::string& form : forms) {
    if (gridNote_->FitsWhole(FromCore(form), refused)) {
      shown = FromCore(form);
      break;
    }
  }
  gridNote_->say(shown, FromCore(refused ? kv::ModelRefusal(settings_) : forms.front()), refused);
}

void kvm::showOutsideNotes() {
  for (int row : {kInputRow, kOutputRow}) {
    const std::string path = ToCore(fileTexts_[row]->text());
    const bool outside = !settings_.ModelPath.empty() && !kv::LiesInFolder(settings_.ModelFolder, path);
    // The longest form that fits whole beside the caption; the tooltip says it all.
    const QString forms[] = {tr("Outside the model's folder"), tr("Outside its folder"), tr("Outside")};
    QString note = forms[2];
    for (const QString& form : forms) {
      if (outsideNotes_[row]->FitsWhole(form, true)) {
        note = form;
        break;
      }
    }
    outsideNotes_[row]->say(outside ? note : QString(),
                            outside ? tr("%1 lies outside the folder %2 of the model %3.")
                                          .arg(fileTexts_[row]->text(), FromCore(settings_.ModelFolder),
                                               FromCore(settings_.ModelPath))
                                    : QString(),
                            outside);
  }
}

// The question GO asks before converting with an input or output outside the model's folder; empty when both lie in it.
QString kvm::outsideQuestion() const {
  QStringList outside;
  if (!outsideNotes_[kInputRow]->text()->text().isEmpty())
    outside << tr("the input file %1").arg(fileTexts_[kInputRow]->text());
  if (!outsideNotes_[kOutputRow]->text()->text().isEmpty())
    outside << tr("the output file %1").arg(fileTexts_[kOutputRow]->text());
  if (outside.isEmpty()) return {};
  const QString what = outside.join(tr(" and "));
  return tr("%1 %2 outside the folder of the model %3, whose grid the run uses. Convert anyway?")
      .arg(what.left(1).toUpper() + what.mid(1), outside.size() > 1 ? tr("lie") : tr("lies"),
           FromCore(settings_.ModelPath));
}

// The dialog of a browse button: it starts in the model's folder, else in the documents. The output's
// starts on the output itself, lists the chosen type's files first, and asks before replacing a file only
// when the run would create it anew.
DialogRequest kvm::browseRequest(int row) const {
  DialogRequest request = BrowseRequest(row);
  request.folder = settings_.ModelFolder.empty() ? DocumentsFolder() : FromCore(settings_.ModelFolder);
  if (row == kInputRow) {
    // Rasters from a GIS are one data set each; GeoTIFF only where GDAL is built in.
    const QString rasters = kv::HaveGdal() ? QStringLiteral("Rasters (*.asc; *.tif; *.tiff)|*.asc;*.tif;*.tiff|")
                                           : QStringLiteral("ESRI ASCII Grids (*.asc)|*.asc|");
    const qsizetype all = request.filter.lastIndexOf(QStringLiteral("All files"));
    request.filter.insert(all, rasters);
  }
  if (row != kOutputRow) return request;
  request.confirmReplace = options_[kCreateOption]->isChecked();
  const int code = combo_->currentData().toInt();
  if (const std::string_view extension = kv::ExtensionFor(code); code != 0 && !extension.empty()) {
    const QString pattern = u'*' + FromCore(extension);
    request.filter = combo_->currentText() + " (" + pattern + ")|" + pattern + u'|' + request.filter;
  }
  const QString output = fileTexts_[kOutputRow]->text();
  if (!output.isEmpty()) {
    const QFileInfo file(output);
    request.folder = QDir::toNativeSeparators(file.absolutePath());
    request.fileName = file.fileName();
  }
  return request;
}

void kvm::browse(int row) {
  takeTypedModel();
  const DialogRequest request = browseRequest(row);
  const std::optional<QString> chosen = row == kOutputRow ? shell_.ShowSaveDialog(request)
                                                          : shell_.ShowOpenDialog(request);
  if (chosen) take(row, *chosen);
}

void kvm::take(int row, const QString& chosenPath) {
  if (row == kModelRow) {
    // What the boxes show is what the new model may replace.
    settings_.InputPath = ToCore(fileTexts_[kInputRow]->text());
    settings_.OutputPath = ToCore(fileTexts_[kOutputRow]->text());
    showBoxes(kv::TakeModelFromDialog(settings_, ToCore(chosenPath)));
    fileTexts_[kModelRow]->setModified(false);
    showGrid();
    showOutsideNotes();
    return;
  }
  const std::string path = InPathCase(ToCore(chosenPath));
  fileTexts_[row]->setText(FromCore(path));
  (row == kInputRow ? settings_.InputPath : settings_.OutputPath) = path;
}

void kvm::typeChosen(int index) {
  if (const auto name = kv::OutputNameForType(settings_, combo_->itemData(index).toInt())) {
    fileTexts_[kOutputRow]->setText(FromCore(*name));
  }
}

void kvm::takeTypedModel() {
  if (!fileTexts_[kModelRow]->isModified()) return;
  fileTexts_[kModelRow]->setModified(false);
  take(kModelRow, fileTexts_[kModelRow]->text());
}

bool kvm::ValidateInputs() {
  // The run takes the paths the boxes show, so they are what is checked.
  takeTypedModel();
  const std::string output = ToCore(fileTexts_[kOutputRow]->text());
  QString problem;
  if (settings_.ModelPath.empty()) {
    problem = tr("Please select a KV Model.");
  } else if (const std::string input = kv::InputProblem(kv::PathFromUtf8(ToCore(fileTexts_[kInputRow]->text())), false);
             !input.empty()) {
    problem = FromCore(input);
  } else if (const std::string type = kv::TypeNotChosen(combo_->currentData().toInt(), output); !type.empty()) {
    problem = FromCore(type);
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
  settings_.InputPath = ToCore(fileTexts_[kInputRow]->text());
  if (!ValidateInputs()) return;
  // A model that was not accepted has left the grid size of the one before it.
  if (const std::string refusal = kv::ModelRefusal(settings_); !refusal.empty()) {
    shell_.Beep();
    shell_.Warn(FromCore(refusal));
    return;
  }
  if (!kv::FileExists(kv::PathFromUtf8(settings_.InputPath))) return;
  // Paths kept from another model's folder are asked about once for this model, input and output.
  const QString outside = outsideQuestion();
  if (!outside.isEmpty() && outside != confirmedOutside_) {
    if (!shell_.Ask(outside)) return;
    confirmedOutside_ = outside;
  }

  runOutput_ = fileTexts_[kOutputRow]->text();
  const int typeCode = combo_->currentData().toInt();
  // An output named for another type is asked about; No leaves everything as it is.
  if (const QString name = FromCore(kv::OutputNameWarning(typeCode, ToCore(runOutput_))); !name.isEmpty() &&
      !shell_.Ask(name.left(1).toUpper() + name.mid(1) + tr(". Convert all the same?"))) {
    return;
  }
  kv::ConversionRequest request = kv::ConversionRequestFor(kv::PathFromUtf8(ToCore(runOutput_)), settings_.Grid(),
                                                           kv::PathFromUtf8(settings_.ModelPath), typeCode,
                                                           options_[kCreateOption]->isChecked(), false);
  request.inputs = {kv::InputSource{kv::PathFromUtf8(settings_.InputPath)}};
  if (kv::KindOf(request.inputs.front()) != kv::InputKind::MatrixText) {
    const std::optional<RasterPlace> place = shell_.AskRasterPlace(fileTexts_[kInputRow]->text(), request.grid.nz);
    if (!place) return;
    request.inputs.front().period = place->period;
    request.inputs.front().layer = place->layer;
  }

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

void kvm::preview() { preview_->showInput(ToCore(fileTexts_[kInputRow]->text()), settings_); }

void kvm::keyPressEvent(QKeyEvent* event) {
  // GO is the default button: Enter anywhere on the window that no control
  // takes for itself presses it.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && buttons_[kGoButton]->isEnabled()) {
    buttons_[kGoButton]->click();
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
