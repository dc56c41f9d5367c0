// The page's door into Rastra's core library: one function per library call,
// pictures as JavaScript objects, and every outcome as a plain object
// { ok, text, warnings, ... } the page shows as it is. The page keeps the
// order of the commands; each command is one call here.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <rastra/rastra.h>

// Three things the command line does that the public interface leaves out:
// the frame count of a GIF (to offer the animation TYPEs), a palette file's
// bytes without a file, and the picture a GIF or PNG save continues with.
// The one reach inside the library: a GIF or PNG save of the command line goes
// on with the picture the writer converted (see WriteConverting).
#include "api/ImageAccess.h"
#include "app/Manifest.h"
#include "api/Outcome.h"
#include "readers/ImageReaders.h"
#include "image/Palette.h"
#include "writers/ImageWriters.h"
#include "writers/PaletteWriter.h"
#include "writers/SharedPaletteWriter.h"
#include "writers/SizeReport.h"
#include "writers/CBitmapWriter.h"
#include "app/SharedPaletteRun.h"
#include "image/SharedPalette.h"

namespace rastra::web {

using emscripten::val;

// A picture the page holds. It never changes: every operation makes a new
// one, so copies (JavaScript's handles) share the pixels. JavaScript deletes
// its handles when done.
class Picture {
 public:
  explicit Picture(Image image) : image_(std::make_shared<const Image>(std::move(image))) {}

  int Width() const { return image_->Width(); }
  int Height() const { return image_->Height(); }
  int PaletteSize() const { return image_->PaletteSize(); }
  bool HasAlpha() const { return image_->HasAlpha(); }
  bool HasTransparentEntry() const { return image_->HasTransparentEntry(); }

  // Red, green, blue and alpha bytes, top row first, for the page's canvas.
  val Rgba() const {
    Result<std::vector<std::uint8_t>> rgba = ToRgba(*image_);
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(rgba.value.size(), rgba.value.data()));
  }

  // The palette index of every pixel, top row first, or null for a
  // true-colour picture: the page reads pixels from it without asking.
  val Indices() const {
    if (PaletteSize() == 0) return val::null();
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()));
    std::size_t at = 0;
    for (int y = 0; y < Height(); ++y) {
      for (int x = 0; x < Width(); ++x) plane[at++] = static_cast<std::uint8_t>(image_->PixelIndex(x, y));
    }
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(plane.size(), plane.data()));
  }

  // { r, g, b, a, index } of the pixel at x, y (from the top left); index is
  // -1 for a true-colour picture; null outside the picture.
  val Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return val::null();
    const rastra::Rgba c = image_->Pixel(x, y);
    val pixel = val::object();
    pixel.set("r", c.r);
    pixel.set("g", c.g);
    pixel.set("b", c.b);
    pixel.set("a", c.a);
    pixel.set("index", image_->PixelIndex(x, y));
    return pixel;
  }

  const Image& image() const { return *image_; }

 private:
  std::shared_ptr<const Image> image_;
};

struct Options {
  bool useArgb = false;
  bool bigEndian = false;
  bool preserveTrans = false;
  int dither = 0;  // a DitherMethod: 0 none, 1 Floyd-Steinberg, 2 serpentine, 3 Bayer 4 x 4, 4 Bayer 8 x 8
  // -maxoutput's digits ("" for the program's default): a string, as a
  // JavaScript number cannot hold every 18-digit count.
  std::string maxOutputBytes;
};

OutputOptions ToOutputOptions(const Options& o) {
  OutputOptions options{o.useArgb, o.bigEndian, o.preserveTrans};
  if (o.dither >= 0 && o.dither <= static_cast<int>(DitherMethod::kBayer8)) options.dither = static_cast<DitherMethod>(o.dither);
  if (!o.maxOutputBytes.empty()) options.maxOutputBytes = std::stoull(o.maxOutputBytes);
  return options;
}

// The module's memory ends at 4 GiB (what a browser gives a page's
// WebAssembly), and a job holds its source and its result at once: no
// picture may pass a quarter of that, the program's own block limit (16384 x
// 16384 true-colour pixels), so a picture too large for the page is refused
// with the program's message instead of ending the module.
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{1} << 30;

