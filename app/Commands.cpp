#include "app/Commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "app/Animation.h"
#include "app/CommandTable.h"
#include "app/DocumentActions.h"
#include "image/FinePalette.h"
#include "app/ImageDocument.h"
#include "app/LvglSave.h"
#include "app/Parameters.h"
#include "app/Report.h"
#include "app/Session.h"
#include "app/SharedPaletteRun.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/ImageOps.h"
#include "image/Palette.h"
#include "readers/PaletteFile.h"
#include "sys/File.h"
#include "sys/Path.h"
#include "writers/CBitmapWriter.h"
#include "writers/FormatRules.h"
#include "writers/ImageWriters.h"
#include "writers/SizeReport.h"

namespace rastra {

namespace {

PaletteFileDialog paletteFileDialog = nullptr;

constexpr const char* kSaveAsUsage = "FNAME,TYPE[,FORMAT[,NOPALETTE]]";
constexpr const char* kNoPaletteValues = "NOPALETTE 0 or 1";
// The window writes animations with 8-bit indices and their palettes.
constexpr OutputSpec kAnimationDefault{5, 0};

bool IsAnimationType(int type) { return type == kOutputAnimSprite || type == kOutputAnimCursor; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }


// FORMAT: a character minus '0' and up to two more digits; the character
// after the number is read too and handed back in next.
int ReadFormatNumber(CommandSession& session, char& next) {
  int format = ReadChar(session) - '0';
  next = ReadChar(session);
  for (int digits = 0; digits < 2 && IsDigit(next); ++digits) {
    format = format * 10 + (next - '0');
    next = ReadChar(session);
  }
  return format;
}

// NOPALETTE after its ','; false after a report.
bool ReadNoPalette(CommandSession& session, int format, OutputSpec& spec) {
  const char flag = ReadChar(session);
  if (flag == 0) {
    session.Report(14, kNoPaletteValues + std::string(" after the comma"));
    return false;
  }
  spec.NoPalette = flag - '0';
  if (spec.NoPalette > 1 || spec.NoPalette < 0) {
    session.Report(12, kNoPaletteValues);
    return false;
  }
  if (format >= 8 && spec.NoPalette == 0) {
    session.Report(13, "FORMAT " + std::to_string(format) + " has no palette: give NOPALETTE 1 or none");
    return false;
  }
  return true;
}

// Reads FORMAT and NOPALETTE for TYPE 1 and 3; false after a report.
bool ReadFormatAndPalette(CommandSession& session, int n, OutputSpec& spec) {
  ImageDocument& doc = session.doc;
  if (ReadChar(session) != ',') {
    spec.Format = DefaultFormat(*doc.current);
    if (n > 256) {
      session.Report(15, "the image has " + std::to_string(n) + " colors");
      return false;
    }
    return true;
  }
  char next = 0;
  const int format = ReadFormatNumber(session, next);
  if (!IsFormatCode(format)) {
    session.Report(1, "FORMAT 1 to 29 or 99");
    return false;
  }
  spec.Format = format;
  if (n != 0 && FormatTakesTrueColor(format)) {
    PushUndo(session);
    doc.current = session.RunJob([&](sys::Context& ctx) { return Bitmap_ToTrueColor(*doc.current, ctx); });
  }
  const int fitting = FittingColorFormat(format, n);
  if (fitting >= 0) RunConversion(session, fitting);
  // Dithered into the colours the FORMAT keeps, so the writer's own
  // reduction to them loses nothing more.
  const int dithered = DitherColorFormat(format);
  if (dithered >= 0 && session.options.dither != DitherMethod::kNone && doc.current) RunConversion(session, dithered);
  if (next != ',') return true;
  return ReadNoPalette(session, format, spec);
}

// FORMAT and NOPALETTE of TYPE 6 and 7, read as for TYPE 1; the frames are
// fitted to the FORMAT one by one when they are written.
bool ReadAnimationFormat(CommandSession& session, int type, OutputSpec& spec) {
  spec = kAnimationDefault;
  if (ReadChar(session) != ',') return true;
  char next = 0;
  const int format = ReadFormatNumber(session, next);
  if (!IsAnimationFormat(format)) {
    session.Report(1, "TYPE " + std::to_string(type) + " takes FORMAT 1, 2, 4 or 5");
    return false;
  }
  spec.Format = format;
  if (next != ',') return true;
  return ReadNoPalette(session, format, spec);
}

// The frames of the opened GIF through the commands that ran on the image
// before this save, then fitted to the FORMAT as a TYPE 1 save fits an image.
BitmapPtr PrepareFrame(CommandSession& session, BitmapPtr frame, int index, const OutputSpec& spec) {
  ImageDocument frameDoc;
  frameDoc.current = std::move(frame);
  frameDoc.sourcePath = session.doc.sourcePath;
  CommandSession frameSession(frameDoc, session.sink, session.options);
  frameSession.subjects = session.subjects;
  frameSession.subjects.push_back({"frame " + std::to_string(index), SubjectKind::kFrame});
  frameSession.imageBaseName = session.imageBaseName;
  for (const RanCommand& command : session.history) {
    const SubjectScope subject(frameSession, command.argument, SubjectKind::kArgument);
    frameSession.cursor = ParameterCursor{command.parameter};
    ExecuteCommand(frameSession, command.id);
  }
  if (frameDoc.current) {
    const int fitting = FittingColorFormat(spec.Format, frameDoc.current->NumColors);
    if (fitting >= 0) RunConversion(frameSession, fitting);
  }
  session.reads.insert(session.reads.end(), frameSession.reads.begin(), frameSession.reads.end());
  return std::move(frameDoc.current);
}

SaveRecord SaveRecordOf(const CommandSession& session, const std::string& path, int type) {
  SaveRecord record;
  record.output = path;
  record.input = session.imagePath;
  record.commands = session.ran;
  record.type = std::to_string(type);
  return record;
}

void SaveAnimationCommand(CommandSession& session, const std::string& path, int type, const OutputSpec& spec) {
  AnimationRequest request{session.doc.sourcePath, path, type, spec};
  request.prepare = [&](BitmapPtr frame, int index) { return PrepareFrame(session, std::move(frame), index, spec); };
  request.requireAnimation = true;
  request.fromOpenedImage = true;
  request.gifBytes = session.doc.sourceBytes;
  if (SaveAnimation(session, request) && session.recordSaves) {
    SaveRecord record = SaveRecordOf(session, path, type);
    record.format = spec.Format;
    session.saves.push_back(std::move(record));
  }
}

// The sizes of a C file or stream as the size report counts them, for the
// file as written: without the palette table under NOPALETTE 1, and without
// palette table and GUI_LOGPALETTE when the file declares the shared palette.
SaveRecord ImageSaveRecord(CommandSession& session, const Bitmap* image, const std::string& path, int type,
                           const OutputSpec& spec) {
  SaveRecord record = SaveRecordOf(session, path, type);
  if (image == nullptr || (type != kOutputCBitmap && type != kOutputCStream)) return record;
  record.format = spec.Format;
  sys::Context ctx = MakeJobContext();
  const std::optional<FormatSize> size = ComputeFormatSize(*image, spec.Format, session.options, ctx);
  session.ReportJob(ctx);
  if (!size) return record;
  const std::int64_t table = size->paletteBytes;
  const bool hasPalette = table > 0;
  const bool shared = hasPalette && type == kOutputCBitmap && UsesSharedPalette(*image, spec);
  const bool withoutTable = spec.NoPalette != 0 || shared;
  record.palette = !hasPalette || spec.NoPalette != 0 ? "none" : shared ? "shared" : "own";
  record.paletteBytes = withoutTable ? 0 : table;
  if (type == kOutputCBitmap) {
    record.pixelBytes = size->pixelBytes;
    record.flashBytes = size->flashBytes - (withoutTable ? table : 0) - (shared ? kLogPaletteBytes : 0);
  } else if (size->streamBytes) {
    const std::int64_t streamTable = spec.NoPalette != 0 ? table : 0;
    record.dtaBytes = *size->streamBytes - streamTable;
    record.pixelBytes = *size->streamBytes - kStreamHeaderBytes - table;
    record.paletteBytes = table - streamTable;
  }
  return record;
}

constexpr long kMaxScaledSize = 99999;
// Any percentage beyond this gives more than the largest size even of a one
// pixel image; capping it keeps the product below from overflowing.
constexpr long kMaxPercent = 100 * (kMaxScaledSize + 1);
constexpr const char* kScaleUsage = "WIDTH[%],HEIGHT[%]";

// One size of -scale: pixels, or with "%" a percentage of the current size.
// Returns -1 after a report.
long ReadScaleSize(CommandSession& session, int currentSize) {
  long size = ReadDecimal(session, kScaleUsage);
  if (ParseErrorFlag(session)) return -1;
  if (GetParameterChar(session) == '%') {
    ReadChar(session);
    const long percent = std::clamp(size, -kMaxPercent, kMaxPercent);
    size = static_cast<long>((static_cast<long long>(currentSize) * percent) / 100);
  }
  if (size <= 0 || size > kMaxScaledSize) {
    session.Report(25, "1 to 99999 pixels");
    return -1;
  }
  return size;
}

void ScaleCommand(CommandSession& session) {
  ImageDocument& doc = session.doc;
  const long width = ReadScaleSize(session, doc.current->XSize);
  if (width < 0) return;
  if (ReadChar(session) != ',') {
    session.Report(9, kScaleUsage);
    return;
  }
  const long height = ReadScaleSize(session, doc.current->YSize);
  if (height < 0) return;
  // A scale that fails keeps nothing, as the command line always did.
  doc.current = session.RunJob([&](sys::Context& ctx) {
    return ScaleBitmap(*doc.current, static_cast<int>(width), static_cast<int>(height), ctx);
  });
}

void ReduceColorsCommand(CommandSession& session) {
  const long colours = ReadDecimal(session, "NUM_COLORS, 2 to 256");
  if (ParseErrorFlag(session)) return;
  if (colours < 2 || colours > 256) {
    session.Report(26, "2 to 256");
    return;
  }
  ImageDocument& doc = session.doc;
  doc.current = session.RunJob([&](sys::Context& ctx) {
    return ReduceColors(*doc.current, static_cast<int>(colours), session.options, ctx);
  });
}

// The colour is written RRGGBB, the way colours are usually given; palette
// entries hold 0xBBGGRR.
void TransparencyCommand(CommandSession& session) {
  const long rgb = ReadHex(session, "RRGGBB in hex");
  if (ParseErrorFlag(session)) return;
  if (rgb < 0 || rgb > 0xFFFFFF) {
    session.Report(18);
    return;
  }
  Bitmap& image = *session.doc.current;
  if (image.NumColors == 0) {
    session.Report(17, "convert the image into a palette first");
    return;
  }
  const Color wanted = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
  for (int i = 0; i < image.NumColors; ++i) {
    if ((Bitmap_GetPalColor(image, i) & 0xFFFFFF) == wanted) {
      SetTransIndex(image, i);
      return;
    }
  }
  session.Report(19, "none of its " + std::to_string(image.NumColors) + " palette colors");
}

// Conversions and edits: what an animation save repeats on every frame.
bool IsFrameCommand(int id) {
  return (id >= kCmdTransparency && id <= kCmdConvertCustomPalette) || (id >= kCmdFlipH && id <= kCmdScale);
}

}  // namespace

void SetPaletteFileDialog(PaletteFileDialog dialog) { paletteFileDialog = dialog; }

BitmapPtr EditFrame(CommandSession& session, BitmapPtr frame, int index) {
  return PrepareFrame(session, std::move(frame), index, OutputSpec{});
}

// It is put in after the name was split off at its ',', so a comma in an
// image's name changes nothing.
std::string ExpandBaseName(const std::string& name, const std::string& baseName) {
  std::string expanded;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 1 < name.size() && name[i + 1] == 'n') {
      expanded += baseName;
      ++i;
    } else {
      expanded += name[i];
    }
  }
  return expanded;
}

