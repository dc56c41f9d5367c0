// The page's door into Rastra's core: one function per core call, pictures
// as JavaScript objects, and every outcome as a plain object
// { ok, text, warnings, ... } the page shows as it is. The page keeps the
// order of the commands; each command is one call here.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "image/Bitmap.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/ImageOps.h"
#include "image/Palette.h"
#include "readers/GifDecoder.h"
#include "readers/ImageReaders.h"
#include "readers/PaletteFile.h"
#include "writers/AnimWriter.h"
#include "writers/ImageWriters.h"
#include "writers/SizeReport.h"
#include "writers/TextOutput.h"

namespace rastra::web {

using emscripten::val;

// A picture the page holds. It never changes: every operation makes a new
// one, so copies (JavaScript's handles) share the pixels. JavaScript deletes
// its handles when done.
class Picture {
 public:
  explicit Picture(BitmapPtr bitmap) : bitmap_(std::move(bitmap)) {}

  int Width() const { return bitmap_->XSize; }
  int Height() const { return bitmap_->YSize; }
  int PaletteSize() const { return bitmap_->NumColors; }
  bool HasAlpha() const { return bitmap_->NumColors == 0 && bitmap_->HasAlpha != 0; }
  bool HasTransparentEntry() const { return bitmap_->NumColors != 0 && bitmap_->HasTrans != 0; }

  // Red, green, blue and alpha bytes, top row first, for the page's canvas.
  val Rgba() const {
    const Bitmap& b = *bitmap_;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(b.XSize) * b.YSize * 4);
    std::uint8_t* out = rgba.data();
    for (int y = 0; y < b.YSize; ++y) {
      const std::uint8_t* row = b.Row(y);
      for (int x = 0; x < b.XSize; ++x, out += 4) {
        const Color c = b.NumColors != 0 ? Bitmap_GetPalColor(b, row[x]) : Bitmap_LoadColor(row + 4 * x);
        out[0] = static_cast<std::uint8_t>(c);
        out[1] = static_cast<std::uint8_t>(c >> 8);
        out[2] = static_cast<std::uint8_t>(c >> 16);
        out[3] = static_cast<std::uint8_t>(255 - (c >> 24));
      }
    }
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(rgba.size(), rgba.data()));
  }

  // { r, g, b, a, index } of the pixel at x, y (from the top left); index is
  // -1 for a true-colour picture.
  val Pixel(int x, int y) const {
    const Bitmap& b = *bitmap_;
    val pixel = val::object();
    if (x < 0 || y < 0 || x >= b.XSize || y >= b.YSize) return val::null();
    const std::uint8_t* row = b.Row(y);
    const int index = b.NumColors != 0 ? row[x] : -1;
    const Color c = index >= 0 ? Bitmap_GetPalColor(b, index) : Bitmap_LoadColor(row + 4 * x);
    pixel.set("r", static_cast<int>(c & 0xFF));
    pixel.set("g", static_cast<int>((c >> 8) & 0xFF));
    pixel.set("b", static_cast<int>((c >> 16) & 0xFF));
    pixel.set("a", static_cast<int>(255 - (c >> 24)));
    pixel.set("index", index);
    return pixel;
  }

  const Bitmap& bitmap() const { return *bitmap_; }
  // A copy the caller's operation may consume, with the transparent entry
  // the picture has, as an edit in place keeps it; null after the allocator
  // said why.
  BitmapPtr Copy(sys::Context& ctx) const {
    BitmapPtr copy = Bitmap_Copy(*bitmap_, ctx);
    if (copy) copy->HasTrans = bitmap_->HasTrans;
    return copy;
  }

 private:
  std::shared_ptr<const Bitmap> bitmap_;
};

struct Options {
  bool useArgb = false;
  bool bigEndian = false;
  bool preserveTrans = false;
};

OutputOptions ToOutputOptions(const Options& o) { return OutputOptions{o.useArgb, o.bigEndian, o.preserveTrans}; }

std::vector<std::uint8_t> BytesOf(const val& array) { return emscripten::convertJSArrayToNumberVector<std::uint8_t>(array); }

