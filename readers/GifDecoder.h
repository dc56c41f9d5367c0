// Reader for GIF files.
#pragma once

#include <cstdint>
#include <span>

#include "image/Bitmap.h"

// Decodes a whole file held in memory; reports and returns null on failure.
BitmapPtr ReadGifFile(std::span<const std::uint8_t> file);
