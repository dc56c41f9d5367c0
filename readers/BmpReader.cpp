#include "readers/BmpReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace rastra {


namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;  // RLE24 in OS/2 files
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;  // bit fields of red, green, blue and alpha

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kMinInfoHeaderSize = 16;  // up to the bit count
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMasksEnd = kInfoHeaderSize + 12;
constexpr std::uint32_t kAlphaMaskEnd = kMasksEnd + 4;  // headers from 56 bytes on hold an alpha mask
constexpr std::uint16_t kBmpSignature = 0x4D42;

// A cut file is decoded as far as its rows go, but a header claiming more than
// this many times the pixel data present describes no real picture; refusing it
// keeps a tiny file from allocating a huge image.
constexpr std::uint64_t kMaxShortfallFactor = 8;
// RLE and SBMP data may leave pixels unset (deltas, an early end, runs that
// stop short), so what they fill is counted record by record: beyond this
// size a picture must be filled to an eighth, whatever padding surrounds the
// records that fill it.
constexpr std::uint64_t kAlwaysPlausiblePixels = 1u << 20;
constexpr std::uint32_t kRleCountWhenZero = 1000000;

constexpr std::size_t kSbmpHeaderSize = 8;
constexpr std::uint64_t kSbmpMaxRun = 0xFFFF;  // pixels of one run record

std::uint16_t GetU16(Bytes d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

std::uint32_t GetU32(Bytes d, std::size_t at) {
  return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

using sys::Code;

ReadResult Fail(sys::Context& ctx, Code code, const std::string& text) {
  return ReadResult::Failure(ctx, code, text);
}

Color Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return red | (green << 8) | (blue << 16);
}

// ---------------------------------------------------------------------------
// Info header

struct DibHeader {
  std::uint32_t size = 0;  // the colour table starts this many bytes into the block
  std::int64_t width = 0;
  std::int64_t height = 0;  // number of rows, always positive
  bool topDown = false;
  int bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  std::size_t tableEntryBytes = 4;  // 3 in the core header
};

std::optional<DibHeader> ReadCoreHeader(Bytes info, sys::Context& ctx) {
  if (info.size() < kCoreHeaderSize) {
    ctx.Fail(Code::kTruncated, "File too short (incomplete BITMAPCOREHEADER)");
    return std::nullopt;
  }
  DibHeader h;
  h.size = kCoreHeaderSize;
  h.width = GetU16(info, 4);
  h.height = GetU16(info, 6);
  h.bitCount = GetU16(info, 10);
  h.tableEntryBytes = 3;
  return h;
}

// Larger headers are read in the 40-byte layout; shorter ones (OS/2 2.x) end
// early and leave the missing fields 0.
std::optional<DibHeader> ReadHeader(Bytes info, sys::Context& ctx) {
  if (info.size() < 4) {
    ctx.Fail(Code::kTruncated, "File too short (incomplete BITMAPINFOHEADER)");
    return std::nullopt;
  }
  const std::uint32_t size = GetU32(info, 0);
  if (size == kCoreHeaderSize) return ReadCoreHeader(info, ctx);
  if (size < kMinInfoHeaderSize) {
    ctx.Fail(Code::kCorrupt, Format("Error in BITMAPINFOHEADER: biSize = %u is not a valid header size", size));
    return std::nullopt;
  }
  const std::size_t present = std::min<std::size_t>(size, kInfoHeaderSize);
  if (info.size() < present) {
    ctx.Fail(Code::kTruncated, "File too short (incomplete BITMAPINFOHEADER)");
    return std::nullopt;
  }
  std::uint8_t fields[kInfoHeaderSize] = {};
  std::memcpy(fields, info.data(), present);
  const Bytes f(fields);
  DibHeader h;
  h.size = size;
  h.width = static_cast<std::int32_t>(GetU32(f, 4));
  h.height = static_cast<std::int32_t>(GetU32(f, 8));
  if (h.height < 0) {
    h.topDown = true;
    h.height = -h.height;
  }
  h.bitCount = GetU16(f, 14);
  h.compression = GetU32(f, 16);
  h.sizeImage = GetU32(f, 20);
  h.clrUsed = GetU32(f, 32);
  return h;
}

// Entries the header says the colour table holds.
std::uint64_t DeclaredTableEntries(const DibHeader& h) {
  if (h.clrUsed != 0) return h.clrUsed;
  return h.bitCount <= 8 ? (1u << h.bitCount) : 0;
}

// Palette size of the image; 0 for true colour, -1 for a bit count we refuse.
int PaletteSize(const DibHeader& h, std::optional<std::size_t> pixelOffset) {
  if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8) {
    return (h.bitCount == 16 || h.bitCount == 24 || h.bitCount == 32) ? 0 : -1;
  }
  const std::uint32_t full = 1u << h.bitCount;
  std::uint64_t count = h.clrUsed != 0 ? h.clrUsed : full;
  // The core header has no entry count; its table fills the space before the rows.
  if (h.tableEntryBytes == 3 && pixelOffset && *pixelOffset >= h.size + h.tableEntryBytes) {
    count = std::min<std::uint64_t>(count, (*pixelOffset - h.size) / h.tableEntryBytes);
  }
  return static_cast<int>(std::min<std::uint64_t>(count, full));
}

