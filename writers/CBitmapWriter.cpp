#include "writers/CBitmapWriter.h"

#include <algorithm>
#include <array>

#include "image/ColorFormat.h"
#include "writers/RleEncoder.h"
#include "writers/SharedPaletteWriter.h"
#include "writers/TextOutput.h"
#include "writers/WriterSupport.h"

namespace rastra {

namespace {

using PE = PixelEncoding;

constexpr std::array<FormatEntry, 27> kFormats = {{
    {1, "1bpp", 1, false, PE::PackedIndex, -1, ""},
    {2, "2bpp", 2, false, PE::PackedIndex, -1, ""},
    {4, "4bpp", 4, false, PE::PackedIndex, -1, ""},
    {5, "8bpp", 8, false, PE::PackedIndex, -1, ""},
    {6, "RLE4 compression", 4, true, PE::RleIndex, -1, "\r\n  GUI_DRAW_RLE4"},
    {7, "RLE8 compression", 8, true, PE::RleIndex, -1, "\r\n  GUI_DRAW_RLE8"},
    {8, "High color (565)", 16, false, PE::Code16, kFormat565, "\r\n  GUI_DRAW_BMP565"},
    {9, "High color (565), RB swap", 16, false, PE::Code16, kFormatM565, "\r\n  GUI_DRAW_BMPM565"},
    {10, "High color (555)", 16, false, PE::Code16, kFormat555, "\r\n  GUI_DRAW_BMP555"},
    {11, "High color (555), RB swap", 16, false, PE::Code16, kFormatM555, "\r\n  GUI_DRAW_BMPM555"},
    {12, "High color (565), compressed", 16, true, PE::Rle16, kFormat565, "\r\n  GUI_DRAW_RLE16"},
    {13, "High color (565), RB swap, compr.", 16, true, PE::Rle16, kFormatM565, "\r\n  GUI_DRAW_RLEM16"},
    {15, "True color with alpha, compr.", 32, true, PE::Rle32, -1, "\r\n  GUI_DRAW_RLE32"},
    {16, "True color with alpha", 32, false, PE::Color32, -1, "\r\n  GUI_DRAW_BMP8888"},
    {17, nullptr, 24, false, PE::Rgb24, -1, "\r\n  GUI_DRAW_BMP24"},
    {18, "Alpha channel, compr.", 8, true, PE::RleAlpha, -1, "\r\n  GUI_DRAW_RLEALPHA"},
    {19, "16bpp (444_12)", 16, false, PE::Code16, kFormat444_12, "\r\n  GUI_DRAW_BMP444_12"},
    {20, "16bpp (444_12), RB swap", 16, false, PE::Code16, kFormatM444_12, "\r\n  GUI_DRAW_BMPM444_12"},
    {21, "16bpp (444_12_1)", 16, false, PE::Code16, kFormat444_12_1, "\r\n  GUI_DRAW_BMP444_12_1"},
    {22, "16bpp (444_12_1), RB swap", 16, false, PE::Code16, kFormatM444_12_1, "\r\n  GUI_DRAW_BMPM444_12_1"},
    {23, "16bpp (444_16)", 16, false, PE::Code16, kFormat444_16, "\r\n  GUI_DRAW_BMP444_16"},
    {24, "16bpp (444_16), RB swap", 16, false, PE::Code16, kFormatM444_16, "\r\n  GUI_DRAW_BMPM444_16"},
    {25, "High color with alpha (555)", 24, false, PE::AlphaCode16, kFormat555, "\r\n  GUI_DRAW_BMPA555"},
    {26, "High color with alpha (555), RB swap", 24, false, PE::AlphaCode16, kFormatM555,
     "\r\n  GUI_DRAW_BMPAM555"},
    {27, "High color with alpha (565)", 24, false, PE::AlphaCode16, kFormat565, "\r\n  GUI_DRAW_BMPA565"},
    {28, "High color with alpha (565), RB swap", 24, false, PE::AlphaCode16, kFormatM565,
     "\r\n  GUI_DRAW_BMPAM565"},
    {29, "True color with alpha, RB swap, alpha inverted", 32, false, PE::Color32Swapped, -1,
     "\r\n  GUI_DRAW_BMPM8888I"},
}};

constexpr FormatEntry kBothVariants = {99, "True color with alpha, both variants", 32, false, PE::Color32Both, -1,
                                       "\r\n#if (GUI_USE_ARGB == 1)\r\n  GUI_DRAW_BMPM8888I\r\n#else\r\n"
                                       "  GUI_DRAW_BMP8888\r\n#endif"};

constexpr auto MakeTable() {
  std::array<FormatEntry, kFormats.size() + 1> table{};
  for (std::size_t i = 0; i < kFormats.size(); ++i) table[i] = kFormats[i];
  table[kFormats.size()] = kBothVariants;
  return table;
}

constexpr auto kTable = MakeTable();

const char* TrueColorCountText(int format) {
  switch (format) {
    case 8: case 9: case 12: case 13: return "16bpp: 65536";
    case 10: case 11: return "15bpp: 32768";
    case 15: case 16: case 29: case 99: return "32bpp: 16777216 + 256";
    case 17: return "24bpp: 16777216";
    case 18: return "None, only alpha channel";
    case 19: case 20: case 21: case 22: case 23: case 24: return "12bpp: 4096";
    case 25: case 26: return "32768 colors + 8 bit alpha channel";
    case 27: case 28: return "65536 colors + 8 bit alpha channel";
    default: return "0";
  }
}

bool IsPaletteFormat(const FormatEntry& entry) {
  return entry.encoding == PE::PackedIndex || entry.encoding == PE::RleIndex;
}

// ------------------------------------------------------------ data rows

constexpr std::size_t kMaxElementLength = 48;

// Rows from the top: each starts at column 0 with "  ", its elements wrapped,
// and ends unwrapped. Every element of these rows has one width, so all rows
// but the last have the text length of the first: a count takes it from
// there and writes only the first and the last row.
template <class RowElements>
void WriteRows(const Bitmap& image, WrapWriter& out, std::string_view lastRowEnd, RowElements&& writeElements) {
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint64_t start = out.BytesSoFar();
    out.SetColumn(0);
    out.Wrapped("  ");
    writeElements(image.Row(y));
    out.Plain(y + 1 < image.YSize ? std::string_view(",\r\n") : lastRowEnd);
    if (y == 0 && out.Counting() && image.YSize > 2) {
      out.AddCounted((out.BytesSoFar() - start) * static_cast<std::uint64_t>(image.YSize - 2));
      y = image.YSize - 2;
    }
  }
}

// One element per pixel, every one but the last of its row followed by ", ".
template <class Format>
void WritePixelRows(const Bitmap& image, WrapWriter& out, std::string_view lastRowEnd, Format&& format) {
  const int width = image.XSize;
  WriteRows(image, out, lastRowEnd, [&](const std::uint8_t* row) {
    for (int x = 0; x < width; ++x) {
      char* p = format(Bitmap_LoadColor(row + 4 * x), out.Reserve(kMaxElementLength));
      if (x + 1 < width) {
        *p++ = ',';
        *p++ = ' ';
      }
      out.CommitWrapped(p);
    }
  });
}

char* PutBitNames(char* p, std::uint32_t byte) {
  for (int bit = 7; bit >= 0; --bit) *p++ = (byte >> bit) & 1 ? 'X' : '_';
  return p;
}

void WritePackedRows(const Bitmap& image, int bits, WrapWriter& out) {
  const int width = image.XSize;
  const int perByte = 8 / bits;
  const std::uint32_t mask = (1u << bits) - 1;
  WriteRows(image, out, "\r\n};\r\n\r\n", [&](const std::uint8_t* row) {
    for (int x = 0; x < width; x += perByte) {
      std::uint32_t byte = 0;
      for (int i = 0; i < perByte; ++i) {
        const std::uint32_t index = x + i < width ? row[x + i] & mask : 0;
        byte |= index << (8 - bits * (i + 1));
      }
      if (x != 0) out.Wrapped(", ");
      char* p = out.Reserve(kMaxElementLength);
      out.CommitWrapped(bits == 1 ? PutBitNames(p, byte) : textfmt::PutHexByte(p, byte));
    }
  });
}

std::uint32_t TransparencyOf(Color c) { return c >> 24; }

// Format 16: the colour value, its top byte only when the image has alpha.
auto Color32Element(bool hasAlpha) {
  return [hasAlpha](Color c, char* p) { return textfmt::PutHexLong(p, hasAlpha ? c : c & 0xFFFFFF); };
}

// Format 29: red and blue exchanged and the top byte 255 - T.
auto Color32SwappedElement(bool hasAlpha) {
  return [hasAlpha](Color c, char* p) {
    const std::uint32_t t = hasAlpha ? TransparencyOf(c) : 0;
    const std::uint32_t value = ((255 - t) << 24) | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    return textfmt::PutHexLong(p, value);
  };
}

void WriteTrueColorData(const Bitmap& image, const FormatEntry& entry, WrapWriter& out) {
  const std::string_view end = "\r\n};\r\n\r\n";
  const bool hasAlpha = image.HasAlpha != 0;
  switch (entry.encoding) {
    case PE::Code16: {
      const ColorFormat& format = GetColorFormat(entry.colorFormat);
      WritePixelRows(image, out, end, [&](Color c, char* p) { return textfmt::PutHexWord(p, format.ColorToIndex(c)); });
      break;
    }
    case PE::Rgb24:
      WritePixelRows(image, out, end, [](Color c, char* p) {
        p = textfmt::PutHexByte(p, c & 0xFF);
        p = textfmt::PutText(p, ", ");
        p = textfmt::PutHexByte(p, (c >> 8) & 0xFF);
        p = textfmt::PutText(p, ", ");
        return textfmt::PutHexByte(p, (c >> 16) & 0xFF);
      });
      break;
    case PE::AlphaCode16: {
      const ColorFormat& format = GetColorFormat(entry.colorFormat);
      WritePixelRows(image, out, end, [&](Color c, char* p) {
        const std::uint32_t code = format.ColorToIndex(c);
        p = textfmt::PutHexByte(p, TransparencyOf(c));
        *p++ = ',';
        p = textfmt::PutHexByte(p, code >> 8);
        *p++ = ',';
        return textfmt::PutHexByte(p, code & 0xFF);
      });
      break;
    }
    case PE::Color32:
      WritePixelRows(image, out, end, Color32Element(hasAlpha));
      break;
    case PE::Color32Swapped:
      WritePixelRows(image, out, end, Color32SwappedElement(hasAlpha));
      break;
    case PE::Color32Both:
      out.Wrapped("#if (GUI_USE_ARGB == 1)\r\n");
      WritePixelRows(image, out, "\r\n", Color32SwappedElement(hasAlpha));
      out.Wrapped("#else\r\n");
      WritePixelRows(image, out, "\r\n", Color32Element(hasAlpha));
      out.Wrapped("#endif\r\n");
      out.Plain("};\r\n\r\n");
      return;
    default:
      return;
  }
  // An image without rows still closes its array.
  if (image.YSize <= 0) out.Plain("};\r\n\r\n");
}

int WriteCompressedTrueColorData(OutBuffer& out, const Bitmap& image, const FormatEntry& entry, sys::Context& ctx) {
  switch (entry.encoding) {
    case PE::Rle16: return WriteRle16Text(out, image, entry.colorFormat == kFormatM565, ctx);
    case PE::Rle32: return WriteRle32Text(out, image, ctx);
    case PE::RleAlpha: return WriteRleText(out, image, RleMode::Transparency, 8, ctx);
    default: return 0;
  }
}

const char* TrueColorArrayType(const FormatEntry& entry) {
  switch (entry.encoding) {
    case PE::Code16: return "unsigned short";
    case PE::Color32:
    case PE::Color32Swapped:
    case PE::Color32Both: return "U32";
    default: return "unsigned char";
  }
}

// ------------------------------------------------------------ file parts

struct BitmapMembers {
  std::string data;
  std::string palette;
  std::string drawMethod;
};

// Returns false when the data could not be made (recorded in ctx).
// The palette member's target: the file's own palette, or the one the set
// shares, declared here.
std::string WritePaletteOrDeclaration(OutBuffer& buffer, const Bitmap& image, const OutputSpec& spec,
                                      const std::string& id, const OutputOptions& options) {
  if (UsesSharedPalette(image, spec)) {
    const std::string symbol = SharedPaletteSymbol(spec.sharedPalette->identifier);
    OutWrite(buffer, "extern GUI_CONST_STORAGE GUI_LOGPALETTE " + symbol + ";  // shared palette\r\n\r\n");
    return symbol;
  }
  WritePaletteComment(buffer);
  WritePaletteBlock(buffer, id, image, options);
  return "_Pal" + id;
}

bool WritePaletteImageData(OutBuffer& buffer, const Bitmap& image, const FormatEntry& entry, const FormatInfo& info,
                           const OutputSpec& spec, const std::string& id, const OutputOptions& options,
                           sys::Context& ctx, BitmapMembers& members) {
  const std::string palette = WritePaletteOrDeclaration(buffer, image, spec, id, options);
  OutWrite(buffer, "static GUI_CONST_STORAGE unsigned char _ac" + id + "[] = {\r\n");
  if (info.compressed) {
    if (WriteRleText(buffer, image, RleMode::Index, info.bitsPerPixel, ctx) != 0) return false;
  } else {
    WrapWriter out(buffer);
    WritePackedRows(image, std::clamp(info.bitsPerPixel, 1, 8), out);
    if (image.YSize <= 0) out.Plain("};\r\n\r\n");
  }
  members.data = "(const unsigned char *)_ac" + id + ",  // Pointer to picture data (indices)";
  members.palette = "&" + palette + (info.compressed ? ",  // Pointer to palette" : "   // Pointer to palette");
  // FORMAT 18 on a palette image is RLE8 of its indices.
  members.drawMethod = entry.encoding == PE::RleAlpha ? "\r\n  GUI_DRAW_RLE8" : entry.drawMethod;
  return true;
}

bool WriteTrueColorImageData(OutBuffer& buffer, const Bitmap& image, const FormatEntry& entry, const std::string& id,
                             sys::Context& ctx, BitmapMembers& members) {
  OutWrite(buffer, std::string("static GUI_CONST_STORAGE ") + TrueColorArrayType(entry) + " _ac" + id + "[] = {\r\n");
  if (entry.compressed) {
    if (WriteCompressedTrueColorData(buffer, image, entry, ctx) != 0) return false;
  } else {
    WrapWriter out(buffer);
    WriteTrueColorData(image, entry, out);
  }
  members = {"(const unsigned char *)_ac" + id + ",  // Pointer to picture data", "NULL,  // Pointer to palette",
             entry.drawMethod};
  return true;
}

std::string BitsPerPixelText(const FormatInfo& info) {
  if (info.compressed && info.bitsPerPixel == 4) return "GUI_COMPRESS_RLE4";
  if (info.compressed && info.bitsPerPixel == 8) return "GUI_COMPRESS_RLE8";
  return std::to_string(info.bitsPerPixel);
}

void WriteBitmapStructure(OutBuffer& out, const Bitmap& image, const FormatInfo& info, std::int64_t bytesPerLine,
                          const std::string& id, const BitmapMembers& members) {
  OutWrite(out, "GUI_CONST_STORAGE GUI_BITMAP bm" + id + " = {\r\n  " + std::to_string(image.XSize) + ", // xSize\r\n  " +
           std::to_string(image.YSize) + ", // ySize\r\n  " + std::to_string(bytesPerLine) +
           ", // BytesPerLine\r\n  " + BitsPerPixelText(info) + ", // BitsPerPixel\r\n  " + members.data + "\r\n  " +
           members.palette + members.drawMethod);
  OutWrite(out, "\r\n};\r\n\r\n");
  OutWrite(out, "/*************************** End of file ****************************/\r\n");
}

}  // namespace

