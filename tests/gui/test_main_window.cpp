// The main window: menus, enable rules, undo, dialogs' results reaching the
// document, recent files, saving, clipboard, drag and drop and messages.
#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QtTest/QtTest>
#include <filesystem>

#include "GuiTestSupport.h"
#include "app/Startup.h"
#include "gui/ImageCanvas.h"
#include "gui/MainWindow.h"
#include "gui/ShowImage.h"

using gui_test::FakePrompts;
using gui_test::MakePaletteImage;
using gui_test::MakeTrueColorImage;

namespace {

QSettings Store() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }

QMenu* TopMenu(const MainWindow& window, const QString& title) {
  for (QAction* action : window.menuBar()->actions())
    if (action->text() == title) return action->menu();
  return nullptr;
}

QMenu* SubMenu(QMenu* menu, const QString& title) {
  for (QAction* action : menu->actions())
    if (action->menu() != nullptr && action->text() == title) return action->menu();
  return nullptr;
}

// Item texts with "-" for separators; recent-file entries are left out.
QStringList ItemTexts(const QMenu* menu, bool skipRecent = true) {
  QStringList texts;
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator()) {
      texts << "-";
    } else if (!(skipRecent && action->text().isEmpty() && !action->isVisible() && action->menu() == nullptr)) {
      texts << action->text();
    }
  }
  return texts;
}

QAction* Find(const MainWindow& window, const QStringList& path) {
  QMenu* menu = TopMenu(window, path.first());
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

QList<QAction*> AllActions(const QMenu* menu) {
  QList<QAction*> all;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    if (action->menu() != nullptr) {
      all += AllActions(action->menu());
    } else {
      all << action;
    }
  }
  return all;
}

const QStringList kConvertLabels = {
    "BW\t\t\t(1 BPP)",
    "Gray4\t\t\t(2 BPP)",
    "Gray16\t\t\t(4 BPP)",
    "Gray64\t\t\t(8 BPP)",
    "Gray256\t\t\t(8 BPP)",
    "3 bit Color 111\t\t\t(4 BPP)",
    "6 bit Color 222\t\t\t(8 BPP)",
    "8 bit Color 233\t\t\t(8 BPP)",
    "8 bit Color 323\t\t\t(8 BPP)",
    "8 bit Color 332\t\t\t(8 BPP)",
    "8 bit Color 8666\t\t\t(8 BPP)",
    "12 bit Color 444\t\t\t(16 BPP)",
    "16 bit Color 555\t\t\t(32k colors)",
    "16 bit Color 565\t\t\t(64k colors)",
};

// A 4 x 2 true-colour picture whose first pixel carries a marker.
BitmapPtr MarkedImage(Color marker) {
  std::vector<Color> pixels(8, 0x00808080);
  pixels[0] = marker;
  return MakeTrueColorImage(4, 2, pixels);
}

// A 24-bit 1 x 1 Windows bitmap of one grey level.
std::vector<std::uint8_t> GreyBmp(std::uint8_t level) {
  std::vector<std::uint8_t> b = {'B', 'M'};
  testing_support::PutLE32(b, 58);
  testing_support::PutLE32(b, 0);
  testing_support::PutLE32(b, 54);
  testing_support::PutLE32(b, 40);
  testing_support::PutLE32(b, 1);
  testing_support::PutLE32(b, 1);
  testing_support::PutLE16(b, 1);
  testing_support::PutLE16(b, 24);
  for (int i = 0; i < 6; ++i) testing_support::PutLE32(b, 0);
  b.insert(b.end(), {level, level, level, 0});
  return b;
}

// A picture file that opens (a 1 x 1 bitmap whatever the name says).
void MakeFile(const std::string& path) { testing_support::WriteBytes(path, GreyBmp(0x40)); }