// Texts of compressions the depth does not decode, or nothing when it does.
std::optional<std::string> CompressionError(const DibHeader& h) {
  const std::uint32_t c = h.compression;
  switch (h.bitCount) {
    case 1:
    case 24:
      // Any value passes, except the real compressions no decoder here reads:
      // their bytes are no pixel rows.
      if (c == kBiRle8 || c == kBiRle4 || c == kBiJpeg || c == kBiPng) {
        return Format("%d BPP bitmap - Compressed data not supported (should be BI_RGB)", h.bitCount);
      }
      return std::nullopt;
    case 4:
      if (c == kBiRgb || c == kBiRle4) return std::nullopt;
      return "4 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE4)";
    case 8:
      if (c == kBiRgb || c == kBiRle8) return std::nullopt;
      return "8 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)";
    case 16:
      if (c == kBiRgb || c == kBiBitfields || c == kBiAlphaBitfields) return std::nullopt;
      return "16 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)";
    default:
      if (c == kBiRgb || c == kBiBitfields || c == kBiAlphaBitfields) return std::nullopt;
      return "32 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)";
  }
}

bool HasBitfields(const DibHeader& h) {
  return (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) && (h.bitCount == 16 || h.bitCount == 32);
}

// Bytes of masks that follow a header too short to hold them.
std::uint64_t MasksAfterHeader(const DibHeader& h) {
  if (h.compression == kBiBitfields && h.size < kMasksEnd) return 12;
  if (h.compression == kBiAlphaBitfields && h.size < kAlphaMaskEnd) return 16;
  return 0;
}

bool IsRle(const DibHeader& h) {
  return (h.bitCount == 4 && h.compression == kBiRle4) || (h.bitCount == 8 && h.compression == kBiRle8);
}

std::uint64_t StoredRowBytes(const DibHeader& h) {
  return ((static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.bitCount) + 31) / 32) * 4;
}

// ---------------------------------------------------------------------------
// Bit fields

struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 1;  // mask >> shift
};

Channel MakeChannel(std::uint32_t mask) {
  Channel c;
  c.mask = mask;
  while (c.shift < 31 && ((mask >> c.shift) & 1u) == 0) ++c.shift;
  c.max = mask >> c.shift;
  return c;
}

// 64-bit products: a wide mask must not overflow into a wrong channel value.
std::uint32_t ChannelValue(const Channel& c, std::uint32_t pixel) {
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>((pixel & c.mask) >> c.shift) * 255) / c.max);
}

// The transparency byte is 255 minus the alpha, as in 32-bit files without
// compression; without an alpha mask a pixel is opaque.
struct Masks {
  Channel red, green, blue, alpha;
  Color Convert(std::uint32_t pixel) const {
    const Color rgb = Rgb(ChannelValue(red, pixel), ChannelValue(green, pixel), ChannelValue(blue, pixel));
    if (alpha.mask == 0) return rgb;
    return rgb | (static_cast<Color>(255 - ChannelValue(alpha, pixel)) << 24);
  }
  bool HasAlpha() const { return alpha.mask != 0; }
};

// ---------------------------------------------------------------------------
// Uncompressed rows

struct RowJob {
  Bitmap& bitmap;
  Bytes pixels;
  std::size_t stride;
  std::int64_t rows;  // stored rows present in the data
  bool topDown;
};

template <typename ConvertRow>
void DecodeRows(const RowJob& job, ConvertRow convert) {
  Bitmap& b = job.bitmap;
  for (std::int64_t k = 0; k < job.rows; ++k) {
    const int y = job.topDown ? static_cast<int>(k) : b.YSize - 1 - static_cast<int>(k);
    convert(job.pixels.data() + static_cast<std::size_t>(k) * job.stride, b.Row(y), b.XSize);
  }
}

