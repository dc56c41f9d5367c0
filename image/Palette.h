// A palette of up to 256 colours, and the two process-wide palettes: the best
// palette computed from an image and the custom palette read from a file.
#pragma once

#include <array>
#include <cstdint>

#include "image/Bitmap.h"

struct PaletteRef {
  std::int32_t count = 256;  // valid entries, 1 to 256
  std::array<Color, 256> colours{};
};

PaletteRef& BestPalette();
PaletteRef& CustomPalette();
