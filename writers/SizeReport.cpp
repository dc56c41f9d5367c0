#include "writers/SizeReport.h"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "writers/CBitmapWriter.h"
#include "writers/FormatRules.h"
#include "writers/RleEncoder.h"
#include "writers/WriterSupport.h"

namespace rastra {

namespace {

using PE = PixelEncoding;

// FORMATs that take a palette image's colours without a conversion step of
// the save; the report leaves them out for palette images (see the header).
bool TakesPaletteColoursAsTheyAre(int format) {
  return format == 15 || format == 18 || (format >= 25 && format <= 28);
}

// The images the rows are computed on, each made once and only when a row
// needs it: the source itself, its true-colour form, its conversions.
class PreparedImages {
 public:
  PreparedImages(const Bitmap& source, const OutputOptions& options, sys::Context& ctx)
      : source_(source), options_(options), ctx_(ctx) {}

  // Null after ctx recorded why the image could not be made.
  const Bitmap* For(const SaveStep& step) {
    switch (step.conversion) {
      case SaveConversion::kNone:
        return &source_;
      case SaveConversion::kTrueColor:
        if (!trueColor_) trueColor_ = writer_support::TrueColorCopy(source_, ctx_);
        return trueColor_.get();
      case SaveConversion::kColorFormat: {
        BitmapPtr& converted = converted_[static_cast<std::size_t>(step.colorFormat)];
        if (!converted) converted = ConvertToFormat(source_, GetColorFormat(step.colorFormat), options_, ctx_);
        return converted.get();
      }
    }
    return nullptr;
  }

 private:
  const Bitmap& source_;
  const OutputOptions& options_;
  sys::Context& ctx_;
  BitmapPtr trueColor_;
  std::array<BitmapPtr, kColorFormatCount> converted_;
};

// One tally per image and mode: RLE4 and RLE8, or RLE16 and RLE32, share it.
class Tallies {
 public:
  explicit Tallies(sys::Context& ctx) : ctx_(ctx) {}

  // Nothing after ctx recorded why the values did not fit in memory.
  std::optional<RleTally> For(const Bitmap& image, RleMode mode) {
    for (const Entry& entry : entries_) {
      if (entry.image == &image && entry.mode == mode) return entry.tally;
    }
    RleTally tally;
    if (!TallyRle(image, mode, tally, ctx_)) return std::nullopt;
    entries_.push_back({&image, mode, tally});
    return tally;
  }