void Decode1(const RowJob& job) {
  DecodeRows(job, [](const std::uint8_t* src, std::uint8_t* dst, int w) {
    for (int x = 0; x < w; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
  });
}

void Decode4(const RowJob& job) {
  DecodeRows(job, [](const std::uint8_t* src, std::uint8_t* dst, int w) {
    for (int x = 0; x < w; ++x) dst[x] = (x & 1) != 0 ? src[x >> 1] & 0x0F : src[x >> 1] >> 4;
  });
}

void Decode8(const RowJob& job) {
  DecodeRows(job, [](const std::uint8_t* src, std::uint8_t* dst, int w) { std::memcpy(dst, src, w); });
}

// Returns whether any pixel has a non-zero alpha.
bool Decode16(const RowJob& job, const Masks& masks) {
  std::uint32_t alphaBits = 0;
  DecodeRows(job, [&](const std::uint8_t* src, std::uint8_t* dst, int w) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t pixel = src[2 * x] | (src[2 * x + 1] << 8);
      alphaBits |= pixel & masks.alpha.mask;
      Bitmap_StoreColor(dst + 4 * x, masks.Convert(pixel));
    }
  });
  return alphaBits != 0;
}

void Decode24(const RowJob& job) {
  DecodeRows(job, [](const std::uint8_t* src, std::uint8_t* dst, int w) {
    for (int x = 0; x < w; ++x) {
      dst[4 * x] = src[3 * x];  // both blue, green, red
      dst[4 * x + 1] = src[3 * x + 1];
      dst[4 * x + 2] = src[3 * x + 2];
      dst[4 * x + 3] = 0;
    }
  });
}

// A file whose alpha is zero everywhere has no transparency: most writers
// leave the byte 0 for opaque pixels. Its pixels become opaque (T = 0)
// rather than fully transparent, which every output that keeps alpha would
// otherwise show as an empty picture.
void MakeOpaque(Bitmap& b) {
  for (int y = 0; y < b.YSize; ++y) {
    std::uint8_t* row = b.Row(y);
    for (int x = 0; x < b.XSize; ++x) row[4 * x + 3] = 0;
  }
}

// Returns whether any pixel has a non-zero alpha byte.
bool Decode32(const RowJob& job) {
  bool anyAlpha = false;
  DecodeRows(job, [&anyAlpha](const std::uint8_t* src, std::uint8_t* dst, int w) {
    std::uint8_t alphaBits = 0;
    for (int x = 0; x < w; ++x) {
      std::memcpy(dst + 4 * x, src + 4 * x, 3);
      alphaBits |= src[4 * x + 3];
      dst[4 * x + 3] = static_cast<std::uint8_t>(255 - src[4 * x + 3]);
    }
    anyAlpha = anyAlpha || alphaBits != 0;
  });
  return anyAlpha;
}

// Returns whether any pixel has a non-zero alpha.
bool Decode32Bitfields(const RowJob& job, const Masks& masks) {
  std::uint32_t alphaBits = 0;
  DecodeRows(job, [&](const std::uint8_t* src, std::uint8_t* dst, int w) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t pixel = src[4 * x] | (src[4 * x + 1] << 8) | (src[4 * x + 2] << 16) |
                                  (static_cast<std::uint32_t>(src[4 * x + 3]) << 24);
      alphaBits |= pixel & masks.alpha.mask;
      Bitmap_StoreColor(dst + 4 * x, masks.Convert(pixel));
    }
  });
  return alphaBits != 0;
}

// The three colour masks, and the alpha mask where the header has room for
// it (56 bytes and more) or the compression brings it along.
std::optional<Masks> ReadMasks(const DibHeader& h, Bytes info, bool sixteenBit) {
  const std::uint32_t keep = sixteenBit ? 0xFFFFu : 0xFFFFFFFFu;
  const std::uint32_t red = GetU32(info, kInfoHeaderSize) & keep;
  const std::uint32_t green = GetU32(info, kInfoHeaderSize + 4) & keep;
  const std::uint32_t blue = GetU32(info, kInfoHeaderSize + 8) & keep;
  if (red == 0 || green == 0 || blue == 0) return std::nullopt;
  const bool alphaPresent = h.size >= kAlphaMaskEnd || h.compression == kBiAlphaBitfields;
  const std::uint32_t alpha = alphaPresent && info.size() >= kAlphaMaskEnd ? GetU32(info, kMasksEnd) & keep : 0;
  return Masks{MakeChannel(red), MakeChannel(green), MakeChannel(blue), alpha != 0 ? MakeChannel(alpha) : Channel{0, 0, 1}};
}

