// The File menu's opening and saving, and the size report's saves. Reading
// and writing run as background jobs; a save writes a copy of the picture,
// so the picture in the window never changes by being saved.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStatusBar>
#include <filesystem>
#include <memory>
#include <utility>

#include "app/Animation.h"
#include "app/DocumentActions.h"
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
#include "image/ImageOps.h"
#include "writers/FormatRules.h"
#include "writers/PaletteWriter.h"
#include "writers/SizeReport.h"

namespace rastra {

namespace {

struct SaveFilter {
  const char* filter;
  int type;
  const char* extension;
};

constexpr SaveFilter kSaveFilters[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "C files (*.c)"), kOutputCBitmap, "c"},
    {QT_TRANSLATE_NOOP("MainWindow", "DTA files (*.dta)"), kOutputCStream, "dta"},
    {QT_TRANSLATE_NOOP("MainWindow", "BMP files (*.bmp)"), kOutputBmp, "bmp"},
    {QT_TRANSLATE_NOOP("MainWindow", "PNG files (*.png)"), kOutputPng, "png"},
    {QT_TRANSLATE_NOOP("MainWindow", "GIF files (*.gif)"), kOutputGif, "gif"},
};

QString FilterText(const SaveFilter& f) { return QCoreApplication::translate("MainWindow", f.filter); }

int TypeFromFilter(const QString& filter) {
  for (const SaveFilter& f : kSaveFilters)
    if (filter == FilterText(f)) return f.type;
  return 0;
}

// The type a name's extension stands for, when it is one of the save types'
// and one of the offered ones: C text in a file called o1.png would be read
// as a broken picture. 0 leaves the choice to the dialog's filter.
int TypeFromExtension(const QString& name, const QString& offered) {
  const QString extension = QFileInfo(name).suffix().toLower();
  for (const SaveFilter& f : kSaveFilters)
    if (extension == QLatin1String(f.extension) && offered.contains(FilterText(f))) return f.type;
  return 0;
}

// The type the user chose: the typed extension first, then the filter.
int ChosenType(const QString& name, const QString& offered, const QString& selectedFilter) {
  const int typed = TypeFromExtension(name, offered);
  return typed != 0 ? typed : TypeFromFilter(selectedFilter);
}

// The files the window can open again, and so lists among the recent ones.
bool IsPictureType(int type) { return type == kOutputBmp || type == kOutputGif || type == kOutputPng; }

QString BaseName(const std::string& path) { return QFileInfo(FromFileName(path)).fileName(); }

// One file, however its path is written ("./a.jpg", "dir/../a.jpg", a link).
std::string SameFileKey(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : canonical.string();
}

// What the status bar says about a written file: "Saved logo.c: High color
// (565), 9,216 bytes".
QString SavedText(const std::string& path, int type, int format, std::uint64_t bytes) {
  QString kind;
  switch (type) {
    case kOutputBmp: kind = MainWindow::tr("BMP"); break;
    case kOutputGif: kind = MainWindow::tr("GIF"); break;
    case kOutputPng: kind = MainWindow::tr("PNG"); break;
    case kOutputAnimSprite: kind = MainWindow::tr("animated sprite"); break;
    case kOutputAnimCursor: kind = MainWindow::tr("animated cursor"); break;
    default: kind = FormatChoiceText(format); break;
  }
  return MainWindow::tr("Saved %1: %2, %3").arg(BaseName(path), kind, ReportDetails::Bytes(bytes));
}

std::uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

QString MainWindow::SuggestedName(const QString& suffix) const {
  const ImageDocument& doc = GetDocument();
  const std::string& from = doc.saveTarget.path.empty() ? doc.sourcePath : doc.saveTarget.path;
  const QFileInfo source(FromFileName(from));
  return source.absolutePath() + "/" + source.baseName() + suffix;
}

// ---------------------------------------------------------------------------
// Opening

void MainWindow::OnOpen() {
  OpenByName(prompts_->OpenFileName(this, tr("Add image"), tr("Images (*.png *.bmp *.sbmp *.jpg *.jpeg *.gif)")));
}

void MainWindow::OnMRU() {
  const auto* action = qobject_cast<QAction*>(sender());
  if (action != nullptr) OpenByName(action->data().toString());
}

