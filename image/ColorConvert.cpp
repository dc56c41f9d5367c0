#include "image/ColorConvert.h"

#include <memory>

#include "image/Dither.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <version>

namespace rastra {


namespace {

constexpr Color kOpaqueMask = 0xFFFFFF;
constexpr std::uint32_t kFullyTransparent = 255;

std::uint32_t Transparency(Color c) { return c >> 24; }
int Red(Color c) { return static_cast<int>(c & 0xFF); }
int Green(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
int Blue(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

void ReportConvertingRow(sys::Context& ctx, int y, int rows) {
  ReportRowProgress(ctx, "Converting image, line %d/%d", y + 1, rows);
}
void ReportCalculatingRow(sys::Context& ctx, int y, int rows) {
  ReportRowProgress(ctx, "Calculating info of image, row %d/%d", y + 1, rows);
}

// All 256 palette slots of a palette image; indexes beyond NumColors read as 0,
// as Bitmap_GetPixelColor reads them.
std::array<Color, 256> PaletteTable(const Bitmap& b) {
  std::array<Color, 256> table{};
  for (int i = 0; i < b.NumColors && i < 256; ++i) table[i] = Bitmap_GetPalColor(b, i);
  return table;
}

// The 24 colour bits of a stored pixel (blue, green, red, T) as one number
// whose bytes are blue, green and red from the low end; equal numbers are
// equal colours. One load on little-endian machines.
std::uint32_t StoredRgb(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v & 0xFFFFFFu;
  } else {
    return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
  }
}

// Stores a code in a palette result, or the colour of the code in a true-colour one.
void StorePixel(std::uint8_t* row, int x, bool paletteResult, std::uint32_t code, const ColorFormat& format) {
  if (paletteResult) {
    row[x] = static_cast<std::uint8_t>(code);
  } else {
    Bitmap_StoreColor(row + 4 * x, format.IndexToColor(code));
  }
}

void ConvertPaletteSource(const Bitmap& source, Bitmap& result, const ColorFormat& format, bool paletteResult,
                          sys::Context& ctx) {
  const std::array<Color, 256> palette = PaletteTable(source);
  std::array<std::uint32_t, 256> map{};
  for (int i = 0; i < 256; ++i) map[i] = format.ColorToIndex(palette[i]);
  for (int y = 0; y < source.YSize; ++y) {
    ReportConvertingRow(ctx, y, source.YSize);
    const std::uint8_t* in = source.Row(y);
    std::uint8_t* out = result.Row(y);
    for (int x = 0; x < source.XSize; ++x) StorePixel(out, x, paletteResult, map[in[x]], format);
  }
}

// Returns whether a fully transparent pixel was turned into code 0.
bool ConvertTrueColorSource(const Bitmap& source, Bitmap& result, const ColorFormat& format, bool paletteResult,
                            bool preserveTrans, sys::Context& ctx) {
  bool foundTransparent = false;
  for (int y = 0; y < source.YSize; ++y) {
    ReportConvertingRow(ctx, y, source.YSize);
    const std::uint8_t* in = source.Row(y);
    std::uint8_t* out = result.Row(y);
    for (int x = 0; x < source.XSize; ++x) {
      const Color v = Bitmap_LoadColor(in + 4 * x);
      std::uint32_t code = 0;
      if (preserveTrans && Transparency(v) == kFullyTransparent) {
        foundTransparent = true;
      } else {
        code = format.ColorToIndex(v);
      }
      StorePixel(out, x, paletteResult, code, format);
    }
  }
  return foundTransparent;
}

// Floyd-Steinberg error diffusion -----------------------------------------

std::uint8_t* StoredRow(Bitmap& b, int storedRow) {
  return b.pData.data() + static_cast<std::size_t>(storedRow) * b.BytesPerLine;
}

struct ColorError {
  int r = 0;
  int g = 0;
  int b = 0;
};

std::uint8_t ClampChannel(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Adds weight/16 of the error (truncated toward zero) to the pixel at p, clamps
// each channel and makes the pixel opaque. Bytes are blue, green, red, T.
void ReceiveError(std::uint8_t* p, const ColorError& e, int weight) {
  p[0] = ClampChannel(p[0] + e.b * weight / 16);
  p[1] = ClampChannel(p[1] + e.g * weight / 16);
  p[2] = ClampChannel(p[2] + e.r * weight / 16);
  p[3] = 0;
}

void DiffuseErrors(Bitmap& b, const ColorFormat& format, sys::Context& ctx) {
  const int width = b.XSize;
  for (int r = 0; r < b.YSize; ++r) {
    ReportConvertingRow(ctx, r, b.YSize);
    std::uint8_t* row = StoredRow(b, r);
    std::uint8_t* next = r + 1 < b.YSize ? StoredRow(b, r + 1) : nullptr;
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = row + 4 * x;
      const Color a = Bitmap_LoadColor(p);
      const Color c = format.IndexToColor(format.ColorToIndex(a));
      Bitmap_StoreColor(p, c & kOpaqueMask);
      const ColorError e{Red(a) - Red(c), Green(a) - Green(c), Blue(a) - Blue(c)};
      if (e.r == 0 && e.g == 0 && e.b == 0) continue;
      if (x + 1 < width) ReceiveError(p + 4, e, 7);
      if (next == nullptr) continue;
      if (x > 0) ReceiveError(next + 4 * (x - 1), e, 3);
      ReceiveError(next + 4 * x, e, 5);
      if (x + 1 < width) ReceiveError(next + 4 * (x + 1), e, 1);
    }
  }
}

// Nearest palette colour -------------------------------------------------

int Distance(Color a, Color b) {
  const int dr = Red(a) - Red(b);
  const int dg = Green(a) - Green(b);
  const int db = Blue(a) - Blue(b);
  return dr * dr + dg * dg + db * db;
}

int ValidCount(const PaletteRef& palette) { return std::clamp(palette.count, 1, 256); }

// Gives exactly the index of the linear FindNearestColor search (the lowest
// index among the nearest entries) while looking at few entries. The colour
// cube is cut into cells of 8 x 8 x 8; for each cell in use, the entries that
// can be nearest to some colour of the cell are listed once: those whose
// smallest possible distance to the cell is not above the smallest largest
// distance of any entry. The list is sorted by that smallest possible
// distance, so a search stops at the first entry that cannot come closer than
// the best one found; ties in distance go to the lower index.
class NearestColorSearch {
 public:
  explicit NearestColorSearch(const PaletteRef& palette)
      : colors_(palette.colours.begin(), palette.colours.begin() + ValidCount(palette)),
        cellStart_(kCellCount, kNotBuilt),
        cellLength_(kCellCount, 0) {
    FillAxisTables();
  }

  // rgb: red << 16 | green << 8 | blue.
  int Find(std::uint32_t rgb) {
    const std::size_t cell = CellOf(rgb);
    if (cellStart_[cell] == kNotBuilt) BuildCell(cell);
    const Candidate* candidate = candidates_.data() + cellStart_[cell];
    const Candidate* end = candidate + cellLength_[cell];
    const int r = static_cast<int>(rgb >> 16);
    const int g = static_cast<int>((rgb >> 8) & 0xFF);
    const int b = static_cast<int>(rgb & 0xFF);
    int best = candidate->index;
    int bestDistance = candidate->Distance(r, g, b);
    for (++candidate; candidate != end && candidate->nearest <= bestDistance; ++candidate) {
      const int d = candidate->Distance(r, g, b);
      if (d < bestDistance || (d == bestDistance && candidate->index < best)) {
        bestDistance = d;
        best = candidate->index;
      }
    }
    return best;
  }

 private:
  static constexpr int kCellBits = 3;
  static constexpr int kCellSide = 1 << kCellBits;
  static constexpr int kCellsPerAxis = 256 / kCellSide;
  static constexpr std::size_t kCellCount = kCellsPerAxis * kCellsPerAxis * kCellsPerAxis;
  static constexpr std::uint32_t kNotBuilt = 0xFFFFFFFF;

  struct Candidate {
    int r, g, b;
    int nearest;  // smallest squared distance to any colour of the cell
    int index;
    int Distance(int red, int green, int blue) const {
      return (red - r) * (red - r) + (green - g) * (green - g) + (blue - b) * (blue - b);
    }
  };

  // Red, green and blue cell positions, red the most significant.
  static std::size_t CellOf(std::uint32_t rgb) {
    return ((rgb >> (16 + kCellBits)) & (kCellsPerAxis - 1)) * kCellsPerAxis * kCellsPerAxis +
           ((rgb >> (8 + kCellBits)) & (kCellsPerAxis - 1)) * kCellsPerAxis + ((rgb >> kCellBits) & (kCellsPerAxis - 1));
  }

  // Squared distances from value v to the nearest and farthest point of [lo, lo + side - 1].
  static int NearSquared(int v, int lo) {
    const int hi = lo + kCellSide - 1;
    const int d = v < lo ? lo - v : v > hi ? v - hi : 0;
    return d * d;
  }
  static int FarSquared(int v, int lo) {
    const int d = std::max(std::abs(v - lo), std::abs(v - (lo + kCellSide - 1)));
    return d * d;
  }

  // NearSquared and FarSquared of every entry's red, green and blue for every
  // cell position along the axis: [axis][position][entry].
  void FillAxisTables() {
    const std::size_t n = colors_.size();
    for (int axis = 0; axis < 3; ++axis) {
      near_[axis].resize(kCellsPerAxis * n);
      far_[axis].resize(kCellsPerAxis * n);
      for (int position = 0; position < kCellsPerAxis; ++position) {
        for (std::size_t i = 0; i < n; ++i) {
          const Color c = colors_[i];
          const int v = axis == 0 ? Red(c) : axis == 1 ? Green(c) : Blue(c);
          near_[axis][position * n + i] = NearSquared(v, position * kCellSide);
          far_[axis][position * n + i] = FarSquared(v, position * kCellSide);
        }
      }
    }
  }

  void BuildCell(std::size_t cell) {
    const std::size_t n = colors_.size();
    const std::size_t b = cell % kCellsPerAxis * n;
    const std::size_t g = (cell / kCellsPerAxis) % kCellsPerAxis * n;
    const std::size_t r = cell / (kCellsPerAxis * kCellsPerAxis) * n;
    const int* nearR = near_[0].data() + r;
    const int* nearG = near_[1].data() + g;
    const int* nearB = near_[2].data() + b;
    const int* farR = far_[0].data() + r;
    const int* farG = far_[1].data() + g;
    const int* farB = far_[2].data() + b;
    int bound = INT32_MAX;
    for (std::size_t i = 0; i < n; ++i) bound = std::min(bound, farR[i] + farG[i] + farB[i]);
    const std::size_t start = candidates_.size();
    for (std::size_t i = 0; i < n; ++i) {
      const int nearest = nearR[i] + nearG[i] + nearB[i];
      const Color c = colors_[i];
      if (nearest <= bound) candidates_.push_back({Red(c), Green(c), Blue(c), nearest, static_cast<int>(i)});
    }
    std::stable_sort(candidates_.begin() + static_cast<std::ptrdiff_t>(start), candidates_.end(),
                     [](const Candidate& x, const Candidate& y) { return x.nearest < y.nearest; });
    cellStart_[cell] = static_cast<std::uint32_t>(start);
    cellLength_[cell] = static_cast<std::uint16_t>(candidates_.size() - start);
  }

  std::array<std::vector<int>, 3> near_;
  std::array<std::vector<int>, 3> far_;
  std::vector<Color> colors_;
  std::vector<std::uint32_t> cellStart_;
  std::vector<std::uint16_t> cellLength_;
  std::vector<Candidate> candidates_;
};

// Photos repeat their colours: a small direct-mapped cache keyed by the 24-bit
// colour remembers the index last found for it. Small enough to stay in the
// processor cache; a bigger table was slower than searching again.
class NearestColorCache {
 public:
  NearestColorCache(const PaletteRef& palette, std::int64_t pixels) : search_(palette) {
    int bits = 10;
    while (bits < 16 && (std::int64_t{1} << bits) < pixels) ++bits;
    shift_ = 32 - bits;
    keys_.assign(std::size_t{1} << bits, kEmpty);
    indexes_.assign(std::size_t{1} << bits, 0);
  }

  // stored: the StoredRgb number of the colour (red << 16 | green << 8 | blue).
  int Find(std::uint32_t stored) {
    const std::size_t slot = (stored * 2654435761u) >> shift_;
    if (keys_[slot] != stored) {
      keys_[slot] = stored;
      indexes_[slot] = static_cast<std::uint8_t>(search_.Find(stored));
    }
    return indexes_[slot];
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;  // no 24-bit colour has this key
  NearestColorSearch search_;
  int shift_ = 22;
  std::vector<std::uint32_t> keys_;
  std::vector<std::uint8_t> indexes_;
};

void MapPaletteSource(const PaletteRef& palette, const Bitmap& source, Bitmap& result, sys::Context& ctx) {
  const std::array<Color, 256> colors = PaletteTable(source);
  std::array<std::uint8_t, 256> map{};
  // Indexes past the source's palette all stand for colour 0: one search does for them.
  const int used = std::clamp(source.NumColors, 0, 256);
  for (int i = 0; i < used; ++i) map[i] = static_cast<std::uint8_t>(FindNearestColor(colors[i], palette));
  if (used < 256) std::fill(map.begin() + used, map.end(), static_cast<std::uint8_t>(FindNearestColor(0, palette)));
  for (int y = 0; y < source.YSize; ++y) {
    ReportConvertingRow(ctx, y, source.YSize);
    const std::uint8_t* in = source.Row(y);
    std::uint8_t* out = result.Row(y);
    for (int x = 0; x < source.XSize; ++x) out[x] = map[in[x]];
  }
}

// Below this many pixels each one is looked up in the palette directly: the
// search's tables take longer to set up (a few hundred kilobytes) than a
// small picture takes to map entry by entry, with the same indexes.
constexpr std::int64_t kDirectSearchPixels = 256;

// Maps rows firstRow, firstRow + step, ... of the picture; progress goes to
// ctx when there is one. Returns whether a fully transparent pixel was given
// index 0.
bool MapTrueColorRows(const PaletteRef& palette, const Bitmap& source, Bitmap& result, bool preserveTrans,
                      int firstRow, int step, sys::Context* ctx) {
  bool foundTransparent = false;
  const std::int64_t pixels = std::int64_t{source.XSize} * source.YSize / step;
  std::optional<NearestColorCache> nearest;
  if (pixels > kDirectSearchPixels) nearest.emplace(palette, pixels);
  for (int y = firstRow; y < source.YSize; y += step) {
    if (ctx != nullptr) ReportConvertingRow(*ctx, y, source.YSize);
    const std::uint8_t* in = source.Row(y);
    std::uint8_t* out = result.Row(y);
    for (int x = 0; x < source.XSize; ++x) {
      const std::uint8_t* p = in + 4 * x;
      if (preserveTrans && p[3] == kFullyTransparent) {
        out[x] = 0;
        foundTransparent = true;
      } else {
        const int index = nearest ? nearest->Find(StoredRgb(p)) : FindNearestColor(Bitmap_LoadColor(p), palette);
        out[x] = static_cast<std::uint8_t>(index);
      }
    }
  }
  return foundTransparent;
}

// Builds without threads (WebAssembly without its thread support, or a
// standard library without std::jthread) map every row in the caller.
#if defined(__cpp_lib_jthread) && (!defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__))
#define RASTRA_HELPER_THREAD 1
#endif

#if defined(RASTRA_HELPER_THREAD)
// From this many pixels on, a helper thread maps the odd rows while the
// caller maps the even ones and reports the progress; each has a search and
// cache of its own. The mapping is most of a best-palette conversion, and the
// search gives the same index whichever thread asks, so the result is the
// same as on one thread.
constexpr std::int64_t kTwoThreadPixels = std::int64_t{512} * 1024;
#endif

// Returns whether a fully transparent pixel was given index 0.
bool MapTrueColorSource(const PaletteRef& palette, const Bitmap& source, Bitmap& result, bool preserveTrans,
                        sys::Context& ctx) {
#if defined(RASTRA_HELPER_THREAD)
  const std::int64_t pixels = std::int64_t{source.XSize} * source.YSize;
  if (pixels < kTwoThreadPixels || source.YSize < 2 || std::thread::hardware_concurrency() < 2) {
    return MapTrueColorRows(palette, source, result, preserveTrans, 0, 1, &ctx);
  }
  bool helperFound = false;
  bool helperDone = false;
  std::jthread helper;
  try {
    helper = std::jthread([&] {
      try {
        helperFound = MapTrueColorRows(palette, source, result, preserveTrans, 1, 2, nullptr);
        helperDone = true;
      } catch (const std::bad_alloc&) {
        // The caller maps these rows itself after the join.
      }
    });
  } catch (const std::system_error&) {
    return MapTrueColorRows(palette, source, result, preserveTrans, 0, 1, &ctx);
  }
  const bool found = MapTrueColorRows(palette, source, result, preserveTrans, 0, 2, &ctx);
  helper.join();
  if (!helperDone) helperFound = MapTrueColorRows(palette, source, result, preserveTrans, 1, 2, nullptr);
  return found || helperFound;
#else
  return MapTrueColorRows(palette, source, result, preserveTrans, 0, 1, &ctx);
#endif
}

// Octree filling and best palette -------------------------------------------

// Runs of one colour go in as one weighted insertion: the first pixel of a run
// builds the path and does any merging, the rest only add to the leaf it ends in.
void InsertTrueColorRow(ColorOctree& tree, const std::uint8_t* row, int width) {
  int x = 0;
  while (x < width) {
    const std::uint32_t c = StoredRgb(row + 4 * x);
    int run = 1;
    while (x + run < width && StoredRgb(row + 4 * (x + run)) == c) ++run;
    tree.InsertRgb(c, static_cast<std::uint32_t>(run));
    x += run;
  }
}

void InsertPaletteRow(ColorOctree& tree, const std::uint8_t* row, int width, const std::array<Color, 256>& palette,
                      std::array<ColorOctree::LeafHint, 256>& hints) {
  int x = 0;
  while (x < width) {
    const std::uint8_t index = row[x];
    const Color c = palette[index] & kOpaqueMask;
    int run = 1;
    while (x + run < width && (palette[row[x + run]] & kOpaqueMask) == c) ++run;
    tree.Insert(static_cast<std::uint8_t>(Red(c)), static_cast<std::uint8_t>(Green(c)),
                static_cast<std::uint8_t>(Blue(c)), static_cast<std::uint32_t>(run), hints[index]);
    x += run;
  }
}

// Pixel counts of each palette index.
std::array<std::uint64_t, 256> IndexHistogram(const Bitmap& source, sys::Context& ctx) {
  std::array<std::uint64_t, 256> counts{};
  for (int y = 0; y < source.YSize; ++y) {
    ReportCalculatingRow(ctx, y, source.YSize);
    const std::uint8_t* row = source.Row(y);
    for (int x = 0; x < source.XSize; ++x) ++counts[row[x]];
  }
  return counts;
}

// A tree that never reaches its limit never merges, and then its leaves, their
// order and their sums do not depend on the order the colours came in. A
// palette image with no more distinct colours than the limit can therefore go
// in one weighted insertion per palette entry: the same tree as pixel by
// pixel, at a fraction of the work. False (nothing inserted) otherwise.
bool InsertPaletteImageByCounts(ColorOctree& tree, const Bitmap& source, sys::Context& ctx) {
  const std::array<Color, 256> palette = PaletteTable(source);
  std::array<Color, 256> colours{};
  std::transform(palette.begin(), palette.end(), colours.begin(), [](Color c) { return c & kOpaqueMask; });
  std::sort(colours.begin(), colours.end());
  const auto distinct = std::unique(colours.begin(), colours.end()) - colours.begin();
  // Entries no pixel uses add no colour; counting them too keeps the test cheap and safe.
  if (static_cast<std::uint32_t>(distinct) > tree.ColorLimit()) return false;
  const std::array<std::uint64_t, 256> counts = IndexHistogram(source, ctx);
  for (int i = 0; i < 256; ++i) {
    for (std::uint64_t left = counts[i]; left > 0;) {
      const auto part = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, UINT32_MAX));
      const Color c = palette[i];
      tree.Insert(static_cast<std::uint8_t>(Red(c)), static_cast<std::uint8_t>(Green(c)),
                  static_cast<std::uint8_t>(Blue(c)), part);
      left -= part;
    }
  }
  return true;
}

void InsertImage(ColorOctree& tree, const Bitmap& source, sys::Context& ctx) {
  const bool hasPalette = source.NumColors != 0;
  if (hasPalette && InsertPaletteImageByCounts(tree, source, ctx)) return;
  const std::array<Color, 256> palette = hasPalette ? PaletteTable(source) : std::array<Color, 256>{};
  std::array<ColorOctree::LeafHint, 256> hints{};
  for (int y = 0; y < source.YSize; ++y) {
    ReportCalculatingRow(ctx, y, source.YSize);
    if (hasPalette) {
      InsertPaletteRow(tree, source.Row(y), source.XSize, palette, hints);
    } else {
      InsertTrueColorRow(tree, source.Row(y), source.XSize);
    }
  }
}

// Most frequent first; colours of equal count keep their tree order. A
// stable sort gives exactly the order of swapping neighbours while the second
// count is larger, without its m * m comparisons.
void SortByCountDescending(Color* colours, std::uint32_t* counts, int m) {
  struct Entry {
    std::uint32_t count;
    Color colour;
  };
  std::array<Entry, 256> entries{};
  const auto n = static_cast<std::size_t>(std::clamp(m, 0, 256));
  for (std::size_t i = 0; i < n; ++i) entries[i] = {counts[i], colours[i]};
  std::stable_sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(n),
                   [](const Entry& a, const Entry& b) { return a.count > b.count; });
  for (std::size_t i = 0; i < n; ++i) {
    counts[i] = entries[i].count;
    colours[i] = entries[i].colour;
  }
}

}  // namespace

