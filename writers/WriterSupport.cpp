#include "writers/WriterSupport.h"

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
  if (bitmap.NumColors == 0 && bitmap.HasAlpha == 0) return Bitmap_Clone(bitmap, ctx);
  return Bitmap_ToTrueColor(bitmap, ctx);
}

}  // namespace writer_support

}  // namespace rastra
