// Conversions and edits. Every one of them takes the image by const
// reference and gives a new image: the source is never changed or consumed,
// so a failure leaves the caller with what it had.
#pragma once

#include <cstdint>

#include <rastra/image.h>
#include <rastra/options.h>
#include <rastra/palette.h>
#include <rastra/status.h>

namespace rastra {

// The colour formats of the target displays. BW to 8666 are palettes of 2 to
// 256 entries; 444_12 to RGB and the M (red/blue swapped) formats are
// true-colour formats whose pixels keep only the bits the display has.
enum ColorFormatId : int {
  kFormatBW = 0,
  kFormatGray4,
  kFormatGray16,
  kFormatGray64,
  kFormatGray256,
  kFormat111,
  kFormat222,
  kFormat233,
  kFormat323,
  kFormat332,
  kFormat8666,
  kFormat444_12,
  kFormat555,
  kFormat565,
  kFormatRGB,
  kFormat444_16,
  kFormat444_12_1,
  kFormatM444_12,
  kFormatM444_16,
  kFormatM444_12_1,
  kFormatM555,
  kFormatM565,
};

// Into a colour format, each pixel to its nearest colour of the format, or
// with Floyd-Steinberg dithering. A palette format gives a palette image of
// that format's palette. options.preserveTrans decides what becomes of fully
// transparent pixels of a true-colour source.
Result<Image> Convert(const Image& image, ColorFormatId format, const OutputOptions& options = {}) noexcept;
Result<Image> Dither(const Image& image, ColorFormatId format, const OutputOptions& options = {}) noexcept;
// A palette image of the picture's own most frequent colours (up to 256).
// With a transparent entry: entry 0 holds exactly the fully transparent
// pixels (for an image with alpha).
Result<Image> ToBestPalette(const Image& image, const OutputOptions& options = {}) noexcept;
Result<Image> ToBestPaletteWithTransparency(const Image& image, const OutputOptions& options = {}) noexcept;
// A palette image of up to 256 colours chosen for the least squared error
// (variance-minimising cuts of the colour cube, then Lloyd's iterations):
// slower than ToBestPalette and closer to the picture. A picture with no
// more than 256 colours keeps them exactly.
Result<Image> ToFinePalette(const Image& image, const OutputOptions& options = {}) noexcept;
// Each pixel to its nearest colour of palette.
Result<Image> ToPalette(const Image& image, const Palette& palette, const OutputOptions& options = {}) noexcept;
// Each pixel to its nearest colour of a palette that several pictures share
// (BestPalette of a set): an entry 0 whose transparency byte is 255 is the
// transparent entry, which takes exactly the fully transparent pixels of an
// image with alpha (or index 0 of a palette image with a transparent entry)
// and no other pixel. Without one, as ToPalette.
Result<Image> ToSharedPalette(const Image& image, const Palette& palette, const OutputOptions& options = {}) noexcept;
// At most maxColors colours (2 to 256).
Result<Image> ReduceColors(const Image& image, int maxColors, const OutputOptions& options = {}) noexcept;
Result<Image> ToTrueColor(const Image& image) noexcept;

enum class Rotation { kClockwise, kCounterClockwise, kHalfTurn };

Result<Image> FlipHorizontally(const Image& image) noexcept;
Result<Image> FlipVertically(const Image& image) noexcept;
Result<Image> Rotate(const Image& image, Rotation rotation) noexcept;
// A true-colour image of width x height (1 to 99999) pixels, box-filtered.
Result<Image> Scale(const Image& image, int width, int height) noexcept;
// Palette images: every index i becomes count - 1 - i; true-colour images:
// every colour is inverted.
Result<Image> InvertIndices(const Image& image) noexcept;
Result<Image> InvertPalette(const Image& image) noexcept;
// The first palette entry of colour rgb (0xRRGGBB) becomes the transparent
// entry 0; kBadArgument when no entry has it, kBadFormat for a true-colour
// image.
Result<Image> SetTransparentColor(const Image& image, std::uint32_t rgb) noexcept;

}  // namespace rastra