val BytesToJs(std::span<const std::uint8_t> bytes) {
  return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

// { ok, text, warnings }: text is the failure, warnings what the job said on
// its way (one per line).
val Outcome(const sys::Context& ctx, bool ok) {
  val outcome = val::object();
  std::string warnings;
  for (const sys::Message& m : ctx.Messages()) {
    if (m.warning) warnings += (warnings.empty() ? "" : "\n") + m.text;
  }
  outcome.set("ok", ok);
  outcome.set("text", ok ? std::string() : ctx.LastFailureText());
  outcome.set("warnings", warnings);
  return outcome;
}

// The outcome of an operation that makes a new picture.
val PictureOutcome(const sys::Context& ctx, BitmapPtr made) {
  const bool ok = made != nullptr;
  val outcome = Outcome(ctx, ok);
  if (ok) outcome.set("picture", Picture(std::move(made)));
  return outcome;
}

// The module's memory ends at 2 GiB, and a job holds its source, a copy and
// its result at once: no single block may pass a quarter of that (a picture
// of 8192 x 8192 true-colour pixels), so a picture too large for the page is
// refused with the allocator's message instead of ending the module.
constexpr std::uint64_t kMaxBlockBytes = std::uint64_t{256} << 20;

sys::Context JobContext() {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(kMaxBlockBytes);
  return ctx;
}

template <class Operation>
val Transform(const Picture& picture, Operation&& operation) {
  sys::Context ctx = JobContext();
  BitmapPtr copy = picture.Copy(ctx);
  if (!copy) return PictureOutcome(ctx, nullptr);
  return PictureOutcome(ctx, operation(std::move(copy), ctx));
}

// Reading ---------------------------------------------------------------------

// { ok, text, warnings, picture, fileType, frames }: frames counts the images
// of a GIF (an animation has more than one), 1 for any other file.
val Load(const val& data, const std::string& name) {
  const std::vector<std::uint8_t> bytes = BytesOf(data);
  sys::Context ctx = JobContext();
  ReadOptions options;
  options.limits.maxPixelBytes = kMaxBlockBytes;
  const int type = ChooseFileType(FileTypeFromExtension(name), bytes);
  if (type == kFileTypeNone) {
    ctx.Fail(sys::Code::kUnknownType, "Unsupported file type");
    return PictureOutcome(ctx, nullptr);
  }
  ReadResult read = LoadImageData(bytes, type, options, ctx);
  val outcome = PictureOutcome(ctx, std::move(read.image));
  outcome.set("fileType", type);
  int frames = 1;
  if (type == kFileTypeGif && outcome["ok"].as<bool>()) {
    GifInfo info;
    info.DataSize = static_cast<std::uint32_t>(bytes.size());
    sys::Context scan = JobContext();
    if (ParseGif(bytes, info, nullptr, 0, scan, options.limits) == 0) frames = static_cast<int>(info.NumFrames);
  }
  outcome.set("frames", frames);
  return outcome;
}

// Conversions and edits ---------------------------------------------------------

val Convert(const Picture& picture, int colorFormat, const Options& options) {
  if (colorFormat < 0 || colorFormat >= kColorFormatCount) {
    sys::Context ctx = JobContext();
    ctx.Fail(sys::Code::kBadArgument, "No such colour format");
    return PictureOutcome(ctx, nullptr);
  }
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) {
    return ConvertToFormat(std::move(b), GetColorFormat(colorFormat), ToOutputOptions(options), ctx);
  });
}

val ToBestPalette(const Picture& picture, const Options& options) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) {
    return ConvertToBestPalette(b, ToOutputOptions(options), ctx);
  });
}

val ToBestPaletteWithTransparency(const Picture& picture, const Options& options) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) {
    return ConvertToBestPaletteTrans(b, 0xFFFFFF, ToOutputOptions(options), ctx);
  });
}

// The colours of a palette file's bytes (.GUIPal).
val ToPaletteFile(const Picture& picture, const val& paletteData, const Options& options) {
  const std::vector<std::uint8_t> bytes = BytesOf(paletteData);
  sys::Context ctx = JobContext();
  PaletteRef palette;
  if (LoadPaletteData(bytes, palette, ctx) != 0) return PictureOutcome(ctx, nullptr);
  return Transform(picture, [&](BitmapPtr b, sys::Context& job) {
    return ConvertToPalette(palette, b, palette.count, true, ToOutputOptions(options), job);
  });
}

val ReduceColorsTo(const Picture& picture, int maxColors, const Options& options) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) {
    return ReduceColors(std::move(b), maxColors, ToOutputOptions(options), ctx);
  });
}

