#include "gui/DitherMenu.h"
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
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Session.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "app/WindowJobs.h"
#include "gui/FileNames.h"
#include "gui/GuiSettings.h"
#include "gui/QtImage.h"
#include "gui/ReportDetails.h"
#include "gui/ScreenFit.h"
#include "gui/ShowImage.h"
#include "gui/StatusText.h"
#include "image/ColorFormat.h"

// Resources of a static library must be registered by hand, from the global
// namespace.
static void InitGuiResources() { Q_INIT_RESOURCE(rastra); }

namespace rastra {

namespace {

constexpr const char* kMessageTitle = "Rastra";
// The largest first size; a smaller screen gets most of its free area.
constexpr QSize kPreferredSize(1500, 800);
constexpr int kScreenPercent = 90;

// The window that parents message boxes; there is one main window per process.
MainWindow* activeWindow = nullptr;

void ShowReportBox(const std::string& title, const std::string& text, const std::string& detail) {
  if (activeWindow != nullptr) {
    activeWindow->ShowReport(QString::fromStdString(title), QString::fromStdString(text),
                             QString::fromStdString(detail));
  }
}

// The window's own place in the settings store, beside the user settings.
QSettings SettingsStore() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }
constexpr const char* kGeometryKey = "Window/geometry";

// The platform's keys for a standard action, or the common ones where the
// platform has none (a plain X11 session knows no Save as key).
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const char* common) {
  QList<QKeySequence> keys = QKeySequence::keyBindings(key);
  if (keys.isEmpty()) keys << QKeySequence(common);
  return keys;
}

QString EscapeMnemonic(QString text) { return text.replace("&", "&&"); }

// "&1 /path/a.png" to "1&0 /path/j.png": the entry's number is its key.
QString RecentEntryText(int slot, const QString& path) {
  const QString number = slot < 9 ? QString("&%1").arg(slot + 1) : QString("1&0");
  return number + " " + EscapeMnemonic(path);
}

// The menus' texts carry three tabs before the bits per pixel, which line
// them up in a menu that sets tab stops; Qt puts everything after the first
// tab in the right-hand column, where the extra tabs only widen the menu.
QString MenuColumns(QString text) {
  while (text.contains("\t\t")) text.replace("\t\t", "\t");
  return text;
}

// The access key of each "Convert to" entry (the "Dither to" entries take
// the same): the digits of the colour code where they tell the entries
// apart, a letter of the name elsewhere; no two alike in the menu.
constexpr char kConvertKeys[MainWindow::kConvertCount] = {'B', 'G', 'a', 'y', '6', '1', '2', '3', 'i',
                                                          'l', '8', '4', '5', 'o', 'R', 'e', 't', 'C'};

// Marks the key's first place in the name (the part before the tab); a
// translated name without it goes without a key.
QString WithAccessKey(const QString& text, char key) {
  const qsizetype tab = text.indexOf('\t');
  const qsizetype at = text.left(tab < 0 ? text.size() : tab).indexOf(QLatin1Char(key));
  return at < 0 ? text : text.left(at) + "&" + text.mid(at);
}

