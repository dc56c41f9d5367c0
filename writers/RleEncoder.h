// The run-length scheme of the compressed FORMATs: RLE4 and RLE8 of palette
// indices, RLE of the transparency bytes, RLE16 of 565 / M565 codes and RLE32 of
// colours. One decision of runs and absolute blocks, written either as
// commented C text (C bitmap files) or as raw bytes (C streams), or only
// counted (size reports). All three go through one run-finding core, so what
// is counted and what either form writes cannot drift apart.
//
// The image is one pixel sequence in row order; runs and blocks cross row ends.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/Bitmap.h"
#include "sys/Context.h"
#include "writers/TextOutput.h"

namespace rastra {

// What decides whether neighbouring pixels are equal: the raw stored value, or
// only its transparency byte.
enum class RleMode { Index, Transparency };

inline constexpr std::int64_t kRleMaxChunk = 254;
inline constexpr std::int64_t kRleMaxAbsolute = 255;
// An absolute block opens with a 0 and its pixel count.
inline constexpr std::int64_t kRleBlockHeaderBytes = 2;

// Encoded bytes of one run chunk, and of one absolute block of pixels, for
// values of valueBytes bytes (1 for RLE4, RLE8 and transparency, 2 for RLE16,
// 4 for RLE32); nibbles packs block values two to a byte (RLE4).
std::int64_t RleRunChunkBytes(int valueBytes);
std::int64_t RleAbsoluteBlockBytes(std::int64_t pixels, int valueBytes, bool nibbles);

// The compared values of the whole image in row order. Returns false (after
// recording the allocator's failure) when they do not fit in memory.
bool RleComparedValues(const Bitmap& bitmap, RleMode mode, std::vector<std::uint32_t>& values, sys::Context& ctx);

// Consecutive positions from start, before end, equal to the one at start (at least 1).
std::int64_t RleCount(std::span<const std::uint32_t> values, std::int64_t start, std::int64_t end);
// Length of the absolute block that would start at start.
std::int64_t AbsCount(std::span<const std::uint32_t> values, std::int64_t start, std::int64_t end);

// What the encoder makes of an image, counted without writing it: the same
// decisions give every value width, so one count serves RLE4 and RLE8, or
// RLE16 and RLE32.
struct RleTally {
  std::int64_t runChunks = 0;
  std::int64_t absoluteBlocks = 0;
  std::int64_t absolutePixels = 0;
  std::int64_t absolutePackedBytes = 0;  // (n + 1) / 2 over the blocks: their RLE4 values
  // The byte form's size; the C array holds these bytes and a closing 0.
  std::int64_t DataBytes(int valueBytes, bool nibbles) const;
};
// Returns false (after recording the allocator's failure) when the compared
// values do not fit in memory.
bool TallyRle(const Bitmap& bitmap, RleMode mode, RleTally& tally, sys::Context& ctx);

// Text form: the items and the closing trailer, after the array's first line.
// bitsPerPixel 4 packs absolute blocks in nibbles (RLE4); 8 gives RLE8 or, in
// transparency mode, the RLE of the transparency bytes. Each returns 0, or 1
// when nothing was written because memory ran out.
int WriteRleText(OutBuffer& out, const Bitmap& bitmap, RleMode mode, int bitsPerPixel, sys::Context& ctx);
int WriteRle16Text(OutBuffer& out, const Bitmap& bitmap, bool swapRedBlue, sys::Context& ctx);
int WriteRle32Text(OutBuffer& out, const Bitmap& bitmap, sys::Context& ctx);

// Byte form for the C stream: the same items without comments, line breaks or
// closing zero. A short write ends its item only; the next item is still tried.
int WriteRleBytes(OutBuffer& out, const Bitmap& bitmap, RleMode mode, int bitsPerPixel, sys::Context& ctx);
int WriteRle16Bytes(OutBuffer& out, const Bitmap& bitmap, bool swapRedBlue, sys::Context& ctx);
int WriteRle32Bytes(OutBuffer& out, const Bitmap& bitmap, sys::Context& ctx);

}  // namespace rastra
