// JPEG decoding speed: a 2048 x 2048 4:2:0 photo-like picture, baseline and
// progressive, decoded by our decoder and, as the reference, by libjpeg-turbo
// from the same bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchImages.h"
#include "readers/JpegDecoder.h"

#ifdef RASTRA_HAVE_LIBJPEG
#include <jpeglib.h>

namespace {

constexpr int kSide = 2048;
constexpr int kQuality = 85;

std::vector<std::uint8_t> Encode(bool progressive) {
  BitmapPtr picture = MakePhotoLikeImage(kSide, kSide);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = kSide;
  cinfo.image_height = kSide;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;  // the Bitmap's own byte order
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kQuality, TRUE);
  cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 2;  // 4:2:0
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = picture->Row(static_cast<int>(cinfo.next_scanline));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

const std::vector<std::uint8_t>& Baseline() {
  static const std::vector<std::uint8_t> bytes = Encode(false);
  return bytes;
}

const std::vector<std::uint8_t>& Progressive() {
  static const std::vector<std::uint8_t> bytes = Encode(true);
  return bytes;
}

// libjpeg-turbo into 4 bytes per pixel, as our Bitmap holds them. matched:
// the accurate integer IDCT and replicated chroma, our own arithmetic;
// otherwise its defaults (accurate IDCT, smooth upsampling).
void DecodeWithLibjpeg(const std::vector<std::uint8_t>& bytes, bool matched, std::vector<std::uint8_t>& out) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGRX;
  cinfo.dct_method = JDCT_ISLOW;
  if (matched) cinfo.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 4;
  out.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

void RunRastra(benchmark::State& state, const std::vector<std::uint8_t>& bytes, bool smooth = false) {
  ReadOptions options;
  options.smoothChroma = smooth;
  for (auto _ : state) {
    sys::Context ctx;
    const ReadResult b = ReadJpegFile(bytes, options, ctx);
    if (!b) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(b.image->pData.data());
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
  state.counters["bytes"] = static_cast<double>(bytes.size());
}

void RunLibjpeg(benchmark::State& state, const std::vector<std::uint8_t>& bytes, bool matched) {
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    DecodeWithLibjpeg(bytes, matched, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_Rastra_Baseline(benchmark::State& state) { RunRastra(state, Baseline()); }
void BM_Libjpeg_Baseline_Matched(benchmark::State& state) { RunLibjpeg(state, Baseline(), true); }
void BM_Libjpeg_Baseline_Default(benchmark::State& state) { RunLibjpeg(state, Baseline(), false); }
// Smoothed chroma against libjpeg-turbo's default decode, which smooths too.
void BM_Rastra_Baseline_Smooth(benchmark::State& state) { RunRastra(state, Baseline(), true); }
void BM_Rastra_Progressive(benchmark::State& state) { RunRastra(state, Progressive()); }
void BM_Rastra_Progressive_Smooth(benchmark::State& state) { RunRastra(state, Progressive(), true); }
void BM_Libjpeg_Progressive_Matched(benchmark::State& state) { RunLibjpeg(state, Progressive(), true); }
void BM_Libjpeg_Progressive_Default(benchmark::State& state) { RunLibjpeg(state, Progressive(), false); }

}  // namespace

BENCHMARK(BM_Rastra_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libjpeg_Baseline_Matched)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libjpeg_Baseline_Default)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rastra_Baseline_Smooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rastra_Progressive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rastra_Progressive_Smooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libjpeg_Progressive_Matched)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libjpeg_Progressive_Default)->Unit(benchmark::kMillisecond);

#else

namespace {
void BM_Rastra_NoReference(benchmark::State& state) {
  state.SkipWithError("libjpeg-turbo is not available to make the test picture");
  for (auto _ : state) {
  }
}
}  // namespace
BENCHMARK(BM_Rastra_NoReference);

#endif  // RASTRA_HAVE_LIBJPEG

using namespace rastra;  // NOLINT(google-build-using-namespace)
