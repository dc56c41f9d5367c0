#include "writers/TextOutput.h"

#include <algorithm>
#include <cstring>

#include "app/Report.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "sys/Path.h"
#include "writers/ImageWriters.h"

namespace {

constexpr std::size_t kBannerWidth = 70;
constexpr std::size_t kPaddedWidth = kBannerWidth - 1;

// Hands the gathered bytes to the file and empties the buffer, whatever the
// outcome: a failed piece is not retried.
bool WritePending(OutBuffer& out) {
  const bool ok = out.file != nullptr && out.file->Write(out.bytes.data(), out.count);
  out.count = 0;
  return ok;
}

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void WriteLine(std::string_view text) {
  OutWrite(text);
  OutWrite("\r\n");
}

// Fills text with blanks to 69 characters and closes it with "*". Longer text
// stays as it is, without the closing star, but keeps its line end so the next
// banner line still starts a line of its own.
void WritePaddedLine(const std::string& text) {
  if (text.size() > kPaddedWidth) {
    WriteLine(text);
    return;
  }
  std::string line = text;
  line.resize(kPaddedWidth, ' ');
  line += '*';
  WriteLine(line);
}

void WriteCentredLine(std::string_view text) {
  const std::size_t inner = kBannerWidth - 2;
  const std::size_t left = (inner - text.size()) / 2;
  std::string line = "*";
  line.append(left, ' ');
  line += text;
  line.resize(kBannerWidth - 1, ' ');
  line += '*';
  WriteLine(line);
}

void WriteStarLine() { WriteLine(std::string(kBannerWidth, '*')); }
void WriteEmptyFramedLine() { WritePaddedLine("*"); }

// The maker's notice; an "&" would be a menu accelerator mark and is dropped.
constexpr std::string_view kNoticeText = "(c) 2026 Vantor. All rights reserved.";

void WriteCompanyBlock() {
  WriteCentredLine("Vantor Embedded Graphics");
  WritePaddedLine("*        Sharp pictures on small displays");
  WritePaddedLine("*        Internet: www.vantor.example");
}

void WriteUsageText(const std::string& identifier, const std::string& countText, int type) {
  const std::string& id = identifier;
  if (type == kOutputAnimSprite) {
    OutWrite("\r\n* Usage:\r\n*   extern const GUI_BITMAP * apbm" + id + "[" + countText +
             "];\r\n*   extern const unsigned     aDelay" + id + "[" + countText +
             "];\r\n*   GUI_SPRITE_CreateAnim(apbm" + id + ", 10, 10, 0, aDelay" + id + ", GUI_COUNTOF(apbm" + id +
             "));\r\n*");
  } else {
    OutWrite("\r\n* Usage:\r\n*   extern const GUI_CURSOR_ANIM Cursor" + id + ";\r\n*   GUI_CURSOR_SelectAnim(&Cursor" +
             id + ");\r\n*");
  }
}

void WritePaletteEntries(const Bitmap& bitmap, bool swapped, bool eightDigits) {
  const int n = bitmap.NumColors;
  for (int i = 0; i < n; ++i) {
    char text[32];
    char* p = text;
    if (i % 4 == 0) p = textfmt::PutText(p, "\r\n  ");
    const Color c = Bitmap_GetPalColor(bitmap, i);
    const std::uint32_t value =
        swapped ? 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF) : c & 0xFFFFFFu;
    p = textfmt::PutText(p, "0x");
    p = textfmt::PutHex(p, value, eightDigits ? 8 : 6);
    if (i != n - 1) p = textfmt::PutText(p, (i + 1) % 4 == 0 ? "," : ", ");
    OutWrite(text, static_cast<std::size_t>(p - text));
  }
}

int DecimalDigits(int n) {
  int digits = 0;
  for (; n != 0; n /= 10) ++digits;
  return digits;
}

}  // namespace

OutBuffer& GetOutBuffer() {
  static OutBuffer buffer;
  return buffer;
}

void OutAttach(sys::File& file) {
  OutBuffer& out = GetOutBuffer();
  if (out.file != &file) out.count = 0;
  out.file = &file;
}

void OutDetach() {
  OutFlush();
  GetOutBuffer().file = nullptr;
}

int OutWrite(const void* bytes, std::size_t n) {
  OutBuffer& out = GetOutBuffer();
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  std::size_t copied = 0;
  while (copied < n) {
    const std::size_t take = std::min(n - copied, kOutBufferSize - out.count);
    std::memcpy(out.bytes.data() + out.count, source + copied, take);
    out.count += take;
    copied += take;
    if (out.count == kOutBufferSize && !WritePending(out)) {
      out.lastCopied = copied;
      return 0;
    }
  }
  out.lastCopied = copied;
  return 1;
}

int OutWriteWrapped(const char* text, std::size_t n, int maxColumn, int indent) {
  OutBuffer& out = GetOutBuffer();
  if (static_cast<std::int64_t>(out.column) + static_cast<std::int64_t>(n) > maxColumn) {
    char lineStart[2 + 256];
    const std::size_t blanks = static_cast<std::size_t>(std::clamp(indent, 0, 256));
    lineStart[0] = '\r';
    lineStart[1] = '\n';
    std::memset(lineStart + 2, ' ', blanks);
    OutWrite(lineStart, 2 + blanks);
    out.column = indent;
  }
  const int ok = OutWrite(text, n);
  out.column += static_cast<std::int32_t>(out.lastCopied);
  return ok;
}

WrapWriter::WrapWriter(int maxColumn, int indent)
    : maxColumn_(maxColumn), indent_(std::clamp(indent, 0, 256)) {}

