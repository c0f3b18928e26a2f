// The Preview button and the Show button of the completion message, through
// the real window: what the picture shows, the numbers beside it, and what is
// said when the input does not fit the grid.
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSpinBox>

#include "ui_support.h"
#include "zuduradu/core/view/heat_map.h"
#include "zuduradu/ui/preview_dialog.h"

namespace {

// Answers the completion message with its extra button.
class ShowingShell : public kvtest::FakeShell {
 public:
  bool InformWithAction(const QString& text, const QString& detail, const QString& action) override {
    log << "inform: " + text + " [" + action + "]";
    details << detail;
    return true;
  }
};

QRgb Colour(const kv::Rgb& c) { return qRgb(c[0], c[1], c[2]); }

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void previewShowsADataSetAgainstTheGridBeforeGo() {
    kvtest::Session s;
    s.start();
    s.ready();  // a.kv5: 3 x 2 x 2, type "top"
    kvtest::WriteText(s.path("Input.dat"), "2\n1 1\n1 1 5\n1 1 5\n3 2\n6*0.5\n");
    kv::ui::kvm& w = *s.window;
    QVERIFY(w.PreviewButton()->isVisible());
    QVERIFY(w.SSTab1()->widget(0)->rect().contains(w.PreviewButton()->geometry()));
    QTest::mouseClick(w.PreviewButton(), Qt::LeftButton);
    kv::ui::PreviewDialog* p = w.Preview();
    QVERIFY(p->isVisible());
    QVERIFY(p->Numbers()->text().contains(u"Data set 1 of 2: period 1, layer 1"_qs));
    QVERIFY(p->Numbers()->text().contains(u"Min 1, max 5, mean 2.333333"_qs));
    QVERIFY(p->Numbers()->text().contains(u"3 columns × 2 rows × 2 layers"_qs));
    // Columns 1 and 2 hold the minimum, column 3 the maximum.
    const kv::Raster layout = kv::DrawHeatMap(std::vector<float>(6, 0), 3, 2, {}, "");
    const QImage& image = p->image();
    const int block = layout.mapWidth / 3;
    for (int column = 0; column < 3; ++column) {
      for (int row = 0; row < 2; ++row) {
        QCOMPARE(image.pixel(layout.mapLeft + column * block + block / 2, layout.mapTop + row * block + block / 2),
                 Colour(kv::Viridis(column < 2 ? 0 : 255)));
      }
    }
    p->First()->setValue(2);
    QVERIFY(p->Numbers()->text().contains(u"period 3, layer 2"_qs));
    p->First()->setValue(3);
    QVERIFY(p->image().isNull());
    QVERIFY(p->Numbers()->text().contains(u"no data set 3"_qs));
    // A text that does not fit the grid is said, with its place; nothing was written.
    kvtest::WriteText(s.path("Input.dat"), "1\n1 1\n1 2 3 4 5\n");
    p->First()->setValue(1);
    QVERIFY2(p->Numbers()->text().contains(u"1 value is missing of its 6"_qs), qPrintable(p->Numbers()->text()));
    QVERIFY(!QFileInfo::exists(s.path("a.top")));
    QVERIFY(s.shell.log.isEmpty());
  }

  // The window on the sample model with the preview of its input beside it,
  // rendered to a PNG under the build folder to be looked at.
  void renderTheSamplePreview() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start(KV_SOURCE_DIR "/examples/site.kv5");
    QTest::mouseClick(w.PreviewButton(), Qt::LeftButton);
    QVERIFY(!w.Preview()->image().isNull());
    const QPixmap window = w.grab();
    const QPixmap preview = w.Preview()->grab();
    QPixmap both(window.width() + preview.width() + 12, std::max(window.height(), preview.height()));
    both.fill(Qt::white);
    QPainter painter(&both);
    painter.drawPixmap(0, 0, window);
    painter.drawPixmap(window.width() + 12, 0, preview);
    painter.end();
    const QString shot = QStringLiteral(KV_SCREENSHOT_DIR "/preview.png");
    QVERIFY(QDir().mkpath(QFileInfo(shot).absolutePath()));
    QVERIFY(both.save(shot));
  }

  void previewWithoutAModelSaysSo() {
    kvtest::Session s;
    kv::ui::kvm& w = s.start();
    QTest::mouseClick(w.PreviewButton(), Qt::LeftButton);
    QCOMPARE(w.Preview()->Numbers()->text(), u"Please select a KV Model."_qs);
  }

  void showOnTheCompletionMessageDrawsTheStoredLayer() {
    kvtest::Session s;
    auto shell = std::make_unique<ShowingShell>();
    s.window = std::make_unique<kv::ui::kvm>(*shell, std::string());
    s.window->show();
    s.shell.log.clear();
    kvtest::WriteText(s.path("a.kv5"), kvtest::ModelText(3, 2, 2));
    shell->answers.push_back(s.path("a.kv5"));
    QTest::mouseClick(s.window->Open_button(0), Qt::LeftButton);
    kvtest::WriteText(s.path("Input.dat"), "1\n2 1\n1 2 3 4 5 6\n");
    s.chooseType(1);
    QVERIFY(s.go());
    QCOMPARE(shell->log.last(), u"inform: Conversion is complete. [Show]"_qs);
    kv::ui::PreviewDialog* p = s.window->Preview();
    QVERIFY(p->isVisible());
    QCOMPARE(p->First()->value(), 2);
    QVERIFY2(p->Numbers()->text().contains(u"Min 1, max 6"_qs), qPrintable(p->Numbers()->text()));
    QVERIFY(!p->image().isNull());
    s.window.reset();
  }
};

QTEST_MAIN(PreviewTest)
#include "ui_preview_test.moc"
