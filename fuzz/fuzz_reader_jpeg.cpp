// Feeds arbitrary bytes to the reader through the dispatch, with the default
// read options and the others; a read without an image must say why.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "readers/ImageReaders.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BitmapPtr image = LoadAndCheckReported(data, size, kFileTypeJpeg);
  if (image) TouchPixels(*image);
  // Once more with the options that are not the defaults (smoothed chroma,
  // stored gamma, the orientation tag applied).
  sys::Context ctx = FuzzContext();
  BitmapPtr other = LoadAndCheckReported(data, size, kFileTypeJpeg, ctx, FuzzOtherReadOptions());
  if (other) TouchPixels(*other);
  return 0;
}
