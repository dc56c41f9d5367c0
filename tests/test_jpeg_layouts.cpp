// The JPEG decoder against libjpeg-turbo over every sampling layout it
// accepts, with restarts, optimised tables, arithmetic coding, progressive and
// hand-written scan scripts, and four-component (CMYK, YCCK) files; and the
// general colour conversion against the fixed-layout one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "JpegTestSupport.h"
#include "readers/JpegDecoder.h"
#include "readers/JpegInternal.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

using jpeg_test::Compare;
using jpeg_test::Difference;
using jpeg_test::MakePhotoLike;
using jpeg_test::RgbImage;

namespace {

constexpr int kMaxAllowedDiff = 3;
constexpr double kMaxAllowedMean = 0.1;

using Sampling = std::vector<std::pair<int, int>>;

// Every assignment of factors 1 to 4 to `components` components where each
// divides the largest and an MCU holds at most 10 blocks.
std::vector<Sampling> AllLayouts(int components) {
  std::vector<Sampling> layouts;
  const int choices = 16;
  int total = 1;
  for (int c = 0; c < components; ++c) total *= choices;
  for (int code = 0; code < total; ++code) {
    Sampling s;
    int rest = code;
    for (int c = 0; c < components; ++c, rest /= choices) s.emplace_back(1 + rest % 4, 1 + (rest / 4) % 4);
    int hMax = 0;
    int vMax = 0;
    int blocks = 0;
    for (const auto& [h, v] : s) {
      hMax = std::max(hMax, h);
      vMax = std::max(vMax, v);
      blocks += h * v;
    }
    const bool divides = std::all_of(s.begin(), s.end(), [&](const auto& f) {
      return hMax % f.first == 0 && vMax % f.second == 0;
    });
    if (divides && blocks <= 10) layouts.push_back(s);
  }
  return layouts;
}

std::string Name(const Sampling& s) {
  std::string name;
  for (const auto& [h, v] : s) name += std::to_string(h) + "x" + std::to_string(v) + " ";
  return name;
}

#ifdef RASTRA_HAVE_LIBJPEG

using jpeg_test::DecodeWithLibjpeg;
using jpeg_test::EncodeOptions;
using jpeg_test::EncodeWithLibjpeg;

// Compares with the oracle and returns the figures (for the worst-case line).
Difference ExpectMatchesOracle(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  Difference d;
  EXPECT_FALSE(bytes.empty()) << what;
  if (bytes.empty()) return d;
  const RgbImage reference = DecodeWithLibjpeg(bytes);
  EXPECT_FALSE(reference.rgb.empty()) << what;
  jpeg_test::Decoded read_decoded = jpeg_test::Decode(bytes);
  BitmapPtr decoded = std::move(read_decoded.result.image);
  EXPECT_NE(decoded, nullptr) << what << ": " << read_decoded.All();
  if (!decoded || reference.rgb.empty()) return d;
  d = Compare(*decoded, reference);
  EXPECT_TRUE(d.sizeMatches) << what;
  EXPECT_LE(d.maxAbs, kMaxAllowedDiff) << what;
  EXPECT_LE(d.meanAbs, kMaxAllowedMean) << what;
  return d;
}

jpeg_scan_info Scan(std::initializer_list<int> components, int ss, int se, int ah, int al) {
  jpeg_scan_info scan{};
  scan.comps_in_scan = static_cast<int>(components.size());
  int i = 0;
  for (int c : components) scan.component_index[i++] = c;
  scan.Ss = ss;
  scan.Se = se;
  scan.Ah = ah;
  scan.Al = al;
  return scan;
}

// Progressive scans of our own: DC with successive approximation for all
// components at once, AC bands split differently per component, refinements
// in an unusual order.
std::vector<jpeg_scan_info> CustomProgressiveScript() {
  return {Scan({0, 1, 2}, 0, 0, 0, 1), Scan({0}, 1, 5, 0, 2),  Scan({2}, 1, 63, 0, 1), Scan({1}, 1, 63, 0, 1),
          Scan({0}, 6, 63, 0, 2),      Scan({0}, 1, 63, 2, 1), Scan({0, 1, 2}, 0, 0, 1, 0), Scan({1}, 1, 63, 1, 0),
          Scan({2}, 1, 63, 1, 0),      Scan({0}, 1, 63, 1, 0)};
}

// Sequential scans: one per component in frame order, and luma alone followed
// by both chroma components together.
std::vector<jpeg_scan_info> SequentialScript(bool grouped) {
  if (grouped) return {Scan({0}, 0, 63, 0, 0), Scan({1, 2}, 0, 63, 0, 0)};
  return {Scan({0}, 0, 63, 0, 0), Scan({1}, 0, 63, 0, 0), Scan({2}, 0, 63, 0, 0)};
}

// The variants each layout is also tried with, in turn.
EncodeOptions Variant(int index, const Sampling& layout) {
  EncodeOptions o;
  o.sampling = layout;
  o.quality = 85;
  switch (index % 8) {
    case 0:
      o.restartMcus = 1;
      break;
    case 1:
      o.optimize = true;
      o.restartRows = 1;
      break;
    case 2:
      o.arithmetic = true;
      break;
    case 3:
      o.progressive = true;
      break;
    case 4:
      o.arithmetic = true;
      o.progressive = true;
      o.restartMcus = 3;
      break;
    case 5:
      o.scans = SequentialScript(false);
      o.restartMcus = 2;
      break;
    case 6:
      o.scans = SequentialScript(true);
      o.arithmetic = true;
      break;
    default:
      o.scans = CustomProgressiveScript();
      break;
  }
  return o;
}

}  // namespace