bool SaveImageFile(const Bitmap* image, const std::string& path, int type, const OutputSpec& spec,
                   BitmapPtr* replacement) {
  CommandSession session = ProcessSession();
  return SaveImageFile(session, image, path, type, spec, replacement);
}

std::vector<std::pair<int, std::string>> FormatMismatchDetails(int type, int format, int numColors) {
  const std::string colours =
      numColors == 0 ? "a true-colour image" : "an image of " + std::to_string(numColors) + " colors";
  return {{kFormatMismatchMessage,
           "TYPE " + std::to_string(type) + ", FORMAT " + std::to_string(format) + ", " + colours}};
}

bool SaveImageFile(CommandSession& session, const Bitmap* image, const std::string& path, int type,
                   const OutputSpec& spec, BitmapPtr* replacement) {
  const SubjectScope subject(session, path);
  if (replacement != nullptr) replacement->reset();
  std::string reason;
  auto output = sys::SafeOutputFile::Create(path, &reason);
  if (!output) {
    session.ReportText("Could not create file " + path, reason);
    return false;
  }
  sys::Context ctx = MakeJobContext();
  WriteResult result = WriteImageFile(image, output->Output(), path, spec, type, session.options, ctx);
  session.ReportJob(ctx, FormatMismatchDetails(type, spec.Format, image != nullptr ? image->NumColors : 0));
  if (replacement != nullptr) *replacement = std::move(result.replacement);
  if (!result.Ok()) return false;  // the writer said what went wrong; the old file stays
  if (!session.sink.Commit(std::move(*output), session.WithSubjects(TextEntry(CouldNotWriteText(path)), {}))) {
    return false;
  }
  if (session.recordSaves) session.saves.push_back(ImageSaveRecord(session, image, path, type, spec));
  return true;
}

