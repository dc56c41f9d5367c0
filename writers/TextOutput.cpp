#include "writers/TextOutput.h"

#include <algorithm>
#include <cstring>

#include "sys/Path.h"
#include "sys/Version.h"
#include "writers/ImageWriters.h"

namespace rastra {

namespace {

constexpr std::size_t kBannerWidth = 70;
constexpr std::size_t kPaddedWidth = kBannerWidth - 1;

// Hands the gathered bytes to the sink and empties the buffer, whatever the
// outcome: a failed piece is not retried, but the buffer remembers it.
bool WritePending(OutBuffer& out) {
  const bool ok = out.sink->Write(out.bytes.data(), out.count);
  out.handed += out.count;
  out.count = 0;
  if (!ok) out.failed = true;
  return ok;
}

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void WriteLine(OutBuffer& out, std::string_view text) {
  OutWrite(out, text);
  OutWrite(out, "\r\n");
}

// Fills text with blanks to 69 characters and closes it with "*". Longer text
// stays as it is, without the closing star, but keeps its line end so the next
// banner line still starts a line of its own.
void WritePaddedLine(OutBuffer& out, const std::string& text) {
  if (text.size() > kPaddedWidth) {
    WriteLine(out, text);
    return;
  }
  std::string line = text;
  line.resize(kPaddedWidth, ' ');
  line += '*';
  WriteLine(out, line);
}

void WriteCentredLine(OutBuffer& out, std::string_view text) {
  const std::size_t inner = kBannerWidth - 2;
  const std::size_t left = (inner - text.size()) / 2;
  std::string line = "*";
  line.append(left, ' ');
  line += text;
  line.resize(kBannerWidth - 1, ' ');
  line += '*';
  WriteLine(out, line);
}

void WriteStarLine(OutBuffer& out) { WriteLine(out, std::string(kBannerWidth, '*')); }
void WriteEmptyFramedLine(OutBuffer& out) { WritePaddedLine(out, "*"); }

// The maker's notice; an "&" would be a menu accelerator mark and is dropped.
constexpr std::string_view kNoticeText = "(c) 2026 Vantor. All rights reserved.";

void WriteCompanyBlock(OutBuffer& out) {
  WriteCentredLine(out, "Vantor Embedded Graphics");
  WritePaddedLine(out, "*        Sharp pictures on small displays");
  WritePaddedLine(out, "*        Internet: www.vantor.example");
}

void WriteUsageText(OutBuffer& out, const std::string& identifier, const std::string& countText, int type) {
  const std::string& id = identifier;
  if (type == kOutputAnimSprite) {
    OutWrite(out, "\r\n* Usage:\r\n*   extern const GUI_BITMAP * apbm" + id + "[" + countText +
             "];\r\n*   extern const unsigned     aDelay" + id + "[" + countText +
             "];\r\n*   GUI_SPRITE_CreateAnim(apbm" + id + ", 10, 10, 0, aDelay" + id + ", GUI_COUNTOF(apbm" + id +
             "));\r\n*");
  } else {
    OutWrite(out, "\r\n* Usage:\r\n*   extern const GUI_CURSOR_ANIM Cursor" + id + ";\r\n*   GUI_CURSOR_SelectAnim(&Cursor" +
             id + ");\r\n*");
  }
}

void WritePaletteEntries(OutBuffer& out, const Bitmap& bitmap, bool swapped, bool eightDigits) {
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
    OutWrite(out, text, static_cast<std::size_t>(p - text));
  }
}

int DecimalDigits(int n) {
  int digits = 0;
  for (; n != 0; n /= 10) ++digits;
  return digits;
}

}  // namespace

