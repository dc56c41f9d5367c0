#include "image/SharedPalette.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "image/ColorConvert.h"

namespace rastra {

namespace {

constexpr std::uint32_t kFullyTransparent = 255;

// The 24 colour bits of a stored true-colour pixel (blue, green, red, T) as
// 0xRRGGBB, the form the octree takes.
std::uint32_t StoredRgb(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
}

std::uint32_t RgbOf(Color c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// Colours in the order they first appear, each with its pixel count.
class OrderedTally {
 public:
  std::uint32_t SlotOf(std::uint32_t rgb) {
    const auto [it, added] = slots_.try_emplace(rgb, static_cast<std::uint32_t>(colours_.size()));
    if (added) {
      colours_.push_back(rgb);
      counts_.push_back(0);
    }
    return it->second;
  }
  void Add(std::uint32_t slot, std::uint64_t count) { counts_[slot] += count; }
  void MoveInto(ColorTally& tally) {
    tally.colours = std::move(colours_);
    tally.counts = std::move(counts_);
  }
  const std::vector<std::uint32_t>& Colours() const { return colours_; }
  const std::vector<std::uint64_t>& Counts() const { return counts_; }

 private:
  std::unordered_map<std::uint32_t, std::uint32_t> slots_;
  std::vector<std::uint32_t> colours_;
  std::vector<std::uint64_t> counts_;
};

void TallyTrueColor(const Bitmap& image, OrderedTally& ordered, ColorTally& tally) {
  const bool alpha = image.HasAlpha != 0;
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    std::uint32_t lastRgb = 0;
    std::uint32_t lastSlot = 0;
    bool haveLast = false;
    for (int x = 0; x < image.XSize; ++x) {
      const std::uint8_t* p = row + 4 * x;
      if (p[3] == kFullyTransparent) {
        tally.hasStoredTransparency = true;
        if (alpha) {
          tally.hasTransparentPixels = true;
          continue;
        }
      }
      const std::uint32_t rgb = StoredRgb(p);
      // Neighbours mostly share their colour: one look-up per run.
      if (!haveLast || rgb != lastRgb) {
        lastSlot = ordered.SlotOf(rgb);
        lastRgb = rgb;
        haveLast = true;
      }
      ordered.Add(lastSlot, 1);
    }
  }
}

void TallyPaletteImage(const Bitmap& image, OrderedTally& ordered, ColorTally& tally) {
  std::array<std::uint32_t, 256> rgb{};
  for (int i = 0; i < image.NumColors && i < 256; ++i) rgb[i] = RgbOf(Bitmap_GetPalColor(image, i));
  constexpr std::uint32_t kNoSlot = UINT32_MAX;
  std::array<std::uint32_t, 256> slot;
  slot.fill(kNoSlot);
  const bool transparentZero = image.HasTrans != 0;
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.XSize; ++x) {
      const std::uint8_t index = row[x];
      if (index == 0 && transparentZero) {
        tally.hasTransparentPixels = true;
        continue;
      }
      if (slot[index] == kNoSlot) slot[index] = ordered.SlotOf(rgb[index]);
      ordered.Add(slot[index], 1);
    }
  }
}

bool SamePalette(const ColorTally& a, const ColorTally& b) {
  if (!a.ownPalette || !b.ownPalette || a.ownHasTrans != b.ownHasTrans) return false;
  const PaletteRef& p = *a.ownPalette;
  const PaletteRef& q = *b.ownPalette;
  return p.count == q.count && std::equal(p.colours.begin(), p.colours.begin() + p.count, q.colours.begin());
}

// The pictures all are palette images of one palette that fits.
std::optional<SharedPalette> KeptPalette(const std::vector<ColorTally>& tallies, int maxColors) {
  const ColorTally& first = tallies.front();
  if (!first.ownPalette || first.ownPalette->count > maxColors) return std::nullopt;
  for (const ColorTally& tally : tallies) {
    if (!SamePalette(first, tally)) return std::nullopt;
  }
  SharedPalette kept;
  kept.palette = *first.ownPalette;
  kept.transparentEntry = first.ownHasTrans;
  kept.hasTrans = first.ownHasTrans;
  kept.kept = true;
  return kept;
}

struct Rgb {
  int r = 0, g = 0, b = 0;
};

Rgb Channels(std::uint32_t rgb) {
  return {static_cast<int>(rgb >> 16), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF)};
}

int Distance(const Rgb& a, const Rgb& b) {
  const int dr = a.r - b.r;
  const int dg = a.g - b.g;
  const int db = a.b - b.b;
  return dr * dr + dg * dg + db * db;
}

// A palette entry during refinement, with the pixels it stands for.
struct Entry {
  Rgb colour;
  std::uint64_t pixels = 0;
};

