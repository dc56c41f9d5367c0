// Speed of the C bitmap writer: pure text formatting into a file.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchImages.h"
#include "BenchOutput.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/CBitmapWriter.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int kSize = 2048;

const Bitmap& Photo() {
  static const BitmapPtr image = MakePhotoLikeImage(kSize, kSize);
  return *image;
}

const Bitmap& FlatUi() {
  static const BitmapPtr image = MakeFlatUiImage(kSize, kSize);
  return *image;
}

void WriteFormat(benchmark::State& state, const Bitmap& image, int format) {
  IntoFile(state, "cwriter", [&](OutBuffer& out, sys::Context& ctx) {
    return WriteCBitmapFile(out, OutputSpec{format, 0}, &image, "/tmp/rastra_bench_cwriter.c", OutputOptions{}, ctx) ==
           sys::Code::kOk;
  });
}

void BM_Photo_Format8_565(benchmark::State& state) { WriteFormat(state, Photo(), 8); }
void BM_Photo_Format16_8888(benchmark::State& state) { WriteFormat(state, Photo(), 16); }
void BM_Photo_Format12_Rle16(benchmark::State& state) { WriteFormat(state, Photo(), 12); }
void BM_FlatUi_Format8_565(benchmark::State& state) { WriteFormat(state, FlatUi(), 8); }
void BM_FlatUi_Format16_8888(benchmark::State& state) { WriteFormat(state, FlatUi(), 16); }
void BM_FlatUi_Format12_Rle16(benchmark::State& state) { WriteFormat(state, FlatUi(), 12); }

BENCHMARK(BM_Photo_Format8_565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Format16_8888)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Format12_Rle16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Format8_565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Format16_8888)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Format12_Rle16)->Unit(benchmark::kMillisecond);

}  // namespace
