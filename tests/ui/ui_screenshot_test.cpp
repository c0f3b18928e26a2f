// Renders the window, started with a sample model on its command line, to a PNG
// under the build folder so that its layout can be looked at, and checks that no
// caption is cut off and no two controls overlap.
#include <QDir>
#include <QFileInfo>

#include "ui_support.h"

class ScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void renderAndCheckLayout() {
    kvtest::Session s;
    kvtest::WriteText(s.path("Site.kv5"), kvtest::ModelText(12, 8, 2));
    kv::ui::kvm& w = s.start(s.path("Site.kv5").toStdString());
    QCOMPARE(s.boxes(), (QStringList{s.path("Site.kv5"), s.path("input.dat"), s.path("Site.")}));
    QCOMPARE(w.GridLabel()->text(), u"Grid: 12 columns × 8 rows × 2 layers"_qs);
    QCOMPARE(w.Combo1()->currentIndex(), 0);
    s.chooseType(1);
    const QString file = QStringLiteral(KV_SCREENSHOT_PATH);
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(w.grab().save(file));

    QWidget* page = w.SSTab1()->widget(0);
    QList<QWidget*> onTab = {w.Combo1(), w.Option1(0), w.Option1(1), w.GridLabel()};
    for (int i = 0; i < 6; ++i) onTab << w.Label2(i);
    for (int row = 0; row < 3; ++row) onTab << w.FileText(row) << w.Open_button(row);
    QList<QRect> used;  // what each control covers; a caption only its text
    for (QWidget* c : onTab) {
      QVERIFY(page->rect().contains(c->geometry()));
      QRect covered = c->geometry();
      if (auto* label = qobject_cast<QLabel*>(c)) {
        const QSize text(c->fontMetrics().horizontalAdvance(label->text().trimmed()), c->fontMetrics().height());
        QVERIFY2(text.width() <= c->width() && text.height() <= c->height(), qPrintable(label->text()));
        const bool right = label->alignment() & Qt::AlignRight;
        covered = QRect(right ? covered.topRight() - QPoint(text.width() - 1, 0) : covered.topLeft(), text);
      }
      if (auto* option = qobject_cast<QRadioButton*>(c)) QVERIFY(option->sizeHint().width() <= option->width());
      used << covered;
    }
    for (qsizetype i = 0; i < used.size(); ++i) {
      for (qsizetype j = i + 1; j < used.size(); ++j) {
        QVERIFY2(!used[i].intersects(used[j]), qPrintable(onTab[j]->objectName()));
      }
    }
    QVERIFY(!w.GridLabel()->text().contains(QChar(0x2026)));  // the grid line is not shortened
    // Close and GO side by side below the tab, GO on the right.
    QVERIFY(w.KVDIS_BUTTON(0)->geometry().top() > w.SSTab1()->geometry().bottom());
    QVERIFY(w.KVDIS_BUTTON(2)->geometry().right() < w.KVDIS_BUTTON(0)->geometry().left());
    QVERIFY(w.rect().contains(w.KVDIS_BUTTON(0)->geometry()));
  }
};

QTEST_MAIN(ScreenshotTest)
#include "ui_screenshot_test.moc"
