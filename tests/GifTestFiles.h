// GIF files made for the tests and benchmarks: a byte-level builder for
// hand-made files (with a plain LZW code writer), and encoding and decoding
// through giflib as an independent oracle.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef RASTRA_HAVE_GIFLIB
#include <gif_lib.h>
#endif


namespace gif_test {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::uint32_t;  // 0x00BBGGRR, as palette entries read back

// Packs LZW codes least significant bit first, growing the code width the
// way a decoder does: one table entry per code after the first one that
// follows a clear code.
class CodeWriter {
 public:
  explicit CodeWriter(int minCodeSize) : minCodeSize_(minCodeSize), clear_(1 << minCodeSize) { Reset(); }

  int Clear() const { return clear_; }
  int End() const { return clear_ + 1; }
  int NextFree() const { return next_; }

  void Put(int code) {
    bits_ |= static_cast<std::uint64_t>(code) << bitCount_;
    bitCount_ += width_;
    while (bitCount_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(bits_));
      bits_ >>= 8;
      bitCount_ -= 8;
    }
    if (code == clear_) {
      Reset();
    } else if (code != End()) {
      if (firstAfterClear_) {
        firstAfterClear_ = false;
      } else if (next_ < 4096) {
        ++next_;
        if (next_ >= limit_ && limit_ < 4096) {
          limit_ *= 2;
          ++width_;
        }
      }
    }
  }

  // The packed bytes, a partly filled last byte included.
  Bytes Finish() {
    Bytes result = out_;
    if (bitCount_ > 0) result.push_back(static_cast<std::uint8_t>(bits_));
    return result;
  }

 private:
  void Reset() {
    width_ = minCodeSize_ + 1;
    limit_ = 2 * clear_;
    next_ = clear_ + 2;
    firstAfterClear_ = true;
  }

  int minCodeSize_;
  int clear_;
  int width_ = 0;
  int limit_ = 0;
  int next_ = 0;
  bool firstAfterClear_ = true;
  std::uint64_t bits_ = 0;
  int bitCount_ = 0;
  Bytes out_;
};

// Every pixel as its own code, with clear codes often enough that the width
// never grows: an uncompressed but valid LZW stream.
inline Bytes LiteralCodes(const std::vector<std::uint8_t>& pixels, int minCodeSize, bool withEnd = true) {
  CodeWriter writer(minCodeSize);
  const int perClear = (1 << minCodeSize) - 2;
  int sinceClear = perClear;
  for (std::uint8_t p : pixels) {
    if (sinceClear == perClear) {
      writer.Put(writer.Clear());
      sinceClear = 0;
    }
    writer.Put(p);
    ++sinceClear;
  }
  if (withEnd) writer.Put(writer.End());
  return writer.Finish();
}

