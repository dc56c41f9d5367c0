#include "gui/MainWindow.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "app/AlphaFiles.h"
#include "app/Animation.h"
#include "app/Commands.h"
#include "app/DocumentActions.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "gui/FileNames.h"
#include "gui/GuiSettings.h"
#include "gui/QtImage.h"
#include "gui/ShowImage.h"
#include "gui/StatusText.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/ImageOps.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"
#include "writers/PaletteWriter.h"
#include "writers/SizeReport.h"

// Resources of a static library must be registered by hand, from the global
// namespace.
static void InitGuiResources() { Q_INIT_RESOURCE(rastra); }

namespace rastra {

namespace {

constexpr std::size_t kMaxPathLength = 255;
constexpr std::size_t kMaxPalettePathLength = 499;
constexpr int kCustomPaletteSelector = 17;
constexpr const char* kMessageTitle = "Rastra";
// The largest first size; a smaller screen gets most of its free area.
constexpr QSize kPreferredSize(1500, 800);
constexpr int kScreenPercent = 90;

// The window that parents message boxes and answers the custom palette
// question; there is one main window per process.
MainWindow* activeWindow = nullptr;
UserPrompts* activePrompts = nullptr;

void ShowReportBox(const std::string& title, const std::string& text) {
  if (activeWindow != nullptr) activeWindow->ShowReport(QString::fromStdString(title), QString::fromStdString(text));
}

// The window's own place in the settings store, beside the user settings.
QSettings SettingsStore() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }
constexpr const char* kGeometryKey = "Window/geometry";

std::string AskCustomPaletteFile() {
  if (activePrompts == nullptr) return {};
  const QString name = activePrompts->OpenFileName(activeWindow, MainWindow::tr("Open custom palette"),
                                                   MainWindow::tr("GUI Palette file (*.GUIPal)"));
  return ToFileName(name, kMaxPalettePathLength);
}

struct SaveFilter {
  const char* filter;
  int type;
};

constexpr SaveFilter kSaveFilters[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "C files (*.c)"), kOutputCBitmap},
    {QT_TRANSLATE_NOOP("MainWindow", "DTA files (*.dta)"), kOutputCStream},
    {QT_TRANSLATE_NOOP("MainWindow", "BMP files (*.bmp)"), kOutputBmp},
    {QT_TRANSLATE_NOOP("MainWindow", "PNG files (*.png)"), kOutputPng},
    {QT_TRANSLATE_NOOP("MainWindow", "GIF files (*.gif)"), kOutputGif},
};

// The platform's keys for a standard action, or the common ones where the
// platform has none (a plain X11 session knows no Save as key).
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const char* common) {
  QList<QKeySequence> keys = QKeySequence::keyBindings(key);
  if (keys.isEmpty()) keys << QKeySequence(common);
  return keys;
}

QString FilterText(const SaveFilter& f) { return QCoreApplication::translate("MainWindow", f.filter); }

int TypeFromFilter(const QString& filter) {
  for (const SaveFilter& f : kSaveFilters)
    if (filter == FilterText(f)) return f.type;
  return 0;
}

// Whether a writer's converted picture shows anything new: a PNG of a
// true-colour picture with alpha is written from an identical copy, which is
// no step worth undoing.
bool SamePicture(const Bitmap& a, const Bitmap& b) {
  if (a.XSize != b.XSize || a.YSize != b.YSize || a.BitsPerPixel != b.BitsPerPixel || a.NumColors != b.NumColors ||
      a.HasAlpha != b.HasAlpha || a.HasTrans != b.HasTrans) {
    return false;
  }
  for (int i = 0; i < a.NumColors; ++i)
    if (Bitmap_GetPalColor(a, i) != Bitmap_GetPalColor(b, i)) return false;
  const auto rowBytes = static_cast<std::size_t>(a.XSize) * static_cast<std::size_t>(a.NumColors > 0 ? 1 : 4);
  for (int y = 0; y < a.YSize; ++y)
    if (std::memcmp(a.Row(y), b.Row(y), rowBytes) != 0) return false;
  return true;
}

// The source path's absolute directory and base name, as suggested names use them.
QString SuggestedName(const std::string& sourcePath, const QString& suffix) {
  const QFileInfo source(FromFileName(sourcePath));
  return source.absolutePath() + "/" + source.baseName() + suffix;
}

QString EscapeMnemonic(QString text) { return text.replace("&", "&&"); }

}  // namespace

