#include "image/ImageOps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace rastra {

namespace {

int BytesPerPixel(const Bitmap& b) { return b.BitsPerPixel / 8; }

void ReportConvertingRow(sys::Context& ctx, int y, int rows) {
  ReportRowProgress(ctx, "Converting image, line %d/%d", y + 1, rows);
}

void SwapPixels(std::uint8_t* a, std::uint8_t* b, int bytes) {
  std::swap_ranges(a, a + bytes, b);
}

// Both inversions invert the colours of a true-colour image; T stays.
void InvertColors(Bitmap& b, sys::Context& ctx) {
  for (int y = 0; y < b.YSize; ++y) {
    ReportConvertingRow(ctx, y, b.YSize);
    std::uint8_t* row = b.Row(y);
    for (int x = 0; x < b.XSize; ++x) {
      std::uint8_t* p = row + 4 * x;
      Bitmap_StoreColor(p, Bitmap_LoadColor(p) ^ 0xFFFFFFu);
    }
  }
}

std::vector<const std::uint8_t*> RowPointers(const Bitmap& b) {
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(b.YSize));
  for (int y = 0; y < b.YSize; ++y) rows[y] = b.Row(y);
  return rows;
}

// Box filter along one dimension: the line is cut into from x to units, source
// pixel j covering [j x to, (j + 1) x to) and destination pixel k covering
// [k x from, (k + 1) x from). Each destination pixel is the overlap-weighted sum
// of its source pixels, rounded, divided by from.
struct BoxTap {
  int source;
  std::uint32_t weight;
};

struct BoxFilter {
  std::vector<std::size_t> first;  // taps[first[k]] .. taps[first[k + 1] - 1] belong to destination k
  std::vector<BoxTap> taps;
  std::uint64_t divisor = 1;
};

BoxFilter MakeBoxFilter(int from, int to) {
  BoxFilter filter;
  filter.divisor = static_cast<std::uint64_t>(from);
  filter.first.reserve(static_cast<std::size_t>(to) + 1);
  const std::int64_t srcUnits = to;
  const std::int64_t dstUnits = from;
  for (std::int64_t k = 0; k < to; ++k) {
    filter.first.push_back(filter.taps.size());
    const std::int64_t begin = k * dstUnits;
    const std::int64_t end = begin + dstUnits;
    for (std::int64_t j = begin / srcUnits; j < from && j * srcUnits < end; ++j) {
      const std::int64_t overlap = std::min(end, (j + 1) * srcUnits) - std::max(begin, j * srcUnits);
      if (overlap > 0) filter.taps.push_back({static_cast<int>(j), static_cast<std::uint32_t>(overlap)});
    }
  }
  filter.first.push_back(filter.taps.size());
  return filter;
}

std::uint8_t BoxAverage(std::uint64_t sum, std::uint64_t divisor) {
  return static_cast<std::uint8_t>((sum + divisor / 2) / divisor);
}

// Pixel colours of one source row as blue, green, red, T bytes.
void LoadRowColors(const Bitmap& source, int y, const std::array<Color, 256>& palette, std::uint8_t* out) {
  const std::uint8_t* row = source.Row(y);
  if (source.NumColors == 0) {
    std::memcpy(out, row, static_cast<std::size_t>(source.XSize) * 4);
    return;
  }
  for (int x = 0; x < source.XSize; ++x) Bitmap_StoreColor(out + 4 * x, palette[row[x]]);
}

void ScaleRows(const Bitmap& source, Bitmap& intermediate) {
  const BoxFilter filter = MakeBoxFilter(source.XSize, intermediate.XSize);
  std::array<Color, 256> palette{};
  for (int i = 0; i < source.NumColors && i < 256; ++i) palette[i] = Bitmap_GetPalColor(source, i);
  std::vector<std::uint8_t> colors(static_cast<std::size_t>(source.XSize) * 4);
  for (int y = 0; y < source.YSize; ++y) {
    LoadRowColors(source, y, palette, colors.data());
    std::uint8_t* out = intermediate.Row(y);
    for (int k = 0; k < intermediate.XSize; ++k) {
      std::uint64_t sum[4] = {};
      for (std::size_t t = filter.first[k]; t < filter.first[k + 1]; ++t) {
        const std::uint8_t* p = colors.data() + 4 * filter.taps[t].source;
        for (int c = 0; c < 4; ++c) sum[c] += std::uint64_t{p[c]} * filter.taps[t].weight;
      }
      for (int c = 0; c < 4; ++c) out[4 * k + c] = BoxAverage(sum[c], filter.divisor);
    }
  }
}

