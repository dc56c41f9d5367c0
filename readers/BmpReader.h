// Reader for BMP and SBMP files.
#pragma once

#include <cstdint>
#include <span>

#include "image/Bitmap.h"

// Decodes a whole file held in memory; reports and returns null on failure.
BitmapPtr ReadBmpFile(std::span<const std::uint8_t> file);
// Decodes a whole file held in memory; reports and returns null on failure.
BitmapPtr ReadSbmpFile(std::span<const std::uint8_t> file);
