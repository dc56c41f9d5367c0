#include "readers/ReadOptions.h"

#include <cstdio>

#include "image/ImageOps.h"
#include "sys/Memory.h"

namespace rastra {

std::uint64_t PixelBlockBytes(std::int64_t width, std::int64_t height, int numColors) {
  if (width <= 0 || height <= 0) return 0;
  const std::uint64_t bits = numColors != 0 ? 8 : 32;
  const std::uint64_t rowBytes = (bits * static_cast<std::uint64_t>(width) + 31) / 32 * 4;
  return rowBytes * static_cast<std::uint64_t>(height);
}

std::string SizeLimitCause(std::int64_t width, std::int64_t height, const ReadLimits& limits) {
  std::string cause = "the picture is " + std::to_string(width) + " x " + std::to_string(height) + " pixels, ";
  if (width > limits.maxWidth) return cause + "wider than the limit of " + std::to_string(limits.maxWidth);
  if (height > limits.maxHeight) return cause + "higher than the limit of " + std::to_string(limits.maxHeight);
  return cause + "more than the limit of " + std::to_string(limits.maxPixelBytes) + " bytes of pixels allows";
}

BitmapPtr CreateReadImage(std::int64_t width, std::int64_t height, int numColors, const ReadLimits& limits,
                          sys::Context& ctx) {
  const std::uint64_t bytes = PixelBlockBytes(width, height, numColors);
  if (bytes > limits.maxPixelBytes || width > INT32_MAX || height > INT32_MAX) {
    sys::FailAllocation(ctx, bytes);
    return nullptr;
  }
  return Bitmap_Create(static_cast<int>(width), static_cast<int>(height), numColors, ctx);
}

bool RepairStrayIndices(Bitmap& image, sys::Context& ctx, std::int64_t segment) {
  const std::int64_t stray = MapStrayIndices(image, ctx);
  if (stray < 0) return false;
  if (stray > 0) {
    char text[160];
    std::snprintf(text, sizeof text, "Pixels with colors past the color table (%lld) are drawn black",
                  static_cast<long long>(stray));
    ctx.Warn(sys::Code::kCorrupt, text, segment);
  }
  return true;
}

}  // namespace rastra
