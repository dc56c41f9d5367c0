#include "gui/MainWindow.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <utility>
#include <vector>

#include "app/AlphaFiles.h"
#include "app/Animation.h"
#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "gui/FileNames.h"
#include "gui/GuiSettings.h"
#include "gui/QtImage.h"
#include "gui/ShowImage.h"
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

namespace {

constexpr std::size_t kMaxPathLength = 255;
constexpr std::size_t kMaxPalettePathLength = 499;
constexpr int kCustomPaletteSelector = 17;
constexpr const char* kMessageTitle = "Rastra";

// The window that parents message boxes and answers the custom palette
// question; there is one main window per process.
MainWindow* activeWindow = nullptr;
UserPrompts* activePrompts = nullptr;

void ShowReportBox(const std::string& title, const std::string& text) {
  if (activePrompts != nullptr) activePrompts->Message(activeWindow, QString::fromStdString(title), QString::fromStdString(text));
}

std::string AskCustomPaletteFile() {
  if (activePrompts == nullptr) return {};
  const QString name = activePrompts->OpenFileName(activeWindow, QObject::tr("Open custom palette"),
                                                   QObject::tr("GUI Palette file (*.GUIPal)"));
  return ToFileName(name, kMaxPalettePathLength);
}


struct SaveFilter {
  const char* filter;
  int type;
};

constexpr SaveFilter kSaveFilters[] = {
    {"C files (*.c)", kOutputCBitmap}, {"DTA files (*.dta)", kOutputCStream}, {"BMP files (*.bmp)", kOutputBmp},
    {"PNG files (*.png)", kOutputPng}, {"GIF files (*.gif)", kOutputGif},
};

int TypeFromFilter(const QString& filter) {
  for (const SaveFilter& f : kSaveFilters)
    if (filter == QObject::tr(f.filter)) return f.type;
  return 0;
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

  BuildMenus();
  for (QAction* action : imageActions_) action->setEnabled(false);
  copyAction_->setEnabled(true);

  title_ = QString("%1 V%2").arg(DisplayName(), QString::fromStdString(VersionText()));
  setWindowTitle(title_);

  connect(this, &MainWindow::ErrorMessage, this, &MainWindow::OnErrorMsg, Qt::QueuedConnection);

  resize(1500, 800);
  move(50, 50);
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
}

// ---------------------------------------------------------------------------
// Menus

QAction* MainWindow::AddAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(), const QString& shortcut) {
  QAction* action = menu->addAction(text);
  if (!shortcut.isEmpty()) action->setShortcut(QKeySequence(shortcut));
  connect(action, &QAction::triggered, this, slot);
  return action;
}

QAction* MainWindow::AddImageAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                                    const QString& shortcut) {
  QAction* action = AddAction(menu, text, slot, shortcut);
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
  fileMenu_ = menuBar()->addMenu("&File");
  openAction_ = AddAction(fileMenu_, "&Open...", &MainWindow::OnOpen, "Ctrl+O");
  saveAsAction_ = AddAction(fileMenu_, "&Save as...", &MainWindow::OnSaveAs);
  fileMenu_->addSeparator();
  for (QAction*& action : recentActions_) action = AddAction(fileMenu_, QString(), &MainWindow::OnMRU);
  RefreshRecentFiles();
  fileMenu_->addSeparator();
  createAlphaAction_ = AddAction(fileMenu_, "&Create alpha...", &MainWindow::OnCreateAlpha);
  loadAlphaAction_ = AddImageAction(fileMenu_, "&Load alpha mask...", &MainWindow::OnLoadAlpha);
  fileMenu_->addSeparator();
  animSpriteAction_ = AddAction(fileMenu_, "&Create animated sprite from GIF", &MainWindow::OnCreateAnimSprite);
  animCursorAction_ = AddAction(fileMenu_, "&Create animated cursor from GIF", &MainWindow::OnCreateAnimCursor);
  fileMenu_->addSeparator();
  savePaletteAction_ = AddImageAction(fileMenu_, "Save &palette", &MainWindow::OnSavePalette);
  fileMenu_->addSeparator();
  optionsAction_ = AddAction(fileMenu_, "&Options", &MainWindow::OnOptions);
  fileMenu_->addSeparator();
  exitAction_ = AddAction(fileMenu_, "&Exit", &MainWindow::OnExit);
}