MainWindow::MainWindow(std::unique_ptr<UserPrompts> prompts)
    : prompts_(prompts ? std::move(prompts) : std::make_unique<UserPrompts>()), view_(nullptr) {
  InitGuiResources();
  activeWindow = this;
  activePrompts = prompts_.get();
  SetMessageBoxHook(ShowReportBox);
  SetPaletteFileDialog(AskCustomPaletteFile);

  LoadSettings();
  LoadRecentFiles();

  view_ = new ShowImage(this);
  view_->SetViewOption(static_cast<int>(GetSettings().ViewOption), GetSettings().BkColor);
  setCentralWidget(view_);
  connect(view_, &ShowImage::PixelHovered, this, &MainWindow::OnPixelHovered);
  connect(view_, &ShowImage::HoverLeft, this, &MainWindow::OnHoverLeft);

  BuildMenus();
  for (QAction* action : imageActions_) action->setEnabled(false);
  copyAction_->setEnabled(true);
  BuildStatusBar();

  title_ = QString("%1 V%2").arg(DisplayName(), QString::fromStdString(VersionText()));
  setWindowTitle(title_);

  connect(this, &MainWindow::ErrorMessage, this, &MainWindow::OnErrorMsg, Qt::QueuedConnection);

  PlaceWindow();
  setAcceptDrops(true);
  setWindowIcon(QIcon(":/rastra/icon.png"));

  show();
  if (GetDocument().current) ShowResult(GetDocument().current.get());
}

MainWindow::~MainWindow() {
  if (activeWindow != this) return;
  activeWindow = nullptr;
  activePrompts = nullptr;
  SetMessageBoxHook(nullptr);
  SetPaletteFileDialog(nullptr);
  SetProgressHook(nullptr);
}

void MainWindow::BuildStatusBar() {
  imageStatus_ = new QLabel(this);
  imageStatus_->setContentsMargins(4, 0, 24, 0);  // apart from the pixel text beside it
  pixelStatus_ = new QLabel(this);
  statusBar()->addWidget(imageStatus_);
  statusBar()->addWidget(pixelStatus_, 1);
  progress_ = new ProgressFeedback(statusBar(), this);
  ProgressFeedback* feedback = progress_;
  SetProgressHook([feedback](const std::string& text) { feedback->OnProgress(text); });
}

// The size and place of the last run, made visible on today's screens by
// restoreGeometry; the first time most of the screen's free area, centred,
// never more than the preferred size.
void MainWindow::PlaceWindow() {
  if (restoreGeometry(SettingsStore().value(kGeometryKey).toByteArray())) return;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    resize(kPreferredSize);
    return;
  }
  const QRect available = screen->availableGeometry();
  const QSize size = kPreferredSize.boundedTo(available.size() * kScreenPercent / 100);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
}

void MainWindow::SaveWindowPlace() const {
  QSettings store = SettingsStore();
  store.setValue(kGeometryKey, saveGeometry());
  store.sync();
}

// ---------------------------------------------------------------------------
// Menus

QAction* MainWindow::AddAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                               const QList<QKeySequence>& shortcuts) {
  QAction* action = menu->addAction(text);
  if (!shortcuts.isEmpty()) action->setShortcuts(shortcuts);
  connect(action, &QAction::triggered, this, slot);
  return action;
}

QAction* MainWindow::AddImageAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                                    const QList<QKeySequence>& shortcuts) {
  QAction* action = AddAction(menu, text, slot, shortcuts);
  imageActions_.push_back(action);
  return action;
}

void MainWindow::BuildMenus() {
  BuildFileMenu();
  BuildEditMenu();
  BuildViewMenu();
  BuildImageMenu();
  BuildHelpMenu();
}

void MainWindow::BuildFileMenu() {
  fileMenu_ = menuBar()->addMenu(tr("&File"));
  openAction_ = AddAction(fileMenu_, tr("&Open..."), &MainWindow::OnOpen, StandardKeys(QKeySequence::Open, "Ctrl+O"));
  saveAsAction_ =
      AddAction(fileMenu_, tr("&Save as..."), &MainWindow::OnSaveAs, StandardKeys(QKeySequence::SaveAs, "Ctrl+Shift+S"));
  fileMenu_->addSeparator();
  for (QAction*& action : recentActions_) action = AddAction(fileMenu_, QString(), &MainWindow::OnMRU);
  RefreshRecentFiles();
  fileMenu_->addSeparator();
  createAlphaAction_ = AddAction(fileMenu_, tr("&Create alpha..."), &MainWindow::OnCreateAlpha);
  loadAlphaAction_ = AddImageAction(fileMenu_, tr("&Load alpha mask..."), &MainWindow::OnLoadAlpha);
  fileMenu_->addSeparator();
  animSpriteAction_ = AddAction(fileMenu_, tr("&Create animated sprite from GIF"), &MainWindow::OnCreateAnimSprite);
  animCursorAction_ = AddAction(fileMenu_, tr("&Create animated cursor from GIF"), &MainWindow::OnCreateAnimCursor);
  fileMenu_->addSeparator();
  savePaletteAction_ = AddImageAction(fileMenu_, tr("Save &palette"), &MainWindow::OnSavePalette);
  fileMenu_->addSeparator();
  optionsAction_ = AddAction(fileMenu_, tr("&Options"), &MainWindow::OnOptions);
  fileMenu_->addSeparator();
  exitAction_ = AddAction(fileMenu_, tr("&Exit"), &MainWindow::OnExit, StandardKeys(QKeySequence::Quit, "Ctrl+Q"));
}