TEST(JpegLayoutOracle, EveryThreeComponentLayoutAgrees) {
  const std::vector<Sampling> layouts = AllLayouts(3);
  ASSERT_GT(layouts.size(), 300u);
  const RgbImage picture = MakePhotoLike(75, 45, 11);
  Difference worst;
  int index = 0;
  for (const Sampling& layout : layouts) {
    EncodeOptions plain;
    plain.sampling = layout;
    for (const EncodeOptions& o : {plain, Variant(index, layout)}) {
      const Difference d = ExpectMatchesOracle(EncodeWithLibjpeg(picture, o), Name(layout) + std::to_string(index));
      worst.maxAbs = std::max(worst.maxAbs, d.maxAbs);
      worst.meanAbs = std::max(worst.meanAbs, d.meanAbs);
    }
    ++index;
  }
  std::printf("%zu layouts, worst: max abs %d, mean abs %.4f\n", layouts.size(), worst.maxAbs, worst.meanAbs);
}

TEST(JpegLayoutOracle, NamedLayoutsInEveryCodingAgree) {
  const Sampling named[] = {{{3, 1}, {1, 1}, {1, 1}}, {{4, 1}, {1, 1}, {1, 1}}, {{4, 2}, {1, 1}, {1, 1}},
                            {{1, 3}, {1, 1}, {1, 1}}, {{2, 2}, {1, 2}, {2, 1}}, {{2, 2}, {2, 2}, {1, 1}},
                            {{1, 1}, {2, 2}, {1, 1}}, {{2, 2}, {1, 1}, {1, 1}}};
  const RgbImage picture = MakePhotoLike(101, 67, 5);
  for (const Sampling& layout : named) {
    for (int variant = 0; variant < 8; ++variant) {
      ExpectMatchesOracle(EncodeWithLibjpeg(picture, Variant(variant, layout)),
                          Name(layout) + "variant " + std::to_string(variant));
    }
  }
}

TEST(JpegLayoutOracle, GreyWithAnySamplingFactorsAgrees) {
  const RgbImage picture = MakePhotoLike(45, 37, 2);
  for (const auto& factors : AllLayouts(1)) {
    EncodeOptions o;
    o.components = 1;
    o.sampling = factors;
    o.arithmetic = factors[0].first == 2;
    ExpectMatchesOracle(EncodeWithLibjpeg(picture, o), "grey " + Name(factors));
  }
}

TEST(JpegLayoutOracle, CmykAndYcckAgree) {
  const std::vector<Sampling> layouts = AllLayouts(4);
  const RgbImage picture = MakePhotoLike(53, 41, 8);
  int tried = 0;
  for (std::size_t i = 0; i < layouts.size(); i += 23) {
    for (bool ycck : {false, true}) {
      EncodeOptions o;
      o.components = 4;
      o.ycck = ycck;
      o.sampling = layouts[i];
      o.progressive = (i / 23) % 3 == 1;
      o.arithmetic = (i / 23) % 4 == 2;
      ExpectMatchesOracle(EncodeWithLibjpeg(picture, o), (ycck ? "YCCK " : "CMYK ") + Name(layouts[i]));
      ++tried;
    }
  }
  EXPECT_GT(tried, 50);
}

TEST(JpegLayoutOracle, StoredRgbAgrees) {
  const RgbImage picture = MakePhotoLike(61, 43, 12);
  for (int variant = 0; variant < 4; ++variant) {
    EncodeOptions o;
    o.storeRgb = true;
    o.sampling = {{1, 1}, {1, 1}, {1, 1}};
    o.progressive = variant % 2 == 1;
    o.arithmetic = variant >= 2;
    ExpectMatchesOracle(EncodeWithLibjpeg(picture, o), "RGB variant " + std::to_string(variant));
  }
}