void MainWindow::OnClearRecentFiles() {
  ClearRecentFiles();
  RefreshRecentFiles();
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
  if (path.isEmpty() || jobs_->Busy()) return;
  if (!MayReplacePicture()) return;
  const std::string file = ToFileName(QDir::toNativeSeparators(path));
  struct Opened {
    HeldSink sink;
    OpenedImage opened;
    QImage rendered;
    std::string content;  // what the file is, when it could not be read
  };
  const OutputOptions options = CurrentOutputOptions();
  // A file the user chose to see upright is turned as it is read.
  ReadOptions readOptions = CurrentReadOptions();
  const auto answer = turnAnswers_.find(SameFileKey(file));
  readOptions.applyOrientation = answer != turnAnswers_.end() && answer->second;
  auto result = jobs_->Compute<Opened>(tr("Opening %1").arg(BaseName(file)), [file, options, readOptions](JobControl&) {
    WindowJobSession job(options, readOptions);
    Opened out;
    out.opened = ReadImageFile(job.session, file);
    if (out.opened.image) {
      out.rendered = RenderForView(*out.opened.image);
    } else if (std::filesystem::exists(file)) {
      out.content = DescribeFileContent(file);
    }
    out.sink = std::move(job.sink);
    return out;
  });
  if (!result) return;
  // One box for one broken file: libpng's words go into the reader's report.
  result->sink.FoldInto("libpng error: ");
  if (ReportEntry* failure = result->sink.LastReport(); failure != nullptr && !result->content.empty()) {
    // What the file really is says more than the reader's words for it.
    failure->detail =
        ReportDetails::UnreadableFile(result->content, QString::fromStdString(failure->detail)).toStdString();
  }
  // A file that does not open has been reported; what is on screen stays
  // the document, and the list keeps only files that opened.
  ShowJobOutcome(result->sink, FromFileName(file));
  if (!result->opened.image) return;
  const Bitmap* shown = AdoptOpenedImage(GetDocument(), std::move(result->opened), file);
  ShowResult(shown, &result->rendered);
  view_->ZoomForNewPicture();
  AddRecentFile(GetDocument().sourcePath);
  RefreshRecentFiles();
  OfferToTurnUpright();
}

void MainWindow::OfferToTurnUpright() {
  ImageDocument& doc = GetDocument();
  const int orientation = doc.sourceOrientation;
  if (!doc.current || orientation == 1 || jobs_->Busy()) return;
  doc.sourceOrientation = 1;  // one question for one opening
  const std::string key = SameFileKey(doc.sourcePath);
  const auto known = turnAnswers_.find(key);
  const QString name = BaseName(doc.sourcePath);
  const bool turn = known != turnAnswers_.end() ? known->second : prompts_->TurnUpright(this, name, orientation);
  turnAnswers_[key] = turn;
  if (!turn) return;
  const Operation upright = [orientation](BitmapPtr image, CommandSession& session) {
    sys::Context ctx = MakeJobContext();
    BitmapPtr turned = OrientBitmap(*image, orientation, ctx);
    session.ReportJob(ctx);
    return turned;
  };
  if (RunImageOperation(tr("Turning %1 upright").arg(name), upright, PictureChange::kPartOfOpening)) {
    view_->ZoomForNewPicture();
  }
}

// ---------------------------------------------------------------------------
// Saving

