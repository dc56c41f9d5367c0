#include "writers/RleEncoder.h"

#include <array>
#include <new>

#include "image/ColorFormat.h"
#include "sys/Memory.h"

namespace {

// What an item carries per pixel.
enum class Emitted { Byte, Code16, Code16Swapped, Color32 };

// Turns a compared value into the bytes an item carries for that pixel.
class Emitter {
 public:
  Emitter(const Bitmap& bitmap, Emitted kind) : kind_(kind), hasPalette_(bitmap.NumColors != 0) {
    for (int i = 0; i < bitmap.NumColors; ++i) palette_[static_cast<std::size_t>(i)] = Bitmap_GetPalColor(bitmap, i);
    if (kind == Emitted::Code16) format_ = &GetColorFormat(kFormat565);
    if (kind == Emitted::Code16Swapped) format_ = &GetColorFormat(kFormatM565);
  }

  int BytesPerPixel() const {
    switch (kind_) {
      case Emitted::Byte: return 1;
      case Emitted::Code16:
      case Emitted::Code16Swapped: return 2;
      case Emitted::Color32: return 4;
    }
    return 1;
  }

  // Writes the pixel's bytes at out and returns their count.
  int Bytes(std::uint32_t value, std::uint8_t* out) const {
    switch (kind_) {
      case Emitted::Byte:
        out[0] = static_cast<std::uint8_t>(value);
        return 1;
      case Emitted::Code16:
      case Emitted::Code16Swapped: {
        const std::uint32_t code = format_->ColorToIndex(ColorOf(value));
        out[0] = static_cast<std::uint8_t>(code);
        out[1] = static_cast<std::uint8_t>(code >> 8);
        return 2;
      }
      case Emitted::Color32: {
        const Color c = ColorOf(value);
        out[0] = static_cast<std::uint8_t>(c);
        out[1] = static_cast<std::uint8_t>(c >> 8);
        out[2] = static_cast<std::uint8_t>(c >> 16);
        out[3] = static_cast<std::uint8_t>(c >> 24);
        return 4;
      }
    }
    return 0;
  }

 private:
  Color ColorOf(std::uint32_t raw) const { return hasPalette_ ? palette_[raw & 0xFF] : raw; }

  Emitted kind_;
  bool hasPalette_;
  std::array<Color, 256> palette_{};
  const ColorFormat* format_ = nullptr;
};

// Like RleCount, but stops counting at limit.
std::int64_t RleCountUpTo(std::span<const std::uint32_t> values, std::int64_t start, std::int64_t end,
                          std::int64_t limit) {
  const std::uint32_t value = values[static_cast<std::size_t>(start)];
  std::int64_t count = 1;
  while (count < limit && start + count < end && values[static_cast<std::size_t>(start + count)] == value) ++count;
  return count;
}

// Packs n indices from start into nibbles, first pixel high; returns the byte count.
int PackNibbles(std::span<const std::uint32_t> values, std::int64_t start, std::int64_t n, std::uint8_t* out) {
  int bytes = 0;
  for (std::int64_t i = 0; i < n; i += 2) {
    const std::uint32_t high = values[static_cast<std::size_t>(start + i)] & 15;
    const std::uint32_t low = i + 1 < n ? values[static_cast<std::size_t>(start + i + 1)] & 15 : 0;
    out[bytes++] = static_cast<std::uint8_t>((high << 4) | low);
  }
  return bytes;
}

// The one decision of runs and blocks; Sink receives Run(pos, r) and Abs(pos, n).
template <class Sink>
void EncodeItems(std::span<const std::uint32_t> values, Sink& sink) {
  const auto end = static_cast<std::int64_t>(values.size());
  std::int64_t pos = 0;
  while (pos < end) {
    const std::int64_t run = RleCount(values, pos, end);
    if (run >= 3) {
      sink.Run(pos, run);
      pos += run;
      continue;
    }
    const std::int64_t block = AbsCount(values, pos, end);
    if (block <= 1) {
      sink.Run(pos, 1);
      pos += 1;
    } else {
      sink.Abs(pos, block);
      pos += block;
    }
  }
}

char* PutPixelBytes(char* p, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    p = textfmt::PutHexByte(p, bytes[i]);
    *p++ = ',';
    *p++ = ' ';
  }
  return p;
}

class TextSink {
 public:
  TextSink(OutBuffer& buffer, std::span<const std::uint32_t> values, const Emitter& emitter, std::int64_t xSize,
           bool nibbles)
      : values_(values), emitter_(emitter), xSize_(xSize), nibbles_(nibbles), out_(buffer) {}