namespace {

BitmapPtr ConvertToFormatPlain(const Bitmap& source, const ColorFormat& format, const OutputOptions& options,
                               sys::Context& ctx) {
  const std::uint32_t entries = format.GetIndexMask() + 1;
  const int k = entries > 256 ? 0 : static_cast<int>(entries);
  BitmapPtr result = Bitmap_Create(source.XSize, source.YSize, k, ctx);
  if (!result) return nullptr;
  const bool paletteResult = k != 0;
  if (source.NumColors != 0) {
    ConvertPaletteSource(source, *result, format, paletteResult, ctx);
  } else if (ConvertTrueColorSource(source, *result, format, paletteResult, options.preserveTrans, ctx)) {
    result->HasTrans = 1;
  }
  for (int i = 0; i < k; ++i) Bitmap_SetPalColor(*result, i, format.IndexToColor(static_cast<std::uint32_t>(i)));
  ctx.Progress("Conversion done");
  return result;
}

// A format that keeps all 24 bits has nothing to dither.
bool FormatTakesDithering(const ColorFormat& format) { return format.GetIndexMask() != 0xFFFFFF; }

}  // namespace

BitmapPtr ConvertToFormat(const Bitmap& source, const ColorFormat& format, const OutputOptions& options,
                          sys::Context& ctx) {
  if (options.dither != DitherMethod::kNone && FormatTakesDithering(format)) {
    return DitherToFormat(source, format, options, ctx);
  }
  return ConvertToFormatPlain(source, format, options, ctx);
}