// Distance computations the refinement may spend: a few milliseconds. A set of
// photos with a million colours is left with the octree's palette.
constexpr std::uint64_t kRefinementBudget = 64'000'000;
constexpr int kMaxRefinementRounds = 12;

// Lloyd's refinement of the octree's palette: every colour of the set to its
// nearest entry, every entry to the mean of its colours, until no colour
// changes its entry. The octree averages whole subtrees, which pulls the
// flat colours that many pictures share off their value; the refinement moves
// the entries back to where the pixels are. An entry left without colours
// takes the colour that is represented worst. A palette that holds every
// colour exactly is a fixed point, so a set that fits keeps the tree's palette.
void Refine(const OrderedTally& tally, std::vector<Entry>& entries) {
  const std::size_t n = tally.Colours().size();
  if (entries.empty() || n <= entries.size()) return;
  const std::uint64_t perRound = static_cast<std::uint64_t>(n) * entries.size();
  const int rounds = static_cast<int>(std::min<std::uint64_t>(kMaxRefinementRounds, kRefinementBudget / perRound));
  std::vector<Rgb> colours(n);
  for (std::size_t i = 0; i < n; ++i) colours[i] = Channels(tally.Colours()[i]);
  std::vector<std::uint32_t> nearest(n, UINT32_MAX);
  std::vector<int> distance(n, 0);
  for (int round = 0; round < rounds; ++round) {
    bool moved = false;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint32_t best = 0;
      int bestDistance = Distance(colours[i], entries[0].colour);
      for (std::uint32_t k = 1; k < entries.size() && bestDistance != 0; ++k) {
        const int d = Distance(colours[i], entries[k].colour);
        if (d < bestDistance) {
          bestDistance = d;
          best = k;
        }
      }
      moved = moved || nearest[i] != best;
      nearest[i] = best;
      distance[i] = bestDistance;
    }
    if (!moved) break;
    struct Sum {
      std::uint64_t r = 0, g = 0, b = 0, pixels = 0;
    };
    std::vector<Sum> sums(entries.size());
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t w = tally.Counts()[i];
      Sum& sum = sums[nearest[i]];
      sum.r += w * static_cast<std::uint64_t>(colours[i].r);
      sum.g += w * static_cast<std::uint64_t>(colours[i].g);
      sum.b += w * static_cast<std::uint64_t>(colours[i].b);
      sum.pixels += w;
    }
    for (std::size_t k = 0; k < entries.size(); ++k) {
      const Sum& sum = sums[k];
      entries[k].pixels = sum.pixels;
      if (sum.pixels == 0) continue;
      const auto mean = [&](std::uint64_t total) { return static_cast<int>((total + sum.pixels / 2) / sum.pixels); };
      entries[k].colour = {mean(sum.r), mean(sum.g), mean(sum.b)};
    }
    for (Entry& entry : entries) {
      if (entry.pixels != 0) continue;
      // The colour that loses most by where it is now.
      std::size_t worst = 0;
      std::uint64_t worstLoss = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t loss = tally.Counts()[i] * static_cast<std::uint64_t>(distance[i]);
        if (loss > worstLoss) {
          worstLoss = loss;
          worst = i;
        }
      }
      if (worstLoss == 0) break;
      entry.colour = colours[worst];
      distance[worst] = 0;
    }
  }
}

// The octree's palette over the tally, refined, most frequent first; entries
// of equal count keep their tree order, as the best palette of one picture has
// them.
int SharedTreePalette(const OrderedTally& tally, int limit, Color* out) {
  const std::vector<CountedColor> palette = FullOctreePalette(limit, [&](ColorOctree& tree) {
    for (std::size_t i = 0; i < tally.Colours().size(); ++i) {
      for (std::uint64_t left = tally.Counts()[i]; left > 0;) {
        const auto part = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, UINT32_MAX));
        tree.InsertRgb(tally.Colours()[i], part);
        left -= part;
      }
    }
  });
  const int m = static_cast<int>(palette.size());
  std::vector<Entry> entries(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) entries[i] = {Channels(RgbOf(palette[i].colour)), palette[i].pixels};
  Refine(tally, entries);
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.pixels > b.pixels; });
  for (int i = 0; i < m; ++i) {
    const Rgb& c = entries[i].colour;
    out[i] = (static_cast<Color>(c.b) << 16) | (static_cast<Color>(c.g) << 8) | static_cast<Color>(c.r);
  }
  return m;
}

bool SameColours(const Bitmap& image, const PaletteRef& palette, bool hasTrans) {
  if (image.NumColors != palette.count || (image.HasTrans != 0) != hasTrans) return false;
  for (int i = 0; i < palette.count; ++i) {
    if (Bitmap_GetPalColor(image, i) != palette.colours[i]) return false;
  }
  return true;
}

