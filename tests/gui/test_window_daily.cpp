// What a daily user of the window meets: a typed extension chooses what is
// written, one box for one broken file, access keys in every menu, the title
// and Ctrl+S after Paste and Undo, dropped files, the alpha dialog's names,
// the size report's cancel and numbers, FORMAT names, the read options, the
// help's columns and a window placed on a smaller screen.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QUrl>
#include <QtTest/QtTest>
#include <filesystem>
#include <set>

#include "../JpegTestSupport.h"
#include "../PngTestFiles.h"
#include "GuiTestSupport.h"
#include "app/HeldSink.h"
#include "gui/AlphaDlg.h"
#include "gui/CmdOptionsDlg.h"
#include "gui/MainWindow.h"
#include "gui/OptionsDialog.h"
#include "gui/ScreenFit.h"
#include "gui/SizeReportDlg.h"
#include "gui/SpecDlg.h"
#include "writers/CBitmapWriter.h"
#include "writers/SizeReport.h"

using gui_test::FakePrompts;
using gui_test::MakeTrueColorImage;

namespace {

QSettings Store() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }

// FakePrompts that also answer the size report: each answer in turn, then
// close it.
class DailyPrompts : public FakePrompts {
 public:
  std::deque<int> reportAnswers;
  bool SizeReport(QWidget*, const std::string&, const std::vector<FormatSize>&, int& format) override {
    asked << "sizereport";
    if (reportAnswers.empty()) return false;
    format = reportAnswers.front();
    reportAnswers.pop_front();
    return true;
  }
};

QAction* Find(const MainWindow& window, const QStringList& path) {
  QMenu* menu = nullptr;
  for (QAction* action : window.menuBar()->actions())
    if (action->text() == path.first()) menu = action->menu();
  for (int i = 1; menu != nullptr && i < path.size(); ++i) {
    for (QAction* action : menu->actions()) {
      if (action->text() != path[i]) continue;
      if (i == path.size() - 1) return action;
      menu = action->menu();
      break;
    }
  }
  return nullptr;
}

QMenu* SubMenu(const MainWindow& window, const QString& top, const QString& sub) {
  QAction* action = Find(window, {top, sub});
  return action != nullptr ? action->menu() : nullptr;
}

// 8 x rows grey PNG.
png_test::Bytes GreyPng(std::uint32_t rows, std::uint32_t gamma = 0) {
  png_test::Png png;
  png.width = 8;
  png.height = rows;
  png.colorType = 0;
  png.gamma = gamma;
  for (std::uint32_t y = 0; y < rows; ++y) png.rows.emplace_back(8, static_cast<std::uint8_t>(60 + y));
  return png_test::Encode(png);
}

std::string Start(const std::string& path, std::size_t n) { return testing_support::ReadText(path).substr(0, n); }

}  // namespace

class TestWindowDaily : public QObject {
  Q_OBJECT

 private:
  DailyPrompts* prompts_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<testing_support::TempDir> dir_;

  MainWindow& NewWindow() {
    window_.reset();
    auto prompts = std::make_unique<DailyPrompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<MainWindow>(std::move(prompts));
    return *window_;
  }

  void Show(BitmapPtr image) {
    GetDocument().current = std::move(image);
    window_->ShowResult(GetDocument().current.get());
  }

