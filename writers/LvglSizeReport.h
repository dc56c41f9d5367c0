// The LVGL rows of the size report: what each LVGL colour format costs for
// an image, plain and with each compression, counted by writing the data
// the way a save does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <rastra/lvgl.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"

namespace rastra {

struct LvglSizeRow {
  LvglFormat format = LvglFormat::kRGB565;
  int bitsPerPixel = 0;
  std::int64_t pixelBytes = 0;    // rows (stride alignment 1), RGB565A8's alpha plane too
  std::int64_t paletteBytes = 0;  // the indexed formats' palette
  std::int64_t flashBytes = 0;    // the C file's map and lv_image_dsc_t on a 32-bit target
  std::int64_t binBytes = 0;      // the .bin file
  std::optional<std::int64_t> rleBytes;  // the .bin file with RLE
  std::optional<std::int64_t> lz4Bytes;  // with LZ4 (none in a build without liblz4)
};

// One row per format in LVGL's code order. kOk, or the failure ctx recorded.
sys::Code ComputeLvglSizeReport(const Bitmap& image, const OutputOptions& options, std::vector<LvglSizeRow>& rows,
                                sys::Context& ctx);

std::string LvglSizeReportTable(const Bitmap& image, const std::vector<LvglSizeRow>& rows);
// format,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,bin_bytes,rle_bin_bytes,lz4_bin_bytes
std::string LvglSizeReportCsv(const std::vector<LvglSizeRow>& rows);

}  // namespace rastra
