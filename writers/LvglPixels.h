// The pixel side of LVGL output: a picture as straight 8-bit RGBA (what
// LVGL's converter starts from), and the data block of a colour format made
// of it: palette, rows padded to the stride, RGB565A8's alpha plane.
#pragma once

#include <cstdint>
#include <vector>

#include <rastra/lvgl.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"

namespace rastra {

// Top row first. A palette picture carries its entries (R, G, B, A each) and
// one index per pixel as well as the colours.
struct LvglPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
  std::vector<std::uint8_t> palette;
  std::vector<std::uint8_t> indices;
};

LvglPicture LvglPictureOf(const Bitmap& bitmap);

// Bits per pixel of the format's (first) plane, and the bytes of one block of
// LVGL's RLE.
int LvglBitsPerPixel(LvglFormat format);
bool LvglIsIndexed(LvglFormat format);

struct LvglData {
  LvglFormat format = LvglFormat::kRGB565;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool premultiplied = false;
  std::vector<std::uint8_t> bytes;  // palette, rows, alpha plane
};

// Fails (kBadArgument, the reason in ctx) for what LVGL's header cannot hold
// or the format cannot do (premultiplying a format without alpha).
sys::Code MakeLvglData(const LvglPicture& picture, const LvglOptions& options, const OutputOptions& output,
                       LvglData& data, sys::Context& ctx);

// L8's luminance of a colour: sRGB to linear light, BT.709 weights, back to
// sRGB, truncated. Floating point evaluated exactly as the converter's does
// (LvglLuma.cpp is built without contracting multiply-adds).
std::uint8_t LvglLuma(std::uint8_t r, std::uint8_t g, std::uint8_t b);

}  // namespace rastra