TEST(JpegLayoutOracle, ArithmeticConditioningOfItsOwnAgrees) {
  const RgbImage picture = MakePhotoLike(64, 64, 4);
  struct Conditioning {
    int lower;
    int upper;
    int split;
  };
  for (const Conditioning& c : {Conditioning{0, 0, 1}, Conditioning{1, 3, 20}, Conditioning{2, 5, 63},
                                Conditioning{4, 15, 5}}) {
    for (bool progressive : {false, true}) {
      EncodeOptions o;
      o.arithmetic = true;
      o.progressive = progressive;
      o.arithDcLower = c.lower;
      o.arithDcUpper = c.upper;
      o.arithAcSplit = c.split;
      ExpectMatchesOracle(EncodeWithLibjpeg(picture, o), "L " + std::to_string(c.lower) + " U " +
                                                             std::to_string(c.upper) + " K " +
                                                             std::to_string(c.split));
    }
  }
}

// Arithmetic coding and a split into scans change how the coefficients are
// stored, not what they are: the pixels must not change at all.
TEST(JpegLayoutOracle, SameCoefficientsInAnyCodingGiveSamePixels) {
  const RgbImage picture = MakePhotoLike(150, 99, 21);
  for (const Sampling& layout : {Sampling{{2, 2}, {1, 1}, {1, 1}}, Sampling{{4, 1}, {2, 1}, {1, 1}}}) {
    EncodeOptions o;
    o.sampling = layout;
    const std::vector<std::uint8_t> baseline = EncodeWithLibjpeg(picture, o);
    jpeg_test::Decoded read_plain = jpeg_test::Decode(baseline);
  BitmapPtr plain = std::move(read_plain.result.image);
    ASSERT_NE(plain, nullptr);
    for (int kind = 0; kind < 4; ++kind) {
      jpeg_test::TranscodeOptions t;
      t.arithmetic = (kind & 1) != 0;
      t.progressive = kind == 1 || kind == 3;
      t.separateScans = kind == 2;
      jpeg_test::Decoded read_other = jpeg_test::Decode(jpeg_test::Transcode(baseline, t));
  BitmapPtr other = std::move(read_other.result.image);
      ASSERT_NE(other, nullptr) << Name(layout) << kind << read_other.All();
      EXPECT_EQ(plain->pData, other->pData) << Name(layout) << " kind " << kind;
    }
  }
}

TEST(JpegLayoutOracle, ScansWithTooManyBlocksAreRefused) {
  // 3 x 2 luma with 3 x 1 chroma would need 12 blocks per MCU: libjpeg-turbo
  // refuses to write that, so the frame header is patched instead.
  EncodeOptions o;
  o.sampling = {{3, 2}, {1, 1}, {1, 1}};
  std::vector<std::uint8_t> bytes = EncodeWithLibjpeg(MakePhotoLike(48, 48), o);
  ASSERT_FALSE(bytes.empty());
  std::size_t sof = 0;
  while (!(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC0)) ++sof;
  bytes[sof + 14] = 0x31;  // the chroma components' factors
  bytes[sof + 17] = 0x31;
  jpeg_test::Decoded read = jpeg_test::Decode(bytes);
  EXPECT_EQ(read.Image(), nullptr);
  EXPECT_EQ(read.result.code, sys::Code::kCorrupt) << read.All();
}

TEST(JpegLayoutOracle, ScanListingAComponentTwiceIsRefused) {
  EncodeOptions o;
  std::vector<std::uint8_t> bytes = EncodeWithLibjpeg(MakePhotoLike(32, 32), o);
  ASSERT_FALSE(bytes.empty());
  std::size_t sos = 0;
  while (!(bytes[sos] == 0xFF && bytes[sos + 1] == 0xDA)) ++sos;
  bytes[sos + 7] = bytes[sos + 5];  // the second component's id becomes the first's
  jpeg_test::Decoded read = jpeg_test::Decode(bytes);
  EXPECT_EQ(read.Image(), nullptr);
  EXPECT_EQ(read.result.code, sys::Code::kCorrupt) << read.All();
}

#endif  // RASTRA_HAVE_LIBJPEG