  QString Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    testing_support::WriteBytes(dir_->File(name), bytes);
    return QString::fromStdString(dir_->File(name));
  }

 private slots:
  void init() {
    gui_test::ResetProcessState();
    QSettings store = Store();
    store.clear();
    store.sync();
    dir_ = std::make_unique<testing_support::TempDir>();
  }

  void cleanup() {
    window_.reset();
    gui_test::ResetProcessState();
  }

  // --- a typed extension chooses the type --------------------------------

  void typedExtensionChoosesTheType_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("question");  // the format dialog's, or empty
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("C filter, .png name") << "C files (*.c)" << "o1.png" << "" << QByteArray("\x89PNG");
    QTest::newRow("C filter, .BMP name") << "C files (*.c)" << "o2.BMP" << "" << QByteArray("BM");
    QTest::newRow("PNG filter, .gif name") << "PNG files (*.png)" << "o3.gif" << "" << QByteArray("GIF8");
    QTest::newRow("PNG filter, .c name") << "PNG files (*.png)" << "o4.c" << "format:1" << QByteArray("/*");
    QTest::newRow("BMP filter, .dta name") << "BMP files (*.bmp)" << "o5.dta" << "format:3" << QByteArray("BM");
    QTest::newRow("other extension: the filter") << "PNG files (*.png)" << "o6.img" << "" << QByteArray("\x89PNG");
  }
  void typedExtensionChoosesTheType() {
    QFETCH(QString, filter);
    QFETCH(QString, name);
    QFETCH(QString, question);
    QFETCH(QByteArray, start);
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(2, 1, {0x00FF0000, 0x000000FF}));
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      return true;
    };
    const QString path = QString::fromStdString(dir_->File(name.toStdString()));
    prompts_->saveAnswers.push_back({path, filter});
    window.OnSaveAs();
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QCOMPARE(prompts_->asked.filter("format:"), question.isEmpty() ? QStringList() : QStringList{question});
    const std::string want = start.toStdString();
    QCOMPARE(Start(path.toStdString(), want.size()), want);
    QVERIFY2(window.statusBar()->currentMessage().startsWith("Saved " + name + ": "),
             qPrintable(window.statusBar()->currentMessage()));
  }

  // --- saving over a file keeps who may read it ---------------------------

  void savingOverAFileKeepsItsMode_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ctrlS");  // written again with Save, not Save as
    QTest::newRow("Save as over a 0644 PNG") << "PNG files (*.png)" << "shared.png" << 0644 << false;
    QTest::newRow("Save as over a 0664 BMP") << "BMP files (*.bmp)" << "shared.bmp" << 0664 << false;
    QTest::newRow("Ctrl+S over a 0644 .dta") << "DTA files (*.dta)" << "shared.dta" << 0644 << true;
    QTest::newRow("Ctrl+S over a 0664 .dta") << "DTA files (*.dta)" << "group.dta" << 0664 << true;
  }
  void savingOverAFileKeepsItsMode() {
#ifdef _WIN32
    QSKIP("POSIX file modes");
#else
    QFETCH(QString, filter);
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(bool, ctrlS);
    namespace fs = std::filesystem;
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(2, 1, {0x00FF0000, 0x000000FF}));
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      return true;
    };
    const std::string path = dir_->File(name.toStdString());
    testing_support::WriteBytes(path, {'o', 'l', 'd'});
    const auto perms = static_cast<fs::perms>(mode);
    fs::permissions(path, perms);
    prompts_->saveAnswers.push_back({QString::fromStdString(path), filter});
    window.OnSaveAs();
    if (ctrlS) {
      fs::permissions(path, perms);  // as the user left it after the first save
      window.OnSave();
    }
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QVERIFY(Start(path, 3) != "old");
    QCOMPARE(int(fs::status(path).permissions() & fs::perms::mask), mode);
