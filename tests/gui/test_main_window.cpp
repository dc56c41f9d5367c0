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
#include <QTimer>
#include <QPushButton>
#include <QtTest/QtTest>
#include <filesystem>

#include "GuiTestSupport.h"
#include "app/CommandTable.h"
#include "app/Commands.h"
#include "app/Session.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "gui/ImageCanvas.h"
#include "gui/MainWindow.h"
#include "gui/ShowImage.h"
#include "image/ColorConvert.h"

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

// Item texts with "-" for separators; hidden items (the empty recent-file
// entries) are left out.
QStringList ItemTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator()) {
      texts << "-";
    } else if (action->isVisible()) {
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

// One tab: Qt shows what follows it in the menu's right-hand column. Each
// item carries an access key of its own.
const QStringList kConvertLabels = {
    "&BW\t(1 BPP)",
    "&Gray4\t(2 BPP)",
    "Gr&ay16\t(4 BPP)",
    "Gra&y64\t(8 BPP)",
    "Gray25&6\t(8 BPP)",
    "3 bit Color &111\t(4 BPP)",
    "6 bit Color &222\t(8 BPP)",
    "8 bit Color 2&33\t(8 BPP)",
    "8 b&it Color 323\t(8 BPP)",
    "8 bit Co&lor 332\t(8 BPP)",
    "&8 bit Color 8666\t(8 BPP)",
    "12 bit Color &444\t(16 BPP)",
    "16 bit Color &555\t(32k colors)",
    "16 bit C&olor 565\t(64k colors)",
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

// Pixels in no order a compressor could use.
BitmapPtr Noise(int width, int height) {
  std::vector<Color> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::uint32_t state = 7;
  for (Color& pixel : pixels) {
    state = state * 1664525u + 1013904223u;
    pixel = state >> 8;
  }
  return MakeTrueColorImage(width, height, pixels);
}

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

BitmapPtr CloneOf(const Bitmap& image) {
  sys::Context ctx;
  return Bitmap_Clone(image, ctx);
}

bool SamePicture(const Bitmap& a, const Bitmap& b) {
  if (a.XSize != b.XSize || a.YSize != b.YSize || a.NumColors != b.NumColors || a.HasAlpha != b.HasAlpha ||
      a.HasTrans != b.HasTrans) {
    return false;
  }
  for (int i = 0; i < a.NumColors; ++i)
    if (Bitmap_GetPalColor(a, i) != Bitmap_GetPalColor(b, i)) return false;
  for (int y = 0; y < a.YSize; ++y)
    for (int x = 0; x < a.XSize; ++x)
      if (Bitmap_GetPixel(a, x, y) != Bitmap_GetPixel(b, x, y)) return false;
  return true;
}

// The bytes -saveas writes for picture under the same file name (the name
// gives the C identifier), in a folder of their own.
std::vector<std::uint8_t> SavedByCommandLine(const Bitmap& picture, const std::string& name, const QString& filter,
                                             int format) {
  const testing_support::TempDir folder;
  const std::string path = folder.File(name);
  const int type = filter.startsWith("C ") ? 1 : filter.startsWith("DTA") ? 3 : filter.startsWith("GIF") ? 4 : 5;
  std::string parameter = path + "," + std::to_string(type);
  if (type == 1 || type == 3) parameter += "," + std::to_string(format) + (format >= 8 ? ",1" : ",0");
  ImageDocument doc;
  doc.current = CloneOf(picture);
  ImmediateSink sink;
  CommandSession session(doc, sink, CurrentOutputOptions());
  session.cursor = ParameterCursor{parameter};
  ExecuteCommand(session, kCmdSaveAs);
  return testing_support::ReadBytes(path);
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
             QStringList({"&Open...", "Sa&ve", "&Save as...", "-", "-", "&Create alpha...", "&Load alpha mask...", "-",
                          "Create a&nimated sprite from GIF", "Create animated c&ursor from GIF", "-",
                          "Save &palette", "-", "Op&tions", "-", "&Exit"}));
    QCOMPARE(window.RecentFileActions().size(), std::size_t{10});
    for (QAction* recent : window.RecentFileActions()) QVERIFY(!recent->isVisible());
  }

  void editViewHelpItems() {
    MainWindow& window = NewWindow();
    QCOMPARE(ItemTexts(TopMenu(window, "&Edit")), QStringList({"&Undo", "&Redo", "-", "&Copy", "&Paste"}));
    QCOMPARE(ItemTexts(TopMenu(window, "&View")),
             QStringList({"Zoom &in", "Zoom &out", "-", "&Fit to window", "&100 %", "-", "As &saved",
                          "FOR&MAT as saved...", "&Dither when saving"}));
    QCOMPARE(ItemTexts(TopMenu(window, "&Help")), QStringList({"&Command line options...", "&About..."}));
  }

  // The platform's own keys, whatever they are here; and the zoom keys.
  void actionsUseThePlatformsStandardKeys() {
    MainWindow& window = NewWindow();
    const QList<QPair<QStringList, QKeySequence::StandardKey>> standard = {
        {{"&File", "&Open..."}, QKeySequence::Open},
        {{"&File", "Sa&ve"}, QKeySequence::Save},
        {{"&File", "&Save as..."}, QKeySequence::SaveAs},
        {{"&File", "&Exit"}, QKeySequence::Quit},
        {{"&Edit", "&Undo"}, QKeySequence::Undo},
        {{"&Edit", "&Redo"}, QKeySequence::Redo},
        {{"&Edit", "&Copy"}, QKeySequence::Copy},
        {{"&Edit", "&Paste"}, QKeySequence::Paste},
        {{"&View", "Zoom &out"}, QKeySequence::ZoomOut},
        {{"&Help", "&Command line options..."}, QKeySequence::HelpContents},
    };
    for (const auto& [path, key] : standard) {
      QAction* action = Find(window, path);
      QVERIFY2(action != nullptr, qPrintable(path.join(" > ")));
      QVERIFY2(!action->shortcuts().isEmpty(), qPrintable(path.join(" > ")));
      // A platform without a binding of its own gets the common one.
      if (!QKeySequence::keyBindings(key).isEmpty()) QCOMPARE(action->shortcuts(), QKeySequence::keyBindings(key));
    }
    const QList<QKeySequence> zoomIn = Find(window, {"&View", "Zoom &in"})->shortcuts();
    for (const QKeySequence& keys : QKeySequence::keyBindings(QKeySequence::ZoomIn)) QVERIFY(zoomIn.contains(keys));
    QVERIFY(zoomIn.contains(QKeySequence("Ctrl+=")));
    QVERIFY(zoomIn.contains(QKeySequence("Ctrl++")));
    QCOMPARE(Find(window, {"&View", "Zoom &out"})->shortcut(), QKeySequence("Ctrl+-"));
    QCOMPARE(Find(window, {"&View", "&100 %"})->shortcut(), QKeySequence("Ctrl+0"));
    QCOMPARE(Find(window, {"&View", "&Fit to window"})->shortcut(), QKeySequence("Ctrl+F"));
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
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(window.View()->Zoom() > 1000);  // a 4 x 2 picture grows to fill the window
    Find(window, {"&View", "&100 %"})->trigger();
    QCOMPARE(window.View()->ScaledSize(), QSize(4, 2));
  }

  void imageMenuItems() {
    MainWindow& window = NewWindow();
    QMenu* image = TopMenu(window, "&Image");
    QCOMPARE(ItemTexts(image), QStringList({"&Transparency...", "&Convert to", "&Dither to", "&Flip", "&Rotate",
                                            "&Invert", "&Shrink", "Red&uce colors", "-", "Sc&ale...", "-", "Inf&o",
                                            "Si&ze report..."}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Convert to")),
             kConvertLabels + QStringList({"-", "&RGB\t(24 BPP)", "B&est palette", "Bes&t palette + transparency", "-",
                                           "&Custom palette..."}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Dither to")), kConvertLabels + QStringList({"-", "&Method"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Flip")), QStringList({"&Horizontally", "&Vertical"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Rotate")), QStringList({"90° &CW", "90° CC&W", "&180°"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Invert")), QStringList({"&Indices", "&Colors"}));
    QCOMPARE(ItemTexts(SubMenu(image, "&Shrink")), QStringList({"Shrink to &50%"}));
    QCOMPARE(ItemTexts(SubMenu(image, "Red&uce colors")),
             QStringList({"Reduce to &4 colors", "Reduce to &16 colors", "Reduce to &256 colors"}));
    // Tabs past the first only widen a Qt menu.
    QVERIFY2(SubMenu(image, "&Convert to")->sizeHint().width() < 400,
             qPrintable(QString::number(SubMenu(image, "&Convert to")->sizeHint().width())));
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

  // Paste follows the clipboard, from the start: a picture there can be
  // pasted into the empty window.
  void actionsNeedingAnImageStartDisabled() {
    QGuiApplication::clipboard()->setText("no picture");
    MainWindow& window = NewWindow();
    for (const QString& title : {"&Edit", "&View", "&Image"}) {
      for (QAction* action : AllActions(TopMenu(window, title))) {
        QVERIFY2(!action->isEnabled(), qPrintable(action->text()));  // Copy too: nothing to copy
      }
    }
    QVERIFY(!Find(window, {"&File", "&Load alpha mask..."})->isEnabled());
    QVERIFY(!Find(window, {"&File", "Save &palette"})->isEnabled());
    QVERIFY(!Find(window, {"&File", "Sa&ve"})->isEnabled());
    QVERIFY(!Find(window, {"&File", "&Save as..."})->isEnabled());
    for (const QString& text : {"&Open...", "&Create alpha...",
                                "Create a&nimated sprite from GIF", "Op&tions", "&Exit"})
      QVERIFY2(Find(window, {"&File", text})->isEnabled(), qPrintable(text));
    QVERIFY(Find(window, {"&Help", "&About..."})->isEnabled());
    QGuiApplication::clipboard()->setImage(QImage(2, 2, QImage::Format_RGB32));
    QTRY_VERIFY(Find(window, {"&Edit", "&Paste"})->isEnabled());
  }

  void firstImageEnablesEverythingAndTransparencyFollowsTheImage() {
    MainWindow& window = NewWindow();
    QGuiApplication::clipboard()->setImage(QImage(2, 2, QImage::Format_RGB32));
    Show(MakePaletteImage(2, 2, {0, 0xFFFFFF}));
    for (const QString& title : {"&File", "&Edit", "&View", "&Image", "&Help"})
      for (QAction* action : AllActions(TopMenu(window, title)))
        if (action->isVisible() && action != Find(window, {"&Edit", "&Undo"}) && action != Find(window, {"&Edit", "&Redo"}))
          QVERIFY2(action->isEnabled(), qPrintable(action->text()));

    Show(MakeTrueColorImage(1, 1, {0}));
    QVERIFY(!Find(window, {"&Image", "&Transparency..."})->isEnabled());
    QVERIFY(Find(window, {"&Image", "Inf&o"})->isEnabled());
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
    QVERIFY(Find(window, {"&Image", "Inf&o"})->isEnabled());
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

  // A cancelled dialog, the same size or a size refused leave no step that
  // Undo would take back without a change; a refused size says the limits.
  void undoAndRedoWalkTheHistoryAndGreyOut() {
    MainWindow& window = NewWindow();
    QAction* undo = Find(window, {"&Edit", "&Undo"});
    QAction* redo = Find(window, {"&Edit", "&Redo"});
    Show(MarkedImage(1));
    QVERIFY(!undo->isEnabled());
    QVERIFY(!redo->isEnabled());
    window.OnFlipH();  // the marker moves to x 3
    window.OnInvertColor();
    QVERIFY(undo->isEnabled());
    QVERIFY(!redo->isEnabled());
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keySequence(&window, QKeySequence::Undo);
    QTest::keySequence(&window, QKeySequence::Undo);
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), Color{1});
    QVERIFY(!undo->isEnabled());
    QVERIFY(redo->isEnabled());
    QVERIFY(!window.isWindowModified());
    QTest::keySequence(&window, QKeySequence::Redo);
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 3, 0), Color{1});
    QVERIFY(window.isWindowModified());
    QVERIFY(undo->isEnabled() && redo->isEnabled());
    window.OnRotate180();  // a new change ends what could be redone
    QVERIFY(!redo->isEnabled());
    window.OnRedo();
    QCOMPARE(GetDocument().current->XSize, 4);
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 1), Color{1});
  }

  void scaleThatChangesNothingLeavesNoStep() {
    MainWindow& window = NewWindow();
    Show(MarkedImage(7));
    const QList<std::function<bool(ScaleValues&)>> answers = {
        [](ScaleValues&) { return false; },  // cancelled
        [](ScaleValues&) { return true; },   // the size left as it was
        [](ScaleValues& v) {
          v.newWidth = 0;
          v.newHeight = 3;
          return true;
        },
        [](ScaleValues& v) {
          v.newWidth = 100000;
          v.newHeight = 3;
          return true;
        },
    };
    for (const auto& answer : answers) {
      prompts_->scaleAnswer = answer;
      window.OnScale();
      QCOMPARE(GetDocument().current->XSize, 4);
      QVERIFY(!CanUndo());
      QVERIFY(!Find(window, {"&Edit", "&Undo"})->isEnabled());
    }
    QCOMPARE(prompts_->errorTexts, QStringList({"Illegal size.", "Illegal size."}));
    QVERIFY2(prompts_->errorDetails[0].contains("1 to 99999 pixels") && prompts_->errorDetails[0].contains("0 x 3"),
             qPrintable(prompts_->errorDetails[0]));
    QVERIFY(prompts_->errorDetails[1].contains("100000 x 3"));
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
    QCOMPARE(window.RecentFileActions()[3]->text(), "&4 " + QString::fromStdString(paths[2]));
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
    QCOMPARE(next.RecentFileActions()[2]->text(), "&3 " + QString::fromStdString(paths[7]));
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
    // The first suggestion is named after the picture's file, each later one
    // after the file last saved.
    QString suggestion = QString::fromStdString(dir_->Path().string()) + "/pic.c";
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
      suggestion = QString::fromStdString(dir_->Path().string()) + "/" + c.file.left(1) + ".c";
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

  // The fault that started it: a best-palette picture saved as 565 into a
  // path whose folder is a file kept only the error, not its palette.
  void failedHighColourSaveKeepsThePalette() {
    MainWindow& window = NewWindow();
    Show(MakeTrueColorImage(2, 2, {0x0000FF, 0x00FF00, 0x0000FF, 0xFF0000}));
    window.OnCvtBestPal();
    const int colours = GetDocument().current->NumColors;
    QVERIFY(colours > 0);
    testing_support::WriteBytes(dir_->File("plain"), {'x'});
    const QString path = QString::fromStdString(dir_->File("plain/hc.c"));
    prompts_->saveAnswers.push_back({path, "C files (*.c)"});
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      r.noPalette = 1;
      return true;
    };
    window.OnSaveAs();
    QCOMPARE(prompts_->errorTexts, QStringList({"Could not create file " + path}));
    QCOMPARE(GetDocument().current->NumColors, colours);
    QCOMPARE(window.View()->ColorsText(), QString::number(colours));
    window.OnUndo();  // the one step is the conversion
    QCOMPARE(GetDocument().current->NumColors, 0);
    QVERIFY(!CanUndo());
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
    struct Case {
      const char* name;
      std::vector<std::uint8_t> bytes;
      const char* message;
    };
    std::vector<std::uint8_t> cut = GifOfFrames(2);
    cut.resize(14);
    const Case cases[] = {{"zeros.gif", std::vector<std::uint8_t>(4096, 0), "Animation needs a GIF file."},
                          {"still.gif", GifOfFrames(1), "GIF file is not animated."},
                          {"cut.gif", cut, "Image could not be read"}};
    for (const Case& c : cases) {
      prompts_->asked.clear();
      const std::string path = dir_->File(c.name);
      testing_support::WriteBytes(path, c.bytes);
      prompts_->openAnswers.push_back(QString::fromStdString(path));
      window.OnCreateAnimCursor();
      QCOMPARE(prompts_->asked, QStringList({"open:Select GIF to convert|GIF (*.gif)"}));
      QCOMPARE(prompts_->errorTexts.last(), QString(c.message));
      QCOMPARE(prompts_->errorFiles.last(), QString::fromStdString(path));
    }
    QVERIFY(prompts_->errorDetails[1].contains("one picture"));
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
    QVERIFY(Find(window, {"&Image", "Inf&o"})->isEnabled());
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

  // Each method of "Dither to"'s Method menu gives the bytes the core (and
  // so the command line's -dither) gives for the same picture and target.
  void ditherMethodsGiveTheCommandLinesBytes() {
    MainWindow& window = NewWindow();
    std::vector<Color> pixels;
    for (int i = 0; i < 16 * 8; ++i) pixels.push_back(static_cast<Color>((i % 16) * 17 | ((i / 16) * 36) << 8 | 0x600000));
    const struct {
      const char* label;
      DitherMethod method;
    } cases[] = {{"&Serpentine Floyd-Steinberg", DitherMethod::kSerpentine},
                 {"Ordered, Bayer &4 x 4", DitherMethod::kBayer4},
                 {"Ordered, Bayer &8 x 8", DitherMethod::kBayer8},
                 {"&Floyd-Steinberg", DitherMethod::kFloydSteinberg}};
    for (const auto& c : cases) {
      Show(MakeTrueColorImage(16, 8, pixels));
      QAction* method = Find(window, {"&Image", "&Dither to", "&Method", c.label});
      QVERIFY2(method != nullptr, c.label);
      method->trigger();
      window.OnDith332();
      OutputOptions options;
      options.dither = c.method;
      sys::Context ctx;
      const BitmapPtr expected = ConvertToFormat(*MakeTrueColorImage(16, 8, pixels), GetColorFormat(kFormat332), options, ctx);
      QVERIFY(expected && GetDocument().current);
      QVERIFY2(GetDocument().current->pData == expected->pData, c.label);
    }
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

  // Saving never changes the picture: not the GIF and PNG writers' own
  // conversions, not the FORMAT's, not when the save fails. The file holds
  // what -saveas writes for the same picture, and the status bar says so.
  void savesNeverChangeThePicture() {
    struct Case {
      const char* filter;
      const char* name;
      int format;
      bool alpha;
      const char* saved;  // the status bar's words for the file
    };
    const Case cases[] = {{"PNG files (*.png)", "a.png", 0, false, "PNG"},
                          {"PNG files (*.png)", "b.png", 0, true, "PNG"},
                          {"GIF files (*.gif)", "c.gif", 0, false, "GIF"},
                          {"C files (*.c)", "d.c", 8, false, "High color (565)"},
                          {"DTA files (*.dta)", "e.dta", 16, false, "True color with alpha"},
                          {"C files (*.c)", "f.c", 4, false, "4 bit per pixel"}};
    for (const Case& c : cases) {
      MainWindow& window = NewWindow();
      const std::vector<Color> pixels = {0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF};
      Show(c.format == 4 ? MakePaletteImage(2, 2, {0x0000FF, 0x00FF00, 0xFF0000}) : MakeTrueColorImage(2, 2, pixels, c.alpha));
      BitmapPtr before = CloneOf(*GetDocument().current);
      const Bitmap* shown = GetDocument().current.get();
      const QString statusBefore = window.ImageStatus()->text();
      prompts_->formatAnswer = [&c](SpecResult& r) {
        r.format = c.format;
        r.noPalette = c.format >= 8 ? 1 : 0;
        return true;
      };
      const std::string path = dir_->File(c.name);
      prompts_->saveAnswers.push_back({QString::fromStdString(path), c.filter});
      window.OnSaveAs();
      QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
      QCOMPARE(GetDocument().current.get(), shown);
      QVERIFY2(SamePicture(*GetDocument().current, *before), c.name);
      QVERIFY(!CanUndo());
      QCOMPARE(window.ImageStatus()->text(), statusBefore);
      QVERIFY(!window.isWindowModified());
      const QString saved = window.statusBar()->currentMessage();
      QVERIFY2(saved.startsWith(QString("Saved %1: %2, ").arg(QFileInfo(c.name).fileName(), c.saved)), qPrintable(saved));
      QVERIFY2(QString(saved).remove(',').endsWith(QString("%1 bytes").arg(std::filesystem::file_size(path))),
               qPrintable(saved));
      QVERIFY2(testing_support::ReadBytes(path) == SavedByCommandLine(*before, c.name, c.filter, c.format), c.name);
    }
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
    QCOMPARE(window.Jobs()->TimesShown(), 0);

    window.Jobs()->SetDelay(0);  // as if every step took long
    window.OnDith565();
    QCOMPARE(window.Jobs()->TimesShown(), 1);
    QCOMPARE(window.Jobs()->Bar()->maximum(), 300);  // "line n/300"
    QCOMPARE(window.Jobs()->Bar()->value(), 300);
    QVERIFY(!window.Jobs()->Shown());
    QVERIFY(window.Jobs()->Bar()->isHidden());
    QVERIFY(window.Jobs()->CancelButton()->isHidden());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
  }

  // A long save runs while the window stays live: timers fire, the status
  // bar shows the job with a Cancel button, the document's actions are greyed
  // and the view's are not. Cancel, or closing the window, gives the save up
  // and leaves everything as it was: no file, no step, nothing beside it.
  void longSaveKeepsTheWindowLiveAndCanBeCancelled() {
    for (const bool byClosing : {false, true}) {
      MainWindow& window = NewWindow();
      Show(Noise(1600, 1600));  // its PNG takes well over the delay to compress
      const Bitmap* shown = GetDocument().current.get();
      const std::string path = dir_->File("big.png");
      prompts_->saveAnswers.push_back({QString::fromStdString(path), "PNG files (*.png)"});
      int ticks = 0;
      bool cancelShown = false;
      bool documentGreyed = false;
      bool viewLive = false;
      QTimer timer;
      timer.setInterval(10);
      connect(&timer, &QTimer::timeout, &window, [&] {
        ++ticks;
        if (!window.Jobs()->Shown() || cancelShown) return;
        cancelShown = window.Jobs()->CancelButton()->isVisible();
        documentGreyed = !Find(window, {"&File", "&Open..."})->isEnabled() &&
                         !Find(window, {"&Image", "Sc&ale..."})->isEnabled() &&
                         !Find(window, {"&Edit", "&Paste"})->isEnabled();
        viewLive = Find(window, {"&View", "Zoom &in"})->isEnabled();
        if (byClosing) {
          window.close();
        } else {
          QTest::mouseClick(window.Jobs()->CancelButton(), Qt::LeftButton);
        }
      });
      timer.start();
      window.OnSaveAs();
      QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
      QVERIFY(cancelShown);
      QVERIFY(documentGreyed);
      QVERIFY(viewLive);
      QCOMPARE(GetDocument().current.get(), shown);
      QVERIFY(!CanUndo());
      QVERIFY(Find(window, {"&File", "&Open..."})->isEnabled());
      QTRY_COMPARE(window.Jobs()->AbandonedThreads(), 0);
      QVERIFY(!std::filesystem::exists(path));
      QVERIFY(std::filesystem::is_empty(dir_->Path()));
      if (byClosing) {
        QTRY_VERIFY(!window.isVisible());
      } else {
        QVERIFY(window.statusBar()->currentMessage().contains("cancelled"));
      }
      timer.stop();
    }
  }

  // --- saving where the picture came from -----------------------------------

  // Save (Ctrl+S) writes the file and type the picture came from, or was
  // last saved as; otherwise it asks as Save as does.
  void saveWritesWhereThePictureCameFromOrWasLastSaved() {
    MainWindow& window = NewWindow();
    const std::string bmp = dir_->File("grey.bmp");
    MakeFile(bmp);
    window.OpenByName(QString::fromStdString(bmp));
    window.OnInvertColor();
    QVERIFY(window.isWindowModified());
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keySequence(&window, QKeySequence::Save);
    QVERIFY(prompts_->asked.isEmpty());  // no question
    QCOMPARE(testing_support::ReadBytes(bmp)[54], std::uint8_t{0xFF - 0x40});
    QVERIFY(!window.isWindowModified());

    // A pasted picture has no file: Save asks; after that it has one.
    QImage image(2, 1, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    QGuiApplication::clipboard()->setImage(image);
    window.OnPaste();
    QCOMPARE(window.windowTitle(), window.BaseTitle() + " - Pasted image[*]");
    const std::string c = dir_->File("pasted.c");
    prompts_->saveAnswers.push_back({QString::fromStdString(c), "C files (*.c)"});
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      r.noPalette = 1;
      return true;
    };
    window.OnSave();
    QCOMPARE(prompts_->asked.size(), 2);  // the file name and the FORMAT
    QCOMPARE(window.windowTitle(), window.BaseTitle() + " - " + QString::fromStdString(c) + "[*]");
    QVERIFY(GetRecentFiles()[0] == bmp);  // a C file is no picture to open again
    std::filesystem::remove(c);
    window.OnFlipH();
    window.OnSave();
    QCOMPARE(prompts_->asked.size(), 2);
    QVERIFY(testing_support::ReadText(c).find("GUI_DRAW_BMP565") != std::string::npos);

    // A picture saved as PNG joins the recent files, numbered.
    const std::string png = dir_->File("pasted.png");
    prompts_->saveAnswers.push_back({QString::fromStdString(png), "PNG files (*.png)"});
    window.OnSaveAs();
    QCOMPARE(GetRecentFiles()[0], png);
    QCOMPARE(window.RecentFileActions()[0]->text(), "&1 " + QString::fromStdString(png));
    QCOMPARE(window.RecentFileActions()[1]->text(), "&2 " + QString::fromStdString(bmp));
  }

  // --- recent files ----------------------------------------------------------

  void recentFilesVanishWhenGoneAndCanBeCleared() {
    MainWindow& window = NewWindow();
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) {
      paths.push_back(dir_->File("r" + std::to_string(i) + ".bmp"));
      MakeFile(paths.back());
      window.OpenByName(QString::fromStdString(paths.back()));
    }
    QCOMPARE(window.RecentFileActions()[9]->text(), "1&0 " + QString::fromStdString(paths[0]));
    std::filesystem::remove(paths[5]);
    emit TopMenu(window, "&File")->aboutToShow();
    QCOMPARE(GetRecentFiles()[4], paths[4]);  // r9, r8, r7, r6, r4, ...
    QCOMPARE(window.RecentFileActions()[4]->data().toString(), QString::fromStdString(paths[4]));
    QVERIFY(!window.RecentFileActions()[9]->isVisible());

    QAction* clear = Find(window, {"&File", "Clea&r recent files"});
    QVERIFY(clear != nullptr && clear->isVisible());
    clear->trigger();
    for (QAction* recent : window.RecentFileActions()) QVERIFY(!recent->isVisible());
    QVERIFY(!clear->isVisible());
    MainWindow& next = NewWindow();  // cleared for good
    QVERIFY(GetRecentFiles()[0].empty());
    QVERIFY(!next.RecentFileActions()[0]->isVisible());
  }

  // --- menus ---------------------------------------------------------------

  // Every item of a menu can be reached by a key of its own.
  void mnemonicsAreUniqueInEveryMenu() {
    MainWindow& window = NewWindow();
    const std::string path = dir_->File("m.bmp");
    MakeFile(path);
    window.OpenByName(QString::fromStdString(path));  // a recent entry and Clear too
    QList<QMenu*> menus;
    for (QAction* top : window.menuBar()->actions()) menus << top->menu();
    for (int i = 0; i < menus.size(); ++i)
      for (QAction* action : menus[i]->actions())
        if (action->menu() != nullptr) menus << action->menu();
    for (QMenu* menu : menus) {
      QStringList keys;
      for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible()) continue;
        const QString key = QKeySequence::mnemonic(action->text()).toString();
        if (key.isEmpty()) continue;
        QVERIFY2(!keys.contains(key), qPrintable(menu->title() + ": " + action->text()));
        keys << key;
      }
    }
  }

  // --- messages ---------------------------------------------------------------

  // The boxes keep the system's texts and add what to act on.
  void messagesSayWhatToActOn() {
    MainWindow& window = NewWindow();
    const std::string text = dir_->File("notes.png");
    testing_support::WriteBytes(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string zip = dir_->File("archive.png");
    testing_support::WriteBytes(zip, {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    window.OpenByName(QString::fromStdString(text));
    window.OpenByName(QString::fromStdString(zip));
    QCOMPARE(prompts_->errorTexts.size(), 2);
    QVERIFY2(prompts_->errorDetails[0].startsWith("The file is text, not a picture"), qPrintable(prompts_->errorDetails[0]));
    QVERIFY2(prompts_->errorDetails[1].startsWith("The file is a ZIP archive"), qPrintable(prompts_->errorDetails[1]));
    QCOMPARE(prompts_->errorFiles[0], QString::fromStdString(text));

    // The allocator's failure in decimal with its unit, whatever its text says.
    ReportEntry failure = TextEntry("Failed to allocate 0x4A80EA044 bytes of memory!");
    failure.detail = "a block of 19998744644 bytes passes the limit of 4294967296 bytes";
    ShowReport(failure);
    QCOMPARE(prompts_->errorTexts.last(), QString("Failed to allocate 0x4A80EA044 bytes of memory!"));
    QCOMPARE(prompts_->errorDetails.last(),
             QString("A block of 19,998,744,644 bytes (18.6 GiB) passes the limit of 4,294,967,296 bytes (4.0 GiB)."));
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
