// The JPEG decoder against libjpeg-turbo as an independent oracle, on pictures
// encoded here in every supported layout, and on damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "JpegTestSupport.h"
#include "ReaderTestSupport.h"
#include "readers/JpegDecoder.h"
#include "readers/JpegInternal.h"

using jpeg_test::Compare;
using jpeg_test::Decode;
using jpeg_test::Decoded;
using jpeg_test::Difference;
using jpeg_test::MakePhotoLike;
using jpeg_test::RgbImage;
using sys::Code;
using testing_support::ExplainsFailure;
using testing_support::FailsWith;

namespace {

constexpr int kMaxAllowedDiff = 3;
constexpr double kMaxAllowedMean = 0.1;

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.XSize != b.XSize || a.YSize != b.YSize || a.BytesPerLine != b.BytesPerLine) return false;
  return a.pData == b.pData;
}

// A minimal valid baseline file made by hand: 8 x 8 grey, one flat block.
std::vector<std::uint8_t> TinyGreyJpeg() {
  std::vector<std::uint8_t> f = {0xFF, 0xD8};
  // DQT: table 0, all ones.
  f.insert(f.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  f.insert(f.end(), 64, 1);
  // SOF0: 8 bits, 8 x 8, one component, 1x1, table 0.
  f.insert(f.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00});
  // DHT DC 0: one code of length 1 for symbol 0. DHT AC 0: one code of length 1 for EOB.
  f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x14, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
  f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x14, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
  // SOS, then the bits 0 (DC size 0) and 0 (EOB), padded with 1-bits.
  f.insert(f.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x3F});
  f.insert(f.end(), {0xFF, 0xD9});
  return f;
}

std::size_t FindMarker(const std::vector<std::uint8_t>& bytes, std::uint8_t marker) {
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == marker) return i;
  }
  return std::string::npos;
}

}  // namespace

TEST(JpegDecoderFile, HandMadeGreyBlockDecodesToMidGrey) {
  BitmapPtr b = Decode(TinyGreyJpeg()).result.image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->XSize, 8);
  EXPECT_EQ(b->YSize, 8);
  EXPECT_EQ(b->NumColors, 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Bitmap_GetPixel(*b, x, y), 0x808080u) << x << "," << y;
  }
}

TEST(JpegDecoderFile, BadStartsGiveNoImageAndAMessage) {
  const std::vector<std::vector<std::uint8_t>> files = {
      {},
      {0xFF},
      {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A},
      {0xFF, 0xD8},
      {0xFF, 0xD8, 0xFF, 0xD9},
  };
  for (const auto& file : files) {
    const Decoded d = Decode(file);
    EXPECT_EQ(d.Image(), nullptr) << file.size();
    EXPECT_TRUE(ExplainsFailure(d.result, d.ctx)) << file.size();
  }
  // What is no JPEG at all is told apart from a JPEG that ends early.
  EXPECT_TRUE(FailsWith(Decode(files[2]).result, Code::kNotRecognised));
  EXPECT_TRUE(FailsWith(Decode(files[3]).result, Code::kTruncated));
}

TEST(JpegDecoderFile, HandMadeFileTruncatedAnywhereGivesNoImage) {
  const std::vector<std::uint8_t> whole = TinyGreyJpeg();
  for (std::size_t n = 0; n < whole.size() - 1; ++n) {
    const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    const Decoded d = Decode(part);
    EXPECT_EQ(d.Image(), nullptr) << n;
    EXPECT_TRUE(ExplainsFailure(d.result, d.ctx)) << n;
  }
}

