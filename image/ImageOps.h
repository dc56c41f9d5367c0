// Geometric and colour edits of the current image. Pixels move as raw values,
// so flips and rotations work alike for palette and true-colour images.
#pragma once

#include "image/Bitmap.h"

namespace rastra {

void FlipH(Bitmap& bitmap);
void FlipV(Bitmap& bitmap);
void Rotate180(Bitmap& bitmap);
// New images of the turned picture, with HasTrans and HasAlpha carried over.
BitmapPtr RotateCW(const Bitmap& source, sys::Context& ctx);
BitmapPtr RotateCCW(const Bitmap& source, sys::Context& ctx);

// True-colour images: the low 24 bits of every pixel are inverted.
void InvertIndices(Bitmap& bitmap, sys::Context& ctx);
void InvertPalette(Bitmap& bitmap, sys::Context& ctx);

// Box-filtered true-colour result.
BitmapPtr ShrinkHalf(const Bitmap& source, sys::Context& ctx);
// A clone of the source when the size is unchanged, otherwise a new
// true-colour Bitmap averaged over a box filter.
BitmapPtr ScaleBitmap(const Bitmap& source, int width, int height, sys::Context& ctx);

// Moves palette index `index` to 0 (pixels and palette) and sets HasTrans.
void SetTransIndex(Bitmap& bitmap, int index);
// selection 0 clears HasTrans; n makes palette index n - 1 the transparent one.
void SetTransparency(Bitmap& bitmap, int selection);

}  // namespace rastra
