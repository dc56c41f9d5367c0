// Reader speed from memory: BMP with 24 and 8 bits per pixel and PNG, on the
// 2048 x 2048 photo-like picture and on a 1024 x 600 flat-colour UI picture.
// The files are made by our own writers once, then decoded in the loop, each
// read with a context of its own as a real job has.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "BenchImages.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "readers/BmpReader.h"
#include "readers/PngReader.h"
#include "sys/File.h"
#include "writers/BmpWriter.h"
#include "writers/PngWriter.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BmpBytes(const Bitmap& image) {
  sys::Context ctx;
  sys::MemorySink sink;
  OutBuffer out(sink);
  if (WriteBmpFile(out, &image, ctx) != sys::Code::kOk) return {};
  return sink.Bytes();
}

Bytes PngBytes(const Bitmap& image) {
  sys::Context ctx;
  sys::MemorySink sink;
  BitmapPtr written;
  if (WritePngFile(&image, sink, written, ctx) != sys::Code::kOk) return {};
  return sink.Bytes();
}

BitmapPtr Photo() { return MakePhotoLikeImage(2048, 2048); }
BitmapPtr FlatUi() { return MakeFlatUiImage(1024, 600); }
BitmapPtr Palette8666(BitmapPtr image) {
  sys::Context ctx;
  return ConvertToFormat(std::move(image), GetColorFormat(kFormat8666), OutputOptions{}, ctx);
}

const Bytes& PhotoBmp24() {
  static const Bytes bytes = BmpBytes(*Photo());
  return bytes;
}
const Bytes& PhotoBmp8() {
  static const Bytes bytes = BmpBytes(*Palette8666(Photo()));
  return bytes;
}
const Bytes& PhotoPng() {
  static const Bytes bytes = PngBytes(*Photo());
  return bytes;
}
const Bytes& UiBmp24() {
  static const Bytes bytes = BmpBytes(*FlatUi());
  return bytes;
}
const Bytes& UiBmp8() {
  static const Bytes bytes = BmpBytes(*Palette8666(FlatUi()));
  return bytes;
}
const Bytes& UiPng() {
  static const Bytes bytes = PngBytes(*FlatUi());
  return bytes;
}

using Reader = ReadResult (*)(std::span<const std::uint8_t>, const ReadOptions&, sys::Context&);

template <Reader Read>
void Decode(benchmark::State& state, const Bytes& bytes) {
  if (bytes.empty()) {
    state.SkipWithError("the input could not be made");
    return;
  }
  const ReadOptions options;
  std::int64_t pixels = 0;
  for (auto _ : state) {
    sys::Context ctx;
    const ReadResult read = Read(bytes, options, ctx);
    if (!read) {
      state.SkipWithError("decode failed");
      return;
    }
    pixels = std::int64_t{read.image->XSize} * read.image->YSize;
    benchmark::DoNotOptimize(read.image->pData.data());
  }
  state.SetItemsProcessed(pixels * state.iterations());
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_Photo_Bmp24(benchmark::State& state) { Decode<ReadBmpFile>(state, PhotoBmp24()); }
void BM_Photo_Bmp8(benchmark::State& state) { Decode<ReadBmpFile>(state, PhotoBmp8()); }
void BM_Photo_Png(benchmark::State& state) { Decode<ReadPngFile>(state, PhotoPng()); }
void BM_FlatUi_Bmp24(benchmark::State& state) { Decode<ReadBmpFile>(state, UiBmp24()); }
void BM_FlatUi_Bmp8(benchmark::State& state) { Decode<ReadBmpFile>(state, UiBmp8()); }
void BM_FlatUi_Png(benchmark::State& state) { Decode<ReadPngFile>(state, UiPng()); }

BENCHMARK(BM_Photo_Bmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Bmp8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Bmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Bmp8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Png)->Unit(benchmark::kMillisecond);

}  // namespace
