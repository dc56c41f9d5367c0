// Per-pixel transparency from two renderings of one picture (over black and
// over white), or from a grey mask image.
#pragma once

#include "image/Bitmap.h"
#include "sys/File.h"

// Both files are read as Windows bitmaps whatever their names say. The result
// is a 32-bit Bitmap with HasAlpha set, or null.
BitmapPtr CreateAlpha(sys::File& overBlack, sys::File& overWhite);
BitmapPtr LoadAlphaMask(const Bitmap& current, sys::File& mask);

// The formulas behind the two, on images already loaded (both consumed).
BitmapPtr CreateAlphaFromImages(BitmapPtr overBlack, BitmapPtr overWhite);
BitmapPtr ApplyAlphaMask(const Bitmap& current, BitmapPtr mask);