// The general conversion, and each of the fixed-layout ones (with or without
// AVX2, written through the caches or past them), give exactly the same
// pixels.
TEST(JpegColorConversion, EveryPathGivesTheSamePixels) {
  struct Fixed {
    JpegScanType type;
    int h;
    int v;
  };
  std::mt19937 random(5);
  for (const Fixed& f : {Fixed{JpegScanType::kH1V1, 1, 1}, Fixed{JpegScanType::kH2V1, 2, 1},
                         Fixed{JpegScanType::kH1V2, 1, 2}, Fixed{JpegScanType::kH2V2, 2, 2}}) {
    const int mcus = 5;
    const int blocksPerMcu = f.h * f.v + 2;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(mcus) * blocksPerMcu * kJpegBlockSize);
    for (std::uint8_t& s : samples) s = static_cast<std::uint8_t>(random());
    JpegRowLayout layout;
    layout.componentCount = 3;
    layout.blocksPerMcu = blocksPerMcu;
    layout.mcusPerRow = mcus;
    layout.mcuWidth = 8 * f.h;
    layout.firstBlock = {0, f.h * f.v, f.h * f.v + 1, 0};
    layout.blocksAcross = {f.h, 1, 1, 0};
    layout.repeatAcross = {1, f.h, f.h, 1};
    layout.repeatDown = {1, f.v, f.v, 1};
    for (int width : {8 * f.h * mcus, 8 * f.h * mcus - 3, 8 * f.h * (mcus - 1)}) {
      const int lines = 8 * f.v - 1;
      const std::size_t stride = static_cast<std::size_t>(width) * 4;
      // Rows on 64-byte boundaries where the width allows, so that the
      // streamed stores are used too.
      std::vector<std::uint8_t> storage(stride * lines + 64);
      std::uint8_t* base = storage.data() + (64 - reinterpret_cast<std::uintptr_t>(storage.data()) % 64) % 64;
      std::vector<std::uint8_t*> rows;
      for (int y = 0; y < lines; ++y) rows.push_back(base + stride * static_cast<std::size_t>(y));
      JpegConvertMcuRowGeneral(layout, JpegColorSpace::kYCbCr, samples.data(), width, lines, rows.data());
      const std::vector<std::uint8_t> expected(base, base + stride * lines);
      for (int avx2 = 0; avx2 <= (JpegUsesAvx2() ? 1 : 0); ++avx2) {
        for (bool stream : {false, true}) {
          std::fill(storage.begin(), storage.end(), std::uint8_t{0xAA});
          JpegConvertMcuRowWith(f.type, samples.data(), mcus, width, lines, rows.data(), stream, avx2 != 0);
          EXPECT_TRUE(std::equal(expected.begin(), expected.end(), base))
              << f.h << "x" << f.v << " width " << width << " avx2 " << avx2 << " stream " << stream;
        }
      }
    }
  }
}

// The vector chroma terms against the tables for every Cb, Cr pair, with a
// mid-grey luma so that almost no result is clamped.
TEST(JpegColorConversion, ChromaTermsMatchTheTablesForEveryPair) {
  constexpr int kMcus = 1024;  // 64 pairs per MCU
  constexpr int kWidth = 8 * kMcus;
  std::vector<std::uint8_t> samples(static_cast<std::size_t>(kMcus) * 3 * kJpegBlockSize, 128);
  for (int pair = 0; pair < 256 * 256; ++pair) {
    std::uint8_t* mcu = samples.data() + static_cast<std::size_t>(pair / 64) * 3 * kJpegBlockSize;
    mcu[kJpegBlockSize + pair % 64] = static_cast<std::uint8_t>(pair >> 8);
    mcu[2 * kJpegBlockSize + pair % 64] = static_cast<std::uint8_t>(pair & 255);
  }
  JpegRowLayout layout;
  layout.componentCount = 3;
  layout.blocksPerMcu = 3;
  layout.mcusPerRow = kMcus;
  layout.mcuWidth = 8;
  layout.firstBlock = {0, 1, 2, 0};
  layout.blocksAcross = {1, 1, 1, 0};
  layout.repeatAcross = {1, 1, 1, 1};
  layout.repeatDown = {1, 1, 1, 1};
  const std::size_t stride = static_cast<std::size_t>(kWidth) * 4;
  std::vector<std::uint8_t> expected(stride * 8);
  std::vector<std::uint8_t> actual(stride * 8);
  std::vector<std::uint8_t*> expectedRows;
  std::vector<std::uint8_t*> actualRows;
  for (int y = 0; y < 8; ++y) {
    expectedRows.push_back(expected.data() + stride * static_cast<std::size_t>(y));
    actualRows.push_back(actual.data() + stride * static_cast<std::size_t>(y));
  }
  JpegConvertMcuRowGeneral(layout, JpegColorSpace::kYCbCr, samples.data(), kWidth, 8, expectedRows.data());
  for (int avx2 = 0; avx2 <= (JpegUsesAvx2() ? 1 : 0); ++avx2) {
    JpegConvertMcuRowWith(JpegScanType::kH1V1, samples.data(), kMcus, kWidth, 8, actualRows.data(), false, avx2 != 0);
    EXPECT_EQ(expected, actual) << "avx2 " << avx2;
  }
}
