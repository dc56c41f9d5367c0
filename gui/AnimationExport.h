// Animated sprites and cursors from a GIF file: the GIF is checked and
// scanned first, then every frame goes to the animation writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "readers/GifDecoder.h"

inline constexpr std::int64_t kMaxAnimationGifBytes = 8000000;

struct GifSource {
  std::vector<std::uint8_t> data;
  GifInfo info;
};

// Reads the whole file and scans it for its frames. Reports "File too long"
// for files above kMaxAnimationGifBytes; nullopt on any failure.
std::optional<GifSource> ReadGifForAnimation(const std::string& path);

// Writes output type 6 (sprite) or 7 (cursor) for every frame into the file
// outputPath (replaced when it exists). False when a frame could not be
// decoded or the writer gave no image.
bool WriteGifAnimation(const GifSource& gif, const std::string& outputPath, int type, bool bigEndian);
