// The writers' output path and the pieces every generated C file shares.
//
// Every write has an OutBuffer of its own: 100 bytes gathered, then handed to
// the sink (a file, or memory). The column counter drives the wrapping of the
// long element lists of the C files. A write that falls short is remembered,
// so the writer that owns the buffer can tell its caller that the file is
// incomplete.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

inline constexpr std::size_t kOutBufferSize = 100;
inline constexpr int kWrapColumn = 254;
inline constexpr int kWrapIndent = 8;
inline constexpr std::size_t kIdentifierCapacity = 260;

struct OutBuffer {
  explicit OutBuffer(sys::ByteSink& target) : sink(&target) {}
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;

  sys::ByteSink* sink;
  std::array<std::uint8_t, kOutBufferSize> bytes{};
  std::size_t count = 0;
  std::int32_t column = 0;    // characters on the current line, as the wrapping rule counts them
  std::size_t lastCopied = 0;  // bytes the last OutWrite took into the buffer
  bool writePalette = true;   // false: the palette is written only as a disabled reference
  bool failed = false;        // some bytes did not reach the sink
  std::uint64_t handed = 0;   // bytes handed to the sink, and bytes counted instead (OutAddCounted)
  // Set when the bytes are only counted (the sink keeps nothing): rows of C
  // text whose elements all have one width are then counted from the first
  // one instead of being formatted.
  bool counting = false;
};

// Returns 1, or 0 when a write to the sink failed; then the rest of the bytes
// of this call are not copied and the buffer is empty again.
int OutWrite(OutBuffer& out, const void* bytes, std::size_t n);
inline int OutWrite(OutBuffer& out, std::string_view text) { return OutWrite(out, text.data(), text.size()); }
// Starts a new line indented by indent blanks first when the text would pass
// maxColumn.
int OutWriteWrapped(OutBuffer& out, const char* text, std::size_t n, int maxColumn, int indent);
inline int OutWriteWrapped(OutBuffer& out, std::string_view text, int maxColumn = kWrapColumn,
                           int indent = kWrapIndent) {
  return OutWriteWrapped(out, text.data(), text.size(), maxColumn, indent);
}
// Returns 1 when the pending bytes reached the sink (or there were none).
int OutFlush(OutBuffer& out);

inline void OutSetColumn(OutBuffer& out, std::int32_t column) { out.column = column; }
inline std::int32_t OutColumn(const OutBuffer& out) { return out.column; }
inline std::size_t OutLastCopied(const OutBuffer& out) { return out.lastCopied; }
inline void OutSetPaletteFlag(OutBuffer& out, bool writePalette) { out.writePalette = writePalette; }
inline bool OutPaletteFlag(const OutBuffer& out) { return out.writePalette; }
// True when every byte so far reached the sink (flushes first).
bool OutComplete(OutBuffer& out);
// The bytes written so far, those still in the buffer included.
inline std::uint64_t OutBytesSoFar(const OutBuffer& out) { return out.handed + out.count; }
// Adds bytes a counting writer stands for without writing them.
inline void OutAddCounted(OutBuffer& out, std::uint64_t bytes) { out.handed += bytes; }

// Gathers wrapped and plain pieces locally and hands them to OutWrite in large
// blocks, following exactly the rule of OutWriteWrapped (and moving the same
// column counter), so the hot loops of the C writers avoid a call per element.
class WrapWriter {
 public:
  explicit WrapWriter(OutBuffer& out, int maxColumn = kWrapColumn, int indent = kWrapIndent);
  ~WrapWriter() { Flush(); }
  WrapWriter(const WrapWriter&) = delete;
  WrapWriter& operator=(const WrapWriter&) = delete;

  void Wrapped(const char* text, std::size_t n) {
    if (n > kPieceLimit || used_ + n + kLineStartLimit > kCapacity) {
      Flush();
      if (n > kPieceLimit) {
        OutWriteWrapped(out_, text, n, maxColumn_, indent_);
        return;
      }
    }
    std::int32_t& column = out_.column;
    if (static_cast<std::int64_t>(column) + static_cast<std::int64_t>(n) > maxColumn_) {
      StartLine();
      column = indent_;
    }
    Append(text, n);
    column += static_cast<std::int32_t>(n);
  }
  void Wrapped(std::string_view text) { Wrapped(text.data(), text.size()); }
  // Formatting in place: Reserve room for a piece of at most maxLength bytes
  // (up to 1024), format it at the pointer returned, then CommitWrapped with
  // its end, which applies the wrapping rule as Wrapped does.
  char* Reserve(std::size_t maxLength) {
    if (used_ + maxLength + kLineStartLimit > kCapacity) Flush();
    return buffer_.data() + used_;
  }
  void CommitWrapped(const char* end) {
    char* start = buffer_.data() + used_;
    const auto n = static_cast<std::size_t>(end - start);
    std::int32_t& column = out_.column;
    if (static_cast<std::int64_t>(column) + static_cast<std::int64_t>(n) > maxColumn_) {
      std::memmove(start + 2 + indent_, start, n);
      StartLine();
      column = indent_;
    }
    used_ += n;
    column += static_cast<std::int32_t>(n);
  }
  void Plain(const char* text, std::size_t n) {
    if (used_ + n > kCapacity) {
      Flush();
      if (n > kCapacity) {
        OutWrite(out_, text, n);
        return;
      }
    }
    Append(text, n);
  }
  void Plain(std::string_view text) { Plain(text.data(), text.size()); }
  void Flush();
  // The column counter of the buffer this writer feeds.
  void SetColumn(std::int32_t column) { out_.column = column; }
  bool Counting() const { return out_.counting; }
  std::uint64_t BytesSoFar() const { return OutBytesSoFar(out_) + used_; }
  void AddCounted(std::uint64_t bytes) { OutAddCounted(out_, bytes); }