void MainWindow::BuildEditMenu() {
  editMenu_ = menuBar()->addMenu(tr("&Edit"));
  undoAction_ = AddImageAction(editMenu_, tr("&Undo"), &MainWindow::OnUndo, StandardKeys(QKeySequence::Undo, "Ctrl+Z"));
  copyAction_ = AddImageAction(editMenu_, tr("&Copy"), &MainWindow::OnCopy, StandardKeys(QKeySequence::Copy, "Ctrl+C"));
  pasteAction_ =
      AddImageAction(editMenu_, tr("&Paste"), &MainWindow::OnPaste, StandardKeys(QKeySequence::Paste, "Ctrl+V"));
}

void MainWindow::BuildViewMenu() {
  viewMenu_ = menuBar()->addMenu(tr("&View"));
  // Ctrl+= as well: on many keyboards "+" needs Shift, "=" does not.
  zoomInAction_ = AddImageAction(viewMenu_, tr("Zoom in"), &MainWindow::OnZoomIn,
                                 StandardKeys(QKeySequence::ZoomIn, "Ctrl++") << QKeySequence(tr("Ctrl+=")));
  zoomOutAction_ =
      AddImageAction(viewMenu_, tr("Zoom out"), &MainWindow::OnZoomOut, StandardKeys(QKeySequence::ZoomOut, "Ctrl+-"));
  viewMenu_->addSeparator();
  zoomFitAction_ = AddImageAction(viewMenu_, tr("Fit to window"), &MainWindow::OnZoomFit);
  zoomActualAction_ = AddImageAction(viewMenu_, tr("100 %"), &MainWindow::OnZoomActual, {QKeySequence(tr("Ctrl+0"))});
}

void MainWindow::BuildImageMenu() {
  static constexpr void (MainWindow::*kConvertSlots[kConvertCount])() = {
      &MainWindow::OnCvtBW,     &MainWindow::OnCvtGray4,      &MainWindow::OnCvtGray16, &MainWindow::OnCvtGray64,
      &MainWindow::OnCvtGray256, &MainWindow::OnCvt111,       &MainWindow::OnCvt222,    &MainWindow::OnCvt233,
      &MainWindow::OnCvt323,    &MainWindow::OnCvt332,        &MainWindow::OnCvt8666,   &MainWindow::OnCvt444,
      &MainWindow::OnCvt555,    &MainWindow::OnCvt565,        &MainWindow::OnCvtRGB,    &MainWindow::OnCvtBestPal,
      &MainWindow::OnCvtBestPalTrans, &MainWindow::OnCvtCustPal,
  };
  static constexpr void (MainWindow::*kDitherSlots[kDitherCount])() = {
      &MainWindow::OnDithBW,  &MainWindow::OnDithGray4, &MainWindow::OnDithGray16, &MainWindow::OnDithGray64,
      &MainWindow::OnDithGray256, &MainWindow::OnDith111, &MainWindow::OnDith222, &MainWindow::OnDith233,
      &MainWindow::OnDith323, &MainWindow::OnDith332,   &MainWindow::OnDith8666,   &MainWindow::OnDith444,
      &MainWindow::OnDith555, &MainWindow::OnDith565,
  };
  constexpr int kRgbFormat = 14;
  // The colour format names come from the core, which knows no translation;
  // they pass through tr() all the same.
  const auto formatLabel = [](int i) { return tr(ColorFormatMenuLabel(i)); };

  imageMenu_ = menuBar()->addMenu(tr("&Image"));
  transAction_ = AddImageAction(imageMenu_, tr("&Transparency..."), &MainWindow::OnTrans);

  QMenu* convert = imageMenu_->addMenu(tr("&Convert to"));
  for (int i = 0; i < kRgbFormat; ++i) convertActions_[i] = AddImageAction(convert, formatLabel(i), kConvertSlots[i]);
  convert->addSeparator();
  convertActions_[14] = AddImageAction(convert, formatLabel(kRgbFormat), kConvertSlots[14]);
  convertActions_[15] = AddImageAction(convert, tr("Best palette"), kConvertSlots[15]);
  convertActions_[16] = AddImageAction(convert, tr("Best palette + transparency"), kConvertSlots[16]);
  convert->addSeparator();
  convertActions_[17] = AddImageAction(convert, tr("Custom palette..."), kConvertSlots[17]);

  QMenu* dither = imageMenu_->addMenu(tr("&Dither to"));
  for (int i = 0; i < kDitherCount; ++i) ditherActions_[i] = AddImageAction(dither, formatLabel(i), kDitherSlots[i]);

  QMenu* flip = imageMenu_->addMenu(tr("&Flip"));
  flipHAction_ = AddImageAction(flip, tr("Horizontally"), &MainWindow::OnFlipH);
  flipVAction_ = AddImageAction(flip, tr("Vertical"), &MainWindow::OnFlipV);
  QMenu* rotate = imageMenu_->addMenu(tr("&Rotate"));
  rotateCWAction_ = AddImageAction(rotate, tr("90° CW"), &MainWindow::OnRotateCW);
  rotateCCWAction_ = AddImageAction(rotate, tr("90° CCW"), &MainWindow::OnRotateCCW);
  rotate180Action_ = AddImageAction(rotate, tr("180°"), &MainWindow::OnRotate180);
  QMenu* invert = imageMenu_->addMenu(tr("&Invert"));
  invertIndicesAction_ = AddImageAction(invert, tr("Indices"), &MainWindow::OnInvertIndices);
  invertColorAction_ = AddImageAction(invert, tr("Colors"), &MainWindow::OnInvertColor);
  QMenu* shrink = imageMenu_->addMenu(tr("&Shrink"));
  shrinkAction_ = AddImageAction(shrink, tr("Shrink to 50%"), &MainWindow::OnShrink);
  QMenu* reduce = imageMenu_->addMenu(tr("&Reduce colors"));
  reduce4Action_ = AddImageAction(reduce, tr("Reduce to 4 colors"), &MainWindow::OnReduce4);
  reduce16Action_ = AddImageAction(reduce, tr("Reduce to 16 colors"), &MainWindow::OnReduce16);
  reduce256Action_ = AddImageAction(reduce, tr("Reduce to 256 colors"), &MainWindow::OnReduce256);
  imageMenu_->addSeparator();
  scaleAction_ = AddImageAction(imageMenu_, tr("&Scale..."), &MainWindow::OnScale);
  imageMenu_->addSeparator();
  infoAction_ = AddImageAction(imageMenu_, tr("&Info"), &MainWindow::OnInfo);
  sizeReportAction_ = AddImageAction(imageMenu_, tr("Si&ze report..."), &MainWindow::OnSizeReport);
}

