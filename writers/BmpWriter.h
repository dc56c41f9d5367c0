// Windows bitmap file writer (output type 2).
#pragma once

#include "image/Bitmap.h"
#include "sys/File.h"

// Writes bitmap as an uncompressed Windows bitmap: 1, 4 or 8 bits per pixel
// by palette size, 24 bits for plain true colour, 32 bits (alpha = 255 - T)
// when HasAlpha is set. The image is left unchanged. Returns 0 on success and
// 1 when nothing or not everything could be written (reported).
// The bytes go through the shared output buffer, attached to file and
// flushed before the return.
int WriteBmpFile(sys::File& file, const Bitmap* bitmap);
