// Colour conversion on a 2048 x 2048 photo-like picture.
#include <benchmark/benchmark.h>

#include <utility>

#include "BenchImages.h"
#include "image/ColorConvert.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int kSize = 2048;

const Bitmap& Photo() {
  static const BitmapPtr photo = MakePhotoLikeImage(kSize, kSize);
  return *photo;
}

void SetPixelCounter(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

void ConvertFormat(benchmark::State& state, int formatId) {
  const ColorFormat& format = GetColorFormat(formatId);
  sys::Context ctx;
  for (auto _ : state) {
    state.PauseTiming();
    BitmapPtr source = Bitmap_Copy(Photo(), ctx);
    state.ResumeTiming();
    BitmapPtr result = ConvertToFormat(std::move(source), format, OutputOptions{}, ctx);
    benchmark::DoNotOptimize(result.get());
  }
  SetPixelCounter(state);
}

void BM_ConvertToFormat565(benchmark::State& state) { ConvertFormat(state, kFormat565); }
void BM_ConvertToFormat8666(benchmark::State& state) { ConvertFormat(state, kFormat8666); }

void BM_DitherToFormat565(benchmark::State& state) {
  const ColorFormat& format = GetColorFormat(kFormat565);
  sys::Context ctx;
  for (auto _ : state) {
    state.PauseTiming();
    BitmapPtr source = Bitmap_Copy(Photo(), ctx);
    state.ResumeTiming();
    BitmapPtr result = DitherToFormat(std::move(source), format, OutputOptions{}, ctx);
    benchmark::DoNotOptimize(result.get());
  }
  SetPixelCounter(state);
}

void BM_ConvertToBestPalette(benchmark::State& state) {
  sys::Context ctx;
  for (auto _ : state) {
    state.PauseTiming();
    BitmapPtr source = Bitmap_Copy(Photo(), ctx);
    state.ResumeTiming();
    BitmapPtr result = ConvertToBestPalette(source, OutputOptions{}, ctx);
    benchmark::DoNotOptimize(result.get());
  }
  SetPixelCounter(state);
}

void BM_ReduceColors256(benchmark::State& state) {
  sys::Context ctx;
  for (auto _ : state) {
    state.PauseTiming();
    BitmapPtr source = Bitmap_Copy(Photo(), ctx);
    state.ResumeTiming();
    BitmapPtr result = ReduceColors(std::move(source), 256, OutputOptions{}, ctx);
    benchmark::DoNotOptimize(result.get());
  }
  SetPixelCounter(state);
}

BENCHMARK(BM_ConvertToFormat565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToFormat8666)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherToFormat565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToBestPalette)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceColors256)->Unit(benchmark::kMillisecond);

}  // namespace
