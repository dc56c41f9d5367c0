// Feeds arbitrary bytes to the reader through the dispatch; a failure must
// be reported.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "readers/ImageReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuietReports();
  BitmapPtr image = LoadAndCheckReported(data, size, kFileTypeSbmp);
  if (image) TouchPixels(*image);
  return 0;
}
