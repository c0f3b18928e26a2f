// Shared by the window tests: shell services that answer from a script and
// record what the window asked for, and a session of one window on a scratch
// folder, driven as a user would.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

#include "zuduradu/core/storage/os.h"
#include "zuduradu/ui/kvm.h"
#include "zuduradu/ui/shell_services.h"

namespace kvtest {

// Dialogs answer with the next scripted answer (a null string, or none left:
// cancelled). Every call is logged: "open: <title>", "save: <title>", "beep", "warn: <text>", "ask: <text>"
// (answered with yes), "inform: <text>" (with " [<action>]" when show offers the extra button and presses it).
class FakeShell : public kv::ui::ShellServices {
 public:
  std::deque<QString> answers;
  QStringList log;
  QStringList details;  // of each Inform, in order
  std::vector<kv::ui::DialogRequest> requests;
  bool show = false;
  bool yes = false;

  std::optional<QString> ShowOpenDialog(const kv::ui::DialogRequest& r) override { return Answer("open: ", r); }
  std::optional<QString> ShowSaveDialog(const kv::ui::DialogRequest& r) override { return Answer("save: ", r); }
  void Beep() override { log << "beep"; }
  void Warn(const QString& text) override { log << "warn: " + text; }
  bool Ask(const QString& text) override { return log << "ask: " + text, yes; }
  // The real dialog, its fields typed into as `place` says ("" leaves the default), then OK; cancelled when
  // `place` is null.
  QStringList place{"", ""};
  std::optional<kv::ui::RasterPlace> AskRasterPlace(const QString& raster, int layers) override {
    log << "place: " + QFileInfo(raster).fileName();
    if (place.isEmpty()) return std::nullopt;
    kv::ui::RasterPlaceDialog dialog(raster, layers);
    dialog.show();
    for (QSpinBox* box : {dialog.Period(), dialog.Layer()}) {
      const QString typed = place[box == dialog.Period() ? 0 : 1];
      if (typed.isEmpty()) continue;
      box->selectAll();
      QTest::keyClicks(box, typed);
    }
    QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    return dialog.result() == QDialog::Accepted ? std::optional(dialog.place()) : std::nullopt;
  }
  void Inform(const QString& text, const QString& detail) override { log << "inform: " + text; details << detail; }
  bool InformWithAction(const QString& text, const QString& detail, const QString& action) override {
    Inform(show ? text + " [" + action + "]" : text, detail);
    return show;
  }
  std::optional<QString> Answer(const char* kind, const kv::ui::DialogRequest& request) {
    log << kind + request.title;
    requests.push_back(request);
    const QString answer = answers.empty() ? QString() : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer.isNull() ? std::nullopt : std::optional(answer);
  }
};

inline void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

inline QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray ModelText(int nx, int ny, int nz, int version = 5000) {
  return QString::asprintf("[VERSION]\nNUMBER=%d\n[DIMENSION]\nNX=%d\nNY=%d\nNZ=%d\n", version, nx, ny, nz).toUtf8();
}

// One window with the fake shell on a fresh scratch folder, shown at once.
struct Session {
  QTemporaryDir dir;
  FakeShell shell;
  std::unique_ptr<kv::ui::kvm> window;
  kv::ui::kvm& w;

  explicit Session(const std::string& commandLine = {}, kv::ui::ConversionJob::Runner runner = &kv::RunConversion)
      : w(*(window = std::make_unique<kv::ui::kvm>(shell, commandLine, std::move(runner)))) {
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
  }

  // A file of the scratch folder as the system's dialogs name it, with the system's separators.
  QString path(const QString& name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
  // The same as the window shows it once taken from a dialog or derived from the model: where file names
  // ignore case, the folder is lower-cased (the names these tests give are lower case already).
  QString shown(const QString& name) const {
    const QString folder = QDir::toNativeSeparators(dir.path() + u'/');
    return (kv::os::FileNamesIgnoreCase() ? folder.toLower() : folder) + QDir::toNativeSeparators(name);
  }
  QStringList boxes() const {  // what the three path boxes show
    return {w.FileText(0)->text(), w.FileText(1)->text(), w.FileText(2)->text()};
  }

  // Clicks a browse button; its dialog answers with that file of the folder, or cancels for a null name.
  void browse(int row, const QString& name) {
    shell.answers.push_back(name.isNull() ? QString() : path(name));
    QTest::mouseClick(w.Open_button(row), Qt::LeftButton);
  }

  // Writes a model file, opens it with the browse button and forgets the log.
  void openModel(const QString& name, const QByteArray& text = ModelText(3, 2, 2)) {
    WriteText(path(name), text);
    browse(0, name);
    shell.log.clear();
  }

  // Picks a row of the type list with the keyboard: every key that moves the selection picks a row;
  // End first, so that Home picks row 0 even when it is selected already.
  void chooseType(int row) {
    QComboBox* combo = w.Combo1();
    combo->setFocus();
    for (const auto key : {Qt::Key_End, Qt::Key_Home}) QTest::keyClick(combo, key);
    for (int i = 0; i < row; ++i) QTest::keyClick(combo, Qt::Key_Down);
  }

  // Ready for GO: model a.kv5 (3 x 2 x 2), type "Elevation of top of cells" (output a.top) and
  // Input.dat: period 1 layer 1, then period 3 layer 2 all 0.5.
  void ready() {
    WriteText(path("Input.dat"), "2\n1 1\n1.0 2.0 3.0\n4.0 5.0 6.0\n3, 2\n0.5, 0.5, 0.5, 0.5, 0.5, 0.5\n");
    openModel("a.kv5");
    chooseType(1);
  }

  void clickGo() { QTest::mouseClick(w.KVDIS_BUTTON(0), Qt::LeftButton); }

  // Replaces what a path box holds by typing, as a user would.
  void type(int row, const QString& name) {
    w.FileText(row)->setFocus();
    w.FileText(row)->selectAll();
    QTest::keyClicks(w.FileText(row), path(name));
  }

  // Clicks GO, or presses Enter in the given widget; true when no run started or the run ended within ten seconds.
  bool go(QWidget* enterIn = nullptr) {
    QSignalSpy finished(window.get(), &kv::ui::kvm::conversionFinished);
    enterIn ? QTest::keyClick(enterIn, Qt::Key_Return) : clickGo();
    return !w.running() || finished.wait(10000);
  }

  // GO after forgetting the log: what the window said, once the run ended ({"still running"} otherwise).
  QStringList said(QWidget* enterIn = nullptr) {
    shell.log.clear();
    return go(enterIn) ? shell.log : QStringList{"still running"};
  }
  // True when the run ended and said only that the conversion is complete.
  bool completes(QWidget* enterIn = nullptr) { return said(enterIn) == QStringList{"inform: Conversion is complete."}; }
};

}  // namespace kvtest
