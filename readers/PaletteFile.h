// The palette file (.GUIPal): the letters "LumarPal", a U32 colour count, four
// reserved bytes and the colours as U32 values 0xTTBBGGRR, all little-endian.
#pragma once

#include <string>

#include "image/Bitmap.h"
#include "sys/File.h"

// Reads the file into CustomPalette(). Returns 0 on success and 1 on failure,
// which it reports; a failed load leaves CustomPalette() as it was.
int _LoadPalette(const std::string& path);  // NOLINT(bugprone-reserved-identifier): the established name

// Writes the palette of bitmap (none for true colour: a 16-byte file) to the
// open file through the shared output buffer. Returns 0, or 1 when a write fell
// short. The caller closes the file.
int SavePaletteFile(const Bitmap& bitmap, sys::File& file);