int OutWrite(OutBuffer& out, const void* bytes, std::size_t n) {
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

int OutWriteWrapped(OutBuffer& out, const char* text, std::size_t n, int maxColumn, int indent) {
  if (static_cast<std::int64_t>(out.column) + static_cast<std::int64_t>(n) > maxColumn) {
    char lineStart[2 + 256];
    const std::size_t blanks = static_cast<std::size_t>(std::clamp(indent, 0, 256));
    lineStart[0] = '\r';
    lineStart[1] = '\n';
    std::memset(lineStart + 2, ' ', blanks);
    OutWrite(out, lineStart, 2 + blanks);
    out.column = indent;
  }
  const int ok = OutWrite(out, text, n);
  out.column += static_cast<std::int32_t>(out.lastCopied);
  return ok;
}

WrapWriter::WrapWriter(OutBuffer& out, int maxColumn, int indent)
    : out_(out), maxColumn_(maxColumn), indent_(std::clamp(indent, 0, 256)) {}

void WrapWriter::StartLine() {
  buffer_[used_++] = '\r';
  buffer_[used_++] = '\n';
  std::memset(buffer_.data() + used_, ' ', static_cast<std::size_t>(indent_));
  used_ += static_cast<std::size_t>(indent_);
}

void WrapWriter::Flush() {
  if (used_ != 0) OutWrite(out_, buffer_.data(), used_);
  used_ = 0;
}

int OutFlush(OutBuffer& out) {
  if (out.count == 0) return 1;
  return WritePending(out) ? 1 : 0;
}

bool OutComplete(OutBuffer& out) {
  OutFlush(out);
  return !out.failed && !out.sink->Failed();
}

std::string IdentifierFromName(const std::string& path) {
  std::string name = sys::SplitPath(path).name;
  // Deleting every occurrence of each offending character leaves exactly the
  // identifier characters.
  std::erase_if(name, [](char c) { return !IsIdentifierChar(c); });
  return name;
}

// Only the file name counts, so the folders may be as deep as the system
// allows.
int MakeIdentifier(const std::string& path, std::string& identifier, sys::Context& ctx, std::size_t capacity) {
  const std::string name = IdentifierFromName(path);
  if (name.empty()) {
    ctx.Fail(sys::Code::kBadName, "Illegal identifier");
    return 1;
  }
  if (capacity == 0) return 1;
  identifier = name.substr(0, capacity - 1);
  return 0;
}

void WriteFileBanner(OutBuffer& out, const std::string& identifier, const std::string& countText,
                     const Bitmap& bitmap, int type, const std::string& durationText) {
  const bool animation = type == kOutputAnimSprite || type == kOutputAnimCursor;
  WriteLine(out, "/" + std::string(kPaddedWidth, '*'));
  WriteCompanyBlock(out);
  WriteStarLine(out);
  WriteEmptyFramedLine(out);
  WritePaddedLine(out, "* C-file generated by");
  WriteEmptyFramedLine(out);
  WritePaddedLine(out, std::string("*        ") + sys::DisplayName() + " V" + sys::VersionText() + ".");
  WritePaddedLine(out, "*        Compiled Jun 13 2019, 14:25:40");
  WriteEmptyFramedLine(out);
  std::string notice(kNoticeText);
  std::erase(notice, '&');
  WritePaddedLine(out, "*        " + notice);
  WriteEmptyFramedLine(out);
  WriteStarLine(out);
  WriteEmptyFramedLine(out);
  std::string source = "* Source file: " + identifier;
  if (type == kOutputAnimSprite) source += ".gif (Animated Sprite)";
  if (type == kOutputAnimCursor) source += ".gif (Animated Cursor)";
  WritePaddedLine(out, source);
  WritePaddedLine(out, "* Dimensions:  " + std::to_string(bitmap.XSize) + " * " + std::to_string(bitmap.YSize));
  if (animation) {
    WritePaddedLine(out, "* NumImages:   " + countText);
    WritePaddedLine(out, "* Duration:    " + durationText + " ms");
  } else {
    WritePaddedLine(out, "* NumColors:   " + countText);
  }
  WriteEmptyFramedLine(out);
  WriteStarLine(out);
  OutWrite(out, "*");
  if (animation) WriteUsageText(out, identifier, countText, type);
  OutWrite(out, 
      "/\r\n\r\n#include <stdlib.h>\r\n\r\n#include \"GUI.h\"\r\n\r\n#ifndef GUI_CONST_STORAGE\r\n"
      "  #define GUI_CONST_STORAGE const\r\n#endif\r\n\r\n");
}

void WritePaletteComment(OutBuffer& out) {
  if (!OutPaletteFlag(out)) {
    OutWrite(out, 
        "#if 0\r\n\r\n\r\n/*********************************************************************\r\n*\r\n"
        "*  This palette is included for reference only\r\n"
        "*  As it is saved as device dependent bitmap without color info.\r\n"
        "*  Please note that this bitmap requires the physical palette to be\r\n"
        "*  identical to the palette of the display.\r\n"
        "*  If this does not work out, please convert your bitmap into a DIB \r\n*/\r\n");
  }
  OutWrite(out, 
      "/*********************************************************************\r\n*\r\n*       Palette\r\n*\r\n"
      "*  Description\r\n*    The following are the entries of the palette table.\r\n"
      "*    The entries are stored as a 32-bit values of which 24 bits are\r\n"
      "*    actually used according to the following bit mask: 0xBBGGRR\r\n*\r\n"
      "*    The lower   8 bits represent the Red   component.\r\n"
      "*    The middle  8 bits represent the Green component.\r\n"
      "*    The highest 8 bits represent the Blue  component.\r\n*/\r\n");
}

void WritePaletteBlock(OutBuffer& out, const std::string& identifier, const Bitmap& bitmap,
                       const OutputOptions& options) {
  const bool eightDigits = options.useArgb;
  const int n = bitmap.NumColors;
  OutWrite(out, "static GUI_CONST_STORAGE GUI_COLOR _Colors" + identifier + "[] = {\r\n");
  OutWrite(out, "#if (GUI_USE_ARGB == 0)");
  WritePaletteEntries(out, bitmap, false, eightDigits);
  OutWrite(out, "\r\n#else");
  WritePaletteEntries(out, bitmap, true, eightDigits);
  OutWrite(out, "\r\n#endif\r\n");
  OutWrite(out, "\r\n};\r\n\r\n");
  if (!OutPaletteFlag(out)) OutWrite(out, "#endif\r\n\r\n");
  OutWrite(out, "static GUI_CONST_STORAGE GUI_LOGPALETTE _Pal" + identifier + " = {\r\n");
  OutWrite(out, "  " + std::to_string(n) + ",  // Number of entries\r\n");
  OutWrite(out, bitmap.HasTrans ? "  1," : "  0,");
  OutWrite(out, std::string(static_cast<std::size_t>(DecimalDigits(n)) + 1, ' '));
  OutWrite(out, bitmap.HasTrans ? "// Has transparency\r\n" : "// No transparency\r\n");
  OutWrite(out, OutPaletteFlag(out) ? "  (const LCD_COLOR *)&_Colors" + identifier + "[0]" : std::string("  NULL"));
  OutWrite(out, "\r\n};\r\n\r\n");
}

}  // namespace rastra
