// Per-pixel transparency from two renderings of one picture (over black and
// over white), or from a grey mask image. The callers load the pictures.
#pragma once

#include "image/Bitmap.h"
#include "sys/Context.h"

namespace rastra {

// A new 32-bit Bitmap with HasAlpha set, or null; pictures of different sizes
// record "The images are not of the same size." (code kBadArgument).
BitmapPtr CreateAlphaFromImages(const Bitmap& overBlack, const Bitmap& overWhite, sys::Context& ctx);
// The current image with the mask's grey as transparency.
BitmapPtr ApplyAlphaMask(const Bitmap& current, const Bitmap& mask, sys::Context& ctx);

}  // namespace rastra
