// GO through to the output file's bytes and the core's refusals; a run on the
// worker thread with its progress dialog, cancel, and a window that takes no
// input and cannot be closed meanwhile.
#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QtEndian>
#include <atomic>
#include <thread>

#include "ui_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/ui/run_progress_dialog.h"

namespace {

qint16 Int16At(const QByteArray& bytes, int at) { return qFromLittleEndian<qint16>(bytes.constData() + at); }
float FloatAt(const QByteArray& bytes, int at) { return qFromLittleEndian<float>(bytes.constData() + at); }

// A 3 by 2 grid with two layers: period 1 layer 1, then period 3 layer 2 all 0.5.
const QByteArray kTwoSets = "2\n1 1\n1.0 2.0 3.0\n4.0 5.0 6.0\n3, 2\n0.5, 0.5, 0.5, 0.5, 0.5, 0.5\n";

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
        const kv::ConversionProgress p{phase, std::uint64_t(set) << 20, 4 << 20, set, 4};
        if (!progress(p) && phase == kv::RunPhase::Checking) throw kv::Error(kv::ErrorKind::Cancelled, "Cancelled");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return kv::ConversionResult{2, 0, true};
    };
  }
};

// Model a.kv5 (3 x 2 x 2), its default input file, type "Elevation of top of cells".
void Ready(kvtest::Session& s, const QByteArray& input = kTwoSets) {
  kvtest::WriteText(s.path("Input.dat"), input);
  s.openModel("a.kv5", kvtest::ModelText(3, 2, 2));
  s.chooseType(1);
  s.shell.log.clear();
}

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

 private slots:
  void goWritesThePeriodDataFile() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    Ready(s);
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(w.settings().OutputPath, s.path("a.top").toStdString());
    const QByteArray bytes = kvtest::ReadBytes(s.path("a.top"));
    QCOMPARE(bytes.size(), 4000 + 2 * 2 * 6 * 4);  // two blocks of two 3 x 2 layers
    for (int period = 1; period <= 1000; ++period) {
      QCOMPARE(Int16At(bytes, 2 * (period - 1)), qint16(period < 3 ? 1 : 3));
      QCOMPARE(Int16At(bytes, 2000 + 2 * (period - 1)), qint16(period == 1 ? 1 : period == 3 ? 2 : 0));
    }
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(FloatAt(bytes, 4000 + 4 * i), float(i + 1));  // block 1 layer 1
      QCOMPARE(FloatAt(bytes, 4024 + 4 * i), 0.0f);          // block 1 layer 2
      QCOMPARE(FloatAt(bytes, 4048 + 4 * i), 0.0f);          // block 2 layer 1
      QCOMPARE(FloatAt(bytes, 4072 + 4 * i), 0.5f);          // block 2 layer 2
    }
  }

  // Over a file that is no period data file, appending is refused with a
  // warning that names it, and creating a new file replaces it.
  void optionDecidesAboutAnExistingFile_data() {
    QTest::addColumn<int>("option");
    QTest::newRow("append") << 0;
    QTest::newRow("create new") << 1;
  }
  void optionDecidesAboutAnExistingFile() {
    QFETCH(int, option);
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    Ready(s);
    kvtest::WriteText(s.path("a.top"), "not a period data file");
    QTest::mouseClick(w.Option1(option), Qt::LeftButton);
    QVERIFY(s.go());
    if (option == 1) {
      QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
      QCOMPARE(kvtest::ReadBytes(s.path("a.top")).size(), 4096);
    } else {
      QCOMPARE(s.shell.log.size(), 2);
      QCOMPARE(s.shell.log[0], QStringLiteral("beep"));
      QVERIFY2(s.shell.log[1].startsWith("warn: ") && s.shell.log[1].contains(s.path("a.top")), qPrintable(s.shell.log[1]));
      QCOMPARE(kvtest::ReadBytes(s.path("a.top")), QByteArray("not a period data file"));
    }
  }

  void badInputIsAWarning() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    Ready(s, "2\n1 1\n1 2 3 4 5 6\n3 2\n0.5 x 0.5 0.5 0.5 0.5\n");
    QVERIFY(s.go());
    QCOMPARE(s.shell.log.size(), 2);
    QCOMPARE(s.shell.log[0], QStringLiteral("beep"));
    const QString& warning = s.shell.log[1];  // the core's sentence: data set, line and file
    QVERIFY2(warning.startsWith("warn: Data set 2") && warning.contains("line 5") && warning.contains(s.path("Input.dat")),
             qPrintable(warning));
    QVERIFY(!QFile::exists(s.path("a.top")));
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(w.settings().OutputPath, s.path("a.").toStdString());
  }

  // While a run works: the wait cursor, no input, no closing; after half a
  // second the progress dialog; Cancel stops the run without a message.
  void cancelWhileChecking() {
    Gate gate;
    kvtest::Session s;
    kv::ui::kvm& w = s.start({}, gate.runner());
    Ready(s);
    QSignalSpy finished(&w, &kv::ui::kvm::conversionFinished);
    QTest::mouseClick(w.KVDIS_BUTTON(0), Qt::LeftButton);
    QVERIFY(w.running());
    QCOMPARE(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor, Qt::WaitCursor);

    QTest::mouseClick(w.KVDIS_BUTTON(0), Qt::LeftButton);
    QTest::keyClick(&w, Qt::Key_Return);
    s.browse(1, "other.dat");
    w.close();
    QVERIFY(w.isVisible());
    QVERIFY(s.shell.log.isEmpty());
    QCOMPARE(w.FileText(1)->text(), s.path("Input.dat"));

    kv::ui::RunProgressDialog* dialog = w.ProgressDialog();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
    QVERIFY(dialog->isModal());
    QTRY_VERIFY(dialog->text()->text().startsWith("Data set "));
    QVERIFY2(dialog->text()->text().contains(" of 4, ") && dialog->text()->text().endsWith(" of 4.0 MB"),
             qPrintable(dialog->text()->text()));
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    QVERIFY(finished.wait(5000));

    QVERIFY(s.shell.log.isEmpty());
    QVERIFY(!dialog->isVisible() && !w.running() && !QApplication::overrideCursor());
    QCOMPARE(gate.calls.load(), 1);
    QTest::mouseClick(w.KVDIS_BUTTON(2), Qt::LeftButton);  // the window takes input again
    QVERIFY(!w.isVisible());
  }

  // Once the run writes, neither Cancel nor Escape stops it.
  void noCancelWhileWriting() {
    Gate gate;
    gate.phase = kv::RunPhase::Writing;
    kvtest::Session s;
    kv::ui::kvm& w = s.start({}, gate.runner());
    Ready(s);
    QSignalSpy finished(&w, &kv::ui::kvm::conversionFinished);
    QTest::mouseClick(w.KVDIS_BUTTON(0), Qt::LeftButton);
    kv::ui::RunProgressDialog* dialog = w.ProgressDialog();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
    QTRY_COMPARE(dialog->text()->text(), QStringLiteral("Writing the output file..."));
    QVERIFY(!dialog->cancelButton()->isEnabled());
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTest::qWait(100);
    QVERIFY(dialog->isVisible() && w.running());
    gate.release = true;
    QVERIFY(finished.wait(5000));
    QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
  }

  // A window destroyed during a run, as when the program is ended, stops the run first.
  void destroyedDuringARun() {
    Gate gate;
    kvtest::Session s;
    s.start({}, gate.runner());
    Ready(s);
    QTest::mouseClick(s.w().KVDIS_BUTTON(0), Qt::LeftButton);
    QVERIFY(s.w().running());
    s.window.reset();
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(s.shell.log.isEmpty());
  }
};

QTEST_MAIN(RunTest)
#include "ui_run_test.moc"