void ApplyReplacement(ImageDocument& doc, BitmapPtr replacement) {
  if (!replacement) return;
  PushUndoImage(doc, std::move(doc.current));
  doc.current = std::move(replacement);
}

void SaveAsCommand(CommandSession& session) {
  ImageDocument& doc = session.doc;
  // A shared palette's files are written whatever became of the image.
  if (!doc.current && session.sharedPalette == nullptr) return;
  const int n = doc.current ? doc.current->NumColors : 0;
  const std::string name = ReadString(session, kMaxSaveName, kSaveAsUsage);
  if (ReadChar(session) != ',') {
    if (doc.current) session.Report(9, kSaveAsUsage);
    return;
  }
  const char typeCharacter = ReadChar(session);
  if (IsPaletteSaveType(typeCharacter)) {
    SavePaletteCommand(session, name, typeCharacter);
    return;
  }
  if (!doc.current) return;
  const int type = typeCharacter - '0';
  if (IsLvglType(type)) {
    SaveLvglCommand(session, name, type);
    return;
  }
  if (type < kOutputCBitmap || type > kOutputAnimCursor) {
    session.Report(10, "TYPE 1 to 9");
    return;
  }
  OutputSpec spec;
  if (session.sharedPalette != nullptr) spec.sharedPalette = &session.sharedPalette->reference;
  if (TypeTakesFormat(type) && !ReadFormatAndPalette(session, n, spec)) return;
  if (IsAnimationType(type) && !ReadAnimationFormat(session, type, spec)) return;
  if (!doc.current) return;  // a conversion on the way failed and said so
  const std::string path =
      CompleteOutputPath(ExpandBaseName(name, session.imageBaseName), type, doc.sourcePath);
  if (IsAnimationType(type)) {
    SaveAnimationCommand(session, path, type, spec);
    return;
  }
  BitmapPtr replacement;
  SaveImageFile(session, doc.current.get(), path, type, spec, &replacement);
  ApplyReplacement(doc, std::move(replacement));
}

