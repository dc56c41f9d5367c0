// Differential harness of the JPEG decoder. The input chooses a picture (up
// to 256 x 256) and the settings of libjpeg-turbo's encoder: grey or colour,
// the sampling factors of every component, quality and baseline tables, a
// sequential or progressive scan script (the library's own or one made from
// the input), the restart interval, optimised tables and
// arithmetic coding. libjpeg-turbo encodes; then it and our decoder
// decode the file (accurate integer transform, plain upsampling on both
// sides). A finding is one decoder accepting what the other refuses, a
// channel differing by more than 3 anywhere, or a mean difference above 0.1
// (pictures of fewer than 16 x 16 pixels judged as if they had that many).
// Grey pictures and colour ones with halved or full chroma are decoded once
// more with smoothed chroma and compared with libjpeg-turbo's default decode:
// there a channel may differ by 1 at most.
//
// Three switches; the first two are on in the build and can be turned off
// to narrow a campaign to the common files:
//   RASTRA_FUZZ_JPEG_ARITHMETIC  also encode with arithmetic coding;
//   RASTRA_FUZZ_JPEG_ALL_LAYOUTS also compare the uncommon layouts (chroma
//                                sampling other than 1x1 or against a luma
//                                of more than 2x2, sequential files of more
//                                than one scan);
//   RASTRA_FUZZ_JPEG_EXACT_ROUNDING hold rounding differences against the
//                                mean too. Our inverse transform runs over the
//                                rows first, libjpeg-turbo's over the columns,
//                                and the two round apart by one level at some
//                                positions of some blocks. Where blocks repeat
//                                (a picture made of a few repeated bytes, a
//                                strip one or two pixels wide, a smooth picture
//                                at a very low quality) such a level recurs
//                                with them, and the mean reached 0.11 to 0.2.
//                                Off, a picture in which no channel differs by
//                                more than one level gives (1 in grey; 3 in
//                                colour, where a level of Y and one of Cb make
//                                1 + 1.772) is taken for that rounding and not
//                                held to the mean bound.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FuzzSupport.h"
#include "readers/JpegDecoder.h"
#include "tests/JpegTestSupport.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

#ifndef RASTRA_FUZZ_JPEG_ARITHMETIC
#define RASTRA_FUZZ_JPEG_ARITHMETIC 0
#endif
#ifndef RASTRA_FUZZ_JPEG_ALL_LAYOUTS
#define RASTRA_FUZZ_JPEG_ALL_LAYOUTS 0
#endif
#ifndef RASTRA_FUZZ_JPEG_EXACT_ROUNDING
#define RASTRA_FUZZ_JPEG_EXACT_ROUNDING 0
#endif

namespace {

using jpeg_test::RgbImage;

constexpr int kMaxSide = 256;
constexpr int kSmallSide = 48;  // up to three 16 x 16 blocks of 4:2:0 each way
constexpr int kMaxBlocksPerMcu = 10;  // what an interleaved scan may hold
constexpr int kMaxScans = 48;
constexpr int kMaxDifference = 3;
constexpr double kMaxMeanDifference = 0.1;
// The two inverse transforms round in another order, so a level of difference
// here and there is expected; in a picture of a few pixels one such level
// alone would lift the mean above the bound. Smaller pictures are judged as
// if they had this many pixels.
constexpr int kMinMeanPixels = 16 * 16;
// Room for the picture and, in progressive files, the coefficients of every
// block with its padding to whole MCUs of 4 x 4 sampling.
constexpr std::uint64_t kMaxDecodeBytes = std::uint64_t{4} << 20;

enum class ScanScript { kSingle, kSimpleProgression, kChosenProgression, kChosenSequential };
enum class Restart { kNone, kMcus, kRows };

struct Settings {
  int components = 3;
  int h[3] = {1, 1, 1};
  int v[3] = {1, 1, 1};
  int quality = 75;
  bool forceBaseline = true;
  bool optimize = false;
  bool arithmetic = false;
  ScanScript script = ScanScript::kSingle;
  std::vector<jpeg_scan_info> scans;
  Restart restart = Restart::kNone;
  int restartCount = 0;
};

// --- the picture ------------------------------------------------------------

std::uint8_t NextNoise(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return static_cast<std::uint8_t>(state >> 24);
}

// Smooth areas, noise, flat 8 x 8 cells or the input's own bytes: each
// stresses other coefficients.
RgbImage MakePicture(FuzzedDataProvider& input, int& kind) {
  const auto [width, height] = ConsumePictureSize(input, kSmallSide, kMaxSide);
  kind = input.ConsumeIntegralInRange(0, 3);
  std::uint32_t state = input.ConsumeIntegral<std::uint32_t>();
  if (kind == 0) return jpeg_test::MakePhotoLike(width, height, state);
  RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  if (kind == 1) {
    for (std::uint8_t& sample : image.rgb) sample = NextNoise(state);
  } else if (kind == 2) {
    std::vector<std::uint8_t> cells(static_cast<std::size_t>((width + 7) / 8) * ((height + 7) / 8) * 3);
    for (std::uint8_t& sample : cells) sample = NextNoise(state);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::size_t cell = (static_cast<std::size_t>(y / 8) * ((width + 7) / 8) + x / 8) * 3;
        std::copy_n(cells.data() + cell, 3, image.rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3);
      }
    }
  } else {
    const std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(1, 4096));
    for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = bytes.empty() ? 0 : bytes[i % bytes.size()];
  }
  return image;
}

