// PNG file writer (output type 5), through libpng.
#pragma once

#include "image/Bitmap.h"
#include "sys/File.h"

// Saves an undo copy of bitmap, converts it to true colour with HasAlpha set
// and writes it as 8-bit RGBA (alpha = 255 - T). Returns the converted image,
// which becomes the current one, or null after a libpng error, which is
// reported as "Error writing PNG: %s\n". The bytes go straight to the file.
BitmapPtr WritePngFile(BitmapPtr bitmap, sys::File& file);
