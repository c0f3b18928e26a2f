// The window's answers to a modeller's slips, driven through its widgets: a
// second model moves what the first derived, typed paths are the ones used,
// the layout widens with the window.
#include <QDir>

#include "ui_support.h"

class SlipsTest : public QObject {
  Q_OBJECT

 private slots:
  // After converting into a.top with "Create", opening b.kv5 in another folder moves the derived
  // input and output there (the output keeps its type), so GO writes b/b.top and a.top stays. A
  // path the user typed stays through the next switch, while the derived input follows again.
  void modelSwitchMovesDerivedPaths() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.ready();
    QTest::mouseClick(w.Option1(1), Qt::LeftButton);
    QVERIFY(s.go());
    const QByteArray first = kvtest::ReadBytes(s.path("a.top"));
    QVERIFY(!first.isEmpty());
    QVERIFY(QDir(s.dir.path()).mkpath("b") && QDir(s.dir.path()).mkpath("c"));
    kvtest::WriteText(s.path("b/Input.dat"), "1\n1 1\n1 2 3 4\n5 6 7 8\n9 10 11 12\n");
    s.openModel("b/b.kv5", kvtest::ModelText(4, 3, 1));
    QCOMPARE(s.boxes(), (QStringList{s.path("b/b.kv5"), s.path("b/Input.dat"), s.path("b/b.top")}));
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
    QCOMPARE(kvtest::ReadBytes(s.path("a.top")), first);
    QCOMPARE(kvtest::ReadBytes(s.path("b/b.top")).size(), 4000 + 4 * 3 * 4);

    w.FileText(2)->clear();
    QTest::keyClicks(w.FileText(2), s.path("mine.top"));
    s.openModel("c/c.kv5", kvtest::ModelText(4, 3, 1));
    QCOMPARE(s.boxes(), (QStringList{s.path("c/c.kv5"), s.path("c/Input.dat"), s.path("mine.top")}));
    QCOMPARE(s.shell.requests.back().folder, s.path("b/"));  // the dialog started in the model's folder
  }

  // The input box's path is the one GO checks and converts: after a refusal that names nope.txt,
  // typing the right path is enough, and no message names nope.txt again.
  void typedInputPathIsUsed() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.ready();
    w.FileText(1)->setText(s.path("nope.txt"));
    QVERIFY(s.go());
    QCOMPARE(s.shell.log.size(), 2);
    QVERIFY2(s.shell.log[1].contains("nope.txt"), qPrintable(s.shell.log[1]));
    s.shell.log.clear();
    w.FileText(1)->clear();
    QTest::keyClicks(w.FileText(1), s.path("Input.dat"));
    w.FileText(2)->setText(s.path("no/a.top"));  // a missing folder is said as such, not as a lock error
    QVERIFY(s.go() && s.shell.log[1].startsWith("warn: The folder " + s.path("no") + " of the output file"));
    s.shell.log.clear();
    w.FileText(2)->setText(s.path("a.top"));
    QVERIFY(s.go());
    QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
  }

  // A model path typed into step 1 is taken when the box is left (the grid line shows its grid, a
  // missing key marked as the default), and with Enter before GO checks, which Enter still presses.
  void typedModelPathIsTaken() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    s.ready();
    kvtest::WriteText(s.path("c.kv5"), "[DIMENSION]\nNX=5\nNY=4\n");
    QLineEdit* model = w.FileText(0);
    model->setFocus();
    model->selectAll();
    QTest::keyClicks(model, s.path("c.kv5"));
    QTest::keyClick(model, Qt::Key_Tab);
    QVERIFY2(w.GridLabel()->text().contains("1 layer (default)"), qPrintable(w.GridLabel()->text()));
    QCOMPARE(w.settings().Grid(), (kv::GridSize{5, 4, 1}));
    QCOMPARE(w.FileText(2)->text(), s.path("c.top"));

    kvtest::WriteText(s.path("d.kv5"), kvtest::ModelText(3, 2, 2));
    model->setFocus();
    model->selectAll();
    QTest::keyClicks(model, s.path("d.kv5"));
    QSignalSpy finished(&w, &kv::ui::kvm::conversionFinished);
    QTest::keyClick(model, Qt::Key_Return);
    QVERIFY(finished.count() > 0 || finished.wait(10000));
    QCOMPARE(s.shell.log, QStringList{"inform: Conversion is complete."});
    QCOMPARE(kvtest::ReadBytes(s.path("d.top")).size(), 4000 + 2 * 3 * 2 * 4 * 2);
  }

  // A wider window gives its width to the path boxes; the buttons keep their size at the right.
  void layoutWidens() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    const int box = w.FileText(0)->width();
    const QRect go = w.KVDIS_BUTTON(0)->geometry();
    w.resize(w.width() + 200, w.height() + 100);
    QTRY_COMPARE(w.FileText(0)->width(), box + 200);
    QCOMPARE(w.KVDIS_BUTTON(0)->geometry(), go.translated(200, 0));
  }
};

QTEST_MAIN(SlipsTest)
#include "ui_slips_test.moc"