bool ClipboardHasImage() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasImage();
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<UserPrompts> prompts)
    : prompts_(prompts ? std::move(prompts) : std::make_unique<UserPrompts>()), view_(nullptr) {
  InitGuiResources();
  activeWindow = this;
  SetDetailedMessageBoxHook(ShowReportBox);

  LoadSettings();
  LoadRecentFiles();

  view_ = new ShowImage(this);
  view_->SetViewOption(static_cast<int>(GetSettings().ViewOption), GetSettings().BkColor);
  setCentralWidget(view_);
  connect(view_, &ShowImage::PixelHovered, this, &MainWindow::OnPixelHovered);
  connect(view_, &ShowImage::HoverLeft, this, &MainWindow::OnHoverLeft);

  BuildMenus();
  BuildStatusBar();
  connect(jobs_, &BackgroundJobs::BusyChanged, this, [this](bool busy) {
    RefreshActions();
    // A close asked for during the job comes now that it has given up.
    if (!busy && closeWhenIdle_) {
      closeWhenIdle_ = false;
      QTimer::singleShot(0, this, &QWidget::close);
    }
  });
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &MainWindow::RefreshActions);
  RefreshActions();

  title_ = QString("%1 V%2").arg(DisplayName(), QString::fromStdString(VersionText()));
  setWindowTitle(title_);

  connect(this, &MainWindow::ErrorMessage, this, &MainWindow::OnErrorMsg, Qt::QueuedConnection);

  PlaceWindow();
  setAcceptDrops(true);
  setWindowIcon(QIcon(":/rastra/icon.png"));

  show();
  // The frame is known only once the window manager has put it round the
  // window, which takes a round trip or two.
  for (const int delayMs : {0, 300}) QTimer::singleShot(delayMs, this, &MainWindow::KeepFrameOnScreen);
  if (GetDocument().current) {
    ShowResult(GetDocument().current.get());
    view_->ZoomForNewPicture();
    // A picture the command line opened is asked about once the window shows.
    QTimer::singleShot(0, this, &MainWindow::OfferToTurnUpright);
  }
}

MainWindow::~MainWindow() {
  if (activeWindow != this) return;
  activeWindow = nullptr;
  SetDetailedMessageBoxHook(nullptr);
}

void MainWindow::BuildStatusBar() {
  imageStatus_ = new QLabel(this);
  imageStatus_->setContentsMargins(4, 0, 24, 0);  // apart from the pixel text beside it
  pixelStatus_ = new QLabel(this);
  statusBar()->addWidget(imageStatus_);
  statusBar()->addWidget(pixelStatus_, 1);
  jobs_ = new BackgroundJobs(statusBar(), this);
}

// The size and place of the last run, made visible on today's screens by
// restoreGeometry; the first time most of the screen's free area, centred,
// never more than the preferred size.
void MainWindow::PlaceWindow() {
  if (restoreGeometry(SettingsStore().value(kGeometryKey).toByteArray())) {
    // A place on a larger screen may leave the bottom (status bar, progress
    // and Cancel) below this one; restoreGeometry only keeps a part visible.
    if (!isMaximized() && !isFullScreen()) setGeometry(FitFrameInto(geometry(), AssumedFrame(), AvailableArea(this)));
    return;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    resize(kPreferredSize);
    return;
  }
  const QRect available = screen->availableGeometry();
  const QSize size = kPreferredSize.boundedTo(available.size() * kScreenPercent / 100);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
}

// Once the window manager has framed the window, its real frame is fitted.
void MainWindow::KeepFrameOnScreen() {
  if (isMaximized() || isFullScreen() || !isVisible()) return;
  const QRect frame = frameGeometry();
  const QRect content = geometry();
  const QMargins margins(content.left() - frame.left(), content.top() - frame.top(), frame.right() - content.right(),
                         frame.bottom() - content.bottom());
  const QRect fitted = FitFrameInto(content, margins, AvailableArea(this));
  if (fitted != content) setGeometry(fitted);
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

QAction* MainWindow::AddFileAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                                   const QList<QKeySequence>& shortcuts) {
  QAction* action = AddAction(menu, text, slot, shortcuts);
  fileActions_.push_back(action);
  return action;
}

void MainWindow::BuildMenus() {
  BuildFileMenu();
  BuildEditMenu();
  BuildViewMenu();
  BuildImageMenu();
  BuildHelpMenu();
}