void MainWindow::BuildEditMenu() {
  editMenu_ = menuBar()->addMenu("&Edit");
  undoAction_ = AddImageAction(editMenu_, "&Undo", &MainWindow::OnUndo, "Ctrl+Z");
  copyAction_ = AddImageAction(editMenu_, "&Copy", &MainWindow::OnCopy, "Ctrl+C");
  pasteAction_ = AddImageAction(editMenu_, "&Paste", &MainWindow::OnPaste, "Ctrl+V");
}

void MainWindow::BuildViewMenu() {
  viewMenu_ = menuBar()->addMenu("&View");
  zoomInAction_ = AddImageAction(viewMenu_, "Zoom in", &MainWindow::OnZoomIn, "Ctrl++");
  zoomOutAction_ = AddImageAction(viewMenu_, "Zoom out", &MainWindow::OnZoomOut, "Ctrl+-");
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

  imageMenu_ = menuBar()->addMenu("&Image");
  transAction_ = AddImageAction(imageMenu_, "&Transparency...", &MainWindow::OnTrans);

  QMenu* convert = imageMenu_->addMenu("&Convert to");
  for (int i = 0; i < kRgbFormat; ++i) convertActions_[i] = AddImageAction(convert, ColorFormatMenuLabel(i), kConvertSlots[i]);
  convert->addSeparator();
  convertActions_[14] = AddImageAction(convert, ColorFormatMenuLabel(kRgbFormat), kConvertSlots[14]);
  convertActions_[15] = AddImageAction(convert, "Best palette", kConvertSlots[15]);
  convertActions_[16] = AddImageAction(convert, "Best palette + transparency", kConvertSlots[16]);
  convert->addSeparator();
  convertActions_[17] = AddImageAction(convert, "Custom palette...", kConvertSlots[17]);

  QMenu* dither = imageMenu_->addMenu("&Dither to");
  for (int i = 0; i < kDitherCount; ++i) ditherActions_[i] = AddImageAction(dither, ColorFormatMenuLabel(i), kDitherSlots[i]);

  QMenu* flip = imageMenu_->addMenu("&Flip");
  flipHAction_ = AddImageAction(flip, "Horizontally", &MainWindow::OnFlipH);
  flipVAction_ = AddImageAction(flip, "Vertical", &MainWindow::OnFlipV);
  QMenu* rotate = imageMenu_->addMenu("&Rotate");
  rotateCWAction_ = AddImageAction(rotate, "90° CW", &MainWindow::OnRotateCW);
  rotateCCWAction_ = AddImageAction(rotate, "90° CCW", &MainWindow::OnRotateCCW);
  rotate180Action_ = AddImageAction(rotate, "180°", &MainWindow::OnRotate180);
  QMenu* invert = imageMenu_->addMenu("&Invert");
  invertIndicesAction_ = AddImageAction(invert, "Indices", &MainWindow::OnInvertIndices);
  invertColorAction_ = AddImageAction(invert, "Colors", &MainWindow::OnInvertColor);
  QMenu* shrink = imageMenu_->addMenu("&Shrink");
  shrinkAction_ = AddImageAction(shrink, "Shrink to 50%", &MainWindow::OnShrink);
  QMenu* reduce = imageMenu_->addMenu("&Reduce colors");
  reduce4Action_ = AddImageAction(reduce, "Reduce to 4 colors", &MainWindow::OnReduce4);
  reduce16Action_ = AddImageAction(reduce, "Reduce to 16 colors", &MainWindow::OnReduce16);
  reduce256Action_ = AddImageAction(reduce, "Reduce to 256 colors", &MainWindow::OnReduce256);
  imageMenu_->addSeparator();
  scaleAction_ = AddImageAction(imageMenu_, "&Scale...", &MainWindow::OnScale);
  imageMenu_->addSeparator();
  infoAction_ = AddImageAction(imageMenu_, "&Info", &MainWindow::OnInfo);
  sizeReportAction_ = AddImageAction(imageMenu_, "Si&ze report...", &MainWindow::OnSizeReport);
}

void MainWindow::BuildHelpMenu() {
  helpMenu_ = menuBar()->addMenu("&Help");
  cmdOptAction_ = AddAction(helpMenu_, "Command line options...", &MainWindow::OnCMDOpt);
  aboutAction_ = AddAction(helpMenu_, "About...", &MainWindow::OnAbout);
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
  setWindowTitle(title_ + " - " + FromFileName(GetDocument().sourcePath));
}