void MainWindow::BuildHelpMenu() {
  helpMenu_ = menuBar()->addMenu(tr("&Help"));
  cmdOptAction_ = AddAction(helpMenu_, tr("Command line options..."), &MainWindow::OnCMDOpt,
                            StandardKeys(QKeySequence::HelpContents, "F1"));
  aboutAction_ = AddAction(helpMenu_, tr("About..."), &MainWindow::OnAbout);
}

void MainWindow::RefreshRecentFiles() {
  const RecentFileList& files = GetRecentFiles();
  for (int k = 0; k < kRecentFileCount; ++k) {
    const QString path = FromFileName(files[k]);
    // The text shows the path; the data keeps it exactly, "&" included.
    recentActions_[k]->setText(EscapeMnemonic(path));
    recentActions_[k]->setData(path);
    recentActions_[k]->setVisible(!path.isEmpty());
  }
}

// ---------------------------------------------------------------------------
// Showing and opening

void MainWindow::ShowResult(const Bitmap* image) {
  if (image == nullptr) return;
  for (QAction* action : imageActions_) action->setEnabled(true);
  transAction_->setEnabled(image->HasTrans != 0 || image->NumColors > 0);
  view_->SetImage(image);
  imageStatus_->setText(StatusText::ImageSummary(*image));
  pixelStatus_->clear();
  UpdateTitle();
}

QString MainWindow::ShownName() const {
  const ImageDocument& doc = GetDocument();
  switch (doc.state.origin) {
    case ImageOrigin::kClipboard:
      return tr("Pasted image");
    case ImageOrigin::kAlpha:
      return tr("Created alpha");
    case ImageOrigin::kFile:
      break;
  }
  return FromFileName(doc.sourcePath);
}

void MainWindow::UpdateTitle() {
  if (!GetDocument().current) {
    setWindowTitle(title_);
    return;
  }
  // "[*]" is where Qt shows the mark of unsaved changes.
  setWindowTitle(title_ + " - " + ShownName() + "[*]");
  setWindowModified(HasUnsavedChanges());
}

bool MainWindow::MayReplacePicture() {
  if (!HasUnsavedChanges()) return true;
  switch (prompts_->AskUnsavedChanges(this, ShownName())) {
    case UserPrompts::UnsavedChoice::kSave:
      return SaveAsInteractive();
    case UserPrompts::UnsavedChoice::kDiscard:
      return true;
    case UserPrompts::UnsavedChoice::kCancel:
      break;
  }
  return false;
}

