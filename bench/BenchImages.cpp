#include "BenchImages.h"

#include <cmath>
#include <cstdint>

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
std::uint32_t NextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

std::uint8_t Clamp(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
}  // namespace

BitmapPtr MakePhotoLikeImage(int width, int height) {
  sys::Context ctx;
  BitmapPtr image = Bitmap_Create(width, height, 0, ctx);
  std::uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image->Row(y);
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      const double noise = static_cast<double>(NextRandom(seed) % 17) - 8.0;
      const Color c = Clamp(128 + 100 * std::sin(6.0 * fx + 2.0 * fy) + noise) |
                      (Clamp(128 + 90 * std::cos(5.0 * fy - 3.0 * fx) + noise) << 8) |
                      (Clamp(100 + 120 * fx * fy + noise) << 16);
      Bitmap_StoreColor(row + 4 * x, c);
    }
  }
  return image;
}

BitmapPtr MakeFlatUiImage(int width, int height) {
  static const Color kColors[] = {0xF0F0F0, 0x303030, 0x3366CC, 0xFFFFFF, 0x22AA22, 0xCC3333};
  sys::Context ctx;
  BitmapPtr image = Bitmap_Create(width, height, 0, ctx);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image->Row(y);
    for (int x = 0; x < width; ++x) {
      int colour = 0;
      if (y < 40) colour = 2;                                                  // title bar
      else if ((x / 160) % 2 == 1 && (y / 60) % 3 == 1) colour = 3;            // buttons
      else if ((x % 160) < 4 || (y % 60) < 2) colour = 1;                      // frames
      else if ((y / 60) % 3 == 2 && (x % 7) < 2 && (x / 160) % 2 == 0) colour = 1;  // text strokes
      else if ((x / 320 + y / 200) % 5 == 4) colour = 4 + (x / 50) % 2;        // status areas
      Bitmap_StoreColor(row + 4 * x, kColors[colour]);
    }
  }
  return image;
}