// Decodes the uncompressed depths; an error text or nothing.
std::optional<std::string> DecodeUncompressed(const DibHeader& h, Bytes info, const RowJob& job, sys::Context& ctx) {
  switch (h.bitCount) {
    case 1:
      Decode1(job);
      ctx.Progress("Loaded 1 bpp bitmap");
      return std::nullopt;
    case 4:
      Decode4(job);
      ctx.Progress("Loaded uncompressed 4 bpp bitmap");
      return std::nullopt;
    case 8:
      Decode8(job);
      ctx.Progress("Loaded uncompressed 8 bpp bitmap");
      return std::nullopt;
    case 16: {
      if (!HasBitfields(h)) {
        Decode16(job, Masks{MakeChannel(0x7C00), MakeChannel(0x03E0), MakeChannel(0x001F), Channel{0, 0, 1}});
        ctx.Progress("Loaded 16 bpp bitmap (RGB)");
        return std::nullopt;
      }
      const auto masks = ReadMasks(h, info, true);
      if (!masks) return "16 BPP bitmap - Invalid bitmask!";
      if (Decode16(job, *masks)) {
        job.bitmap.HasAlpha = 1;
      } else if (masks->HasAlpha()) {
        MakeOpaque(job.bitmap);
      }
      ctx.Progress("Loaded 16 bpp bitmap (Bitfields)");
      return std::nullopt;
    }
    case 24:
      Decode24(job);
      ctx.Progress("Loaded 24 bpp bitmap");
      return std::nullopt;
    default: {
      if (!HasBitfields(h)) {
        if (Decode32(job)) {
          job.bitmap.HasAlpha = 1;
        } else {
          MakeOpaque(job.bitmap);
        }
        ctx.Progress("Loaded 32 bpp bitmap (RGB)");
        return std::nullopt;
      }
      const auto masks = ReadMasks(h, info, false);
      if (!masks) return "32 BPP bitmap - Unknown compression format";
      if (Decode32Bitfields(job, *masks)) {
        job.bitmap.HasAlpha = 1;
      } else if (masks->HasAlpha()) {
        MakeOpaque(job.bitmap);
      }
      ctx.Progress("Loaded 32 bpp bitmap (BITFIELDS)");
      return std::nullopt;
    }
  }
}

// ---------------------------------------------------------------------------
// RLE4 and RLE8

// The drawing position of the RLE decoders; writes outside the image are
// dropped, and the position may wander anywhere without overflowing.
class RleCanvas {
 public:
  explicit RleCanvas(Bitmap& b) : bitmap_(b), y_(b.YSize - 1) { SelectRow(); }

  void Put(std::uint8_t index) {
    if (row_ != nullptr && x_ >= 0 && x_ < bitmap_.XSize) row_[x_] = index;
    ++x_;
  }
  void NextLine() {
    x_ = 0;
    --y_;
    SelectRow();
  }
  void Move(int dx, int dy) {
    x_ += dx;
    y_ -= dy;
    SelectRow();
  }
  bool AboveTop() const { return y_ < 0; }
  static constexpr bool Enough() { return false; }

 private:
  void SelectRow() { row_ = (y_ >= 0 && y_ < bitmap_.YSize) ? bitmap_.Row(static_cast<int>(y_)) : nullptr; }

  Bitmap& bitmap_;
  std::int64_t x_ = 0;
  std::int64_t y_;
  std::uint8_t* row_ = nullptr;
};

// Walks the records as RleCanvas does and counts the pixels they set inside
// the image, up to `enough`.
class RleFillCounter {
 public:
  RleFillCounter(std::int64_t width, std::int64_t height, std::uint64_t enough)
      : width_(width), height_(height), y_(height - 1), enough_(enough) {}

  void Put(std::uint8_t /*index*/) {
    if (y_ >= 0 && y_ < height_ && x_ >= 0 && x_ < width_) ++filled_;
    ++x_;
  }
  void NextLine() {
    x_ = 0;
    --y_;
  }
  void Move(int dx, int dy) {
    x_ += dx;
    y_ -= dy;
  }
  bool AboveTop() const { return y_ < 0; }
  bool Enough() const { return filled_ >= enough_; }
  std::uint64_t Filled() const { return filled_; }

 private:
  std::int64_t width_;
  std::int64_t height_;
  std::int64_t x_ = 0;
  std::int64_t y_;
  std::uint64_t enough_;
  std::uint64_t filled_ = 0;
};

enum class RleKind { kFourBit, kEightBit };