#endif
  }

  // --- the empty window ---------------------------------------------------

  void emptyWindowOffersNoSaveOrCopy() {
    MainWindow& window = NewWindow();
    for (const QStringList& path : {QStringList{"&File", "Sa&ve"}, QStringList{"&File", "&Save as..."},
                                    QStringList{"&Edit", "&Copy"}}) {
      QVERIFY2(!Find(window, path)->isEnabled(), qPrintable(path.join(" > ")));
    }
    Show(MakeTrueColorImage(1, 1, {0}));
    for (const QStringList& path : {QStringList{"&File", "Sa&ve"}, QStringList{"&File", "&Save as..."},
                                    QStringList{"&Edit", "&Copy"}}) {
      QVERIFY2(Find(window, path)->isEnabled(), qPrintable(path.join(" > ")));
    }
  }

  // --- keys ---------------------------------------------------------------

  void everyConvertAndDitherItemHasAKeyOfItsOwn() {
    MainWindow& window = NewWindow();
    for (const QString& sub : {"&Convert to", "&Dither to"}) {
      std::set<QChar> keys;
      int items = 0;
      for (QAction* action : SubMenu(window, "&Image", sub)->actions()) {
        if (action->isSeparator()) continue;
        ++items;
        const QString text = action->text();
        const qsizetype amp = text.indexOf('&');
        QVERIFY2(amp >= 0 && amp + 1 < text.size() && text[amp + 1] != '\t', qPrintable(sub + ": " + text));
        QVERIFY2(keys.insert(text[amp + 1].toLower()).second, qPrintable(sub + ": " + text));
        // The key sits in the name, not in the bits-per-pixel column.
        QVERIFY2(text.indexOf('\t') < 0 || amp < text.indexOf('\t'), qPrintable(text));
      }
      // "Dither to" ends with its Method submenu, whose key must not clash either.
      QCOMPARE(items, sub == "&Convert to" ? MainWindow::kConvertCount : MainWindow::kDitherCount + 1);
    }
    // The texts stay the system's own once the marks are taken out.
    QStringList plain;
    for (QAction* action : SubMenu(window, "&Image", "&Convert to")->actions())
      if (!action->isSeparator()) plain << QString(action->text()).remove('&');
    QCOMPARE(plain.mid(14), QStringList({"RGB\t(24 BPP)", "Best palette", "Best palette + transparency",
                                          "Custom palette..."}));
    QCOMPARE(plain.first(), QString("BW\t(1 BPP)"));
  }

  void enterTakesTheOptions() {
    Settings values;
    values.BigEndianMode = 0;
    OptionsDialog dialog(tr("Options"), values);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.findChildren<QCheckBox*>().at(1), Qt::LeftButton);  // "Bi&g endian mode"
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Values().BigEndianMode, 1u);
  }

  // --- one box for one broken file ----------------------------------------

  void truncatedPngGivesOneBoxWithTheCause() {
    MainWindow& window = NewWindow();
    png_test::Bytes bytes = GreyPng(120);
    bytes.resize(bytes.size() - 30);  // the end of the image data and IEND
    window.OpenByName(Write("cut.png", bytes));
    QCOMPARE(prompts_->errorTexts, QStringList({"No Bitmap"}));
    QVERIFY2(prompts_->errorDetails.first().contains("data ends"), qPrintable(prompts_->errorDetails.first()));
    QVERIFY(!prompts_->errorDetails.first().contains("libpng"));
  }

  void foldingKeepsReportsThatStandAlone() {
    HeldSink sink;
    sink.Add(TextEntry("libpng error: CRC error"));
    sink.Add(TextEntry("No Bitmap"));
    sink.Add(TextEntry("libpng error: last words"));  // nothing follows: stays
    sink.FoldInto("libpng error: ");
    QCOMPARE(QString::fromStdString(sink.LastReport()->text), QString("libpng error: last words"));
    // Replayed to a batch run's log, not to boxes.
    const std::string logFile = dir_->File("log.txt");
    GetRunState().batchActive = true;
    GetRunState().logFileName = logFile;
    sink.Replay();
    ResetRunState();  // closes the log
    const std::string log = testing_support::ReadText(logFile);
    QVERIFY2(log.find("CRC error") == std::string::npos, log.c_str());
    QVERIFY2(log.find("No Bitmap") != std::string::npos, log.c_str());
    QVERIFY2(log.find("last words") != std::string::npos, log.c_str());
  }

  // --- Paste, Undo and Ctrl+S ---------------------------------------------

  void undoAfterPasteNamesTheFileLastSavedAndCtrlSWritesIt() {
    MainWindow& window = NewWindow();
    window.OpenByName(Write("first.png", GreyPng(2)));
    const std::string saved = dir_->File("saved.bmp");
    prompts_->saveAnswers.push_back({QString::fromStdString(saved), "BMP files (*.bmp)"});
    window.OnSaveAs();
    QVERIFY(window.windowTitle().contains("saved.bmp"));
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    QGuiApplication::clipboard()->setImage(image);
    window.OnPaste();
    QCOMPARE(window.windowTitle(), window.BaseTitle() + " - Pasted image[*]");
    window.OnUndo();
    QCOMPARE(window.windowTitle(), window.BaseTitle() + " - " + QString::fromStdString(saved) + "[*]");
    std::filesystem::remove(saved);
    prompts_->asked.clear();
    window.OnSave();
    QCOMPARE(prompts_->asked, QStringList());  // no name asked for
    QCOMPARE(Start(saved, 2), std::string("BM"));
    // The pasted picture itself has no file: Ctrl+S asks for one.
    window.OnRedo();
    window.OnSave();
    QCOMPARE(prompts_->asked.size(), 1);
    QVERIFY(prompts_->asked.first().startsWith("save:Save file as|"));
  }

  // --- dropping -----------------------------------------------------------

  void droppingTwoFilesSaysWhichWasNotOpened() {
    MainWindow& window = NewWindow();
    const QString first = Write("first.png", GreyPng(2));
    const QString second = Write("second.png", GreyPng(3));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QVERIFY2(GetDocument().current, qPrintable(prompts_->messages.join("; ")));
    QCOMPARE(GetDocument().current->YSize, 2);
    QCOMPARE(prompts_->messages.size(), 1);
    QVERIFY2(prompts_->messages.first().contains(second), qPrintable(prompts_->messages.first()));
    // One file: nothing to say.
    prompts_->messages.clear();
    data.setUrls({QUrl::fromLocalFile(second)});
    QDragEnterEvent again(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &again);
    QDropEvent one(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &one);
    QCOMPARE(GetDocument().current->YSize, 3);
    QVERIFY(prompts_->messages.isEmpty());
  }

  // --- the alpha dialog ---------------------------------------------------

  void alphaMaskNameComesBackAfterFileNotFound() {
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(1, 1, {0}));
    const std::string missing = dir_->File("mask-typo.bmp");
    QStringList offered;
    prompts_->alphaAnswer = [&](int, AlphaChoice& choice) {
      offered << QString::fromStdString(choice.firstName);
      choice.firstName = missing;
      choice.firstChosen = true;
      return true;
    };
    window.OnLoadAlpha();
    QCOMPARE(prompts_->errorTexts, QStringList({"File not found."}));
    window.OnLoadAlpha();
    QCOMPARE(offered, QStringList({"", QString::fromStdString(missing)}));
  }

  void alphaDialogSetsItsNamesAndTitlesItsBrowsing() {
    for (const int mode : {int(AlphaDlg::kCreateAlpha), int(AlphaDlg::kLoadAlphaMask)}) {
      AlphaDlg dialog(nullptr, mode);
      AlphaChoice earlier;
      earlier.firstName = "/tmp/a.bmp";
      earlier.secondName = "/tmp/b.bmp";
      dialog.SetChoice(earlier);
      QCOMPARE(dialog.FirstEdit()->text(), QString("/tmp/a.bmp"));
      if (dialog.SecondEdit() != nullptr) QCOMPARE(dialog.SecondEdit()->text(), QString("/tmp/b.bmp"));
      QVERIFY(dialog.OkButton()->isEnabled());
      QString caption;
      dialog.SetFileChooser([&](QWidget*, const QString& c, const QString&) {
        caption = c;
        return QString();
      });
      dialog.OnButtonBrowse0();
      QCOMPARE(caption, mode == AlphaDlg::kCreateAlpha ? QString("Select first image") : QString("Select alpha mask"));
      QCOMPARE(dialog.FirstEdit()->text(), QString("/tmp/a.bmp"));  // a cancelled browse keeps it
    }
  }

  // --- the size report ----------------------------------------------------

  void cancelledSaveGoesBackToTheReport() {
    MainWindow& window = NewWindow();
    GetDocument().sourcePath = dir_->File("pic.png");
    Show(MakeTrueColorImage(2, 1, {0x00FF0000, 0x000000FF}));
    const std::string out = dir_->File("pic565.c");
    prompts_->reportAnswers = {8, 12};
    prompts_->saveAnswers.push_back({QString(), "C files (*.c)"});  // cancelled
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "C files (*.c)"});
    window.OnSizeReport();
    QCOMPARE(prompts_->asked.filter("sizereport").size(), 2);
    QCOMPARE(prompts_->asked.filter("save:").size(), 2);
    QVERIFY(prompts_->asked.last().startsWith("save:Save file as FORMAT 12 "));
    QVERIFY(testing_support::ReadText(out).find("GUI_DRAW_RLE16") != std::string::npos);
    // Closed without a choice: done.
    prompts_->asked.clear();
    window.OnSizeReport();
    QCOMPARE(prompts_->asked, QStringList({"sizereport"}));
  }

  void reportCountsItsRowsAsItGoes() {
    std::vector<Color> pixels(64 * 64);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<Color>(i * 2654435761u) & 0xFFFFFF;
    BitmapPtr image = MakeTrueColorImage(64, 64, pixels);
    QStringList texts;
    sys::Context ctx([&texts](const std::string& text) { texts << QString::fromStdString(text); });
    std::vector<FormatSize> rows;
    QCOMPARE(int(ComputeSizeReport(*image, OutputOptions{}, rows, ctx)), int(sys::Code::kOk));
    const QStringList counts = texts.filter(QRegularExpression("^Counting the bytes of FORMAT \\d+, \\d+/\\d+$"));
    QCOMPARE(counts.size(), int(rows.size()));
    const QString total = QString::number(rows.size());
    QCOMPARE(counts.first(), QString("Counting the bytes of FORMAT %1, 1/%2").arg(rows.front().format).arg(total));
    QCOMPARE(counts.last(), QString("Counting the bytes of FORMAT %1, %2/%2").arg(rows.back().format).arg(total));
  }

  void reportBytesHaveThousandsSeparators() {
    FormatSize row;
    row.format = 8;
    row.name = "High color (565)";
    row.bitsPerPixel = 16;
    row.pixelBytes = 161934;
    row.paletteBytes = 0;
    row.flashBytes = 1234567;
    row.streamBytes = 999;
    int format = 0;
    SizeReportDlg dialog("heading", {row}, format);
    auto* table = dialog.findChild<QTableWidget*>();
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c) cells << (table->item(0, c) != nullptr ? table->item(0, c)->text() : "");
    QCOMPARE(cells.mid(0, 7), QStringList({"8", "High color (565)", "16", "161,934", "0", "1,234,567", "999"}));
  }

  // --- one FORMAT, one name -----------------------------------------------

  void formatListNamesThe444FormatsAsTheReportDoes() {
    for (const int format : {19, 21, 23}) {
      const FormatEntry* entry = FindFormat(format);
      QVERIFY(entry != nullptr);
      QCOMPARE(FormatChoiceText(format), QString::fromLatin1(entry->helpText));
    }
    for (const FormatChoice& choice : FormatChoices(2, false, kOutputCBitmap))
      QVERIFY2(!QString(choice.text).endsWith(','), choice.text);
  }

  // --- options ------------------------------------------------------------

  void changedReadOptionOffersToReadThePictureAgain() {
    MainWindow& window = NewWindow();
    window.OpenByName(Write("linear.png", GreyPng(1, 100000)));
    const Color asRead = Bitmap_GetPixel(*GetDocument().current, 7, 0);
    prompts_->optionsAnswer = [](Settings& v) {
      v.PngGamma = 0;
      return true;
    };
    prompts_->confirmAnswer = true;
    window.OnOptions();
    QCOMPARE(prompts_->asked.filter("readagain:"), QStringList({"readagain:linear.png|without its gamma applied"}));
    QVERIFY(Bitmap_GetPixel(*GetDocument().current, 7, 0) != asRead);  // read again, without gamma
    // A setting that does not concern the picture's file asks nothing.
    prompts_->optionsAnswer = [](Settings& v) {
      v.SmoothChroma = 1 - v.SmoothChroma;
      v.BigEndianMode = 1;
      return true;
    };
    window.OnOptions();
    QCOMPARE(prompts_->asked.filter("readagain:").size(), 1);
    // Once saved as another file, the picture is that file's: nothing to offer.
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("other.png")), "PNG files (*.png)"});
    window.OnSaveAs();
    prompts_->optionsAnswer = [](Settings& v) {
      v.PngGamma = 1;
      return true;
    };
    window.OnOptions();
    QCOMPARE(prompts_->asked.filter("readagain:").size(), 1);
  }

  void exifQuestionOncePerFileWhateverThePath() {
    MainWindow& window = NewWindow();
    png_test::Png png;
    png.width = 2;
    png.rows = {{1, 2, 3, 4, 5, 6}};
    png.exif = jpeg_test::ExifTiff(6, false);
    std::filesystem::create_directory(dir_->File("sub"));
    const QString path = Write("turned.png", png_test::Encode(png));
    prompts_->turnAnswers = {true};
    window.OpenByName(path);
    QCOMPARE(GetDocument().current->XSize, 1);  // turned upright
    window.OpenByName(QString::fromStdString(dir_->File("sub")) + "/../turned.png");
    QCOMPARE(prompts_->asked.filter("turn:").size(), 1);
    QCOMPARE(GetDocument().current->XSize, 1);
  }

  // --- Best palette + transparency on an opaque picture -------------------

  void bestPaletteWithTransparencySaysWhyThereIsNone() {
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(2, 1, {0x00FF0000, 0x000000FF}));
    Find(window, {"&Image", "&Convert to", "Bes&t palette + transparency"})->trigger();
    QVERIFY(GetDocument().current->NumColors > 0);
    QVERIFY2(window.statusBar()->currentMessage().contains("no alpha channel"),
             qPrintable(window.statusBar()->currentMessage()));
    window.statusBar()->clearMessage();
    Show(MakeTrueColorImage(2, 1, {0x00FF0000, 0xFF0000FF}, true));
    Find(window, {"&Image", "&Convert to", "Bes&t palette + transparency"})->trigger();
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
  }

  // --- the help's columns -------------------------------------------------

  void helpDescriptionsStartInOneColumn() {
    CmdOptionsDlg dialog;
    const QStringList lines = dialog.Text()->toPlainText().split('\n');
    std::set<qsizetype> columns;
    for (const QString& line : lines) {
      if (!line.startsWith('-')) continue;
      QVERIFY2(!line.contains('\t'), qPrintable(line));
      const qsizetype end = line.indexOf(' ');
      const qsizetype column = line.indexOf(QRegularExpression("\\S"), end);
      if (end > 0 && column > 0) columns.insert(column);
    }
    QCOMPARE(columns.size(), std::size_t{1});
    // A line under a command starts in that column too (its own blanks
    // after it set its values apart).
    const qsizetype column = *columns.begin();
    for (const QString& line : lines) {
      if (line.startsWith('-') || line.trimmed().isEmpty()) continue;
      QVERIFY2(line.left(column).trimmed().isEmpty() && !line.left(column).contains('\t'), qPrintable(line));
      QVERIFY2(line.indexOf(QRegularExpression("\\S")) <= column + 2, qPrintable(line));
    }
  }

  // --- a window placed on a larger screen ---------------------------------

  void windowFitsItsFrameOntoTheScreen_data() {
    QTest::addColumn<QRect>("content");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    const QRect small(0, 0, 1366, 768);
    QTest::newRow("left on 1400 x 900, started on 1366 x 768")
        << QRect(200, 100, 1000, 700) << QMargins(1, 21, 1, 5) << small << QRect(200, 63, 1000, 700);
    QTest::newRow("before the frame is known") << QRect(200, 100, 1000, 700) << AssumedFrame() << small
                                               << QRect(200, 20, 1000, 700);
    QTest::newRow("larger than the screen") << QRect(50, 50, 1500, 800) << QMargins(1, 21, 1, 5) << small
                                            << QRect(1, 21, 1364, 742);
    QTest::newRow("fits: stays") << QRect(30, 40, 420, 310) << QMargins(1, 21, 1, 5) << small
                                 << QRect(30, 40, 420, 310);
    QTest::newRow("off to the left and top") << QRect(-300, -50, 600, 400) << QMargins(1, 21, 1, 5)
                                             << QRect(0, 30, 1366, 738) << QRect(1, 51, 600, 400);
  }
  void windowFitsItsFrameOntoTheScreen() {
    QFETCH(QRect, content);
    QFETCH(QMargins, frame);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    const QRect fitted = FitFrameInto(content, frame, available);
    QCOMPARE(fitted, expected);
    QVERIFY(available.contains(fitted.marginsAdded(frame)));
  }

  void placeFromALargerScreenIsFittedAtStart() {
    MainWindow& first = NewWindow();
    const QRect available = first.screen()->availableGeometry();
    // Left at the bottom right of a screen larger than this one.
    first.setGeometry(QRect(available.topLeft() + QPoint(available.width() / 2, available.height() / 2),
                            available.size() * 3 / 4));
    QVERIFY(first.close());
    MainWindow& next = NewWindow();
    QTRY_VERIFY2(available.contains(next.frameGeometry()),
                 qPrintable(QString("%1,%2 %3 x %4")
                                .arg(next.frameGeometry().x())
                                .arg(next.frameGeometry().y())
                                .arg(next.frameGeometry().width())
                                .arg(next.frameGeometry().height())));
  }
};

RASTRA_GUI_TEST_MAIN(TestWindowDaily)
#include "test_window_daily.moc"
