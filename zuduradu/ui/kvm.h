// The converter window: six numbered steps on one tab, from opening a model to
// pressing GO. The window only wires its controls to the core; paths, names and
// what is accepted come from there. Control names and indices are the ones the
// window has always had: path row 0 is the model, 1 the input file, 2 the output
// file; KVDIS_BUTTON 0 is GO, 1 the Help button (hidden for good), 2 Close.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "zuduradu/core/model/settings.h"
#include "zuduradu/ui/conversion_job.h"
#include "zuduradu/ui/shell_services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace kv { struct PathBoxes; }

namespace kv::ui {

class InputBlocker;
class PreviewDialog;
class RunProgressDialog;
class ShellServices;
class WarningNote;

class kvm : public QWidget {
  Q_OBJECT

 public:
  // Loads the window: the shared paths emptied, the window centred on the
  // screen, the type list and the options at their first choice, and, when
  // commandLine is not empty, the model it names taken.
  explicit kvm(ShellServices& shell, const std::string& commandLine = {},
               ConversionJob::Runner runner = &kv::RunConversion, QWidget* parent = nullptr);
  ~kvm() override;

  QTabWidget* SSTab1() const { return tab_; }
  QLabel* Label2(int index) const { return labels_[index]; }
  QLineEdit* FileText(int row) const { return fileTexts_[row]; }
  QPushButton* Open_button(int row) const { return openButtons_[row]; }
  QComboBox* Combo1() const { return combo_; }
  QRadioButton* Option1(int index) const { return options_[index]; }
  QPushButton* KVDIS_BUTTON(int index) const { return buttons_[index]; }
  // The grid in use, or why the model was not accepted, beside step 1.
  QLabel* GridLabel() const;
  WarningNote* GridNote() const { return gridNote_; }
  // Beside the caption of the input or output row (1 or 2): that the path lies
  // outside the open model's folder.
  WarningNote* OutsideNote(int row) const { return outsideNotes_[row]; }
  RunProgressDialog* ProgressDialog() const { return progress_; }
  // Beside step 2: the picture of a data set of the input, before GO; also
  // opened by Show on the completion message for a stored layer.
  QPushButton* PreviewButton() const { return previewButton_; }
  PreviewDialog* Preview() const { return preview_; }

  const kv::Settings& settings() const { return settings_; }
  bool running() const { return job_.running(); }

  // True when a conversion may start; otherwise the user has been told why.
  bool ValidateInputs();

 signals:
  // A run started by GO has ended and its message, if any, has been shown.
  void conversionFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // kvm_controls.cpp: making, placing and ordering the controls.
  void createControls();
  int extraWidth() const;
  void placeWindowControls();
  void placeTabControls();
  void setTabOrder();

  // kvm_drop.cpp: files dropped on the window.
  std::optional<int> rowAt(QPoint windowPos) const;
  std::optional<int> dropRow(const QDropEvent& event, QString* path) const;

  // kvm.cpp: the event handlers.
  void browse(int row);
  void take(int row, const QString& chosenPath);
  void takeTypedModel();
  void typeChosen(int index);
  void go();
  void showBoxes(const kv::PathBoxes& boxes);
  void showGrid();
  void showOutsideNotes();
  QString outsideQuestion() const;
  DialogRequest browseRequest(int row) const;
  void showProgressDialog();
  void runEnded(const JobOutcome& outcome);
  void preview();

  ShellServices& shell_;
  kv::Settings settings_;
  ConversionJob job_;
  QString runOutput_;  // the output box's text when the running conversion began
  QString confirmedOutside_;  // the model, input and output the user agreed to convert across folders
  std::unique_ptr<InputBlocker> blocker_;
  QTimer progressDelay_;

  QTabWidget* tab_ = nullptr;
  QWidget* page_ = nullptr;
  QLabel* labels_[6] = {};
  QLineEdit* fileTexts_[3] = {};
  QPushButton* openButtons_[3] = {};
  QComboBox* combo_ = nullptr;
  QRadioButton* options_[2] = {};
  QPushButton* buttons_[3] = {};
  WarningNote* gridNote_ = nullptr;
  WarningNote* outsideNotes_[3] = {};
  RunProgressDialog* progress_ = nullptr;
  QPushButton* previewButton_ = nullptr;
  PreviewDialog* preview_ = nullptr;
};

}  // namespace kv::ui
