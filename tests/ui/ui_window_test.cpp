// The converter window driven as a user would: start-up, browse, type list,
// validation, drops, Enter and Close, with fake shell services.
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "ui_support.h"
#include "zuduradu/ui/path_text.h"

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  // The window as it starts, then Enter.
  void startUpStateAndEnter() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    QCOMPARE(w.windowTitle(), QStringLiteral("ZI5 Rara Roruvorur"));
    for (int size : {16, 48, 256}) QCOMPARE(w.windowIcon().actualSize(QSize(size, size)), QSize(size, size));
    const QString tips[3] = {"Choose the model file\u2026", "Choose the matrix input file\u2026", "Choose the output file\u2026"};
    for (int row = 0; row < 3; ++row) QCOMPARE(w.Open_button(row)->toolTip(), tips[row]);
    QCOMPARE(s.boxes(), (QStringList{"Open a model first", "", ""}));
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("- Select a type -"));
    QVERIFY(!w.Combo1()->isEditable());
    QVERIFY(w.Option1(0)->isChecked() && !w.Option1(1)->isChecked());
    QCOMPARE(w.SSTab1()->tabText(0), QStringLiteral("Files"));
    QVERIFY(w.KVDIS_BUTTON(0)->isDefault() && !w.KVDIS_BUTTON(1)->isVisible());
    QVERIFY(w.size() == w.minimumSize() && w.minimumHeight() == w.maximumHeight());  // opens at its table size
    QCOMPARE(QApplication::focusWidget(), w.KVDIS_BUTTON(0));
    s.chooseType(3);  // does nothing before a model is open
    QVERIFY(w.FileText(2)->text().isEmpty());
    QVERIFY(s.shell.log.isEmpty());
    // Enter presses GO, unless a focused button takes it for itself.
    QTest::keyClick(w.Option1(1), Qt::Key_Return);
    QCOMPARE(s.shell.log, (QStringList{"beep", "warn: Please select a KV Model."}));
    w.Open_button(1)->setFocus();
    QTest::keyClick(w.Open_button(1), Qt::Key_Return);
    QCOMPARE(s.shell.log.last(), QStringLiteral("open: Input Data Files"));
  }

  // Each browse button asks its own dialog; cancelled, it takes nothing; answered, its box shows the file.
  void browseButtons() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    const struct { QString asked, filter, file; } rows[] = {
        {"open: ZENTA Models", "KV Models (*.kv5)|*.kv5", "b.kv5"},
        {"open: Input Data Files",
         "Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|Text and CSV Files (*.txt; *.csv)|*.txt;*.csv|All files (*)|*.*",
         "heads.xyz"},
        {"save: Output Data Files", "Output Data Files (*.dat)|*.dat|All Files (*.*)|*.*", "out.dat"},
    };
    for (int row = 0; row < 3; ++row) {
      const QStringList boxes = s.boxes();
      s.shell.log.clear();
      s.browse(row, QString());
      QCOMPARE(s.shell.log, QStringList{rows[row].asked});
      QCOMPARE(s.shell.requests.back().filter, rows[row].filter);
      QCOMPARE(s.shell.requests.back().defaultExtension, QString(row == 0 ? "kv5" : ""));
      QCOMPARE(s.boxes(), boxes);
      kvtest::WriteText(s.path(rows[row].file), kvtest::ModelText(5, 6, 1));
      s.browse(row, rows[row].file);
      QCOMPARE(w.FileText(row)->text(), s.path(rows[row].file));
    }
    QCOMPARE(w.settings().InputPath, s.path("heads.xyz").toStdString());
    QCOMPARE(w.settings().OutputPath, s.path("out.dat").toStdString());
  }

  // The validation messages in their order, each after a beep, about the paths the boxes show.
  void validation() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    const auto goWarns = [&s](const QString& message) {
      s.shell.log.clear();
      QVERIFY(s.go());
      QCOMPARE(s.shell.log, (message.isEmpty() ? QStringList() : QStringList{"beep", "warn: " + message}));
    };
    goWarns("Please select a KV Model.");
    s.openModel("model", kvtest::ModelText(3, 2, 1));  // no "." in the name: no output name
    goWarns("Could not find the input file " + s.path("Input.dat"));
    kvtest::WriteText(s.path("Input.dat"), "0\n");
    goWarns("Please specify the name of the output data file");
    QTest::keyClicks(w.FileText(2), s.path("typed.top"));
    w.FileText(1)->clear();
    QTest::keyClicks(w.FileText(1), s.path("gone.dat"));
    goWarns("Could not find the input file " + s.path("gone.dat"));
    QCOMPARE(w.settings().InputPath, s.path("gone.dat").toStdString());
  }

  // The output name follows the type list (rows: the prompt, starting head, wells (the last), top of cells).
  // A type chosen after the save dialog replaces the box while OutputPath keeps the chosen file; GO then
  // writes to the name in the box.
  void outputNameFollowsTheTypeList() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.ready();
    for (const auto& [row, extension] : {std::pair{0, ".tmp"}, {5, ".hea"}, {30, ".wel"}, {1, ".top"}}) {
      s.chooseType(row);
      QCOMPARE(w.FileText(2)->text(), s.path("a") + extension);
    }
    QCOMPARE(w.settings().OutputPath, s.path("a.").toStdString());
    s.browse(2, "chosen.dat");
    s.chooseType(1);
    QCOMPARE(w.FileText(2)->text(), s.path("a.top"));
    QCOMPARE(w.settings().OutputPath, s.path("chosen.dat").toStdString());
    QVERIFY(s.go());
    QCOMPARE(s.shell.log.last(), QStringLiteral("inform: Conversion is complete."));
    QVERIFY(QFile::exists(s.path("a.top")) && !QFile::exists(s.path("chosen.dat")));
    QCOMPARE(w.settings().OutputPath, s.path("a.top").toStdString());
  }

  // A second model that is not accepted leaves the first one's grid; the window
  // says so, and GO refuses to use that grid.
  void staleGridRefused() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.ready();
    s.openModel("old.kv5", kvtest::ModelText(9, 9, 1, 3999));
    QCOMPARE(w.GridLabel()->text(), QStringLiteral("Not accepted: version 3999 < 4000"));
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, (QStringList{"beep", "warn: " + kv::ui::FromCore(kv::ModelRefusal(w.settings()))}));
    QVERIFY(s.shell.log.last().contains(s.path("old.kv5")) && s.shell.log.last().contains("3999"));
    QVERIFY(!QFile::exists(s.path("a.top")));
  }

  // A file dropped on a path row is taken as if chosen in its dialog; a model file dropped elsewhere, as the model.
  void droppedFiles() {
    const struct { const char* file; int target; int takenBy; } cases[] = {
        // target 0..2: the row's path box; 3: step 4's browse button; 4: an option. takenBy -1: refused
        {"b.kv5", 0, 0}, {"b.kv5", 4, 0}, {"in.dat", 0, -1}, {"in.dat", 1, 1},
        {"in.dat", 3, 2}, {"in.dat", 4, -1}, {"none.dat", 1, -1},
    };
    for (const auto& [file, target, takenBy] : cases) {
      kvtest::Session s;
      kv::ui::kvm& w = s.start();
      kvtest::WriteText(s.path("b.kv5"), kvtest::ModelText(5, 6, 1));
      kvtest::WriteText(s.path("in.dat"), "0\n");
      QWidget* const targets[] = {w.FileText(0), w.FileText(1), w.FileText(2), w.Open_button(2), w.Option1(1)};
      QStringList expected = s.boxes();
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(s.path(file))});
      const QPoint at = targets[target]->mapTo(&w, targets[target]->rect().center());
      QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &enter);
      QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &drop);
      if (takenBy == 0) {  // taken as the model, with its default paths
        expected = {s.path(file), s.path("Input.dat"), s.path("b.")};
        QCOMPARE(w.GridLabel()->text(), u"Grid: 5 columns × 6 rows × 1 layer"_qs);
      } else if (takenBy > 0) {
        expected[takenBy] = s.path(file);
      }
      QCOMPARE(s.boxes(), expected);
      if (takenBy == 2) QCOMPARE(w.settings().OutputPath, s.path(file).toStdString());
    }
  }

  // Close and the close box end the program's event loop.
  void closeEndsTheProgram() {
    for (const bool byButton : {true, false}) {
      kvtest::Session s;
      kv::ui::kvm& w = s.start();
      QTimer::singleShot(0, &w, [&] {
        if (byButton) QTest::mouseClick(w.KVDIS_BUTTON(2), Qt::LeftButton);
        else w.windowHandle()->close();
      });
      QTimer::singleShot(5000, &w, [] { QCoreApplication::exit(1); });  // not ended: fail rather than hang
      QCOMPARE(QApplication::exec(), 0);
      QVERIFY(!w.isVisible());
    }
  }
};

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
