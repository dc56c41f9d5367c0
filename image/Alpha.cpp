#include "image/Alpha.h"

BitmapPtr CreateAlpha(sys::File&, sys::File&) { return nullptr; }
BitmapPtr LoadAlphaMask(const Bitmap&, sys::File&) { return nullptr; }
BitmapPtr CreateAlphaFromImages(BitmapPtr, BitmapPtr) { return nullptr; }
BitmapPtr ApplyAlphaMask(const Bitmap&, BitmapPtr) { return nullptr; }
