// Scans a GIF, then walks every frame in one pass: skipping, decoded for
// display as the animation writer takes them, and raw as they lie in the
// file. A walk that stops must have said why, and one that reaches the
// trailer must agree with the scan.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "readers/GifDecoder.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

// Every decoded frame is a canvas of the logical screen's size, so a few
// kilobytes of tiny frames on a large screen ask for gigabytes. The canvases
// of one walk share this budget: the more frames, the smaller the screen each
// may have, and a walk beyond it stops with a recorded failure.
constexpr std::uint64_t kCanvasBudgetBytes = kFuzzMaxPixelBytes;

ReadLimits WalkLimits(std::uint64_t maxPixelBytes) {
  ReadLimits limits = FuzzReadLimits();
  limits.maxPixelBytes = std::min(limits.maxPixelBytes, maxPixelBytes);
  return limits;
}

struct Walk {
  bool reachedEnd = false;
  std::uint32_t frames = 0;
};

Walk WalkEveryFrame(std::span<const std::uint8_t> bytes, const GifInfo& scanned, bool scanOk,
                    GifFrameReader::Mode mode, const ReadLimits& limits) {
  GifInfo info = scanned;
  info.FirstGlobalFrame = -1;
  sys::Context ctx = FuzzContext();
  GifFrameReader reader(bytes, info, limits, ctx);
  Walk walk;
  if (!reader.ReadScreen()) {
    TrapIfUnexplained(true, ctx);
    return walk;
  }
  for (;;) {
    GifFrame frame;
    switch (reader.Next(frame, mode)) {
      case GifFrameReader::Step::kFrame:
        if (mode != GifFrameReader::Mode::kSkip) {
          if (!frame.pBitmap) __builtin_trap();  // a frame said to be read, yet no picture
          TouchPixels(*frame.pBitmap);
        }
        ++walk.frames;
        break;
      case GifFrameReader::Step::kEnd:
        // The same blocks were walked: the same frames and playing time.
        if (!scanOk || walk.frames != scanned.NumFrames || info.NumFrames != scanned.NumFrames ||
            info.TotalDelay != scanned.TotalDelay) {
          __builtin_trap();
        }
        walk.reachedEnd = true;
        return walk;
      case GifFrameReader::Step::kFailed:
        if (reader.Failure() == sys::Code::kOk) __builtin_trap();
        TrapIfUnexplained(true, ctx);
        return walk;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const ReadLimits skipLimits = WalkLimits(kFuzzMaxPixelBytes);
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(size);
  sys::Context ctx = FuzzContext();
  const bool scanOk = ParseGif(bytes, info, nullptr, 0, ctx, skipLimits) == 0;
  TrapIfUnexplained(!scanOk, ctx);

  // Skipping allocates nothing and counts the frames even of a file that
  // fails later on; there a decoding walk may read one frame more, whose data
  // ends inside its sub-blocks.
  const Walk skipped = WalkEveryFrame(bytes, info, scanOk, GifFrameReader::Mode::kSkip, skipLimits);
  if (skipped.reachedEnd != scanOk) __builtin_trap();
  const std::uint64_t decodable = std::max<std::uint64_t>(1, skipped.frames + (skipped.reachedEnd ? 0 : 1));
  const ReadLimits decodeLimits = WalkLimits(kCanvasBudgetBytes / decodable);
  WalkEveryFrame(bytes, info, scanOk, GifFrameReader::Mode::kDecode, decodeLimits);
  WalkEveryFrame(bytes, info, scanOk, GifFrameReader::Mode::kRaw, decodeLimits);
  return 0;
}
