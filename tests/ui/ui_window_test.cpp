// The window's pure rules (dialog filters, centring, twips, dialog choices, the completion detail), then the
// window driven as a user would, with fake shell services: start-up, browse, validation, the paths typed or
// derived, drops, Enter and Close; GO to the output's bytes, refusals, the run with progress and cancel; the
// layout (rendered to PNGs under the build folder to be looked at); the preview and the completion's Show.
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QMimeData>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtEndian>
#include <atomic>
#include <thread>

#include "ui_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/view/layer_pictures.h"
#include "zuduradu/ui/center_window.h"
#include "zuduradu/ui/dialog_choice.h"
#include "zuduradu/ui/grid_caption.h"
#include "zuduradu/ui/name_filters.h"
#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/preview_dialog.h"
#include "zuduradu/ui/progress_text.h"
#include "zuduradu/ui/run_progress_dialog.h"
#include "zuduradu/ui/twips.h"
#include "zuduradu/ui/warning_note.h"

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
        const bool stop = !progress({phase, std::uint64_t(set) << 20, 4 << 20, set, 4, {}});
        if (stop && phase == kv::RunPhase::Checking) throw kv::Error(kv::ErrorKind::Cancelled, "Cancelled");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return kv::ConversionResult{2, 0, true, {}};
    };
  }
};

class WindowTest : public QObject {
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

