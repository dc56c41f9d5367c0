#include "writers/OutputSize.h"

#include "writers/CBitmapWriter.h"

namespace rastra {

namespace {

using PE = PixelEncoding;

// Banner, structures, palette tables (two variants of 256 entries of at most
// 12 characters), comments and an identifier of up to 259 characters named
// a dozen times: far less than this.
constexpr std::uint64_t kFixedBytes = std::uint64_t{64} * 1024;
// A wrapped line holds at least 254 - 8 - 18 characters of elements before
// its line end and indent (10 bytes) start the next: at most 5 % more.
constexpr std::uint64_t WithWraps(std::uint64_t text) { return text + text / 20 + 16; }
// An RLE item (a run or an absolute block) covers at least one pixel; with
// its comment and the values of its one pixel it takes less than this.
constexpr std::uint64_t kRleTextPerPixel = 128;
constexpr std::uint64_t kRleBytesPerPixel = 2 + 4;  // a block header and a 32-bit value

// Characters of one pixel's element with its separator in a C row.
std::uint64_t ElementText(PixelEncoding encoding) {
  switch (encoding) {
    case PE::Code16: return 8;           // "0x1234, "
    case PE::Rgb24: return 18;           // "0x12, 0x34, 0x56, "
    case PE::AlphaCode16: return 16;     // "0x12,0x34,0x56, "
    case PE::Color32:
    case PE::Color32Swapped: return 12;  // "0x12345678, "
    case PE::Color32Both: return 24;     // both variants
    default: return 0;
  }
}

std::uint64_t PackedRowBytes(std::uint64_t width, int bits) { return (width * static_cast<std::uint64_t>(bits) + 7) / 8; }

std::uint64_t CBound(const FormatEntry& entry, std::uint64_t width, std::uint64_t height) {
  if (entry.compressed) return kFixedBytes + width * height * kRleTextPerPixel;
  // "  " and ",\r\n" around each row.
  const std::uint64_t row = entry.encoding == PE::PackedIndex
                                ? PackedRowBytes(width, entry.bitsPerPixel) * (entry.bitsPerPixel == 1 ? 10 : 6)
                                : width * ElementText(entry.encoding);
  return kFixedBytes + height * WithWraps(row + 5);
}

std::uint64_t StreamBound(const FormatEntry& entry, std::uint64_t width, std::uint64_t height) {
  if (entry.compressed) return kFixedBytes + width * height * kRleBytesPerPixel;
  if (entry.encoding == PE::PackedIndex) return kFixedBytes + height * PackedRowBytes(width, entry.bitsPerPixel);
  return kFixedBytes + height * width * static_cast<std::uint64_t>((entry.bitsPerPixel + 7) / 8);
}

}  // namespace

std::uint64_t OutputBytesBound(const Bitmap& bitmap, const OutputSpec& spec, int type) {
  const auto width = static_cast<std::uint64_t>(bitmap.XSize > 0 ? bitmap.XSize : 0);
  const auto height = static_cast<std::uint64_t>(bitmap.YSize > 0 ? bitmap.YSize : 0);
  const FormatEntry* entry = FindFormat(spec.Format);
  switch (type) {
    case kOutputCBitmap: return entry != nullptr ? CBound(*entry, width, height) : kFixedBytes;
    case kOutputCStream: return entry != nullptr ? StreamBound(*entry, width, height) : kFixedBytes;
    case kOutputBmp: return kFixedBytes + height * (4 * width + 4);
    // 12-bit codes, a clear code now and then and a length byte per 255.
    case kOutputGif: return kFixedBytes + width * height * 2;
    // Four bytes and a filter byte per pixel at worst, in stored deflate
    // blocks and IDAT chunks that add far less than 1 %.
    case kOutputPng: return kFixedBytes + WithWraps(height * (4 * width + 1));
    default: return kFixedBytes;
  }
}

sys::Code CheckOutputSize(const Bitmap& bitmap, const std::string& path, const OutputSpec& spec, int type,
                          const OutputOptions& options, sys::Context& ctx) {
  const std::uint64_t limit = options.maxOutputBytes;
  if (OutputBytesBound(bitmap, spec, type) <= limit) return sys::Code::kOk;
  std::uint64_t bytes = 0;
  // A save that fails anyway says so itself, in its own words.
  if (CountOutputBytes(bitmap, path, spec, type, options, bytes, ctx) != sys::Code::kOk) return sys::Code::kOk;
  if (bytes <= limit) return sys::Code::kOk;
  return ctx.Fail(sys::Code::kLimit, OutputTooLargeText(bytes, limit));
}

std::string OutputTooLargeText(std::uint64_t bytes, std::uint64_t limit, bool atLeast) {
  return std::string("Output would be ") + (atLeast ? "at least " : "") + GroupedNumber(bytes) +
         " bytes, more than the limit of " + GroupedNumber(limit) + " bytes";
}

std::string GroupedNumber(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  grouped.reserve(digits.size() + digits.size() / 3);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace rastra
