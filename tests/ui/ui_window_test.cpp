// The converter window driven as a user would: start-up, browse, type list,
// validation, drops, Enter and Close, with fake shell services.
#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "ui_support.h"
#include "zuduradu/ui/path_text.h"

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startUpState() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    QCOMPARE(w.windowTitle(), QStringLiteral("ZI5 Rara Roruvorur"));
    QCOMPARE(w.FileText(0)->text(), QStringLiteral("Open a model first"));
    QVERIFY(w.FileText(1)->text().isEmpty() && w.FileText(2)->text().isEmpty());
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("- Select a type -"));
    QVERIFY(!w.Combo1()->isEditable());
    QVERIFY(w.Option1(0)->isChecked() && !w.Option1(1)->isChecked());
    QCOMPARE(w.SSTab1()->tabText(0), QStringLiteral("Files"));
    QVERIFY(w.KVDIS_BUTTON(0)->isDefault() && !w.KVDIS_BUTTON(1)->isVisible());
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(QApplication::focusWidget(), w.KVDIS_BUTTON(0));
    s.chooseType(3);  // does nothing before a model is open
    QVERIFY(w.FileText(2)->text().isEmpty());
    QVERIFY(s.shell.log.isEmpty());
  }

  void startUpFromCommandLine() {
    kvtest::Session s;
    kvtest::WriteText(s.path("Site.kv5"), kvtest::ModelText(12, 8, 2));
    kv::ui::kvm& w = s.start(s.path("Site.kv5").toStdString());
    QCOMPARE(w.FileText(0)->text(), s.path("Site.kv5"));
    QCOMPARE(w.FileText(1)->text(), s.path("input.dat"));
    QCOMPARE(w.FileText(2)->text(), s.path("Site."));
    QCOMPARE(w.GridLabel()->text(), u"Grid: 12 columns × 8 rows × 2 layers"_qs);
    QCOMPARE(w.Combo1()->currentIndex(), 0);
  }

  void browseButtonsAskTheirDialogs() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    for (int row = 0; row < 3; ++row) s.browse(row, QString());
    QCOMPARE(s.shell.log, (QStringList{"open: ZENTA Models", "open: Input Data Files", "save: Output Data Files"}));
    QCOMPARE(s.shell.requests[0].filter, QStringLiteral("KV Models (*.kv5)|*.kv5"));
    QCOMPARE(s.shell.requests[0].defaultExtension, QStringLiteral("kv5"));
    QCOMPARE(s.shell.requests[1].filter, QStringLiteral("Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|All Files (*.*)|*.*"));
    QCOMPARE(s.shell.requests[2].filter, QStringLiteral("Output Data Files (*.dat)|*.dat|All Files (*.*)|*.*"));
    s.browse(1, "heads.xyz");
    QCOMPARE(w.FileText(1)->text(), s.path("heads.xyz"));
    QCOMPARE(w.settings().InputPath, s.path("heads.xyz").toStdString());
  }

  // The three validation messages in their order, each after a beep. A name
  // typed into the output box does not count, one chosen in the dialog does.
  void validation_data() {
    QTest::addColumn<QString>("model");  // empty: none opened
    QTest::addColumn<bool>("inputExists");
    QTest::addColumn<QString>("message");
    QTest::newRow("no model") << "" << true << "Please select a KV Model.";
    QTest::newRow("no input file") << "a.kv5" << false << "Could not find the input file %1/Input.dat";
    QTest::newRow("no output name") << "model" << true << "Please specify the name of the output data file";
  }
  void validation() {
    QFETCH(QString, model);
    QFETCH(bool, inputExists);
    QFETCH(QString, message);
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    if (inputExists) kvtest::WriteText(s.path("Input.dat"), "0\n");
    if (!model.isEmpty()) s.openModel(model, kvtest::ModelText(3, 2, 1));
    QTest::keyClicks(w.FileText(2), "typed.top");
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, (QStringList{"beep", "warn: " + (message.contains("%1") ? message.arg(s.dir.path()) : message)}));
  }

  void cancelledDialogChangesNothing_data() {
    QTest::addColumn<int>("row");
    QTest::newRow("model") << 0;
    QTest::newRow("input") << 1;
    QTest::newRow("output") << 2;
  }
  void cancelledDialogChangesNothing() {
    QFETCH(int, row);
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    const kv::Settings before = w.settings();
    const QStringList boxes = {w.FileText(0)->text(), w.FileText(1)->text(), w.FileText(2)->text()};
    s.browse(row, QString());
    QCOMPARE((QStringList{w.FileText(0)->text(), w.FileText(1)->text(), w.FileText(2)->text()}), boxes);
    QVERIFY(w.settings().ModelPath == before.ModelPath && w.settings().InputPath == before.InputPath &&
            w.settings().OutputPath == before.OutputPath && w.settings().Grid() == before.Grid());
  }

  void outputNameFollowsTheTypeList_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("extension");
    QTest::newRow("prompt row") << 0 << ".tmp";
    QTest::newRow("top of cells") << 1 << ".top";
    QTest::newRow("starting head") << 5 << ".hea";
    QTest::newRow("wells, the last row") << 30 << ".wel";
  }
  void outputNameFollowsTheTypeList() {
    QFETCH(int, row);
    QFETCH(QString, extension);
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    s.chooseType(row);
    QCOMPARE(w.FileText(2)->text(), s.path("a") + extension);
    QCOMPARE(w.settings().OutputPath, s.path("a.").toStdString());
  }

  // A type chosen after the save dialog replaces the box while OutputPath keeps
  // the chosen file; GO then writes to the name in the box.
  void typeAfterSaveDialog() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    kvtest::WriteText(s.path("Input.dat"), "1\n1 1\n1 2 3 4 5 6\n");
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    s.browse(2, "chosen.dat");
    QCOMPARE(w.FileText(2)->text(), s.path("chosen.dat"));
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
    kvtest::WriteText(s.path("Input.dat"), "1\n1 1\n1 2 3 4 5 6\n");
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    s.openModel("old.kv5", kvtest::ModelText(9, 9, 1, 3999));
    QCOMPARE(w.GridLabel()->text(), QStringLiteral("Not accepted: version 3999 < 4000"));
    s.chooseType(1);
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, (QStringList{"beep", "warn: " + kv::ui::FromCore(kv::ModelRefusal(w.settings()))}));
    QVERIFY(s.shell.log.last().contains(s.path("old.kv5")) && s.shell.log.last().contains("3999"));
    QVERIFY(!QFile::exists(s.path("old.top")) && !QFile::exists(s.path("a.top")));
  }

  // An input box edited to name a missing file stops GO without a message.
  void editedInputBoxStopsSilently() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    kvtest::WriteText(s.path("Input.dat"), "0\n");
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    w.FileText(1)->clear();
    QTest::keyClicks(w.FileText(1), s.path("gone.dat"));
    QVERIFY(s.go());
    QVERIFY(s.shell.log.isEmpty());
    QCOMPARE(w.settings().InputPath, s.path("gone.dat").toStdString());
  }

  // Enter presses GO, unless a focused button takes it for itself.
  void enterPressesGo() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    QTest::keyClick(w.Option1(1), Qt::Key_Return);
    QCOMPARE(s.shell.log, (QStringList{"beep", "warn: Please select a KV Model."}));
    w.Open_button(1)->setFocus();
    QTest::keyClick(w.Open_button(1), Qt::Key_Return);
    QCOMPARE(s.shell.log.last(), QStringLiteral("open: Input Data Files"));
  }

  void droppedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("target");    // 0..2: the row's path box; 3: step 4's browse button; 4: an option
    QTest::addColumn<int>("takenBy");   // the row that takes it; -1: refused
    QTest::newRow("model on model box") << "b.kv5" << 0 << 0;
    QTest::newRow("model elsewhere") << "b.kv5" << 4 << 0;
    QTest::newRow("data on model row") << "in.dat" << 0 << -1;
    QTest::newRow("data on input box") << "in.dat" << 1 << 1;
    QTest::newRow("data on step 4's browse button") << "in.dat" << 3 << 2;
    QTest::newRow("data elsewhere") << "in.dat" << 4 << -1;
    QTest::newRow("missing file") << "none.dat" << 1 << -1;
  }
  void droppedFiles() {
    QFETCH(QString, file);
    QFETCH(int, target);
    QFETCH(int, takenBy);
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    kvtest::WriteText(s.path("b.kv5"), kvtest::ModelText(5, 6, 1));
    kvtest::WriteText(s.path("in.dat"), "0\n");
    QWidget* const targets[] = {w.FileText(0), w.FileText(1), w.FileText(2), w.Open_button(2), w.Option1(1)};
    const QStringList before = {w.FileText(0)->text(), w.FileText(1)->text(), w.FileText(2)->text()};

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(s.path(file))});
    const QPoint at = targets[target]->mapTo(&w, targets[target]->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);

    if (takenBy == 0) {
      QCOMPARE(w.FileText(0)->text(), s.path(file));
      QCOMPARE(w.GridLabel()->text(), u"Grid: 5 columns × 6 rows × 1 layer"_qs);
    }
    for (int row = 1; row < 3; ++row) {
      if (takenBy != 0) QCOMPARE(w.FileText(row)->text(), row == takenBy ? s.path(file) : before[row]);
    }
    if (takenBy == 2) QCOMPARE(w.settings().OutputPath, s.path(file).toStdString());
  }

  // Close and the close box end the program's event loop.
  void closeEndsTheProgram_data() {
    QTest::addColumn<bool>("byButton");
    QTest::newRow("Close button") << true;
    QTest::newRow("close box") << false;
  }
  void closeEndsTheProgram() {
    QFETCH(bool, byButton);
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    QTimer::singleShot(0, &w, [&] {
      if (byButton) QTest::mouseClick(w.KVDIS_BUTTON(2), Qt::LeftButton);
      else w.windowHandle()->close();
    });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });  // not ended: fail rather than hang
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!w.isVisible());
  }
};

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
