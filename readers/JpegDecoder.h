// Reader for JPEG (JFIF and Adobe) files: baseline, extended sequential and
// progressive frames with 8-bit samples, Huffman or arithmetic coded, in one
// or several scans; grey, YCbCr, RGB, CMYK and YCCK with any sampling factors
// from 1 to 4 that divide the largest (chroma replicated, not interpolated);
// restart intervals. Lossless, hierarchical, 12-bit and two-component files
// give no image and a message.
#pragma once

#include <cstdint>
#include <span>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

namespace rastra {

// Decodes a whole file held in memory into a true-colour Bitmap (opaque), or
// says why not ("Cannot decode JPEG file: <reason>").
ReadResult ReadJpegFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx);

}  // namespace rastra