  void Run(std::int64_t pos, std::int64_t run) {
    out_.SetColumn(0);
    out_.Wrapped("  ");
    WriteComment("/* RLE: ", run, pos);
    std::uint8_t bytes[4];
    const int count = emitter_.Bytes(values_[static_cast<std::size_t>(pos)], bytes);
    for (std::int64_t left = run; left > 0;) {
      const std::int64_t chunk = left >= kRleMaxChunk + 1 ? kRleMaxChunk : left;
      char text[64];
      char* p = textfmt::PutDec(text, chunk);
      p = textfmt::PutText(p, ", ");
      p = PutPixelBytes(p, bytes, count);
      out_.Wrapped(text, static_cast<std::size_t>(p - text));
      dataBytes_ += 1 + count;
      left -= chunk;
    }
    out_.Wrapped("\r\n");
  }

  void Abs(std::int64_t pos, std::int64_t n) {
    out_.SetColumn(0);
    WriteComment("  /* ABS: ", n, pos);
    char text[64];
    char* p = textfmt::PutText(text, "0, ");
    p = textfmt::PutDec(p, n);
    p = textfmt::PutText(p, ", ");
    out_.Wrapped(text, static_cast<std::size_t>(p - text));
    dataBytes_ += 2;
    if (nibbles_) {
      std::uint8_t packed[(kRleMaxAbsolute + 1) / 2];
      const int count = PackNibbles(values_, pos, n, packed);
      for (int i = 0; i < count; ++i) WritePixelPiece(packed + i, 1);
      dataBytes_ += count;
    } else {
      for (std::int64_t i = 0; i < n; ++i) {
        std::uint8_t bytes[4];
        const int count = emitter_.Bytes(values_[static_cast<std::size_t>(pos + i)], bytes);
        WritePixelPiece(bytes, count);
        dataBytes_ += count;
      }
    }
    out_.Wrapped("\r\n");
  }

  void WriteTrailer(bool byteUnit) {
    char text[96];
    char* p = textfmt::PutText(text, "  0\r\n};  // ");
    p = textfmt::PutDec(p, dataBytes_);
    p = textfmt::PutText(p, byteUnit ? " bytes for " : " for ");
    p = textfmt::PutDec(p, static_cast<std::int64_t>(values_.size()));
    p = textfmt::PutText(p, " pixels\r\n\r\n");
    out_.Wrapped(text, static_cast<std::size_t>(p - text));
  }

 private:
  void WriteComment(std::string_view opening, std::int64_t count, std::int64_t pos) {
    char text[96];
    char* p = textfmt::PutText(text, opening);
    p = textfmt::PutDec(p, count, 3);
    p = textfmt::PutText(p, " Pixels @ ");
    p = textfmt::PutDec(p, pos % xSize_, 3);
    *p++ = ',';
    p = textfmt::PutDec(p, pos / xSize_, 3);
    p = textfmt::PutText(p, " */ ");
    out_.Wrapped(text, static_cast<std::size_t>(p - text));
  }

  void WritePixelPiece(const std::uint8_t* bytes, int count) {
    out_.CommitWrapped(PutPixelBytes(out_.Reserve(32), bytes, count));
  }

  std::span<const std::uint32_t> values_;
  const Emitter& emitter_;
  std::int64_t xSize_;
  bool nibbles_;
  std::int64_t dataBytes_ = 0;
  WrapWriter out_;
};

class ByteSink {
 public:
  ByteSink(OutBuffer& out, std::span<const std::uint32_t> values, const Emitter& emitter, bool nibbles)
      : out_(out), values_(values), emitter_(emitter), nibbles_(nibbles) {}

  // Each item reports 1 on a short write; the loop goes on regardless.
  int Run(std::int64_t pos, std::int64_t run) {
    std::uint8_t item[5];
    const int count = emitter_.Bytes(values_[static_cast<std::size_t>(pos)], item + 1);
    for (std::int64_t left = run; left > 0;) {
      const std::int64_t chunk = left >= kRleMaxChunk + 1 ? kRleMaxChunk : left;
      item[0] = static_cast<std::uint8_t>(chunk);
      if (!WriteAll(item, static_cast<std::size_t>(count) + 1)) return 1;
      left -= chunk;
    }
    return 0;
  }

  int Abs(std::int64_t pos, std::int64_t n) {
    std::array<std::uint8_t, 2 + 4 * kRleMaxAbsolute> item;
    item[0] = 0;
    item[1] = static_cast<std::uint8_t>(n);
    std::size_t used = 2;
    if (nibbles_) {
      used += static_cast<std::size_t>(PackNibbles(values_, pos, n, item.data() + used));
    } else {
      for (std::int64_t i = 0; i < n; ++i) {
        used += static_cast<std::size_t>(emitter_.Bytes(values_[static_cast<std::size_t>(pos + i)], item.data() + used));
      }
    }
    return WriteAll(item.data(), used) ? 0 : 1;
  }