BitmapPtr MapWithTransparentEntry(const Bitmap& source, const SharedPalette& shared, const OutputOptions& options,
                                  sys::Context& ctx) {
  const int count = shared.palette.count;
  PaletteRef visible;
  visible.count = std::max(count - 1, 1);
  std::copy(shared.palette.colours.begin() + 1, shared.palette.colours.begin() + count, visible.colours.begin());
  OutputOptions plain = options;
  plain.preserveTrans = false;  // the transparent pixels are placed below
  BitmapPtr result = ConvertToPalette(visible, source, count, plain, ctx);
  if (!result) return nullptr;
  const bool onlyTransparent = count == 1;
  for (int y = 0; y < source.YSize; ++y) {
    const std::uint8_t* in = source.Row(y);
    std::uint8_t* out = result->Row(y);
    for (int x = 0; x < source.XSize; ++x) {
      out[x] = IsTransparentPixel(source, in, x) || onlyTransparent ? 0 : static_cast<std::uint8_t>(out[x] + 1);
    }
  }
  for (int i = 0; i < count; ++i) Bitmap_SetPalColor(*result, i, shared.palette.colours[i]);
  result->HasTrans = 1;
  return result;
}

}  // namespace

bool IsTransparentPixel(const Bitmap& image, const std::uint8_t* row, int x) {
  if (image.NumColors != 0) return image.HasTrans != 0 && row[x] == 0;
  return image.HasAlpha != 0 && row[4 * x + 3] == kFullyTransparent;
}

ColorTally TallyColors(const Bitmap& image) {
  ColorTally tally;
  OrderedTally ordered;
  if (image.NumColors != 0) {
    TallyPaletteImage(image, ordered, tally);
    tally.ownPalette = Bitmap_GetPalette(image);
    tally.ownHasTrans = image.HasTrans != 0;
  } else {
    TallyTrueColor(image, ordered, tally);
  }
  ordered.MoveInto(tally);
  return tally;
}

bool AnyPreservedTransparency(const std::vector<ColorTally>& tallies, bool preserveTrans) {
  return preserveTrans && std::any_of(tallies.begin(), tallies.end(),
                                      [](const ColorTally& t) { return t.hasStoredTransparency; });
}

std::optional<SharedPalette> BuildSharedPalette(const std::vector<ColorTally>& tallies, int maxColors,
                                                bool preserveTrans) {
  const bool anyPixel = std::any_of(tallies.begin(), tallies.end(), [](const ColorTally& t) {
    return !t.colours.empty() || t.hasTransparentPixels;
  });
  if (!anyPixel) return std::nullopt;
  maxColors = std::clamp(maxColors, 2, 256);
  if (auto kept = KeptPalette(tallies, maxColors)) return kept;

  SharedPalette shared;
  shared.transparentEntry =
      std::any_of(tallies.begin(), tallies.end(), [](const ColorTally& t) { return t.hasTransparentPixels; });
  OrderedTally merged;
  for (const ColorTally& tally : tallies) {
    for (std::size_t i = 0; i < tally.colours.size(); ++i) merged.Add(merged.SlotOf(tally.colours[i]), tally.counts[i]);
  }
  const int limit = shared.transparentEntry ? maxColors - 1 : maxColors;
  const int first = shared.transparentEntry ? 1 : 0;
  const int m = SharedTreePalette(merged, limit, shared.palette.colours.data() + first);
  if (shared.transparentEntry) shared.palette.colours[0] = kSharedTransparentColor;
  shared.palette.count = m + first;
  shared.hasTrans = shared.transparentEntry || AnyPreservedTransparency(tallies, preserveTrans);
  return shared;
}

SharedPalette SharedPaletteFromFile(const PaletteRef& palette, const std::vector<ColorTally>& tallies,
                                    bool preserveTrans) {
  SharedPalette shared;
  shared.palette = palette;
  shared.palette.count = std::clamp(palette.count, 1, 256);
  shared.transparentEntry = shared.palette.count >= 2 && palette.colours[0] >> 24 == kFullyTransparent;
  shared.hasTrans = shared.transparentEntry || AnyPreservedTransparency(tallies, preserveTrans);
  return shared;
}

BitmapPtr MapToSharedPalette(const Bitmap& source, const SharedPalette& shared, const OutputOptions& options,
                             sys::Context& ctx) {
  if (shared.kept && SameColours(source, shared.palette, shared.hasTrans)) return Bitmap_Clone(source, ctx);
  if (shared.transparentEntry) return MapWithTransparentEntry(source, shared, options, ctx);
  BitmapPtr result = ConvertToPalette(shared.palette, source, shared.palette.count, options, ctx);
  if (result) result->HasTrans = shared.hasTrans ? 1 : 0;
  return result;
}

}  // namespace rastra
