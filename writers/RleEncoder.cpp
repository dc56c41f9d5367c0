#include "writers/RleEncoder.h"

#include <array>
#include <new>

#include "image/ColorFormat.h"
#include "sys/Memory.h"

namespace rastra {

namespace {

// What an item carries per pixel.
enum class Emitted { Byte, Code16, Code16Swapped, Color32 };

int ValueBytesOf(Emitted kind) {
  switch (kind) {
    case Emitted::Byte: return 1;
    case Emitted::Code16:
    case Emitted::Code16Swapped: return 2;
    case Emitted::Color32: return 4;
  }
  return 1;
}

// Turns a compared value into the bytes an item carries for that pixel.
class Emitter {
 public:
  Emitter(const Bitmap& bitmap, Emitted kind)
      : kind_(kind), hasPalette_(bitmap.NumColors != 0), palette_(Bitmap_PixelPalette(bitmap)) {
    if (kind == Emitted::Code16) format_ = &GetColorFormat(kFormat565);
    if (kind == Emitted::Code16Swapped) format_ = &GetColorFormat(kFormatM565);
  }

  int ValueBytes() const { return ValueBytesOf(kind_); }

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

// The pixels of the next chunk of a run with left pixels still to go: 254 at
// most, and 255 pixels are 254 and 1, not one chunk.
std::int64_t NextChunk(std::int64_t left) { return left > kRleMaxChunk ? kRleMaxChunk : left; }

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

// One item as the core hands it to a sink: where it starts, how many pixels it
// covers, and its encoded bytes. bytes is null for sinks that only count.
struct Item {
  std::int64_t pos = 0;
  std::int64_t pixels = 0;  // of the chunk or block
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;     // encoded bytes, count byte(s) included
  int pieceBytes = 1;       // bytes per value piece of an absolute block
};

// The one run-finding core of every form. It decides runs and absolute blocks
// over the compared values, splits runs into chunks and lays out each item's
// bytes; a sink only writes (text or bytes) or counts what it is handed:
//   RunStart(pos, run)  before the chunks of a run of run pixels
//   Chunk(item)         one run chunk; false drops the rest of the run
//   RunEnd()            after the chunks that were taken
//   Block(item)         one absolute block
// A sink whose kWritesBytes is false gets items without bytes, so counting
// costs no colour conversion.
class RunFinder {
 public:
  RunFinder(std::span<const std::uint32_t> values, const Emitter& emitter, bool nibbles)
      : values_(values), emitter_(emitter), nibbles_(nibbles) {}

  template <class Sink>
  void Encode(Sink& sink) const {
    const auto end = static_cast<std::int64_t>(values_.size());
    std::int64_t pos = 0;
    while (pos < end) {
      const std::int64_t run = RleCount(values_, pos, end);
      if (run >= 3) {
        EmitRun(sink, pos, run);
        pos += run;
        continue;
      }
      const std::int64_t block = AbsCount(values_, pos, end);
      if (block <= 1) {
        EmitRun(sink, pos, 1);
        pos += 1;
      } else {
        EmitBlock(sink, pos, block);
        pos += block;
      }
    }
  }

 private:
  template <class Sink>
  void EmitRun(Sink& sink, std::int64_t pos, std::int64_t run) const {
    std::array<std::uint8_t, 5> chunk{};
    Item item{pos, 0, nullptr, static_cast<std::size_t>(RleRunChunkBytes(emitter_.ValueBytes())), 1};
    if constexpr (Sink::kWritesBytes) {
      emitter_.Bytes(values_[static_cast<std::size_t>(pos)], chunk.data() + 1);
      item.bytes = chunk.data();
    }
    sink.RunStart(pos, run);
    for (std::int64_t left = run; left > 0; left -= item.pixels) {
      item.pixels = NextChunk(left);
      chunk[0] = static_cast<std::uint8_t>(item.pixels);
      if (!sink.Chunk(item)) break;
    }
    sink.RunEnd();
  }

  template <class Sink>
  void EmitBlock(Sink& sink, std::int64_t pos, std::int64_t n) const {
    const int valueBytes = emitter_.ValueBytes();
    Item item{pos, n, nullptr, static_cast<std::size_t>(RleAbsoluteBlockBytes(n, valueBytes, nibbles_)),
              nibbles_ ? 1 : valueBytes};
    std::array<std::uint8_t, kRleBlockHeaderBytes + 4 * kRleMaxAbsolute> block;
    if constexpr (Sink::kWritesBytes) {
      block[0] = 0;
      block[1] = static_cast<std::uint8_t>(n);
      std::uint8_t* out = block.data() + kRleBlockHeaderBytes;
      if (nibbles_) {
        PackNibbles(values_, pos, n, out);
      } else {
        for (std::int64_t i = 0; i < n; ++i) out += emitter_.Bytes(values_[static_cast<std::size_t>(pos + i)], out);
      }
      item.bytes = block.data();
    }
    sink.Block(item);
  }

  std::span<const std::uint32_t> values_;
  const Emitter& emitter_;
  bool nibbles_;
};

char* PutPixelBytes(char* p, const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    p = textfmt::PutHexByte(p, bytes[i]);
    *p++ = ',';
    *p++ = ' ';
  }
  return p;
}

// The C text form: a commented line per item and the closing trailer.
class TextSink {
 public:
  static constexpr bool kWritesBytes = true;

  TextSink(OutBuffer& buffer, std::int64_t xSize) : xSize_(xSize), out_(buffer) {}

