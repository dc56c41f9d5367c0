#include "writers/LvglSizeReport.h"

#include <algorithm>
#include <array>

#include "writers/LvglPixels.h"
#include "writers/LvglWriter.h"
#include "writers/Lz4Block.h"

namespace rastra {

namespace {

constexpr std::array<LvglFormat, 18> kFormats = {
    LvglFormat::kL8,       LvglFormat::kI1,       LvglFormat::kI2,       LvglFormat::kI4,
    LvglFormat::kI8,       LvglFormat::kA1,       LvglFormat::kA2,       LvglFormat::kA4,
    LvglFormat::kA8,       LvglFormat::kRGB888,   LvglFormat::kARGB8888, LvglFormat::kXRGB8888,
    LvglFormat::kRGB565,   LvglFormat::kARGB8565, LvglFormat::kRGB565A8, LvglFormat::kAL88,
    LvglFormat::kARGB8888Premultiplied, LvglFormat::kRGB565Swapped};

constexpr std::int64_t kHeaderBytes = 12;

std::string OrDash(const std::optional<std::int64_t>& v) { return v ? std::to_string(*v) : "-"; }
std::string OrEmpty(const std::optional<std::int64_t>& v) { return v ? std::to_string(*v) : ""; }

std::string Padded(const std::string& text, std::size_t width, bool right) {
  const std::string fill(width > text.size() ? width - text.size() : 0, ' ');
  return right ? fill + text : text + fill;
}

}  // namespace

sys::Code ComputeLvglSizeReport(const Bitmap& image, const OutputOptions& options, std::vector<LvglSizeRow>& rows,
                                sys::Context& ctx) {
  rows.clear();
  const LvglPicture picture = LvglPictureOf(image);
  for (const LvglFormat format : kFormats) {
    LvglOptions o;
    o.format = format;
    LvglData data;
    if (MakeLvglData(picture, o, options, data, ctx) != sys::Code::kOk) return ctx.LastFailure();
    LvglSizeRow row;
    row.format = format;
    row.bitsPerPixel = LvglBitsPerPixel(format) + (format == LvglFormat::kRGB565A8 ? 8 : 0);
    row.paletteBytes = LvglIsIndexed(format) ? (std::int64_t{4} << LvglBitsPerPixel(format)) : 0;
    row.pixelBytes = static_cast<std::int64_t>(data.bytes.size()) - row.paletteBytes;
    row.flashBytes = static_cast<std::int64_t>(data.bytes.size()) + LvglSizes::kLvglDescriptorBytes;
    row.binBytes = static_cast<std::int64_t>(data.bytes.size()) + kHeaderBytes;
    std::vector<std::uint8_t> stored;
    if (LvglStoredData(data, LvglCompression::kRle, stored, ctx) == sys::Code::kOk) {
      row.rleBytes = static_cast<std::int64_t>(stored.size()) + kHeaderBytes;
    }
    if (Lz4Available() && LvglStoredData(data, LvglCompression::kLz4, stored, ctx) == sys::Code::kOk) {
      row.lz4Bytes = static_cast<std::int64_t>(stored.size()) + kHeaderBytes;
    }
    rows.push_back(row);
  }
  return sys::Code::kOk;
}

std::string LvglSizeReportTable(const Bitmap& image, const std::vector<LvglSizeRow>& rows) {
  using Line = std::array<std::string, 8>;
  std::vector<Line> lines = {{"LVGL CF", "Bits", "Pixel data", "Palette", "C flash", ".bin", "RLE .bin", "LZ4 .bin"}};
  for (const LvglSizeRow& r : rows) {
    lines.push_back({LvglFormatName(r.format), std::to_string(r.bitsPerPixel), std::to_string(r.pixelBytes),
                     std::to_string(r.paletteBytes), std::to_string(r.flashBytes), std::to_string(r.binBytes),
                     OrDash(r.rleBytes), OrDash(r.lz4Bytes)});
  }
  std::array<std::size_t, 8> widths{};
  for (const Line& line : lines) {
    for (std::size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(widths[c], line[c].size());
  }
  std::string text = "LVGL v9 sizes of the " + std::to_string(image.XSize) + " x " + std::to_string(image.YSize) +
                     " image, in bytes\n";
  for (const Line& line : lines) {
    std::string out;
    for (std::size_t c = 0; c < widths.size(); ++c) out += "  " + Padded(line[c], widths[c], c != 0);
    text += out + "\n";
  }
  return text + "C flash: the map and the lv_image_dsc_t on a 32-bit target, uncompressed, rows not aligned.\n";
}

std::string LvglSizeReportCsv(const std::vector<LvglSizeRow>& rows) {
  std::string text = "format,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,bin_bytes,rle_bin_bytes,lz4_bin_bytes\n";
  for (const LvglSizeRow& r : rows) {
    text += std::string(LvglFormatName(r.format)) + "," + std::to_string(r.bitsPerPixel) + "," +
            std::to_string(r.pixelBytes) + "," + std::to_string(r.paletteBytes) + "," + std::to_string(r.flashBytes) +
            "," + std::to_string(r.binBytes) + "," + OrEmpty(r.rleBytes) + "," + OrEmpty(r.lz4Bytes) + "\n";
  }
  return text;
}

}  // namespace rastra
