// Palette files (.GUIPal): "LumarPal", a count and the colours.
#pragma once

#include <string>

#include "image/Bitmap.h"
#include "sys/File.h"

// Fills CustomPalette() from the file; 0 on success, 1 after a report.
int _LoadPalette(const std::string& path);  // NOLINT(bugprone-reserved-identifier): the name files and docs use
// Writes the palette of bitmap; 0 on success, 1 when a write fell short.
int SavePaletteFile(const Bitmap& bitmap, sys::File& file);
