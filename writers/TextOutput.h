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

// Makes file the target of the following writes. Bytes still pending for a
// different file are dropped (every writer ends with OutFlush, so there are none).
void OutAttach(sys::File& file);
// Flushes and forgets the file, so no write can reach a closed file.
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
// Returns 1 when the pending bytes reached the file.
int OutFlush();

inline void OutSetColumn(std::int32_t column) { GetOutBuffer().column = column; }
inline std::int32_t OutColumn() { return GetOutBuffer().column; }
inline std::size_t OutLastCopied() { return GetOutBuffer().lastCopied; }
inline void OutSetPaletteFlag(bool writePalette) { GetOutBuffer().writePalette = writePalette; }
inline bool OutPaletteFlag() { return GetOutBuffer().writePalette; }

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
  char digits[8];
  int n = 0;
  do {
    digits[n++] = kDigits[value & 15];
    value >>= 4;
  } while (value != 0);
  for (int i = n; i < minDigits; ++i) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

// "0x%.2X" of a byte: the one conversion every data array uses.
inline char* PutHexByte(char* p, std::uint32_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  *p++ = '0';
  *p++ = 'x';
  if (byte > 0xFF) return PutHex(p, byte, 2);
  *p++ = kDigits[byte >> 4];
  *p++ = kDigits[byte & 15];
  return p;
}

// "%.<minDigits>d"
inline char* PutDec(char* p, std::int64_t value, int minDigits = 1) {
  char digits[20];
  int n = 0;
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  if (value < 0) *p++ = '-';
  while (magnitude != 0) {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  for (int i = n; i < minDigits; ++i) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

inline char* PutText(char* p, std::string_view text) {
  for (char c : text) *p++ = c;
  return p;
}

}  // namespace textfmt