  // A path in a message breaks only after a separator, never after its root, and a short one not at all.
  void messagePathsBreakAtSeparators() {
    const QString deep = "c:\\" + QString(u"Modelle S\u00fcd\\"_qs).repeated(6) + "site.top";
    const struct { QString path; int width; } cases[] = {{"/tmp/kv/a.top", 60}, {deep, 160}, {"/" + QString("x/").repeated(40) + "a.top", 40}};
    for (const auto& [path, width] : cases) {
      const QString text = kv::ui::WithPathBreaks("2 data sets stored in " + path + ".");
      QTextLayout layout(text, QApplication::font());
      QStringList lines;
      layout.beginLayout();
      for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).remove(QChar(0x200B)).remove(QChar(0x2060)).replace(QChar(QChar::Nbsp), u' ');
      }
      layout.endLayout();
      QCOMPARE(lines.join(QString()), "2 data sets stored in " + path + ".");
      QVERIFY2(path.size() > kv::ui::kWholePath || lines.filter(path).size() == 1, qPrintable(lines.join('|')));
      const qsizetype start = QString("2 data sets stored in ").size(), root = path.startsWith('c') ? 3 : 1;
      qsizetype end = 0;
      for (const QString& line : lines.mid(0, lines.size() - 1)) {
        end += line.size();
        QVERIFY2(end <= start || ((line.endsWith('/') || line.endsWith('\\')) && end > start + root),
                 qPrintable(lines.join('|')));
      }
    }
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

  // The window as it starts, then Enter, then closing it.
  void startUpStateAndEnter() {
    kvtest::Session s;
    QCOMPARE(s.w.windowTitle(), QStringLiteral("ZI5 Rara Roruvorur"));
    for (int size : {16, 48, 256}) QCOMPARE(s.w.windowIcon().actualSize(QSize(size, size)), QSize(size, size));
    QCOMPARE(s.boxes(), (QStringList{"", "", ""}));
    QCOMPARE(s.w.FileText(0)->placeholderText(), QStringLiteral("Open a model first"));
    QCOMPARE(s.w.Combo1()->currentText(), QStringLiteral("- Select a type -"));
    QVERIFY(!s.w.Combo1()->isEditable() && s.w.Option1(0)->isChecked() && !s.w.Option1(1)->isChecked());
    QVERIFY(s.w.KVDIS_BUTTON(0)->isDefault() && !s.w.KVDIS_BUTTON(1)->isVisible());
    QVERIFY(s.w.size() == s.w.minimumSize() && s.w.minimumHeight() == s.w.maximumHeight());  // opens at its table size
    QCOMPARE(QApplication::focusWidget(), s.w.KVDIS_BUTTON(0));
    s.chooseType(3);  // does nothing before a model is open
    QVERIFY(s.w.FileText(2)->text().isEmpty() && s.shell.log.isEmpty());
    // Enter presses GO, unless a focused button takes it for itself.
    QCOMPARE(s.said(s.w.Option1(1)), (QStringList{"beep", "warn: Please select a KV Model."}));
    s.w.Open_button(1)->setFocus();
    QTest::keyClick(s.w.Open_button(1), Qt::Key_Return);
    QCOMPARE(s.shell.log.last(), QStringLiteral("open: Input Data Files"));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY(QStringList({documents, QDir::homePath()}).contains(s.shell.requests.back().folder));
    // Closing the window ends the program's event loop (the Close button closes it: see progressAndCancel).
    QTimer::singleShot(0, &s.w, [&] { s.w.windowHandle()->close(); });
    QTimer::singleShot(5000, &s.w, [] { QCoreApplication::exit(1); });  // not ended: fail rather than hang
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!s.w.isVisible());
  }

  // Each browse button asks its own dialog; cancelled, it takes nothing; answered, its box shows the file.
  void browseButtons() {
    kvtest::Session s;
    s.openModel("a.kv5", kvtest::ModelText(3, 2, 1));
    const QString rasters = kv::HaveGdal() ? "Rasters (*.asc; *.tif; *.tiff)|*.asc;*.tif;*.tiff|"
                                           : "ESRI ASCII Grids (*.asc)|*.asc|";
    const struct { QString asked, filter, file; } rows[] = {
        {"open: ZENTA Models", "KV Models (*.kv5)|*.kv5", "b.kv5"},
        {"open: Input Data Files",
         "Input Data Files (*.dat; *.xyz)|*.dat;*.xyz|Text and CSV Files (*.txt; *.csv)|*.txt;*.csv|" + rasters +
             "All files (*)|*.*",
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
      QCOMPARE(s.w.FileText(row)->text(), s.shown(rows[row].file));
    }
    QCOMPARE(s.w.settings().InputPath, s.shown("heads.xyz").toStdString());
    // The output's dialog: the chosen type's files first, starting on the output; it asks before replacing
    // a file only when the run creates the file anew.
    s.chooseType(1);
    for (const bool create : {false, true}) {
      s.w.Option1(create ? 1 : 0)->setChecked(true);
      s.browse(2, QString());
      const kv::ui::DialogRequest& asked = s.shell.requests.back();
      QCOMPARE(asked.filter, "Elevation of top of cells (*.top)|*.top|" + rows[2].filter);
      // The same file by the platform's rule (Qt writes Windows' drive letter in upper case).
      const QString start = QDir::toNativeSeparators(QDir(asked.folder).filePath(asked.fileName));
      QVERIFY2(QFileInfo(start) == QFileInfo(s.shown("b.top")), qPrintable(start));
      QCOMPARE(asked.confirmReplace, create);
    }
  }

  // The validation messages in their order (the first, no model, under Enter above), each after a beep, about
  // the paths the boxes show: a typed input path is the one GO checks and converts; a missing output folder
  // is said as such.
  void validation() {
    kvtest::Session s;
    const auto goSays = [&s](const QString& message) { QCOMPARE(s.said(), (QStringList{"beep", "warn: " + message})); };
    s.openModel("model");  // no "." in the name: no output name
    s.chooseType(1);
    goSays("Could not find the input file " + s.shown("Input.dat"));
    kvtest::WriteText(s.path("Input.dat"), "1\n1 1\n1 2 3\n4 5 6\n");
    goSays("Please specify the name of the output data file");
    // Opened with the type list at its prompt, a model's output is its base name awaiting a type.
    s.chooseType(0);
    s.openModel("a.kv5");
    QCOMPARE(s.w.FileText(2)->text(), s.shown("a."));
    goSays("Select the type of the input data (step 3)");
    s.type(2, "no/typed.top");
    s.type(1, "gone.dat");
    goSays("Could not find the input file " + s.path("gone.dat"));
    QCOMPARE(s.w.settings().InputPath, s.path("gone.dat").toStdString());
    s.type(1, "Input.dat");
    QVERIFY(s.said().value(1).startsWith("warn: The folder " + s.path("no") + " of the output file"));
    s.type(2, "typed.top");  // named by the user, the output takes type 0 once the name's other type is accepted
    s.shell.yes = true;
    const QStringList asked = s.said();
    QVERIFY(asked.size() == 2 && asked[0].startsWith("ask: ") && asked[1] == "inform: Conversion is complete.");
    QCOMPARE(kvtest::ReadBytes(s.path("typed.top")).size(), 4000 + 3 * 2 * 2 * 4);
    QVERIFY(!QFile::exists(s.path("a.")) && !QFile::exists(s.path("a")));
  }

  // The output name follows the type list (rows: the prompt, starting head, wells (the last), top of cells).
  // A type chosen after the save dialog replaces the box while OutputPath keeps the chosen file; GO then
  // writes to the name in the box. Opening b.kv5 in another folder moves the derived input and output
  // there (the output keeps its type); a typed output stays through the next switch, while the derived
  // input follows again.
  void derivedPathsFollowTypeAndModel() {
    kvtest::Session s;
    s.ready();
    for (const auto& [row, extension] : {std::pair{0, ".tmp"}, {5, ".hea"}, {30, ".wel"}, {1, ".top"}}) {
      s.chooseType(row);
      QCOMPARE(s.w.FileText(2)->text(), s.shown("a") + extension);
    }
    QCOMPARE(s.w.settings().OutputPath, s.shown("a.").toStdString());
    s.browse(2, "chosen.dat");
    s.chooseType(1);
    QCOMPARE(s.w.FileText(2)->text(), s.shown("a.top"));
    QCOMPARE(s.w.settings().OutputPath, s.shown("chosen.dat").toStdString());
    QVERIFY(s.completes());
    QVERIFY(QFile::exists(s.path("a.top")) && !QFile::exists(s.path("chosen.dat")));
    QCOMPARE(s.w.settings().OutputPath, s.shown("a.top").toStdString());
    QVERIFY(QDir(s.dir.path()).mkpath("b") && QDir(s.dir.path()).mkpath("c"));
    s.openModel("b/b.kv5", kvtest::ModelText(4, 3, 1));
    QCOMPARE(s.boxes(), (QStringList{s.shown("b/b.kv5"), s.shown("b/Input.dat"), s.shown("b/b.top")}));
    s.type(2, "mine.top");
    s.openModel("c/c.kv5");
    QCOMPARE(s.boxes(), (QStringList{s.shown("c/c.kv5"), s.shown("c/Input.dat"), s.path("mine.top")}));
    QCOMPARE(s.shell.requests.back().folder, s.shown("b/"));  // the dialog started in the model's folder
    // The kept output lies outside c's folder: the window says so beside it, and GO asks once before writing.
    QVERIFY(s.w.OutsideNote(1)->text()->text().isEmpty());
    const QString note = s.w.OutsideNote(2)->text()->text();  // as much of "Outside the model's folder" as fits
    QVERIFY(note.startsWith("Outside") && s.w.OutsideNote(2)->FitsWhole(note, true) && s.w.OutsideNote(2)->icon()->isVisible());
    kvtest::WriteText(s.path("c/Input.dat"), "1\n1 1\n1 2 3 4 5 6\n");
    const QString asked = "ask: The output file " + s.path("mine.top") + " lies outside the folder of the model " +
                          s.shown("c/c.kv5") + ", whose grid the run uses. Convert anyway?";
    QVERIFY(s.go() && s.shell.log == QStringList{asked} && !QFile::exists(s.path("mine.top")));
    s.shell.yes = true;
    QVERIFY(!s.completes() && s.shell.log == (QStringList{asked, "inform: Conversion is complete."}));
    QVERIFY(s.completes() && QFile::exists(s.path("mine.top")));
    s.type(2, "c/mine.top");
    QVERIFY(s.w.OutsideNote(2)->text()->text().isEmpty());
  }

  // A model path typed into the empty step 1 is the path alone, taken when the box is left (the grid line
  // shows its grid whole, the keys left out marked as defaults), and with Enter before GO checks, which Enter
  // still presses. A model that is not accepted leaves the one before's grid; the window says so with a
  // warning icon, and GO refuses it.
  void typedModelPathIsTaken() {
    kvtest::Session s;
    kvtest::WriteText(s.path("c.kv5"), "[DIMENSION]\nNX=5\n");
    s.w.FileText(0)->setFocus();
    QTest::keyClicks(s.w.FileText(0), s.path("c.kv5"));
    QTest::keyClick(s.w.FileText(0), Qt::Key_Tab);
    const std::vector<std::string> forms = kv::ui::GridCaptionForms(s.w.settings());
    QCOMPARE(s.w.GridNote()->toolTip(), kv::ui::FromCore(forms.front()));
    QVERIFY(s.w.GridNote()->FitsWhole(s.w.GridLabel()->text(), false) && !s.w.GridNote()->icon()->isVisible());
    QVERIFY(std::count(forms.begin(), forms.end(), s.w.GridLabel()->text().toStdString()) == 1);
    QVERIFY(forms.front().ends_with("30 rows (default) \u00d7 1 layer (default)") && forms.back().ends_with("NY and NZ by default"));
    QCOMPARE(s.w.settings().Grid(), (kv::GridSize{5, 30, 1}));
    s.ready();
    kvtest::WriteText(s.path("d.kv5"), kvtest::ModelText(3, 2, 2));
    s.type(0, "d.kv5");
    QVERIFY(s.completes(s.w.FileText(0)));
    const QByteArray converted = kvtest::ReadBytes(s.path("d.top"));
    QCOMPARE(converted.size(), 4000 + 2 * 3 * 2 * 4 * 2);
    s.openModel("old.kv5", kvtest::ModelText(9, 9, 1, 3999));
    QCOMPARE(s.w.GridLabel()->text(), QStringLiteral("Not accepted: version 3999 < 4000"));
    QVERIFY(s.w.GridNote()->icon()->isVisible());
    QCOMPARE(s.said(), (QStringList{"beep", "warn: " + kv::ui::FromCore(kv::ModelRefusal(s.w.settings()))}));
    QVERIFY(kvtest::ReadBytes(s.path("d.top")) == converted && !QFile::exists(s.path("old.top")));
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
      kvtest::WriteText(s.path("b.kv5"), kvtest::ModelText(5, 6, 1));
      kvtest::WriteText(s.path("in.dat"), "0\n");
      QWidget* const targets[] = {s.w.FileText(0), s.w.FileText(1), s.w.FileText(2), s.w.Open_button(2), s.w.Option1(1)};
      QStringList expected = s.boxes();
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(s.path(file))});
      const QPoint at = targets[target]->mapTo(&s.w, targets[target]->rect().center());
      QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&s.w, &enter);
      QApplication::sendEvent(&s.w, &drop);
      if (takenBy == 0) expected = {s.shown(file), s.shown("Input.dat"), s.shown("b.")};  // the model, its default paths
      if (takenBy > 0) expected[takenBy] = s.shown(file);
      QCOMPARE(s.boxes(), expected);
      if (takenBy == 0) QCOMPARE(s.w.GridLabel()->text(), u"Grid: 5 columns × 6 rows × 1 layer"_qs);
      if (takenBy == 2) QCOMPARE(s.w.settings().OutputPath, s.shown(file).toStdString());
    }
  }

  // Over a file made for another grid, appending is refused after a beep with a warning that names
  // it and the way out, which leaves the file and OutputPath as they were. Creating a new file
  // writes what the core writes for the same request.
  void goWritesThePeriodDataFile() {
    kvtest::Session s;
    s.ready();
    QByteArray otherGrid(4005, '\0');  // one block entry, and a length that fits no 3 x 2 layer
    qToLittleEndian<qint16>(1, otherGrid.data() + 2000);
    kvtest::WriteText(s.path("a.top"), otherGrid);
    QVERIFY(s.go());
    const QString warning = s.shell.log.value(1);
    QVERIFY2(s.shell.log.size() == 2 && s.shell.log[0] == "beep" &&
                 warning.startsWith("warn: " + s.shown("a.top") + " does not fit the grid 3 x 2 x 2 and type 3") &&
                 warning.contains("Choose the model the file was made for, or create a new file."), qPrintable(warning));
    QCOMPARE(kvtest::ReadBytes(s.path("a.top")), otherGrid);
    QVERIFY(s.w.settings().OutputPath == s.shown("a.").toStdString() && !QApplication::overrideCursor());

    QTest::mouseClick(s.w.Option1(1), Qt::LeftButton);
    QVERIFY(s.completes() && !QApplication::overrideCursor());
    QCOMPARE(s.shell.details, QStringList{"2 data sets stored in " + s.shown("a.top") + "."});
    // The window's request is the core's: the input, the grid, type 3 and create-new.
    kv::RunConversion({{{s.path("Input.dat").toStdString()}}, s.path("core.top").toStdString(), 3, {3, 2, 2}, true});
    QCOMPARE(kvtest::ReadBytes(s.path("a.top")), kvtest::ReadBytes(s.path("core.top")));
  }

  // A raster input: GO asks its period and layer in the real dialog (Cancel converts nothing), the run stores
  // it there as the core does, and Preview draws it.
  void goStoresARasterAtThePeriodAndLayerAsked() {
    kvtest::Session s;
    s.ready();
    kvtest::WriteText(s.path("g.asc"), "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 5 6\n");
    s.browse(1, "g.asc");
    s.shell.place.clear();
    QVERIFY(s.said() == QStringList{"place: g.asc"} && !QFile::exists(s.path("a.top")));
    s.shell.place = QStringList{"3", ""};
    QCOMPARE(s.said(), (QStringList{"place: g.asc", "inform: Conversion is complete."}));
    kv::RunConversion({{{s.path("g.asc").toStdString(), false, 3, 1, 1, {}}}, s.path("core.top").toStdString(), 3,
                       {3, 2, 2}, true});
    QCOMPARE(kvtest::ReadBytes(s.path("a.top")), kvtest::ReadBytes(s.path("core.top")));
    QTest::mouseClick(s.w.PreviewButton(), Qt::LeftButton);
    const QString said = s.w.Preview()->Numbers()->text();
    QVERIFY2(said.contains("The raster " + s.shown("g.asc")) && said.contains(u"Min 1, max 6"_qs), qPrintable(said));
  }

  // An output named for another type is asked about: No leaves everything as it is, Yes converts;
  // a name without a type's extension is not asked about.
  void outputNamedForAnotherTypeIsAsked() {
    kvtest::Session s;
    s.ready();
    s.type(2, "a.hea");
    QCOMPARE(s.said(), QStringList{"ask: The output file " + s.path("a.hea") + " ends in .hea, the extension of "
                                      "type 10 (\"Starting Head\"), but the data is stored as type 3 (\"Elevation of "
                                      "top of cells\"), whose files end in .top. Convert all the same?"});
    QVERIFY(!QFile::exists(s.path("a.hea")));
    s.shell.yes = true;
    QVERIFY(s.go() && QFile::exists(s.path("a.hea")));
    s.type(2, "a.dat");
    QVERIFY(s.completes());
  }

  // While a run works: the wait cursor, no input, no closing; after half a second
  // the modal progress dialog. While the input is checked, Cancel stops the run
  // without a message; once the run writes, neither Cancel nor Escape stops it.
  void progressAndCancel_data() {
    QTest::addColumn<bool>("writing");
    for (const bool writing : {false, true}) QTest::newRow(writing ? "writing" : "checking") << writing;
  }
  void progressAndCancel() {
    QFETCH(bool, writing);
    Gate gate;
    gate.phase = writing ? kv::RunPhase::Writing : kv::RunPhase::Checking;
    kvtest::Session s({}, gate.runner());
    const auto release = qScopeGuard([&gate] { gate.release = true; });  // a failed check must not leave the run waiting
    s.ready();
    QSignalSpy finished(&s.w, &kv::ui::kvm::conversionFinished);
    s.clickGo();
    QVERIFY(s.w.running() && QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    s.clickGo();
    QTest::keyClick(&s.w, Qt::Key_Return);
    s.browse(1, "other.dat");
    s.w.close();
    QVERIFY(s.w.isVisible() && s.shell.log.isEmpty() && s.w.FileText(1)->text() == s.shown("Input.dat"));

    kv::ui::RunProgressDialog* dialog = s.w.ProgressDialog();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible() && dialog->isModal(), 5000);
    if (writing) {
      QTRY_COMPARE(dialog->text()->text(), QStringLiteral("Writing the output file..."));
      QVERIFY(!dialog->cancelButton()->isEnabled());
      QTest::keyClick(dialog, Qt::Key_Escape);
      QTest::qWait(100);
      QVERIFY(dialog->isVisible() && s.w.running());
      gate.release = true;
    } else {
      QTRY_VERIFY(dialog->text()->text().startsWith("Data set "));
      const QString text = dialog->text()->text();
      QVERIFY2(text.contains(" of 4, ") && text.endsWith(" of 4.0 MB"), qPrintable(text));
      QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    }
    QVERIFY(finished.wait(5000));
    QCOMPARE(s.shell.log,
             QStringList{writing ? "inform: Conversion is complete." : "inform: The conversion was cancelled."});
    QVERIFY(!dialog->isVisible() && !s.w.running() && !QApplication::overrideCursor() && gate.calls == 1);
    QTest::mouseClick(s.w.KVDIS_BUTTON(2), Qt::LeftButton);  // the window takes input again
    QVERIFY(!s.w.isVisible());
  }

  // A window destroyed during a run, as when the program is ended, stops the run first.
  void destroyedDuringARun() {
    Gate gate;
    kvtest::Session s({}, gate.runner());
    s.ready();
    s.clickGo();
    QVERIFY(s.w.running());
    s.window.reset();
    QVERIFY(!QApplication::overrideCursor() && s.shell.log.isEmpty());
  }

  // The window on the sample model, and the preview of its input.
  void layoutOnTheSampleModel() {
    const QString sample = QStringLiteral(KV_SOURCE_DIR "/examples/");
    kvtest::Session s((sample + "site.kv5").toStdString());
    QCOMPARE(s.boxes(), (QStringList{sample + "site.kv5", sample + "input.dat", sample + "site."}));
    QCOMPARE(s.w.GridLabel()->text(), u"Grid: 12 columns × 8 rows × 2 layers"_qs);
    QCOMPARE(s.w.Combo1()->currentIndex(), 0);
    s.chooseType(1);
    QVERIFY(QDir().mkpath(KV_SCREENSHOT_DIR) && s.w.grab().save(KV_SCREENSHOT_DIR "/kvm.png"));
    QWidget* page = s.w.SSTab1()->widget(0);
    QList<QWidget*> onTab = {s.w.Combo1(),     s.w.Option1(0),     s.w.Option1(1),    s.w.GridNote(),
                             s.w.PreviewButton(), s.w.OutsideNote(1), s.w.OutsideNote(2)};
    for (int i = 0; i < 6; ++i) onTab << s.w.Label2(i);
    for (int row = 0; row < 3; ++row) {
      onTab << s.w.FileText(row) << s.w.Open_button(row);  // each browse button in line with its box
      QVERIFY(s.w.Open_button(row)->x() == s.w.Open_button(0)->x() && s.w.Open_button(row)->y() == s.w.FileText(row)->y());
    }
    QList<QRect> used;  // what each control covers; a caption only its text
    for (QWidget* c : onTab) {
      QVERIFY(c->isVisible() && page->rect().contains(c->geometry()));
      QRect covered = c->geometry();
      if (auto* note = dynamic_cast<kv::ui::WarningNote*>(c)) c = note->text(), covered = c->geometry().translated(note->pos());
      if (auto* label = qobject_cast<QLabel*>(c)) {
        const QSize text(c->fontMetrics().horizontalAdvance(label->text().trimmed()), c->fontMetrics().height());
        QVERIFY2(text.width() <= c->width() && text.height() <= c->height(), qPrintable(label->text()));
        const bool right = label->alignment() & Qt::AlignRight;
        covered = QRect(right ? covered.topRight() - QPoint(text.width() - 1, 0) : covered.topLeft(), text);
      }
      if (auto* option = qobject_cast<QRadioButton*>(c)) QVERIFY(option->sizeHint().width() <= option->width());
      used << covered;
    }
    for (qsizetype i = 0; i < used.size(); ++i)
      for (auto j = i + 1; j < used.size(); ++j) QVERIFY2(!used[i].intersects(used[j]), qPrintable(onTab[j]->objectName()));
    QVERIFY(!s.w.GridLabel()->text().contains(QChar(0x2026)));  // the grid line is not shortened
    QVERIFY(s.w.Combo1()->y() - used[onTab.indexOf(s.w.Label2(2))].bottom() > 2);  // step 3's caption clear of its list
    const QRect go = s.w.KVDIS_BUTTON(0)->geometry();  // Close and GO side by side below the tab, GO on the right
    QVERIFY(go.top() > s.w.SSTab1()->geometry().bottom() && s.w.KVDIS_BUTTON(2)->geometry().right() < go.left());
    QVERIFY(s.w.rect().contains(go));
    QTest::mouseClick(s.w.PreviewButton(), Qt::LeftButton);
    QVERIFY(!s.w.Preview()->image().isNull() && s.w.Preview()->grab().save(KV_SCREENSHOT_DIR "/preview.png"));
    // A wider window gives its width to the path boxes; the buttons keep their size at the right.
    const int box = s.w.FileText(0)->width();
    s.w.resize(s.w.width() + 200, s.w.height() + 100);
    QTRY_COMPARE(s.w.FileText(0)->width(), box + 200);
    QCOMPARE(s.w.KVDIS_BUTTON(0)->geometry(), go.translated(200, 0));
  }

  void previewShowsADataSetAgainstTheGridBeforeGo() {
    kvtest::Session s;
    QTest::mouseClick(s.w.PreviewButton(), Qt::LeftButton);
    kv::ui::PreviewDialog* p = s.w.Preview();
    QCOMPARE(p->Numbers()->text(), u"Please select a KV Model."_qs);
    s.ready();  // a.kv5: 3 x 2 x 2, type "top"
    kvtest::WriteText(s.path("Input.dat"), "2\n1 1\n1 1 5\n1 1 5\n3 2\n6*0.5\n");
    QVERIFY(s.w.PreviewButton()->isVisible() && !s.w.PreviewButton()->isFlat());
    QTest::mouseClick(s.w.PreviewButton(), Qt::LeftButton);
    QVERIFY(p->isVisible());
    for (const QString& said : {u"Data set 1 of 2: period 1, layer 1"_qs, u"Min 1, max 5, mean 2.333333"_qs,
                                u"3 columns × 2 rows × 2 layers"_qs})
      QVERIFY2(p->Numbers()->text().contains(said), qPrintable(p->Numbers()->text()));
    // Columns 1 and 2 hold the minimum, column 3 the maximum; the pointer names a cell and its value.
    const kv::Raster& r = p->raster();
    const QPoint origin = p->Picture()->contentsRect().center() - QRect(QPoint(), p->image().size()).center();
    for (int cell = 0; cell < 6; ++cell) {
      const int row = cell / 3 + 1, column = cell % 3 + 1;
      const QPoint at(r.mapLeft + (2 * column - 1) * r.mapWidth / 6, r.mapTop + (2 * row - 1) * r.mapHeight / 4);
      QCOMPARE(p->image().pixel(at), column < 3 ? qRgb(68, 1, 84) : qRgb(253, 231, 37));
      QTest::mouseMove(p->windowHandle(), p->Picture()->mapTo(p, origin + at));  // the window's own events
      QCOMPARE(p->Pointer()->text(), u"Row %1, column %2: %3"_qs.arg(row).arg(column).arg(column < 3 ? 1 : 5));
    }
    // A number typed and Enter: that set is shown, and the preview stays open.
    p->First()->selectAll();
    QTest::keyClicks(p->First(), "2");
    QTest::keyClick(p->First(), Qt::Key_Return);
    QVERIFY(p->isVisible() && p->Numbers()->text().contains(u"period 3, layer 2"_qs) && s.shell.log.isEmpty());
    p->First()->setValue(3);
    QVERIFY(p->image().isNull() && p->Numbers()->text().contains(u"no data set 3"_qs));
    // A text that does not fit the grid is said, with its place; nothing was written.
    kvtest::WriteText(s.path("Input.dat"), "1\n1 1\n1 2 3 4 5\n");
    p->First()->setValue(1);
    QVERIFY2(p->Numbers()->text().contains(u"1 value is missing of its 6"_qs), qPrintable(p->Numbers()->text()));
    QVERIFY(!QFile::exists(s.path("a.top")) && s.shell.log.isEmpty());
  }

  void showOnTheCompletionMessageDrawsTheStoredLayer() {
    kvtest::Session s;
    s.shell.show = true;
    s.ready();
    kvtest::WriteText(s.path("Input.dat"), "1\n2 1\n1 2 3 4 5 6\n");
    QCOMPARE(s.said().last(), u"inform: Conversion is complete. [Show]"_qs);
    kv::ui::PreviewDialog* p = s.w.Preview();
    QVERIFY(p->isVisible() && !p->image().isNull());
    QCOMPARE(p->First()->value(), 2);
    QVERIFY2(p->Numbers()->text().contains(u"Min 1, max 6"_qs), qPrintable(p->Numbers()->text()));
    // Saved, it is the picture show draws of that layer.
    s.shell.answers.push_back(s.path("saved.png"));
    QTest::mouseClick(p->SaveButton(), Qt::LeftButton);
    kv::DrawStoredPictures({{kv::PathFromUtf8(s.path("a.top").toStdString()), {3, 2, 2}, 3, {}}, {}, "2", "1", {}, {},
                            s.path("show.png").toStdString(), {}});
    QVERIFY(kvtest::ReadBytes(s.path("saved.png")).startsWith("\x89PNG"));
    QCOMPARE(kvtest::ReadBytes(s.path("saved.png")), kvtest::ReadBytes(s.path("show.png")));
  }
};

QTEST_MAIN(WindowTest)
#include "ui_window_test.moc"
