// PNG file writer (output type 5), through libpng.
#pragma once

#include "image/Bitmap.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

// Writes bitmap as a PNG whose pixels read back as those of its true-colour
// copy (writer_support::TrueColorCopy, alpha = 255 - T), which comes back in
// written, with HasAlpha set, to replace the caller's image (also when
// writing then failed). A palette image is written as a palette PNG (1, 2, 4
// or 8 bits, tRNS for its transparency), an opaque true-colour image as RGB,
// any other as RGBA. Returns kOk, or why the file could not be written; a
// libpng error is recorded as "Error writing PNG: %s".
sys::Code WritePngFile(const Bitmap* bitmap, sys::ByteSink& sink, BitmapPtr& written, sys::Context& ctx);

}  // namespace rastra
