// Pictures the benchmarks generate for themselves.
#pragma once

#include "image/Bitmap.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

// A smooth, noisy photo-like true-colour picture (deterministic).
BitmapPtr MakePhotoLikeImage(int width, int height);
// A flat-colour user-interface picture: panels, buttons and text-like strokes
// in a handful of colours (deterministic).
BitmapPtr MakeFlatUiImage(int width, int height);
