#include "app/LvglSave.h"

#include <cstdio>
#include <cstdlib>

#include "app/Commands.h"
#include "app/Parameters.h"
#include "app/Session.h"
#include "writers/LvglSizeReport.h"
#include "writers/LvglWriter.h"

namespace rastra {

namespace {

constexpr const char* kLvglUsage = "FNAME,8|9,CF[,RLE|LZ4][,ALIGN<N>][,PREMULTIPLY][,DITHER][,BG<RRGGBB>]";

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// Digits only, in the given base, within [low, high]; nullopt otherwise.
std::optional<long> NumberOf(const std::string& digits, int base, long low, long high) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(digits.c_str(), &end, base);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+' || value < low || value > high) return std::nullopt;
  return value;
}

bool ApplyOption(const std::string& word, LvglOptions& options, std::string& why) {
  if (word == "RLE" || word == "LZ4") {
    if (options.compression != LvglCompression::kNone) {
      why = "one compression: RLE or LZ4";
      return false;
    }
    options.compression = word == "RLE" ? LvglCompression::kRle : LvglCompression::kLz4;
  } else if (word == "PREMULTIPLY") {
    options.premultiply = true;
  } else if (word == "DITHER") {
    options.rgb565Dither = true;
  } else if (word.rfind("ALIGN", 0) == 0) {
    const auto align = NumberOf(word.substr(5), 10, 1, 255);
    if (!align) {
      why = "ALIGN takes 1 to 255 bytes";
      return false;
    }
    options.align = static_cast<int>(*align);
  } else if (word.rfind("BG", 0) == 0) {
    const auto colour = word.size() == 8 ? NumberOf(word.substr(2), 16, 0, 0xFFFFFF) : std::nullopt;
    if (!colour) {
      why = "BG takes a colour RRGGBB in hex";
      return false;
    }
    options.background = static_cast<std::uint32_t>(*colour);
  } else {
    why = "\"" + word + "\" is none of RLE, LZ4, ALIGN<N>, PREMULTIPLY, DITHER, BG<RRGGBB>";
    return false;
  }
  return true;
}

std::string RestOfParameter(CommandSession& session) {
  std::string rest;
  for (char c = ReadChar(session); c != 0; c = ReadChar(session)) rest += c;
  return rest;
}

}  // namespace

bool IsLvglType(int type) { return type == kOutputLvglC || type == kOutputLvglBin; }

std::optional<LvglOptions> ParseLvglSpec(const std::string& text, std::string& why) {
  LvglOptions options;
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
    } else if (!ApplyOption(word, options, why)) {
      return std::nullopt;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return options;
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
  std::optional<LvglOptions> options;
  if (ReadChar(session) != ',') {
    why = "the LVGL colour format (CF) is missing";
  } else {
    options = ParseLvglSpec(RestOfParameter(session), why);
  }
  if (!options) {
    session.ReportText("Illegal LVGL parameters: " + why + ".", kLvglUsage);
    return;
  }
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
      WriteLvglImage(*doc.current, *options, session.options, output->Output(), path, ctx, &sizes);
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
