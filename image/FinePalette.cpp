#include "image/FinePalette.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "image/ColorConvert.h"

namespace rastra {

namespace {

constexpr std::uint8_t kFullyTransparent = 255;

struct Rgb {
  int r, g, b;
};

// Calls visit(r, g, b) for every pixel that counts.
template <class Visit>
void ForEachPixel(const Bitmap& source, Visit&& visit) {
  const bool skipTransparent = source.NumColors == 0 && source.HasAlpha != 0;
  for (int y = 0; y < source.YSize; ++y) {
    const std::uint8_t* row = source.Row(y);
    for (int x = 0; x < source.XSize; ++x) {
      if (source.NumColors != 0) {
        const Color c = Bitmap_GetPalColor(source, row[x]);
        visit(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
        continue;
      }
      const std::uint8_t* p = row + 4 * x;
      if (skipTransparent && p[3] == kFullyTransparent) continue;
      visit(p[2], p[1], p[0]);
    }
  }
}

// Cumulative moments of a 6-bit histogram, one slot of padding in front on
// each axis: the boxes' pixel counts, colour sums and squared sums come from
// eight look-ups each.
class Moments {
 public:
  static constexpr int kSide = 65;

  explicit Moments(const Bitmap& source)
      : weight_(kCells, 0), red_(kCells, 0), green_(kCells, 0), blue_(kCells, 0), squares_(kCells, 0.0) {
    ForEachPixel(source, [&](int r, int g, int b) {
      const std::size_t i = Index((r >> 2) + 1, (g >> 2) + 1, (b >> 2) + 1);
      weight_[i] += 1;
      red_[i] += r;
      green_[i] += g;
      blue_[i] += b;
      squares_[i] += static_cast<double>(r * r + g * g + b * b);
    });
    Accumulate();
  }

  struct Box {
    int r0 = 0, r1 = 0, g0 = 0, g1 = 0, b0 = 0, b1 = 0;  // lower bounds exclusive
  };
  struct Sums {
    double w = 0, r = 0, g = 0, b = 0;
  };

  Sums Volume(const Box& x) const {
    return {Vol(x, weight_), Vol(x, red_), Vol(x, green_), Vol(x, blue_)};
  }
  double Variance(const Box& x) const {
    const Sums s = Volume(x);
    if (s.w <= 0) return 0;
    return Vol(x, squares_) - (s.r * s.r + s.g * s.g + s.b * s.b) / s.w;
  }

  // Splits box in two along the axis and place that leaves the least
  // squared error; false when it cannot be split.
  bool Cut(Box& box, Box& other) const {
    const Sums whole = Volume(box);
    int cut[3];
    double best[3];
    for (int axis = 0; axis < 3; ++axis) best[axis] = Maximize(box, axis, whole, cut[axis]);
    int axis = 0;
    if (best[1] > best[axis]) axis = 1;
    if (best[2] > best[axis]) axis = 2;
    if (cut[axis] < 0) return false;
    other = box;
    if (axis == 0) box.r1 = other.r0 = cut[0];
    if (axis == 1) box.g1 = other.g0 = cut[1];
    if (axis == 2) box.b1 = other.b0 = cut[2];
    return true;
  }

 private:
  static constexpr std::size_t kCells = kSide * kSide * kSide;
  static std::size_t Index(int r, int g, int b) { return (static_cast<std::size_t>(r) * kSide + g) * kSide + b; }

  template <class T>
  static void Prefix(std::vector<T>& m) {
    for (int r = 1; r < kSide; ++r) {
      for (int g = 1; g < kSide; ++g) {
        for (int b = 1; b < kSide; ++b) {
          m[Index(r, g, b)] += m[Index(r - 1, g, b)] + m[Index(r, g - 1, b)] + m[Index(r, g, b - 1)] -
                               m[Index(r - 1, g - 1, b)] - m[Index(r - 1, g, b - 1)] - m[Index(r, g - 1, b - 1)] +
                               m[Index(r - 1, g - 1, b - 1)];
        }
      }
    }
  }
  void Accumulate() {
    Prefix(weight_);
    Prefix(red_);
    Prefix(green_);
    Prefix(blue_);
    Prefix(squares_);
  }

  template <class T>
  static double At(const std::vector<T>& m, int r, int g, int b) {
    return static_cast<double>(m[Index(r, g, b)]);
  }
  template <class T>
  static double Vol(const Box& x, const std::vector<T>& m) {
    return At(m, x.r1, x.g1, x.b1) - At(m, x.r1, x.g1, x.b0) - At(m, x.r1, x.g0, x.b1) + At(m, x.r1, x.g0, x.b0) -
           At(m, x.r0, x.g1, x.b1) + At(m, x.r0, x.g1, x.b0) + At(m, x.r0, x.g0, x.b1) - At(m, x.r0, x.g0, x.b0);
  }
  // The sums of the part of x below position pos of an axis (pos inclusive).
  template <class T>
  static double Lower(const Box& x, int axis, int pos, const std::vector<T>& m) {
    Box part = x;
    if (axis == 0) part.r1 = pos;
    if (axis == 1) part.g1 = pos;
    if (axis == 2) part.b1 = pos;
    return Vol(part, m);
  }

  // The best place to cut x along axis: the largest sum of |sum|^2 / weight
  // of both halves (the least squared error); cut -1 when no place leaves
  // pixels on both sides.
  double Maximize(const Box& x, int axis, const Sums& whole, int& cut) const {
    const int first = (axis == 0 ? x.r0 : axis == 1 ? x.g0 : x.b0) + 1;
    const int last = axis == 0 ? x.r1 : axis == 1 ? x.g1 : x.b1;
    double best = 0;
    cut = -1;
    for (int i = first; i < last; ++i) {
      const double w = Lower(x, axis, i, weight_);
      if (w <= 0 || w >= whole.w) continue;
      const double r = Lower(x, axis, i, red_), g = Lower(x, axis, i, green_), b = Lower(x, axis, i, blue_);
      const double lower = (r * r + g * g + b * b) / w;
      const double ur = whole.r - r, ug = whole.g - g, ub = whole.b - b, uw = whole.w - w;
      const double value = lower + (ur * ur + ug * ug + ub * ub) / uw;
      if (value > best) {
        best = value;
        cut = i;
      }
    }
    return best;
  }

  std::vector<std::int64_t> weight_, red_, green_, blue_;
  std::vector<double> squares_;
};

std::vector<Rgb> BoxMeans(const Bitmap& source, int maxColors) {
  const Moments moments(source);
  std::vector<Moments::Box> boxes(1);
  boxes[0] = {0, Moments::kSide - 1, 0, Moments::kSide - 1, 0, Moments::kSide - 1};
  std::vector<double> variance = {moments.Variance(boxes[0])};
  while (static_cast<int>(boxes.size()) < maxColors) {
    const auto next = static_cast<std::size_t>(std::max_element(variance.begin(), variance.end()) - variance.begin());
    if (variance[next] <= 0) break;
    Moments::Box other;
    if (!moments.Cut(boxes[next], other)) {
      variance[next] = 0;
      continue;
    }
    boxes.push_back(other);
    variance[next] = moments.Variance(boxes[next]);
    variance.push_back(moments.Variance(other));
  }
  std::vector<Rgb> means;
  for (const Moments::Box& box : boxes) {
    const Moments::Sums s = moments.Volume(box);
    if (s.w <= 0) continue;
    means.push_back({static_cast<int>(s.r / s.w + 0.5), static_cast<int>(s.g / s.w + 0.5), static_cast<int>(s.b / s.w + 0.5)});
  }
  return means;
}

// The picture's distinct colours (red << 16 | green << 8 | blue) with their
// pixel counts: the iterations place the centres by the exact colours, not
// by cells of them. Eight bytes a colour, at most a colour a pixel.
struct Cell {
  std::uint32_t rgb;
  std::uint32_t count;
  double Red() const { return static_cast<double>(rgb >> 16); }
  double Green() const { return static_cast<double>((rgb >> 8) & 0xFF); }
  double Blue() const { return static_cast<double>(rgb & 0xFF); }
};

std::vector<Cell> FineCells(const Bitmap& source) {
  std::vector<std::uint32_t> colours;
  colours.reserve(static_cast<std::size_t>(source.XSize) * static_cast<std::size_t>(source.YSize));
  ForEachPixel(source, [&](int r, int g, int b) {
    colours.push_back((static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
                      static_cast<std::uint32_t>(b));
  });
  std::sort(colours.begin(), colours.end());
  std::vector<Cell> cells;
  for (std::size_t i = 0; i < colours.size();) {
    std::size_t j = i;
    while (j < colours.size() && colours[j] == colours[i]) ++j;
    cells.push_back({colours[i], static_cast<std::uint32_t>(j - i)});
    i = j;
  }
  return cells;
}

struct Centre {
  double r, g, b;
  std::uint64_t count = 0;
};

// The centres in order of red: a search walks out from the centre it starts
// with, each way until the red distance alone exceeds the best distance.
class CentreSearch {
 public:
  explicit CentreSearch(const std::vector<Centre>& centres) : centres_(centres), order_(centres.size()), place_(centres.size()) {
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return centres[a].r < centres[b].r; });
    for (std::size_t i = 0; i < order_.size(); ++i) place_[order_[i]] = i;
  }

  std::size_t Nearest(double r, double g, double b, std::size_t start) const {
    std::size_t best = start;
    double bestDistance = Distance(centres_[start], r, g, b);
    const std::size_t at = place_[start];
    for (std::size_t i = at + 1; i < order_.size(); ++i) {
      if (!Try(order_[i], r, g, b, best, bestDistance)) break;
    }
    for (std::size_t i = at; i-- > 0;) {
      if (!Try(order_[i], r, g, b, best, bestDistance)) break;
    }
    return best;
  }

 private:
  static double Distance(const Centre& c, double r, double g, double b) {
    return (c.r - r) * (c.r - r) + (c.g - g) * (c.g - g) + (c.b - b) * (c.b - b);
  }
  // False once the red distance alone is no better: no centre further on can be.
  bool Try(std::size_t k, double r, double g, double b, std::size_t& best, double& bestDistance) const {
    const Centre& c = centres_[k];
    const double dr = (c.r - r) * (c.r - r);
    if (dr >= bestDistance) return false;
    const double d = dr + (c.g - g) * (c.g - g) + (c.b - b) * (c.b - b);
    if (d < bestDistance) {
      bestDistance = d;
      best = k;
    }
    return true;
  }

  const std::vector<Centre>& centres_;
  std::vector<std::size_t> order_;
  std::vector<std::size_t> place_;
};

// Lloyd's iterations: each centre moves to the mean of the pixels nearest to
// it, until fewer than one pixel in a thousand changes its centre or the
// rounds are used up; the last rounds move the centres by fractions of a
// level.
void Refine(std::vector<Centre>& centres, const std::vector<Cell>& cells) {
  constexpr int kRounds = 24;
  std::uint64_t total = 0;
  for (const Cell& c : cells) total += c.count;
  std::vector<std::uint16_t> owner(cells.size(), 0);  // at most 256 centres
  for (int round = 0; round < kRounds; ++round) {
    std::uint64_t moved = 0;
    std::vector<std::array<std::uint64_t, 4>> sums(centres.size(), {0, 0, 0, 0});
    const CentreSearch search(centres);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const Cell& cell = cells[i];
      const std::size_t n = search.Nearest(cell.Red(), cell.Green(), cell.Blue(), owner[i]);
      if (n != owner[i] || round == 0) moved += cell.count;
      owner[i] = static_cast<std::uint16_t>(n);
      sums[n][0] += cell.count;
      sums[n][1] += std::uint64_t{cell.count} * (cell.rgb >> 16);
      sums[n][2] += std::uint64_t{cell.count} * ((cell.rgb >> 8) & 0xFF);
      sums[n][3] += std::uint64_t{cell.count} * (cell.rgb & 0xFF);
    }
    for (std::size_t k = 0; k < centres.size(); ++k) {
      centres[k].count = sums[k][0];
      if (sums[k][0] == 0) continue;
      const auto n = static_cast<double>(sums[k][0]);
      centres[k].r = static_cast<double>(sums[k][1]) / n;
      centres[k].g = static_cast<double>(sums[k][2]) / n;
      centres[k].b = static_cast<double>(sums[k][3]) / n;
    }
    if (round > 0 && moved * 1000 < total) break;
  }
}

Color ToColor(double r, double g, double b) {
  const auto channel = [](double v) { return static_cast<Color>(std::clamp(static_cast<int>(v + 0.5), 0, 255)); };
  return channel(r) | (channel(g) << 8) | (channel(b) << 16);
}

// The picture's own colours when it has no more than limit of them, most
// used first (first seen first among equals).
bool ExactColours(const Bitmap& source, int limit, PaletteRef& palette) {
  std::unordered_map<Color, std::size_t> seen;
  std::vector<std::pair<Color, std::uint64_t>> colours;
  bool fits = true;
  ForEachPixel(source, [&](int r, int g, int b) {
    if (!fits) return;
    const Color c = static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
    auto [it, added] = seen.try_emplace(c, colours.size());
    if (added) {
      if (static_cast<int>(colours.size()) == limit) {
        fits = false;
        return;
      }
      colours.emplace_back(c, 0);
    }
    ++colours[it->second].second;
  });
  if (!fits) return false;
  std::stable_sort(colours.begin(), colours.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  palette.count = static_cast<int>(colours.size());
  for (std::size_t i = 0; i < colours.size(); ++i) palette.colours[i] = colours[i].first;
  return true;
}

}  // namespace

int CalcFinePalette(int maxColors, const Bitmap& source, PaletteRef& palette, sys::Context& ctx) {
  maxColors = std::clamp(maxColors, 1, 256);
  ctx.Progress("Calculating the fine palette");
  if (ExactColours(source, maxColors, palette)) return palette.count;
  std::vector<Centre> centres;
  for (const Rgb& m : BoxMeans(source, maxColors)) {
    centres.push_back({static_cast<double>(m.r), static_cast<double>(m.g), static_cast<double>(m.b)});
  }
  if (centres.empty()) return 0;
  Refine(centres, FineCells(source));
  std::erase_if(centres, [](const Centre& c) { return c.count == 0; });
  std::stable_sort(centres.begin(), centres.end(), [](const Centre& a, const Centre& b) { return a.count > b.count; });
  palette.count = static_cast<int>(centres.size());
  for (std::size_t i = 0; i < centres.size(); ++i) palette.colours[i] = ToColor(centres[i].r, centres[i].g, centres[i].b);
  return palette.count;
}

BitmapPtr ConvertToFinePalette(const Bitmap& source, const OutputOptions& options, sys::Context& ctx) {
  PaletteRef palette;
  const int m = CalcFinePalette(256, source, palette, ctx);
  if (m == 0) return nullptr;
  return ConvertToPalette(palette, source, m, options, ctx);
}

}  // namespace rastra
