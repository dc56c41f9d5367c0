#include "readers/ContentDescription.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

namespace rastra {

namespace {

struct Magic {
  std::size_t offset;
  std::string_view bytes;
  const char* description;
};

// Formats people mistake for pictures Rastra reads, or rename to one: other
// picture formats, documents, archives. The pictures Rastra reads come
// first, so a damaged one is still called what it claims to be.
constexpr std::array<Magic, 24> kMagics = {{
    {0, std::string_view("\x89PNG\r\n\x1a\n", 8), "a PNG picture"},
    {0, "GIF87a", "a GIF picture"},
    {0, "GIF89a", "a GIF picture"},
    {0, "\xFF\xD8\xFF", "a JPEG picture"},
    {0, "BM", "a Windows bitmap"},
    {8, "WEBP", "a WebP picture"},
    {0, std::string_view("II*\0", 4), "a TIFF picture"},
    {0, std::string_view("MM\0*", 4), "a TIFF picture"},
    {0, std::string_view("\0\0\1\0", 4), "a Windows icon"},
    {0, "8BPS", "a layered picture (PSD)"},
    {4, "ftypavif", "an AVIF picture"},
    {4, "ftypheic", "a HEIF picture"},
    {4, "ftypmif1", "a HEIF picture"},
    {0, std::string_view("\0\0\0\x0CjP  ", 8), "a JPEG 2000 picture"},
    {0, "qoif", "a QOI picture"},
    {0, "%PDF-", "a PDF document"},
    {0, "PK\x03\x04", "a ZIP archive"},
    {0, "PK\x05\x06", "a ZIP archive"},
    {0, "\x1F\x8B", "a gzip archive"},
    {0, "7z\xBC\xAF\x27\x1C", "a 7-Zip archive"},
    {0, "Rar!", "a RAR archive"},
    {0, "\xD0\xCF\x11\xE0", "an Office document"},
    {0, "\x7F" "ELF", "a program"},
    {0, "{\\rtf", "an RTF document"},
}};

bool HasAt(std::span<const std::uint8_t> data, std::size_t offset, std::string_view bytes) {
  return data.size() >= offset + bytes.size() && std::memcmp(data.data() + offset, bytes.data(), bytes.size()) == 0;
}

// The length of the UTF-8 sequence that starts with lead, 0 for a byte that
// starts none.
std::size_t Utf8Length(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsTextControl(std::uint8_t c) { return c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Printable ASCII and UTF-8 with the usual white space; a sequence cut off at
// the end of head still counts, since head may end in its middle.
bool IsText(std::span<const std::uint8_t> head) {
  std::size_t i = HasAt(head, 0, "\xEF\xBB\xBF") ? 3 : 0;
  while (i < head.size()) {
    const std::uint8_t c = head[i];
    if (c < 0x80) {
      if ((c < 0x20 && !IsTextControl(c)) || c == 0x7F) return false;
      ++i;
      continue;
    }
    const std::size_t length = Utf8Length(c);
    if (length == 0) return false;
    for (std::size_t k = 1; k < length && i + k < head.size(); ++k) {
      if ((head[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string LowerStart(std::span<const std::uint8_t> head) {
  std::string text(head.begin(), head.end());
  const std::size_t start = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  text = start == std::string::npos ? std::string() : text.substr(start);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string DescribeText(std::span<const std::uint8_t> head) {
  const std::string text = LowerStart(head);
  if (text.rfind("<svg", 0) == 0 || (text.rfind("<?xml", 0) == 0 && text.find("<svg") != std::string::npos)) {
    return "an SVG drawing";
  }
  if (text.rfind("<!doctype html", 0) == 0 || text.rfind("<html", 0) == 0) return "an HTML page";
  if (text.rfind("<?xml", 0) == 0) return "an XML document";
  return "text";
}

}  // namespace

std::string DescribeContent(std::span<const std::uint8_t> head, std::uint64_t totalBytes) {
  if (totalBytes == 0 || head.empty()) return "an empty file";
  head = head.first(std::min(head.size(), kContentHeadBytes));
  for (const Magic& magic : kMagics) {
    if (HasAt(head, magic.offset, magic.bytes)) return magic.description;
  }
  if (HasAt(head, 0, "\xFF\xFE") || HasAt(head, 0, "\xFE\xFF")) return "text";  // UTF-16
  if (IsText(head)) return DescribeText(head);
  if (std::all_of(head.begin(), head.end(), [](std::uint8_t b) { return b == 0; })) return "nothing but zero bytes";
  return {};
}

}  // namespace rastra
