// Reading the palette file (.GUIPal): the letters "LumarPal", a U32 colour
// count, four reserved bytes and the colours as U32 values 0xTTBBGGRR, all
// little-endian. Writing it is writers/PaletteWriter.h.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/Palette.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

// Reads the file into palette. Returns 0 on success and 1 on failure, which
// it records in ctx; a failed load leaves palette as it was.
int _LoadPalette(const std::string& path, PaletteRef& palette,  // NOLINT(bugprone-reserved-identifier): the established name
                 sys::Context& ctx);
// The same of a file that is open: it is read once, so a pipe or a file that
// changes after a check gives the bytes that are parsed.
int LoadPaletteFrom(sys::File& file, PaletteRef& palette, sys::Context& ctx);
// The same of a file's bytes already in memory (the web page's upload), with
// the same texts.
int LoadPaletteData(std::span<const std::uint8_t> data, PaletteRef& palette, sys::Context& ctx);

}  // namespace rastra
