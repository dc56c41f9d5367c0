// The in-memory image every part of Rastra works on.
//
// Pixel rows are stored bottom row first behind a 40-byte BITMAPINFOHEADER-style
// info block followed by the palette, as in a Windows DIB. Palette images hold one
// byte per pixel, true-colour images four bytes (blue, green, red, T) where T is
// the transparency byte (0 opaque, 255 fully transparent).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <rastra/image.h>

#include "sys/Context.h"

namespace rastra {

// Colours are the library's public Color values, 0xTTBBGGRR.

struct Bitmap {
  std::int32_t XSize = 0;
  std::int32_t YSize = 0;
  std::uint8_t HasTrans = 0;
  std::int32_t BytesPerLine = 0;
  std::int32_t NumColors = 0;
  std::int32_t NumUsedColors = 0;
  std::int32_t BitsPerPixel = 0;
  std::int32_t HasAlpha = 0;
  std::vector<std::uint8_t> pData;  // YSize x BytesPerLine bytes of pixel rows
  std::vector<std::uint8_t> pInfo;  // 40-byte info header, then 4 bytes per palette entry

  // Start of stored picture row y (picture coordinates, y = 0 is the top row).
  // Hot loops use these instead of per-pixel accessors.
  std::uint8_t* Row(int y) { return pData.data() + static_cast<std::size_t>(StoredRow(y)) * BytesPerLine; }
  const std::uint8_t* Row(int y) const {
    return pData.data() + static_cast<std::size_t>(StoredRow(y)) * BytesPerLine;
  }
  int StoredRow(int y) const;  // bottom-up while the info header's height is nonzero
};

using BitmapPtr = std::unique_ptr<Bitmap>;

// Colours sit in memory (pixels and palette entries alike) as blue, green, red, T.
// Row loops use these with Bitmap::Row instead of per-pixel accessors.
inline Color Bitmap_LoadColor(const std::uint8_t* p) {
  return static_cast<Color>(p[2]) | (static_cast<Color>(p[1]) << 8) | (static_cast<Color>(p[0]) << 16) |
         (static_cast<Color>(p[3]) << 24);
}
inline void Bitmap_StoreColor(std::uint8_t* p, Color c) {
  p[0] = static_cast<std::uint8_t>(c >> 16);
  p[1] = static_cast<std::uint8_t>(c >> 8);
  p[2] = static_cast<std::uint8_t>(c);
  p[3] = static_cast<std::uint8_t>(c >> 24);
}

// Progress texts of long operations go to the job's context (sys::Context),
// which formats nothing unless its caller asked for them.
// "Converting image, line 3/480": format takes the row (from 1) and the count.
void ReportRowProgress(sys::Context& ctx, const char* format, int row, int rows);

// Returns null (after the allocator has recorded why) when memory runs out.
BitmapPtr Bitmap_Create(int xSize, int ySize, int numColors, sys::Context& ctx);
// HasTrans is not copied: a copy is a fresh image of the same pixels.
BitmapPtr Bitmap_Copy(const Bitmap& source, sys::Context& ctx);
// The very picture again, its transparent entry included (an undo state, an
// edit made on a copy).
BitmapPtr Bitmap_Clone(const Bitmap& source, sys::Context& ctx);
inline void Bitmap_Delete(BitmapPtr bitmap) { bitmap.reset(); }

std::uint32_t Bitmap_GetPixel(const Bitmap& b, int x, int y);
void Bitmap_SetPixel(Bitmap& b, int x, int y, std::uint32_t value);
Color Bitmap_GetPixelColor(const Bitmap& b, int x, int y);
Color Bitmap_GetPalColor(const Bitmap& b, int i);
void Bitmap_SetPalColor(Bitmap& b, int i, Color color);
// Replaces the info block by a zero-filled one for n entries; rows are then
// addressed top row first. Returns false when the allocation failed.
bool Bitmap_SetNumColors(Bitmap& b, int n, sys::Context& ctx);
// One more palette entry (of at most 256) at index NumColors, the info header
// and the row order kept. False when the palette is full or memory ran out.
bool Bitmap_AppendPalColor(Bitmap& b, Color color, sys::Context& ctx);
int Bitmap_GetNumUsedColors(Bitmap& b, sys::Context& ctx);
// The colours a palette image's pixels show, for all 256 index values (black
// past the palette): the entries as they are, but the transparent entry of an
// image with HasTrans (index 0) fully transparent.
std::array<Color, 256> Bitmap_PixelPalette(const Bitmap& b);
// A true-colour image of the same colours: a palette image becomes the
// colours of Bitmap_PixelPalette, with HasAlpha set when it had a
// transparent entry; a true-colour image is copied, without its HasAlpha.
BitmapPtr Bitmap_ToTrueColor(const Bitmap& b, sys::Context& ctx);

// Info header height field (the only header field ever read back).
std::int32_t Bitmap_InfoHeight(const Bitmap& b);

}  // namespace rastra