TEST(JpegDecoderFile, SegmentChecks) {
  const std::vector<std::uint8_t> good = TinyGreyJpeg();
  ASSERT_NE(Decode(good).Image(), nullptr);
  {
    // A DQT segment one byte longer than its table.
    std::vector<std::uint8_t> f = good;
    const std::size_t dqt = FindMarker(f, 0xDB);
    f[dqt + 3] += 1;
    f.insert(f.begin() + static_cast<std::ptrdiff_t>(dqt + 2 + 0x43), 0x01);
    EXPECT_TRUE(FailsWith(Decode(f).result, Code::kCorrupt));
  }
  {
    // A DRI segment of the wrong length.
    std::vector<std::uint8_t> f = good;
    f.insert(f.begin() + 2, {0xFF, 0xDD, 0x00, 0x05, 0x00, 0x01, 0x00});
    EXPECT_TRUE(FailsWith(Decode(f).result, Code::kCorrupt));
  }
  {
    // Adobe segments: transform 1 (YCbCr) is accepted, 0 and 2 are not.
    for (int transform = 0; transform <= 2; ++transform) {
      std::vector<std::uint8_t> f = good;
      f.insert(f.begin() + 2, {0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00, 0x64, 0x00, 0x00, 0x00, 0x00,
                               static_cast<std::uint8_t>(transform)});
      EXPECT_EQ(Decode(f).Image() != nullptr, transform == 1) << transform;
    }
  }
  {
    // A restart marker outside entropy data.
    std::vector<std::uint8_t> f = good;
    f.insert(f.begin() + 2, {0xFF, 0xD0});
    EXPECT_TRUE(FailsWith(Decode(f).result, Code::kCorrupt));
  }
  {
    // A scan naming an undefined AC table.
    std::vector<std::uint8_t> f = good;
    const std::size_t sos = FindMarker(f, 0xDA);
    f[sos + 6] = 0x01;
    EXPECT_TRUE(FailsWith(Decode(f).result, Code::kCorrupt));
  }
  {
    // A Huffman table whose code lengths overflow the code space.
    std::vector<std::uint8_t> f = good;
    const std::size_t dht = FindMarker(f, 0xC4);
    f[dht + 5] = 3;  // three codes of length 1
    f[dht + 3] += 2;
    f.insert(f.begin() + static_cast<std::ptrdiff_t>(dht + 21), {0x01, 0x02});
    EXPECT_TRUE(FailsWith(Decode(f).result, Code::kCorrupt));
  }
}