val ToTrueColor(const Picture& picture) {
  return Transform(picture, [](BitmapPtr b, sys::Context& ctx) { return Bitmap_ToTrueColor(std::move(b), ctx); });
}

// "fliph", "flipv", "rotate90cw", "rotate90ccw", "rotate180",
// "invertindices" and "invertpalette": the edits without a parameter.
val Edit(const Picture& picture, const std::string& edit) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) -> BitmapPtr {
    if (edit == "fliph") FlipH(*b);
    else if (edit == "flipv") FlipV(*b);
    else if (edit == "rotate90cw") return RotateCW(std::move(b), ctx);
    else if (edit == "rotate90ccw") return RotateCCW(std::move(b), ctx);
    else if (edit == "rotate180") Rotate180(*b);
    else if (edit == "invertindices") InvertIndices(*b, ctx);
    else if (edit == "invertpalette") InvertPalette(*b, ctx);
    else {
      ctx.Fail(sys::Code::kBadArgument, "No such edit: " + edit);
      return nullptr;
    }
    return b;
  });
}

val Scale(const Picture& picture, int width, int height) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) { return ScaleBitmap(std::move(b), width, height, ctx); });
}

// The first palette entry of colour 0xRRGGBB becomes the transparent entry 0.
val SetTransparentColor(const Picture& picture, int rgb) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) -> BitmapPtr {
    if (b->NumColors == 0) {
      ctx.Fail(sys::Code::kBadFormat, "Image has no palette: convert it into a palette first");
      return nullptr;
    }
    const Color wanted = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
    for (int i = 0; i < b->NumColors; ++i) {
      if ((Bitmap_GetPalColor(*b, i) & 0xFFFFFF) == wanted) {
        SetTransIndex(*b, i);
        return b;
      }
    }
    ctx.Fail(sys::Code::kBadArgument, "Color not found in palette: none of its " + std::to_string(b->NumColors) +
                                          " palette colors");
    return nullptr;
  });
}

// Saving ------------------------------------------------------------------------

int DefaultFormat(const Picture& picture) {
  const Bitmap& image = picture.bitmap();
  const int n = image.NumColors;
  if (n == 0) return image.HasAlpha != 0 ? 16 : 8;
  if (n <= 2) return 1;
  if (n <= 4) return 2;
  if (n <= 16) return 4;
  return 5;
}

// The picture as a save in format writes it: a palette picture becomes true
// colour for the FORMATs made of true-colour pixels, a picture whose palette
// does not fit a palette FORMAT is converted into a colour format that fits.
val FitToFormat(const Picture& picture, int format, const Options& options) {
  return Transform(picture, [&](BitmapPtr b, sys::Context& ctx) {
    const SaveStep step = SaveStepFor(format, *b);
    if (step.conversion == SaveConversion::kTrueColor) return Bitmap_ToTrueColor(std::move(b), ctx);
    if (step.conversion == SaveConversion::kColorFormat) {
      return ConvertToFormat(std::move(b), GetColorFormat(step.colorFormat), ToOutputOptions(options), ctx);
    }
    return b;
  });
}

// { ok, text, warnings, bytes, picture }: the file of TYPE 1 to 5; name makes
// the C identifier as a file name does. picture is set when the writer
// worked from a converted picture (GIF and PNG), which then becomes the
// current one, as on the command line.
val Write(const Picture& picture, int type, int format, bool noPalette, const std::string& name,
          const Options& options) {
  sys::Context ctx = JobContext();
  sys::MemorySink sink;
  const OutputSpec spec{format, noPalette ? 1 : 0};
  WriteResult result = WriteImageFile(&picture.bitmap(), sink, name, spec, type, ToOutputOptions(options), ctx);
  val outcome = Outcome(ctx, result.Ok());
  if (result.Ok()) outcome.set("bytes", BytesToJs(sink.Bytes()));
  if (result.replacement) outcome.set("picture", Picture(std::move(result.replacement)));
  return outcome;
}

