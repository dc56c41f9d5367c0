// Geometric and colour edits of the current image. Pixels move as raw values,
// so flips and rotations work alike for palette and true-colour images.
#pragma once

#include <cstdint>

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

// Turns a picture as an EXIF orientation tag says it was taken, so that it
// shows upright: 2 mirrored, 3 turned half round, 4 upside down, 5 mirrored
// along the main diagonal, 6 turned a quarter clockwise, 7 mirrored along the
// other diagonal, 8 a quarter anticlockwise. 1 and any other value leave it
// as it is. A new image; null after the allocator has recorded why.
BitmapPtr OrientBitmap(const Bitmap& source, int orientation, sys::Context& ctx);

// The colour of pixels whose palette index lies past the palette.
inline constexpr Color kStrayIndexColor = 0x000000;  // black, opaque
// A palette image whose pixels use indices at or past NumColors (a damaged
// or carelessly written file) gets one more palette entry of
// kStrayIndexColor, and those pixels take it: every writer then draws them
// alike. Returns how many pixels changed (0: the image is untouched), or -1
// when memory ran out.
std::int64_t MapStrayIndices(Bitmap& bitmap, sys::Context& ctx);

// Moves palette index `index` to 0 (pixels and palette) and sets HasTrans.
void SetTransIndex(Bitmap& bitmap, int index);
// selection 0 clears HasTrans; n makes palette index n - 1 the transparent one.
void SetTransparency(Bitmap& bitmap, int selection);

}  // namespace rastra
