// Windows bitmap file writer (output type 2).
#pragma once

#include "image/Bitmap.h"
#include "sys/Context.h"
#include "writers/TextOutput.h"

namespace rastra {

// Writes bitmap as an uncompressed Windows bitmap: 1, 4 or 8 bits per pixel
// by palette size, 24 bits for plain true colour, 32 bits (alpha = 255 - T)
// when HasAlpha is set. The image is left unchanged. Returns kOk, or why
// nothing or not everything could be written (recorded in ctx). The bytes go
// through out and are flushed before the return.
sys::Code WriteBmpFile(OutBuffer& out, const Bitmap* bitmap, sys::Context& ctx);

}  // namespace rastra