void RunConversion(int selector) {
  CommandSession session = ProcessSession();
  RunConversion(session, selector);
}

void RunConversion(CommandSession& session, int selector) {
  ImageDocument& doc = session.doc;
  const OutputOptions options = session.options;
  const auto noImage = [&](const char* text) {
    session.RunJob([&](sys::Context& ctx) { return ctx.Fail(sys::Code::kNoImage, text); });
  };
  if (selector >= kFormatBW && selector <= kFormatRGB) {
    // A conversion that fails leaves no image, as the command line always did.
    if (!doc.current) return noImage(kNoSourceBitmapText);
    doc.current = session.RunJob(
        [&](sys::Context& ctx) { return ConvertToFormat(*doc.current, GetColorFormat(selector), options, ctx); });
  } else if (selector == 15 || selector == 16) {
    if (!doc.current) return noImage(kNoOriginalBitmapText);
    BitmapPtr result = session.RunJob([&](sys::Context& ctx) {
      return selector == 15 ? ConvertToBestPalette(*doc.current, options, ctx)
                            : ConvertToBestPaletteTrans(*doc.current, 0xFFFFFF, options, ctx);
    });
    if (result) doc.current = std::move(result);
  } else if (selector == 17) {
    CustomPaletteCommand(session);
  }
}