void MainWindow::OpenByName(const QString& path) {
  if (path.isEmpty()) return;
  if (!MayReplacePicture()) return;
  const std::string file = ToFileName(QDir::toNativeSeparators(path), kMaxPathLength);
  // A file that does not open has been reported; what is on screen stays
  // the document, and the list keeps only files that opened.
  const Bitmap* opened = FileJob(FromFileName(file), [&file] { return OpenImageFile(file); });
  if (opened == nullptr) return;
  ShowResult(opened);
  AddRecentFile(GetDocument().sourcePath);
  RefreshRecentFiles();
}

void MainWindow::ShowMessage(const QString& text) { prompts_->Message(this, kMessageTitle, text); }

void MainWindow::ShowReport(const QString& title, const QString& text) {
  // The allocator's failure comes titled "Error"; everything else under the
  // program's name.
  const QString boxTitle = title == QLatin1String("Error") ? tr("Error") : title;
  // Long work shows the busy cursor; the box that interrupts it takes a click.
  const bool busy = progress_ != nullptr && progress_->Shown();
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  prompts_->Error(this, boxTitle, text, reportFile_);
  if (busy) QGuiApplication::restoreOverrideCursor();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The progress bar lets the window repaint during long work, and with it
  // the frame's close button could be pressed while the picture is in the
  // middle of an operation.
  if (progress_->Busy() || !MayReplacePicture()) {
    event->ignore();
    return;
  }
  SaveWindowPlace();
  event->accept();
}

void MainWindow::OnOpen() {
  OpenByName(prompts_->OpenFileName(this, tr("Add image"), tr("Images (*.png *.bmp *.sbmp *.jpg *.jpeg *.gif)")));
}

void MainWindow::OnMRU() {
  const auto* action = qobject_cast<QAction*>(sender());
  if (action != nullptr) OpenByName(action->data().toString().left(static_cast<qsizetype>(kMaxPathLength)));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty()) return;
  event->acceptProposedAction();
  OpenByName(urls.first().toLocalFile());
}

// ---------------------------------------------------------------------------
// Image operations

void MainWindow::RunImageOperation(const Operation& op) {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  ProgressFeedback::Scope busy(*progress_);
  const Bitmap* newestBefore = doc.undo[0].get();
  PushUndo();
  const bool saved = doc.undo[0] && doc.undo[0].get() != newestBefore;
  sys::Context ctx = MakeJobContext();
  doc.current = op(std::move(doc.current), ctx);
  ReportJob(ctx);
  if (doc.current) {
    MarkChanged();
  } else if (saved) {
    // The operation has reported why; the picture it started from comes
    // back instead of an empty document behind a picture on screen.
    PopUndo();
  }
  ShowResult(doc.current.get());
}

void MainWindow::ReplacePicture(BitmapPtr image) {
  ImageDocument& doc = GetDocument();
  PushUndoImage(std::move(doc.current));  // nothing to keep before the first picture
  doc.current = std::move(image);
  MarkChanged();
}

void MainWindow::Convert(int selector) {
  RunImageOperation([selector](BitmapPtr image, sys::Context&) {
    ImageDocument& doc = GetDocument();
    const Bitmap* before = image.get();
    doc.current = std::move(image);
    RunConversion(selector);
    // The best palette conversions keep the picture when they fail (and
    // say why); no new picture means nothing changed.
    if (doc.current.get() == before) doc.current.reset();
    return std::move(doc.current);
  });
}

void MainWindow::Dither(int index) {
  RunImageOperation([index](BitmapPtr image, sys::Context& ctx) {
    return DitherToFormat(*image, GetColorFormat(index), CurrentOutputOptions(), ctx);
  });
}

void MainWindow::OnCvtBW() { Convert(0); }
void MainWindow::OnCvtGray4() { Convert(1); }
void MainWindow::OnCvtGray16() { Convert(2); }
void MainWindow::OnCvtGray64() { Convert(3); }
void MainWindow::OnCvtGray256() { Convert(4); }
void MainWindow::OnCvt111() { Convert(5); }
void MainWindow::OnCvt222() { Convert(6); }
void MainWindow::OnCvt233() { Convert(7); }
void MainWindow::OnCvt323() { Convert(8); }
void MainWindow::OnCvt332() { Convert(9); }
void MainWindow::OnCvt8666() { Convert(10); }
void MainWindow::OnCvt444() { Convert(11); }
void MainWindow::OnCvt555() { Convert(12); }
void MainWindow::OnCvt565() { Convert(13); }
void MainWindow::OnCvtRGB() { Convert(14); }
void MainWindow::OnCvtBestPal() { Convert(15); }
void MainWindow::OnCvtBestPalTrans() { Convert(16); }
// The custom palette conversion asks for its file and saves its own undo
// state once the palette has loaded, so a cancelled choice leaves no step.
void MainWindow::OnCvtCustPal() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  ProgressFeedback::Scope busy(*progress_);
  const Bitmap* newestBefore = doc.undo[0].get();
  RunConversion(kCustomPaletteSelector);
  if (doc.undo[0].get() == newestBefore) return;  // cancelled, or the palette did not load
  if (doc.current) {
    MarkChanged();
  } else {
    PopUndo();
  }
  ShowResult(doc.current.get());
}

