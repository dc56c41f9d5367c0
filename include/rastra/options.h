// The choices a caller makes for a job: the limits of a read, and the
// settings that change what conversions and writers produce. Plain values,
// passed with every call; the library keeps none of them between calls.
#pragma once

#include <cstdint>

namespace rastra {

// No real picture needs more than 1 GiB of pixel data; reads and
// allocations are held to this unless the caller sets another ceiling.
inline constexpr std::uint64_t kDefaultMaxBlockBytes = std::uint64_t{1} << 30;

// Files beyond these are refused before anything large is allocated. A
// caller that reads untrusted files with little memory (a server, a fuzzer)
// sets its own; the defaults hold any real picture.
struct ReadLimits {
  std::int64_t maxWidth = INT32_MAX;
  std::int64_t maxHeight = INT32_MAX;
  std::uint64_t maxPixelBytes = kDefaultMaxBlockBytes;  // of one decoded picture or frame
  std::uint32_t maxFrames = 100000;                     // of an animation
  std::uint64_t maxFileBytes = kDefaultMaxBlockBytes;
};

struct ReadOptions {
  ReadLimits limits;

  // How the pixels are taken from the file. The defaults give the pixels
  // Rastra has always read; each of the others is asked for by the user.
  //
  // PNG files with a gAMA chunk: true corrects their samples for a display
  // of gamma 2.2, false keeps the stored values as the designer saved them.
  bool applyGamma = true;
  // JPEG files with 4:2:0, 4:2:2 or 4:4:0 chroma: true interpolates the
  // chroma between its samples (a triangle filter), false repeats each sample
  // over the pixels it covers. True follows the arithmetic of the IJG
  // decoder's default throughout (its order of the inverse transform too), so
  // that every JPEG decodes as libjpeg-turbo's and djpeg's default does.
  bool smoothChroma = false;
  // JPEG files with an EXIF orientation tag (APP1) and PNG files with one in
  // an eXIf chunk: true turns the picture upright as the tag says.
  bool applyOrientation = false;
  // PNG files of 16-bit samples: true rounds each to the nearest 8-bit value
  // (v * 255 / 65535, as LVGL's converter reads them), false keeps its high
  // byte as Rastra always has. The command line rounds in runs that save LVGL
  // images.
  bool roundSixteenBit = false;
};

// No save writes more than this unless the caller allows more: a file of a
// gigabyte of C source is already beyond any compiler's patience, and a few
// bytes of input must not make a run fill a disk.
inline constexpr std::uint64_t kDefaultMaxOutputBytes = std::uint64_t{1} << 30;

// How a conversion spreads the difference between a colour and the nearest
// one the target has. kNone maps each pixel to its nearest colour (the
// conversions as they have always been); Dither() takes it as
// kFloydSteinberg. Floyd-Steinberg and its serpentine walk suit stills; the
// ordered (Bayer) matrices put the same pattern on the same colour wherever
// it appears, so animations do not shimmer and runs stay long for RLE.
enum class DitherMethod : int {
  kNone = 0,
  kFloydSteinberg,
  kSerpentine,  // Floyd-Steinberg, every other row walked right to left
  kBayer4,      // ordered, 4 x 4 threshold matrix
  kBayer8,      // ordered, 8 x 8 threshold matrix
};

struct OutputOptions {
  bool useArgb = false;        // palettes of C files as 0xAARRGGBB, streams with ARGB palette entries
  bool bigEndian = false;      // 16- and 32-bit pixels of streams with the high byte first
  bool preserveTrans = false;  // fully transparent pixels become palette index 0 (colour code 0)
  // A save that would write more bytes is refused before anything is written.
  std::uint64_t maxOutputBytes = kDefaultMaxOutputBytes;
  // Every conversion that reduces colours (colour formats, palettes, the
  // conversion a save makes to fit its FORMAT) dithers with this method.
  DitherMethod dither = DitherMethod::kNone;
};

}  // namespace rastra
