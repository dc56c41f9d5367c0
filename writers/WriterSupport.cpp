#include "writers/WriterSupport.h"

#include <array>
#include <cstdint>

namespace rastra {

namespace writer_support {

bool IsConsistent(const Bitmap& bitmap) {
  if (bitmap.XSize < 0 || bitmap.YSize < 0) return false;
  if (bitmap.NumColors < 0 || bitmap.NumColors > 256) return false;
  const int expectedBits = bitmap.NumColors != 0 ? 8 : 32;
  if (bitmap.BitsPerPixel != expectedBits) return false;
  const std::int64_t rowBytes = std::int64_t{bitmap.XSize} * (expectedBits / 8);
  if (bitmap.BytesPerLine < rowBytes) return false;
  const std::uint64_t pixelBytes = static_cast<std::uint64_t>(bitmap.BytesPerLine) * bitmap.YSize;
  if (bitmap.pData.size() < pixelBytes) return false;
  return bitmap.pInfo.size() >= 40u + 4u * static_cast<unsigned>(bitmap.NumColors);
}

sys::Code ReportWriteError(sys::Context& ctx, const char* format, const std::string& reason, sys::Code code) {
  return ctx.Fail(code, std::string("Error writing ") + format + ": " + reason);
}

BitmapPtr TrueColorCopy(const Bitmap& bitmap, sys::Context& ctx) {
  if (bitmap.NumColors == 0 && bitmap.HasAlpha == 0) {
    BitmapPtr copy = Bitmap_Copy(bitmap, ctx);
    if (copy) copy->HasTrans = bitmap.HasTrans;
    return copy;
  }
  BitmapPtr result = Bitmap_Create(bitmap.XSize, bitmap.YSize, 0, ctx);
  if (!result) return nullptr;
  std::array<Color, 256> palette{};
  for (int i = 0; i < bitmap.NumColors && i < 256; ++i) palette[static_cast<std::size_t>(i)] = Bitmap_GetPalColor(bitmap, i);
  const bool indexed = bitmap.NumColors != 0;
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* in = bitmap.Row(y);
    std::uint8_t* out = result->Row(y);
    for (int x = 0; x < bitmap.XSize; ++x) {
      Bitmap_StoreColor(out + 4 * x, indexed ? palette[in[x]] : Bitmap_LoadColor(in + 4 * x));
    }
  }
  return result;
}

}  // namespace writer_support

}  // namespace rastra
