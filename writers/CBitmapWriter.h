// The FORMAT codes of the C bitmap and stream outputs, and the writer of C
// bitmap files: C source declaring one GUI_BITMAP with its pixel data and
// palette.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/ImageWriters.h"
#include "writers/TextOutput.h"

namespace rastra {

// How a FORMAT lays out its pixels.
enum class PixelEncoding {
  PackedIndex,    // 1, 2, 4, 8 bits of palette index per pixel
  RleIndex,       // RLE4 or RLE8 of the indices
  Code16,         // 16-bit code of a colour format
  Rle16,          // RLE16 of 565 or M565 codes
  Rle32,          // RLE32 of the colours
  Color32,        // the colour value 0xTTBBGGRR
  Rgb24,          // red, green, blue bytes
  RleAlpha,       // RLE of the transparency bytes
  AlphaCode16,    // transparency byte, then a 16-bit code
  Color32Swapped, // 0x(255 - T)RRGGBB
  Color32Both,    // both 32-bit forms under a GUI_USE_ARGB switch
};

struct FormatEntry {
  int code;
  const char* helpText;  // null for a code the help texts do not list
  int bitsPerPixel;
  bool compressed;
  PixelEncoding encoding;
  int colorFormat;         // ColorFormatId of the 16-bit codes, -1 when there are none
  const char* drawMethod;  // appended after the palette member, "" for none
};

// The FORMAT table in code order (1 to 29 without 3 and 14, then 99).
std::span<const FormatEntry> FormatTable();
// Null for a code outside the table.
const FormatEntry* FindFormat(int code);

struct FormatInfo {
  int bitsPerPixel = 0;
  bool compressed = false;
  std::string colorCountText;  // the banner's NumColors text
};

// Returns 0 with info filled, or 1 for a code outside the table.
int GetFormatInfo(int format, int numColors, FormatInfo& info);

// Whether a C bitmap file of image declares the shared palette of spec
// instead of carrying its own: a palette image on exactly that palette,
// saved with its palette (NOPALETTE 0).
bool UsesSharedPalette(const Bitmap& image, const OutputSpec& spec);

// Returns kOk, or why nothing (or not all) was written: no image, a FORMAT
// outside the table, a bad identifier, a palette FORMAT for an image without
// palette, or memory for the data ran out (recorded in ctx). Whether the bytes
// reached the sink is for the owner of out to ask (OutComplete).
sys::Code WriteCBitmapFile(OutBuffer& out, const OutputSpec& spec, const Bitmap* bitmap, const std::string& path,
                     const OutputOptions& options, sys::Context& ctx);

}  // namespace rastra