ReadLimits PageLimits() {
  ReadLimits limits;
  limits.maxPixelBytes = kMaxPixelBytes;
  return limits;
}

std::vector<std::uint8_t> BytesOf(const val& array) { return emscripten::convertJSArrayToNumberVector<std::uint8_t>(array); }

val BytesToJs(std::span<const std::uint8_t> bytes) {
  return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

// { ok, text, warnings }: text is the failure, warnings what the job said on
// its way (one per line).
val Outcome(const Status& status) {
  val outcome = val::object();
  std::string warnings;
  for (const Message& m : status.messages) {
    if (m.warning) warnings += (warnings.empty() ? "" : "\n") + m.text;
  }
  outcome.set("ok", status.Ok());
  outcome.set("text", status.text);
  outcome.set("warnings", warnings);
  return outcome;
}

val Failure(Code code, const std::string& text) {
  Status status;
  status.code = code;
  status.text = std::string(CodeName(code)) + ": " + text;
  return Outcome(status);
}

// The outcome of an operation that makes a new picture.
val PictureOutcome(Result<Image> made) {
  val outcome = Outcome(made);
  if (made.Ok()) outcome.set("picture", Picture(std::move(made.value)));
  return outcome;
}

// Reading ---------------------------------------------------------------------

// { ok, text, warnings, picture, fileType, frames }: frames counts the images
// of a GIF (an animation has more than one), 1 for any other file.
// How a picture is read: the command line's -pnggamma, -smoothchroma and
// -autoorient (its defaults when the commands give none).
struct ReadSettings {
  bool applyGamma = true;
  bool smoothChroma = false;
  bool applyOrientation = false;
};

// The failures of a job in the program's words: each line it prints for
// them, in order (the library's messages carry the specific cause instead).
val ProgramLines(const std::vector<sys::Message>& messages) {
  val lines = val::array();
  for (const sys::Message& m : messages) {
    if (!m.warning) lines.call<void>("push", m.text);
  }
  return lines;
}

// { ok, text, warnings, said, picture }: said holds the failures as the
// program reports them.
val ReadPicture(const std::vector<std::uint8_t>& bytes, const std::string& name, const ReadOptions& options) {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(options.limits.maxPixelBytes);
  ReadResult read = LoadImageBytes(bytes, name, options, ctx);
  val said = ProgramLines(ctx.Messages());
  Code code = Code::kOk;
  if (!read.image) code = read.code != Code::kOk ? read.code : Code::kInternal;
  val outcome = PictureOutcome(ResultOf(ctx, code, ImageAccess::Wrap(std::move(read.image))));
  outcome.set("said", said);
  return outcome;
}

val LoadPictureWith(const val& data, const std::string& name, const ReadSettings& settings) {
  const std::vector<std::uint8_t> bytes = BytesOf(data);
  ReadOptions options;
  options.limits = PageLimits();
  options.applyGamma = settings.applyGamma;
  options.smoothChroma = settings.smoothChroma;
  options.applyOrientation = settings.applyOrientation;
  val outcome = ReadPicture(bytes, name, options);
  const FileType type = DetectFileType(bytes.data(), bytes.size(), name);
  outcome.set("fileType", static_cast<int>(type));
  outcome.set("frames", outcome["ok"].as<bool>() ? std::max(FrameCount(bytes.data(), bytes.size(), name, options), 1) : 1);
  return outcome;
}

val LoadPicture(const val& data, const std::string& name) { return LoadPictureWith(data, name, ReadSettings{}); }

// Conversions and edits ---------------------------------------------------------

val ConvertTo(const Picture& picture, int colorFormat, const Options& options) {
  return PictureOutcome(Convert(picture.image(), static_cast<ColorFormatId>(colorFormat), ToOutputOptions(options)));
}

val BestPaletteOf(const Picture& picture, const Options& options) {
  return PictureOutcome(ToBestPalette(picture.image(), ToOutputOptions(options)));
}

val BestPaletteWithTransparencyOf(const Picture& picture, const Options& options) {
  return PictureOutcome(ToBestPaletteWithTransparency(picture.image(), ToOutputOptions(options)));
}

// The colours of a palette file's bytes (.GUIPal), which the page has from
// the user's upload rather than from a path.
val ToPaletteFile(const Picture& picture, const val& paletteData, const Options& options) {
  const std::vector<std::uint8_t> bytes = BytesOf(paletteData);
  const Result<Palette> palette = LoadPaletteFromMemory(bytes.data(), bytes.size());
  if (!palette) {
    // As on the command line: a palette file that cannot be read leaves the
    // picture as it was (keep), and is reported in the program's words.
    val outcome = Failure(palette.code, palette.text);
    val said = val::array();
    for (const Message& m : palette.messages) {
      if (!m.warning) said.call<void>("push", m.text);
    }
    outcome.set("said", said);
    outcome.set("keep", true);
    return outcome;
  }
  return PictureOutcome(ToPalette(picture.image(), palette.value, ToOutputOptions(options)));
}

val ReduceColorsTo(const Picture& picture, int maxColors, const Options& options) {
  return PictureOutcome(ReduceColors(picture.image(), maxColors, ToOutputOptions(options)));
}

val TrueColorOf(const Picture& picture) { return PictureOutcome(ToTrueColor(picture.image())); }

// "fliph", "flipv", "rotate90cw", "rotate90ccw", "rotate180",
// "invertindices" and "invertpalette": the edits without a parameter.
val Edit(const Picture& picture, const std::string& edit) {
  const Image& image = picture.image();
  if (edit == "fliph") return PictureOutcome(FlipHorizontally(image));
  if (edit == "flipv") return PictureOutcome(FlipVertically(image));
  if (edit == "rotate90cw") return PictureOutcome(Rotate(image, Rotation::kClockwise));
  if (edit == "rotate90ccw") return PictureOutcome(Rotate(image, Rotation::kCounterClockwise));
  if (edit == "rotate180") return PictureOutcome(Rotate(image, Rotation::kHalfTurn));
  if (edit == "invertindices") return PictureOutcome(InvertIndices(image));
  if (edit == "invertpalette") return PictureOutcome(InvertPalette(image));
  return Failure(Code::kBadArgument, "no such edit: " + edit);
}

val ScaleTo(const Picture& picture, int width, int height) {
  return PictureOutcome(Scale(picture.image(), width, height));
}

// The first palette entry of colour 0xRRGGBB becomes the transparent entry 0.
val TransparentColor(const Picture& picture, int rgb) {
  return PictureOutcome(SetTransparentColor(picture.image(), static_cast<std::uint32_t>(rgb)));
}

// Saving ------------------------------------------------------------------------

int DefaultFormatOf(const Picture& picture) { return DefaultFormat(picture.image()); }

// The picture as a save in format writes it (see FitToFormat).
val FitTo(const Picture& picture, int format, const Options& options) {
  return PictureOutcome(FitToFormat(picture.image(), format, ToOutputOptions(options)));
}

// A GIF or PNG save writes a converted picture (its best palette, or true
// colour with alpha), with which the command line goes on; Write keeps the
// caller's picture, so these two go to the save dispatcher itself.
val WriteConverting(const Picture& picture, int type, const std::string& name, const Options& options) {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(kMaxPixelBytes);
  sys::MemorySink sink;
  WriteResult result = WriteImageFile(ImageAccess::Get(picture.image()), sink, name, OutputSpec{}, type,
                                      ToOutputOptions(options), ctx);
  val outcome = result.Ok() ? Outcome(Status{}) : Failure(result.code, result.text);
  outcome.set("said", ProgramLines(ctx.Messages()));
  if (result.Ok()) outcome.set("bytes", BytesToJs(sink.Bytes()));
  if (result.replacement) outcome.set("picture", Picture(ImageAccess::Wrap(std::move(result.replacement))));
  return outcome;
}

// The page's choices as the library takes them.
WriteOptions WriteOptionsOf(int type, int format, bool noPalette, const std::string& name, const Options& options) {
  WriteOptions write;
  write.type = type;
  write.format = format;
  write.noPalette = noPalette;
  write.name = name;
  write.output = ToOutputOptions(options);
  return write;
}

// { ok, text, warnings, bytes, picture }: the file of TYPE 1 to 5; name makes
// the C identifiers as a file name does. picture is set when the writer
// worked from a converted picture (GIF and PNG), which then becomes the
// current one, as on the command line.
// What a save of TYPE and FORMAT holds, as a flash budget and a manifest
// count it ({ format, palette, pixelBytes, paletteBytes, flashBytes,
// dtaBytes }, sizes null where they do not apply): the size report's counts
// for the file as written, without the palette table under NOPALETTE 1.
val SaveRecordOf(const Picture& picture, int type, int format, bool noPalette, const Options& options) {
  val record = val::object();
  const bool sized = type == kOutputCBitmap || type == kOutputCStream;
  record.set("format", sized ? val(format) : val::null());
  record.set("palette", "none");
  for (const char* key : {"pixelBytes", "paletteBytes", "flashBytes", "dtaBytes"}) record.set(key, val::null());
  if (!sized) return record;
  sys::Context ctx;
  const std::optional<FormatSize> size =
      ComputeFormatSize(*ImageAccess::Get(picture.image()), format, ToOutputOptions(options), ctx);
  if (!size) return record;
  const std::int64_t table = size->paletteBytes;
  record.set("palette", table > 0 && !noPalette ? "own" : "none");
  record.set("paletteBytes", static_cast<double>(noPalette ? 0 : table));
  if (type == kOutputCBitmap) {
    record.set("pixelBytes", static_cast<double>(size->pixelBytes));
    record.set("flashBytes", static_cast<double>(size->flashBytes - (noPalette ? table : 0)));
  } else if (size->streamBytes) {
    const std::int64_t streamTable = noPalette ? table : 0;
    record.set("dtaBytes", static_cast<double>(*size->streamBytes - streamTable));
    record.set("pixelBytes", static_cast<double>(*size->streamBytes - kStreamHeaderBytes - table));
    record.set("paletteBytes", static_cast<double>(table - streamTable));
  }
  return record;
}

val WriteTo(const Picture& picture, int type, int format, bool noPalette, const std::string& name,
              const Options& options) {
  if (type == kOutputGif || type == kOutputPng) return WriteConverting(picture, type, name, options);
  WriteOptions write = WriteOptionsOf(type, format, noPalette, name, options);
  Result<std::string> file = Write(picture.image(), write);
  val outcome = Outcome(file);
  // The failures in the program's words (a refused size without the
  // library's "limit: " before it).
  val said = val::array();
  for (const Message& m : file.messages) {
    if (!m.warning) said.call<void>("push", m.text);
  }
  outcome.set("said", said);
  if (file.Ok()) {
    outcome.set("bytes", BytesToJs({reinterpret_cast<const std::uint8_t*>(file.value.data()), file.value.size()}));
    outcome.set("record", SaveRecordOf(picture, type, format, noPalette, options));
  }
  return outcome;
}

// { ok, text, bytes }: the picture's palette as a palette file (kind "G",
// .GUIPal) or as C source exporting it (kind "P"); name makes the C
// identifier as a file name does. A true-colour picture has none to write.
val WritePaletteOf(const Picture& picture, const std::string& kind, const std::string& name, const Options& options) {
  const Bitmap& bitmap = *ImageAccess::Get(picture.image());
  const PaletteRef palette = Bitmap_GetPalette(bitmap);
  sys::Context ctx;
  sys::MemorySink sink;
  sys::Code code = sys::Code::kOk;
  if (kind == "P") {
    OutBuffer out(sink);
    code = WriteCPaletteFile(out, palette, bitmap.HasTrans != 0, name, ToOutputOptions(options), ctx);
    if (code == sys::Code::kOk && !OutComplete(out)) code = sys::Code::kIo;
  } else {
    code = SavePaletteFile(palette, sink);
  }
  if (code != sys::Code::kOk && ctx.Messages().empty()) ctx.Fail(code, "Could not write " + name);
  val said = ProgramLines(ctx.Messages());
  val outcome = Outcome(StatusOf(ctx, code));
  outcome.set("said", said);
  if (code == sys::Code::kOk) outcome.set("bytes", BytesToJs(sink.Bytes()));
  if (code == sys::Code::kOk) {
    val record = val::object();
    record.set("format", val::null());
    record.set("palette", "own");
    const bool counted = kind == "P";
    const std::int64_t table = std::int64_t{palette.count} * kPaletteEntryBytes;
    record.set("pixelBytes", counted ? val(0) : val::null());
    record.set("paletteBytes", counted ? val(static_cast<double>(table)) : val::null());
    record.set("flashBytes", counted ? val(static_cast<double>(table + kLogPaletteBytes)) : val::null());
    record.set("dtaBytes", val::null());
    outcome.set("record", record);
  }
  return outcome;
}

// TYPE 6 or 7 of a GIF's bytes: every frame goes through editFrame(picture,
// index) (a function giving the edited picture, or null after a failure),
// is fitted to the FORMAT and written.
val WriteAnimationOf(const val& gifData, int type, int format, bool noPalette, const std::string& name,
                       const Options& options, const val& editFrame) {
  const std::vector<std::uint8_t> bytes = BytesOf(gifData);
  WriteOptions write = WriteOptionsOf(type, format, noPalette, name, options);
  if (!editFrame.isUndefined() && !editFrame.isNull()) {
    write.editFrame = [&editFrame](const Image& frame, int index) -> Result<Image> {
      Result<Image> copy = frame.Copy();
      if (!copy) return copy;
      val edited = editFrame(Picture(std::move(copy.value)), index);
      if (edited.isNull() || edited.isUndefined()) {
        Status failed;
        failed.code = Code::kBadArgument;
        failed.text = "the frame's commands failed";
        return Result<Image>(std::move(failed), Image{});
      }
      Result<Image> result = edited.as<const Picture&>().image().Copy();
      edited.call<void>("delete");  // the handle the function gave is ours
      return result;
    };
  }
  Result<std::string> file = WriteAnimation(bytes.data(), bytes.size(), write, PageLimits());
  val outcome = Outcome(file);
  if (file.Ok()) {
    outcome.set("bytes", BytesToJs({reinterpret_cast<const std::uint8_t*>(file.value.data()), file.value.size()}));
  }
  return outcome;
}

// { ok, text, rows, table, csv }: what each FORMAT costs; rows as objects with
// the fields of the command line's CSV.
val SizeReportOf(const Picture& picture, const Options& options) {
  Result<std::vector<FormatSize>> report = SizeReport(picture.image(), ToOutputOptions(options));
  val outcome = Outcome(report);
  if (!report.Ok()) return outcome;
  val list = val::array();
  for (const FormatSize& row : report.value) {
    val item = val::object();
    item.set("format", row.format);
    item.set("name", row.name);
    item.set("bitsPerPixel", row.bitsPerPixel);
    item.set("pixelBytes", static_cast<double>(row.pixelBytes));
    item.set("paletteBytes", static_cast<double>(row.paletteBytes));
    item.set("flashBytes", static_cast<double>(row.flashBytes));
    item.set("streamBytes", row.streamBytes ? val(static_cast<double>(*row.streamBytes)) : val::null());
    item.set("convertsTo", ConversionName(row.step));
    item.set("alphaOnly", row.alphaOnly);
    item.set("smallest", row.smallest);
    list.call<void>("push", item);
  }
  outcome.set("rows", list);
  outcome.set("table", SizeReportTable(picture.image(), report.value));
  outcome.set("csv", SizeReportCsv(report.value));
  return outcome;
}

// -sharedpalette's palette of a run, as the program's first pass makes it:
// the pictures (each after the commands before the word) tallied in order,
// or a palette file's colours. The C files of the run refer to the palette's
// C file (identifier, of the run's first -saveas...,P) instead of carrying one.
class SharedSet {
 public:
  SharedPaletteRun run;

  bool Made() const { return run.palette.has_value(); }
};

std::optional<std::int64_t> Count(const val& number) {
  if (number.isNull() || number.isUndefined()) return std::nullopt;
  return static_cast<std::int64_t>(number.as<double>());
}

// -flashbudget's texts for the saves of a run ([{ output, flashBytes }],
// flashBytes null for a file a budget does not count): one per overrun, none
// when the saves keep the budget; null when the parameter is no budget.
val BudgetOverrunsOf(const std::string& parameter, const val& saves) {
  const std::optional<FlashBudget> budget = ParseFlashBudget(parameter);
  if (!budget) return val::null();
  std::vector<SaveRecord> records;
  const auto count = saves["length"].as<unsigned>();
  for (unsigned i = 0; i < count; ++i) {
    const val save = saves[i];
    SaveRecord record;
    record.output = save["output"].as<std::string>();
    record.flashBytes = Count(save["flashBytes"]);
    records.push_back(std::move(record));
  }
  val texts = val::array();
  for (const std::string& text : BudgetOverruns(*budget, records)) texts.call<void>("push", text);
  return texts;
}

// The manifest of a run, as the program writes it. run: { options, budget
// (-flashbudget's parameter, or "") }; saves: [{ output, input, commands,
// type, and a save's record }]; files: the bytes of every input and output
// by path, for their checksums (a path not there has none).
std::string ManifestOf(const val& run, const val& saves, const val& files) {
  ManifestRun manifest;
  std::optional<SharedSet> shared;
  if (!run["shared"].isNull() && !run["shared"].isUndefined()) {
    shared = run["shared"].as<SharedSet>();
    manifest.sharedPalette = &shared->run;
  }
  manifest.options = ToOutputOptions(run["options"].as<Options>());
  const auto budget = run["budget"].as<std::string>();
  if (!budget.empty()) manifest.budget = ParseFlashBudget(budget).value_or(FlashBudget{});
  std::vector<SaveRecord> records;
  const auto count = saves["length"].as<unsigned>();
  for (unsigned i = 0; i < count; ++i) {
    const val save = saves[i];
    SaveRecord record;
    record.output = save["output"].as<std::string>();
    record.input = save["input"].as<std::string>();
    record.commands = emscripten::vecFromJSArray<std::string>(save["commands"]);
    record.type = save["type"].as<std::string>();
    record.format = save["format"].isNull() ? 0 : save["format"].as<int>();
    record.palette = save["palette"].as<std::string>();
    record.pixelBytes = Count(save["pixelBytes"]);
    record.paletteBytes = Count(save["paletteBytes"]);
    record.flashBytes = Count(save["flashBytes"]);
    record.dtaBytes = Count(save["dtaBytes"]);
    records.push_back(std::move(record));
  }
  return ManifestJson(manifest, records, nullptr, [&files](const std::string& path, std::string* reason) {
    const val bytes = files.call<val>("get", path);
    if (bytes.isUndefined()) {
      if (reason != nullptr) *reason = "no such file";
      return std::optional<std::string>();
    }
    const std::vector<std::uint8_t> data = BytesOf(bytes);
    return std::optional<std::string>(sys::Sha256Hex(data.data(), data.size()));
  });
}

// { ok, text, set }. pictures: the run's pictures (null for one that could
// not be read); paletteData: a palette file's bytes, or null for the best
// palette of up to maxColors; identifier: "" without a palette C file.
val MakeSharedSet(const val& pictures, int maxColors, const val& paletteData, const std::string& paletteName,
                  const std::string& identifier, const Options& options) {
  const OutputOptions output = ToOutputOptions(options);
  SharedSet set;
  set.run.maxColors = maxColors;
  std::optional<PaletteRef> filePalette;
  if (!paletteData.isNull()) {
    const std::vector<std::uint8_t> bytes = BytesOf(paletteData);
    Result<Palette> palette = LoadPaletteFromMemory(bytes.data(), bytes.size());
    if (!palette) {
      val outcome = Failure(palette.code, palette.text);
      val said = val::array();
      for (const Message& m : palette.messages) {
        if (!m.warning) said.call<void>("push", m.text);
      }
      outcome.set("said", said);
      return outcome;
    }
    filePalette = palette.value;
    set.run.paletteFile = paletteName;
  }
  const bool fileKeepsTransparency = filePalette && filePalette->colours[0] >> 24 == 0xFF;
  const bool needTallies = !filePalette || (output.preserveTrans && !fileKeepsTransparency);
  std::vector<ColorTally> tallies;
  const auto count = pictures["length"].as<unsigned>();
  for (unsigned i = 0; needTallies && i < count; ++i) {
    if (pictures[i].isNull()) continue;
    const auto picture = pictures[i].as<Picture>();
    tallies.push_back(TallyColors(*ImageAccess::Get(picture.image())));
  }
  if (filePalette) {
    set.run.palette = SharedPaletteFromFile(*filePalette, tallies, output.preserveTrans);
  } else {
    set.run.palette = BuildSharedPalette(tallies, maxColors, output.preserveTrans);
  }
  if (!set.run.palette) return Failure(Code::kNoImage, "No image of the run has a pixel to build the shared palette of.");
  set.run.reference.identifier = identifier;
  set.run.reference.palette = set.run.palette->palette;
  set.run.reference.hasTrans = set.run.palette->hasTrans;
  val outcome = Outcome(Status{});
  outcome.set("set", set);
  return outcome;
}

// The C identifier a file of this path gets, or "" when it makes none.
std::string IdentifierOf(const std::string& path) {
  std::string identifier;
  sys::Context ctx;
  return MakeIdentifier(path, identifier, ctx) == 0 ? identifier : std::string();
}

// The picture at -sharedpalette's place: mapped onto the run's palette.
val MapToShared(const Picture& picture, const SharedSet& set, const Options& options) {
  sys::Context ctx;
  BitmapPtr mapped = MapToSharedPalette(*ImageAccess::Get(picture.image()), *set.run.palette, ToOutputOptions(options), ctx);
  Result<Image> made = ResultOf(ctx, mapped ? Code::kOk : ctx.LastFailure(), ImageAccess::Wrap(std::move(mapped)));
  return PictureOutcome(std::move(made));
}

// A C bitmap file of a shared-palette run (the picture fitted to FORMAT):
// a picture on the run's palette declares it instead of carrying one.
val WriteSharedC(const Picture& picture, int format, bool noPalette, const std::string& name, const Options& options,
                 const SharedSet& set) {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(kMaxPixelBytes);
  sys::MemorySink sink;
  OutputSpec spec{format, noPalette ? 1 : 0};
  spec.sharedPalette = &set.run.reference;
  const Bitmap& bitmap = *ImageAccess::Get(picture.image());
  WriteResult result = WriteImageFile(&bitmap, sink, name, spec, kOutputCBitmap, ToOutputOptions(options), ctx);
  val outcome = result.Ok() ? Outcome(Status{}) : Failure(result.code, result.text);
  outcome.set("said", ProgramLines(ctx.Messages()));
  if (!result.Ok()) return outcome;
  outcome.set("bytes", BytesToJs(sink.Bytes()));
  val record = SaveRecordOf(picture, kOutputCBitmap, format, noPalette, options);
  const std::optional<FormatSize> size = ComputeFormatSize(bitmap, format, ToOutputOptions(options), ctx);
  if (size && size->paletteBytes > 0 && UsesSharedPalette(bitmap, spec)) {
    record.set("palette", "shared");
    record.set("paletteBytes", 0);
    record.set("flashBytes", static_cast<double>(size->flashBytes - size->paletteBytes - kLogPaletteBytes));
  }
  outcome.set("record", record);
  return outcome;
}

// The run's palette as a palette file (G) or C (P), written once.
val WriteSharedPalette(const SharedSet& set, const std::string& kind, const std::string& name, const Options& options) {
  const PaletteRef& palette = set.run.palette->palette;
  sys::Context ctx;
  sys::MemorySink sink;
  sys::Code code = sys::Code::kOk;
  if (kind == "P") {
    OutBuffer out(sink);
    code = WriteCPaletteFile(out, palette, set.run.palette->hasTrans, name, ToOutputOptions(options), ctx);
    if (code == sys::Code::kOk && !OutComplete(out)) code = sys::Code::kIo;
  } else {
    code = SavePaletteFile(palette, sink);
  }
  if (code != sys::Code::kOk && ctx.Messages().empty()) ctx.Fail(code, "Could not write " + name);
  val outcome = Outcome(StatusOf(ctx, code));
  outcome.set("said", ProgramLines(ctx.Messages()));
  if (code != sys::Code::kOk) return outcome;
  outcome.set("bytes", BytesToJs(sink.Bytes()));
  val record = val::object();
  const bool counted = kind == "P";
  const std::int64_t table = std::int64_t{palette.count} * kPaletteEntryBytes;
  record.set("format", val::null());
  record.set("palette", "shared");
  record.set("pixelBytes", counted ? val(0) : val::null());
  record.set("paletteBytes", counted ? val(static_cast<double>(table)) : val::null());
  record.set("flashBytes", counted ? val(static_cast<double>(table + kLogPaletteBytes)) : val::null());
  record.set("dtaBytes", val::null());
  outcome.set("record", record);
  return outcome;
}

}  // namespace rastra::web