// TYPE 6 or 7 of a GIF's bytes: every frame goes through editFrame(picture,
// index) (a function giving the edited picture, or null after a failure),
// is fitted to the FORMAT and written.
val WriteAnimation(const val& gifData, int type, int format, bool noPalette, const std::string& name,
                   const Options& options, const val& editFrame) {
  const std::vector<std::uint8_t> bytes = BytesOf(gifData);
  sys::Context ctx = JobContext();
  ReadLimits limits;
  limits.maxPixelBytes = kMaxBlockBytes;
  const OutputOptions output = ToOutputOptions(options);
  const OutputSpec spec{format, noPalette ? 1 : 0};
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(bytes.size());
  if (ParseGif(bytes, info, nullptr, 0, ctx, limits) != 0) return Outcome(ctx, false);
  if (info.NumFrames < 2) {
    ctx.Fail(sys::Code::kBadArgument, "GIF file is not animated.");
    return Outcome(ctx, false);
  }
  const auto count = static_cast<int>(info.NumFrames);
  std::vector<GifFrame> frames(static_cast<std::size_t>(count));
  sys::MemorySink sink;
  OutBuffer out(sink);
  AnimWriterState state;
  info.FirstGlobalFrame = -1;
  GifFrameReader reader(bytes, info, limits, ctx);
  if (!reader.ReadScreen()) return Outcome(ctx, false);
  for (int i = 0; i < count; ++i) {
    GifFrame& frame = frames[static_cast<std::size_t>(i)];
    if (reader.Next(frame, GifFrameReader::Mode::kDecode) != GifFrameReader::Step::kFrame || !frame.pBitmap) {
      return Outcome(ctx, false);
    }
    if (!editFrame.isUndefined() && !editFrame.isNull()) {
      val edited = editFrame(Picture(std::move(frame.pBitmap)), i);
      if (edited.isNull() || edited.isUndefined()) {
        ctx.Fail(sys::Code::kBadArgument, "frame " + std::to_string(i) + " could not be edited");
        return Outcome(ctx, false);
      }
      frame.pBitmap = edited.as<const Picture&>().Copy(ctx);
      edited.call<void>("delete");  // the handle the function gave is ours
      if (!frame.pBitmap) return Outcome(ctx, false);
    }
    const int fitting = FittingColorFormat(format, frame.pBitmap->NumColors);
    if (fitting >= 0) {
      frame.pBitmap = ConvertToFormat(std::move(frame.pBitmap), GetColorFormat(fitting), output, ctx);
      if (!frame.pBitmap) return Outcome(ctx, false);
    }
    if (WriteAnimFile(state, out, spec, info, name, count - i - 1, &frames, type, output, ctx) != 0) {
      return Outcome(ctx, false);
    }
    frame.pBitmap.reset();
    frame.ColorTable = {};
  }
  OutFlush(out);
  val outcome = Outcome(ctx, true);
  outcome.set("bytes", BytesToJs(sink.Bytes()));
  return outcome;
}

// { ok, text, rows, table, csv }: what each FORMAT costs; rows as objects with
// the fields of the command line's CSV.
val SizeReport(const Picture& picture, const Options& options) {
  sys::Context ctx = JobContext();
  std::vector<FormatSize> rows;
  const bool ok = ComputeSizeReport(picture.bitmap(), ToOutputOptions(options), rows, ctx) == sys::Code::kOk;
  val outcome = Outcome(ctx, ok);
  if (!ok) return outcome;
  val list = val::array();
  for (const FormatSize& row : rows) {
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
  outcome.set("table", SizeReportTable(picture.bitmap(), rows));
  outcome.set("csv", SizeReportCsv(rows));
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
      .function("pixel", &Picture::Pixel);
  value_object<Options>("Options")
      .field("useArgb", &Options::useArgb)
      .field("bigEndian", &Options::bigEndian)
      .field("preserveTrans", &Options::preserveTrans);
  function("load", &rastra::web::Load);
  function("convert", &rastra::web::Convert);
  function("toBestPalette", &rastra::web::ToBestPalette);
  function("toBestPaletteWithTransparency", &rastra::web::ToBestPaletteWithTransparency);
  function("toPaletteFile", &rastra::web::ToPaletteFile);
  function("reduceColors", &rastra::web::ReduceColorsTo);
  function("toTrueColor", &rastra::web::ToTrueColor);
  function("edit", &rastra::web::Edit);
  function("scale", &rastra::web::Scale);
  function("setTransparentColor", &rastra::web::SetTransparentColor);
  function("defaultFormat", &rastra::web::DefaultFormat);
  function("fitToFormat", &rastra::web::FitToFormat);
  function("write", &rastra::web::Write);
  function("writeAnimation", &rastra::web::WriteAnimation);
  function("sizeReport", &rastra::web::SizeReport);
}