// Absolute run of n pixels: data bytes, then a pad that keeps records on 2-byte
// boundaries.
std::size_t AbsoluteRunBytes(RleKind kind, std::size_t n) { return kind == RleKind::kFourBit ? (n + 1) / 2 : n; }
std::size_t AbsoluteRunPad(RleKind kind, std::size_t n) {
  if (kind == RleKind::kFourBit) return ((n + 1) & 2) != 0 ? 1 : 0;
  return n & 1;
}

std::uint8_t Nibble(std::uint8_t byte, std::size_t i) {
  return (i & 1) != 0 ? byte & 0x0F : byte >> 4;
}

// Decodes records until end of bitmap or the end of the stream (or until the
// canvas has enough); an error text or nothing.
template <class Canvas>
std::optional<std::string> DecodeRle(RleKind kind, Bytes stream, Canvas& canvas) {
  const bool four = kind == RleKind::kFourBit;
  std::size_t pos = 0;
  while (pos + 2 <= stream.size() && !canvas.Enough()) {
    const std::uint8_t first = stream[pos];
    const std::uint8_t second = stream[pos + 1];
    pos += 2;
    if (first > 0) {
      for (std::size_t i = 0; i < first; ++i) canvas.Put(four ? Nibble(second, i) : second);
    } else if (second == 0) {
      canvas.NextLine();
      // Writers end the top row with an end of line too, before the end of
      // the bitmap: nothing after it can land in the picture.
      if (canvas.AboveTop()) return std::nullopt;
    } else if (second == 1) {
      return std::nullopt;
    } else if (second == 2) {
      if (pos + 2 > stream.size()) break;
      canvas.Move(stream[pos], stream[pos + 1]);
      pos += 2;
    } else {
      const std::size_t n = second;
      const std::size_t bytes = std::min(AbsoluteRunBytes(kind, n), stream.size() - pos);
      const std::size_t pixels = four ? std::min(n, 2 * bytes) : bytes;
      for (std::size_t i = 0; i < pixels; ++i) canvas.Put(four ? Nibble(stream[pos + i / 2], i) : stream[pos + i]);
      pos += AbsoluteRunBytes(kind, n) + AbsoluteRunPad(kind, n);
    }
  }
  return std::nullopt;
}

struct RleStream {
  Bytes bytes;
  bool ok = false;
};

// The bytes the header's count declares RLE data, as far as the file holds
// them (a count of 0 stands for 1,000,000).
std::uint64_t DeclaredRleBytes(const DibHeader& h) {
  return h.sizeImage == 0 ? kRleCountWhenZero : h.sizeImage;
}

Bytes RleRecords(const DibHeader& h, Bytes pixels) {
  return pixels.first(static_cast<std::size_t>(std::min<std::uint64_t>(DeclaredRleBytes(h), pixels.size())));
}

// The record bytes the header's count and the data allow; reports the count
// texts and a cut stream.
RleStream PrepareRleStream(const DibHeader& h, Bytes pixels, sys::Context& ctx) {
  const bool four = h.bitCount == 4;
  const auto count = static_cast<std::int32_t>(h.sizeImage);
  if (count < 0) {
    ctx.Fail(Code::kCorrupt, four ? "Can not decompress RLE4: File invalid: NumPixelBytes < 0"
                                  : "Can not decompress RLE8: File invalid: NumPixelBytes < 0");
    return {};
  }
  const std::uint64_t limit = DeclaredRleBytes(h);
  if (count == 0) {
    ctx.Warn(Code::kCorrupt, four ? "Illegal file format: 4 BPP, RLE4, NumPixelBytes == 0. Converting anyhow."
                                  : "Illegal file format: 8 BPP, RLE8, NumPixelBytes == 0. Converting anyhow.");
  } else if (limit > pixels.size()) {
    ctx.Warn(Code::kTruncated, Format("File truncated ... Expected %llu bytes of RLE data, found only %llu bytes.",
                      static_cast<unsigned long long>(limit), static_cast<unsigned long long>(pixels.size())));
  }
  return {RleRecords(h, pixels), true};
}

// Whether the records set enough of the image's pixels (see
// kAlwaysPlausiblePixels); bytes after the end of the bitmap, end-of-line
// records and deltas set none.
bool RleFillsEnough(const DibHeader& h, Bytes pixels) {
  const auto pixelCount = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
  if (pixelCount <= kAlwaysPlausiblePixels) return true;
  const std::uint64_t enough = (pixelCount - kAlwaysPlausiblePixels + kMaxShortfallFactor - 1) / kMaxShortfallFactor;
  RleFillCounter counter(h.width, h.height, enough);
  DecodeRle(h.bitCount == 4 ? RleKind::kFourBit : RleKind::kEightBit, RleRecords(h, pixels), counter);
  return counter.Enough();
}

