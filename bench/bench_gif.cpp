// GIF decoding speed: our decoder against giflib on the same bytes.
//
// The picture is photo-like, quantised to 256 colours (3 bits red, 3 green,
// 2 blue) and encoded with giflib, on a logical screen of 2000 x 2000 pixels
// (the largest a read accepted while screens had a fixed limit, so that the
// figures stay comparable).
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchImages.h"
#include "readers/GifDecoder.h"
#include "tests/GifTestFiles.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

#ifdef RASTRA_HAVE_GIFLIB

namespace {

constexpr int kSize = 2000;

const gif_test::Bytes& PhotoGif() {
  static const gif_test::Bytes bytes = [] {
    BitmapPtr photo = MakePhotoLikeImage(kSize, kSize);
    gif_test::OracleGif gif;
    gif.width = kSize;
    gif.height = kSize;
    for (int i = 0; i < 256; ++i) {
      const Color r = static_cast<Color>((i & 7) * 255 / 7);
      const Color g = static_cast<Color>(((i >> 3) & 7) * 255 / 7);
      const Color b = static_cast<Color>((i >> 6) * 255 / 3);
      gif.globalTable.push_back(r | (g << 8) | (b << 16));
    }
    gif_test::OracleFrame frame;
    frame.width = kSize;
    frame.height = kSize;
    frame.pixels.resize(static_cast<std::size_t>(kSize) * kSize);
    for (int y = 0; y < kSize; ++y) {
      const std::uint8_t* row = photo->Row(y);
      for (int x = 0; x < kSize; ++x) {
        const Color c = Bitmap_LoadColor(row + 4 * x);
        frame.pixels[static_cast<std::size_t>(y) * kSize + x] =
            static_cast<std::uint8_t>(((c & 0xFF) >> 5) | (((c >> 8) & 0xFF) >> 5 << 3) | (((c >> 16) & 0xFF) >> 6 << 6));
      }
    }
    gif.frames.push_back(std::move(frame));
    return gif_test::EncodeWithGiflib(gif).value();
  }();
  return bytes;
}

void BM_GifDecode_Rastra(benchmark::State& state) {
  const gif_test::Bytes& bytes = PhotoGif();
  for (auto _ : state) {
    GifInfo info;
    info.DataSize = static_cast<std::uint32_t>(bytes.size());
    info.NumFrames = 1;
    GifFrame frame;
    sys::Context ctx;
    if (ParseGifFrameRaw(bytes, info, frame, 0, ctx) != 0) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(frame.pBitmap);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize * kSize);
}
BENCHMARK(BM_GifDecode_Rastra)->Unit(benchmark::kMillisecond);

void BM_GifDecode_Giflib(benchmark::State& state) {
  const gif_test::Bytes& bytes = PhotoGif();
  for (auto _ : state) {
    gif_test::ReadState source{&bytes, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&source, gif_test::ReadFromVector, &error);
    if (file == nullptr || DGifSlurp(file) != GIF_OK) state.SkipWithError("decode failed");
    if (file != nullptr) {
      benchmark::DoNotOptimize(file->SavedImages);
      DGifCloseFile(file, &error);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize * kSize);
}
BENCHMARK(BM_GifDecode_Giflib)->Unit(benchmark::kMillisecond);

// The whole load as the program does it, palette optimisation included.
void BM_GifReadFile_Rastra(benchmark::State& state) {
  const gif_test::Bytes& bytes = PhotoGif();
  const ReadOptions options;
  for (auto _ : state) {
    sys::Context ctx;
    ReadResult picture = ReadGifFile(bytes, options, ctx);
    if (!picture) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(picture.image);
  }
}
BENCHMARK(BM_GifReadFile_Rastra)->Unit(benchmark::kMillisecond);

// A walk over every frame of an animation of small frames on a 200 x 200
// screen, as the animation writer makes it: the cost per frame must not grow
// with the number of frames.
gif_test::Bytes Animation(int frames) {
  gif_test::GifBuilder g;
  g.Header().ScreenWithTable(200, 200, std::vector<gif_test::Rgb>(256, 0x336699));
  std::vector<std::uint8_t> pixels(32 * 32);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
  for (int i = 0; i < frames; ++i) g.GraphicControl(4).Image(i % 160, i % 150, 32, 32).Pixels(pixels);
  g.Trailer();
  return g.Get();
}

void BM_GifWalkEveryFrame_Rastra(benchmark::State& state) {
  const auto frames = static_cast<int>(state.range(0));
  const gif_test::Bytes bytes = Animation(frames);
  const ReadLimits limits;
  for (auto _ : state) {
    GifInfo info;
    info.DataSize = static_cast<std::uint32_t>(bytes.size());
    sys::Context ctx;
    GifFrameReader reader(bytes, info, limits, ctx);
    if (!reader.ReadScreen()) state.SkipWithError("walk failed");
    GifFrame frame;
    while (reader.Next(frame, GifFrameReader::Mode::kRaw) == GifFrameReader::Step::kFrame) {
      benchmark::DoNotOptimize(frame.pBitmap);
    }
    if (reader.Failure() != sys::Code::kOk) state.SkipWithError("walk failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * frames);
}
BENCHMARK(BM_GifWalkEveryFrame_Rastra)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // RASTRA_HAVE_GIFLIB