void MainWindow::OnDithBW() { Dither(0); }
void MainWindow::OnDithGray4() { Dither(1); }
void MainWindow::OnDithGray16() { Dither(2); }
void MainWindow::OnDithGray64() { Dither(3); }
void MainWindow::OnDithGray256() { Dither(4); }
void MainWindow::OnDith111() { Dither(5); }
void MainWindow::OnDith222() { Dither(6); }
void MainWindow::OnDith233() { Dither(7); }
void MainWindow::OnDith323() { Dither(8); }
void MainWindow::OnDith332() { Dither(9); }
void MainWindow::OnDith8666() { Dither(10); }
void MainWindow::OnDith444() { Dither(11); }
void MainWindow::OnDith555() { Dither(12); }
void MainWindow::OnDith565() { Dither(13); }

void MainWindow::OnFlipH() {
  RunImageOperation([](BitmapPtr image, sys::Context&) {
    FlipH(*image);
    return image;
  });
}

void MainWindow::OnFlipV() {
  RunImageOperation([](BitmapPtr image, sys::Context&) {
    FlipV(*image);
    return image;
  });
}

void MainWindow::OnRotateCW() {
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return RotateCW(*image, ctx); });
}
void MainWindow::OnRotateCCW() {
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return RotateCCW(*image, ctx); });
}

void MainWindow::OnRotate180() {
  RunImageOperation([](BitmapPtr image, sys::Context&) {
    Rotate180(*image);
    return image;
  });
}

void MainWindow::OnInvertIndices() {
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) {
    InvertIndices(*image, ctx);
    return image;
  });
}

void MainWindow::OnInvertColor() {
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) {
    InvertPalette(*image, ctx);
    return image;
  });
}

void MainWindow::OnShrink() {
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return ShrinkHalf(*image, ctx); });
}
void MainWindow::Reduce(int colours) {
  RunImageOperation([colours](BitmapPtr image, sys::Context& ctx) {
    return ReduceColors(*image, colours, CurrentOutputOptions(), ctx);
  });
}
void MainWindow::OnReduce4() { Reduce(4); }
void MainWindow::OnReduce16() { Reduce(16); }
void MainWindow::OnReduce256() { Reduce(256); }

void MainWindow::OnScale() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  PushUndo();  // also when the dialog is then cancelled; the picture counts as unchanged
  ScaleValues values{doc.current->XSize, doc.current->YSize, doc.current->XSize, doc.current->YSize};
  if (!prompts_->Scale(this, values)) return;
  if (values.newWidth == values.imageWidth && values.newHeight == values.imageHeight) return;
  if (values.newWidth <= 0 || values.newHeight <= 0) {
    ReportMessage(25);  // "Illegal size."
    return;
  }
  ProgressFeedback::Scope busy(*progress_);
  sys::Context ctx = MakeJobContext();
  BitmapPtr scaled = ScaleBitmap(*doc.current, values.newWidth, values.newHeight, ctx);
  ReportJob(ctx);
  if (scaled) {
    doc.current = std::move(scaled);
    MarkChanged();
  } else {
    PopUndo();  // the image before scaling comes back
  }
  ShowResult(doc.current.get());
}

void MainWindow::OnTrans() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  if (doc.current->BitsPerPixel > 8 || doc.current->BitsPerPixel == 0) {
    ShowMessage(tr("No palette. Transparency can not be created or modified."));
    return;
  }
  int selection = 0;
  if (!prompts_->Transparency(this, *doc.current, selection)) return;
  RunImageOperation([selection](BitmapPtr image, sys::Context&) {
    SetTransparency(*image, selection);
    return image;
  });
}

void MainWindow::OnInfo() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  int used = 0;
  {
    ProgressFeedback::Scope busy(*progress_);
    sys::Context ctx = MakeJobContext();
    used = Bitmap_GetNumUsedColors(*doc.current, ctx);
    ReportJob(ctx);
  }
  prompts_->Info(this, used);
}

// ---------------------------------------------------------------------------
// Alpha

