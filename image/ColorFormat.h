// The colour formats of the target displays: exact mappings between a colour
// value (0xTTBBGGRR) and a format's index or pixel code.
//
// The writers call ColorToIndex once per pixel, so a format is a plain constant
// record holding two function pointers; no virtual dispatch, and the 5, 6 and
// 4 bit channel reductions are table lookups.
#pragma once

#include <cstdint>

#include <rastra/convert.h>

#include "image/Bitmap.h"

namespace rastra {


inline constexpr int kColorFormatCount = 22;
// Formats 0 to 14 have entries in the conversion menu, in this order.
inline constexpr int kMenuFormatCount = 15;

class ColorFormat {
 public:
  using ToIndexFn = std::uint32_t (*)(Color);
  using ToColorFn = Color (*)(std::uint32_t);

  constexpr ColorFormat(const char* name, std::uint32_t indexMask, ToIndexFn toIndex, ToColorFn toColor)
      : name_(name), indexMask_(indexMask), toIndex_(toIndex), toColor_(toColor) {}

  // Only red, green and blue count; the transparency byte is ignored.
  std::uint32_t ColorToIndex(Color c) const { return toIndex_(c); }
  // Always opaque (T = 0).
  Color IndexToColor(std::uint32_t index) const { return toColor_(index); }
  // The largest code; for packed formats the mask of the bits in use.
  std::uint32_t GetIndexMask() const { return indexMask_; }
  const char* Name() const { return name_; }
  // Palette formats have GetIndexMask() + 1 entries, at most 256.
  bool IsPaletteFormat() const { return indexMask_ < 256; }

 private:
  const char* name_;
  std::uint32_t indexMask_;
  ToIndexFn toIndex_;
  ToColorFn toColor_;
};

// Format by ColorFormatId; an id outside 0 to 21 gives the RGB format.
const ColorFormat& GetColorFormat(int id);
// Menu text of formats 0 to 14 ("BW\t\t\t(1 BPP)", ...); "" for any other id.
const char* ColorFormatMenuLabel(int id);

}  // namespace rastra
