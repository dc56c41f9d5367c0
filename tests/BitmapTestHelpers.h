// Whole-image views for comparing Bitmaps in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Bitmap.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace testing_support {

// Raw stored values in reading order (top row first).
inline std::vector<std::uint32_t> RawPixels(const Bitmap& b) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < b.YSize; ++y) {
    for (int x = 0; x < b.XSize; ++x) out.push_back(Bitmap_GetPixel(b, x, y));
  }
  return out;
}

inline std::vector<Color> PaletteOf(const Bitmap& b) {
  std::vector<Color> out;
  for (int i = 0; i < b.NumColors; ++i) out.push_back(Bitmap_GetPalColor(b, i));
  return out;
}

}  // namespace testing_support
