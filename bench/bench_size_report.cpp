// Speed of the size report against the save it helps to avoid: computing the
// whole table for a 2048 x 2048 picture may take at most twice as long as
// writing its largest C file, FORMAT 99 (both 32-bit variants of every pixel,
// about 100 MB of text), into a real file.
//
// Compare SizeReport/<picture> with LargestCFile/<picture>.
//
// A save that may pass the output limit counts its bytes first. Compare
// Count<FORMAT>/<picture> with Write<FORMAT>/<picture>: rows of one width
// are counted from the first, so FORMAT 99 and 16 count in moments; the RLE
// FORMATs run their encoder without writing.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchImages.h"
#include "BenchOutput.h"
#include "image/ColorConvert.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/CBitmapWriter.h"
#include "writers/OutputSize.h"
#include "writers/SizeReport.h"
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

// A palette image: its report converts it to true colour for the 16- and
// 32-bit rows, and to BW, Gray4 and Gray16 for the packed ones.
const Bitmap& PalettePhoto() {
  static const BitmapPtr image = [] {
    sys::Context ctx;
    return BestPaletteImageOf(Photo(), OutputOptions{}, ctx);
  }();
  return *image;
}

void SizeReport(benchmark::State& state, const Bitmap& image) {
  std::size_t rowCount = 0;
  for (auto _ : state) {
    sys::Context ctx;
    std::vector<FormatSize> rows;
    if (ComputeSizeReport(image, OutputOptions{}, rows, ctx) != sys::Code::kOk) {
      state.SkipWithError("size report failed");
      return;
    }
    rowCount = rows.size();
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["rows"] = static_cast<double>(rowCount);
}

void LargestCFile(benchmark::State& state, const Bitmap& image) {
  IntoFile(state, "sizereport", [&](OutBuffer& out, sys::Context& ctx) {
    return WriteCBitmapFile(out, OutputSpec{99, 0}, &image, "/tmp/rastra_bench_sizereport.c", OutputOptions{}, ctx) ==
           sys::Code::kOk;
  });
}

void BM_SizeReport_Photo(benchmark::State& state) { SizeReport(state, Photo()); }
void BM_LargestCFile_Photo(benchmark::State& state) { LargestCFile(state, Photo()); }
void BM_SizeReport_FlatUi(benchmark::State& state) { SizeReport(state, FlatUi()); }
void BM_LargestCFile_FlatUi(benchmark::State& state) { LargestCFile(state, FlatUi()); }
void BM_SizeReport_PalettePhoto(benchmark::State& state) { SizeReport(state, PalettePhoto()); }
void BM_LargestCFile_PalettePhoto(benchmark::State& state) { LargestCFile(state, PalettePhoto()); }

BENCHMARK(BM_SizeReport_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargestCFile_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SizeReport_FlatUi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargestCFile_FlatUi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SizeReport_PalettePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargestCFile_PalettePhoto)->Unit(benchmark::kMillisecond);

void Count(benchmark::State& state, const Bitmap& image, int format) {
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    const sys::Context ctx;
    if (CountOutputBytes(image, "count.c", OutputSpec{format, 1}, kOutputCBitmap, OutputOptions{}, bytes, ctx) !=
        sys::Code::kOk) {
      state.SkipWithError("count failed");
      return;
    }
  }
  state.counters["out_MB"] = static_cast<double>(bytes) / 1e6;
}

void Write(benchmark::State& state, const Bitmap& image, int format) {
  IntoFile(state, "count", [&](OutBuffer& out, sys::Context& ctx) {
    return WriteCBitmapFile(out, OutputSpec{format, 1}, &image, "/tmp/rastra_bench_count.c", OutputOptions{}, ctx) ==
           sys::Code::kOk;
  });
}

void BM_Count99_Photo(benchmark::State& state) { Count(state, Photo(), 99); }
void BM_Write99_Photo(benchmark::State& state) { Write(state, Photo(), 99); }
void BM_Count15_Photo(benchmark::State& state) { Count(state, Photo(), 15); }
void BM_Write15_Photo(benchmark::State& state) { Write(state, Photo(), 15); }
void BM_Count12_FlatUi(benchmark::State& state) { Count(state, FlatUi(), 12); }
void BM_Write12_FlatUi(benchmark::State& state) { Write(state, FlatUi(), 12); }

BENCHMARK(BM_Count99_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write99_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Count15_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write15_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Count12_FlatUi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write12_FlatUi)->Unit(benchmark::kMillisecond);

}  // namespace