bool MainWindow::SaveCurrentImage(const QString& name, int type, const SpecResult& spec) {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return false;
  const std::string path = ToFileName(QDir::toNativeSeparators(name));
  const std::shared_ptr<const Bitmap> image = CopyForJob();
  if (!image) return false;
  const CopySaveRequest request{path, type, OutputSpec{spec.format, spec.noPalette},
                                      savedView_.OptionsFrom(CurrentOutputOptions())};
  struct Saved {
    HeldSink sink;
    CopySaveResult result;
  };
  auto saved = jobs_->Compute<Saved>(tr("Saving %1").arg(BaseName(path)), [image, request](JobControl& control) {
    WindowJobSession job(request.options);
    Saved out;
    out.result = SaveCopy(job.session, *image, request, control.CancelFlag());
    out.sink = std::move(job.sink);
    return out;
  });
  if (!saved) {
    statusBar()->showMessage(tr("Saving %1 was cancelled; no file was changed.").arg(BaseName(path)),
                             kSavedMessageMs);
    return false;
  }
  const std::vector<std::string> replaced = ShowJobOutcome(saved->sink, FromFileName(path));
  if (!saved->result.written || replaced.empty()) return false;
  // The file holds what is shown (converted as its FORMAT needs); the
  // picture and its history stay as they are.
  MarkSaved();
  doc.state.origin = ImageOrigin::kFile;  // a pasted picture is now the file's
  doc.saveTarget = SaveTarget{path, type, TypeTakesFormat(type) ? spec.format : 0, TypeTakesFormat(type) ? spec.noPalette : 0};
  if (IsPictureType(type)) {
    AddRecentFile(path);
    RefreshRecentFiles();
  }
  UpdateTitle();
  // The "as saved" view follows the FORMAT the file was just written in.
  if (TypeTakesFormat(type)) ChooseSavedViewFormat(spec.format);
  statusBar()->showMessage(SavedText(path, type, spec.format, saved->result.bytes), kSavedMessageMs);
  return true;
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
  if (!doc.current || jobs_->Busy()) return false;
  QString filter;
  for (const SaveFilter& f : kSaveFilters) filter += (filter.isEmpty() ? "" : ";;") + FilterText(f);
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, tr("Save file as"), SuggestedName(".c"), filter, selectedFilter);
  if (name.isEmpty()) return false;
  const int type = ChosenType(name, filter, selectedFilter);
  if (type == 0) return false;
  SpecResult spec{0, 0, type};
  if (TypeTakesFormat(type) && !prompts_->FormatSpec(this, *doc.current, spec)) return false;
  if (type == kOutputGif && !ConfirmFirstFrameOnly()) return false;
  return SaveCurrentImage(name, type, spec);
}

void MainWindow::OnSaveAs() { SaveAsInteractive(); }

// The file and type the picture came from or was last saved as. Where that
// cannot be written again as it was (a JPEG, a FORMAT whose palette the
// picture has outgrown), the user chooses with Save as.
void MainWindow::OnSave() {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return;
  const SaveTarget target = doc.saveTarget;
  // The target stays through a paste, for Undo back to the file's picture;
  // the pasted picture itself has no file yet.
  const bool ownsFile = doc.state.origin == ImageOrigin::kFile;
  const bool fits = !TypeTakesFormat(target.type) ||
                    SaveStepFor(target.format, *doc.current).conversion != SaveConversion::kColorFormat;
  if (!ownsFile || target.path.empty() || target.type == 0 || !fits) {
    SaveAsInteractive();
    return;
  }
  if (target.type == kOutputGif && !ConfirmFirstFrameOnly()) return;
  SaveCurrentImage(FromFileName(target.path), target.type, SpecResult{target.format, target.noPalette, target.type});
}

void MainWindow::OnSizeReport() {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return;
  const std::shared_ptr<const Bitmap> image = CopyForJob();
  if (!image) return;
  struct Report {
    HeldSink sink;
    std::vector<FormatSize> rows;
    std::string heading;
    bool ok = false;
  };
  const OutputOptions options = CurrentOutputOptions();
  auto report = jobs_->Compute<Report>(tr("Counting the bytes of every FORMAT"), [image, options](JobControl& control) {
    Report out;
    sys::Context ctx = MakeJobContext();
    // A conversion a row needs ends with "Conversion done" while that row is
    // still being counted: the bar goes back to the FORMATs counted so far.
    ctx.SetProgress([&control, row = std::string()](const std::string& text) mutable {
      if (text.starts_with("Counting")) row = text;
      control.Progress(text == "Conversion done" && !row.empty() ? row : text);
    });
    out.ok = ComputeSizeReport(*image, options, out.rows, ctx) == sys::Code::kOk;
    out.heading = SizeReportHeading(*image);
    WindowJobSession job(options);
    job.session.ReportJob(ctx);
    out.sink = std::move(job.sink);
    return out;
  });
  if (!report) return;
  ShowJobOutcome(report->sink, QString());
  if (!report->ok) return;
  // Cancelling the save dialog goes back to the report: counting again
  // would take as long as the first time.
  int format = 0;
  while (prompts_->SizeReport(this, report->heading, report->rows, format)) {
    if (SaveAsFormat(format)) break;
  }
}

// The file is written from the picture the report counted for this row: the
// conversion the row names works on a copy.
bool MainWindow::SaveAsFormat(int format) {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return true;
  // Only the C outputs take a FORMAT, and FORMAT 99 has no stream form.
  const QString cFilter = FilterText(kSaveFilters[0]);
  const QString filter = format == 99 ? cFilter : cFilter + ";;" + FilterText(kSaveFilters[1]);
  QString selectedFilter = cFilter;
  const QString caption = tr("Save file as FORMAT %1 (%2)").arg(format).arg(FormatChoiceText(format));
  const QString name = prompts_->SaveFileName(this, caption, SuggestedName(".c"), filter, selectedFilter);
  if (name.isEmpty()) return false;
  const int type = ChosenType(name, filter, selectedFilter);
  if (!TypeTakesFormat(type)) return false;
  SaveCurrentImage(name, type, SpecResult{format, 0, type});
  return true;
}

