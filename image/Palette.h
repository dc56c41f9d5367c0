// A palette of up to 256 colours, as the palette conversions take it and the
// best-palette search and the palette file give it.
#pragma once

#include <array>
#include <cstdint>

#include "image/Bitmap.h"

namespace rastra {

struct PaletteRef {
  std::int32_t count = 256;  // valid entries, 1 to 256
  std::array<Color, 256> colours{};
};

}  // namespace rastra