EMSCRIPTEN_BINDINGS(rastra_web) {
  using namespace emscripten;
  using rastra::web::Options;
  using rastra::web::Picture;
  class_<Picture>("Picture")
      .function("width", &Picture::Width)
      .function("height", &Picture::Height)
      .function("paletteSize", &Picture::PaletteSize)
      .function("hasAlpha", &Picture::HasAlpha)
      .function("hasTransparentEntry", &Picture::HasTransparentEntry)
      .function("rgba", &Picture::Rgba)
      .function("indices", &Picture::Indices)
      .function("pixel", &Picture::Pixel);
  value_object<Options>("Options")
      .field("useArgb", &Options::useArgb)
      .field("bigEndian", &Options::bigEndian)
      .field("preserveTrans", &Options::preserveTrans)
      .field("dither", &Options::dither)
      .field("maxOutputBytes", &Options::maxOutputBytes);
  value_object<rastra::web::ReadSettings>("ReadSettings")
      .field("applyGamma", &rastra::web::ReadSettings::applyGamma)
      .field("smoothChroma", &rastra::web::ReadSettings::smoothChroma)
      .field("applyOrientation", &rastra::web::ReadSettings::applyOrientation);
  function("load", &rastra::web::LoadPicture);
  function("loadWith", &rastra::web::LoadPictureWith);
  function("convert", &rastra::web::ConvertTo);
  function("toBestPalette", &rastra::web::BestPaletteOf);
  function("toBestPaletteWithTransparency", &rastra::web::BestPaletteWithTransparencyOf);
  function("toPaletteFile", &rastra::web::ToPaletteFile);
  function("reduceColors", &rastra::web::ReduceColorsTo);
  function("toTrueColor", &rastra::web::TrueColorOf);
  function("edit", &rastra::web::Edit);
  function("scale", &rastra::web::ScaleTo);
  function("setTransparentColor", &rastra::web::TransparentColor);
  function("defaultFormat", &rastra::web::DefaultFormatOf);
  function("fitToFormat", &rastra::web::FitTo);
  function("write", &rastra::web::WriteTo);
  function("writeAnimation", &rastra::web::WriteAnimationOf);
  function("writePalette", &rastra::web::WritePaletteOf);
  function("sizeReport", &rastra::web::SizeReportOf);
  function("budgetOverruns", &rastra::web::BudgetOverrunsOf);
  function("manifest", &rastra::web::ManifestOf);
  class_<rastra::web::SharedSet>("SharedSet");
  function("makeSharedSet", &rastra::web::MakeSharedSet);
  function("identifierOf", &rastra::web::IdentifierOf);
  function("mapToShared", &rastra::web::MapToShared);
  function("writeSharedC", &rastra::web::WriteSharedC);
  function("writeSharedPalette", &rastra::web::WriteSharedPalette);
}
