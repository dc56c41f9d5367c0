#include "image/Dither.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace rastra {

namespace {

constexpr std::uint8_t kFullyTransparent = 255;
constexpr Color kOpaqueMask = 0xFFFFFF;

int Red(Color c) { return static_cast<int>(c & 0xFF); }
int Green(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
int Blue(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
Color Rgb(int r, int g, int b) {
  return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

std::uint8_t* StoredRow(Bitmap& b, int storedRow) {
  return b.pData.data() + static_cast<std::size_t>(storedRow) * static_cast<std::size_t>(b.BytesPerLine);
}

bool Skipped(const DitherTarget& target, const std::uint8_t* p) {
  return target.keepTransparent && p[3] == kFullyTransparent;
}

// Error diffusion ------------------------------------------------------------

struct ColorError {
  int r = 0;
  int g = 0;
  int b = 0;
};

// weight/16 of the error, truncated toward zero as the classic walk does it,
// so that the left-to-right walk gives the same bytes as DitherToFormat.
void Receive(std::uint8_t* p, const ColorError& e, int weight, const DitherTarget& target) {
  if (Skipped(target, p)) return;
  p[0] = Clamp(p[0] + e.b * weight / 16);
  p[1] = Clamp(p[1] + e.g * weight / 16);
  p[2] = Clamp(p[2] + e.r * weight / 16);
  p[3] = 0;
}

void DiffuseRows(Bitmap& b, bool serpentine, const DitherTarget& target, sys::Context& ctx) {
  const int width = b.XSize;
  for (int r = 0; r < b.YSize; ++r) {
    ReportRowProgress(ctx, "Converting image, line %d/%d", r + 1, b.YSize);
    std::uint8_t* row = StoredRow(b, r);
    std::uint8_t* next = r + 1 < b.YSize ? StoredRow(b, r + 1) : nullptr;
    const bool backwards = serpentine && r % 2 == 1;
    const int step = backwards ? -1 : 1;
    for (int i = 0; i < width; ++i) {
      const int x = backwards ? width - 1 - i : i;
      std::uint8_t* p = row + 4 * x;
      if (Skipped(target, p)) continue;
      const Color a = Bitmap_LoadColor(p);
      const Color c = target.nearest(a) & kOpaqueMask;
      Bitmap_StoreColor(p, c);
      const ColorError e{Red(a) - Red(c), Green(a) - Green(c), Blue(a) - Blue(c)};
      if (e.r == 0 && e.g == 0 && e.b == 0) continue;
      const int ahead = x + step;
      const int behind = x - step;
      const bool aheadInside = ahead >= 0 && ahead < width;
      const bool behindInside = behind >= 0 && behind < width;
      if (aheadInside) Receive(row + 4 * ahead, e, 7, target);
      if (next == nullptr) continue;
      if (behindInside) Receive(next + 4 * behind, e, 3, target);
      Receive(next + 4 * x, e, 5, target);
      if (aheadInside) Receive(next + 4 * ahead, e, 1, target);
    }
  }
}

// Ordered dithering ---------------------------------------------------------------

// The recursive Bayer construction: each step puts four copies of the
// matrix, scaled by 4, at offsets 0, 2, 3, 1.
std::vector<int> BayerMatrix(int side) {
  std::vector<int> m{0};
  for (int n = 1; n < side; n *= 2) {
    std::vector<int> bigger(static_cast<std::size_t>(4 * n * n));
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        const int v = 4 * m[static_cast<std::size_t>(y * n + x)];
        const auto at = [&](int yy, int xx) -> int& { return bigger[static_cast<std::size_t>(yy * 2 * n + xx)]; };
        at(y, x) = v;
        at(y, x + n) = v + 2;
        at(y + n, x) = v + 3;
        at(y + n, x + n) = v + 1;
      }
    }
    m = std::move(bigger);
  }
  return m;
}

void OrderedRows(Bitmap& b, int side, const DitherTarget& target, sys::Context& ctx) {
  const std::vector<int> matrix = BayerMatrix(side);
  const int cells = side * side;
  // Offset of each matrix cell for each channel: (m + 0.5) / cells - 0.5 steps,
  // so the pattern averages out to no change.
  std::vector<std::array<int, 3>> offsets(matrix.size());
  for (std::size_t i = 0; i < matrix.size(); ++i) {
    const double t = (matrix[i] + 0.5) / cells - 0.5;
    for (int c = 0; c < 3; ++c) offsets[i][static_cast<std::size_t>(c)] = static_cast<int>(std::lround(t * target.step[static_cast<std::size_t>(c)]));
  }
  for (int r = 0; r < b.YSize; ++r) {
    ReportRowProgress(ctx, "Converting image, line %d/%d", r + 1, b.YSize);
    std::uint8_t* row = StoredRow(b, r);
    const std::size_t matrixRow = static_cast<std::size_t>((r % side) * side);
    for (int x = 0; x < b.XSize; ++x) {
      std::uint8_t* p = row + 4 * x;
      if (Skipped(target, p)) continue;
      const std::array<int, 3>& o = offsets[matrixRow + static_cast<std::size_t>(x % side)];
      const Color shifted = Rgb(Clamp(p[2] + o[0]), Clamp(p[1] + o[1]), Clamp(p[0] + o[2]));
      Bitmap_StoreColor(p, target.nearest(shifted) & kOpaqueMask);
    }
  }
}

// Largest distance between neighbouring values one channel takes in the
// format's colours, along a ramp of colours from black.
int LargestGap(const ColorFormat& format, int channel, bool grey) {
  int previous = 0;
  int gap = 0;
  for (int v = 0; v < 256; ++v) {
    const Color probe = grey ? Rgb(v, v, v) : Rgb(channel == 0 ? v : 0, channel == 1 ? v : 0, channel == 2 ? v : 0);
    const Color c = format.IndexToColor(format.ColorToIndex(probe));
    const int value = channel == 0 ? Red(c) : channel == 1 ? Green(c) : Blue(c);
    if (value != previous) {
      gap = std::max(gap, std::abs(value - previous));
      previous = value;
    }
  }
  return gap;
}

}  // namespace

DitherTarget FormatDitherTarget(const ColorFormat& format) {
  DitherTarget target;
  target.nearest = [&format](Color c) { return format.IndexToColor(format.ColorToIndex(c)); };
  for (int c = 0; c < 3; ++c) {
    // Grey formats move only along the grey axis; colour formats may hold
    // greys finer than colours (8666), so the wider of both gaps counts.
    target.step[static_cast<std::size_t>(c)] = std::max(LargestGap(format, c, true), LargestGap(format, c, false));
  }
  return target;
}

DitherTarget PaletteDitherTarget(const PaletteRef& palette) {
  const int count = std::clamp(palette.count, 1, 256);
  std::vector<Color> colours(palette.colours.begin(), palette.colours.begin() + count);
  DitherTarget target;
  // The median distance from an entry to its nearest other entry: how far a
  // typical colour of the picture lies from the next one the palette has.
  std::vector<double> nearest;
  for (int i = 0; i < count; ++i) {
    int best = INT32_MAX;
    for (int j = 0; j < count; ++j) {
      if (i == j || (colours[static_cast<std::size_t>(i)] & kOpaqueMask) == (colours[static_cast<std::size_t>(j)] & kOpaqueMask)) continue;
      const Color a = colours[static_cast<std::size_t>(i)];
      const Color b = colours[static_cast<std::size_t>(j)];
      const int dr = Red(a) - Red(b), dg = Green(a) - Green(b), db = Blue(a) - Blue(b);
      best = std::min(best, dr * dr + dg * dg + db * db);
    }
    if (best != INT32_MAX) nearest.push_back(std::sqrt(static_cast<double>(best)));
  }
  int step = 0;
  if (!nearest.empty()) {
    std::nth_element(nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(nearest.size() / 2), nearest.end());
    step = static_cast<int>(std::lround(nearest[nearest.size() / 2]));
  }
  target.step = {step, step, step};
  return target;
}

void DitherImage(Bitmap& trueColour, DitherMethod method, const DitherTarget& target, sys::Context& ctx) {
  switch (method) {
    case DitherMethod::kNone:
      return;
    case DitherMethod::kFloydSteinberg:
      DiffuseRows(trueColour, false, target, ctx);
      return;
    case DitherMethod::kSerpentine:
      DiffuseRows(trueColour, true, target, ctx);
      return;
    case DitherMethod::kBayer4:
      OrderedRows(trueColour, 4, target, ctx);
      return;
    case DitherMethod::kBayer8:
      OrderedRows(trueColour, 8, target, ctx);
      return;
  }
}

namespace {
struct MethodName {
  DitherMethod method;
  const char* name;
};
constexpr std::array<MethodName, 5> kMethodNames = {{
    {DitherMethod::kNone, "none"},
    {DitherMethod::kFloydSteinberg, "fs"},
    {DitherMethod::kSerpentine, "serpentine"},
    {DitherMethod::kBayer4, "bayer4"},
    {DitherMethod::kBayer8, "bayer8"},
}};
}  // namespace

bool ParseDitherMethod(std::string_view text, DitherMethod& method) {
  for (std::size_t i = 0; i < kMethodNames.size(); ++i) {
    if (text == kMethodNames[i].name || (text.size() == 1 && text[0] == static_cast<char>('0' + i))) {
      method = kMethodNames[i].method;
      return true;
    }
  }
  return false;
}

const char* DitherMethodName(DitherMethod method) {
  for (const MethodName& m : kMethodNames) {
    if (m.method == method) return m.name;
  }
  return "none";
}

}  // namespace rastra
