// Animations of many frames: reading every frame and writing the animated
// sprite must cost the same per frame whether the file has 100 frames or
// 4000 (one pass over the file, not one walk from the start per frame).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "readers/GifDecoder.h"
#include "sys/File.h"
#include "writers/AnimWriter.h"
#include "writers/GifWriter.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

// frames one-pixel frames on a 1 x 1 screen, each with a graphic control
// block, on a global table of four colours.
std::vector<std::uint8_t> OnePixelFrames(int frames) {
  std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x81, 0, 0,
                                   0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  for (int i = 0; i < frames; ++i) {
    for (std::uint8_t b : {0x21, 0xF9, 0x04, 0x00, 0x02, 0x00, 0x00, 0x00}) gif.push_back(b);
    for (std::uint8_t b : {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0}) gif.push_back(b);
    const std::uint8_t index = static_cast<std::uint8_t>(i % 4);
    GifLzwEncoder encoder(2, [&gif](const std::uint8_t* bytes, std::size_t n) {
      gif.insert(gif.end(), bytes, bytes + n);
      return true;
    });
    encoder.Begin();
    encoder.Add(&index, 1);
    encoder.Finish();
    gif.push_back(0);
  }
  gif.push_back(0x3B);
  return gif;
}

// Scans the file, then decodes and writes every frame as the window's and
// the command line's animation save does.
std::uint64_t WriteAnimation(const std::vector<std::uint8_t>& data) {
  sys::Context ctx;
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data.size());
  if (ParseGif(data, info, nullptr, 0, ctx) != 0) return 0;
  std::vector<GifFrame> frames(info.NumFrames);
  sys::MemorySink sink(false);
  OutBuffer out(sink);
  AnimWriterState state;
  info.FirstGlobalFrame = -1;
  GifFrameReader reader(data, info, ReadLimits{}, ctx);
  if (!reader.ReadScreen()) return 0;
  const auto count = static_cast<int>(info.NumFrames);
  for (int i = 0; i < count; ++i) {
    GifFrame& frame = frames[static_cast<std::size_t>(i)];
    if (reader.Next(frame, GifFrameReader::Mode::kDecode) != GifFrameReader::Step::kFrame) return 0;
    if (WriteAnimFile(state, out, OutputSpec{5, 0}, info, "Anim.c", count - i - 1, &frames, kOutputAnimSprite,
                      OutputOptions{}, ctx) != 0) {
      return 0;
    }
    frame.pBitmap.reset();
  }
  return sink.Count();
}

void BM_AnimationFrames(benchmark::State& state) {
  const auto frames = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> data = OnePixelFrames(frames);
  for (auto _ : state) {
    const std::uint64_t bytes = WriteAnimation(data);
    if (bytes == 0) state.SkipWithError("the animation could not be written");
    benchmark::DoNotOptimize(bytes);
  }
  // Time per frame: the figure that must not grow with the frame count.
  state.counters["per_frame"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_AnimationFrames)->Arg(100)->Arg(1000)->Arg(4000)->Arg(65536)->Unit(benchmark::kMillisecond);