TEST(JpegDecoderFile, FrameChecks) {
  const std::vector<std::uint8_t> good = TinyGreyJpeg();
  const std::size_t sof = FindMarker(good, 0xC0);
  struct Case {
    std::size_t offset;
    std::uint8_t value;
    Code expected;
    const char* what;
  };
  const Case cases[] = {
      {sof + 1, 0xC9, Code::kUnsupported, "arithmetic"},  // SOF9
      {sof + 1, 0xC3, Code::kUnsupported, "lossless"},    // SOF3
      {sof + 4, 12, Code::kUnsupported, "12-bit"},        // precision
      {sof + 5, 0, Code::kCorrupt, "no pixels"},          // height 0 (high byte of 8 stays 0)
      {sof + 11, 0x00, Code::kCorrupt, "sampling"},       // H = V = 0
      {sof + 12, 0x04, Code::kCorrupt, "quantisation table number"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> f = good;
    f[c.offset] = c.value;
    if (c.offset == sof + 5) f[sof + 6] = 0;
    const Decoded d = Decode(f);
    EXPECT_TRUE(FailsWith(d.result, c.expected)) << c.what;
    EXPECT_EQ(d.ctx.Messages().size(), 1u) << c.what << ": " << d.All();
  }
}

TEST(JpegDecoderFile, HugeFrameClaimIsRefusedBeforeAllocating) {
  std::vector<std::uint8_t> f = TinyGreyJpeg();
  const std::size_t sof = FindMarker(f, 0xC0);
  f[sof + 5] = f[sof + 6] = f[sof + 7] = f[sof + 8] = 0xFF;  // 65535 x 65535
  const Decoded d = Decode(f);
  EXPECT_TRUE(FailsWith(d.result, Code::kTruncated));
  EXPECT_FALSE(testing_support::Recorded(d.ctx, Code::kOutOfMemory)) << d.All();
}

#ifdef RASTRA_HAVE_LIBJPEG

using jpeg_test::DecodeWithLibjpeg;
using jpeg_test::EncodeOptions;
using jpeg_test::EncodeWithLibjpeg;

namespace {

struct Layout {
  const char* name;
  int components;
  int h;
  int v;
};

constexpr Layout kLayouts[] = {
    {"grey", 1, 1, 1}, {"444", 3, 1, 1}, {"422", 3, 2, 1}, {"440", 3, 1, 2}, {"420", 3, 2, 2},
};

struct Size {
  int width;
  int height;
};

constexpr Size kSizes[] = {{17, 9}, {333, 251}, {64, 48}, {1, 1}, {8, 200}};

// Worst figures over all comparisons of this run, printed at the end.
Difference& Worst() {
  static Difference worst;
  return worst;
}

void ExpectMatchesOracle(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  ASSERT_FALSE(bytes.empty()) << what;
  const RgbImage reference = DecodeWithLibjpeg(bytes);
  ASSERT_FALSE(reference.rgb.empty()) << what;
  const Decoded read = Decode(bytes);
  const BitmapPtr& decoded = read.Image();
  ASSERT_NE(decoded, nullptr) << what << ": " << read.All();
  const Difference d = Compare(*decoded, reference);
  ASSERT_TRUE(d.sizeMatches) << what;
  EXPECT_LE(d.maxAbs, kMaxAllowedDiff) << what;
  EXPECT_LE(d.meanAbs, kMaxAllowedMean) << what;
  if (std::getenv("JPEG_TEST_VERBOSE") != nullptr) std::printf("%-40s max %d mean %.4f\n", what.c_str(), d.maxAbs, d.meanAbs);
  Worst().maxAbs = std::max(Worst().maxAbs, d.maxAbs);
  Worst().meanAbs = std::max(Worst().meanAbs, d.meanAbs);
}

std::string Describe(const Layout& layout, const Size& size, const EncodeOptions& o) {
  char text[160];
  std::snprintf(text, sizeof text, "%s %dx%d q%d%s%s rst%d/%d", layout.name, size.width, size.height, o.quality,
                o.progressive ? " progressive" : "", o.optimize ? " optimised" : "", o.restartMcus,
                o.restartRows);
  return text;
}

EncodeOptions OptionsFor(const Layout& layout) {
  EncodeOptions o;
  o.components = layout.components;
  o.hLuma = layout.h;
  o.vLuma = layout.v;
  return o;
}

}  // namespace

TEST(JpegDecoderOracle, EveryLayoutSizeAndQualityAgrees) {
  for (const Layout& layout : kLayouts) {
    for (const Size& size : kSizes) {
      const RgbImage picture = MakePhotoLike(size.width, size.height);
      for (int quality : {50, 75, 90, 100}) {
        EncodeOptions o = OptionsFor(layout);
        o.quality = quality;
        ExpectMatchesOracle(EncodeWithLibjpeg(picture, o), Describe(layout, size, o));
      }
    }
  }
}

TEST(JpegDecoderOracle, ProgressiveOptimisedAndRestartFilesAgree) {
  for (const Layout& layout : kLayouts) {
    for (const Size& size : kSizes) {
      const RgbImage picture = MakePhotoLike(size.width, size.height, 99);
      EncodeOptions base = OptionsFor(layout);
      base.quality = 85;
      std::vector<EncodeOptions> variants;
      EncodeOptions o = base;
      o.progressive = true;
      variants.push_back(o);
      o.quality = 60;
      o.restartMcus = 1;
      variants.push_back(o);
      o = base;
      o.optimize = true;
      variants.push_back(o);
      o = base;
      o.restartMcus = 1;
      variants.push_back(o);
      o = base;
      o.restartRows = 1;
      o.quality = 95;
      variants.push_back(o);
      o.restartRows = 0;
      o.restartMcus = 5;
      variants.push_back(o);
      for (const EncodeOptions& variant : variants) {
        ExpectMatchesOracle(EncodeWithLibjpeg(picture, variant), Describe(layout, size, variant));
      }
    }
  }
  std::printf("worst over the oracle comparisons: max abs %d, mean abs %.4f\n", Worst().maxAbs, Worst().meanAbs);
}

TEST(JpegDecoderOracle, OutputLayoutIsTopDownOpaqueTrueColour) {
  const RgbImage picture = MakePhotoLike(17, 9);
  EncodeOptions o;
  o.quality = 90;
  BitmapPtr b = Decode(EncodeWithLibjpeg(picture, o)).result.image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->XSize, 17);
  EXPECT_EQ(b->YSize, 9);
  EXPECT_EQ(b->BitsPerPixel, 32);
  EXPECT_EQ(b->HasAlpha, 0);
  const RgbImage reference = DecodeWithLibjpeg(EncodeWithLibjpeg(picture, o));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 17; ++x) {
      const Color c = Bitmap_GetPixel(*b, x, y);
      EXPECT_EQ(c >> 24, 0u);
      const std::uint8_t* ref = reference.rgb.data() + (y * 17 + x) * 3;
      EXPECT_NEAR(static_cast<int>(c & 0xFF), ref[0], kMaxAllowedDiff);
      EXPECT_NEAR(static_cast<int>((c >> 16) & 0xFF), ref[2], kMaxAllowedDiff);
    }
  }
}