  void RunStart(std::int64_t pos, std::int64_t run) {
    out_.SetColumn(0);
    out_.Wrapped("  ");
    WriteComment("/* RLE: ", run, pos);
  }

  bool Chunk(const Item& item) {
    char text[64];
    char* p = textfmt::PutDec(text, item.bytes[0]);
    p = textfmt::PutText(p, ", ");
    p = PutPixelBytes(p, item.bytes + 1, item.size - 1);
    out_.Wrapped(text, static_cast<std::size_t>(p - text));
    dataBytes_ += static_cast<std::int64_t>(item.size);
    return true;
  }

  void RunEnd() { out_.Wrapped("\r\n"); }

  void Block(const Item& item) {
    out_.SetColumn(0);
    WriteComment("  /* ABS: ", item.pixels, item.pos);
    char text[64];
    char* p = textfmt::PutText(text, "0, ");
    p = textfmt::PutDec(p, item.pixels);
    p = textfmt::PutText(p, ", ");
    out_.Wrapped(text, static_cast<std::size_t>(p - text));
    const auto piece = static_cast<std::size_t>(item.pieceBytes);
    for (auto at = static_cast<std::size_t>(kRleBlockHeaderBytes); at < item.size; at += piece) {
      out_.CommitWrapped(PutPixelBytes(out_.Reserve(32), item.bytes + at, piece));
    }
    dataBytes_ += static_cast<std::int64_t>(item.size);
    out_.Wrapped("\r\n");
  }

  void WriteTrailer(bool byteUnit, std::int64_t pixels) {
    char text[96];
    char* p = textfmt::PutText(text, "  0\r\n};  // ");
    p = textfmt::PutDec(p, dataBytes_);
    p = textfmt::PutText(p, byteUnit ? " bytes for " : " for ");
    p = textfmt::PutDec(p, pixels);
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

  std::int64_t xSize_;
  std::int64_t dataBytes_ = 0;
  WrapWriter out_;
};

// The stream form: each item's bytes in one write. A short write ends its
// item (the rest of a run's chunks too); the next item is still tried.
class ByteSink {
 public:
  static constexpr bool kWritesBytes = true;

  explicit ByteSink(OutBuffer& out) : out_(out) {}

  void RunStart(std::int64_t /*pos*/, std::int64_t /*run*/) {}
  bool Chunk(const Item& item) { return WriteAll(item); }
  void RunEnd() {}
  void Block(const Item& item) { WriteAll(item); }

 private:
  bool WriteAll(const Item& item) {
    return OutWrite(out_, item.bytes, item.size) == 1 && OutLastCopied(out_) == item.size;
  }

  OutBuffer& out_;
};

// Counts the items' shapes, which give the size of every value width at once.
class TallySink {
 public:
  static constexpr bool kWritesBytes = false;

  explicit TallySink(RleTally& tally) : tally_(tally) {}

  void RunStart(std::int64_t /*pos*/, std::int64_t /*run*/) {}
  bool Chunk(const Item& /*item*/) {
    ++tally_.runChunks;
    return true;
  }
  void RunEnd() {}
  void Block(const Item& item) {
    ++tally_.absoluteBlocks;
    tally_.absolutePixels += item.pixels;
    tally_.absolutePackedBytes += (item.pixels + 1) / 2;
  }

 private:
  RleTally& tally_;
};

int WriteText(OutBuffer& out, const Bitmap& bitmap, RleMode mode, Emitted kind, bool nibbles, bool byteUnit,
              sys::Context& ctx) {
  std::vector<std::uint32_t> values;
  if (!RleComparedValues(bitmap, mode, values, ctx)) return 1;
  const Emitter emitter(bitmap, kind);
  TextSink sink(out, bitmap.XSize);
  RunFinder(values, emitter, nibbles).Encode(sink);
  sink.WriteTrailer(byteUnit, static_cast<std::int64_t>(values.size()));
  return 0;
}

int WriteBytes(OutBuffer& out, const Bitmap& bitmap, RleMode mode, Emitted kind, bool nibbles, sys::Context& ctx) {
  std::vector<std::uint32_t> values;
  if (!RleComparedValues(bitmap, mode, values, ctx)) return 1;
  const Emitter emitter(bitmap, kind);
  ByteSink sink(out);
  RunFinder(values, emitter, nibbles).Encode(sink);
  return 0;
}

}  // namespace

std::int64_t RleRunChunkBytes(int valueBytes) { return 1 + valueBytes; }

std::int64_t RleAbsoluteBlockBytes(std::int64_t pixels, int valueBytes, bool nibbles) {
  return kRleBlockHeaderBytes + (nibbles ? (pixels + 1) / 2 : pixels * valueBytes);
}

std::int64_t RleTally::DataBytes(int valueBytes, bool nibbles) const {
  const std::int64_t blockValues = nibbles ? absolutePackedBytes : absolutePixels * valueBytes;
  return runChunks * RleRunChunkBytes(valueBytes) + absoluteBlocks * kRleBlockHeaderBytes + blockValues;
}

bool TallyRle(const Bitmap& bitmap, RleMode mode, RleTally& tally, sys::Context& ctx) {
  tally = RleTally{};
  std::vector<std::uint32_t> values;
  if (!RleComparedValues(bitmap, mode, values, ctx)) return false;
  // The values' bytes do not matter for counting, so any emitter will do.
  const Emitter emitter(bitmap, Emitted::Byte);
  TallySink sink(tally);
  RunFinder(values, emitter, false).Encode(sink);
  return true;
}

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

}  // namespace rastra
