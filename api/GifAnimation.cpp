#include "api/GifAnimation.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "readers/GifDecoder.h"
#include "writers/AnimWriter.h"
#include "writers/TextOutput.h"

namespace rastra {

namespace {
constexpr const char* kReadFailure = "Image could not be read";
}  // namespace

bool HasGifSignature(std::span<const std::uint8_t> data) {
  return data.size() >= 6 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8' &&
         (data[4] == '7' || data[4] == '9') && data[5] == 'a';
}

AnimationScan ScanAnimation(std::span<const std::uint8_t> data, GifInfo& info, const ReadLimits& limits,
                            sys::Context& ctx) {
  info.DataSize = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
  if (ParseGif(data, info, nullptr, 0, ctx, limits) != 0) return AnimationScan::kUnreadable;
  if (info.NumFrames == 0) {
    ctx.Fail(sys::Code::kCorrupt, kReadFailure);
    return AnimationScan::kUnreadable;
  }
  return info.NumFrames < 2 ? AnimationScan::kSingleImage : AnimationScan::kAnimated;
}

bool WriteGifAnimation(std::span<const std::uint8_t> data, GifInfo& info, const AnimationJob& job,
                       sys::ByteSink& sink, sys::Context& ctx) {
  const auto count = static_cast<int>(info.NumFrames);
  std::vector<GifFrame> frames(static_cast<std::size_t>(count));
  OutBuffer out(sink);
  AnimWriterState state;
  info.FirstGlobalFrame = -1;
  GifFrameReader reader(data, info, job.limits, ctx);
  if (!reader.ReadScreen()) return false;
  for (int i = 0; i < count; ++i) {
    GifFrame& frame = frames[static_cast<std::size_t>(i)];
    if (reader.Next(frame, GifFrameReader::Mode::kDecode) != GifFrameReader::Step::kFrame || !frame.pBitmap) {
      return false;
    }
    if (job.prepare) {
      frame.pBitmap = job.prepare(std::move(frame.pBitmap), i);
      if (!frame.pBitmap) return false;
    }
    if (WriteAnimFile(state, out, job.spec, info, job.identifierSource, count - i - 1, &frames, job.type, job.options,
                      ctx) != 0) {
      return false;
    }
    // Only the delay and the table number are needed from here on.
    frame.pBitmap.reset();
    frame.ColorTable = {};
  }
  return true;
}

}  // namespace rastra
