// A palette of up to 256 colours, as the palette conversions take it and the
// best-palette search and the palette file give it: the library's public
// Palette under the name the conversions have always used.
#pragma once

#include <rastra/palette.h>

#include "image/Bitmap.h"

namespace rastra {

using PaletteRef = Palette;

// The palette of a palette image; count 0 for a true-colour image.
PaletteRef Bitmap_GetPalette(const Bitmap& b);

}  // namespace rastra