// --- the scan scripts ---------------------------------------------------------

jpeg_scan_info Scan(std::initializer_list<int> components, int ss, int se, int ah, int al) {
  jpeg_scan_info scan{};
  for (int c : components) scan.component_index[scan.comps_in_scan++] = c;
  scan.Ss = ss;
  scan.Se = se;
  scan.Ah = ah;
  scan.Al = al;
  return scan;
}

// A valid progressive script: the DC scans first (interleaved or one per
// component, with successive approximation), then the AC bands of every
// component, each with its refinements, in an order the input chooses.
std::vector<jpeg_scan_info> ChosenProgression(FuzzedDataProvider& input, int components) {
  std::vector<std::vector<jpeg_scan_info>> queues;
  const bool interleavedDc = components == 1 || input.ConsumeBool();
  const int dcAl = input.ConsumeIntegralInRange(0, 3);
  const bool refineDc = input.ConsumeBool();
  std::vector<jpeg_scan_info> dc;
  for (int al = dcAl; al >= (refineDc ? 0 : dcAl); --al) {
    const int ah = al == dcAl ? 0 : al + 1;
    if (interleavedDc) {
      jpeg_scan_info scan = Scan({}, 0, 0, ah, al);
      for (int c = 0; c < components; ++c) scan.component_index[scan.comps_in_scan++] = c;
      dc.push_back(scan);
    } else {
      for (int c = 0; c < components; ++c) dc.push_back(Scan({c}, 0, 0, ah, al));
    }
  }
  // The first DC scans go out before everything else; refinements may come later.
  std::vector<jpeg_scan_info> script(dc.begin(), dc.begin() + (interleavedDc ? 1 : components));
  queues.emplace_back(dc.begin() + static_cast<std::ptrdiff_t>(script.size()), dc.end());
  for (int c = 0; c < components; ++c) {
    int ss = 1;
    while (ss <= 63 && input.ConsumeBool()) {
      const int se = input.ConsumeIntegralInRange(ss, 63);
      const int al = input.ConsumeIntegralInRange(0, 3);
      const int lowest = input.ConsumeBool() ? 0 : al;
      std::vector<jpeg_scan_info> band;
      for (int a = al; a >= lowest; --a) band.push_back(Scan({c}, ss, se, a == al ? 0 : a + 1, a));
      queues.push_back(std::move(band));
      ss = se + 1;
    }
  }
  for (;;) {
    std::vector<std::vector<jpeg_scan_info>*> waiting;
    for (auto& queue : queues) {
      if (!queue.empty()) waiting.push_back(&queue);
    }
    if (waiting.empty()) break;
    auto& next = *waiting[input.ConsumeIntegralInRange<std::size_t>(0, waiting.size() - 1)];
    script.push_back(next.front());
    next.erase(next.begin());
  }
  return script;
}

// A sequential script: the components split into interleaved groups.
std::vector<jpeg_scan_info> ChosenSequential(FuzzedDataProvider& input, int components) {
  std::vector<jpeg_scan_info> script;
  std::vector<int> order(static_cast<std::size_t>(components));
  for (int c = 0; c < components; ++c) order[c] = c;
  if (input.ConsumeBool()) std::swap(order.front(), order.back());
  jpeg_scan_info scan = Scan({}, 0, 63, 0, 0);
  for (int c : order) {
    scan.component_index[scan.comps_in_scan++] = c;
    if (input.ConsumeBool()) {
      script.push_back(scan);
      scan = Scan({}, 0, 63, 0, 0);
    }
  }
  if (scan.comps_in_scan > 0) script.push_back(scan);
  return script;
}