// Works row by row over whole rows of the intermediate, which keeps the memory
// access sequential while computing the same column-wise averages.
void ScaleColumns(const Bitmap& intermediate, Bitmap& result) {
  const BoxFilter filter = MakeBoxFilter(intermediate.YSize, result.YSize);
  const std::size_t rowBytes = static_cast<std::size_t>(result.XSize) * 4;
  const std::vector<const std::uint8_t*> rows = RowPointers(intermediate);
  std::vector<std::uint64_t> sums(rowBytes);
  for (int k = 0; k < result.YSize; ++k) {
    std::fill(sums.begin(), sums.end(), 0);
    for (std::size_t t = filter.first[k]; t < filter.first[k + 1]; ++t) {
      const std::uint8_t* in = rows[filter.taps[t].source];
      const std::uint64_t weight = filter.taps[t].weight;
      for (std::size_t i = 0; i < rowBytes; ++i) sums[i] += in[i] * weight;
    }
    std::uint8_t* out = result.Row(k);
    for (std::size_t i = 0; i < rowBytes; ++i) out[i] = BoxAverage(sums[i], filter.divisor);
  }
}

}  // namespace

void FlipH(Bitmap& bitmap) {
  const int bytes = BytesPerPixel(bitmap);
  for (int y = 0; y < bitmap.YSize; ++y) {
    std::uint8_t* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.XSize / 2; ++x) {
      SwapPixels(row + x * bytes, row + (bitmap.XSize - 1 - x) * bytes, bytes);
    }
  }
}

void FlipV(Bitmap& bitmap) {
  const std::size_t rowBytes = static_cast<std::size_t>(bitmap.XSize) * BytesPerPixel(bitmap);
  for (int y = 0; y < bitmap.YSize / 2; ++y) {
    std::uint8_t* top = bitmap.Row(y);
    std::swap_ranges(top, top + rowBytes, bitmap.Row(bitmap.YSize - 1 - y));
  }
}

void Rotate180(Bitmap& bitmap) {
  FlipV(bitmap);
  FlipH(bitmap);
}

BitmapPtr RotateCCW(const Bitmap& source, sys::Context& ctx) {
  BitmapPtr result = Bitmap_Create(source.YSize, source.XSize, source.NumColors, ctx);
  if (!result) return nullptr;
  for (int i = 0; i < source.NumColors; ++i) Bitmap_SetPalColor(*result, i, Bitmap_GetPalColor(source, i));
  const int bytes = BytesPerPixel(source);
  const std::vector<const std::uint8_t*> sourceRows = RowPointers(source);
  // Destination row y' is source column XSize - 1 - y', read down the source rows.
  for (int y = 0; y < result->YSize; ++y) {
    const std::size_t sourceOffset = static_cast<std::size_t>(source.XSize - 1 - y) * bytes;
    std::uint8_t* out = result->Row(y);
    for (int x = 0; x < result->XSize; ++x) std::memcpy(out + x * bytes, sourceRows[x] + sourceOffset, bytes);
  }
  result->HasTrans = source.HasTrans;
  result->HasAlpha = source.HasAlpha;
  return result;
}

BitmapPtr RotateCW(const Bitmap& source, sys::Context& ctx) {
  // A quarter turn one way and a half turn are a quarter turn the other way.
  BitmapPtr result = RotateCCW(source, ctx);
  if (result) Rotate180(*result);
  return result;
}

void InvertIndices(Bitmap& bitmap, sys::Context& ctx) {
  if (bitmap.BitsPerPixel > 8) {
    InvertColors(bitmap, ctx);
  } else {
    const int last = bitmap.NumColors - 1;
    for (int y = 0; y < bitmap.YSize; ++y) {
      ReportConvertingRow(ctx, y, bitmap.YSize);
      std::uint8_t* row = bitmap.Row(y);
      for (int x = 0; x < bitmap.XSize; ++x) row[x] = static_cast<std::uint8_t>(last - row[x]);
    }
  }
  ctx.Progress("Image inverted");
}