void CustomPaletteCommand() {
  CommandSession session = ProcessSession();
  CustomPaletteCommand(session);
}

std::optional<sys::File> OpenPaletteFile(CommandSession& session, const std::string& name) {
  std::string reason;
  std::optional<sys::File> file = sys::File::OpenRead(name, &reason);
  if (!file) session.Report(16, reason == std::strerror(ENOENT) ? "no such file" : reason);
  return file;
}

void CustomPaletteCommand(CommandSession& session) {
  ImageDocument& doc = session.doc;
  if (session.batch) {
    const std::string name = ReadString(session, kMaxParameterText, "FNAME of a palette file");
    session.reads.push_back(name);
    std::optional<sys::File> file;
    {
      const SubjectScope subject(session, name);
      file = OpenPaletteFile(session, name);
    }
    if (!file) return;
    doc.customPalettePath = name;
    const SubjectScope subject(session, name);
    if (session.RunJob([&](sys::Context& ctx) { return LoadPaletteFrom(*file, doc.customPalette, ctx); }) != 0) {
      return;
    }
  } else {
    const std::string chosen = paletteFileDialog != nullptr ? paletteFileDialog() : std::string();
    if (chosen.empty()) return;
    doc.customPalettePath = chosen.substr(0, kMaxParameterText);
  }
  if (!session.batch) {
    const SubjectScope subject(session, doc.customPalettePath);
    if (session.RunJob([&](sys::Context& ctx) {
          return _LoadPalette(doc.customPalettePath, doc.customPalette, ctx);
        }) != 0) {
      return;
    }
  }
  if (!doc.current) return;
  PushUndo(session);
  BitmapPtr result = session.RunJob([&](sys::Context& ctx) {
    return ConvertToCustomPalette(*doc.current, doc.customPalette, session.options, ctx);
  });
  doc.current = std::move(result);  // none after a failure, as the command line always had
}