std::optional<std::string> DecodeCompressed(const DibHeader& h, Bitmap& b, Bytes stream, sys::Context& ctx) {
  RleCanvas canvas(b);
  if (h.bitCount == 4) {
    if (auto error = DecodeRle(RleKind::kFourBit, stream, canvas)) return error;
    ctx.Progress("Loaded compressed 4 bpp bitmap.");
  } else {
    if (auto error = DecodeRle(RleKind::kEightBit, stream, canvas)) return error;
    ctx.Progress("Loaded compressed 8 bpp bitmap");
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// DIB decoding

bool CheckSize(const DibHeader& h, sys::Context& ctx) {
  if (h.width <= 0 || h.height <= 0 || h.height > INT32_MAX) {
    ctx.Fail(Code::kCorrupt, Format("Illegal image size (%lld x %lld)", static_cast<long long>(h.width),
                      static_cast<long long>(h.topDown ? -h.height : h.height)));
    return false;
  }
  if (h.topDown && IsRle(h)) {
    ctx.Fail(Code::kCorrupt, "Illegal file format: compressed bitmaps can not be stored top-down (negative biHeight)");
    return false;
  }
  return true;
}

// Refuses headers whose pixel block the data could not hold, before allocating.
bool CheckDataSuffices(const DibHeader& h, Bytes pixels, sys::Context& ctx) {
  const std::uint64_t have = pixels.size();
  bool fits = false;
  if (IsRle(h)) {
    fits = RleFillsEnough(h, pixels);
  } else {
    const std::uint64_t stride = StoredRowBytes(h);
    fits = have >= stride && stride * static_cast<std::uint64_t>(h.height) / kMaxShortfallFactor <= have;
  }
  if (!fits) {
    ctx.Fail(Code::kTruncated, Format("File too short: a %lld x %lld bitmap of %d bpp can not be read from %llu bytes of pixel data",
                      static_cast<long long>(h.width), static_cast<long long>(h.height), h.bitCount,
                      static_cast<unsigned long long>(have)));
  }
  return fits;
}

bool LoadPalette(Bitmap& b, const DibHeader& h, Bytes info, sys::Context& ctx) {
  const std::uint64_t end = h.size + static_cast<std::uint64_t>(b.NumColors) * h.tableEntryBytes;
  if (end > info.size()) {
    ctx.Fail(Code::kTruncated, "File too short (Incomplete or missing color table)");
    return false;
  }
  for (int i = 0; i < b.NumColors; ++i) {
    const std::size_t at = h.size + static_cast<std::size_t>(i) * h.tableEntryBytes;
    Bitmap_SetPalColor(b, i, Rgb(info[at + 2], info[at + 1], info[at]));
  }
  return true;
}

// Rows the data holds; a cut file is decoded as far as it goes, with a warning.
std::int64_t RowsPresent(const DibHeader& h, Bytes pixels, sys::Context& ctx) {
  const std::uint64_t stride = StoredRowBytes(h);
  const std::uint64_t rows = std::min<std::uint64_t>(pixels.size() / stride, static_cast<std::uint64_t>(h.height));
  if (rows < static_cast<std::uint64_t>(h.height)) {
    ctx.Warn(Code::kTruncated, Format("File truncated ... Pixel data for only %llu of %lld rows. The missing rows are left empty.",
                      static_cast<unsigned long long>(rows), static_cast<long long>(h.height)));
  }
  return static_cast<std::int64_t>(rows);
}

// The given rows, or those that follow the colour table (and the masks of
// BI_BITFIELDS when the header does not hold them).
std::optional<Bytes> LocatePixels(const DibHeader& h, Bytes info, std::optional<Bytes> givenPixels,
                                  sys::Context& ctx) {
  if (givenPixels) return givenPixels;
  const std::uint64_t masks = MasksAfterHeader(h);
  const std::uint64_t offset = h.size + DeclaredTableEntries(h) * h.tableEntryBytes + masks;
  if (offset > info.size()) {
    ctx.Fail(Code::kTruncated, "File too short (pixel data missing)");
    return std::nullopt;
  }
  return info.subspan(static_cast<std::size_t>(offset));
}

// pixelOffset: where the rows start, counted from the start of info, when known.
ReadResult DecodeDibAt(Bytes info, std::optional<Bytes> givenPixels, std::optional<std::size_t> pixelOffset,
                       const ReadLimits& limits, sys::Context& ctx) {
  const auto header = ReadHeader(info, ctx);
  if (!header) return ReadResult::Recorded(ctx);
  const DibHeader& h = *header;
  if (h.bitCount == 0) {
    return Fail(ctx, Code::kUnsupported,
                "BITMAPINFOHEADER: biBitCount = 0 (JPEG format) not supported. Please convert image !");
  }
  const int numColors = PaletteSize(h, pixelOffset);
  if (numColors < 0) {
    return Fail(ctx, Code::kUnsupported, "Error in BITMAPINFOHEADER: biBitCount should be 0, 1, 4, 8, 16, 24 or 32");
  }
  if (auto error = CompressionError(h)) return Fail(ctx, Code::kUnsupported, *error);
  if (!CheckSize(h, ctx)) return ReadResult::Recorded(ctx);
  if (h.width > limits.maxWidth || h.height > limits.maxHeight) {
    return ReadResult::Failure(ctx, Code::kLimit,
                               Format("Illegal image size (%lld x %lld)", static_cast<long long>(h.width),
                                      static_cast<long long>(h.height)),
                               SizeLimitCause(h.width, h.height, limits));
  }

  const std::uint32_t masksEnd = h.compression == kBiAlphaBitfields ? kAlphaMaskEnd : kMasksEnd;
  if (HasBitfields(h) && (h.size == kCoreHeaderSize || info.size() < masksEnd)) {
    return Fail(ctx, Code::kTruncated, "File too short (missing BI_BITFIELDS masks)");
  }
  const std::optional<Bytes> located = LocatePixels(h, info, givenPixels, ctx);
  if (!located) return ReadResult::Recorded(ctx);
  const Bytes pixels = *located;
  if (!CheckDataSuffices(h, pixels, ctx)) return ReadResult::Recorded(ctx);

  RleStream rle;
  if (IsRle(h)) {
    rle = PrepareRleStream(h, pixels, ctx);
    if (!rle.ok) return ReadResult::Recorded(ctx);
  }
  BitmapPtr b = CreateReadImage(h.width, h.height, numColors, limits, ctx);
  if (!b) return ReadResult::Recorded(ctx);
  if (!LoadPalette(*b, h, info, ctx)) return ReadResult::Recorded(ctx);

  std::optional<std::string> error;
  if (IsRle(h)) {
    error = DecodeCompressed(h, *b, rle.bytes, ctx);
  } else {
    const RowJob job{*b, pixels, static_cast<std::size_t>(StoredRowBytes(h)), RowsPresent(h, pixels, ctx), h.topDown};
    error = DecodeUncompressed(h, info, job, ctx);
  }
  if (error) return Fail(ctx, Code::kCorrupt, *error);
  if (!RepairStrayIndices(*b, ctx)) return ReadResult::Recorded(ctx);
  return ReadResult::Of(std::move(b));
}

// ---------------------------------------------------------------------------
// SBMP

// Sets count pixels from pixel number p on, in reading order, up to the last pixel.
void FillRun(Bitmap& b, std::uint64_t p, std::uint64_t count, Color value) {
  const auto width = static_cast<std::uint64_t>(b.XSize);
  const std::uint64_t total = width * static_cast<std::uint64_t>(b.YSize);
  count = std::min(count, total - p);
  while (count > 0) {
    const auto x = static_cast<int>(p % width);
    const auto y = static_cast<int>(p / width);
    const int n = static_cast<int>(std::min<std::uint64_t>(count, width - x));
    std::uint8_t* row = b.Row(y);
    if (b.NumColors != 0) {
      std::memset(row + x, static_cast<std::uint8_t>(value), n);
    } else {
      for (int i = 0; i < n; ++i) Bitmap_StoreColor(row + 4 * (x + i), value);
    }
    p += n;
    count -= n;
  }
}

// The pixels the run records fill, counted up to `enough`.
std::uint64_t SbmpFilledPixels(Bytes records, std::size_t recordSize, std::uint64_t enough) {
  std::uint64_t filled = 0;
  for (std::size_t pos = 0; records.size() - pos >= recordSize && filled < enough; pos += recordSize) {
    filled += GetU16(records, pos);
  }
  return filled;
}

// A cut SBMP file gives the image as far as its runs go, but runs that could
// fill less than the shortfall factor's share of the header's size describe no
// real picture; refusing them keeps a few bytes from allocating a huge image.
// Beyond kAlwaysPlausiblePixels the runs' own counts decide, so that records
// of nothing (a count of 0) pad no file into a plausible one.
bool SbmpRecordsSuffice(int width, int height, Bytes records, std::size_t recordSize, sys::Context& ctx) {
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  const std::uint64_t needed = pixels / kMaxShortfallFactor;
  const std::uint64_t reachable = records.size() / recordSize * kSbmpMaxRun;
  if (needed <= reachable &&
      (pixels <= kAlwaysPlausiblePixels || needed <= SbmpFilledPixels(records, recordSize, needed))) {
    return true;
  }
  ctx.Fail(Code::kTruncated, Format("File too short: a %d x %d SBMP image can not be filled from %lld run records", width, height,
                    static_cast<long long>(records.size() / recordSize)));
  return false;
}

}  // namespace

ReadResult DecodeDib(std::span<const std::uint8_t> infoAndRest, std::optional<std::span<const std::uint8_t>> pixels,
                     const ReadOptions& options, sys::Context& ctx) {
  return DecodeDibAt(infoAndRest, pixels, std::nullopt, options.limits, ctx);
}

ReadResult ReadBmpFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx) {
  if (file.size() > options.limits.maxFileBytes) return Fail(ctx, Code::kLimit, "File too long");
  if (file.size() < kFileHeaderSize) return Fail(ctx, Code::kTruncated, "File too short (truncated ?)");
  if (GetU16(file, 0) != kBmpSignature) return Fail(ctx, Code::kNotRecognised, "Illegal file header !");
  const std::uint32_t offBits = GetU32(file, 10);
  if (offBits < kFileHeaderSize || offBits > file.size()) {
    return Fail(ctx, Code::kCorrupt,
                Format("Illegal file header ! bfOffBits = %u lies outside the file of %llu bytes", offBits,
                       static_cast<unsigned long long>(file.size())));
  }
  const Bytes info = file.subspan(kFileHeaderSize);
  return DecodeDibAt(info, file.subspan(offBits), offBits - kFileHeaderSize, options.limits, ctx);
}

