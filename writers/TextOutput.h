// The writers' one output path and the pieces every generated C file shares.
//
// All writers put their bytes through OutBuffer: 100 bytes gathered, then handed
// to the file. The column counter drives the wrapping of the long element lists
// of the C files. The state is process-wide because writers run one at a time,
// and the animation writer spreads one file over several calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "image/Bitmap.h"
#include "sys/File.h"

inline constexpr std::size_t kOutBufferSize = 100;
inline constexpr int kWrapColumn = 254;
inline constexpr int kWrapIndent = 8;
inline constexpr std::size_t kIdentifierCapacity = 260;

struct OutBuffer {
  sys::File* file = nullptr;
  std::array<std::uint8_t, kOutBufferSize> bytes{};
  std::size_t count = 0;
  std::int32_t column = 0;    // characters on the current line, as the wrapping rule counts them
  std::size_t lastCopied = 0;  // bytes the last OutWrite took into the buffer
  bool writePalette = true;   // false: the palette is written only as a disabled reference
};

OutBuffer& GetOutBuffer();

// Makes file the target of the following writes; every writer attaches the
// file it was given before its first write. Bytes still pending for a different
// file are dropped (every writer ends with OutFlush, so there are none).
void OutAttach(sys::File& file);
// Flushes and forgets the file, so no later write can reach a closed file.
// The save dispatcher detaches after every writer.
void OutDetach();

// Returns 1, or 0 when a file write failed; then the rest of the bytes of this
// call are not copied and the buffer is empty again.
int OutWrite(const void* bytes, std::size_t n);
inline int OutWrite(std::string_view text) { return OutWrite(text.data(), text.size()); }
// Starts a new line indented by indent blanks first when the text would pass
// maxColumn.
int OutWriteWrapped(const char* text, std::size_t n, int maxColumn, int indent);
inline int OutWriteWrapped(std::string_view text, int maxColumn = kWrapColumn, int indent = kWrapIndent) {
  return OutWriteWrapped(text.data(), text.size(), maxColumn, indent);
}
// Returns 1 when the pending bytes reached the file (or there were none).
int OutFlush();

inline void OutSetColumn(std::int32_t column) { GetOutBuffer().column = column; }
inline std::int32_t OutColumn() { return GetOutBuffer().column; }
inline std::size_t OutLastCopied() { return GetOutBuffer().lastCopied; }
inline void OutSetPaletteFlag(bool writePalette) { GetOutBuffer().writePalette = writePalette; }
inline bool OutPaletteFlag() { return GetOutBuffer().writePalette; }

// Gathers wrapped and plain pieces locally and hands them to OutWrite in large
// blocks, following exactly the rule of OutWriteWrapped (and moving the same
// column counter), so the hot loops of the C writers avoid a call per element.
class WrapWriter {
 public:
  explicit WrapWriter(int maxColumn = kWrapColumn, int indent = kWrapIndent);
  ~WrapWriter() { Flush(); }
  WrapWriter(const WrapWriter&) = delete;
  WrapWriter& operator=(const WrapWriter&) = delete;

  void Wrapped(const char* text, std::size_t n) {
    if (n > kPieceLimit || used_ + n + kLineStartLimit > kCapacity) {
      Flush();
      if (n > kPieceLimit) {
        OutWriteWrapped(text, n, maxColumn_, indent_);
        return;
      }
    }
    std::int32_t& column = GetOutBuffer().column;
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
    std::int32_t& column = GetOutBuffer().column;
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
        OutWrite(text, n);
        return;
      }
    }
    Append(text, n);
  }
  void Plain(std::string_view text) { Plain(text.data(), text.size()); }
  void Flush();

 private:
  static constexpr std::size_t kCapacity = 16 * 1024;
  static constexpr std::size_t kPieceLimit = 1024;
  static constexpr std::size_t kLineStartLimit = 2 + 256;

  void Append(const char* text, std::size_t n) {
    std::memcpy(buffer_.data() + used_, text, n);
    used_ += n;
  }
  void StartLine();

  int maxColumn_;
  int indent_;
  std::size_t used_ = 0;
  std::array<char, kCapacity> buffer_;
};

// The C identifier of the output path: its file name without the characters a C
// name cannot hold. Returns 0, or 1 after reporting "Path is too long" or
// "Illegal identifier".
int MakeIdentifier(const std::string& path, std::string& identifier, std::size_t capacity = kIdentifierCapacity);

// Banner comment and includes. type is the output type (1, or 6 and 7 for the
// animation writer, where countText is the number of images and durationText
// the total delay).
void WriteFileBanner(const std::string& identifier, const std::string& countText, const Bitmap& bitmap, int type,
                     const std::string& durationText = "");
void WritePaletteComment();
void WritePaletteBlock(const std::string& identifier, const Bitmap& bitmap);

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