TEST(JpegDecoderOracle, GreyFileGivesEqualChannels) {
  EncodeOptions o;
  o.components = 1;
  BitmapPtr b = Decode(EncodeWithLibjpeg(MakePhotoLike(40, 30), o)).result.image;
  ASSERT_NE(b, nullptr);
  for (int y = 0; y < b->YSize; ++y) {
    for (int x = 0; x < b->XSize; ++x) {
      const Color c = Bitmap_GetPixel(*b, x, y);
      ASSERT_EQ(c & 0xFF, (c >> 8) & 0xFF);
      ASSERT_EQ(c & 0xFF, (c >> 16) & 0xFF);
    }
  }
}

TEST(JpegDecoderOracle, SameCoefficientsGiveSamePixels) {
  for (const Layout& layout : kLayouts) {
    const RgbImage picture = MakePhotoLike(333, 251, 3);
    EncodeOptions o = OptionsFor(layout);
    o.quality = 80;
    const std::vector<std::uint8_t> baseline = EncodeWithLibjpeg(picture, o);
    BitmapPtr plain = Decode(baseline).result.image;
    ASSERT_NE(plain, nullptr) << layout.name;

    // Spectral selection and successive approximation over the same coefficients.
    BitmapPtr progressive = Decode(jpeg_test::TranscodeToProgressive(baseline)).result.image;
    ASSERT_NE(progressive, nullptr) << layout.name;
    EXPECT_TRUE(SamePixels(*plain, *progressive)) << layout.name;

    // Restart markers change nothing about the coefficients.
    for (int restart : {1, 7}) {
      EncodeOptions r = o;
      r.restartMcus = restart;
      BitmapPtr restarted = Decode(EncodeWithLibjpeg(picture, r)).result.image;
      ASSERT_NE(restarted, nullptr) << layout.name;
      EXPECT_TRUE(SamePixels(*plain, *restarted)) << layout.name << " restart " << restart;
    }

    // Comment, EXIF and ICC segments are skipped, also when they span several
    // input chunks.
    EncodeOptions m = o;
    m.markers = {{JPEG_COM, "made by a test"}, {JPEG_APP0 + 1, std::string("Exif\0\0MM", 8)},
                 {JPEG_APP0 + 2, "ICC_PROFILE" + std::string(20000, 'x')}, {JPEG_APP0 + 13, "Photoshop 3.0"}};
    BitmapPtr marked = Decode(EncodeWithLibjpeg(picture, m)).result.image;
    ASSERT_NE(marked, nullptr) << layout.name;
    EXPECT_TRUE(SamePixels(*plain, *marked)) << layout.name;
  }
}

TEST(JpegDecoderOracle, UnsupportedKindsGiveNoImage) {
  const RgbImage picture = MakePhotoLike(32, 32);
  EncodeOptions cmyk;
  cmyk.components = 4;
  {
    // The encoder marks CMYK with an Adobe segment, which is refused first,
    // for its colour transform.
    const Decoded d = Decode(EncodeWithLibjpeg(picture, cmyk));
    EXPECT_EQ(d.Image(), nullptr);
    EXPECT_TRUE(ExplainsFailure(d.result, d.ctx));
    EXPECT_EQ(d.result.text, "Cannot decode JPEG file: only YCbCr colour is supported (the Adobe transform is not 1)");
  }
  EncodeOptions separate;
  separate.hLuma = separate.vLuma = 1;
  separate.separateScans = true;
  {
    const Decoded d = Decode(EncodeWithLibjpeg(picture, separate));
    EXPECT_TRUE(FailsWith(d.result, Code::kUnsupported)) << d.All();
  }
}

