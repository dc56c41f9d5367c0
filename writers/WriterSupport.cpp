#include "writers/WriterSupport.h"

#include <cstdint>

#include "app/Report.h"

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

void ReportWriteError(const char* format, const std::string& reason) {
  ReportText(std::string("Error writing ") + format + ": " + reason + "\n");
}

}  // namespace writer_support
