#include "writers/StreamWriter.h"

#include <array>

#include "image/ColorFormat.h"
#include "writers/CBitmapWriter.h"
#include "writers/RleEncoder.h"
#include "writers/TextOutput.h"

namespace rastra {

namespace {

constexpr int kUncompressedPaletteStream = 100;

bool WriteAll(OutBuffer& out, const void* bytes, std::size_t n) {
  return OutWrite(out, bytes, n) == 1 && OutLastCopied(out) == n;
}

// Collects pixel bytes and hands them on in blocks; the first short write
// stops the data.
class ByteBlock {
 public:
  explicit ByteBlock(OutBuffer& out) : out_(out) {}
  bool Put(const std::uint8_t* bytes, int n) {
    if (used_ + static_cast<std::size_t>(n) > buffer_.size() && !Flush()) return false;
    for (int i = 0; i < n; ++i) buffer_[used_++] = bytes[i];
    return true;
  }
  bool Flush() {
    const bool ok = used_ == 0 || WriteAll(out_, buffer_.data(), used_);
    used_ = 0;
    return ok;
  }

 private:
  OutBuffer& out_;
  std::array<std::uint8_t, 4096> buffer_{};
  std::size_t used_ = 0;
};

bool WriteU16(OutBuffer& out, std::uint32_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  return WriteAll(out, bytes, 2);
}

std::int64_t StreamBytesPerLine(const FormatEntry& entry, std::int64_t width) {
  if (entry.encoding == PixelEncoding::Rle16) return 0;
  return (width * entry.bitsPerPixel + 7) / 8;
}

bool WriteHeader(OutBuffer& out, const FormatEntry& entry, const Bitmap& image, int colorCount) {
  const bool packedIndices = entry.encoding == PixelEncoding::PackedIndex;
  const std::uint32_t fields[8] = {
      0x4D42,
      static_cast<std::uint32_t>(packedIndices ? kUncompressedPaletteStream : entry.code),
      static_cast<std::uint32_t>(image.XSize),
      static_cast<std::uint32_t>(image.YSize),
      static_cast<std::uint32_t>(StreamBytesPerLine(entry, image.XSize)),
      static_cast<std::uint32_t>(entry.bitsPerPixel),
      static_cast<std::uint32_t>(colorCount),
      image.HasTrans != 0 ? 1u : 0u,
  };
  for (std::uint32_t field : fields) {
    if (!WriteU16(out, field & 0xFFFF)) return false;
  }
  return true;
}

bool WritePalette(OutBuffer& out, const Bitmap& image, bool argb) {
  for (int i = 0; i < image.NumColors; ++i) {
    const Color c = Bitmap_GetPalColor(image, i);
    const std::uint32_t value =
        argb ? ((255 - (c >> 24)) << 24) | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF) : c;
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    if (!WriteAll(out, bytes, 4)) return false;
  }
  return true;
}

int PutU32(std::uint8_t* out, std::uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out[i] = static_cast<std::uint8_t>(value >> shift);
  }
  return 4;
}

// Bytes of one pixel of an uncompressed colour FORMAT.
class PixelBytes {
 public:
  PixelBytes(const FormatEntry& entry, bool bigEndian)
      : entry_(entry),
        bigEndian_(bigEndian),
        format_(entry.colorFormat >= 0 ? &GetColorFormat(entry.colorFormat) : nullptr) {}

  int Make(Color c, std::uint8_t* out) const {
    const std::uint32_t t = c >> 24;
    switch (entry_.encoding) {
      case PixelEncoding::Code16: {
        const std::uint32_t code = format_->ColorToIndex(c);
        out[bigEndian_ ? 1 : 0] = static_cast<std::uint8_t>(code);
        out[bigEndian_ ? 0 : 1] = static_cast<std::uint8_t>(code >> 8);
        return 2;
      }
      case PixelEncoding::AlphaCode16: {
        const std::uint32_t code = format_->ColorToIndex(c);
        out[0] = static_cast<std::uint8_t>(t);
        out[1] = static_cast<std::uint8_t>(code >> 8);
        out[2] = static_cast<std::uint8_t>(code);
        return 3;
      }
      case PixelEncoding::Rgb24:
        out[0] = static_cast<std::uint8_t>(c);
        out[1] = static_cast<std::uint8_t>(c >> 8);
        out[2] = static_cast<std::uint8_t>(c >> 16);
        return 3;
      case PixelEncoding::Color32:
        return PutU32(out, c, bigEndian_);
      case PixelEncoding::Color32Swapped:
        return PutU32(out, ((255 - t) << 24) | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF), bigEndian_);
      default:
        return 0;
    }
  }

 private:
  const FormatEntry& entry_;
  bool bigEndian_;
  const ColorFormat* format_;
};