// A 1 x 1 GIF of black and white holding frames pictures.
std::vector<std::uint8_t> GifOfFrames(int frames) {
  std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
  for (int i = 0; i < frames; ++i) {
    // Image descriptor, LZW minimum code size 2, codes clear, 0, end.
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0});
  }
  gif.push_back(0x3B);
  return gif;
}


}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private:
  FakePrompts* prompts_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<testing_support::TempDir> dir_;

  MainWindow& NewWindow() {
    window_.reset();
    auto prompts = std::make_unique<FakePrompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<MainWindow>(std::move(prompts));
    return *window_;
  }

  void Show(BitmapPtr image) {
    GetDocument().current = std::move(image);
    window_->ShowResult(GetDocument().current.get());
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

  // --- menus ---------------------------------------------------------------

  void menuBarHoldsTheFiveMenus() {
    MainWindow& window = NewWindow();
    QStringList titles;
    for (QAction* action : window.menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, QStringList({"&File", "&Edit", "&View", "&Image", "&Help"}));
  }

  void fileMenuItems() {
    MainWindow& window = NewWindow();
    QCOMPARE(ItemTexts(TopMenu(window, "&File")),
             QStringList({"&Open...", "&Save as...", "-", "-", "&Create alpha...", "&Load alpha mask...", "-",
                          "&Create animated sprite from GIF", "&Create animated cursor from GIF", "-",
                          "Save &palette", "-", "&Options", "-", "&Exit"}));
    QCOMPARE(window.RecentFileActions().size(), std::size_t{10});
    for (QAction* recent : window.RecentFileActions()) QVERIFY(!recent->isVisible());
  }

  void editViewHelpItems() {
    MainWindow& window = NewWindow();
    QCOMPARE(ItemTexts(TopMenu(window, "&Edit")), QStringList({"&Undo", "&Copy", "&Paste"}));
    QCOMPARE(ItemTexts(TopMenu(window, "&View")), QStringList({"Zoom in", "Zoom out", "-", "Fit to window", "100 %"}));
    QCOMPARE(ItemTexts(TopMenu(window, "&Help")), QStringList({"Command line options...", "About..."}));
  }

  // The platform's own keys, whatever they are here; and the zoom keys.
  void actionsUseThePlatformsStandardKeys() {
    MainWindow& window = NewWindow();
    const QList<QPair<QStringList, QKeySequence::StandardKey>> standard = {
        {{"&File", "&Open..."}, QKeySequence::Open},
        {{"&File", "&Save as..."}, QKeySequence::SaveAs},
        {{"&File", "&Exit"}, QKeySequence::Quit},
        {{"&Edit", "&Undo"}, QKeySequence::Undo},
        {{"&Edit", "&Copy"}, QKeySequence::Copy},
        {{"&Edit", "&Paste"}, QKeySequence::Paste},
        {{"&View", "Zoom out"}, QKeySequence::ZoomOut},
        {{"&Help", "Command line options..."}, QKeySequence::HelpContents},
    };
    for (const auto& [path, key] : standard) {
      QAction* action = Find(window, path);
      QVERIFY2(action != nullptr, qPrintable(path.join(" > ")));
      QVERIFY2(!action->shortcuts().isEmpty(), qPrintable(path.join(" > ")));
      // A platform without a binding of its own gets the common one.
      if (!QKeySequence::keyBindings(key).isEmpty()) QCOMPARE(action->shortcuts(), QKeySequence::keyBindings(key));
    }
    const QList<QKeySequence> zoomIn = Find(window, {"&View", "Zoom in"})->shortcuts();
    for (const QKeySequence& keys : QKeySequence::keyBindings(QKeySequence::ZoomIn)) QVERIFY(zoomIn.contains(keys));
    QVERIFY(zoomIn.contains(QKeySequence("Ctrl+=")));
    QVERIFY(zoomIn.contains(QKeySequence("Ctrl++")));
    QCOMPARE(Find(window, {"&View", "Zoom out"})->shortcut(), QKeySequence("Ctrl+-"));
    QCOMPARE(Find(window, {"&View", "100 %"})->shortcut(), QKeySequence("Ctrl+0"));
  }

  void zoomKeysReachTheView() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(1));
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(window.View()->Zoom(), 1000);
    QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(window.View()->Zoom(), 1500);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(window.View()->Zoom(), 1000);
    Find(window, {"&View", "Fit to window"})->trigger();
    QVERIFY(window.View()->Zoom() > 1000);  // a 4 x 2 picture grows to fill the window
    Find(window, {"&View", "100 %"})->trigger();
    QCOMPARE(window.View()->ScaledSize(), QSize(4, 2));
  }

  void imageMenuItems() {
    MainWindow& window = NewWindow();
    QMenu* image = TopMenu(window, "&Image");
    QCOMPARE(ItemTexts(image), QStringList({"&Transparency...", "&Convert to", "&Dither to", "&Flip", "&Rotate",
                                            "&Invert", "&Shrink", "&Reduce colors", "-", "&Scale...", "-", "&Info",
                                            "Si&ze report..."}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Convert to")),
             kConvertLabels + QStringList({"-", "RGB\t\t\t(24 BPP)", "Best palette", "Best palette + transparency", "-",
                                           "Custom palette..."}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Dither to")), kConvertLabels);
    QCOMPARE(ItemTexts(SubMenu(image, "&Flip")), QStringList({"Horizontally", "Vertical"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Rotate")), QStringList({"90° CW", "90° CCW", "180°"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Invert")), QStringList({"Indices", "Colors"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Shrink")), QStringList({"Shrink to 50%"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Reduce colors")),
             QStringList({"Reduce to 4 colors", "Reduce to 16 colors", "Reduce to 256 colors"}));
  }

  void windowGeometryTitleAndIcon() {
    MainWindow& window = NewWindow();
    const QString base = QString("%1 V5.50").arg(DisplayName());
    QCOMPARE(window.windowTitle(), base);
    QCOMPARE(window.BaseTitle(), base);
    QVERIFY(window.acceptDrops());
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.isVisible());
    QCOMPARE(window.centralWidget(), static_cast<QWidget*>(window.View()));

    GetDocument().sourcePath = "/pictures/logo.bmp";
    Show(MarkedImage(1));
    QCOMPARE(window.windowTitle(), base + " - /pictures/logo.bmp[*]");
    QVERIFY(!window.isWindowModified());
    window.OnFlipH();
    QVERIFY(window.isWindowModified());
  }

  // Fault 11: the first size suits the screen, later ones are remembered.
  void firstSizeFitsTheScreenThenSizeAndPlaceAreRemembered() {
    MainWindow& window = NewWindow();
    const QRect available = window.screen()->availableGeometry();
    QVERIFY2(available.contains(window.frameGeometry()) || available.contains(window.geometry()),
             qPrintable(QString("%1 x %2 on %3 x %4")
                            .arg(window.width())
                            .arg(window.height())
                            .arg(available.width())
                            .arg(available.height())));
    QVERIFY(window.width() <= 1500);
    QVERIFY(window.height() <= 800);

    const QRect chosen(available.topLeft() + QPoint(30, 20), QSize(420, 310));
    window.setGeometry(chosen);
    QVERIFY(window.close());
    QVERIFY(Store().contains("Window/geometry"));
    MainWindow& next = NewWindow();
    QCOMPARE(next.geometry(), chosen);
  }

  // --- enable rules --------------------------------------------------------

  void actionsNeedingAnImageStartDisabled() {
    MainWindow& window = NewWindow();
    for (const QString& title : {"&Edit", "&View", "&Image"}) {
      for (QAction* action : AllActions(TopMenu(window, title))) {
        const bool isCopy = action->text() == "&Copy";
        QVERIFY2(action->isEnabled() == isCopy, qPrintable(action->text()));
      }
    }
    QVERIFY(!Find(window, {"&File", "&Load alpha mask..."})->isEnabled());
    QVERIFY(!Find(window, {"&File", "Save &palette"})->isEnabled());
    for (const QString& text : {"&Open...", "&Save as...", "&Create alpha...", "&Create animated sprite from GIF",
                                "&Options", "&Exit"})
      QVERIFY2(Find(window, {"&File", text})->isEnabled(), qPrintable(text));
    QVERIFY(Find(window, {"&Help", "About..."})->isEnabled());
  }

  void firstImageEnablesEverythingAndTransparencyFollowsTheImage() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 2, {0, 0xFFFFFF}));
    for (const QString& title : {"&File", "&Edit", "&View", "&Image", "&Help"})
      for (QAction* action : AllActions(TopMenu(window, title)))
        if (action->isVisible()) QVERIFY2(action->isEnabled(), qPrintable(action->text()));

    Show(MakeTrueColorImage(1, 1, {0}));
    QVERIFY(!Find(window, {"&Image", "&Transparency..."})->isEnabled());
    QVERIFY(Find(window, {"&Image", "&Info"})->isEnabled());
    QVERIFY(Find(window, {"&File", "Save &palette"})->isEnabled());

    BitmapPtr marked = MakeTrueColorImage(1, 1, {0});
    marked->HasTrans = 1;
    Show(std::move(marked));
    QVERIFY(Find(window, {"&Image", "&Transparency..."})->isEnabled());
  }

  void showResultWithoutImageChangesNothing() {
    MainWindow& window = NewWindow();
    window.ShowResult(nullptr);
    QVERIFY(!Find(window, {"&Edit", "&Undo"})->isEnabled());
    QCOMPARE(window.windowTitle(), window.BaseTitle());
  }

  void imageLeftByTheCommandLineIsShownAtOnce() {
    GetDocument().current = MarkedImage(5);
    GetDocument().sourcePath = "/in/x.gif";
    MainWindow& window = NewWindow();
    QVERIFY(Find(window, {"&Image", "&Info"})->isEnabled());
    QCOMPARE(window.View()->ResolutionText(), QString("4 * 2"));
    QVERIFY(window.windowTitle().endsWith(" - /in/x.gif[*]"));
  }

  // --- undo ----------------------------------------------------------------

  void undoAfterTenActionsRestoresInReverseOrder() {
    MainWindow& window = NewWindow();
    for (Color k = 1; k <= 10; ++k) {
      Show(MarkedImage(k));
      window.OnDith565();
    }
    for (Color k = 10; k >= 1; --k) {
      window.OnUndo();
      QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), k);
    }
    QVERIFY(!CanUndo());
  }

  void eleventhActionDropsTheOldestState() {
    MainWindow& window = NewWindow();
    for (Color k = 1; k <= 11; ++k) {
      Show(MarkedImage(k));
      window.OnDith565();
    }
    for (int i = 0; i < 10; ++i) window.OnUndo();
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), Color{2});
    window.OnUndo();  // nothing left
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), Color{2});
  }

  void cancelledScaleStillSavesAnUndoState() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(7));
    window.OnScale();
    QCOMPARE(prompts_->asked, QStringList({"scale:4x2"}));
    QVERIFY(GetDocument().undo[0]);
    QCOMPARE(GetDocument().undo[0]->pData, GetDocument().current->pData);
    QVERIFY(!GetDocument().undo[1]);
  }

  void scaleToTheSameSizeOrToNothing() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(7));
    prompts_->scaleAnswer = [](ScaleValues&) { return true; };  // new size left as the old one
    window.OnScale();
    QCOMPARE(GetDocument().current->XSize, 4);
    QVERIFY(prompts_->messages.isEmpty());
    prompts_->scaleAnswer = [](ScaleValues& v) {
      v.newWidth = 0;
      v.newHeight = 3;
      return true;
    };
    window.OnScale();
    QCOMPARE(prompts_->messages, QStringList({"Illegal size."}));
    QCOMPARE(GetDocument().current->XSize, 4);
  }

  void scaleAppliesTheNewSize() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(7));
    prompts_->scaleAnswer = [](ScaleValues& v) {
      v.newWidth = 8;
      v.newHeight = 3;
      return true;
    };
    window.OnScale();
    QCOMPARE(GetDocument().current->XSize, 8);
    QCOMPARE(GetDocument().current->YSize, 3);
    QCOMPARE(window.View()->ResolutionText(), QString("8 * 3"));
    window.OnUndo();
    QCOMPARE(GetDocument().current->XSize, 4);
  }

  // --- transparency, info, help -------------------------------------------

  void transparencyNeedsAPalette() {
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(1, 1, {0}));
    window.OnTrans();
    QCOMPARE(prompts_->messages, QStringList({"No palette. Transparency can not be created or modified."}));
    QVERIFY(!prompts_->asked.contains("transparency"));
  }

  void transparencyChoiceReachesTheImage() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 1, {0x0000FF, 0x00FF00}));
    prompts_->transAnswer = [](int& selection) {
      selection = 2;  // palette entry 1
      return true;
    };
    window.OnTrans();
    const Bitmap& image = *GetDocument().current;
    QCOMPARE(image.HasTrans, std::uint8_t{1});
    QCOMPARE(Bitmap_GetPalColor(image, 0), Color{0x00FF00});
    QCOMPARE(window.View()->TransparencyText(), QString("Yes, Color: 0x00FF00"));
    window.OnUndo();
    QCOMPARE(Bitmap_GetPalColor(*GetDocument().current, 0), Color{0x0000FF});
  }

  void cancelledTransparencySavesNoUndoState() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 1, {0x0000FF, 0x00FF00}));
    window.OnTrans();
    QCOMPARE(prompts_->asked, QStringList({"transparency"}));
    QVERIFY(!CanUndo());
  }

  void infoHelpAndAboutAsk() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(3, 1, {0x0000FF, 0x00FF00, 0x0000FF}));
    window.OnInfo();
    window.OnCMDOpt();
    window.OnAbout();
    QCOMPARE(prompts_->asked, QStringList({"info:2", "cmdopt", QString("about:") + DisplayName()}));
  }

  // --- messages ------------------------------------------------------------

  void reportsAndTheErrorSignalReachMessageBoxes() {
    MainWindow& window = NewWindow();
    ReportText("plain report");
    ReportAllocationFailure("Failed to allocate 0x00000010 bytes of memory!");
    QCOMPARE(prompts_->messages, QStringList({"plain report", "Failed to allocate 0x00000010 bytes of memory!"}));
    QCOMPARE(prompts_->messageTitles.last(), QString("Error"));

    emit window.ErrorMessage("queued text");
    QCOMPARE(prompts_->messages.size(), 2);  // delivered from the event loop
    QTRY_COMPARE(prompts_->messages.size(), 3);
    QCOMPARE(prompts_->messages.last(), QString("queued text"));
  }

  // --- opening and recent files --------------------------------------------

  // Fault 3: what is on screen stays the document, and only files that
  // opened enter the list.
  void failedOpenKeepsDocumentViewAndRecentList() {
    MainWindow& window = NewWindow();
    const std::string good = dir_->File("good.bmp");
    MakeFile(good);
    window.OpenByName(QString::fromStdString(good));
    const QString titleBefore = window.windowTitle();
    const std::string missing = dir_->File("missing.bmp");
    window.OpenByName(QString::fromStdString(missing));
    const std::string broken = dir_->File("broken.bmp");
    testing_support::WriteBytes(broken, {'B', 'M', 1, 2, 3});
    window.OpenByName(QString::fromStdString(broken));

    QCOMPARE(prompts_->errorTexts.size(), 2);
    QCOMPARE(prompts_->errorTexts.first(), QString("File not found."));
    QCOMPARE(prompts_->errorFiles, QStringList({QString::fromStdString(missing), QString::fromStdString(broken)}));
    QVERIFY(GetDocument().current);
    QCOMPARE(GetDocument().sourcePath, good);
    QCOMPARE(window.windowTitle(), titleBefore);
    QCOMPARE(GetRecentFiles()[0], good);
    QVERIFY(GetRecentFiles()[1].empty());
    QVERIFY(!window.RecentFileActions()[1]->isVisible());

    // Menus act on the picture that is shown.
    window.OnFlipH();
    QVERIFY(CanUndo());
    window.OnInfo();
    QCOMPARE(prompts_->asked.last(), QString("info:1"));
  }

  // Fault 2.
  void openingAFileStartsAFreshHistory() {
    MainWindow& window = NewWindow();
    const std::string first = dir_->File("first.bmp");
    const std::string second = dir_->File("second.bmp");
    testing_support::WriteBytes(first, GreyBmp(0x10));
    testing_support::WriteBytes(second, GreyBmp(0xF0));
    window.OpenByName(QString::fromStdString(first));
    window.OnCvtBW();
    window.OnCvtRGB();
    prompts_->unsavedAnswers.push_back(UserPrompts::UnsavedChoice::kDiscard);
    window.OpenByName(QString::fromStdString(second));
    QVERIFY(!CanUndo());
    window.OnUndo();
    QCOMPARE(Bitmap_GetPixelColor(*GetDocument().current, 0, 0), Color{0xF0F0F0});
    QVERIFY(window.windowTitle().endsWith("second.bmp[*]"));
    QVERIFY(!window.isWindowModified());
  }

  void openingAgainMovesAnEntryToTheTop() {
    MainWindow& window = NewWindow();
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
      paths.push_back(dir_->File("f" + std::to_string(i) + ".xyz"));
      MakeFile(paths.back());
      window.OpenByName(QString::fromStdString(paths.back()));
    }
    // Slots now hold f4, f3, f2, f1, f0; opening f1 (slot 3) again moves it up.
    window.OpenByName(QString::fromStdString(paths[1]));
    const RecentFileList& list = GetRecentFiles();
    QCOMPARE(list[0], paths[1]);
    QCOMPARE(list[1], paths[4]);
    QCOMPARE(list[2], paths[3]);
    QCOMPARE(list[3], paths[2]);
    QCOMPARE(list[4], paths[0]);
    QVERIFY(list[5].empty());
    QCOMPARE(window.RecentFileActions()[3]->text(), QString::fromStdString(paths[2]));
    QVERIFY(window.RecentFileActions()[4]->isVisible());
    QVERIFY(!window.RecentFileActions()[5]->isVisible());
  }

  void eleventhFileDropsTheOldestAndMissingFilesVanishAtTheNextStart() {
    MainWindow& window = NewWindow();
    std::vector<std::string> paths;
    for (int i = 0; i < 11; ++i) {
      paths.push_back(dir_->File("g" + std::to_string(i) + "%d.xyz"));  // "%" stays as it is
      MakeFile(paths.back());
      window.OpenByName(QString::fromStdString(paths.back()));
    }
    QCOMPARE(GetRecentFiles()[0], paths[10]);
    QCOMPARE(GetRecentFiles()[9], paths[1]);
    std::filesystem::remove(paths[5]);
    std::filesystem::remove(paths[8]);

    MainWindow& next = NewWindow();
    const RecentFileList& list = GetRecentFiles();
    const std::vector<std::string> expected = {paths[10], paths[9], paths[7], paths[6],
                                               paths[4],  paths[3], paths[2], paths[1]};
    for (std::size_t k = 0; k < expected.size(); ++k) QCOMPARE(list[k], expected[k]);
    QVERIFY(list[8].empty());
    QCOMPARE(next.RecentFileActions()[2]->text(), QString::fromStdString(paths[7]));
    QVERIFY(!next.RecentFileActions()[8]->isVisible());
  }

  void recentEntryOpensItsPath() {
    MainWindow& window = NewWindow();
    const std::string a = dir_->File("a&b.xyz");
    const std::string b = dir_->File("b.xyz");
    MakeFile(a);
    MakeFile(b);
    window.OpenByName(QString::fromStdString(a));
    window.OpenByName(QString::fromStdString(b));
    window.RecentFileActions()[1]->trigger();
    QCOMPARE(GetRecentFiles()[0], a);
    QCOMPARE(GetDocument().sourcePath, a);
  }

  void openAsksWithCaptionAndFilter() {
    MainWindow& window = NewWindow();
    window.OnOpen();  // cancelled
    QCOMPARE(prompts_->asked, QStringList({"open:Add image|Images (*.png *.bmp *.sbmp *.jpg *.jpeg *.gif)"}));
    QVERIFY(GetRecentFiles()[0].empty());
  }

  void droppingSeveralFilesOpensTheFirst() {
    MainWindow& window = NewWindow();
    const std::string first = dir_->File("first.xyz");
    const std::string second = dir_->File("second.xyz");
    MakeFile(first);
    MakeFile(second);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(first)), QUrl::fromLocalFile(QString::fromStdString(second))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QCOMPARE(GetRecentFiles()[0], first);
    QVERIFY(GetRecentFiles()[1].empty());
  }

  void dragWithoutUrlsIsRefused() {
    MainWindow& window = NewWindow();
    QMimeData data;
    data.setText("not a file");
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(&window, &enter);
    QVERIFY(!enter.isAccepted());
  }

  // --- saving --------------------------------------------------------------

  void saveFilterChoosesTheType() {
    MainWindow& window = NewWindow();
    GetDocument().sourcePath = dir_->File("pic.gif");
    Show(MakePaletteImage(2, 2, {0, 0xFFFFFF}));
    const QString allFilters = "C files (*.c);;DTA files (*.dta);;BMP files (*.bmp);;PNG files (*.png);;GIF files (*.gif)";
    const QString suggestion = QString::fromStdString(dir_->Path().string()) + "/pic.c";
    struct Case {
      QString filter;
      QString file;
      QString formatQuestion;  // empty: no format dialog
      std::string start;       // what the written file begins with
    };
    // The names carry no telling extension: the filter alone decides the type.
    const QList<Case> cases = {{"C files (*.c)", "a.out1", "format:1", "/*"},
                               {"DTA files (*.dta)", "b.out3", "format:3", "BM"},
                               {"BMP files (*.bmp)", "c.out2", "", "BM"},
                               {"PNG files (*.png)", "d.out5", "", "\x89PNG"},
                               {"GIF files (*.gif)", "e.out4", "", "GIF8"}};
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 5;
      return true;
    };
    for (const Case& c : cases) {
      prompts_->asked.clear();
      const QString name = QString::fromStdString(dir_->File(c.file.toStdString()));
      prompts_->saveAnswers.push_back({name, c.filter});
      window.OnSaveAs();
      QStringList expected = {"save:Save file as|" + suggestion + "|" + allFilters};
      if (!c.formatQuestion.isEmpty()) expected << c.formatQuestion;
      QCOMPARE(prompts_->asked, expected);
      const std::string written = testing_support::ReadText(name.toStdString());
      const std::string& start = c.start;
      QVERIFY2(written.rfind(start, 0) == 0, qPrintable(c.filter + ": " + prompts_->messages.join("; ")));
    }
    QVERIFY(prompts_->messages.isEmpty());
    QVERIFY(testing_support::ReadText(dir_->File("a.out1")).find("GUI_BITMAP") != std::string::npos);
  }

  void saveEndsOnUnknownFilterOrCancel() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 2, {0, 0xFFFFFF}));
    const std::string name = dir_->File("x.c");
    prompts_->saveAnswers.push_back({QString::fromStdString(name), "All files (*)"});
    window.OnSaveAs();
    QVERIFY(!std::filesystem::exists(name));
    prompts_->saveAnswers.push_back({QString::fromStdString(name), "C files (*.c)"});
    window.OnSaveAs();  // the format dialog is cancelled
    QVERIFY(!std::filesystem::exists(name));
    QVERIFY(!CanUndo());
  }

  void savingPaletteImageAsHighColourConvertsAndUndoBringsItBack() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 2, {0x0000FF, 0x00FF00}));
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("hc.c")), "C files (*.c)"});
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      r.noPalette = 1;
      return true;
    };
    window.OnSaveAs();
    QCOMPARE(GetDocument().current->NumColors, 0);
    QCOMPARE(GetDocument().current->BitsPerPixel, 32);
    QCOMPARE(window.View()->ColorsText(), QString("RGB"));
    window.OnUndo();
    QCOMPARE(GetDocument().current->NumColors, 2);
    QCOMPARE(window.View()->ColorsText(), QString("2"));
  }

  void savePaletteAsksForAGuiPalFile() {
    MainWindow& window = NewWindow();
    GetDocument().sourcePath = dir_->File("logo.bmp");
    Show(MakePaletteImage(2, 2, {0, 0xFFFFFF}));
    window.OnSavePalette();  // cancelled
    QCOMPARE(prompts_->asked, QStringList({"save:Save palette file|" + QString::fromStdString(dir_->Path().string()) +
                                           "/logo_Palette.GUIPal|Lumar palette file (*.GUIPal)"}));
    const std::string name = dir_->File("colours.GUIPal");
    prompts_->saveAnswers.push_back({QString::fromStdString(name), "Lumar palette file (*.GUIPal)"});
    window.OnSavePalette();
    const std::vector<std::uint8_t> bytes = testing_support::ReadBytes(name);
    QCOMPARE(bytes.size(), std::size_t{16 + 2 * 4});
    QCOMPARE(std::string(bytes.begin(), bytes.begin() + 8), std::string("LumarPal"));
    QCOMPARE(bytes[8], std::uint8_t{2});
    QCOMPARE(bytes[16 + 4], std::uint8_t{0xFF});  // second colour, white
  }

  void customPaletteAsksForAFile() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(1));
    window.OnCvtCustPal();  // cancelled: the image stays
    QCOMPARE(prompts_->asked, QStringList({"open:Open custom palette|GUI Palette file (*.GUIPal)"}));
    QCOMPARE(GetDocument().current->NumColors, 0);

    // A palette saved from a two-colour image serves as the custom palette.
    Show(MakePaletteImage(2, 1, {0x000000, 0xFFFFFF}));
    const std::string palette = dir_->File("bw.GUIPal");
    prompts_->saveAnswers.push_back({QString::fromStdString(palette), "Lumar palette file (*.GUIPal)"});
    window.OnSavePalette();
    Show(MarkedImage(0x00F0F0F0));
    prompts_->openAnswers.push_back(QString::fromStdString(palette));
    window.OnCvtCustPal();
    QCOMPARE(GetDocument().current->NumColors, 2);
    QCOMPARE(Bitmap_GetPixelColor(*GetDocument().current, 0, 0), Color{0xFFFFFF});
    QCOMPARE(GetDocument().customPalettePath, palette);
  }

  void conversionReplacesTheImage() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(0x00FFFFFF));
    window.OnCvtGray4();
    QCOMPARE(GetDocument().current->NumColors, 4);
    QCOMPARE(window.View()->ColorsText(), QString("4"));
    window.OnCvtRGB();
    QCOMPARE(GetDocument().current->NumColors, 0);
    window.OnUndo();
    QCOMPARE(GetDocument().current->NumColors, 4);
  }

  void imageMenuOperationsReachTheDocument() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(0x00000011));  // 4 x 2, marker at the top left
    window.OnFlipH();
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 3, 0), Color{0x11});
    window.OnRotateCW();
    QCOMPARE(GetDocument().current->XSize, 2);
    QCOMPARE(window.View()->ResolutionText(), QString("2 * 4"));
    window.OnShrink();
    QCOMPARE(GetDocument().current->XSize, 1);
    for (int i = 0; i < 3; ++i) window.OnUndo();
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), Color{0x11});
  }

  void createAlphaFromTwoBitmaps() {
    MainWindow& window = NewWindow();
    // Black over black, white over white.
    const std::string black = dir_->File("black.bmp");
    const std::string white = dir_->File("white.bmp");
    testing_support::WriteBytes(black, GreyBmp(0));
    testing_support::WriteBytes(white, GreyBmp(255));
    prompts_->alphaAnswer = [&](int mode, AlphaChoice& choice) {
      choice.firstName = black;
      choice.secondName = white;
      choice.firstChosen = true;
      choice.secondChosen = mode == 0;
      return true;
    };
    window.OnCreateAlpha();
    QVERIFY(GetDocument().current);
    QCOMPARE(GetDocument().current->HasAlpha, 1);
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), 0xFF000000u);
    QCOMPARE(window.View()->ColorsText(), QString("ARGB"));
    QVERIFY(!CanUndo());  // nothing was shown before
    QCOMPARE(window.windowTitle(), window.BaseTitle() + " - Created alpha[*]");

    Show(MakeTrueColorImage(1, 1, {0x00123456}));
    window.OnLoadAlpha();  // the mask is the first file: black, fully opaque
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), 0x00123456u);
    QCOMPARE(GetDocument().current->HasAlpha, 1);
    QCOMPARE(prompts_->asked, QStringList({"alpha:0", "alpha:1"}));
    window.OnUndo();  // the mask was a step of its own
    QCOMPARE(GetDocument().current->HasAlpha, 0);
  }

  void alphaWithoutChosenFilesChangesNothing() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(9));
    prompts_->alphaAnswer = [](int, AlphaChoice& choice) {
      choice.firstChosen = true;  // the second Browse was never used
      return true;
    };
    window.OnCreateAlpha();
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), Color{9});
    QVERIFY(prompts_->messages.isEmpty());
  }

  void animatedSpriteFromCorpusGif() {
    const auto gifDir = testing_support::CorpusDir("gif");
    if (!gifDir) QSKIP("corpus folder 'gif' not found (set RASTRA_CORPUS)");
    MainWindow& window = NewWindow();
    const QString gif = QString::fromStdString((*gifDir / "animated_loop.gif").string());
    const std::string out = dir_->File("sprite.c");
    prompts_->openAnswers.push_back(gif);
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "C files (*.c)"});
    window.OnCreateAnimSprite();
    QCOMPARE(prompts_->asked.size(), 2);
    QVERIFY(prompts_->asked[1].startsWith("save:Saving animated sprite.|"));
    QVERIFY(prompts_->asked[1].endsWith("/animated_loop.c|C files (*.c)"));
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QVERIFY(testing_support::ReadText(out).find("GUI_BITMAP") != std::string::npos);
    QVERIFY(!GetDocument().current);  // the document is not touched
  }

  // A file that is no animation is refused before the output name is asked for.
  void animationRefusesUnreadableGifs() {
    MainWindow& window = NewWindow();
    const std::string big = dir_->File("big.gif");
    testing_support::WriteBytes(big, std::vector<std::uint8_t>(8000001, 0));
    prompts_->openAnswers.push_back(QString::fromStdString(big));
    window.OnCreateAnimSprite();
    QCOMPARE(prompts_->asked, QStringList({"open:Select GIF to convert|GIF (*.gif)"}));
    QCOMPARE(prompts_->messages, QStringList({"Image could not be read"}));
  }

  // --- options -------------------------------------------------------------

  void optionsReachSettingsStoreAndView() {
    MainWindow& window = NewWindow();
    QVERIFY(window.View()->TimerRunning());  // defaults: alternating tiles
    prompts_->optionsAnswer = [](Settings& values) {
      values.BkColor = 0x123456;
      values.ViewOption = 2;
      values.PreserveTrans = 1;
      values.BigEndianMode = 1;
      values.UseARGB = 1;
      return true;
    };
    window.OnOptions();
    QCOMPARE(prompts_->asked, QStringList({"options:Options"}));
    QCOMPARE(GetSettings().BkColor, 0x123456u);
    QCOMPARE(GetSettings().UseARGB, 1u);
    QSettings store = Store();
    QCOMPARE(store.value("Settings/BkColor").toUInt(), 0x123456u);
    QCOMPARE(store.value("Settings/ViewOption").toUInt(), 2u);
    QCOMPARE(store.value("Settings/PreserveTrans").toUInt(), 1u);
    QCOMPARE(store.value("Settings/BigEndianMode").toUInt(), 1u);
    QCOMPARE(store.value("Settings/UseARGB").toUInt(), 1u);
    QCOMPARE(window.View()->ViewOption(), 2);
    QVERIFY(!window.View()->TimerRunning());

    // A new window reads them back.
    GetSettings() = Settings{};
    MainWindow& next = NewWindow();
    QCOMPARE(GetSettings().BkColor, 0x123456u);
    QCOMPARE(next.View()->ViewOption(), 2);
  }

  void cancelledOptionsChangeNothing() {
    MainWindow& window = NewWindow();
    prompts_->optionsAnswer = [](Settings& values) {
      values.UseARGB = 1;
      return false;
    };
    window.OnOptions();
    QCOMPARE(GetSettings().UseARGB, 0u);
    QVERIFY(!Store().contains("Settings/UseARGB"));
  }

  // --- clipboard -----------------------------------------------------------

  void pasteMakesATrueColourImage() {
    MainWindow& window = NewWindow();
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(10, 20, 30, 255));
    image.setPixel(2, 1, qRgba(40, 50, 60, 0x30));
    QGuiApplication::clipboard()->setImage(image);
    window.OnPaste();
    QVERIFY(GetDocument().current);
    const Bitmap& pasted = *GetDocument().current;
    QCOMPARE(pasted.XSize, 3);
    QCOMPARE(pasted.YSize, 2);
    QCOMPARE(pasted.BitsPerPixel, 32);
    QCOMPARE(Bitmap_GetPixel(pasted, 0, 0), 0x001E140Au);  // opaque: transparency 0
    QCOMPARE(Bitmap_GetPixel(pasted, 2, 1), 0xCF3C3228u);
    QVERIFY(!CanUndo());  // nothing was shown before
    QCOMPARE(window.View()->ResolutionText(), QString("3 * 2"));
    QVERIFY(Find(window, {"&Image", "&Info"})->isEnabled());
  }

  // Fault 4.
  void pasteIsAnUndoableStepAndTheTitleSaysWhatIsShown() {
    MainWindow& window = NewWindow();
    const std::string file = dir_->File("logo.bmp");
    MakeFile(file);
    window.OpenByName(QString::fromStdString(file));
    const QString fileTitle = window.windowTitle();
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    QGuiApplication::clipboard()->setImage(image);
    window.OnPaste();
    QCOMPARE(window.View()->ResolutionText(), QString("3 * 2"));
    QCOMPARE(window.windowTitle(), window.BaseTitle() + " - Pasted image[*]");
    QVERIFY(window.isWindowModified());
    window.OnUndo();
    QCOMPARE(window.View()->ResolutionText(), QString("1 * 1"));
    QCOMPARE(window.windowTitle(), fileTitle);
    QVERIFY(!window.isWindowModified());
  }

  void pasteWithoutImageDoesNothing() {
    MainWindow& window = NewWindow();
    QGuiApplication::clipboard()->setText("words");
    window.OnPaste();
    QVERIFY(!GetDocument().current);
  }

  void copyPutsTheImageOnTheClipboard() {
    MainWindow& window = NewWindow();
    window.OnCopy();  // no image: nothing happens
    Show(MakePaletteImage(2, 1, {0x0000FF, 0x00FF00}));
    window.OnCopy();
    QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(copied.size(), QSize(2, 1));
    QCOMPARE(copied.pixel(0, 0), qRgba(255, 0, 0, 255));
    QCOMPARE(copied.pixel(1, 0), qRgba(0, 255, 0, 255));

    Show(MakeTrueColorImage(1, 1, {0x40102030}, true));
    window.OnCopy();
    copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(copied.pixel(0, 0), qRgba(0x30, 0x20, 0x10, 0xBF));
  }

  // --- conversions ---------------------------------------------------------

  void ditherReplacesTheImageAndSavesUndo() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(0x00FFFFFF));
    window.OnDithBW();
    QCOMPARE(GetDocument().current->NumColors, 2);
    QCOMPARE(window.View()->ColorsText(), QString("2"));
    QVERIFY(CanUndo());
  }

  // --- faults that showed a state the document did not have ----------------

  // Fault 1.
  void undoKeepsTheTransparentEntry() {
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(2, 2, {0x0000FF, 0x00FF00, 0x0000FF, 0xFF0000}));
    window.OnCvtBestPal();
    prompts_->transAnswer = [](int& selection) {
      selection = 1;  // entry 0
      return true;
    };
    window.OnTrans();
    const QString marked = window.View()->TransparencyText();
    QVERIFY2(marked.startsWith("Yes"), qPrintable(marked));
    window.OnFlipH();
    window.OnUndo();
    QCOMPARE(GetDocument().current->HasTrans, std::uint8_t{1});
    QCOMPARE(window.View()->TransparencyText(), marked);
    window.OnUndo();  // before Transparency
    QCOMPARE(window.View()->TransparencyText(), QString("-"));
  }

  // Fault 5: a writer's conversion is shown, and Undo takes it back.
  void saveConversionsAreShownAndUndoable() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 2, {0x0000FF, 0x00FF00}));
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("a.png")), "PNG files (*.png)"});
    window.OnSaveAs();  // PNG files are written from true colour with alpha
    QCOMPARE(GetDocument().current->NumColors, 0);
    QCOMPARE(window.View()->ColorsText(), QString("ARGB"));
    QVERIFY(window.ImageStatus()->text().endsWith("true color with alpha"));
    QVERIFY(!window.isWindowModified());  // the file holds what is shown
    window.OnUndo();
    QCOMPARE(window.View()->ColorsText(), QString("2"));
    QVERIFY(window.isWindowModified());

    Show(MakeTrueColorImage(2, 1, {0x0000FF, 0x00FF00}));
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("b.gif")), "GIF files (*.gif)"});
    window.OnSaveAs();
    QVERIFY(GetDocument().current->NumColors > 0);
    QCOMPARE(window.View()->ColorsText(), QString::number(GetDocument().current->NumColors));
    window.OnUndo();
    QCOMPARE(window.View()->ColorsText(), QString("RGB"));

    // A PNG of a true-colour picture with alpha is written as it is: no step.
    Show(MakeTrueColorImage(2, 1, {0x0000FF, 0x00FF00}, true));
    const Bitmap* shown = GetDocument().current.get();
    const Bitmap* newestUndo = GetDocument().undo[0].get();
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("c.png")), "PNG files (*.png)"});
    window.OnSaveAs();
    QCOMPARE(GetDocument().current.get(), shown);
    QCOMPARE(GetDocument().undo[0].get(), newestUndo);
    QVERIFY(prompts_->messages.isEmpty());
  }

  // Fault 6.
  void savingAnAnimationAsGifWarnsFirst() {
    MainWindow& window = NewWindow();
    const std::string animation = dir_->File("anim.gif");
    testing_support::WriteBytes(animation, GifOfFrames(3));
    window.OpenByName(QString::fromStdString(animation));
    QVERIFY(GetDocument().current);
    const std::string out = dir_->File("out.gif");
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "GIF files (*.gif)"});
    window.OnSaveAs();  // the warning is declined
    QCOMPARE(prompts_->confirmations.size(), 1);
    QVERIFY2(prompts_->confirmations[0].contains("3 frames"), qPrintable(prompts_->confirmations[0]));
    QVERIFY(!std::filesystem::exists(out));

    prompts_->confirmAnswer = true;
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "GIF files (*.gif)"});
    window.OnSaveAs();
    QVERIFY(std::filesystem::exists(out));

    // Other types, and a single picture, save without the warning.
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("out.png")), "PNG files (*.png)"});
    window.OnSaveAs();
    const std::string still = dir_->File("still.gif");
    testing_support::WriteBytes(still, GifOfFrames(1));
    window.OpenByName(QString::fromStdString(still));
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("out2.gif")), "GIF files (*.gif)"});
    window.OnSaveAs();
    QCOMPARE(prompts_->confirmations.size(), 2);
  }

  // Fault 7.
  void savePaletteOfATrueColourImageIsRefused() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(1));
    prompts_->saveAnswers.push_back({QString::fromStdString(dir_->File("p.GUIPal")), "Lumar palette file (*.GUIPal)"});
    window.OnSavePalette();
    QCOMPARE(prompts_->messages, QStringList({"No palette. A true color image has no palette to save."}));
    QVERIFY(prompts_->asked.isEmpty());  // no file name was asked for
    QVERIFY(!std::filesystem::exists(dir_->File("p.GUIPal")));
  }

  // Fault 8: the chosen entry shows the background, as transparency does.
  void chosenTransparentEntryShowsInTheView() {
    MainWindow& window = NewWindow();
    Show(MakePaletteImage(2, 1, {0x0000FF, 0x00FF00}));
    QCOMPARE(qAlpha(window.View()->FullImage().pixel(0, 0)), 255);
    prompts_->transAnswer = [](int& selection) {
      selection = 1;  // entry 0, the red pixel
      return true;
    };
    window.OnTrans();
    QCOMPARE(qAlpha(window.View()->FullImage().pixel(0, 0)), 0);
    QCOMPARE(qAlpha(window.View()->FullImage().pixel(1, 0)), 255);
  }

  // --- status bar, progress, unsaved work -----------------------------------

  void statusBarDescribesThePictureAndThePixelUnderThePointer() {
    MainWindow& window = NewWindow();
    QVERIFY(window.statusBar()->isVisible());
    BitmapPtr image = MakePaletteImage(3, 2, {0x0000FF, 0x00FF00, 0xFF0000});
    image->HasTrans = 1;
    Show(std::move(image));
    QCOMPARE(window.ImageStatus()->text(), QString("3 x 2 pixels, palette of 3 colors, entry 0 transparent"));
    const QPoint origin = window.View()->Canvas()->ImageOrigin();
    QTest::mouseMove(window.View()->Canvas(), origin + QPoint(2 * 2 + 1, 2 * 1 + 1));  // pixel (2, 1), zoom 2.0
    QTRY_COMPARE(window.PixelStatus()->text(), QString("x 2, y 1: #0000FF, index 2"));  // entry 2 is blue
    QTest::mouseMove(window.View()->Canvas(), origin + QPoint(1, 1));
    QTRY_COMPARE(window.PixelStatus()->text(), QString("x 0, y 0: #FF0000, index 0 (transparent)"));

    Show(MakeTrueColorImage(1, 1, {0x40112233}, true));
    QCOMPARE(window.ImageStatus()->text(), QString("1 x 1 pixels, true color with alpha"));
    QCOMPARE(window.PixelStatus()->text(), QString());
    QCoreApplication::processEvents();  // the strip went, and the picture moved up
    QTest::mouseMove(window.View()->Canvas(), origin + QPoint(1, 0));
    QTRY_COMPARE(window.PixelStatus()->text(), QString("x 0, y 0: #332211, alpha 191"));
  }

  void longOperationsShowABusyCursorAndProgress() {
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(64, 300, std::vector<Color>(64 * 300, 0x00808080)));
    window.OnDith565();  // well below the delay
    QCOMPARE(window.Progress()->TimesShown(), 0);

    window.Progress()->SetDelay(0);  // as if every step took long
    window.OnDith565();
    QCOMPARE(window.Progress()->TimesShown(), 1);
    QCOMPARE(window.Progress()->Bar()->maximum(), 300);  // "line n/300"
    QCOMPARE(window.Progress()->Bar()->value(), 300);
    QVERIFY(!window.Progress()->Shown());
    QVERIFY(window.Progress()->Bar()->isHidden());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
  }

  void quittingWithUnsavedChangesAsksFirst() {
    MainWindow& window = NewWindow();
    const std::string file = dir_->File("pic.bmp");
    MakeFile(file);
    window.OpenByName(QString::fromStdString(file));
    QVERIFY(window.close());  // nothing changed: no question
    QVERIFY(prompts_->unsavedNames.isEmpty());

    window.show();
    window.OnFlipH();
    QVERIFY(!window.close());  // cancelled
    QCOMPARE(prompts_->unsavedNames, QStringList({QString::fromStdString(file)}));
    QVERIFY(window.isVisible());

    // Save, but the save dialog is cancelled: still open.
    prompts_->unsavedAnswers.push_back(UserPrompts::UnsavedChoice::kSave);
    QVERIFY(!window.close());
    // Save into a file: the window closes.
    const std::string out = dir_->File("pic_saved.bmp");
    prompts_->unsavedAnswers.push_back(UserPrompts::UnsavedChoice::kSave);
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "BMP files (*.bmp)"});
    QVERIFY(window.close());
    QVERIFY(std::filesystem::exists(out));

    window.show();
    window.OnFlipV();
    prompts_->unsavedAnswers.push_back(UserPrompts::UnsavedChoice::kDiscard);
    QVERIFY(window.close());
  }

  void openingAnotherFileWithUnsavedChangesAsksFirst() {
    MainWindow& window = NewWindow();
    const std::string first = dir_->File("one.bmp");
    const std::string second = dir_->File("two.bmp");
    MakeFile(first);
    MakeFile(second);
    window.OpenByName(QString::fromStdString(first));
    window.OnRotateCW();
    window.OpenByName(QString::fromStdString(second));  // cancelled
    QCOMPARE(GetDocument().sourcePath, first);
    QVERIFY(CanUndo());
    QVERIFY(GetRecentFiles()[1].empty());

    window.OnUndo();  // back to the file as opened: nothing to ask
    window.OpenByName(QString::fromStdString(second));
    QCOMPARE(GetDocument().sourcePath, second);
    QCOMPARE(prompts_->unsavedNames.size(), 1);
  }

  void errorsNameTheFileTheyConcern() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(1));
    const std::string folder = dir_->File("taken.bmp");  // a folder where the file should go
    std::filesystem::create_directories(folder);
    prompts_->saveAnswers.push_back({QString::fromStdString(folder), "BMP files (*.bmp)"});
    window.OnSaveAs();
    QVERIFY(!prompts_->errorTexts.isEmpty());
    QCOMPARE(prompts_->errorFiles.last(), QString::fromStdString(folder));
    QVERIFY(window.isWindowModified() == HasUnsavedChanges());
  }
};

RASTRA_GUI_TEST_MAIN(TestMainWindow)
#include "test_main_window.moc"

using namespace rastra;  // NOLINT(google-build-using-namespace)