void SizeReportCommand(CommandSession& session) {
  std::string form;
  for (char c = ReadChar(session); c != 0; c = ReadChar(session)) form += c;
  const bool lvgl = form == "lvgl" || form == "lvglcsv";
  if (!form.empty() && form != "csv" && !lvgl) {
    session.ReportText("\"" + form + "\": the size report is a table, or CSV with -sizereportcsv",
                       "LVGL formats with -sizereportlvgl or -sizereportlvglcsv");
    return;
  }
  ImageDocument& doc = session.doc;
  if (!doc.current) {
    session.ReportText("An image needs to be opened before its sizes can be reported.");
    return;
  }
  if (lvgl) {
    LvglSizeReportCommand(session, form == "lvglcsv");
    return;
  }
  std::vector<FormatSize> rows;
  sys::Context ctx = MakeJobContext();
  const sys::Code code = ComputeSizeReport(*doc.current, session.options, rows, ctx);
  session.ReportJob(ctx);
  if (code != sys::Code::kOk) return;
  const std::string text = form.empty() ? SizeReportTable(*doc.current, rows) : SizeReportCsv(rows);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void RunImageCommand(CommandSession& session, int id) {
  ImageDocument& doc = session.doc;
  if (!doc.current) return;
  sys::Context ctx = MakeJobContext();
  switch (id) {
    case kCmdFlipH: FlipH(*doc.current); break;
    case kCmdFlipV: FlipV(*doc.current); break;
    case kCmdRotateCW: doc.current = RotateCW(*doc.current, ctx); break;
    case kCmdRotateCCW: doc.current = RotateCCW(*doc.current, ctx); break;
    case kCmdRotate180: Rotate180(*doc.current); break;
    case kCmdInvertIndices: InvertIndices(*doc.current, ctx); break;
    case kCmdInvertPalette: InvertPalette(*doc.current, ctx); break;
    case kCmdScale: ScaleCommand(session); break;
    case kCmdReduceColors: ReduceColorsCommand(session); break;
    case kCmdTransparency: TransparencyCommand(session); break;
    default: break;
  }
  session.ReportJob(ctx);
}

void RunCommands(CommandSession& session, const std::vector<QueuedCommand>& queue) {
  for (const QueuedCommand& command : queue) {
    const SubjectScope subject(session, command.argument, SubjectKind::kArgument);
    session.cursor = ParameterCursor{command.parameter};
    if (session.recordSaves) session.ran.push_back(command.argument);
    ExecuteCommand(session, command.entry->id);
    if (IsFrameCommand(command.entry->id)) {
      session.history.push_back({command.entry->id, command.parameter, command.argument});
    }
  }
}

namespace {
// As the best palette conversion: a picture without pixels keeps its
// place (and the job says why).
void FinePaletteCommand(CommandSession& session) {
  ImageDocument& doc = session.doc;
  if (!doc.current) {
    session.RunJob([&](sys::Context& ctx) { return ctx.Fail(sys::Code::kNoImage, kNoOriginalBitmapText); });
    return;
  }
  BitmapPtr result =
      session.RunJob([&](sys::Context& ctx) { return ConvertToFinePalette(*doc.current, session.options, ctx); });
  if (result) doc.current = std::move(result);
}
}  // namespace

void ExecuteCommand(CommandSession& session, int id) {
  if (id == kCmdSaveAs) {
    SaveAsCommand(session);
  } else if (id == kCmdExit) {
    session.exitRequested = true;
  } else if (id >= kCmdConvertBW && id <= kCmdConvert332) {
    RunConversion(session, id - kCmdConvertBW + kFormatBW);
  } else if (id == kCmdConvert8666) {
    RunConversion(session, kFormat8666);
  } else if (id >= kCmdConvert444 && id <= kCmdConvert565) {
    RunConversion(session, id - kCmdConvert444 + kFormat444_12);
  } else if (id >= kCmdConvertRGB && id <= kCmdConvertCustomPalette) {
    RunConversion(session, id - kCmdConvertRGB + kFormatRGB);
  } else if (id == kCmdSizeReport) {
    SizeReportCommand(session);
  } else if (id == kCmdSharedPalette) {
    SharedPaletteCommand(session);
  } else if (id == kCmdConvertFinePalette) {
    FinePaletteCommand(session);
  } else {
    RunImageCommand(session, id);
  }
}

std::string CompleteOutputPath(const std::string& path, int type, const std::string& sourcePath) {
  static const char* const kExtensions[] = {"", "c", "bmp", "dta", "gif", "", "c", "c", "c", "bin"};
  sys::PathParts parts = sys::SplitPath(path);
  const sys::PathParts source = sys::SplitPath(sourcePath);
  if (parts.drive.empty()) parts.drive = source.drive;
  if (parts.directory.empty()) parts.directory = source.directory;
  if (parts.name.empty()) parts.name = source.name;
  if (parts.extension.empty() && type >= 1 && type <= 9) parts.extension = kExtensions[type];
  return sys::JoinPath(parts);
}

}  // namespace rastra
