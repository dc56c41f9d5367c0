// Palettes: the colours of a palette image, the best palette of a picture,
// and palette files (.GUIPal: the letters "LumarPal", a U32 colour count,
// four reserved bytes and the colours as U32 values 0xTTBBGGRR, all
// little-endian).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <rastra/image.h>
#include <rastra/status.h>

namespace rastra {

// A palette of 1 to 256 colours (0xTTBBGGRR, see Color).
struct Palette {
  std::int32_t count = 256;
  std::array<Color, 256> colours{};
};

// The palette of a palette image (count 0 for a true-colour image).
Palette PaletteOf(const Image& image) noexcept;
// Up to maxColors (1 to 256) of the picture's colours, most frequent first.
Result<Palette> BestPalette(const Image& image, int maxColors = 256) noexcept;
// Palette files (.GUIPal).
Result<Palette> LoadPalette(const std::string& path) noexcept;
Result<Palette> LoadPaletteFromMemory(const void* data, std::size_t size) noexcept;
// A palette of count 0 writes a file of no colours.
Status SavePalette(const Palette& palette, const std::string& path) noexcept;

}  // namespace rastra