BitmapPtr DitherToFormat(const Bitmap& source, const ColorFormat& format, const OutputOptions& options,
                         sys::Context& ctx) {
  // The errors are spread over a true-colour copy.
  BitmapPtr image = Bitmap_ToTrueColor(source, ctx);
  if (!image) return nullptr;
  if (options.dither == DitherMethod::kNone || options.dither == DitherMethod::kFloydSteinberg) {
    DiffuseErrors(*image, format, ctx);
  } else {
    DitherImage(*image, options.dither, FormatDitherTarget(format), ctx);
  }
  OutputOptions plain = options;
  plain.dither = DitherMethod::kNone;
  return ConvertToFormatPlain(*image, format, plain, ctx);
}

int FindNearestColor(Color color, const PaletteRef& palette) {
  const int count = ValidCount(palette);
  int best = 0;
  int bestDistance = Distance(color, palette.colours[0]);
  for (int i = 1; i < count && bestDistance != 0; ++i) {
    const int d = Distance(color, palette.colours[i]);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

namespace {

// The pixels the plain mapping treats on their own (fully transparent ones
// of an image with alpha, or any with T = 255 when transparency is
// preserved) keep their value; every other pixel is dithered onto palette.
BitmapPtr DitheredOntoPalette(const PaletteRef& palette, const Bitmap& source, const OutputOptions& options,
                              sys::Context& ctx) {
  BitmapPtr image = Bitmap_ToTrueColor(source, ctx);
  if (!image) return nullptr;
  DitherTarget target = PaletteDitherTarget(palette);
  const PaletteRef* entries = &palette;
  auto search = std::make_shared<NearestColorCache>(palette, std::int64_t{image->XSize} * image->YSize);
  target.nearest = [search, entries](Color c) {
    const std::uint32_t stored = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    return entries->colours[static_cast<std::size_t>(search->Find(stored))];
  };
  target.keepTransparent = options.preserveTrans || source.HasAlpha != 0 || image->HasAlpha != 0;
  DitherImage(*image, options.dither, target, ctx);
  return image;
}

}  // namespace

BitmapPtr ConvertToPalette(const PaletteRef& palette, const Bitmap& source, int numEntries,
                           const OutputOptions& options, sys::Context& ctx) {
  if (options.dither != DitherMethod::kNone) {
    BitmapPtr dithered = DitheredOntoPalette(palette, source, options, ctx);
    if (!dithered) return nullptr;
    OutputOptions plain = options;
    plain.dither = DitherMethod::kNone;
    return ConvertToPalette(palette, *dithered, numEntries, plain, ctx);
  }
  // A palette result needs 1 to 256 entries; 0 would make a true-colour image.
  BitmapPtr result = Bitmap_Create(source.XSize, source.YSize, std::clamp(numEntries, 1, 256), ctx);
  if (!result) return nullptr;
  if (source.NumColors != 0) {
    MapPaletteSource(palette, source, *result, ctx);
  } else if (MapTrueColorSource(palette, source, *result, options.preserveTrans, ctx)) {
    result->HasTrans = 1;
  }
  const int count = ValidCount(palette);
  for (int i = 0; i < count; ++i) Bitmap_SetPalColor(*result, i, palette.colours[i]);
  ctx.Progress("Conversion done");
  return result;
}

int CalcBestPalette(int maxColors, const Bitmap& source, PaletteRef& best, sys::Context& ctx) {
  if (maxColors < 1) return 0;
  // The limit is the smaller of maxColors and the number of colours in the
  // image; a tree below its limit never merges, so maxColors alone gives the
  // same tree without counting the colours first.
  ColorOctree tree(static_cast<std::uint32_t>(std::min(maxColors, 256)), 8);
  InsertImage(tree, source, ctx);
  std::array<std::uint32_t, 256> counts{};
  const int m = tree.GetPalette(best.colours.data(), counts.data());
  SortByCountDescending(best.colours.data(), counts.data(), m);
  if (m != 0) best.count = m;
  return m;
}

BitmapPtr ConvertToBestPalette(const Bitmap& source, const OutputOptions& options, sys::Context& ctx) {
  PaletteRef best;
  const int m = CalcBestPalette(256, source, best, ctx);
  if (m == 0) return nullptr;
  return ConvertToPalette(best, source, m, options, ctx);
}

BitmapPtr ConvertToCustomPalette(const Bitmap& source, const PaletteRef& custom, const OutputOptions& options,
                                 sys::Context& ctx) {
  return ConvertToPalette(custom, source, custom.count, options, ctx);
}

namespace {

std::vector<CountedColor> TreePalette(const ColorOctree& tree) {
  std::vector<Color> colours(tree.LeafCount());
  std::vector<std::uint32_t> counts(tree.LeafCount());
  const int m = tree.GetPalette(colours.data(), counts.data());
  std::vector<CountedColor> palette(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) palette[i] = {colours[i], counts[i]};
  return palette;
}

int Channel(Color c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// What joining a and b costs: their squared distance times a pixel weight
// that makes small entries cheap to join.
double JoinCost(const CountedColor& a, const CountedColor& b) {
  double distance = 0;
  for (const int shift : {0, 8, 16}) {
    const double d = Channel(a.colour, shift) - Channel(b.colour, shift);
    distance += d * d;
  }
  const double na = static_cast<double>(std::max<std::uint64_t>(a.pixels, 1));
  const double nb = static_cast<double>(std::max<std::uint64_t>(b.pixels, 1));
  return distance * na * nb / (na + nb);
}

// Joins the cheapest pair, into the place of the first, until limit are left.
void JoinNearest(std::vector<CountedColor>& palette, std::size_t limit) {
  while (palette.size() > limit) {
    std::size_t first = 0;
    std::size_t second = 1;
    double best = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
      for (std::size_t j = i + 1; j < palette.size(); ++j) {
        const double cost = JoinCost(palette[i], palette[j]);
        if (best < 0 || cost < best) {
          best = cost;
          first = i;
          second = j;
        }
      }
    }
    CountedColor& a = palette[first];
    const CountedColor& b = palette[second];
    const std::uint64_t na = std::max<std::uint64_t>(a.pixels, 1);
    const std::uint64_t nb = std::max<std::uint64_t>(b.pixels, 1);
    Color joined = 0;
    for (const int shift : {0, 8, 16}) {
      const std::uint64_t mean = (Channel(a.colour, shift) * na + Channel(b.colour, shift) * nb + (na + nb) / 2) /
                                 (na + nb);
      joined |= static_cast<Color>(mean) << shift;
    }
    a = {joined, a.pixels + b.pixels};
    palette.erase(palette.begin() + static_cast<std::ptrdiff_t>(second));
  }
}

}  // namespace

std::vector<CountedColor> FullOctreePalette(int limit, const std::function<void(ColorOctree&)>& insert) {
  limit = std::clamp(limit, 1, 256);
  ColorOctree tree(static_cast<std::uint32_t>(limit), 8);
  insert(tree);
  std::vector<CountedColor> palette = TreePalette(tree);
  if (!tree.Merged() || palette.size() >= static_cast<std::size_t>(limit)) return palette;
  // A merge of up to eight leaves leaves at least 2 * limit - 7 >= limit.
  ColorOctree wider(static_cast<std::uint32_t>(2 * limit), 8);
  insert(wider);
  palette = TreePalette(wider);
  JoinNearest(palette, static_cast<std::size_t>(limit));
  return palette;
}

BitmapPtr ReduceColors(const Bitmap& source, int maxColors, const OutputOptions& options, sys::Context& ctx) {
  // More than 256 leaves would not fit a palette.
  const std::vector<CountedColor> reduced =
      FullOctreePalette(std::clamp(maxColors, 2, 256), [&](ColorOctree& tree) { InsertImage(tree, source, ctx); });
  PaletteRef best;
  int m = static_cast<int>(reduced.size());
  for (int i = 0; i < m; ++i) best.colours[i] = reduced[i].colour;
  if (m == 0) {  // no pixels: still a palette image
    best.colours[0] = 0;
    m = 1;
  }
  best.count = m;
  return ConvertToPalette(best, source, m, options, ctx);
}

// ColorOctree ------------------------------------------------------------

ColorOctree::ColorOctree(std::uint32_t colorLimit, int depth)
    : nodes_(1), colorLimit_(colorLimit), depth_(std::clamp(depth, 0, kMaxLevels - 1)) {}

std::uint32_t ColorOctree::NewNode(int level) {
  ++structureVersion_;
  std::uint32_t n;
  if (!freeSlots_.empty()) {
    n = freeSlots_.back();
    freeSlots_.pop_back();
    nodes_[n] = Node{};
  } else {
    n = static_cast<std::uint32_t>(nodes_.size());
    nodes_.emplace_back();
  }
  if (level == depth_) {
    nodes_[n].isLeaf = true;
    ++leafCount_;
  } else {
    nodes_[n].next = reducible_[level];
    reducible_[level] = n;
  }
  return n;
}

void ColorOctree::FreeNode(std::uint32_t n) { freeSlots_.push_back(n); }

void ColorOctree::InsertFromRoot(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t count) {
  const std::uint64_t versionBefore = structureVersion_;
  if (root_ == kNone) root_ = NewNode(0);
  std::uint32_t n = root_;
  int level = 0;
  for (; !nodes_[n].isLeaf; ++level) {
    const unsigned m = 0x80u >> level;
    const int childNumber = ((r & m) != 0 ? 4 : 0) + ((g & m) != 0 ? 2 : 0) + ((b & m) != 0 ? 1 : 0);
    std::uint32_t child = nodes_[n].child[childNumber];
    if (child == kNone) {
      child = NewNode(level + 1);  // may move nodes_: look the parent up again
      nodes_[n].child[childNumber] = child;
    }
    n = child;
  }
  AddToLeaf(n, r, g, b, count);
  while (leafCount_ > colorLimit_ && Merge()) {
  }
  if (structureVersion_ == versionBefore) {
    // The top `level` bits of each channel chose the path to the leaf.
    const std::uint32_t channelMask = (0xFF00u >> level) & 0xFFu;
    lastLeaf_ = n;
    lastRgb_ = (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
    lastMask_ = channelMask * 0x010101u;
  } else {
    lastRgb_ = kNoRgb;
    lastMask_ = 0xFFFFFFFFu;
  }
}

bool ColorOctree::Merge() {
  int level = depth_ - 1;
  while (level > 0 && reducible_[level] == kNone) --level;
  if (level < 0 || reducible_[level] == kNone) return false;
  const std::uint32_t n = reducible_[level];
  ++structureVersion_;
  Node& node = nodes_[n];
  reducible_[level] = node.next;
  node.next = kNone;
  std::uint32_t removed = 0;
  for (std::uint32_t& child : node.child) {
    if (child == kNone) continue;
    const Node& c = nodes_[child];
    node.pixelCount += c.pixelCount;
    node.redSum += c.redSum;
    node.greenSum += c.greenSum;
    node.blueSum += c.blueSum;
    FreeNode(child);
    child = kNone;
    ++removed;
  }
  node.isLeaf = true;
  leafCount_ = leafCount_ - removed + 1;
  merged_ = true;
  return true;
}

int ColorOctree::GetPalette(Color* colours, std::uint32_t* counts) const {
  if (root_ == kNone) return 0;
  return CollectLeaves(root_, colours, counts, 0);
}

int ColorOctree::CollectLeaves(std::uint32_t n, Color* colours, std::uint32_t* counts, int written) const {
  const Node& node = nodes_[n];
  if (node.isLeaf) {
    const std::uint64_t count = node.pixelCount != 0 ? node.pixelCount : 1;
    colours[written] = static_cast<Color>(((node.blueSum / count) << 16) + ((node.greenSum / count) << 8) +
                                          (node.redSum / count));
    if (counts != nullptr) counts[written] = node.pixelCount;
    return written + 1;
  }
  for (std::uint32_t child : node.child) {
    if (child != kNone) written = CollectLeaves(child, colours, counts, written);
  }
  return written;
}

}  // namespace rastra