void InvertPalette(Bitmap& bitmap, sys::Context& ctx) {
  if (bitmap.BitsPerPixel > 8) {
    InvertColors(bitmap, ctx);
  } else {
    for (int i = 0; i < bitmap.NumColors; ++i) {
      Bitmap_SetPalColor(bitmap, i, Bitmap_GetPalColor(bitmap, i) ^ 0xFFFFFFu);
    }
  }
  ctx.Progress("Palette inverted");
}

BitmapPtr ScaleBitmap(const Bitmap& source, int width, int height, sys::Context& ctx) {
  if (width == source.XSize && height == source.YSize) return Bitmap_Clone(source, ctx);
  if (width < 0 || height < 0) return nullptr;
  BitmapPtr result = Bitmap_Create(width, height, 0, ctx);
  if (!result) return nullptr;
  result->HasAlpha = source.HasAlpha;
  // A source without pixels has nothing to average; the result stays zero.
  if (width == 0 || height == 0 || source.XSize == 0 || source.YSize == 0) return result;
  BitmapPtr intermediate = Bitmap_Create(width, source.YSize, 0, ctx);
  if (!intermediate) return nullptr;
  ScaleRows(source, *intermediate);
  ScaleColumns(*intermediate, *result);
  return result;
}

BitmapPtr ShrinkHalf(const Bitmap& source, sys::Context& ctx) {
  const int width = (source.XSize + 1) / 2;
  const int height = (source.YSize + 1) / 2;
  BitmapPtr result = ScaleBitmap(source, width, height, ctx);
  ctx.Progress("Bitmap shrinked to 50%");
  return result;
}

BitmapPtr OrientBitmap(const Bitmap& source, int orientation, sys::Context& ctx) {
  // The quarter turns make new images; the flips work on a clone.
  BitmapPtr turned;
  switch (orientation) {
    case 5:
    case 6:
      turned = RotateCW(source, ctx);
      break;
    case 7:
    case 8:
      turned = RotateCCW(source, ctx);
      break;
    default:
      turned = Bitmap_Clone(source, ctx);
      break;
  }
  if (!turned) return nullptr;
  switch (orientation) {
    case 2:
    case 5:
    case 7:
      FlipH(*turned);
      break;
    case 3:
      Rotate180(*turned);
      break;
    case 4:
      FlipV(*turned);
      break;
    default:
      break;
  }
  return turned;
}

std::int64_t MapStrayIndices(Bitmap& bitmap, sys::Context& ctx) {
  if (bitmap.BitsPerPixel != 8 || bitmap.NumColors <= 0 || bitmap.NumColors >= 256) return 0;
  const auto first = static_cast<std::uint8_t>(bitmap.NumColors);
  std::int64_t stray = 0;
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* row = bitmap.Row(y);
    stray += std::count_if(row, row + bitmap.XSize, [first](std::uint8_t v) { return v >= first; });
  }
  if (stray == 0) return 0;
  if (!Bitmap_AppendPalColor(bitmap, kStrayIndexColor, ctx)) return -1;
  for (int y = 0; y < bitmap.YSize; ++y) {
    std::uint8_t* row = bitmap.Row(y);
    std::replace_if(row, row + bitmap.XSize, [first](std::uint8_t v) { return v >= first; }, first);
  }
  return stray;
}

void SetTransIndex(Bitmap& bitmap, int index) {
  // Only palette indexes can be swapped; anything else would corrupt pixels.
  if (bitmap.BitsPerPixel != 8 || index < 0 || index >= bitmap.NumColors) return;
  if (index != 0) {
    const auto target = static_cast<std::uint8_t>(index);
    for (int y = 0; y < bitmap.YSize; ++y) {
      std::uint8_t* row = bitmap.Row(y);
      for (int x = 0; x < bitmap.XSize; ++x) {
        if (row[x] == 0) {
          row[x] = target;
        } else if (row[x] == target) {
          row[x] = 0;
        }
      }
    }
    const Color first = Bitmap_GetPalColor(bitmap, 0);
    Bitmap_SetPalColor(bitmap, 0, Bitmap_GetPalColor(bitmap, index));
    Bitmap_SetPalColor(bitmap, index, first);
  }
  bitmap.HasTrans = 1;
}

void SetTransparency(Bitmap& bitmap, int selection) {
  if (selection == 0) {
    bitmap.HasTrans = 0;
  } else {
    SetTransIndex(bitmap, selection - 1);
  }
}

}  // namespace rastra