 private:
  struct Entry {
    const Bitmap* image;
    RleMode mode;
    RleTally tally;
  };
  sys::Context& ctx_;
  std::vector<Entry> entries_;
};

struct DataSize {
  std::int64_t inC = 0;       // the C array
  std::int64_t inStream = 0;  // the stream's pixel data
};

// The C array and the stream hold the same encoded bytes; only an RLE array
// ends with a closing 0 the stream has not.
std::optional<DataSize> DataSizeOf(const FormatEntry& entry, const Bitmap& image, Tallies& tallies) {
  const std::int64_t width = image.XSize;
  const std::int64_t height = image.YSize;
  const std::int64_t pixels = width * height;
  const auto plain = [](std::int64_t bytes) { return DataSize{bytes, bytes}; };
  const auto rle = [&](RleMode mode, int valueBytes, bool nibbles) -> std::optional<DataSize> {
    const std::optional<RleTally> tally = tallies.For(image, mode);
    if (!tally) return std::nullopt;
    const std::int64_t bytes = tally->DataBytes(valueBytes, nibbles);
    return DataSize{bytes + 1, bytes};
  };
  switch (entry.encoding) {
    case PE::PackedIndex: return plain(height * ((width * entry.bitsPerPixel + 7) / 8));
    case PE::RleIndex: return rle(RleMode::Index, 1, entry.bitsPerPixel == 4);
    case PE::RleAlpha: return rle(RleMode::Transparency, 1, false);
    case PE::Rle16: return rle(RleMode::Index, 2, false);
    case PE::Rle32: return rle(RleMode::Index, 4, false);
    case PE::Code16: return plain(2 * pixels);
    case PE::Rgb24:
    case PE::AlphaCode16: return plain(3 * pixels);
    case PE::Color32:
    case PE::Color32Swapped:
    case PE::Color32Both: return plain(4 * pixels);
  }
  return plain(0);
}

std::string FormatName(const FormatEntry& entry) {
  // FORMAT 17 is accepted but listed in no help text.
  return entry.helpText != nullptr ? entry.helpText : "True color (24bpp)";
}

std::optional<FormatSize> RowFor(const FormatEntry& entry, const SaveStep& step, PreparedImages& prepared,
                                 Tallies& tallies) {
  const Bitmap* image = prepared.For(step);
  if (image == nullptr) return std::nullopt;
  const std::optional<DataSize> data = DataSizeOf(entry, *image, tallies);
  if (!data) return std::nullopt;
  FormatSize row;
  row.format = entry.code;
  row.name = FormatName(entry);
  row.bitsPerPixel = entry.bitsPerPixel;
  row.step = step;
  row.pixelBytes = data->inC;
  row.paletteBytes = std::int64_t{image->NumColors} * kPaletteEntryBytes;
  const std::int64_t paletteStructure = image->NumColors != 0 ? kLogPaletteBytes : 0;
  row.flashBytes = row.pixelBytes + row.paletteBytes + paletteStructure + kBitmapStructBytes;
  if (entry.encoding != PE::Color32Both) row.streamBytes = kStreamHeaderBytes + row.paletteBytes + data->inStream;
  row.alphaOnly = entry.encoding == PE::RleAlpha;
  return row;
}

bool CarriesTransparency(PixelEncoding encoding) {
  switch (encoding) {
    case PE::Rle32:
    case PE::Color32:
    case PE::Color32Swapped:
    case PE::Color32Both:
    case PE::AlphaCode16: return true;
    default: return false;
  }
}

// Whether a save keeps the picture as the user sees it: no conversion into
// fewer colours first, more than the alpha channel, and the alpha channel of
// an image that has one.
bool KeepsPicture(const FormatSize& row, const Bitmap& image) {
  if (row.step.conversion == SaveConversion::kColorFormat || row.alphaOnly) return false;
  const bool hasAlpha = image.NumColors == 0 && image.HasAlpha != 0;
  return !hasAlpha || CarriesTransparency(FindFormat(row.format)->encoding);
}

void MarkSmallest(std::vector<FormatSize>& rows, const Bitmap& image) {
  FormatSize* smallest = nullptr;
  for (FormatSize& row : rows) {
    if (KeepsPicture(row, image) && (smallest == nullptr || row.flashBytes < smallest->flashBytes)) smallest = &row;
  }
  if (smallest != nullptr) smallest->smallest = true;
}

// ------------------------------------------------------------ text forms

std::string Padded(std::string text, std::size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

std::string StreamText(const FormatSize& row) {
  return row.streamBytes ? std::to_string(*row.streamBytes) : std::string("-");
}

std::string NoteOf(const FormatSize& row) {
  if (row.alphaOnly) return "alpha channel only";
  if (row.step.conversion == SaveConversion::kNone) return "";
  return "converts to " + ConversionName(row.step) + " first";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string ImageDescription(const Bitmap& image) {
  std::string text = std::to_string(image.XSize) + " x " + std::to_string(image.YSize) + " image, ";
  if (image.NumColors == 0) return text + "true color" + (image.HasAlpha != 0 ? " with alpha" : "");
  return text + std::to_string(image.NumColors) + " palette colors";
}

}  // namespace

std::string ConversionName(const SaveStep& step) noexcept try {
  switch (step.conversion) {
    case SaveConversion::kNone: return "";
    case SaveConversion::kTrueColor: return "true color";
    case SaveConversion::kColorFormat: return GetColorFormat(step.colorFormat).Name();
  }
  return "";
} catch (const std::bad_alloc&) {
  return {};
}

sys::Code ComputeSizeReport(const Bitmap& image, const OutputOptions& options, std::vector<FormatSize>& rows,
                            sys::Context& ctx) {
  rows.clear();
  PreparedImages prepared(image, options, ctx);
  Tallies tallies(ctx);
  const bool paletteImage = image.NumColors != 0;
  const auto& formats = FormatTable();
  const std::size_t count = static_cast<std::size_t>(std::count_if(formats.begin(), formats.end(), [&](const FormatEntry& e) {
    return !paletteImage || !TakesPaletteColoursAsTheyAre(e.code);
  }));
  for (const FormatEntry& entry : formats) {
    if (paletteImage && TakesPaletteColoursAsTheyAre(entry.code)) continue;
    // A large picture takes a while per FORMAT; the count says how far it is.
    if (ctx.WantsProgress()) {
      ctx.Progress("Counting the bytes of FORMAT " + std::to_string(entry.code) + ", " +
                   std::to_string(rows.size() + 1) + "/" + std::to_string(count));
    }
    const std::optional<FormatSize> row = RowFor(entry, SaveStepFor(entry.code, image), prepared, tallies);
    if (!row) {
      rows.clear();
      return sys::Code::kOutOfMemory;
    }
    rows.push_back(*row);
  }
  MarkSmallest(rows, image);
  return sys::Code::kOk;
}

std::optional<FormatSize> ComputeFormatSize(const Bitmap& image, int format, const OutputOptions& options,
                                            sys::Context& ctx) {
  const FormatEntry* entry = FindFormat(format);
  if (entry == nullptr) return std::nullopt;
  SaveStep step = SaveStepFor(format, image);
  // The C writer takes a palette image's colours for these FORMATs itself.
  const bool paletteData = entry->encoding == PE::PackedIndex || entry->encoding == PE::RleIndex ||
                           entry->encoding == PE::RleAlpha;
  if (step.conversion == SaveConversion::kNone && image.NumColors != 0 && !paletteData) {
    step.conversion = SaveConversion::kTrueColor;
  }
  PreparedImages prepared(image, options, ctx);
  Tallies tallies(ctx);
  return RowFor(*entry, step, prepared, tallies);
}

std::string SizeReportHeading(const Bitmap& image) { return "Bytes per FORMAT for this " + ImageDescription(image); }

SizeReportLine SizeReportHeaders() {
  return {"FORMAT", "Name", "BPP", "Pixel data", "Palette", "C flash", ".dta", "Note"};
}

SizeReportLine SizeReportCells(const FormatSize& row) {
  return {std::to_string(row.format),       row.name,
          std::to_string(row.bitsPerPixel), std::to_string(row.pixelBytes),
          std::to_string(row.paletteBytes), std::to_string(row.flashBytes),
          StreamText(row),                  NoteOf(row)};
}

std::string SizeReportFootnote() {
  return "C flash: data array, palette table and the GUI_LOGPALETTE (12) and GUI_BITMAP (20) structures on a "
         "32-bit target.\n"
         "* the smallest C file that keeps the picture: no conversion to fewer colors, not the alpha channel "
         "alone, and the alpha channel of an image that has one.";
}

std::string SizeReportTable(const Bitmap& image, const std::vector<FormatSize>& rows) {
  const SizeReportLine headers = SizeReportHeaders();
  std::vector<SizeReportLine> cells;
  for (const FormatSize& row : rows) cells.push_back(SizeReportCells(row));
  std::array<std::size_t, kSizeReportColumns> widths{};
  for (std::size_t c = 0; c < widths.size(); ++c) {
    widths[c] = headers[c].size();
    for (const SizeReportLine& line : cells) widths[c] = std::max(widths[c], line[c].size());
  }
  // Numbers and the FORMAT code stand right-aligned, the texts left-aligned.
  constexpr std::array<bool, kSizeReportColumns> kRight = {true, false, true, true, true, true, true, false};
  const auto line = [&](const char* mark, const SizeReportLine& texts) {
    std::string text = mark;
    for (std::size_t c = 0; c < widths.size(); ++c) text += "  " + Padded(texts[c], widths[c], kRight[c]);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text + "\n";
  };
  std::string text = SizeReportHeading(image) + "\n" + line(" ", headers);
  for (std::size_t i = 0; i < rows.size(); ++i) text += line(rows[i].smallest ? "*" : " ", cells[i]);
  return text + SizeReportFootnote() + "\n";
}

std::string SizeReportCsv(const std::vector<FormatSize>& rows) noexcept try {
  std::string text =
      "format,name,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,dta_bytes,converts_to,smallest\n";
  for (const FormatSize& row : rows) {
    text += std::to_string(row.format) + "," + CsvField(row.name) + "," + std::to_string(row.bitsPerPixel) + "," +
            std::to_string(row.pixelBytes) + "," + std::to_string(row.paletteBytes) + "," +
            std::to_string(row.flashBytes) + "," + (row.streamBytes ? std::to_string(*row.streamBytes) : "") + "," +
            CsvField(ConversionName(row.step)) + "," + (row.smallest ? "1" : "0") + "\n";
  }
  return text;
} catch (const std::bad_alloc&) {
  return {};  // no memory for the text: nothing to print
}

}  // namespace rastra