// Every item of a menu has a key of its own: "&Save as..." keeps S, so Save
// takes V; "&Open..." keeps O, so Options takes T; of the three Create items
// Create alpha keeps C.
void MainWindow::BuildFileMenu() {
  fileMenu_ = menuBar()->addMenu(tr("&File"));
  openAction_ = AddFileAction(fileMenu_, tr("&Open..."), &MainWindow::OnOpen, StandardKeys(QKeySequence::Open, "Ctrl+O"));
  saveAction_ = AddFileAction(fileMenu_, tr("Sa&ve"), &MainWindow::OnSave, StandardKeys(QKeySequence::Save, "Ctrl+S"));
  saveAsAction_ = AddFileAction(fileMenu_, tr("&Save as..."), &MainWindow::OnSaveAs,
                                StandardKeys(QKeySequence::SaveAs, "Ctrl+Shift+S"));
  fileMenu_->addSeparator();
  for (QAction*& action : recentActions_) action = AddFileAction(fileMenu_, QString(), &MainWindow::OnMRU);
  clearRecentAction_ = AddFileAction(fileMenu_, tr("Clea&r recent files"), &MainWindow::OnClearRecentFiles);
  RefreshRecentFiles();
  // Files deleted since the list was read leave it before anyone picks them.
  connect(fileMenu_, &QMenu::aboutToShow, this, [this] {
    if (DropMissingRecentFiles()) RefreshRecentFiles();
  });
  fileMenu_->addSeparator();
  createAlphaAction_ = AddFileAction(fileMenu_, tr("&Create alpha..."), &MainWindow::OnCreateAlpha);
  loadAlphaAction_ = AddImageAction(fileMenu_, tr("&Load alpha mask..."), &MainWindow::OnLoadAlpha);
  fileMenu_->addSeparator();
  animSpriteAction_ =
      AddFileAction(fileMenu_, tr("Create a&nimated sprite from GIF"), &MainWindow::OnCreateAnimSprite);
  animCursorAction_ =
      AddFileAction(fileMenu_, tr("Create animated c&ursor from GIF"), &MainWindow::OnCreateAnimCursor);
  fileMenu_->addSeparator();
  savePaletteAction_ = AddImageAction(fileMenu_, tr("Save &palette"), &MainWindow::OnSavePalette);
  fileMenu_->addSeparator();
  optionsAction_ = AddFileAction(fileMenu_, tr("Op&tions"), &MainWindow::OnOptions);
  fileMenu_->addSeparator();
  exitAction_ = AddAction(fileMenu_, tr("&Exit"), &MainWindow::OnExit, StandardKeys(QKeySequence::Quit, "Ctrl+Q"));
}

void MainWindow::BuildEditMenu() {
  editMenu_ = menuBar()->addMenu(tr("&Edit"));
  undoAction_ = AddAction(editMenu_, tr("&Undo"), &MainWindow::OnUndo, StandardKeys(QKeySequence::Undo, "Ctrl+Z"));
  redoAction_ = AddAction(editMenu_, tr("&Redo"), &MainWindow::OnRedo, StandardKeys(QKeySequence::Redo, "Ctrl+Y"));
  editMenu_->addSeparator();
  copyAction_ = AddAction(editMenu_, tr("&Copy"), &MainWindow::OnCopy, StandardKeys(QKeySequence::Copy, "Ctrl+C"));
  pasteAction_ = AddAction(editMenu_, tr("&Paste"), &MainWindow::OnPaste, StandardKeys(QKeySequence::Paste, "Ctrl+V"));
}

void MainWindow::BuildViewMenu() {
  viewMenu_ = menuBar()->addMenu(tr("&View"));
  // Ctrl+= as well: on many keyboards "+" needs Shift, "=" does not.
  zoomInAction_ = AddAction(viewMenu_, tr("Zoom &in"), &MainWindow::OnZoomIn,
                            StandardKeys(QKeySequence::ZoomIn, "Ctrl++") << QKeySequence(tr("Ctrl+=")));
  zoomOutAction_ =
      AddAction(viewMenu_, tr("Zoom &out"), &MainWindow::OnZoomOut, StandardKeys(QKeySequence::ZoomOut, "Ctrl+-"));
  viewMenu_->addSeparator();
  zoomFitAction_ = AddAction(viewMenu_, tr("&Fit to window"), &MainWindow::OnZoomFit, {QKeySequence(tr("Ctrl+F"))});
  zoomActualAction_ = AddAction(viewMenu_, tr("&100 %"), &MainWindow::OnZoomActual, {QKeySequence(tr("Ctrl+0"))});
  BuildSavedViewItems();
}

