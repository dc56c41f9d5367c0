// Readers for Windows bitmap files (and their in-memory DIB form) and for SBMP,
// the small run-length format of the Lumar tool chain.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

namespace rastra {

// Decodes a whole file held in memory; the image, or why there is none.
// Beyond the 40-byte header form it reads rows stored top-down (negative
// biHeight, uncompressed only) and the 12-byte core header with its 3-byte
// colour table entries. Pixel rows cut short load as far as they go after a
// warning; a header claiming more than eight times the pixel data present is
// refused before anything is allocated.
ReadResult ReadBmpFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx);

// Decodes an info header (the 40-byte BITMAPINFOHEADER or a larger one read in
// its layout, or the 12-byte core header) followed by its colour table. pixels
// are the pixel rows up to the end of the available data; without them the rows
// are taken to follow the colour table (and the three masks of BI_BITFIELDS).
// Never reads outside the spans.
ReadResult DecodeDib(std::span<const std::uint8_t> infoAndRest, std::optional<std::span<const std::uint8_t>> pixels,
                     const ReadOptions& options, sys::Context& ctx);

// Decodes a whole SBMP file held in memory. A file cut inside its run records
// gives its image as far as it was filled, with a warning.
ReadResult ReadSbmpFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx);

}  // namespace rastra
