// The orientation tag of EXIF data, which JPEG files carry in an APP1
// segment and PNG files in an eXIf chunk.
#pragma once

#include <cstdint>
#include <span>

namespace rastra {

// The value (1 to 8) of the orientation tag in the first image directory of
// EXIF data in TIFF form (starting with "II" or "MM"), or 1 when there is
// none or the data cannot be read. Never reads past the data.
int ExifOrientation(std::span<const std::uint8_t> tiff);

}  // namespace rastra
