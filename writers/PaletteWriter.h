// Writing the palette file (.GUIPal): the letters "LumarPal", a U32 colour
// count, four reserved bytes and the colours as U32 values 0xTTBBGGRR, all
// little-endian.
#pragma once

#include "image/Bitmap.h"
#include "image/Palette.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

// Writes the palette of bitmap (none for true colour: a 16-byte file) to
// sink. Returns kOk, or kIo when a write fell short. The caller closes the file.
sys::Code SavePaletteFile(const Bitmap& bitmap, sys::ByteSink& sink);
// The same of a palette (count 0: no colours).
sys::Code SavePaletteFile(const PaletteRef& palette, sys::ByteSink& sink);

}  // namespace rastra
