// Reader for PNG files, through libpng.
#pragma once

#include <cstdint>
#include <span>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

namespace rastra {

// Decodes a whole file held in memory. A failure ends in "No Bitmap", after
// libpng's own text when it had one.
ReadResult ReadPngFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx);

}  // namespace rastra