bool WritePackedIndices(OutBuffer& out, const Bitmap& image, int bits) {
  ByteBlock block(out);
  const int perByte = 8 / bits;
  const std::uint32_t mask = (1u << bits) - 1;
  const bool indexed = image.BitsPerPixel == 8;
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.XSize; x += perByte) {
      std::uint32_t byte = 0;
      for (int i = 0; i < perByte && x + i < image.XSize; ++i) {
        const std::uint32_t raw = indexed ? row[x + i] : Bitmap_LoadColor(row + 4 * (x + i));
        byte |= (raw & mask) << (8 - bits * (i + 1));
      }
      const auto value = static_cast<std::uint8_t>(byte);
      if (!block.Put(&value, 1)) return false;
    }
  }
  return block.Flush();
}

bool WriteColorPixels(OutBuffer& out, const Bitmap& image, const FormatEntry& entry, bool bigEndian) {
  ByteBlock block(out);
  const PixelBytes pixel(entry, bigEndian);
  const std::array<Color, 256> palette = Bitmap_PixelPalette(image);
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.XSize; ++x) {
      const Color c = image.NumColors != 0 ? palette[row[x]] : Bitmap_LoadColor(row + 4 * x);
      std::uint8_t bytes[4];
      if (!block.Put(bytes, pixel.Make(c, bytes))) return false;
    }
  }
  return block.Flush();
}

int WriteCompressed(OutBuffer& out, const Bitmap& image, const FormatEntry& entry, sys::Context& ctx) {
  switch (entry.encoding) {
    case PixelEncoding::RleIndex: return WriteRleBytes(out, image, RleMode::Index, entry.bitsPerPixel, ctx);
    case PixelEncoding::RleAlpha: return WriteRleBytes(out, image, RleMode::Transparency, 8, ctx);
    case PixelEncoding::Rle16: return WriteRle16Bytes(out, image, entry.colorFormat == kFormatM565, ctx);
    case PixelEncoding::Rle32: return WriteRle32Bytes(out, image, ctx);
    default: return 0;
  }
}

}  // namespace

// A write that falls short stops the data; the save dispatcher finds the
// shortfall in the buffer (OutComplete) and fails the save.
sys::Code WriteStreamedBitmap(OutBuffer& out, const OutputSpec& spec, const OutputOptions& options,
                              const Bitmap* bitmap, sys::Context& ctx) {
  if (bitmap == nullptr) return ctx.Fail(sys::Code::kNoImage, kNoImageText, kNoImageMessage);
  OutSetPaletteFlag(out, spec.NoPalette == 0);
  const FormatEntry* entry = FindFormat(spec.Format);
  if (entry == nullptr || entry->encoding == PixelEncoding::Color32Both) {
    return ctx.Fail(sys::Code::kBadFormat, kFormatMismatchText, kFormatMismatchMessage);
  }
  const Bitmap& image = *bitmap;
  const int colorCount = OutPaletteFlag(out) ? image.NumColors : 0;
  if (!WriteHeader(out, *entry, image, colorCount)) return sys::Code::kOk;
  if (colorCount != 0 && !WritePalette(out, image, options.useArgb)) return sys::Code::kOk;
  if (entry->compressed) {
    return WriteCompressed(out, image, *entry, ctx) == 0 ? sys::Code::kOk : sys::Code::kOutOfMemory;
  }
  if (entry->encoding == PixelEncoding::PackedIndex) {
    WritePackedIndices(out, image, entry->bitsPerPixel);
  } else {
    WriteColorPixels(out, image, *entry, options.bigEndian);
  }
  return sys::Code::kOk;
}

}  // namespace rastra
