// Palettes: the colours of a palette image, the best palette of a picture,
// and palette files (.GUIPal: the letters "LumarPal", a U32 colour count,
// four reserved bytes and the colours as U32 values 0xTTBBGGRR, all
// little-endian).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
// One palette for a set of pictures, so that their C files can share one
// palette table: up to maxColors (2 to 256) colours, the best over all the
// pictures' pixels together (the one picture's best palette when they fit).
// When any picture has fully transparent pixels, entry 0 is 0xFFFFFFFF, the
// transparent entry, and the others the best colours of the visible pixels
// (ToSharedPalette maps onto it). Pictures that all are palette images of
// one palette keep it. Null pointers are refused.
Result<Palette> BestPalette(const std::vector<const Image*>& images, int maxColors = 256) noexcept;
// Palette files (.GUIPal).
Result<Palette> LoadPalette(const std::string& path) noexcept;
Result<Palette> LoadPaletteFromMemory(const void* data, std::size_t size) noexcept;
// A palette of count 0 writes a file of no colours.
Status SavePalette(const Palette& palette, const std::string& path) noexcept;

}  // namespace rastra
