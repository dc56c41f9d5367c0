// Reader for JPEG (JFIF) files: Huffman-coded baseline, extended sequential
// and progressive frames with 8-bit samples, grey or YCbCr with the chroma
// sampled 1x1 against a luma of 1x1, 2x1, 1x2 or 2x2, restart intervals.
// Arithmetic-coded, lossless, hierarchical, 12-bit, CMYK and YCCK files give
// no image and a message.
#pragma once

#include <cstdint>
#include <span>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

// Decodes a whole file held in memory into a true-colour Bitmap (opaque), or
// says why not ("Cannot decode JPEG file: <reason>").
ReadResult ReadJpegFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx);
