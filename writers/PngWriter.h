// PNG file writer (output type 5), through libpng.
#pragma once

#include "image/Bitmap.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

// Writes bitmap as 8-bit RGBA (alpha = 255 - T) from a true-colour copy with
// HasAlpha set, which comes back in written to replace the caller's image
// (also when writing then failed). Returns kOk, or why the file could not be
// written; a libpng error is recorded as "Error writing PNG: %s".
sys::Code WritePngFile(const Bitmap* bitmap, sys::ByteSink& sink, BitmapPtr& written, sys::Context& ctx);

}  // namespace rastra
