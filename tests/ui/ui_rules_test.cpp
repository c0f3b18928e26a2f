// The window's pure rules: dialog filters, centring, twips, dialog choices and the completion detail.
#include <QFont>
#include <QTemporaryDir>
#include <QTest>

#include "ui_support.h"
#include "zuduradu/ui/center_window.h"
#include "zuduradu/ui/dialog_choice.h"
#include "zuduradu/ui/name_filters.h"
#include "zuduradu/ui/progress_text.h"
#include "zuduradu/ui/twips.h"

class RulesTest : public QObject {
  Q_OBJECT

 private slots:
  // Qt's filters from the pipe-separated ones: descriptions kept, patterns in Qt's brackets.
  void nameFilters() {
    QCOMPARE(kv::ui::QtNameFilters("KV Models (*.kv5)|*.kv5"), QStringList{"KV Models (*.kv5) (*.kv5)"});
    QCOMPARE(kv::ui::QtNameFilters("Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|All Files (*.*)|*.*"),
             (QStringList{"Input Data Files (*.dat; *.xyz) (*.dat *.xyz)", "All Files (*.*) (*)"}));
    // Blanks, empty patterns and a lone description.
    QCOMPARE(kv::ui::QtNameFilters("N||D| *.a ; ;*.b |L"), QStringList{"D (*.a *.b)"});
  }

  // Half the difference (odd sizes and negative ones truncated toward zero), kept to 16 bits.
  void centeredPosition() {
    const struct { QSize screen, window; QPoint expected; } cases[] = {
        {{1024, 768}, {400, 300}, {312, 234}},   {{1025, 769}, {400, 300}, {312, 234}},
        {{400, 300}, {405, 305}, {-2, -2}},      {{800, 600}, {1000, 900}, {-100, -150}},
        {{100000, 0}, {0, 100000}, {32767, -32768}},
    };
    for (const auto& c : cases) QCOMPARE(kv::ui::CenteredPosition(c.screen, c.window), c.expected);
  }

  // At 8.25 points a pixel is 15 twips. Edges are rounded: two controls that touch in twips still touch.
  void twips() {
    const struct { qreal points; kv::ui::Twips twips; QRect pixels; } cases[] = {
        {8.25, {0, 0, 6690, 5130}, {0, 0, 446, 342}}, {16.5, {0, 0, 6690, 5130}, {0, 0, 892, 684}},
        {9.0, {0, 0, 1000, 10}, {0, 0, 73, 1}},       {9.0, {1000, 0, 1000, 10}, {73, 0, 72, 1}},
    };
    for (const auto& c : cases) {
      QFont font;
      font.setPointSizeF(c.points);
      QCOMPARE(kv::ui::ToPixels(c.twips, kv::ui::PixelsPerTwip(font)), c.pixels);
    }
  }

  // The detail line under "Conversion is complete.".
  void completionDetail() {
    const struct { kv::ConversionResult result; const char* detail; } cases[] = {
        {{1, 0, true, {}}, "1 data set stored in a.top."},
        {{3, 1, true, {}}, "3 data sets stored in a.top; 1 data set skipped because its layer exceeds NZ."},
        {{0, 2, false, {}}, "No data set was stored, so there is no file a.top; 2 data sets skipped because their "
                            "layers exceed NZ."},
        {{2, 0, true, {"Line 4: 3 values are left over.", "Second."}},
         "2 data sets stored in a.top.\nLine 4: 3 values are left over.\nSecond."},
    };
    for (const auto& c : cases) QCOMPARE(kv::ui::CompletionDetail(c.result, "a.top"), std::string(c.detail));
  }

  void dialogChoice() {
    QTemporaryDir dir;
    kvtest::WriteText(dir.filePath("in.dat"), "1");
    using enum kv::ui::DialogKind;
    const struct { kv::ui::DialogKind kind; const char* name; const char* problem; } cases[] = {
        // name "": the folder itself; problem nullptr: none, otherwise words it holds
        {Open, "in.dat", nullptr}, {Open, "missing.dat", "not found"}, {Open, "", "not found"},
        {Save, "in.dat", nullptr}, {Save, "new.top", nullptr}, {Save, "no/such/new.top", "folder"}, {Save, "", "folder"},
    };
    for (const auto& c : cases) {
      const QString problem = kv::ui::DialogChoiceProblem(c.kind, *c.name ? dir.filePath(c.name) : dir.path());
      QVERIFY2(c.problem ? problem.contains(c.problem) : problem.isEmpty(), qPrintable(c.name + (": " + problem)));
    }
  }
};

QTEST_MAIN(RulesTest)
#include "ui_rules_test.moc"