TEST(JpegDecoderDamage, TruncatedBaselineFilesGiveNoImage) {
  for (const Layout& layout : kLayouts) {
    EncodeOptions o = OptionsFor(layout);
    const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(64, 48), o);
    // Cut inside the last MCU row, and at many other places.
    for (std::size_t cut = whole.size() - 2; cut > 0; cut = cut * 7 / 8) {
      const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
      const Decoded d = Decode(part);
      EXPECT_EQ(d.Image(), nullptr) << layout.name << " cut at " << cut;
      EXPECT_TRUE(ExplainsFailure(d.result, d.ctx)) << layout.name << " cut at " << cut;
    }
  }
}

TEST(JpegDecoderDamage, TruncatedProgressiveFilesNeverCrash) {
  EncodeOptions o;
  o.progressive = true;
  const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(64, 48), o);
  for (std::size_t cut = whole.size() - 1; cut > 0; cut = cut * 9 / 10) {
    const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    BitmapPtr b = Decode(part).result.image;
    if (b) {
      EXPECT_EQ(b->XSize, 64);
      EXPECT_EQ(b->YSize, 48);
    }
  }
}

TEST(JpegDecoderDamage, FlippedBitsNeverCrash) {
  std::mt19937 random(2024);
  for (const Layout& layout : kLayouts) {
    for (bool progressive : {false, true}) {
      EncodeOptions o = OptionsFor(layout);
      o.progressive = progressive;
      o.restartMcus = progressive ? 3 : 2;
      const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(40, 24), o);
      for (int trial = 0; trial < 60; ++trial) {
        std::vector<std::uint8_t> damaged = whole;
        const int flips = 1 + trial % 4;
        for (int i = 0; i < flips; ++i) {
          const std::size_t at = random() % damaged.size();
          damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << (random() % 8)));
        }
        const Decoded d = Decode(damaged);
        EXPECT_TRUE(ExplainsFailure(d.result, d.ctx)) << layout.name << " trial " << trial;
      }
    }
  }
}

TEST(JpegDecoderDamage, RestartMarkerOutOfSequenceGivesNoImage) {
  EncodeOptions o;
  o.restartMcus = 1;
  const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(64, 48), o);
  ASSERT_NE(Decode(whole).Image(), nullptr);
  std::vector<std::uint8_t> damaged = whole;
  const std::size_t sos = FindMarker(damaged, 0xDA);
  std::size_t rst = sos;
  for (int seen = 0; seen < 3; ++seen) {
    do {
      ++rst;
    } while (!(damaged[rst] == 0xFF && damaged[rst + 1] >= 0xD0 && damaged[rst + 1] <= 0xD7));
  }
  damaged[rst + 1] = static_cast<std::uint8_t>(0xD0 + ((damaged[rst + 1] - 0xD0 + 4) & 7));
  const Decoded d = Decode(damaged);
  EXPECT_EQ(d.Image(), nullptr);
  EXPECT_TRUE(ExplainsFailure(d.result, d.ctx));
}

