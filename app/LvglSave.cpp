#include "app/LvglSave.h"

#include <cstdio>
#include <cstdlib>

#include "app/Commands.h"
#include "app/Parameters.h"
#include "app/Session.h"
#include "api/GifAnimation.h"
#include "readers/GifDecoder.h"
#include "writers/ImageWriters.h"
#include "writers/LvglSizeReport.h"
#include "writers/LvglWriter.h"

namespace rastra {

namespace {

constexpr const char* kLvglUsage =
    "FNAME,8|9,CF[,RLE|LZ4][,ALIGN<N>][,PREMULTIPLY][,DITHER][,BG<RRGGBB>][,FRAMES]";

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// Digits only, in the given base, within [low, high]; nullopt otherwise.
std::optional<int> NumberOf(const std::string& digits, int base, int low, int high) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(digits.c_str(), &end, base);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+' || value < low || value > high) return std::nullopt;
  return static_cast<int>(value);
}

bool ApplyOption(const std::string& word, LvglOptions& options, bool& frames, std::string& why) {
  if (word == "RLE" || word == "LZ4") {
    if (options.compression != LvglCompression::kNone) {
      why = "one compression: RLE or LZ4";
      return false;
    }
    options.compression = word == "RLE" ? LvglCompression::kRle : LvglCompression::kLz4;
  } else if (bool* flag = word == "PREMULTIPLY" ? &options.premultiply
                          : word == "DITHER"    ? &options.rgb565Dither
                          : word == "FRAMES"    ? &frames
                                                : nullptr) {
    *flag = true;
  } else if (word.rfind("ALIGN", 0) == 0) {
    const auto align = NumberOf(word.substr(5), 10, 1, 255);
    if (!align) {
      why = "ALIGN takes 1 to 255 bytes";
      return false;
    }
    options.align = *align;
  } else if (word.rfind("BG", 0) == 0) {
    const auto colour = word.size() == 8 ? NumberOf(word.substr(2), 16, 0, 0xFFFFFF) : std::nullopt;
    if (!colour) {
      why = "BG takes a colour RRGGBB in hex";
      return false;
    }
    options.background = static_cast<std::uint32_t>(*colour);
  } else {
    why = "\"" + word + "\" is none of RLE, LZ4, ALIGN<N>, PREMULTIPLY, DITHER, BG<RRGGBB>, FRAMES";
    return false;
  }
  return true;
}

std::string RestOfParameter(CommandSession& session) {
  std::string rest;
  for (char c = ReadChar(session); c != 0; c = ReadChar(session)) rest += c;
  return rest;
}

// Every frame of the opened GIF, edited as the image was, as one C file:
// each frame its own image <name>_<i>, then the array of them.
sys::Code WriteLvglFrames(CommandSession& session, LvglOptions options, sys::ByteSink& sink, const std::string& path,
                          sys::Context& ctx, LvglSizes& sizes) {
  const auto& gif = session.doc.sourceBytes;
  if (!gif || !HasGifSignature(*gif)) return ctx.Fail(sys::Code::kBadArgument, "FRAMES need an opened GIF file");
  const std::string name = LvglIdentifierOf(path);
  GifInfo info;
  if (ScanAnimation(*gif, info, session.readOptions.limits, ctx) == AnimationScan::kUnreadable) {
    return ctx.LastFailure();
  }
  info.FirstGlobalFrame = -1;
  GifFrameReader reader(*gif, info, session.readOptions.limits, ctx);
  if (!reader.ReadScreen()) return ctx.LastFailure();
  std::string text = LvglCPrologue();
  std::vector<std::uint32_t> delays;
  for (;;) {
    GifFrame frame;
    const GifFrameReader::Step step = reader.Next(frame, GifFrameReader::Mode::kDecode);
    if (step == GifFrameReader::Step::kEnd) break;
    if (step != GifFrameReader::Step::kFrame || !frame.pBitmap) return ctx.LastFailure();
    const int index = static_cast<int>(delays.size());
    BitmapPtr edited = EditFrame(session, std::move(frame.pBitmap), index);
    if (!edited) return ctx.Fail(sys::Code::kBadArgument, "frame " + std::to_string(index) + " could not be edited");
    LvglData data;
    std::vector<std::uint8_t> stored;
    if (MakeLvglData(LvglPictureOf(*edited), options, session.options, data, ctx) != sys::Code::kOk ||
        LvglStoredData(data, options.compression, stored, ctx) != sys::Code::kOk) {
      return ctx.LastFailure();
    }
    text += LvglCImage(data, options.compression, stored, name + "_" + std::to_string(index));
    const std::int64_t palette = LvglIsIndexed(data.format) ? (std::int64_t{4} << LvglBitsPerPixel(data.format)) : 0;
    sizes.paletteBytes += palette;
    sizes.pixelBytes += static_cast<std::int64_t>(data.bytes.size()) - palette;
    sizes.storedBytes += static_cast<std::int64_t>(stored.size()) + LvglSizes::kLvglDescriptorBytes + 4;
    delays.push_back(frame.Delay);
  }
  text += LvglCAnimationTable(name, delays);
  sizes.storedBytes += static_cast<std::int64_t>(delays.size()) * 4 + 8 - LvglSizes::kLvglDescriptorBytes;
  if (text.size() > session.options.maxOutputBytes) {
    return ctx.Fail(sys::Code::kLimit, "the LVGL file would pass the largest file a save may write");
  }
  if (!sink.Write(text.data(), text.size())) return ctx.Fail(sys::Code::kIo, CouldNotWriteText(path));
  return sys::Code::kOk;
}

}  // namespace

