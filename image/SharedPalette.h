// One palette for a set of pictures: icon sets, button states and animation
// frames drawn with the same few colours, so that their C files can share one
// palette table instead of carrying one each.
//
// The best palette over a set is the octree's over all of its pixels, as if
// the pictures were one picture, the first on top. The octree's result depends
// only on the order in which colours first appear (a colour seen before adds
// to the leaf it already reached), so each picture is tallied on its own, in
// any order or side by side, and the tallies are merged in picture order. The
// tree's palette is then refined towards the pixels (Lloyd's iterations),
// which leaves a palette that holds every colour as it is: a set of one
// picture whose colours fit gets that picture's best palette.
//
// When any picture has transparent pixels, entry 0 of the palette is the
// transparent one: it holds exactly those pixels, its colour is white with the
// transparency byte 255, and the other entries are the best colours of the
// visible pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"

namespace rastra {

// The colour of the transparent entry of a shared palette.
inline constexpr Color kSharedTransparentColor = 0xFFFFFFFFu;

// What the shared palette needs to know of one picture.
struct ColorTally {
  std::vector<std::uint32_t> colours;  // 0xRRGGBB of the visible pixels, in the order they first appear
  std::vector<std::uint64_t> counts;   // pixels of each colour
  bool hasTransparentPixels = false;   // alpha with T = 255, or index 0 of a palette with a transparent entry
  bool hasStoredTransparency = false;  // a true-colour pixel with T = 255, alpha or not
  // The palette of a palette image, with its transparency flag.
  std::optional<PaletteRef> ownPalette;
  bool ownHasTrans = false;
};

ColorTally TallyColors(const Bitmap& image);

struct SharedPalette {
  PaletteRef palette;
  bool transparentEntry = false;  // entry 0 takes exactly the transparent pixels
  bool hasTrans = false;          // HasTrans of every picture on the palette
  bool kept = false;              // the pictures' own palette: they stay as they are
};

// The palette of up to maxColors (2 to 256) entries over the tallied pictures,
// in picture order. Pictures that all are palette images of one palette (with
// no more than maxColors entries) keep it. preserveTrans is the option the
// pictures will be mapped with: it decides HasTrans of a palette without a
// transparent entry. Nothing without a single pixel.
std::optional<SharedPalette> BuildSharedPalette(const std::vector<ColorTally>& tallies, int maxColors,
                                                bool preserveTrans);

// A palette read from a palette file as the shared palette: an entry 0 whose
// transparency byte is 255 is the transparent entry.
SharedPalette SharedPaletteFromFile(const PaletteRef& palette, const std::vector<ColorTally>& tallies,
                                    bool preserveTrans);

// Whether HasTrans of the pictures mapped onto a palette without transparent
// entry is set: preserving transparency, a true-colour pixel with T = 255
// takes index 0 and marks its picture, and the shared flag must then hold for
// all.
bool AnyPreservedTransparency(const std::vector<ColorTally>& tallies, bool preserveTrans);

// Each pixel to its nearest entry; with a transparent entry the transparent
// pixels to entry 0 and no other pixel there. A kept palette gives a copy.
BitmapPtr MapToSharedPalette(const Bitmap& source, const SharedPalette& shared, const OutputOptions& options,
                             sys::Context& ctx);

// The pixels of image that a transparent entry takes.
bool IsTransparentPixel(const Bitmap& image, const std::uint8_t* row, int x);

}  // namespace rastra
