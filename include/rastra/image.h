// The picture every call of the library takes and gives.
//
// An image is either a palette image (1 to 256 palette entries, one index per
// pixel) or a true-colour image (red, green, blue and alpha per pixel). A
// palette image may name entry 0 its transparent entry; a true-colour image
// may carry alpha. Images own their pixels; they move but do not copy
// implicitly, since a copy needs memory and may fail: Copy() says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <rastra/status.h>

namespace rastra {

// A colour as the library stores it: 0xTTBBGGRR, red in the low byte and a
// transparency byte T = 255 - alpha on top (0 opaque, 255 fully transparent).
using Color = std::uint32_t;

struct Rgba {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  std::uint8_t a = 255;
};

constexpr Color ColorOf(Rgba c) noexcept {
  return static_cast<Color>(c.r) | (static_cast<Color>(c.g) << 8) | (static_cast<Color>(c.b) << 16) |
         (static_cast<Color>(255 - c.a) << 24);
}
constexpr Rgba RgbaOf(Color c) noexcept {
  return Rgba{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c >> 16),
              static_cast<std::uint8_t>(255 - (c >> 24))};
}

struct Bitmap;  // the library's own layout, not part of the interface

class Image {
 public:
  Image() noexcept;
  Image(Image&& other) noexcept;
  Image& operator=(Image&& other) noexcept;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image();

  // An empty image is what a failed call leaves in its result.
  bool Empty() const noexcept;
  explicit operator bool() const noexcept { return !Empty(); }

  int Width() const noexcept;
  int Height() const noexcept;
  // Palette entries, 0 for a true-colour image.
  int PaletteSize() const noexcept;
  bool IsTrueColor() const noexcept { return PaletteSize() == 0; }
  // Palette entry 0 is the transparent one.
  bool HasTransparentEntry() const noexcept;
  // True-colour pixels carry alpha (set by the readers for files with an
  // alpha channel, and by FromRgba when any pixel is not opaque).
  bool HasAlpha() const noexcept;

  // x from the left, y from the top; outside the picture they give opaque
  // black and -1.
  Rgba Pixel(int x, int y) const noexcept;
  // The palette index of a pixel, -1 for a true-colour image.
  int PixelIndex(int x, int y) const noexcept;
  Rgba PaletteEntry(int index) const noexcept;

  // A copy of the same pixels, palette and transparency.
  Result<Image> Copy() const noexcept;

 private:
  friend struct ImageAccess;
  std::unique_ptr<Bitmap> bitmap_;
};

// A true-colour image of width x height pixels from rows of red, green, blue
// and alpha bytes, top row first, each row stride bytes after the one before
// (0: rows follow each other without a gap). The image has alpha when any
// pixel's alpha is below 255.
Result<Image> FromRgba(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride = 0) noexcept;

// The pixels as red, green, blue and alpha bytes, top row first. The first
// form writes into rows of at least 4 x width bytes, stride bytes apart (0:
// without a gap); the second gives them tightly packed.
Status ToRgba(const Image& image, std::uint8_t* out, std::ptrdiff_t stride = 0) noexcept;
Result<std::vector<std::uint8_t>> ToRgba(const Image& image) noexcept;

}  // namespace rastra