void MainWindow::OnSavePalette() {
  ImageDocument& doc = GetDocument();
  if (!doc.current || jobs_->Busy()) return;
  // A true-colour picture has no palette: a palette file of it would hold
  // nothing that could be loaded again.
  if (doc.current->NumColors == 0) {
    ShowMessage(tr("No palette. A true color image has no palette to save."));
    return;
  }
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, tr("Save palette file"), SuggestedName("_Palette.GUIPal"),
                                              tr("Lumar palette file (*.GUIPal)"), selectedFilter);
  if (name.isEmpty()) return;
  const std::string path = ToFileName(name);
  // At most 256 entries: quick enough for the window's own thread.
  const QString outer = std::exchange(reportFile_, FromFileName(path));
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) {
    ReportText(tr("Could not create file %1").arg(FromFileName(path)).toStdString());
  } else if (SavePaletteFile(*doc.current, output->Output()) != sys::Code::kOk || !output->Commit()) {
    // A palette that could not be written leaves an existing file untouched,
    // and the user hears of it whichever write fell short.
    ReportText(tr("Could not write file %1").arg(FromFileName(path)).toStdString());
  } else {
    statusBar()->showMessage(tr("Saved %1: palette of %2 colors, %3")
                                 .arg(BaseName(path))
                                 .arg(doc.current->NumColors)
                                 .arg(ReportDetails::Bytes(FileSize(path))),
                             kSavedMessageMs);
  }
  reportFile_ = outer;
}

// ---------------------------------------------------------------------------
// Animations

void MainWindow::CreateAnimation(int type) {
  if (jobs_->Busy()) return;
  const QString gifName = prompts_->OpenFileName(this, tr("Select GIF to convert"), tr("GIF (*.gif)"));
  if (gifName.isEmpty()) return;
  const std::string gifPath = gifName.toLocal8Bit().toStdString();
  const OutputOptions options = CurrentOutputOptions();
  struct Checked {
    HeldSink sink;
    bool animated = false;
  };
  // Runs step on a session of its own; what it says and whether it succeeded.
  const auto runJob = [this, options](const QString& title, auto step) {
    return jobs_->Compute<Checked>(title, [step, options](JobControl&) {
      WindowJobSession job(options);
      Checked out;
      out.animated = step(job.session);
      out.sink = std::move(job.sink);
      return out;
    });
  };
  // As the command line does, a file that is no animation is refused before
  // the output name is asked for.
  auto checked = runJob(tr("Reading %1").arg(BaseName(gifPath)),
                        [gifPath](CommandSession& session) { return CheckGifIsAnimation(session, gifPath); });
  if (!checked) return;
  ShowJobOutcome(checked->sink, gifName);
  if (!checked->animated) return;

  const QFileInfo source(gifName);
  const QString caption = type == kOutputAnimSprite ? tr("Saving animated sprite.") : tr("Saving animated cursor.");
  QString selectedFilter;
  const QString name = prompts_->SaveFileName(this, caption, source.absolutePath() + "/" + source.baseName() + ".c",
                                              tr("C files (*.c)"), selectedFilter);
  if (name.isEmpty()) return;
  const std::string outPath = ToFileName(name);
  AnimationRequest request{gifPath, outPath, type};
  request.requireAnimation = true;
  auto written = runJob(tr("Saving %1").arg(BaseName(outPath)),
                        [request](CommandSession& session) { return SaveAnimation(session, request); });
  if (!written) return;
  const std::vector<std::string> replaced = ShowJobOutcome(written->sink, FromFileName(outPath));
  if (!written->animated || replaced.empty()) return;
  statusBar()->showMessage(SavedText(outPath, type, 0, FileSize(outPath)), kSavedMessageMs);
}

void MainWindow::OnCreateAnimSprite() { CreateAnimation(kOutputAnimSprite); }
void MainWindow::OnCreateAnimCursor() { CreateAnimation(kOutputAnimCursor); }

void MainWindow::OnSaveNormalMap() {}

}  // namespace rastra
