// The actions that change the picture: the Image menu, the alpha actions,
// and the Edit menu's undo, redo, copy and paste. The work runs as a
// background job on a copy; only a result makes a step that Undo takes back.
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QStatusBar>
#include <memory>
#include <utility>

#include "app/AlphaFiles.h"
#include "app/CommandTable.h"
#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Session.h"
#include "app/Settings.h"
#include "app/WindowJobs.h"
#include "gui/FileNames.h"
#include "gui/MainWindow.h"
#include "gui/QtImage.h"
#include "gui/ReportDetails.h"
#include "gui/ShowImage.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/ImageOps.h"
#include "readers/PaletteFile.h"

namespace rastra {

namespace {

constexpr int kIllegalSizeMessage = 25;
constexpr int kMaxScaledSize = 99999;

// A command-line edit (flip, rotation, inversion) on the job's picture.
BitmapPtr RunEdit(int commandId, BitmapPtr image, CommandSession& session) {
  session.doc.current = std::move(image);
  RunImageCommand(session, commandId);
  return std::move(session.doc.current);
}

}  // namespace

// ---------------------------------------------------------------------------
// The common road

bool MainWindow::RunImageOperation(const QString& title, Operation op, PictureChange change) {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return false;
  auto input = std::make_shared<BitmapPtr>(CopyForJob());
  if (!*input) return false;
  struct Changed {
    HeldSink sink;
    BitmapPtr image;
    QImage rendered;
  };
  const OutputOptions options = CurrentOutputOptions();
  const ReadOptions readOptions = CurrentReadOptions();  // for an alpha mask
  auto result = jobs_->Compute<Changed>(title, [input, options, readOptions, op](JobControl& control) {
    WindowJobSession job(options, readOptions);
    Changed out;
    out.image = op(std::move(*input), job.session);
    if (out.image && !control.Cancelled()) out.rendered = RenderForView(*out.image);
    out.sink = std::move(job.sink);
    return out;
  });
  if (!result) return false;
  ShowJobOutcome(result->sink, reportFile_);
  // An operation without a result has said why; the picture stays and no
  // step is left behind.
  if (!result->image) return false;
  if (change == PictureChange::kStep) {
    ReplacePicture(std::move(result->image));
  } else {
    doc.current = std::move(result->image);
  }
  ShowResult(doc.current.get(), &result->rendered);
  return true;
}

void MainWindow::ReplacePicture(BitmapPtr image) {
  ImageDocument& doc = GetDocument();
  PushUndoImage(std::move(doc.current));  // nothing to keep before the first picture
  doc.current = std::move(image);
  MarkChanged();
}

// ---------------------------------------------------------------------------
// Conversions

void MainWindow::Convert(int selector) {
  const QString title = tr("Converting to %1").arg(selector == 15 ? tr("the best palette")
                                                   : selector == 16 ? tr("the best palette with transparency")
                                                                    : QString::fromUtf8(GetColorFormat(selector).Name()));
  // Only alpha makes pixels transparent: without it the result is the best
  // palette alone, which the user would otherwise take for a fault.
  const bool noAlpha = selector == 16 && GetDocument().current && GetDocument().current->HasAlpha == 0;
  const bool changed = RunImageOperation(title, [selector](BitmapPtr image, CommandSession& session) -> BitmapPtr {
    const Bitmap* before = image.get();
    session.doc.current = std::move(image);
    RunConversion(session, selector);
    // The best palette conversions keep the picture when they fail (and
    // say why); no new picture means nothing changed.
    if (session.doc.current.get() == before) return nullptr;
    return std::move(session.doc.current);
  });
  if (changed && noAlpha) {
    statusBar()->showMessage(tr("The picture has no alpha channel, so no pixel is transparent: it got the best "
                                "palette, without a transparent entry."),
                             kSavedMessageMs);
  }
}

void MainWindow::Dither(int index) {
  RunImageOperation(tr("Dithering to %1").arg(QString::fromUtf8(GetColorFormat(index).Name())),
                    [index, method = ditherMethod_](BitmapPtr image, CommandSession& session) {
                      OutputOptions options = session.options;
                      options.dither = method;
                      return session.RunJob([&](sys::Context& ctx) {
                        return DitherToFormat(*image, GetColorFormat(index), options, ctx);
                      });
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

// The palette file is asked for first; a cancelled choice, or a palette that
// does not load, leaves no step.
void MainWindow::OnCvtCustPal() {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return;
  const QString name = prompts_->OpenFileName(this, tr("Open custom palette"), tr("GUI Palette file (*.GUIPal)"));
  if (name.isEmpty()) return;
  const std::string path = ToFileName(name);
  auto loaded = std::make_shared<PaletteRef>();
  const QString outer = std::exchange(reportFile_, FromFileName(path));
  const bool converted = RunImageOperation(tr("Converting to the palette of %1").arg(FromFileName(path)),
                    [path, loaded](BitmapPtr image, CommandSession& session) -> BitmapPtr {
                      sys::Context ctx = MakeJobContext();
                      const int failed = _LoadPalette(path, *loaded, ctx);
                      session.ReportJob(ctx);
                      if (failed != 0) return nullptr;
                      return session.RunJob([&](sys::Context& convertCtx) {
                        return ConvertToCustomPalette(*image, *loaded, session.options, convertCtx);
                      });
                    });
  reportFile_ = outer;
  if (converted) {
    doc.customPalettePath = path;
    doc.customPalette = *loaded;
  }
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

void MainWindow::Reduce(int colours) {
  RunImageOperation(tr("Reducing to %1 colors").arg(colours), [colours](BitmapPtr image, CommandSession& session) {
    return session.RunJob([&](sys::Context& ctx) { return ReduceColors(*image, colours, session.options, ctx); });
  });
}
void MainWindow::OnReduce4() { Reduce(4); }
void MainWindow::OnReduce16() { Reduce(16); }
void MainWindow::OnReduce256() { Reduce(256); }

// ---------------------------------------------------------------------------
// Edits

void MainWindow::RunEditOperation(const QString& title, int commandId) {
  RunImageOperation(title, [commandId](BitmapPtr image, CommandSession& session) {
    return RunEdit(commandId, std::move(image), session);
  });
}

void MainWindow::OnFlipH() { RunEditOperation(tr("Flipping"), kCmdFlipH); }
void MainWindow::OnFlipV() { RunEditOperation(tr("Flipping"), kCmdFlipV); }
void MainWindow::OnRotateCW() { RunEditOperation(tr("Rotating"), kCmdRotateCW); }
void MainWindow::OnRotateCCW() { RunEditOperation(tr("Rotating"), kCmdRotateCCW); }
void MainWindow::OnRotate180() { RunEditOperation(tr("Rotating"), kCmdRotate180); }
void MainWindow::OnInvertIndices() { RunEditOperation(tr("Inverting"), kCmdInvertIndices); }
void MainWindow::OnInvertColor() { RunEditOperation(tr("Inverting"), kCmdInvertPalette); }

void MainWindow::OnShrink() {
  RunImageOperation(tr("Shrinking"), [](BitmapPtr image, CommandSession& session) {
    return session.RunJob([&](sys::Context& ctx) { return ShrinkHalf(*image, ctx); });
  });
}

// Nothing is kept for a cancelled dialog, the same size, or a size refused.
void MainWindow::OnScale() {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return;
  ScaleValues values{doc.current->XSize, doc.current->YSize, doc.current->XSize, doc.current->YSize};
  if (!prompts_->Scale(this, values)) return;
  if (values.newWidth == values.imageWidth && values.newHeight == values.imageHeight) return;
  const int width = values.newWidth;
  const int height = values.newHeight;
  if (width <= 0 || height <= 0 || width > kMaxScaledSize || height > kMaxScaledSize) {
    ReportEntry entry = MessageEntry(kIllegalSizeMessage);  // "Illegal size."
    entry.detail = ReportDetails::SizeLimits(width, height).toStdString();
    rastra::ShowReport(entry);
    return;
  }
  RunImageOperation(tr("Scaling to %1 x %2").arg(width).arg(height),
                    [width, height](BitmapPtr image, CommandSession& session) {
                      return session.RunJob([&](sys::Context& ctx) { return ScaleBitmap(*image, width, height, ctx); });
                    });
}

void MainWindow::OnTrans() {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return;
  if (doc.current->BitsPerPixel > 8 || doc.current->BitsPerPixel == 0) {
    ShowMessage(tr("No palette. Transparency can not be created or modified."));
    return;
  }
  int selection = 0;
  if (!prompts_->Transparency(this, *doc.current, selection)) return;
  RunImageOperation(tr("Setting the transparent color"), [selection](BitmapPtr image, CommandSession&) {
    SetTransparency(*image, selection);
    return image;
  });
}

void MainWindow::OnInfo() {
  if (!GetDocument().current || jobs_->Busy()) return;
  const std::shared_ptr<Bitmap> image = CopyForJob();  // the count is kept in the copy, then in the picture
  if (!image) return;
  struct Counted {
    HeldSink sink;
    int used = 0;
  };
  const OutputOptions options = CurrentOutputOptions();
  auto counted = jobs_->Compute<Counted>(tr("Counting colors"), [image, options](JobControl&) {
    WindowJobSession job(options);
    Counted out;
    sys::Context ctx = MakeJobContext();
    out.used = Bitmap_GetNumUsedColors(*image, ctx);
    job.session.ReportJob(ctx);
    out.sink = std::move(job.sink);
    return out;
  });
  if (!counted) return;
  ShowJobOutcome(counted->sink, QString());
  if (counted->used > 0) GetDocument().current->NumUsedColors = counted->used;
  prompts_->Info(this, counted->used);
}

// ---------------------------------------------------------------------------
// Alpha

// Both alpha actions are steps that Undo takes back, as every other change
// of the picture is.
void MainWindow::OnCreateAlpha() {
  if (jobs_->Busy()) return;
  // The names typed last time come back, so a mistyped one is corrected,
  // not typed again.
  AlphaChoice& choice = alphaNames_[AlphaDlg::kCreateAlpha];
  if (!prompts_->Alpha(this, AlphaDlg::kCreateAlpha, choice)) return;
  if (!choice.firstChosen || !choice.secondChosen) return;
  struct Created {
    HeldSink sink;
    BitmapPtr image;
    QImage rendered;
  };
  const OutputOptions options = CurrentOutputOptions();
  const ReadOptions readOptions = CurrentReadOptions();
  auto created = jobs_->Compute<Created>(tr("Creating alpha"), [choice, options, readOptions](JobControl&) {
    WindowJobSession job(options, readOptions);
    Created out;
    out.image = CreateAlphaFromFiles(job.session, choice.firstName, choice.secondName);
    if (out.image) out.rendered = RenderForView(*out.image);
    out.sink = std::move(job.sink);
    return out;
  });
  if (!created) return;
  ShowJobOutcome(created->sink, FromFileName(choice.firstName) + ", " + FromFileName(choice.secondName));
  if (!created->image) return;
  ReplacePicture(std::move(created->image));
  ImageDocument& doc = GetDocument();
  doc.state.origin = ImageOrigin::kAlpha;
  ShowResult(doc.current.get(), &created->rendered);
  view_->ZoomForNewPicture();
}

void MainWindow::OnLoadAlpha() {
  if (!GetDocument().current || jobs_->Busy()) return;
  AlphaChoice& choice = alphaNames_[AlphaDlg::kLoadAlphaMask];
  if (!prompts_->Alpha(this, AlphaDlg::kLoadAlphaMask, choice)) return;
  if (!choice.firstChosen) return;
  const std::string mask = choice.firstName;
  const QString outer = std::exchange(reportFile_, FromFileName(mask));
  RunImageOperation(tr("Loading the alpha mask"), [mask](BitmapPtr image, CommandSession& session) {
    return LoadAlphaMaskFile(session, *image, mask);
  });
  reportFile_ = outer;
}

// ---------------------------------------------------------------------------
// Edit menu

void MainWindow::OnUndo() {
  if (jobs_->Busy()) return;
  UndoStep(GetDocument());
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnRedo() {
  if (jobs_->Busy()) return;
  RedoStep(GetDocument());
  ShowResult(GetDocument().current.get());
}

void MainWindow::OnCopy() {
  const ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  QGuiApplication::clipboard()->setImage(BitmapToQImage(*doc.current));
  QCoreApplication::processEvents();
}

void MainWindow::OnPaste() {
  if (jobs_->Busy()) return;
  const QImage image = QGuiApplication::clipboard()->image();
  if (image.isNull()) return;
  sys::Context ctx = MakeJobContext();
  BitmapPtr bitmap = QImageToBitmap(image, ctx);
  CommandSession session = ProcessSession();
  session.ReportJob(ctx);
  if (!bitmap) return;
  // A step like any other: Undo brings back what was shown before, and the
  // title says the picture came from the clipboard.
  ReplacePicture(std::move(bitmap));
  ImageDocument& doc = GetDocument();
  doc.state.origin = ImageOrigin::kClipboard;
  ShowResult(doc.current.get());
  view_->ZoomForNewPicture();
}

}  // namespace rastra
