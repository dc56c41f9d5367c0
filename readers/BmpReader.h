// Readers for Windows bitmap files (and their in-memory DIB form) and for SBMP,
// the small run-length format of the Lumar tool chain.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "image/Bitmap.h"

// Decodes a whole file held in memory; reports and returns null on failure.
// Beyond the 40-byte header form it reads rows stored top-down (negative
// biHeight, uncompressed only) and the 12-byte core header with its 3-byte
// colour table entries. Pixel rows cut short load as far as they go after a
// warning; a header claiming more than eight times the pixel data present is
// refused before anything is allocated.
BitmapPtr ReadBmpFile(std::span<const std::uint8_t> file);

// Decodes an info header (the 40-byte BITMAPINFOHEADER or a larger one read in
// its layout, or the 12-byte core header) followed by its colour table. pixels
// are the pixel rows up to the end of the available data; without them the rows
// are taken to follow the colour table (and the three masks of BI_BITFIELDS).
// Never reads outside the spans; reports and returns null on failure.
BitmapPtr DecodeDib(std::span<const std::uint8_t> infoAndRest,
                    std::optional<std::span<const std::uint8_t>> pixels = std::nullopt);

// Decodes a whole SBMP file held in memory; reports and returns null on failure,
// except for a file cut inside its run records, whose image comes back as far as
// it was filled (after a warning).
BitmapPtr ReadSbmpFile(std::span<const std::uint8_t> file);
