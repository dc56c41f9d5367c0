#include "image/Bitmap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/Palette.h"
#include "sys/Memory.h"

namespace rastra {

namespace {

constexpr int kInfoHeaderSize = 40;

void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint32_t GetU32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr auto LoadColor = Bitmap_LoadColor;
constexpr auto StoreColor = Bitmap_StoreColor;

void WriteInfoHeader(Bitmap& b) {
  std::uint8_t* h = b.pInfo.data();
  PutU32(h + 0, kInfoHeaderSize);
  PutU32(h + 4, static_cast<std::uint32_t>(b.XSize));
  PutU32(h + 8, static_cast<std::uint32_t>(b.YSize));
  PutU16(h + 12, 1);
  PutU16(h + 14, static_cast<std::uint16_t>(b.BitsPerPixel));
  PutU32(h + 20, static_cast<std::uint32_t>(b.YSize) * static_cast<std::uint32_t>(b.BytesPerLine));
  PutU32(h + 32, static_cast<std::uint32_t>(b.NumColors));
}

std::uint8_t* PixelAddress(Bitmap& b, int x, int y) {
  return b.Row(y) + static_cast<std::size_t>(x) * (b.BitsPerPixel / 8);
}

const std::uint8_t* PixelAddress(const Bitmap& b, int x, int y) {
  return b.Row(y) + static_cast<std::size_t>(x) * (b.BitsPerPixel / 8);
}

bool Inside(const Bitmap& b, int x, int y) {
  return x >= 0 && y >= 0 && x < b.XSize && y < b.YSize;
}

// Exact set of 24-bit colours: one bit per colour, 2 MiB.
class ColorSet {
 public:
  ColorSet() : bits_((1u << 24) / 64, 0) {}
  void Add(Color c) {
    const std::uint32_t rgb = c & 0xFFFFFF;
    std::uint64_t& word = bits_[rgb >> 6];
    const std::uint64_t mask = std::uint64_t{1} << (rgb & 63);
    count_ += (word & mask) == 0 ? 1 : 0;
    word |= mask;
  }
  int Count() const { return count_; }

