#include "image/ImageOps.h"

void FlipH(Bitmap&) {}
void FlipV(Bitmap&) {}
void Rotate180(Bitmap&) {}
BitmapPtr RotateCW(BitmapPtr source) { return source; }
BitmapPtr RotateCCW(BitmapPtr source) { return source; }
void InvertIndices(Bitmap&) {}
void InvertPalette(Bitmap&) {}
BitmapPtr ShrinkHalf(BitmapPtr source) { return source; }
BitmapPtr ScaleBitmap(BitmapPtr source, int, int) { return source; }
void SetTransIndex(Bitmap&, int) {}
void SetTransparency(Bitmap&, int) {}