bool IsLvglType(int type) { return type == kOutputLvglC || type == kOutputLvglBin; }

std::optional<LvglSpec> ParseLvglSpec(const std::string& text, std::string& why) {
  LvglSpec spec;
  LvglOptions& options = spec.options;
  std::size_t start = 0;
  bool first = true;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string word = Upper(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (first) {
      if (!LvglFormatOfName(word, options.format)) {
        why = word.empty() ? "the LVGL colour format (CF) is missing" : "\"" + word + "\" is not an LVGL colour format";
        return std::nullopt;
      }
      first = false;
    } else if (!ApplyOption(word, options, spec.frames, why)) {
      return std::nullopt;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return spec;
}

void LvglSizeReportCommand(CommandSession& session, bool csv) {
  std::vector<LvglSizeRow> rows;
  sys::Context ctx = MakeJobContext();
  const sys::Code code = ComputeLvglSizeReport(*session.doc.current, session.options, rows, ctx);
  session.ReportJob(ctx);
  if (code != sys::Code::kOk) return;
  const std::string text = csv ? LvglSizeReportCsv(rows) : LvglSizeReportTable(*session.doc.current, rows);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void SaveLvglCommand(CommandSession& session, const std::string& name, int type) {
  ImageDocument& doc = session.doc;
  std::string why;
  // Without the ',' there is no CF, which the parse of nothing says.
  const bool comma = ReadChar(session) == ',';
  std::optional<LvglSpec> spec = ParseLvglSpec(comma ? RestOfParameter(session) : std::string(), why);
  if (spec && spec->frames && type != kOutputLvglC) why = "FRAMES are written as C source (TYPE 8)";
  if (!spec || !why.empty()) {
    session.ReportText("Illegal LVGL parameters: " + why + ".", kLvglUsage);
    return;
  }
  LvglOptions* options = &spec->options;
  options->container = type == kOutputLvglC ? LvglContainer::kCSource : LvglContainer::kBinary;
  const std::string path = CompleteOutputPath(ExpandBaseName(name, session.imageBaseName), type, doc.sourcePath);
  const SubjectScope subject(session, path);
  std::string reason;
  auto output = sys::SafeOutputFile::Create(path, &reason);
  if (!output) {
    session.ReportText("Could not create file " + path, reason);
    return;
  }
  sys::Context ctx = MakeJobContext();
  LvglSizes sizes;
  const sys::Code code =
      spec->frames ? WriteLvglFrames(session, *options, output->Output(), path, ctx, sizes)
                   : WriteLvglImage(*doc.current, *options, session.options, output->Output(), path, ctx, &sizes);
  session.ReportJob(ctx);
  if (code != sys::Code::kOk) return;
  if (!session.sink.Commit(std::move(*output), session.WithSubjects(TextEntry(CouldNotWriteText(path)), {}))) return;
  if (session.recordSaves) {
    SaveRecord record;
    record.output = path;
    record.input = session.imagePath;
    record.commands = session.ran;
    record.type = std::to_string(type);
    record.palette = sizes.paletteBytes > 0 ? "own" : "none";
    record.pixelBytes = sizes.pixelBytes;
    record.paletteBytes = sizes.paletteBytes;
    // A .bin is read from a file system at run time; a C file is flash.
    if (type == kOutputLvglC) record.flashBytes = sizes.FlashBytes();
    session.saves.push_back(std::move(record));
  }
}

}  // namespace rastra