// --- the settings -------------------------------------------------------------

bool ChooseSettings(FuzzedDataProvider& input, Settings& s) {
  s.components = input.ConsumeBool() ? 1 : 3;
  int blocks = 0;
  for (int c = 0; c < s.components; ++c) {
    s.h[c] = input.ConsumeIntegralInRange(1, 4);
    s.v[c] = input.ConsumeIntegralInRange(1, 4);
    blocks += s.h[c] * s.v[c];
  }
  if (s.components > 1 && blocks > kMaxBlocksPerMcu) return false;
  s.quality = input.ConsumeIntegralInRange(1, 100);
  s.forceBaseline = input.ConsumeBool();
  s.optimize = input.ConsumeBool();
  s.arithmetic = input.ConsumeBool() && RASTRA_FUZZ_JPEG_ARITHMETIC != 0;
  s.script = static_cast<ScanScript>(input.ConsumeIntegralInRange(0, 3));
  if (s.script == ScanScript::kChosenProgression) s.scans = ChosenProgression(input, s.components);
  if (s.script == ScanScript::kChosenSequential) s.scans = ChosenSequential(input, s.components);
  if (s.scans.size() > static_cast<std::size_t>(kMaxScans)) return false;
  s.restart = static_cast<Restart>(input.ConsumeIntegralInRange(0, 2));
  if (s.restart == Restart::kMcus) s.restartCount = input.ConsumeIntegralInRange(1, 300);
  if (s.restart == Restart::kRows) s.restartCount = input.ConsumeIntegralInRange(1, 20);
  return true;
}

// The uncommon layouts, left out when a campaign keeps to the common files.
bool UncommonLayoutLeftOut(const Settings& s) {
  if (RASTRA_FUZZ_JPEG_ALL_LAYOUTS != 0) return false;
  if (s.components == 3) {
    if (s.h[1] != 1 || s.v[1] != 1 || s.h[2] != 1 || s.v[2] != 1) return true;
    if (s.h[0] > 2 || s.v[0] > 2) return true;
  }
  return s.script == ScanScript::kChosenSequential && s.scans.size() > 1;
}

// --- libjpeg-turbo's encoder ----------------------------------------------------