// Appends a GIF byte by byte.
class GifBuilder {
 public:
  GifBuilder& Header(const char* signature = "GIF89a") {
    for (int i = 0; i < 6; ++i) bytes_.push_back(static_cast<std::uint8_t>(signature[i]));
    return *this;
  }
  GifBuilder& Screen(int width, int height, std::uint8_t flags = 0) {
    U16(width);
    U16(height);
    bytes_.push_back(flags);
    bytes_.push_back(0);  // background index
    bytes_.push_back(0);  // aspect ratio
    return *this;
  }
  // Screen with a global table of the given entries (padded to a power of 2).
  GifBuilder& ScreenWithTable(int width, int height, const std::vector<Rgb>& table) {
    const int bits = TableBits(table.size());
    Screen(width, height, static_cast<std::uint8_t>(0x80 | (bits - 1)));
    return Table(table, bits);
  }
  GifBuilder& GraphicControl(int delayCs, int transIndex = -1) {
    Raw({0x21, 0xF9, 4, static_cast<std::uint8_t>(transIndex >= 0 ? 1 : 0)});
    U16(delayCs);
    Raw({static_cast<std::uint8_t>(transIndex >= 0 ? transIndex : 0), 0});
    return *this;
  }
  GifBuilder& Extension(std::uint8_t label, const std::string& text) {
    Raw({0x21, label});
    return SubBlocks(Bytes(text.begin(), text.end()));
  }
  GifBuilder& Image(int left, int top, int width, int height, std::uint8_t flags = 0) {
    bytes_.push_back(0x2C);
    U16(left);
    U16(top);
    U16(width);
    U16(height);
    bytes_.push_back(flags);
    return *this;
  }
  GifBuilder& ImageWithTable(int left, int top, int width, int height, const std::vector<Rgb>& table,
                             bool interlaced = false) {
    const int bits = TableBits(table.size());
    Image(left, top, width, height, static_cast<std::uint8_t>(0x80 | (interlaced ? 0x40 : 0) | (bits - 1)));
    return Table(table, bits);
  }
  // Minimum code size byte, then the codes in sub-blocks and the terminator.
  GifBuilder& ImageData(int minCodeSize, const Bytes& codes) {
    bytes_.push_back(static_cast<std::uint8_t>(minCodeSize));
    return SubBlocks(codes);
  }
  GifBuilder& Pixels(const std::vector<std::uint8_t>& pixels, int minCodeSize = 8) {
    return ImageData(minCodeSize, LiteralCodes(pixels, minCodeSize));
  }
  GifBuilder& SubBlocks(const Bytes& data, std::size_t blockSize = 255) {
    for (std::size_t pos = 0; pos < data.size(); pos += blockSize) {
      const std::size_t n = std::min(blockSize, data.size() - pos);
      bytes_.push_back(static_cast<std::uint8_t>(n));
      bytes_.insert(bytes_.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                    data.begin() + static_cast<std::ptrdiff_t>(pos + n));
    }
    bytes_.push_back(0);
    return *this;
  }
  GifBuilder& Raw(std::initializer_list<std::uint8_t> raw) {
    for (std::uint8_t byte : raw) bytes_.push_back(byte);
    return *this;
  }
  GifBuilder& Trailer() { return Raw({0x3B}); }
  const Bytes& Get() const { return bytes_; }

 private:
  static int TableBits(std::size_t entries) {
    int bits = 1;
    while ((std::size_t{1} << bits) < entries) ++bits;
    return bits;
  }
  GifBuilder& Table(const std::vector<Rgb>& table, int bits) {
    for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i) {
      const Rgb c = i < table.size() ? table[i] : 0;
      Raw({static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c >> 16)});
    }
    return *this;
  }
  void U16(int v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }

  Bytes bytes_;
};

#ifdef RASTRA_HAVE_GIFLIB

struct OracleFrame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<Rgb> localTable;  // empty: the frame uses the global table
  std::vector<std::uint8_t> pixels;  // width x height, top row first
  int transIndex = -1;
  int delayCs = -1;  // no graphic control extension when negative and no transIndex
  int disposal = 0;  // the graphic control extension's disposal method
};

struct OracleGif {
  int width = 0, height = 0;
  std::vector<Rgb> globalTable;  // power-of-2 size, or empty
  std::vector<OracleFrame> frames;
};

inline ColorMapObject* MakeMap(const std::vector<Rgb>& table) {
  if (table.empty()) return nullptr;
  std::vector<GifColorType> colors(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    colors[i].Red = static_cast<GifByteType>(table[i]);
    colors[i].Green = static_cast<GifByteType>(table[i] >> 8);
    colors[i].Blue = static_cast<GifByteType>(table[i] >> 16);
  }
  return GifMakeMapObject(static_cast<int>(table.size()), colors.data());
}

inline int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

// giflib 5.2.1 drops its copy of a frame's local table without freeing it
// when the next frame has none, and keeps the last one beyond the close.
inline void ReleaseLocalTable(GifFileType* file) {
  if (file->Image.ColorMap != nullptr) {
    GifFreeMapObject(file->Image.ColorMap);
    file->Image.ColorMap = nullptr;
  }
}

