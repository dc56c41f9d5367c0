// LVGL v9 image files: the .bin file (12-byte header, then the data or its
// compressed block) and the C source declaring an lv_image_dsc_t, laid out
// byte for byte as LVGL's converter writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <rastra/lvgl.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/LvglPixels.h"

namespace rastra {

inline constexpr std::uint8_t kLvglMagic = 0x19;
inline constexpr std::uint16_t kLvglFlagPremultiplied = 0x0001;
inline constexpr std::uint16_t kLvglFlagCompressed = 0x0008;

// The C name LVGL's converter gives a file: its name up to the first dot,
// '-' (and, unlike the converter, any other character a C name cannot hold)
// made '_'; "image" when nothing is left.
std::string LvglIdentifierOf(const std::string& path);

// The data as stored: itself, or the 12-byte compression block (method,
// compressed size, size) and the compressed bytes. Fails without liblz4.
sys::Code LvglStoredData(const LvglData& data, LvglCompression compression, std::vector<std::uint8_t>& stored,
                         sys::Context& ctx);

std::vector<std::uint8_t> LvglHeader(const LvglData& data, LvglCompression compression);
std::string LvglCSource(const LvglData& data, LvglCompression compression, const std::vector<std::uint8_t>& stored,
                        const std::string& name);
// The two parts of it: the includes, then the map and descriptor of one image.
std::string LvglCPrologue();
std::string LvglCImage(const LvglData& data, LvglCompression compression, const std::vector<std::uint8_t>& stored,
                       const std::string& name);
// After the frames <name>_0 ... of an animation: the array of their
// descriptors (for lv_animimg_set_src), each frame's delay in ms, the count
// and the whole playing time (for lv_animimg_set_duration).
std::string LvglCAnimationTable(const std::string& name, const std::vector<std::uint32_t>& delays);

// What a file holds, for the size report, the manifest and flash budgets.
struct LvglSizes {
  std::int64_t paletteBytes = 0;  // the indexed formats' palette
  std::int64_t pixelBytes = 0;    // rows with their padding, RGB565A8's alpha plane
  std::int64_t storedBytes = 0;   // the data as stored: compressed, with its 12-byte block
  // Of a C file on a 32-bit target: the map and the lv_image_dsc_t.
  std::int64_t FlashBytes() const { return storedBytes + kLvglDescriptorBytes; }
  static constexpr std::int64_t kLvglDescriptorBytes = 24;  // header 12, data_size, data, reserved
};

// The whole file for the options, of the picture as it is.
sys::Code MakeLvglFile(const LvglPicture& picture, const LvglOptions& options, const OutputOptions& output,
                       std::string& file, sys::Context& ctx, LvglSizes* sizes = nullptr);

// Writes the image to sink; a short write fails with "Could not write file <path>".
sys::Code WriteLvglImage(const Bitmap& image, const LvglOptions& options, const OutputOptions& output,
                         sys::ByteSink& sink, const std::string& path, sys::Context& ctx, LvglSizes* sizes = nullptr);

}  // namespace rastra