// "&Shrink" keeps S, so Scale takes A; "&Rotate" keeps R, so Reduce colors
// takes U; "&Invert" keeps I, so Info takes O.
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
  const auto formatLabel = [](int i) { return WithAccessKey(MenuColumns(tr(ColorFormatMenuLabel(i))), kConvertKeys[i]); };

  imageMenu_ = menuBar()->addMenu(tr("&Image"));
  transAction_ = AddImageAction(imageMenu_, tr("&Transparency..."), &MainWindow::OnTrans);

  QMenu* convert = imageMenu_->addMenu(tr("&Convert to"));
  for (int i = 0; i < kRgbFormat; ++i) convertActions_[i] = AddImageAction(convert, formatLabel(i), kConvertSlots[i]);
  convert->addSeparator();
  convertActions_[14] = AddImageAction(convert, formatLabel(kRgbFormat), kConvertSlots[14]);
  convertActions_[15] = AddImageAction(convert, WithAccessKey(tr("Best palette"), kConvertKeys[15]), kConvertSlots[15]);
  convertActions_[16] =
      AddImageAction(convert, WithAccessKey(tr("Best palette + transparency"), kConvertKeys[16]), kConvertSlots[16]);
  convert->addSeparator();
  convertActions_[17] = AddImageAction(convert, WithAccessKey(tr("Custom palette..."), kConvertKeys[17]), kConvertSlots[17]);

  QMenu* dither = imageMenu_->addMenu(tr("&Dither to"));
  for (int i = 0; i < kDitherCount; ++i) ditherActions_[i] = AddImageAction(dither, formatLabel(i), kDitherSlots[i]);
  // Like the formats above, the choice waits for a picture.
  for (QAction* action : AddDitherMethodMenu(dither, [this](DitherMethod method) {
         ditherMethod_ = method;
         savedView_.method = method;
         if (savedView_.dithered) ShowResult(GetDocument().current.get());
       })) {
    imageActions_.push_back(action);
  }

  QMenu* flip = imageMenu_->addMenu(tr("&Flip"));
  flipHAction_ = AddImageAction(flip, tr("&Horizontally"), &MainWindow::OnFlipH);
  flipVAction_ = AddImageAction(flip, tr("&Vertical"), &MainWindow::OnFlipV);
  QMenu* rotate = imageMenu_->addMenu(tr("&Rotate"));
  rotateCWAction_ = AddImageAction(rotate, tr("90° &CW"), &MainWindow::OnRotateCW);
  rotateCCWAction_ = AddImageAction(rotate, tr("90° CC&W"), &MainWindow::OnRotateCCW);
  rotate180Action_ = AddImageAction(rotate, tr("&180°"), &MainWindow::OnRotate180);
  QMenu* invert = imageMenu_->addMenu(tr("&Invert"));
  invertIndicesAction_ = AddImageAction(invert, tr("&Indices"), &MainWindow::OnInvertIndices);
  invertColorAction_ = AddImageAction(invert, tr("&Colors"), &MainWindow::OnInvertColor);
  QMenu* shrink = imageMenu_->addMenu(tr("&Shrink"));
  shrinkAction_ = AddImageAction(shrink, tr("Shrink to &50%"), &MainWindow::OnShrink);
  QMenu* reduce = imageMenu_->addMenu(tr("Red&uce colors"));
  reduce4Action_ = AddImageAction(reduce, tr("Reduce to &4 colors"), &MainWindow::OnReduce4);
  reduce16Action_ = AddImageAction(reduce, tr("Reduce to &16 colors"), &MainWindow::OnReduce16);
  reduce256Action_ = AddImageAction(reduce, tr("Reduce to &256 colors"), &MainWindow::OnReduce256);
  imageMenu_->addSeparator();
  scaleAction_ = AddImageAction(imageMenu_, tr("Sc&ale..."), &MainWindow::OnScale);
  imageMenu_->addSeparator();
  infoAction_ = AddImageAction(imageMenu_, tr("Inf&o"), &MainWindow::OnInfo);
  sizeReportAction_ = AddImageAction(imageMenu_, tr("Si&ze report..."), &MainWindow::OnSizeReport);
}

