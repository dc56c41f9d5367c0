// Scans a GIF and decodes its frames one by one, as the animation actions do.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "readers/GifDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuietReports();
  const std::span<const std::uint8_t> bytes(data, size);
  GifInfo info{};
  info.DataSize = static_cast<std::uint32_t>(size);
  if (ParseGif(bytes, info, nullptr, 0) != 0) return 0;
  for (int frame = 0; frame < info.NumFrames && frame < 16; ++frame) {
    GifFrame record{};
    ParseGif(bytes, info, &record, frame);
    GifFrame raw{};
    ParseGifFrameRaw(bytes, info, raw, frame);
  }
  return 0;
}