void MainWindow::OpenByName(const QString& path) {
  if (path.isEmpty()) return;
  ImageDocument& doc = GetDocument();
  doc.sourcePath = ToFileName(QDir::toNativeSeparators(path), kMaxPathLength);
  OpenImageFile(doc.sourcePath);
  ShowResult(doc.current.get());
  AddRecentFile(doc.sourcePath);
  RefreshRecentFiles();
}

void MainWindow::ShowMessage(const QString& text) { prompts_->Message(this, kMessageTitle, text); }

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
  if (!doc.current) return;  // a failed open left nothing to work on
  const Bitmap* newestBefore = doc.undo[0].get();
  PushUndo();
  const bool saved = doc.undo[0] && doc.undo[0].get() != newestBefore;
  sys::Context ctx = MakeJobContext();
  doc.current = op(std::move(doc.current), ctx);
  ReportJob(ctx);
  // The operation has reported why; the picture it started from comes back
  // instead of an empty document behind a picture on screen.
  if (!doc.current && saved) PopUndo();
  ShowResult(doc.current.get());
}

void MainWindow::Convert(int selector) {
  RunImageOperation([selector](BitmapPtr image, sys::Context&) {
    ImageDocument& doc = GetDocument();
    doc.current = std::move(image);
    RunConversion(selector);
    return std::move(doc.current);
  });
}

void MainWindow::Dither(int index) {
  RunImageOperation([index](BitmapPtr image, sys::Context& ctx) {
    return DitherToFormat(std::move(image), GetColorFormat(index), CurrentOutputOptions(), ctx);
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
void MainWindow::OnCvtCustPal() { Convert(kCustomPaletteSelector); }

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
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return RotateCW(std::move(image), ctx); });
}
void MainWindow::OnRotateCCW() {
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return RotateCCW(std::move(image), ctx); });
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
  RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return ShrinkHalf(std::move(image), ctx); });
}
void MainWindow::Reduce(int colours) {
  RunImageOperation([colours](BitmapPtr image, sys::Context& ctx) {
    return ReduceColors(std::move(image), colours, CurrentOutputOptions(), ctx);
  });
}
void MainWindow::OnReduce4() { Reduce(4); }
void MainWindow::OnReduce16() { Reduce(16); }
void MainWindow::OnReduce256() { Reduce(256); }

void MainWindow::OnScale() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  PushUndo();  // also when the dialog is then cancelled
  ScaleValues values{doc.current->XSize, doc.current->YSize, doc.current->XSize, doc.current->YSize};
  if (!prompts_->Scale(this, values)) return;
  if (values.newWidth == values.imageWidth && values.newHeight == values.imageHeight) return;
  if (values.newWidth <= 0 || values.newHeight <= 0) {
    ReportMessage(25);  // "Illegal size."
    return;
  }
  sys::Context ctx = MakeJobContext();
  BitmapPtr scaled = ScaleBitmap(std::move(doc.current), values.newWidth, values.newHeight, ctx);
  ReportJob(ctx);
  if (scaled) {
    doc.current = std::move(scaled);
  } else {
    PopUndo();  // the image before scaling comes back
  }
  ShowResult(doc.current.get());
}

void MainWindow::OnTrans() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  if (doc.current->BitsPerPixel > 8 || doc.current->BitsPerPixel == 0) {
    ShowMessage("No palette. Transparency can not be created or modified.");
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
  sys::Context ctx = MakeJobContext();
  const int used = Bitmap_GetNumUsedColors(*doc.current, ctx);
  ReportJob(ctx);
  prompts_->Info(this, used);
}

// ---------------------------------------------------------------------------
// Alpha