 private:
  static constexpr std::size_t kCapacity = 16 * 1024;
  static constexpr std::size_t kPieceLimit = 1024;
  static constexpr std::size_t kLineStartLimit = 2 + 256;

  void Append(const char* text, std::size_t n) {
    std::memcpy(buffer_.data() + used_, text, n);
    used_ += n;
  }
  void StartLine();

  OutBuffer& out_;
  int maxColumn_;
  int indent_;
  std::size_t used_ = 0;
  std::array<char, kCapacity> buffer_;
};

// The file name of path without its extension and the characters a C name
// cannot hold; "" when none is left.
std::string IdentifierFromName(const std::string& path);
// The C identifier of the output path: its file name without the characters a C
// name cannot hold, whatever the length of the path. Returns 0, or 1 after
// recording "Illegal identifier" (code kBadName).
int MakeIdentifier(const std::string& path, std::string& identifier, sys::Context& ctx,
                   std::size_t capacity = kIdentifierCapacity);

// Banner comment and includes. type is the output type (1, or 6 and 7 for the
// animation writer, where countText is the number of images and durationText
// the total delay).
void WriteFileBanner(OutBuffer& out, const std::string& identifier, const std::string& countText,
                     const Bitmap& bitmap, int type, const std::string& durationText = "");
void WritePaletteComment(OutBuffer& out);
// options.useArgb gives eight-digit entries.
void WritePaletteBlock(OutBuffer& out, const std::string& identifier, const Bitmap& bitmap,
                       const OutputOptions& options);

// A palette C file, shared by the bitmap files of a set: its banner names the
// palette and its number of colours.
void WritePaletteFileBanner(OutBuffer& out, const std::string& identifier, int numColors);
// The GUI_LOGPALETTE a shared palette file exports, and the bitmap files
// declare: Pal<identifier>.
std::string SharedPaletteSymbol(const std::string& identifier);
// The colour table as the palette block writes it, and the exported
// GUI_LOGPALETTE that points to it.
void WriteSharedPaletteBlock(OutBuffer& out, const std::string& identifier, const PaletteRef& palette, bool hasTrans,
                             const OutputOptions& options);

// Hand-made number formatting for the hot loops, identical to the printf
// conversions named. Each writes at p and returns the end.
namespace textfmt {

// "%.<minDigits>X"
inline char* PutHex(char* p, std::uint32_t value, int minDigits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char digits[8];  // least significant first
  int n = 0;
  do {
    digits[n++] = kDigits[value & 15];
    value >>= 4;
  } while (value != 0 && n < 8);
  const int total = minDigits > n ? (minDigits < 8 ? minDigits : 8) : n;  // a 32-bit value never needs more
  for (int i = 0; i < total; ++i) p[i] = i < total - n ? '0' : digits[total - 1 - i];
  return p + total;
}

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Exactly two hex digits of the low byte.
inline char* PutHex2(char* p, std::uint32_t byte) {
  p[0] = kHexDigits[(byte >> 4) & 15];
  p[1] = kHexDigits[byte & 15];
  return p + 2;
}

// "0x%.2X" of a byte: the one conversion every data array uses.
inline char* PutHexByte(char* p, std::uint32_t byte) {
  *p++ = '0';
  *p++ = 'x';
  if (byte > 0xFF) return PutHex(p, byte, 2);
  return PutHex2(p, byte);
}

// "0x%.4X" of a 16-bit code.
inline char* PutHexWord(char* p, std::uint32_t code) {
  *p++ = '0';
  *p++ = 'x';
  if (code > 0xFFFF) return PutHex(p, code, 4);
  p = PutHex2(p, code >> 8);
  return PutHex2(p, code);
}

// "0x%.8X"
inline char* PutHexLong(char* p, std::uint32_t value) {
  *p++ = '0';
  *p++ = 'x';
  p = PutHex2(p, value >> 24);
  p = PutHex2(p, value >> 16);
  p = PutHex2(p, value >> 8);
  return PutHex2(p, value);
}

// "%.<minDigits>d"
inline char* PutDec(char* p, std::int64_t value, int minDigits = 1) {
  char digits[20];  // least significant first
  int n = 0;
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  if (value < 0) *p++ = '-';
  while (magnitude != 0 && n < 20) {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  const int total = minDigits > n ? (minDigits < 20 ? minDigits : 20) : n;
  for (int i = 0; i < total; ++i) p[i] = i < total - n ? '0' : digits[total - 1 - i];
  return p + total;
}

inline char* PutText(char* p, std::string_view text) {
  for (char c : text) *p++ = c;
  return p;
}

}  // namespace textfmt

}  // namespace rastra