// Interlaced frames are handed to giflib in stored row order.
inline std::optional<Bytes> EncodeWithGiflib(const OracleGif& gif) {
  Bytes out;
  int error = 0;
  GifFileType* file = EGifOpen(&out, WriteToVector, &error);
  if (file == nullptr) return std::nullopt;
  EGifSetGifVersion(file, true);
  ColorMapObject* global = MakeMap(gif.globalTable);
  bool ok = EGifPutScreenDesc(file, gif.width, gif.height, 8, 0, global) == GIF_OK;
  GifFreeMapObject(global);
  for (const OracleFrame& frame : gif.frames) {
    if (!ok) break;
    if (frame.delayCs >= 0 || frame.transIndex >= 0) {
      GraphicsControlBlock gcb{};
      gcb.DelayTime = frame.delayCs >= 0 ? frame.delayCs : 0;
      gcb.TransparentColor = frame.transIndex >= 0 ? frame.transIndex : NO_TRANSPARENT_COLOR;
      gcb.DisposalMode = frame.disposal;
      GifByteType extension[4];
      const size_t length = EGifGCBToExtension(&gcb, extension);
      ok = EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK;
    }
    ReleaseLocalTable(file);
    ColorMapObject* local = MakeMap(frame.localTable);
    ok = ok && EGifPutImageDesc(file, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local) ==
                   GIF_OK;
    GifFreeMapObject(local);
    std::vector<int> order;
    const int passStart[4] = {0, 4, 2, 1};
    const int passStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (frame.interlaced ? 4 : 1); ++pass) {
      const int start = frame.interlaced ? passStart[pass] : 0;
      const int step = frame.interlaced ? passStep[pass] : 1;
      for (int y = start; y < frame.height; y += step) order.push_back(y);
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(frame.width));
    for (int y : order) {
      if (!ok) break;
      std::memcpy(row.data(), frame.pixels.data() + static_cast<std::size_t>(y) * frame.width, row.size());
      ok = EGifPutLine(file, row.data(), frame.width) == GIF_OK;
    }
  }
  ReleaseLocalTable(file);
  if (EGifCloseFile(file, &error) != GIF_OK) ok = false;
  if (!ok) return std::nullopt;
  return out;
}

struct ReadState {
  const Bytes* data;
  std::size_t pos;
};

inline int ReadFromVector(GifFileType* gif, GifByteType* buffer, int length) {
  auto* state = static_cast<ReadState*>(gif->UserData);
  const std::size_t n = std::min(static_cast<std::size_t>(length), state->data->size() - state->pos);
  std::memcpy(buffer, state->data->data() + state->pos, n);
  state->pos += n;
  return static_cast<int>(n);
}

// giflib's view of every frame: rectangle, the table in effect, the pixels in
// picture row order and the graphic control values.
inline std::optional<OracleGif> DecodeWithGiflib(const Bytes& bytes) {
  ReadState state{&bytes, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&state, ReadFromVector, &error);
  if (file == nullptr) return std::nullopt;
  if (DGifSlurp(file) != GIF_OK) {
    DGifCloseFile(file, &error);
    return std::nullopt;
  }
  OracleGif gif;
  gif.width = file->SWidth;
  gif.height = file->SHeight;
  auto tableOf = [](const ColorMapObject* map) {
    std::vector<Rgb> table;
    for (int i = 0; map != nullptr && i < map->ColorCount; ++i) {
      const GifColorType& c = map->Colors[i];
      table.push_back(c.Red | (c.Green << 8) | (static_cast<Rgb>(c.Blue) << 16));
    }
    return table;
  };
  gif.globalTable = tableOf(file->SColorMap);
  for (int i = 0; i < file->ImageCount; ++i) {
    const SavedImage& image = file->SavedImages[i];
    OracleFrame frame;
    frame.left = image.ImageDesc.Left;
    frame.top = image.ImageDesc.Top;
    frame.width = image.ImageDesc.Width;
    frame.height = image.ImageDesc.Height;
    frame.interlaced = image.ImageDesc.Interlace;
    frame.localTable = tableOf(image.ImageDesc.ColorMap);
    frame.pixels.assign(image.RasterBits, image.RasterBits + static_cast<std::size_t>(frame.width) * frame.height);
    GraphicsControlBlock gcb{};
    if (DGifSavedExtensionToGCB(file, i, &gcb) == GIF_OK) {
      frame.delayCs = gcb.DelayTime;
      frame.transIndex = gcb.TransparentColor;
      frame.disposal = gcb.DisposalMode;
    }
    gif.frames.push_back(std::move(frame));
  }
  DGifCloseFile(file, &error);
  return gif;
}

#endif  // RASTRA_HAVE_GIFLIB

}  // namespace gif_test
