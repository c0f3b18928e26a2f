// The window's pure rules: dialog filters, centring, twips and dialog choices.
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFont>
#include <QTemporaryDir>
#include <QTest>

#include "ui_support.h"
#include "zuduradu/ui/center_window.h"
#include "zuduradu/ui/dialog_choice.h"
#include "zuduradu/ui/name_filters.h"
#include "zuduradu/ui/twips.h"

class RulesTest : public QObject {
  Q_OBJECT

 private slots:
  void nameFilters_data() {
    QTest::addColumn<QString>("pipes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("model") << "KV Models (*.kv5)|*.kv5" << QStringList{"KV Models (*.kv5) (*.kv5)"};
    QTest::newRow("input") << "Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|All Files (*.*)|*.*"
                           << QStringList{"Input Data Files (*.dat; *.xyz) (*.dat *.xyz)", "All Files (*.*) (*)"};
    QTest::newRow("blanks, empty patterns, lone description") << "N||D| *.a ; ;*.b |L" << QStringList{"D (*.a *.b)"};
  }
  void nameFilters() {
    QFETCH(QString, pipes);
    QFETCH(QStringList, expected);
    QCOMPARE(kv::ui::QtNameFilters(pipes), expected);
  }

  // Qt itself reads the patterns from our filters, also when the description
  // carries its own parenthesised list, and shows the description alone.
  void qtReadsTheFilterPatterns() {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(kv::ui::QtNameFilters("Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|All Files (*.*)|*.*"));
    auto* model = dialog.findChild<QFileSystemModel*>();
    QVERIFY(model != nullptr);
    QCOMPARE(model->nameFilters(), (QStringList{"*.dat", "*.xyz"}));
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types != nullptr);
    QCOMPARE(types->itemText(0), QStringLiteral("Input Data Files (*.dat; *.xyz)"));
    QCOMPARE(types->itemText(1), QStringLiteral("All Files (*.*)"));
    dialog.selectNameFilter(dialog.nameFilters().at(1));
    QCOMPARE(model->nameFilters(), QStringList{"*"});
  }

  void centeredPosition_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("even screen") << QSize(1024, 768) << QSize(400, 300) << QPoint(312, 234);
    QTest::newRow("odd screen") << QSize(1025, 769) << QSize(400, 300) << QPoint(312, 234);
    QTest::newRow("wider by 5 truncates toward zero") << QSize(400, 300) << QSize(405, 305) << QPoint(-2, -2);
    QTest::newRow("larger than the screen") << QSize(800, 600) << QSize(1000, 900) << QPoint(-100, -150);
    QTest::newRow("beyond 16 bits") << QSize(100000, 0) << QSize(0, 100000) << QPoint(32767, -32768);
  }
  void centeredPosition() {
    QFETCH(QSize, screen);
    QFETCH(QSize, window);
    QFETCH(QPoint, expected);
    QCOMPARE(kv::ui::CenteredPosition(screen, window), expected);
  }

  void twips_data() {
    QTest::addColumn<qreal>("points");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("client at 8.25 pt") << 8.25 << QRect(0, 0, 6690, 5130) << QRect(0, 0, 446, 342);
    QTest::newRow("client at 16.5 pt") << 16.5 << QRect(0, 0, 6690, 5130) << QRect(0, 0, 892, 684);
    // Edges are rounded: two controls that touch in twips still touch.
    QTest::newRow("left part") << 9.0 << QRect(0, 0, 1000, 10) << QRect(0, 0, 73, 1);
    QTest::newRow("right part") << 9.0 << QRect(1000, 0, 1000, 10) << QRect(73, 0, 72, 1);
  }
  void twips() {
    QFETCH(qreal, points);
    QFETCH(QRect, twips);
    QFETCH(QRect, pixels);
    QFont font;
    font.setPointSizeF(points);
    const kv::ui::Twips t{twips.x(), twips.y(), twips.width(), twips.height()};
    QCOMPARE(kv::ui::ToPixels(t, kv::ui::PixelsPerTwip(font)), pixels);
  }

  void dialogChoice() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath("in.dat");
    kvtest::WriteText(file, "1");
    using kv::ui::DialogKind;
    QVERIFY(kv::ui::DialogChoiceProblem(DialogKind::Open, file).isEmpty());
    QVERIFY(!kv::ui::DialogChoiceProblem(DialogKind::Open, dir.filePath("missing.dat")).isEmpty());
    QVERIFY(!kv::ui::DialogChoiceProblem(DialogKind::Open, dir.path()).isEmpty());
    QVERIFY(kv::ui::DialogChoiceProblem(DialogKind::Save, file).isEmpty());
    QVERIFY(kv::ui::DialogChoiceProblem(DialogKind::Save, dir.filePath("new.top")).isEmpty());
    QVERIFY(kv::ui::DialogChoiceProblem(DialogKind::Save, dir.filePath("no/such/new.top")).contains("folder"));
    QVERIFY(kv::ui::DialogChoiceProblem(DialogKind::Save, dir.path()).contains("folder"));
  }
};

QTEST_MAIN(RulesTest)
#include "ui_rules_test.moc"
