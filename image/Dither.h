// Dithering a true-colour image onto the colours a target has (a colour
// format or a palette), by any of the DitherMethod choices. The image is
// changed in place: every pixel that is dithered ends up holding exactly one
// of the target's colours (opaque), so the plain conversion that follows maps
// it without further loss.
#pragma once

#include <array>
#include <functional>
#include <string_view>

#include "image/Bitmap.h"
#include "image/ColorFormat.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"

namespace rastra {

// The target's colour nearest to a colour (0xTTBBGGRR), opaque.
using NearestColourFn = std::function<Color(Color)>;

struct DitherTarget {
  NearestColourFn nearest;
  // How far apart the target's colours lie along red, green and blue: the
  // amplitude of the ordered methods' threshold pattern.
  std::array<int, 3> step{};
  // Pixels whose transparency byte is 255 are left as they are (not
  // quantised, no error taken or given) when this is set.
  bool keepTransparent = false;
};

DitherTarget FormatDitherTarget(const ColorFormat& format);
DitherTarget PaletteDitherTarget(const PaletteRef& palette);

// method kNone does nothing; kFloydSteinberg walks as the serpentine does
// but always left to right. The walk follows the stored rows.
void DitherImage(Bitmap& trueColour, DitherMethod method, const DitherTarget& target, sys::Context& ctx);

// Parses a method name ("none", "fs", "serpentine", "bayer4", "bayer8") or
// its number (0 to 4); false for anything else.
bool ParseDitherMethod(std::string_view text, DitherMethod& method);
const char* DitherMethodName(DitherMethod method);

}  // namespace rastra