// Both alpha actions are steps that Undo takes back, as every other change
// of the picture is.
void MainWindow::OnCreateAlpha() {
  AlphaChoice choice;
  if (!prompts_->Alpha(this, AlphaDlg::kCreateAlpha, choice)) return;
  if (!choice.firstChosen || !choice.secondChosen) return;
  const QString files = FromFileName(choice.firstName) + ", " + FromFileName(choice.secondName);
  BitmapPtr result = FileJob(files, [&choice] { return CreateAlphaFromFiles(choice.firstName, choice.secondName); });
  if (!result) return;
  ReplacePicture(std::move(result));
  GetDocument().state.origin = ImageOrigin::kAlpha;
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnLoadAlpha() {
  ImageDocument& doc = GetDocument();
  AlphaChoice choice;
  if (!prompts_->Alpha(this, AlphaDlg::kLoadAlphaMask, choice)) return;
  if (!choice.firstChosen || !doc.current) return;
  BitmapPtr result = FileJob(FromFileName(choice.firstName),
                             [&] { return LoadAlphaMaskFile(*doc.current, choice.firstName); });
  if (!result) return;
  ReplacePicture(std::move(result));
  ShowResult(doc.current.get());
}

// ---------------------------------------------------------------------------
// Saving

bool MainWindow::SaveCurrentImage(const QString& name, int type, const SpecResult& spec) {
  ImageDocument& doc = GetDocument();
  const std::string path = ToFileName(QDir::toNativeSeparators(name), kMaxPathLength);
  const OutputSpec outputSpec{spec.format, spec.noPalette};
  BitmapPtr replacement;
  const bool written = FileJob(FromFileName(path), [&] {
    return SaveImageFile(doc.current.get(), path, type, outputSpec, &replacement);
  });
  // The file holds the writer's converted picture; the window shows it, and
  // Undo brings back the one before. A failed save changes nothing.
  if (written && replacement && !SamePicture(*replacement, *doc.current)) {
    ApplyReplacement(doc, std::move(replacement));
    MarkChanged();
  }
  if (written) MarkSaved();
  ShowResult(doc.current.get());
  return written;
}

// Only the first picture of an animation was read; a GIF saved from it holds
// that one alone.
bool MainWindow::ConfirmFirstFrameOnly() {
  const ImageDocument& doc = GetDocument();
  if (doc.state.origin != ImageOrigin::kFile || doc.sourceFrames < 2) return true;
  return prompts_->Confirm(this, tr("Save as GIF"),
                           tr("%1 is an animation of %2 frames. Only its first frame is saved in the GIF file.")
                               .arg(FromFileName(doc.sourcePath))
                               .arg(doc.sourceFrames));
}

bool MainWindow::SaveAsInteractive() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return false;
  QString filter;
  for (const SaveFilter& f : kSaveFilters) filter += (filter.isEmpty() ? "" : ";;") + FilterText(f);
  QString selectedFilter;
  const QString name =
      prompts_->SaveFileName(this, tr("Save file as"), SuggestedName(doc.sourcePath, ".c"), filter, selectedFilter);
  if (name.isEmpty()) return false;
  const int type = TypeFromFilter(selectedFilter);
  if (type == 0) return false;
  SpecResult spec;
  spec.type = type;
  if ((type == kOutputCBitmap || type == kOutputCStream) && !prompts_->FormatSpec(this, *doc.current, spec)) return false;
  if (type != kOutputCBitmap && type != kOutputCStream) spec = SpecResult{0, 0, type};
  if (type == kOutputGif && !ConfirmFirstFrameOnly()) return false;
  if (doc.current->NumColors > 0 && FormatTakesTrueColor(spec.format)) {
    RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return Bitmap_ToTrueColor(*image, ctx); });
    if (!doc.current || doc.current->NumColors > 0) return false;
  }
  return SaveCurrentImage(name, type, spec);
}

void MainWindow::OnSaveAs() { SaveAsInteractive(); }

void MainWindow::OnSizeReport() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  std::vector<FormatSize> rows;
  sys::Context ctx = MakeJobContext();
  const sys::Code code = ComputeSizeReport(*doc.current, CurrentOutputOptions(), rows, ctx);
  ReportJob(ctx);
  if (code != sys::Code::kOk) return;
  int format = 0;
  if (prompts_->SizeReport(this, SizeReportHeading(*doc.current), rows, format)) SaveAsFormat(format);
}

void MainWindow::SaveAsFormat(int format) {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  // Only the C outputs take a FORMAT, and FORMAT 99 has no stream form.
  const QString cFilter = tr(kSaveFilters[0].filter);
  const QString filter = format == 99 ? cFilter : cFilter + ";;" + tr(kSaveFilters[1].filter);
  QString selectedFilter = cFilter;
  const QString name =
      prompts_->SaveFileName(this, tr("Save file as"), SuggestedName(doc.sourcePath, ".c"), filter, selectedFilter);
  if (name.isEmpty()) return;
  const int type = TypeFromFilter(selectedFilter);
  if (type != kOutputCBitmap && type != kOutputCStream) return;
  // The picture the report counted for this row is the one saved.
  const SaveStep step = SaveStepFor(format, *doc.current);
  if (step.conversion == SaveConversion::kTrueColor) {
    RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return Bitmap_ToTrueColor(*image, ctx); });
  } else if (step.conversion == SaveConversion::kColorFormat) {
    Convert(step.colorFormat);
  }
  if (!doc.current || SaveStepFor(format, *doc.current).conversion != SaveConversion::kNone) return;
  SaveCurrentImage(name, type, SpecResult{format, 0, type});
}