bool UsesSharedPalette(const Bitmap& image, const OutputSpec& spec) {
  return spec.sharedPalette != nullptr && spec.NoPalette == 0 && spec.sharedPalette->Covers(image);
}

std::span<const FormatEntry> FormatTable() { return kTable; }

const FormatEntry* FindFormat(int code) {
  const auto it = std::find_if(kTable.begin(), kTable.end(), [code](const FormatEntry& e) { return e.code == code; });
  return it == kTable.end() ? nullptr : &*it;
}

int GetFormatInfo(int format, int numColors, FormatInfo& info) {
  const FormatEntry* entry = FindFormat(format);
  if (entry == nullptr) return 1;
  info.bitsPerPixel = entry->bitsPerPixel;
  info.compressed = entry->compressed;
  info.colorCountText = numColors != 0 ? std::to_string(numColors) : TrueColorCountText(format);
  return 0;
}

sys::Code WriteCBitmapFile(OutBuffer& out, const OutputSpec& spec, const Bitmap* bitmap, const std::string& path,
                     const OutputOptions& options, sys::Context& ctx) {
  // Nothing written must not pass for a save: the caller keeps the old file
  // only when it hears of the failure.
  if (bitmap == nullptr) {
    return ctx.Fail(sys::Code::kNoImage, kNoImageText, kNoImageMessage);
  }
  OutSetPaletteFlag(out, spec.NoPalette == 0);
  const FormatEntry* entry = FindFormat(spec.Format);
  if (entry == nullptr) {
    return ctx.Fail(sys::Code::kBadFormat, kFormatMismatchText, kFormatMismatchMessage);
  }

  // A palette image asked for a true-colour FORMAT is written from its colours,
  // so the data matches the structure; FORMAT 18 keeps the RLE8 of its indices.
  BitmapPtr colours;
  const Bitmap* image = bitmap;
  if (bitmap->NumColors != 0 && !IsPaletteFormat(*entry) && entry->encoding != PE::RleAlpha) {
    colours = writer_support::TrueColorCopy(*bitmap, ctx);
    if (!colours) return sys::Code::kOutOfMemory;
    image = colours.get();
  }
  if (image->NumColors == 0 && IsPaletteFormat(*entry)) {
    return ctx.Fail(sys::Code::kBadFormat, "This format needs an image with a palette");
  }

  FormatInfo info;
  GetFormatInfo(spec.Format, image->NumColors, info);
  const std::int64_t bytesPerLine = (std::int64_t{image->XSize} * info.bitsPerPixel + 7) / 8;
  std::string id;
  if (MakeIdentifier(path, id, ctx) != 0) return sys::Code::kBadName;

  OutSetColumn(out, 0);
  WriteFileBanner(out, id, info.colorCountText, *image, kOutputCBitmap);
  OutWrite(out, "extern GUI_CONST_STORAGE GUI_BITMAP bm" + id + ";\r\n\r\n");
  BitmapMembers members;
  const bool dataWritten = image->NumColors != 0
                               ? WritePaletteImageData(out, *image, *entry, info, spec, id, options, ctx, members)
                               : WriteTrueColorImageData(out, *image, *entry, id, ctx, members);
  if (!dataWritten) return sys::Code::kOutOfMemory;
  WriteBitmapStructure(out, *image, info, bytesPerLine, id, members);
  OutFlush(out);
  return sys::Code::kOk;
}

}  // namespace rastra