void MainWindow::BuildHelpMenu() {
  helpMenu_ = menuBar()->addMenu(tr("&Help"));
  cmdOptAction_ = AddAction(helpMenu_, tr("&Command line options..."), &MainWindow::OnCMDOpt,
                            StandardKeys(QKeySequence::HelpContents, "F1"));
  aboutAction_ = AddAction(helpMenu_, tr("&About..."), &MainWindow::OnAbout);
}

void MainWindow::RefreshRecentFiles() {
  const RecentFileList& files = GetRecentFiles();
  bool any = false;
  for (int k = 0; k < kRecentFileCount; ++k) {
    const QString path = FromFileName(files[k]);
    // The text shows the path; the data keeps it exactly, "&" included.
    recentActions_[k]->setText(RecentEntryText(k, path));
    recentActions_[k]->setData(path);
    recentActions_[k]->setVisible(!path.isEmpty());
    any = any || !path.isEmpty();
  }
  clearRecentAction_->setVisible(any);
}

void MainWindow::RefreshActions() {
  const ImageDocument& doc = GetDocument();
  const bool idle = !jobs_->Busy();
  const bool picture = doc.current != nullptr;
  for (QAction* action : fileActions_) action->setEnabled(idle);
  for (QAction* action : imageActions_) action->setEnabled(idle && picture);
  // With nothing shown there is nothing to save.
  saveAction_->setEnabled(idle && picture);
  saveAsAction_->setEnabled(idle && picture);
  transAction_->setEnabled(idle && picture && (doc.current->HasTrans != 0 || doc.current->NumColors > 0));
  undoAction_->setEnabled(idle && CanUndo());
  redoAction_->setEnabled(idle && CanRedo(doc));
  // Copying reads the picture, which no job changes; zooming and the help
  // stay at hand while a job runs.
  copyAction_->setEnabled(picture);
  pasteAction_->setEnabled(idle && ClipboardHasImage());
  for (QAction* action : {zoomInAction_, zoomOutAction_, zoomFitAction_, zoomActualAction_}) {
    action->setEnabled(!view_->FullImage().isNull());
  }
}

// ---------------------------------------------------------------------------
// Showing

void MainWindow::ShowResult(const Bitmap* image, const QImage* rendered) {
  if (image == nullptr) return;
  if (RefreshSavedPicture()) {
    view_->SetImage(savedPicture_.get());
    imageStatus_->setText(StatusText::ImageSummary(*image) +
                          tr("; shown as saved in FORMAT %1").arg(savedView_.FormatFor(*image)));
  } else {
    view_->SetImage(image, rendered);
    imageStatus_->setText(StatusText::ImageSummary(*image));
  }
  pixelStatus_->clear();
  UpdateTitle();
  RefreshActions();
}

// A pasted or created picture has no file until it is saved; Undo back to a
// picture of a file names the file last saved (or opened).
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
  if (!doc.saveTarget.path.empty()) return FromFileName(doc.saveTarget.path);
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

std::vector<std::string> MainWindow::ShowJobOutcome(HeldSink& sink, const QString& file) {
  const QString outer = std::exchange(reportFile_, file);
  std::vector<std::string> replaced = sink.Replay();
  reportFile_ = outer;
  return replaced;
}

BitmapPtr MainWindow::CopyForJob() {
  sys::Context ctx = MakeJobContext();
  BitmapPtr copy = Bitmap_Clone(*GetDocument().current, ctx);
  CommandSession session = ProcessSession();
  session.ReportJob(ctx);  // with the cause: the allocator's failure in decimal
  return copy;
}

// ---------------------------------------------------------------------------
// Messages, closing, dropping