void MainWindow::OnSavePalette() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  // A true-colour picture has no palette: a palette file of it would hold
  // nothing that could be loaded again.
  if (doc.current->NumColors == 0) {
    ShowMessage(tr("No palette. A true color image has no palette to save."));
    return;
  }
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, tr("Save palette file"), SuggestedName(doc.sourcePath, "_Palette.GUIPal"),
                                              tr("Lumar palette file (*.GUIPal)"), selectedFilter);
  if (name.isEmpty()) return;
  const std::string path = ToFileName(name, kMaxPathLength);
  FileJob(FromFileName(path), [&] {
    auto output = sys::SafeOutputFile::Create(path);
    if (!output) {
      ReportText(tr("Could not create file %1").arg(FromFileName(path)).toStdString());
      return;
    }
    // A palette that could not be written leaves an existing file untouched,
    // and the user hears of it whichever write fell short.
    if (SavePaletteFile(*doc.current, output->Output()) != sys::Code::kOk || !output->Commit()) {
      ReportText(tr("Could not write file %1").arg(FromFileName(path)).toStdString());
    }
  });
}

void MainWindow::CreateAnimation(int type) {
  const QString gifName = prompts_->OpenFileName(this, tr("Select GIF to convert"), tr("GIF (*.gif)"));
  if (gifName.isEmpty()) return;
  const std::string gifPath = gifName.toLocal8Bit().toStdString();
  if (!FileJob(gifName, [&gifPath] { return CheckGifForAnimation(gifPath); })) return;
  const QFileInfo source(gifName);
  const QString caption = type == kOutputAnimSprite ? tr("Saving animated sprite.") : tr("Saving animated cursor.");
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, caption, source.absolutePath() + "/" + source.baseName() + ".c",
                                              tr("C files (*.c)"), selectedFilter);
  if (name.isEmpty()) return;
  const std::string outPath = ToFileName(name, kMaxPathLength);
  FileJob(FromFileName(outPath), [&] { return CreateAnimationFile(gifPath, outPath, type); });
}

void MainWindow::OnCreateAnimSprite() { CreateAnimation(kOutputAnimSprite); }
void MainWindow::OnCreateAnimCursor() { CreateAnimation(kOutputAnimCursor); }

void MainWindow::OnSaveNormalMap() {}

// ---------------------------------------------------------------------------
// Options, edit, view, help

void MainWindow::OnOptions() {
  Settings values = GetSettings();
  if (prompts_->Options(this, tr("Options"), values)) ApplySettings(values, view_);
}

void MainWindow::OnExit() { close(); }

void MainWindow::OnUndo() {
  PopUndo();
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnCopy() {
  const ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  QGuiApplication::clipboard()->setImage(BitmapToQImage(*doc.current));
  QCoreApplication::processEvents();
}

void MainWindow::OnPaste() {
  const QImage image = QGuiApplication::clipboard()->image();
  if (image.isNull()) return;
  sys::Context ctx = MakeJobContext();
  BitmapPtr bitmap = QImageToBitmap(image, ctx);
  ReportJob(ctx);
  if (!bitmap) return;
  // A step like any other: Undo brings back what was shown before, and the
  // title says the picture came from the clipboard.
  ReplacePicture(std::move(bitmap));
  GetDocument().state.origin = ImageOrigin::kClipboard;
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnZoomIn() { view_->ZoomIn(); }
void MainWindow::OnZoomOut() { view_->ZoomOut(); }
void MainWindow::OnZoomFit() { view_->ZoomToFit(); }
void MainWindow::OnZoomActual() { view_->ZoomToActualSize(); }

void MainWindow::OnPixelHovered(QPoint pixel) {
  const ImageDocument& doc = GetDocument();
  if (doc.current) pixelStatus_->setText(StatusText::PixelSummary(*doc.current, pixel.x(), pixel.y()));
}

void MainWindow::OnHoverLeft() { pixelStatus_->clear(); }

void MainWindow::OnCMDOpt() { prompts_->CommandLineOptions(this); }
void MainWindow::OnAbout() { prompts_->About(this, DisplayName()); }
void MainWindow::OnErrorMsg(const QString& text) { prompts_->Error(this, kMessageTitle, text, QString()); }

}  // namespace rastra