void WrapWriter::StartLine() {
  buffer_[used_++] = '\r';
  buffer_[used_++] = '\n';
  std::memset(buffer_.data() + used_, ' ', static_cast<std::size_t>(indent_));
  used_ += static_cast<std::size_t>(indent_);
}

void WrapWriter::Flush() {
  if (used_ != 0) OutWrite(buffer_.data(), used_);
  used_ = 0;
}

int OutFlush() {
  OutBuffer& out = GetOutBuffer();
  if (out.count == 0) return 1;
  return WritePending(out) ? 1 : 0;
}

int MakeIdentifier(const std::string& path, std::string& identifier, std::size_t capacity) {
  if (path.size() >= kIdentifierCapacity) {
    ReportText("Path is too long");
    return 1;
  }
  std::string name = sys::SplitPath(path).name;
  // Deleting every occurrence of each offending character leaves exactly the
  // identifier characters.
  std::erase_if(name, [](char c) { return !IsIdentifierChar(c); });
  if (name.empty()) {
    ReportText("Illegal identifier");
    return 1;
  }
  if (capacity == 0) return 1;
  identifier = name.substr(0, capacity - 1);
  return 0;
}

void WriteFileBanner(const std::string& identifier, const std::string& countText, const Bitmap& bitmap, int type,
                     const std::string& durationText) {
  const bool animation = type == kOutputAnimSprite || type == kOutputAnimCursor;
  WriteLine("/" + std::string(kPaddedWidth, '*'));
  WriteCompanyBlock();
  WriteStarLine();
  WriteEmptyFramedLine();
  WritePaddedLine("* C-file generated by");
  WriteEmptyFramedLine();
  WritePaddedLine(std::string("*        ") + DisplayName() + " V" + VersionText() + ".");
  WritePaddedLine("*        Compiled Jun 13 2019, 14:25:40");
  WriteEmptyFramedLine();
  std::string notice(kNoticeText);
  std::erase(notice, '&');
  WritePaddedLine("*        " + notice);
  WriteEmptyFramedLine();
  WriteStarLine();
  WriteEmptyFramedLine();
  std::string source = "* Source file: " + identifier;
  if (type == kOutputAnimSprite) source += ".gif (Animated Sprite)";
  if (type == kOutputAnimCursor) source += ".gif (Animated Cursor)";
  WritePaddedLine(source);
  WritePaddedLine("* Dimensions:  " + std::to_string(bitmap.XSize) + " * " + std::to_string(bitmap.YSize));
  if (animation) {
    WritePaddedLine("* NumImages:   " + countText);
    WritePaddedLine("* Duration:    " + durationText + " ms");
  } else {
    WritePaddedLine("* NumColors:   " + countText);
  }
  WriteEmptyFramedLine();
  WriteStarLine();
  OutWrite("*");
  if (animation) WriteUsageText(identifier, countText, type);
  OutWrite(
      "/\r\n\r\n#include <stdlib.h>\r\n\r\n#include \"GUI.h\"\r\n\r\n#ifndef GUI_CONST_STORAGE\r\n"
      "  #define GUI_CONST_STORAGE const\r\n#endif\r\n\r\n");
}

void WritePaletteComment() {
  if (!OutPaletteFlag()) {
    OutWrite(
        "#if 0\r\n\r\n\r\n/*********************************************************************\r\n*\r\n"
        "*  This palette is included for reference only\r\n"
        "*  As it is saved as device dependent bitmap without color info.\r\n"
        "*  Please note that this bitmap requires the physical palette to be\r\n"
        "*  identical to the palette of the display.\r\n"
        "*  If this does not work out, please convert your bitmap into a DIB \r\n*/\r\n");
  }
  OutWrite(
      "/*********************************************************************\r\n*\r\n*       Palette\r\n*\r\n"
      "*  Description\r\n*    The following are the entries of the palette table.\r\n"
      "*    The entries are stored as a 32-bit values of which 24 bits are\r\n"
      "*    actually used according to the following bit mask: 0xBBGGRR\r\n*\r\n"
      "*    The lower   8 bits represent the Red   component.\r\n"
      "*    The middle  8 bits represent the Green component.\r\n"
      "*    The highest 8 bits represent the Blue  component.\r\n*/\r\n");
}

void WritePaletteBlock(const std::string& identifier, const Bitmap& bitmap) {
  const bool eightDigits = GetSettings().UseARGB != 0;
  const int n = bitmap.NumColors;
  OutWrite("static GUI_CONST_STORAGE GUI_COLOR _Colors" + identifier + "[] = {\r\n");
  OutWrite("#if (GUI_USE_ARGB == 0)");
  WritePaletteEntries(bitmap, false, eightDigits);
  OutWrite("\r\n#else");
  WritePaletteEntries(bitmap, true, eightDigits);
  OutWrite("\r\n#endif\r\n");
  OutWrite("\r\n};\r\n\r\n");
  if (!OutPaletteFlag()) OutWrite("#endif\r\n\r\n");
  OutWrite("static GUI_CONST_STORAGE GUI_LOGPALETTE _Pal" + identifier + " = {\r\n");
  OutWrite("  " + std::to_string(n) + ",  // Number of entries\r\n");
  OutWrite(bitmap.HasTrans ? "  1," : "  0,");
  OutWrite(std::string(static_cast<std::size_t>(DecimalDigits(n)) + 1, ' '));
  OutWrite(bitmap.HasTrans ? "// Has transparency\r\n" : "// No transparency\r\n");
  OutWrite(OutPaletteFlag() ? "  (const LCD_COLOR *)&_Colors" + identifier + "[0]" : std::string("  NULL"));
  OutWrite("\r\n};\r\n\r\n");
}