std::vector<std::uint8_t> Encode(const RgbImage& image, Settings& s) {
  std::vector<std::uint8_t> samples;
  if (s.components == 1) {
    samples.resize(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = image.rgb[3 * i + 1];
  } else {
    samples = image.rgb;
  }
  const auto configure = [&s](jpeg_compress_struct& cinfo) {
    jpeg_set_quality(&cinfo, s.quality, s.forceBaseline ? TRUE : FALSE);
    for (int c = 0; c < s.components; ++c) {
      cinfo.comp_info[c].h_samp_factor = s.h[c];
      cinfo.comp_info[c].v_samp_factor = s.v[c];
    }
    cinfo.optimize_coding = s.optimize ? TRUE : FALSE;
    cinfo.arith_code = s.arithmetic ? TRUE : FALSE;
    if (s.restart == Restart::kMcus) cinfo.restart_interval = static_cast<unsigned>(s.restartCount);
    if (s.restart == Restart::kRows) cinfo.restart_in_rows = s.restartCount;
    if (s.script == ScanScript::kSimpleProgression) jpeg_simple_progression(&cinfo);
    if (!s.scans.empty()) {
      cinfo.scan_info = s.scans.data();
      cinfo.num_scans = static_cast<int>(s.scans.size());
    }
  };
  return jpeg_test::CompressWithLibjpeg(image.width, image.height, s.components,
                                        s.components == 1 ? JCS_GRAYSCALE : JCS_RGB, samples, configure,
                                        [](jpeg_compress_struct&) {});
}

// With RASTRA_FUZZ_DUMP naming a path, a finding's file is written there
// too, for a regression test or another decoder to look at.
void Dump(const std::vector<std::uint8_t>& file) {
  const char* path = std::getenv("RASTRA_FUZZ_DUMP");
  if (path == nullptr) return;
  if (std::FILE* out = std::fopen(path, "wb")) {
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
  }
}

void Describe(const Settings& s, const RgbImage& image, int kind, const char* finding) {
  std::fprintf(stderr, "JPEG finding: %s\n  %d x %d picture of kind %d, %d component(s), sampling", finding,
               image.width, image.height, kind, s.components);
  for (int c = 0; c < s.components; ++c) std::fprintf(stderr, " %dx%d", s.h[c], s.v[c]);
  std::fprintf(stderr, ", quality %d%s%s%s, script %d (%zu scans), restart %d/%d\n", s.quality,
               s.forceBaseline ? " baseline" : "", s.optimize ? " optimised" : "", s.arithmetic ? " arithmetic" : "",
               static_cast<int>(s.script), s.scans.size(), static_cast<int>(s.restart), s.restartCount);
  for (const jpeg_scan_info& scan : s.scans) {
    std::fprintf(stderr, "  scan: %d component(s) from %d, Ss %d Se %d Ah %d Al %d\n", scan.comps_in_scan,
                 scan.component_index[0], scan.Ss, scan.Se, scan.Ah, scan.Al);
  }
}

// Smoothed chroma follows libjpeg-turbo's default decode: its upsampling of
// halved chroma and its order of the inverse transform. Layouts where each
// component has a factor of its own are upsampled otherwise by each decoder.
bool SmoothsAsLibjpeg(const Settings& s) {
  if (s.components == 1) return true;
  return s.components == 3 && s.h[1] == 1 && s.v[1] == 1 && s.h[2] == 1 && s.v[2] == 1 && s.h[0] <= 2 &&
         s.v[0] <= 2;
}

void CheckSmoothed(const std::vector<std::uint8_t>& file, const Settings& settings, const RgbImage& picture, int kind,
                   ReadOptions options) {
  options.smoothChroma = true;
  sys::Context ctx;
  ctx.SetMaxBlockBytes(kMaxDecodeBytes);
  const ReadResult ours = ReadJpegFile(file, options, ctx);
  const RgbImage theirs = jpeg_test::DecodeWithLibjpeg(file, true);
  if (!ours.image || theirs.rgb.empty()) {
    Describe(settings, picture, kind, "only one decoder decodes with smoothed chroma");
    __builtin_trap();
  }
  const jpeg_test::Difference difference = jpeg_test::Compare(*ours.image, theirs);
  if (!difference.sizeMatches || difference.maxAbs > 1) {
    Describe(settings, picture, kind, "the smoothed pictures differ");
    Dump(file);
    std::fprintf(stderr, "  largest difference %d, mean %.4f\n", difference.maxAbs, difference.meanAbs);
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Settings settings;
  if (!ChooseSettings(input, settings) || UncommonLayoutLeftOut(settings)) return 0;
  int kind = 0;
  const RgbImage picture = MakePicture(input, kind);
  const std::vector<std::uint8_t> file = Encode(picture, settings);
  if (file.empty()) return 0;

  const RgbImage theirs = jpeg_test::DecodeWithLibjpeg(file);
  ReadOptions options = FuzzReadOptions();
  options.limits.maxPixelBytes = kMaxDecodeBytes;
  sys::Context ctx;
  ctx.SetMaxBlockBytes(kMaxDecodeBytes);
  const ReadResult ours = ReadJpegFile(file, options, ctx);
  CheckReadResult(ours, ctx);
  if (theirs.rgb.empty() != !ours.image) {
    Describe(settings, picture, kind, theirs.rgb.empty() ? "only ours decodes" : "only libjpeg-turbo decodes");
    Dump(file);
    if (!ours.image) std::fprintf(stderr, "  ours: %s\n", ours.text.c_str());
    __builtin_trap();
  }
  if (!ours.image) return 0;
  const jpeg_test::Difference difference = jpeg_test::Compare(*ours.image, theirs);
  const int pixels = picture.width * picture.height;
  const double mean = difference.meanAbs * pixels / std::max(pixels, kMinMeanPixels);
  const int roundingLevels = settings.components == 1 ? 1 : 3;
  const bool onlyRounding = difference.maxAbs <= roundingLevels && RASTRA_FUZZ_JPEG_EXACT_ROUNDING == 0;
  if (!difference.sizeMatches || difference.maxAbs > kMaxDifference || (mean > kMaxMeanDifference && !onlyRounding)) {
    Describe(settings, picture, kind, "the pictures differ");
    Dump(file);
    std::fprintf(stderr, "  size matches %d, largest difference %d, mean %.4f (judged %.4f)\n",
                 difference.sizeMatches ? 1 : 0, difference.maxAbs, difference.meanAbs, mean);
    __builtin_trap();
  }
  if (SmoothsAsLibjpeg(settings)) CheckSmoothed(file, settings, picture, kind, options);
  return 0;
}