 private:
  std::vector<std::uint64_t> bits_;
  int count_ = 0;
};

}  // namespace

void ReportRowProgress(sys::Context& ctx, const char* format, int row, int rows) {
  if (!ctx.WantsProgress()) return;
  char text[96];
  std::snprintf(text, sizeof text, format, row, rows);
  ctx.Progress(text);
}

int Bitmap::StoredRow(int y) const {
  return Bitmap_InfoHeight(*this) != 0 ? YSize - 1 - y : y;
}

std::int32_t Bitmap_InfoHeight(const Bitmap& b) {
  if (b.pInfo.size() < kInfoHeaderSize) return 0;
  return static_cast<std::int32_t>(GetU32(b.pInfo.data() + 8));
}

BitmapPtr Bitmap_Create(int xSize, int ySize, int numColors, sys::Context& ctx) {
  if (xSize < 0 || ySize < 0 || numColors < 0 || numColors > 256) return nullptr;
  auto b = std::make_unique<Bitmap>();
  b->XSize = xSize;
  b->YSize = ySize;
  b->NumColors = numColors;
  b->BitsPerPixel = numColors != 0 ? 8 : 32;
  const std::int64_t bytesPerLine = ((std::int64_t{b->BitsPerPixel} * xSize + 31) / 32) * 4;
  if (bytesPerLine > INT32_MAX) {
    sys::FailAllocation(ctx, static_cast<std::uint64_t>(bytesPerLine) * static_cast<std::uint64_t>(ySize));
    return nullptr;
  }
  b->BytesPerLine = static_cast<std::int32_t>(bytesPerLine);
  const auto pixelBytes = static_cast<std::uint64_t>(bytesPerLine) * static_cast<std::uint64_t>(ySize);
  if (!sys::AllocZeroed(b->pData, pixelBytes, ctx)) return nullptr;
  if (!sys::AllocZeroed(b->pInfo, kInfoHeaderSize + 4u * static_cast<unsigned>(numColors), ctx)) return nullptr;
  WriteInfoHeader(*b);
  return b;
}

BitmapPtr Bitmap_Copy(const Bitmap& source, sys::Context& ctx) {
  auto copy = std::make_unique<Bitmap>();
  copy->XSize = source.XSize;
  copy->YSize = source.YSize;
  copy->BytesPerLine = source.BytesPerLine;
  copy->NumColors = source.NumColors;
  copy->BitsPerPixel = source.BitsPerPixel;
  copy->HasAlpha = source.HasAlpha;
  if (!sys::AllocZeroed(copy->pData, source.pData.size(), ctx)) return nullptr;
  if (!sys::AllocZeroed(copy->pInfo, source.pInfo.size(), ctx)) return nullptr;
  // The info block comes along as it is, so the copy keeps the source's row order.
  // An image without pixels has no block to copy from (memcpy wants a pointer).
  if (!source.pData.empty()) std::memcpy(copy->pData.data(), source.pData.data(), source.pData.size());
  std::memcpy(copy->pInfo.data(), source.pInfo.data(), source.pInfo.size());
  return copy;
}

PaletteRef Bitmap_GetPalette(const Bitmap& b) {
  PaletteRef palette;
  palette.count = std::clamp(b.NumColors, 0, 256);
  for (int i = 0; i < palette.count; ++i) palette.colours[static_cast<std::size_t>(i)] = Bitmap_GetPalColor(b, i);
  return palette;
}

BitmapPtr Bitmap_Clone(const Bitmap& source, sys::Context& ctx) {
  BitmapPtr copy = Bitmap_Copy(source, ctx);
  if (copy) copy->HasTrans = source.HasTrans;
  return copy;
}

std::uint32_t Bitmap_GetPixel(const Bitmap& b, int x, int y) {
  if (!Inside(b, x, y)) return 0;
  const std::uint8_t* p = PixelAddress(b, x, y);
  if (b.BitsPerPixel == 8) return p[0];
  return LoadColor(p);
}

void Bitmap_SetPixel(Bitmap& b, int x, int y, std::uint32_t value) {
  if (!Inside(b, x, y)) return;
  std::uint8_t* p = PixelAddress(b, x, y);
  if (b.BitsPerPixel == 8) {
    p[0] = static_cast<std::uint8_t>(value);
  } else {
    StoreColor(p, value);
  }
}

Color Bitmap_GetPixelColor(const Bitmap& b, int x, int y) {
  const std::uint32_t raw = Bitmap_GetPixel(b, x, y);
  return b.NumColors != 0 ? Bitmap_GetPalColor(b, static_cast<int>(raw)) : raw;
}

// Indexes outside the palette read as 0 and are not written: a stray index in a
// damaged file must not reach memory beyond the info block.
Color Bitmap_GetPalColor(const Bitmap& b, int i) {
  if (i < 0 || i >= b.NumColors) return 0;
  return LoadColor(b.pInfo.data() + kInfoHeaderSize + std::size_t{4} * static_cast<std::size_t>(i));
}

void Bitmap_SetPalColor(Bitmap& b, int i, Color color) {
  if (i < 0 || i >= b.NumColors) return;
  StoreColor(b.pInfo.data() + kInfoHeaderSize + std::size_t{4} * static_cast<std::size_t>(i), color);
}

bool Bitmap_SetNumColors(Bitmap& b, int n, sys::Context& ctx) {
  std::vector<std::uint8_t> info;
  if (!sys::AllocZeroed(info, kInfoHeaderSize + 4u * static_cast<unsigned>(n), ctx)) return false;
  b.pInfo = std::move(info);
  b.NumColors = n;
  return true;
}

bool Bitmap_AppendPalColor(Bitmap& b, Color color, sys::Context& ctx) {
  if (b.NumColors <= 0 || b.NumColors >= 256) return false;
  std::vector<std::uint8_t> info;
  const std::size_t used = kInfoHeaderSize + 4u * static_cast<unsigned>(b.NumColors);
  if (b.pInfo.size() < used || !sys::AllocZeroed(info, used + 4, ctx)) return false;
  std::memcpy(info.data(), b.pInfo.data(), used);
  b.pInfo = std::move(info);
  ++b.NumColors;
  // Only a header Bitmap_Create wrote carries the count; a cleared one stays clear.
  if (Bitmap_InfoHeight(b) != 0) PutU32(b.pInfo.data() + 32, static_cast<std::uint32_t>(b.NumColors));
  Bitmap_SetPalColor(b, b.NumColors - 1, color);
  return true;
}

int Bitmap_GetNumUsedColors(Bitmap& b, sys::Context& ctx) {
  if (b.NumUsedColors == 0) {
    ColorSet colors;
    for (int y = 0; y < b.YSize; ++y) {
      ReportRowProgress(ctx, "Calculating info of image, row %d/%d", y + 1, b.YSize);
      const std::uint8_t* row = b.Row(y);
      if (b.NumColors != 0) {
        for (int x = 0; x < b.XSize; ++x) colors.Add(Bitmap_GetPalColor(b, row[x]));
      } else {
        for (int x = 0; x < b.XSize; ++x) colors.Add(LoadColor(row + std::size_t{4} * static_cast<std::size_t>(x)));
      }
    }
    b.NumUsedColors = colors.Count();
  }
  ctx.Progress("Image calculation done");
  return b.NumUsedColors;
}

std::array<Color, 256> Bitmap_PixelPalette(const Bitmap& b) {
  std::array<Color, 256> palette{};
  for (int i = 0; i < b.NumColors && i < 256; ++i) palette[static_cast<std::size_t>(i)] = Bitmap_GetPalColor(b, i);
  if (b.NumColors != 0 && b.HasTrans != 0) palette[0] |= 0xFF000000u;
  return palette;
}

BitmapPtr Bitmap_ToTrueColor(const Bitmap& b, sys::Context& ctx) {
  BitmapPtr result = Bitmap_Create(b.XSize, b.YSize, 0, ctx);
  if (!result) return nullptr;
  const std::array<Color, 256> palette = Bitmap_PixelPalette(b);
  // The transparent entry's pixels stay transparent, and say so.
  if (b.NumColors != 0 && b.HasTrans != 0) result->HasAlpha = 1;
  for (int y = 0; y < b.YSize; ++y) {
    const std::uint8_t* in = b.Row(y);
    std::uint8_t* out = result->Row(y);
    for (int x = 0; x < b.XSize; ++x) {
      const Color c = b.NumColors != 0 ? palette[in[x]] : LoadColor(in + std::size_t{4} * static_cast<std::size_t>(x));
      StoreColor(out + std::size_t{4} * static_cast<std::size_t>(x), c);
    }
  }
  return result;
}

}  // namespace rastra