TEST(JpegDecoderDamage, EndlessProgressiveScansAreCut) {
  EncodeOptions o;
  o.progressive = true;
  const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(32, 32), o);
  std::size_t lastScan = 0;
  for (std::size_t at = FindMarker(whole, 0xDA); at != std::string::npos;) {
    lastScan = at;
    const std::vector<std::uint8_t> rest(whole.begin() + static_cast<std::ptrdiff_t>(at + 2), whole.end());
    const std::size_t next = FindMarker(rest, 0xDA);
    at = next == std::string::npos ? next : at + 2 + next;
  }
  ASSERT_GT(lastScan, 0u);
  const std::vector<std::uint8_t> scan(whole.begin() + static_cast<std::ptrdiff_t>(lastScan), whole.end() - 2);
  auto withRepeats = [&](int repeats) {
    std::vector<std::uint8_t> f(whole.begin(), whole.end() - 2);
    for (int i = 0; i < repeats; ++i) f.insert(f.end(), scan.begin(), scan.end());
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
  };
  EXPECT_NE(Decode(withRepeats(5)).Image(), nullptr);
  const Decoded d = Decode(withRepeats(300));
  EXPECT_TRUE(FailsWith(d.result, Code::kCorrupt)) << d.All();
}

TEST(JpegDecoderDamage, CoefficientBuffersRespectTheAllocationCeiling) {
  EncodeOptions o;
  o.progressive = true;
  o.hLuma = o.vLuma = 1;
  const std::vector<std::uint8_t> bytes = EncodeWithLibjpeg(MakePhotoLike(256, 256), o);
  // Room for the picture (256 KiB) but not for its coefficients (384 KiB: three
  // full-size components at 128 bytes per block).
  ReadOptions options;
  options.limits.maxPixelBytes = 300 * 1024;
  const Decoded d = Decode(bytes, options);
  EXPECT_EQ(d.Image(), nullptr);
  ASSERT_FALSE(d.ctx.Messages().empty());
  EXPECT_TRUE(d.ctx.Messages()[0].allocator) << d.All();
  EXPECT_EQ(d.ctx.Messages()[0].code, Code::kOutOfMemory);
}

#endif  // RASTRA_HAVE_LIBJPEG

// The vector inverse DCT regroups the products of the flow graph; for the
// coefficients of real pictures it must give exactly the portable results.
TEST(JpegInverseDct, AgreesWithThePortableTransform) {
  std::mt19937 random(77);
  for (int trial = 0; trial < 20000; ++trial) {
    std::int16_t coefficients[kJpegBlockSize] = {};
    const int used = 1 + static_cast<int>(random() % 64);
    for (int k = 0; k < used; ++k) {
      const int u = kJpegZigzag[k] & 7;
      const int v = kJpegZigzag[k] >> 3;
      // Real blocks: large low frequencies, smaller high ones; some zeros.
      const int limit = 2048 / (1 + u + v);
      if (random() % 3 == 0) continue;
      coefficients[kJpegZigzag[k]] = static_cast<std::int16_t>(static_cast<int>(random() % (2 * limit + 1)) - limit);
    }
    std::uint8_t fast[kJpegBlockSize];
    std::uint8_t portable[kJpegBlockSize];
    JpegInverseDct(coefficients, used, fast);
    JpegInverseDctPortable(coefficients, used, portable);
    ASSERT_EQ(0, std::memcmp(fast, portable, sizeof fast)) << "trial " << trial;
  }
}

TEST(JpegInverseDct, FlatBlocksAndSingleFrequencies) {
  for (int dc : {-1024, -300, -1, 0, 1, 17, 500, 1023}) {
    std::int16_t coefficients[kJpegBlockSize] = {};
    coefficients[0] = static_cast<std::int16_t>(dc);
    std::uint8_t samples[kJpegBlockSize];
    JpegInverseDct(coefficients, 1, samples);
    // A lone DC term is the mean level: dc / 8 around 128, clamped.
    const int expected = std::clamp(((dc * 4 + 16) >> 5) + 128, 0, 255);
    for (std::uint8_t s : samples) ASSERT_EQ(s, expected) << dc;
  }
  // One horizontal frequency: every row the same, mirror-symmetric around the
  // centre for even frequencies, around the mid-level for odd ones.
  std::int16_t coefficients[kJpegBlockSize] = {};
  coefficients[1] = 200;
  std::uint8_t samples[kJpegBlockSize];
  JpegInverseDct(coefficients, 2, samples);
  for (int y = 1; y < 8; ++y) EXPECT_EQ(0, std::memcmp(samples, samples + 8 * y, 8));
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(samples[x] - 128, 128 - samples[7 - x], 1);
  EXPECT_GT(samples[0], samples[7]);
}
