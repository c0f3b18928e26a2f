// GO through to the output file's bytes and the core's refusals; a run on the
// worker thread with its progress dialog, cancel, and a window that takes no
// input and cannot be closed meanwhile.
#include <QtEndian>
#include <atomic>
#include <thread>

#include "ui_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/ui/run_progress_dialog.h"

namespace {

// A run that reports set after set of a 4 MB input in the given phase until it
// is released, and stops when asked to while checking, as the core's run does.
struct Gate {
  kv::RunPhase phase = kv::RunPhase::Checking;
  std::atomic<bool> release{false};
  std::atomic<int> calls{0};

  kv::ui::ConversionJob::Runner runner() {
    return [this](const kv::ConversionRequest&, const kv::ProgressCallback& progress) {
      ++calls;
      for (int set = 1; !release; set = std::min(set + 1, 4)) {
        const kv::ConversionProgress p{phase, std::uint64_t(set) << 20, 4 << 20, set, 4, {}};
        if (!progress(p) && phase == kv::RunPhase::Checking) throw kv::Error(kv::ErrorKind::Cancelled, "Cancelled");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return kv::ConversionResult{2, 0, true, {}};
    };
  }
};

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

 private slots:
  // Over a file made for another grid, appending is refused after a beep with a warning that names
  // it and the way out, which leaves the file and OutputPath as they were. Creating a new file
  // writes what the core writes for the same request.
  void goWritesThePeriodDataFile() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.ready();
    QByteArray otherGrid(4005, '\0');  // one block entry, and a length that fits no 3 x 2 layer
    qToLittleEndian<qint16>(1, otherGrid.data() + 2000);
    kvtest::WriteText(s.path("a.top"), otherGrid);
    QVERIFY(s.go());
    QCOMPARE(s.shell.log.size(), 2);
    QCOMPARE(s.shell.log[0], QStringLiteral("beep"));
    const QString& warning = s.shell.log[1];
    QVERIFY2(warning.startsWith("warn: " + s.path("a.top") + " does not fit the grid 3 x 2 x 2 and type 3") &&
                 warning.contains("Choose the model the file was made for, or create a new file."),
             qPrintable(warning));
    QCOMPARE(kvtest::ReadBytes(s.path("a.top")), otherGrid);
    QCOMPARE(w.settings().OutputPath, s.path("a.").toStdString());
    QVERIFY(!QApplication::overrideCursor());

    s.shell.log.clear();
    QTest::mouseClick(w.Option1(1), Qt::LeftButton);
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
    QCOMPARE(s.shell.details, QStringList{"2 data sets stored in " + s.path("a.top") + "."});
    QVERIFY(!QApplication::overrideCursor());
    // The window's request is the core's: the input, the grid, type 3 and create-new.
    kv::RunConversion({s.path("Input.dat").toStdString(), s.path("core.top").toStdString(), 3, {3, 2, 2}, true});
    QCOMPARE(kvtest::ReadBytes(s.path("a.top")), kvtest::ReadBytes(s.path("core.top")));
  }

  // While a run works: the wait cursor, no input, no closing; after half a second
  // the modal progress dialog. While the input is checked, Cancel stops the run
  // without a message; once the run writes, neither Cancel nor Escape stops it.
  void progressAndCancel_data() {
    QTest::addColumn<bool>("writing");
    QTest::newRow("checking") << false;
    QTest::newRow("writing") << true;
  }
  void progressAndCancel() {
    QFETCH(bool, writing);
    Gate gate;
    gate.phase = writing ? kv::RunPhase::Writing : kv::RunPhase::Checking;
    kvtest::Session s;
    kv::ui::kvm& w = s.start({}, gate.runner());
    s.ready();
    QSignalSpy finished(&w, &kv::ui::kvm::conversionFinished);
    s.clickGo();
    QVERIFY(w.running());
    const QCursor* cursor = QApplication::overrideCursor();
    QCOMPARE(cursor ? cursor->shape() : Qt::ArrowCursor, Qt::WaitCursor);
    s.clickGo();
    QTest::keyClick(&w, Qt::Key_Return);
    s.browse(1, "other.dat");
    w.close();
    QVERIFY(w.isVisible() && s.shell.log.isEmpty());
    QCOMPARE(w.FileText(1)->text(), s.path("Input.dat"));

    kv::ui::RunProgressDialog* dialog = w.ProgressDialog();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
    QVERIFY(dialog->isModal());
    if (writing) {
      QTRY_COMPARE(dialog->text()->text(), QStringLiteral("Writing the output file..."));
      QVERIFY(!dialog->cancelButton()->isEnabled());
      QTest::keyClick(dialog, Qt::Key_Escape);
      QTest::qWait(100);
      QVERIFY(dialog->isVisible() && w.running());
      gate.release = true;
    } else {
      QTRY_VERIFY(dialog->text()->text().startsWith("Data set "));
      const QString text = dialog->text()->text();
      QVERIFY2(text.contains(" of 4, ") && text.endsWith(" of 4.0 MB"), qPrintable(text));
      QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    }
    QVERIFY(finished.wait(5000));
    const QStringList expected = QStringList{writing ? "inform: Conversion is complete." : "inform: The conversion was cancelled."};
    QVERIFY2(s.shell.log == expected, qPrintable(s.shell.log.join(" | ")));
    QVERIFY(!dialog->isVisible() && !w.running() && !QApplication::overrideCursor());
    QCOMPARE(gate.calls.load(), 1);
    QTest::mouseClick(w.KVDIS_BUTTON(2), Qt::LeftButton);  // the window takes input again
    QVERIFY(!w.isVisible());
  }

  // A window destroyed during a run, as when the program is ended, stops the run first.
  void destroyedDuringARun() {
    Gate gate;
    kvtest::Session s;
    s.start({}, gate.runner());
    s.ready();
    s.clickGo();
    QVERIFY(s.window->running());
    s.window.reset();
    QVERIFY(!QApplication::overrideCursor() && s.shell.log.isEmpty());
  }
};

QTEST_MAIN(RunTest)
#include "ui_run_test.moc"