void MainWindow::ShowMessage(const QString& text) { prompts_->Message(this, kMessageTitle, text); }

void MainWindow::ShowReport(const QString& title, const QString& text, const QString& detail) {
  // The allocator's failure comes titled "Error"; everything else under the
  // program's name.
  const QString boxTitle = title == QLatin1String("Error") ? tr("Error") : title;
  prompts_->Error(this, boxTitle, text, WindowDetail(text, detail), reportFile_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The window stays live while a job runs; closing it gives the job up
  // first and comes back once the job has let go.
  if (jobs_->Busy()) {
    closeWhenIdle_ = true;
    jobs_->Cancel();
    event->ignore();
    return;
  }
  if (!MayReplacePicture()) {
    event->ignore();
    return;
  }
  SaveWindowPlace();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !jobs_->Busy()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || jobs_->Busy()) return;
  event->acceptProposedAction();
  OpenByName(urls.first().toLocalFile());
  // The window shows one picture at a time; the others are named, not lost
  // without a word.
  if (urls.size() < 2) return;
  QStringList others;
  for (qsizetype i = 1; i < urls.size(); ++i) others << QDir::toNativeSeparators(urls[i].toLocalFile());
  ShowMessage(tr("The window shows one picture at a time: %1 was opened, these were not:\n%2")
                  .arg(QDir::toNativeSeparators(urls.first().toLocalFile()), others.join("\n")));
}

// ---------------------------------------------------------------------------
// Options, view, help

void MainWindow::OnOptions() {
  const Settings before = GetSettings();
  Settings values = before;
  if (!prompts_->Options(this, tr("Options"), values)) return;
  ApplySettings(values, view_);
  OfferToReadAgain(before, values);
}

// The read settings act when a file is read: the picture on screen keeps the
// old one until its file is read again, which the user is offered.
void MainWindow::OfferToReadAgain(const Settings& before, const Settings& after) {
  const ImageDocument& doc = GetDocument();
  // Only while the picture is still that of the file it was read from (not
  // saved as another since).
  if (!doc.current || doc.state.origin != ImageOrigin::kFile || doc.sourcePath.empty() ||
      doc.saveTarget.path != doc.sourcePath || jobs_->Busy()) {
    return;
  }
  const QString path = FromFileName(doc.sourcePath);
  const QString suffix = QFileInfo(path).suffix().toLower();
  const bool png = suffix == "png";
  const bool jpeg = suffix == "jpg" || suffix == "jpeg";
  QString changed;
  if (png && before.PngGamma != after.PngGamma) {
    changed = after.PngGamma != 0 ? tr("with its gamma applied") : tr("without its gamma applied");
  } else if (jpeg && before.SmoothChroma != after.SmoothChroma) {
    changed = after.SmoothChroma != 0 ? tr("with its chroma smoothed") : tr("without its chroma smoothed");
  }
  if (changed.isEmpty()) return;
  if (prompts_->ReadAgain(this, QFileInfo(path).fileName(), changed)) OpenByName(path);
}

void MainWindow::OnExit() { close(); }

void MainWindow::OnZoomIn() { view_->ZoomIn(); }
void MainWindow::OnZoomOut() { view_->ZoomOut(); }
void MainWindow::OnZoomFit() { view_->ZoomToFit(); }
void MainWindow::OnZoomActual() { view_->ZoomToActualSize(); }

void MainWindow::OnPixelHovered(QPoint pixel) {
  const Bitmap* shown = ShownPicture();
  if (shown != nullptr) pixelStatus_->setText(StatusText::PixelSummary(*shown, pixel.x(), pixel.y()));
}

void MainWindow::OnHoverLeft() { pixelStatus_->clear(); }

void MainWindow::OnCMDOpt() { prompts_->CommandLineOptions(this); }
void MainWindow::OnAbout() { prompts_->About(this, DisplayName()); }
void MainWindow::OnErrorMsg(const QString& text) { prompts_->Error(this, kMessageTitle, text, QString(), QString()); }

}  // namespace rastra
