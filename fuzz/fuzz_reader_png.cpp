// Feeds arbitrary bytes to the reader through the dispatch; a read without an
// image must say why.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "readers/ImageReaders.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BitmapPtr image = LoadAndCheckReported(data, size, kFileTypePng);
  if (image) TouchPixels(*image);
  return 0;
}