ReadResult ReadSbmpFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx) {
  if (file.size() > options.limits.maxFileBytes) return Fail(ctx, Code::kLimit, "File too long");
  if (file.size() < kSbmpHeaderSize) return Fail(ctx, Code::kTruncated, "File too short (Incomplete header)");
  std::int64_t remaining = static_cast<std::int64_t>(file.size() - kSbmpHeaderSize);
  if (file[0] != 'S' || file[1] != 'B') return Fail(ctx, Code::kNotRecognised, "Illegal file header !");
  const int width = GetU16(file, 2);
  const int height = GetU16(file, 4);
  const int numColors = GetU16(file, 6);
  remaining -= 3 * numColors;
  if (remaining < 0) return Fail(ctx, Code::kTruncated, "File too short (Incomplete or missing color table)");
  if (numColors > 256) {
    return Fail(ctx, Code::kCorrupt, Format("Illegal number of colors in SBMP header: %d (at most 256)", numColors));
  }
  if (width == 0 || height == 0) return Fail(ctx, Code::kCorrupt, Format("Illegal image size (%d x %d)", width, height));
  if (width > options.limits.maxWidth || height > options.limits.maxHeight) {
    return ReadResult::Failure(ctx, Code::kLimit, Format("Illegal image size (%d x %d)", width, height),
                               SizeLimitCause(width, height, options.limits));
  }
  const std::int64_t recordSize = numColors != 0 ? 3 : 5;
  const std::uint64_t total = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  const Bytes records = file.subspan(kSbmpHeaderSize + 3 * static_cast<std::size_t>(numColors));
  if (!SbmpRecordsSuffice(width, height, records, static_cast<std::size_t>(recordSize), ctx)) {
    return ReadResult::Recorded(ctx);
  }

  BitmapPtr b = CreateReadImage(width, height, numColors, options.limits, ctx);
  if (!b) return ReadResult::Recorded(ctx);
  std::size_t pos = kSbmpHeaderSize;
  for (int i = 0; i < numColors; ++i, pos += 3) Bitmap_SetPalColor(*b, i, Rgb(file[pos], file[pos + 1], file[pos + 2]));

  std::uint64_t p = 0;
  while (p < total) {
    remaining -= recordSize;
    if (remaining < 0) {
      ctx.Warn(Code::kTruncated, "File too short (Missing data)");
      if (!RepairStrayIndices(*b, ctx)) return ReadResult::Recorded(ctx);
      return ReadResult::Of(std::move(b));
    }
    const std::uint16_t count = GetU16(file, pos);
    const Color value = numColors != 0 ? file[pos + 2] : Rgb(file[pos + 2], file[pos + 3], file[pos + 4]);
    pos += static_cast<std::size_t>(recordSize);
    FillRun(*b, p, count, value);
    p += count;
  }
  if (!RepairStrayIndices(*b, ctx)) return ReadResult::Recorded(ctx);
  return ReadResult::Of(std::move(b));
}

}  // namespace rastra
