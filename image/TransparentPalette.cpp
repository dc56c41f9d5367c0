// The best palette with a transparent entry 0 (ConvertToBestPaletteTrans).
#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "image/ColorConvert.h"

namespace rastra {

namespace {

constexpr std::uint32_t kRgbMask = 0xFFFFFF;
constexpr int kOpaqueEntries = 255;  // entry 0 is the transparent one

// Which pixels are transparent: fully transparent colours (a transparency
// byte of 255), and in a palette image with HasTrans every pixel of index 0.
class TransparentPixels {
 public:
  explicit TransparentPixels(const Bitmap& source) : source_(source) {
    for (int i = 0; i < source.NumColors && i < 256; ++i) palette_[static_cast<std::size_t>(i)] = Bitmap_GetPalColor(source, i);
    for (std::size_t i = 0; i < palette_.size(); ++i) entryTransparent_[i] = (palette_[i] >> 24) == 255;
    if (source.NumColors != 0 && source.HasTrans != 0) entryTransparent_[0] = true;
  }

  // Calls visit(rgb, transparent) for every pixel, row by row.
  template <class Visit>
  void ForEach(Visit visit) const {
    const bool indexed = source_.NumColors != 0;
    for (int y = 0; y < source_.YSize; ++y) {
      const std::uint8_t* row = source_.Row(y);
      for (int x = 0; x < source_.XSize; ++x) {
        if (indexed) {
          visit(palette_[row[x]] & kRgbMask, entryTransparent_[row[x]]);
        } else {
          const Color c = Bitmap_LoadColor(row + 4 * x);
          visit(c & kRgbMask, (c >> 24) == 255);
        }
      }
    }
  }

  bool At(const std::uint8_t* row, int x) const {
    if (source_.NumColors != 0) return entryTransparent_[row[x]];
    return row[4 * x + 3] == 255;
  }

 private:
  const Bitmap& source_;
  std::array<Color, 256> palette_{};
  std::array<bool, 256> entryTransparent_{};
};

// Distinct colours with their pixel counts, up to a limit: a small
// open-addressing table that is never more than a quarter full.
class ColorTally {
 public:
  explicit ColorTally(std::size_t limit) : limit_(limit), slots_(4 * limit + 4) {}

  // False once the colour would be one more than the limit.
  bool Add(std::uint32_t rgb) {
    std::size_t h = (rgb * 2654435761u) % slots_.size();
    while (slots_[h].count != 0 && slots_[h].rgb != rgb) h = (h + 1) % slots_.size();
    if (slots_[h].count == 0) {
      if (distinct_ == limit_) return false;
      slots_[h].rgb = rgb;
      ++distinct_;
    }
    ++slots_[h].count;
    return true;
  }
  template <class Visit>
  void ForEach(Visit visit) const {
    for (const Slot& slot : slots_) {
      if (slot.count != 0) visit(slot.rgb, slot.count);
    }
  }

 private:
  struct Slot {
    std::uint32_t rgb = 0;
    std::uint64_t count = 0;
  };
  std::size_t limit_;
  std::size_t distinct_ = 0;
  std::vector<Slot> slots_;
};

// The colours of the opaque pixels exactly, most frequent first, when they
// are few enough for the opaque entries while all pixels' colours are not.
// 0 otherwise (best is then untouched).
int ExactOpaquePalette(const TransparentPixels& transparent, PaletteRef& best) {
  ColorTally all(kOpaqueEntries);
  ColorTally opaque(kOpaqueEntries);
  bool allFit = true;
  bool opaqueFit = true;
  transparent.ForEach([&](std::uint32_t rgb, bool isTransparent) {
    if (allFit) allFit = all.Add(rgb);
    if (opaqueFit && !isTransparent) opaqueFit = opaque.Add(rgb);
  });
  if (allFit || !opaqueFit) return 0;
  // A tree that never reaches its limit holds each colour as a leaf of its
  // own, in the same order whatever order the colours come in.
  ColorOctree tree(kOpaqueEntries, 8);
  opaque.ForEach([&](std::uint32_t rgb, std::uint64_t count) {
    for (std::uint64_t left = count; left > 0;) {
      const auto part = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, UINT32_MAX));
      tree.Insert(static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                  static_cast<std::uint8_t>(rgb >> 16), part);
      left -= part;
    }
  });
  std::array<Color, 256> colours{};
  std::array<std::uint32_t, 256> counts{};
  const int m = tree.GetPalette(colours.data(), counts.data());
  std::vector<std::pair<std::uint32_t, Color>> entries;
  for (int i = 0; i < m; ++i) entries.emplace_back(counts[static_cast<std::size_t>(i)], colours[static_cast<std::size_t>(i)]);
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (int i = 0; i < m; ++i) best.colours[static_cast<std::size_t>(i)] = entries[static_cast<std::size_t>(i)].second;
  if (m != 0) best.count = m;
  return m;
}

}  // namespace

BitmapPtr ConvertToBestPaletteTrans(const Bitmap& source, Color transColor, const OutputOptions& options,
                                    sys::Context& ctx) {
  const bool transparentEntry = source.NumColors != 0 && source.HasTrans != 0;
  if (source.HasAlpha == 0 && !transparentEntry) return ConvertToBestPalette(source, options, ctx);
  const TransparentPixels transparent(source);
  // The palette counts the transparent pixels' colours too, as it always has,
  // except where that would merge colours: when the opaque pixels alone have
  // no more colours than the opaque entries, the palette holds exactly theirs.
  PaletteRef best;
  int m = ExactOpaquePalette(transparent, best);
  if (m == 0) m = CalcBestPalette(kOpaqueEntries, source, best, ctx);
  if (m == 0) return nullptr;
  BitmapPtr result = ConvertToPalette(best, source, m + 1, options, ctx);
  if (!result) return nullptr;
  for (int i = m - 1; i >= 0; --i) Bitmap_SetPalColor(*result, i + 1, Bitmap_GetPalColor(*result, i));
  Bitmap_SetPalColor(*result, 0, transColor);
  for (int y = 0; y < source.YSize; ++y) {
    const std::uint8_t* in = source.Row(y);
    std::uint8_t* out = result->Row(y);
    for (int x = 0; x < source.XSize; ++x) {
      out[x] = transparent.At(in, x) ? 0 : static_cast<std::uint8_t>(out[x] + 1);
    }
  }
  result->HasTrans = 1;
  return result;
}

}  // namespace rastra
