// Images for LVGL v9: the image descriptor (lv_image_dsc_t) as C source, or
// the .bin file LVGL's file decoder reads, in any of LVGL's colour formats,
// plain or compressed with LVGL's RLE or LZ4.
//
//   rastra::LvglOptions lvgl;
//   lvgl.format = rastra::LvglFormat::kRGB565A8;
//   lvgl.compression = rastra::LvglCompression::kLz4;
//   rastra::Result<std::string> source = rastra::WriteLvgl(image, lvgl);
//
// The bytes are those LVGL's own converter (LVGLImage.py of LVGL 9.5) writes
// for the same pixels and options, with two exceptions: indexed formats of a
// picture with more colours than the format holds use Rastra's quantiser,
// and an RLE literal run at the end of the data is split where the script
// would write a count its decoder cannot read.
#pragma once

#include <cstdint>
#include <string>

#include <rastra/image.h>
#include <rastra/status.h>

namespace rastra {

// The values are LVGL's lv_color_format_t codes, as the header stores them.
enum class LvglFormat : std::uint8_t {
  kL8 = 0x06,
  kI1 = 0x07,
  kI2 = 0x08,
  kI4 = 0x09,
  kI8 = 0x0A,
  kA1 = 0x0B,
  kA2 = 0x0C,
  kA4 = 0x0D,
  kA8 = 0x0E,
  kRGB888 = 0x0F,
  kARGB8888 = 0x10,
  kXRGB8888 = 0x11,
  kRGB565 = 0x12,
  kARGB8565 = 0x13,
  kRGB565A8 = 0x14,
  kAL88 = 0x15,
  kARGB8888Premultiplied = 0x1A,
  kRGB565Swapped = 0x1B,
};

enum class LvglCompression : std::uint8_t { kNone = 0, kRle = 1, kLz4 = 2 };

enum class LvglContainer : std::uint8_t {
  kCSource,  // a .c file declaring a const lv_image_dsc_t
  kBinary,   // a .bin file: the 12-byte header and the data
};

struct LvglOptions {
  LvglFormat format = LvglFormat::kRGB565;
  LvglContainer container = LvglContainer::kCSource;
  LvglCompression compression = LvglCompression::kNone;
  // Every row (and every row of RGB565A8's alpha plane) is padded with zero
  // bytes to a multiple of this many bytes: 1 to 255.
  int align = 1;
  // Colours multiplied by their alpha, and the header's flag set. Only the
  // indexed formats, ARGB8888, RGB565A8 and ARGB8565 have it.
  bool premultiply = false;
  // Ordered dithering before the colours lose their low bits (the formats of
  // 565 colours).
  bool rgb565Dither = false;
  // What formats without alpha show through transparent pixels, 0xRRGGBB.
  std::uint32_t background = 0x000000;
  // The C variable (and LV_ATTRIBUTE_ macro) name; empty: "image".
  std::string name;
};

// LVGL's name of the format without its prefix ("RGB565_SWAPPED").
const char* LvglFormatName(LvglFormat format) noexcept;
// The format of a name as LvglFormatName gives it (upper case); false when
// there is none.
bool LvglFormatOfName(const std::string& name, LvglFormat& format) noexcept;

// The file as text (C source) or bytes (.bin) in a string.
Result<std::string> WriteLvgl(const Image& image, const LvglOptions& options) noexcept;
// The same into a file, written beside it and renamed into place when complete.
Status WriteLvglFile(const Image& image, const std::string& path, const LvglOptions& options) noexcept;

}  // namespace rastra