 private:
  bool WriteAll(const std::uint8_t* bytes, std::size_t n) {
    return OutWrite(out_, bytes, n) == 1 && OutLastCopied(out_) == n;
  }

  OutBuffer& out_;
  std::span<const std::uint32_t> values_;
  const Emitter& emitter_;
  bool nibbles_;
};

int WriteText(OutBuffer& out, const Bitmap& bitmap, RleMode mode, Emitted kind, bool nibbles, bool byteUnit,
              sys::Context& ctx) {
  std::vector<std::uint32_t> values;
  if (!RleComparedValues(bitmap, mode, values, ctx)) return 1;
  const Emitter emitter(bitmap, kind);
  TextSink sink(out, values, emitter, bitmap.XSize, nibbles);
  EncodeItems(std::span<const std::uint32_t>(values), sink);
  sink.WriteTrailer(byteUnit);
  return 0;
}

int WriteBytes(OutBuffer& out, const Bitmap& bitmap, RleMode mode, Emitted kind, bool nibbles, sys::Context& ctx) {
  std::vector<std::uint32_t> values;
  if (!RleComparedValues(bitmap, mode, values, ctx)) return 1;
  const Emitter emitter(bitmap, kind);
  ByteSink sink(out, values, emitter, nibbles);
  EncodeItems(std::span<const std::uint32_t>(values), sink);
  return 0;
}

}  // namespace

bool RleComparedValues(const Bitmap& bitmap, RleMode mode, std::vector<std::uint32_t>& values, sys::Context& ctx) {
  values.clear();
  if (bitmap.XSize <= 0 || bitmap.YSize <= 0) return true;
  const auto count = static_cast<std::uint64_t>(bitmap.XSize) * static_cast<std::uint64_t>(bitmap.YSize);
  const std::uint64_t bytes = count * sizeof(std::uint32_t);
  try {
    if (bytes > ctx.MaxBlockBytes()) throw std::bad_alloc();
    values.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    sys::FailAllocation(ctx, bytes);
    return false;
  }
  const bool palette = bitmap.BitsPerPixel == 8;
  const int shift = mode == RleMode::Transparency ? 24 : 0;
  std::uint32_t* out = values.data();
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* row = bitmap.Row(y);
    if (palette) {
      for (int x = 0; x < bitmap.XSize; ++x) *out++ = static_cast<std::uint32_t>(row[x]) >> shift;
    } else {
      for (int x = 0; x < bitmap.XSize; ++x) *out++ = Bitmap_LoadColor(row + 4 * x) >> shift;
    }
  }
  return true;
}

std::int64_t RleCount(std::span<const std::uint32_t> values, std::int64_t start, std::int64_t end) {
  return RleCountUpTo(values, start, end, INT64_MAX);
}

std::int64_t AbsCount(std::span<const std::uint32_t> values, std::int64_t start, std::int64_t end) {
  std::int64_t count = 0;
  while (start + count < end) {
    // Only whether a run of 4 begins here matters.
    if (RleCountUpTo(values, start + count, end, 4) > 3) break;
    if (count == kRleMaxAbsolute) break;
    ++count;
  }
  return count;
}

int WriteRleText(OutBuffer& out, const Bitmap& bitmap, RleMode mode, int bitsPerPixel, sys::Context& ctx) {
  return WriteText(out, bitmap, mode, Emitted::Byte, bitsPerPixel == 4, true, ctx);
}

int WriteRle16Text(OutBuffer& out, const Bitmap& bitmap, bool swapRedBlue, sys::Context& ctx) {
  return WriteText(out, bitmap, RleMode::Index, swapRedBlue ? Emitted::Code16Swapped : Emitted::Code16, false, false,
                   ctx);
}

int WriteRle32Text(OutBuffer& out, const Bitmap& bitmap, sys::Context& ctx) {
  return WriteText(out, bitmap, RleMode::Index, Emitted::Color32, false, false, ctx);
}

int WriteRleBytes(OutBuffer& out, const Bitmap& bitmap, RleMode mode, int bitsPerPixel, sys::Context& ctx) {
  return WriteBytes(out, bitmap, mode, Emitted::Byte, bitsPerPixel == 4, ctx);
}

int WriteRle16Bytes(OutBuffer& out, const Bitmap& bitmap, bool swapRedBlue, sys::Context& ctx) {
  return WriteBytes(out, bitmap, RleMode::Index, swapRedBlue ? Emitted::Code16Swapped : Emitted::Code16, false, ctx);
}

int WriteRle32Bytes(OutBuffer& out, const Bitmap& bitmap, sys::Context& ctx) {
  return WriteBytes(out, bitmap, RleMode::Index, Emitted::Color32, false, ctx);
}
