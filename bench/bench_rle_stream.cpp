// Speed of the run-length encoders (RLE4 and RLE8 of palette images, as C text
// and as stream bytes) and of the C stream writer, on the 2048 x 2048
// photo-like picture and a 1024 x 600 flat-colour UI picture.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "BenchImages.h"
#include "BenchOutput.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/RleEncoder.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

BitmapPtr Converted(BitmapPtr image, int format) {
  sys::Context ctx;
  return ConvertToFormat(std::move(image), GetColorFormat(format), OutputOptions{}, ctx);
}

const Bitmap& PhotoTrueColor() {
  static const BitmapPtr image = MakePhotoLikeImage(2048, 2048);
  return *image;
}
const Bitmap& UiTrueColor() {
  static const BitmapPtr image = MakeFlatUiImage(1024, 600);
  return *image;
}
// 256 entries (RLE8) and 16 entries (RLE4).
const Bitmap& Photo8666() {
  static const BitmapPtr image = Converted(MakePhotoLikeImage(2048, 2048), kFormat8666);
  return *image;
}
const Bitmap& PhotoGray16() {
  static const BitmapPtr image = Converted(MakePhotoLikeImage(2048, 2048), kFormatGray16);
  return *image;
}
const Bitmap& Ui8666() {
  static const BitmapPtr image = Converted(MakeFlatUiImage(1024, 600), kFormat8666);
  return *image;
}
const Bitmap& UiBestPalette() {  // its six colours fit RLE4
  static const BitmapPtr image = [] {
    BitmapPtr source = MakeFlatUiImage(1024, 600);
    sys::Context ctx;
    return ConvertToBestPalette(source, OutputOptions{}, ctx);
  }();
  return *image;
}

void RleText(benchmark::State& state, const Bitmap& image, int bits) {
  IntoFile(state, "rle_text", [&](OutBuffer& out, sys::Context& ctx) {
    return WriteRleText(out, image, RleMode::Index, bits, ctx) == 0;
  });
}
void RleBytes(benchmark::State& state, const Bitmap& image, int bits) {
  IntoFile(state, "rle_bytes", [&](OutBuffer& out, sys::Context& ctx) {
    return WriteRleBytes(out, image, RleMode::Index, bits, ctx) == 0;
  });
}
void Stream(benchmark::State& state, const Bitmap& image, int format) {
  IntoFile(state, "stream", [&](OutBuffer& out, sys::Context& ctx) {
    return WriteStreamedBitmap(out, OutputSpec{format, 1}, OutputOptions{}, &image, ctx) == sys::Code::kOk;
  });
}

void BM_Photo_Rle8Text(benchmark::State& state) { RleText(state, Photo8666(), 8); }
void BM_Photo_Rle4Text(benchmark::State& state) { RleText(state, PhotoGray16(), 4); }
void BM_Photo_Rle8Bytes(benchmark::State& state) { RleBytes(state, Photo8666(), 8); }
void BM_Photo_Rle4Bytes(benchmark::State& state) { RleBytes(state, PhotoGray16(), 4); }
void BM_FlatUi_Rle8Text(benchmark::State& state) { RleText(state, Ui8666(), 8); }
void BM_FlatUi_Rle4Text(benchmark::State& state) { RleText(state, UiBestPalette(), 4); }
void BM_FlatUi_Rle8Bytes(benchmark::State& state) { RleBytes(state, Ui8666(), 8); }
void BM_FlatUi_Rle4Bytes(benchmark::State& state) { RleBytes(state, UiBestPalette(), 4); }

void BM_Photo_Stream8bpp(benchmark::State& state) { Stream(state, Photo8666(), 5); }
void BM_Photo_Stream565(benchmark::State& state) { Stream(state, PhotoTrueColor(), 8); }
void BM_Photo_StreamRle16(benchmark::State& state) { Stream(state, PhotoTrueColor(), 12); }
void BM_Photo_Stream8888(benchmark::State& state) { Stream(state, PhotoTrueColor(), 16); }
void BM_FlatUi_Stream565(benchmark::State& state) { Stream(state, UiTrueColor(), 8); }
void BM_FlatUi_StreamRle16(benchmark::State& state) { Stream(state, UiTrueColor(), 12); }
void BM_FlatUi_StreamRle32(benchmark::State& state) { Stream(state, UiTrueColor(), 15); }

BENCHMARK(BM_Photo_Rle8Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Rle4Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Rle8Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Rle4Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Rle8Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Rle4Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Rle8Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Rle4Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Stream8bpp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Stream565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_StreamRle16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo_Stream8888)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_Stream565)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_StreamRle16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatUi_StreamRle32)->Unit(benchmark::kMillisecond);

}  // namespace