void MainWindow::OnCreateAlpha() {
  AlphaChoice choice;
  if (!prompts_->Alpha(this, AlphaDlg::kCreateAlpha, choice)) return;
  if (!choice.firstChosen || !choice.secondChosen) return;
  BitmapPtr result = CreateAlphaFromFiles(choice.firstName, choice.secondName);
  if (!result) return;
  GetDocument().current = std::move(result);
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnLoadAlpha() {
  ImageDocument& doc = GetDocument();
  AlphaChoice choice;
  if (!prompts_->Alpha(this, AlphaDlg::kLoadAlphaMask, choice)) return;
  if (!choice.firstChosen || !doc.current) return;
  BitmapPtr result = LoadAlphaMaskFile(*doc.current, choice.firstName);
  if (!result) return;
  doc.current = std::move(result);
  ShowResult(doc.current.get());
}

// ---------------------------------------------------------------------------
// Saving

bool MainWindow::SaveCurrentImage(const QString& name, int type, const SpecResult& spec) {
  ImageDocument& doc = GetDocument();
  const std::string path = ToFileName(QDir::toNativeSeparators(name), kMaxPathLength);
  const OutputSpec outputSpec{spec.format, spec.noPalette};
  BitmapPtr replacement;
  const bool written = SaveImageFile(doc.current.get(), path, type, outputSpec, &replacement);
  if (replacement) {
    ApplyReplacement(doc, std::move(replacement));
    ShowResult(doc.current.get());
  }
  return written;
}

void MainWindow::OnSaveAs() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  QString filter;
  for (const SaveFilter& f : kSaveFilters) filter += (filter.isEmpty() ? "" : ";;") + tr(f.filter);
  QString selectedFilter;
  const QString name =
      prompts_->SaveFileName(this, tr("Save file as"), SuggestedName(doc.sourcePath, ".c"), filter, selectedFilter);
  if (name.isEmpty()) return;
  const int type = TypeFromFilter(selectedFilter);
  if (type == 0) return;
  SpecResult spec;
  spec.type = type;
  if ((type == kOutputCBitmap || type == kOutputCStream) && !prompts_->FormatSpec(this, *doc.current, spec)) return;
  if (type != kOutputCBitmap && type != kOutputCStream) spec = SpecResult{0, 0, type};
  if (doc.current->NumColors > 0 && FormatNeedsTrueColor(spec.format)) {
    RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return Bitmap_ToTrueColor(std::move(image), ctx); });
    if (!doc.current || doc.current->NumColors > 0) return;
  }
  SaveCurrentImage(name, type, spec);
}

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
    RunImageOperation([](BitmapPtr image, sys::Context& ctx) { return Bitmap_ToTrueColor(std::move(image), ctx); });
  } else if (step.conversion == SaveConversion::kColorFormat) {
    Convert(step.colorFormat);
  }
  if (!doc.current || SaveStepFor(format, *doc.current).conversion != SaveConversion::kNone) return;
  SaveCurrentImage(name, type, SpecResult{format, 0, type});
}

void MainWindow::OnSavePalette() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, tr("Save palette file"), SuggestedName(doc.sourcePath, "_Palette.GUIPal"),
                                              tr("Lumar palette file (*.GUIPal)"), selectedFilter);
  if (name.isEmpty()) return;
  const std::string path = ToFileName(name, kMaxPathLength);
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) {
    ReportText("Could not create file " + path);
    return;
  }
  // A palette that could not be written leaves an existing file untouched,
  // and the user hears of it whichever write fell short.
  if (SavePaletteFile(*doc.current, output->Output()) != sys::Code::kOk || !output->Commit()) {
    ReportText("Could not write file " + path);
  }
}

void MainWindow::CreateAnimation(int type) {
  const QString gifName = prompts_->OpenFileName(this, tr("Select GIF to convert"), tr("GIF (*.gif)"));
  if (gifName.isEmpty()) return;
  const std::string gifPath = gifName.toLocal8Bit().toStdString();
  if (!CheckGifForAnimation(gifPath)) return;
  const QFileInfo source(gifName);
  const QString caption = type == kOutputAnimSprite ? tr("Saving animated sprite.") : tr("Saving animated cursor.");
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, caption, source.absolutePath() + "/" + source.baseName() + ".c",
                                              tr("C files (*.c)"), selectedFilter);
  if (name.isEmpty()) return;
  CreateAnimationFile(gifPath, ToFileName(name, kMaxPathLength), type);
}

void MainWindow::OnCreateAnimSprite() { CreateAnimation(kOutputAnimSprite); }
void MainWindow::OnCreateAnimCursor() { CreateAnimation(kOutputAnimCursor); }

void MainWindow::OnSaveNormalMap() {}

// ---------------------------------------------------------------------------
// Options, edit, view, help

void MainWindow::OnOptions() {
  Settings values = GetSettings();
  if (prompts_->Options(this, "Options", values)) ApplySettings(values, view_);
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
  GetDocument().current = std::move(bitmap);
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnZoomIn() { view_->ZoomIn(); }
void MainWindow::OnZoomOut() { view_->ZoomOut(); }
void MainWindow::OnCMDOpt() { prompts_->CommandLineOptions(this); }
void MainWindow::OnAbout() { prompts_->About(this, DisplayName()); }
void MainWindow::OnErrorMsg(const QString& text) { ShowMessage(text); }
