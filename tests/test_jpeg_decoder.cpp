// The JPEG decoder against libjpeg-turbo as an independent oracle, on pictures
// encoded here in every supported layout, and on damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "JpegTestSupport.h"
#include "readers/JpegDecoder.h"
#include "readers/JpegDecoderContext.h"
#include "readers/JpegInternal.h"
#include "sys/Memory.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

using jpeg_test::Compare;
using jpeg_test::Difference;
using jpeg_test::MakePhotoLike;
using jpeg_test::RgbImage;

namespace {

constexpr int kMaxAllowedDiff = 3;
constexpr double kMaxAllowedMean = 0.1;

using sys::Code;

// The last read and what it recorded, for the checks that follow it.
jpeg_test::Decoded& LastRead() {
  static jpeg_test::Decoded last;
  return last;
}

BitmapPtr Decode(const std::vector<std::uint8_t>& bytes, const ReadOptions& options = {}) {
  LastRead() = jpeg_test::Decode(bytes, options);
  return std::move(LastRead().result.image);
}

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

// 32 x 8 grey, four blocks, whose DC codes are 0 (difference 0) and 1
// (difference +-1, with one more bit) and AC codes 0 (end of block) and 1 (16
// zeros). A good block is the bits 1 1 0: difference +1, so 128 + 64 / 8 =
// 136 after a restart; a damaged one runs past the end of the block.
// With restarts, each block is a restart segment.
std::vector<std::uint8_t> FourBlockJpeg(bool restarts, bool damageSecond) {
  std::vector<std::uint8_t> f = {0xFF, 0xD8};
  f.insert(f.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  f.insert(f.end(), 64, 64);
  f.insert(f.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x20, 0x01, 0x01, 0x11, 0x00});
  f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x15, 0x00, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01});
  f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x15, 0x10, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xF0});
  if (restarts) f.insert(f.end(), {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x01});
  f.insert(f.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  if (!restarts) {
    // 1 1 0, then 0 0 (no change) three times; or 1 1 0, then 1 1 and
    // sixteen zeros four times. 1-bits pad the last byte.
    if (damageSecond) {
      f.insert(f.end(), {0xDF, 0xFF, 0x00});
    } else {
      f.insert(f.end(), {0xC0, 0x7F});
    }
  }
  for (int block = 0; block < 4 && restarts; ++block) {
    if (block > 0) f.insert(f.end(), {0xFF, static_cast<std::uint8_t>(0xD0 + block - 1)});
    if (block == 1 && damageSecond) {
      f.insert(f.end(), {0xFF, 0x00});  // 1 1, then sixteen zeros four times
    } else {
      f.push_back(0xDF);  // 1 1 0 and padding
    }
  }
  f.insert(f.end(), {0xFF, 0xD9});
  return f;
}

struct DecoderRun {
  BitmapPtr bitmap;
  std::vector<JpegWarning> warnings;
};

// The decoder itself, to see the warnings it collects.
DecoderRun DecodeKeepingWarnings(const std::vector<std::uint8_t>& bytes) {
  const JpegInputFn input = [&bytes](std::uint64_t offset, std::size_t maxBytes, const std::uint8_t*& data) {
    if (offset >= bytes.size()) return std::size_t{0};
    data = bytes.data() + offset;
    return std::min<std::size_t>(maxBytes, bytes.size() - offset);
  };
  DecoderRun run;
  sys::Context ctx;
  const ReadLimits limits;
  auto decoder = std::make_unique<JpegDecoder>(input, bytes.size(), limits, ctx);  // large tables: not on the stack
  if (!decoder->ReadHeaders() || !decoder->SetupFrame()) return run;
  run.bitmap = Bitmap_Create(decoder->Frame().width, decoder->Frame().height, 0, ctx);
  if (!decoder->DecodeImage(*run.bitmap)) run.bitmap.reset();
  run.warnings = decoder->Warnings();
  return run;
}

int BlockLevel(const Bitmap& b, int block) { return static_cast<int>(Bitmap_GetPixel(b, 8 * block + 3, 4) & 0xFF); }

}  // namespace

TEST(JpegDecoderFile, HandMadeGreyBlockDecodesToMidGrey) {
  BitmapPtr b = Decode(TinyGreyJpeg());
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
    EXPECT_EQ(Decode(file), nullptr) << file.size();
    EXPECT_FALSE(LastRead().All().empty()) << file.size();
  }
}

TEST(JpegDecoderFile, HandMadeFileTruncatedAnywhereGivesNoImage) {
  const std::vector<std::uint8_t> whole = TinyGreyJpeg();
  for (std::size_t n = 0; n < whole.size() - 1; ++n) {
    const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Decode(part), nullptr) << n;
    EXPECT_FALSE(LastRead().All().empty()) << n;
  }
}

TEST(JpegDecoderFile, SegmentChecks) {
  const std::vector<std::uint8_t> good = TinyGreyJpeg();
  ASSERT_NE(Decode(good), nullptr);
  {
    // A DQT segment one byte longer than its table.
    std::vector<std::uint8_t> f = good;
    const std::size_t dqt = FindMarker(f, 0xDB);
    f[dqt + 3] += 1;
    f.insert(f.begin() + static_cast<std::ptrdiff_t>(dqt + 2 + 0x43), 0x01);
    EXPECT_EQ(Decode(f), nullptr);
    EXPECT_EQ(LastRead().result.code, Code::kCorrupt) << LastRead().All();
  }
  {
    // A DRI segment of the wrong length.
    std::vector<std::uint8_t> f = good;
    f.insert(f.begin() + 2, {0xFF, 0xDD, 0x00, 0x05, 0x00, 0x01, 0x00});
    EXPECT_EQ(Decode(f), nullptr);
  }
  {
    // Adobe segments: the transform only matters with three or four
    // components, so a grey file reads with any; one too short to hold the
    // transform is left out with a warning, and the picture reads as without.
    for (int transform = 0; transform <= 2; ++transform) {
      std::vector<std::uint8_t> f = good;
      f.insert(f.begin() + 2, {0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00, 0x64, 0x00, 0x00, 0x00, 0x00,
                               static_cast<std::uint8_t>(transform)});
      EXPECT_NE(Decode(f), nullptr) << transform << LastRead().All();
    }
    const BitmapPtr plain = Decode(good);
    ASSERT_NE(plain, nullptr);
    const std::vector<std::vector<std::uint8_t>> shortSegments = {
        {0xFF, 0xEE, 0x00, 0x08, 'A', 'd', 'o', 'b', 'e', 0x00}, {0xFF, 0xEE, 0x00, 0x02}};
    for (const std::vector<std::uint8_t>& segment : shortSegments) {
      std::vector<std::uint8_t> f = good;
      f.insert(f.begin() + 2, segment.begin(), segment.end());
      const BitmapPtr short14 = Decode(f);
      ASSERT_NE(short14, nullptr) << LastRead().All();
      EXPECT_EQ(short14->pData, plain->pData);
      EXPECT_EQ(LastRead().All(), "JPEG file damaged: an Adobe segment is too short to read; it is left out\n");
    }
  }
  {
    // Arithmetic conditioning: a lower DC bound above the upper one, and an
    // AC split index of 0.
    for (const std::uint8_t bad : {std::uint8_t{0x00}, std::uint8_t{0x10}}) {
      std::vector<std::uint8_t> f = good;
      const std::uint8_t value = bad == 0x00 ? std::uint8_t{0x15} : std::uint8_t{0x00};
      f.insert(f.begin() + 2, {0xFF, 0xCC, 0x00, 0x04, bad, value});
      EXPECT_EQ(Decode(f), nullptr);
      EXPECT_EQ(LastRead().result.code, Code::kCorrupt) << LastRead().All();
    }
  }
  {
    // A restart marker outside entropy data.
    std::vector<std::uint8_t> f = good;
    f.insert(f.begin() + 2, {0xFF, 0xD0});
    EXPECT_EQ(Decode(f), nullptr);
  }
  {
    // A scan naming an undefined AC table that has no standard one (2).
    std::vector<std::uint8_t> f = good;
    const std::size_t sos = FindMarker(f, 0xDA);
    f[sos + 6] = 0x02;
    EXPECT_EQ(Decode(f), nullptr);
    EXPECT_EQ(LastRead().result.code, Code::kCorrupt) << LastRead().All();
  }
  {
    // A Huffman table whose code lengths overflow the code space.
    std::vector<std::uint8_t> f = good;
    const std::size_t dht = FindMarker(f, 0xC4);
    f[dht + 5] = 3;  // three codes of length 1
    f[dht + 3] += 2;
    f.insert(f.begin() + static_cast<std::ptrdiff_t>(dht + 21), {0x01, 0x02});
    EXPECT_EQ(Decode(f), nullptr);
  }
}

TEST(JpegDecoderFile, FrameChecks) {
  const std::vector<std::uint8_t> good = TinyGreyJpeg();
  const std::size_t sof = FindMarker(good, 0xC0);
  struct Case {
    std::size_t offset;
    std::uint8_t value;
    const char* expected;
    Code code;
  };
  const Case cases[] = {
      {sof + 1, 0xCD, "hierarchical", Code::kUnsupported},  // SOF13, arithmetic and differential
      {sof + 1, 0xC5, "hierarchical", Code::kUnsupported},  // SOF5
      {sof + 1, 0xC3, "lossless", Code::kUnsupported},      // SOF3
      {sof + 1, 0xCB, "lossless", Code::kUnsupported},      // SOF11, arithmetic
      {sof + 4, 12, "12-bit", Code::kUnsupported},          // precision
      {sof + 5, 0, "no pixels", Code::kCorrupt},            // height 0 (high byte of 8 stays 0)
      {sof + 11, 0x00, "sampling", Code::kCorrupt},         // H = V = 0
      {sof + 12, 0x04, "quantisation", Code::kCorrupt},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> f = good;
    f[c.offset] = c.value;
    if (c.offset == sof + 5) f[sof + 6] = 0;
    EXPECT_EQ(Decode(f), nullptr) << c.expected;
    EXPECT_EQ(LastRead().result.code, c.code) << c.expected << ": " << LastRead().All();
  }
}

TEST(JpegDecoderFile, HugeFrameClaimIsRefusedBeforeAllocating) {
  std::vector<std::uint8_t> f = TinyGreyJpeg();
  const std::size_t sof = FindMarker(f, 0xC0);
  f[sof + 5] = f[sof + 6] = f[sof + 7] = f[sof + 8] = 0xFF;  // 65535 x 65535
  EXPECT_EQ(Decode(f), nullptr);
  EXPECT_EQ(LastRead().result.code, Code::kTruncated) << LastRead().All();
}


TEST(JpegDecoderWarnings, DamagedRestartSegmentGivesOneWarningAndTheOthersDecode) {
  {
    const DecoderRun good = DecodeKeepingWarnings(FourBlockJpeg(true, false));
    ASSERT_NE(good.bitmap, nullptr);
    EXPECT_TRUE(good.warnings.empty());
    for (int block = 0; block < 4; ++block) EXPECT_EQ(BlockLevel(*good.bitmap, block), 136) << block;
  }
  const DecoderRun damaged = DecodeKeepingWarnings(FourBlockJpeg(true, true));
  ASSERT_NE(damaged.bitmap, nullptr);
  ASSERT_EQ(damaged.warnings.size(), 1u);
  EXPECT_EQ(damaged.warnings[0].segment, 1);
  EXPECT_NE(damaged.warnings[0].text.find("damaged"), std::string::npos) << damaged.warnings[0].text;
  const int expected[4] = {136, 128, 136, 136};  // the lost block is left flat
  for (int block = 0; block < 4; ++block) EXPECT_EQ(BlockLevel(*damaged.bitmap, block), expected[block]) << block;
  // A read of the file gives the picture and records the damage as one
  // warning of its segment.
  EXPECT_NE(Decode(FourBlockJpeg(true, true)), nullptr);
  EXPECT_EQ(testing_support::WarningCount(LastRead().ctx), 1u) << LastRead().All();
  EXPECT_TRUE(testing_support::Recorded(LastRead().ctx, Code::kCorrupt, true));
}

TEST(JpegDecoderWarnings, DamageWithoutRestartsLosesTheRestWithOneWarning) {
  const DecoderRun good = DecodeKeepingWarnings(FourBlockJpeg(false, false));
  ASSERT_NE(good.bitmap, nullptr);
  EXPECT_TRUE(good.warnings.empty());
  for (int block = 0; block < 4; ++block) EXPECT_EQ(BlockLevel(*good.bitmap, block), 136) << block;
  const DecoderRun damaged = DecodeKeepingWarnings(FourBlockJpeg(false, true));
  ASSERT_NE(damaged.bitmap, nullptr);
  ASSERT_EQ(damaged.warnings.size(), 1u);
  EXPECT_EQ(damaged.warnings[0].segment, 0);
  for (int block = 1; block < 4; ++block) EXPECT_EQ(BlockLevel(*damaged.bitmap, block), 128) << block;
}

TEST(JpegDecoderWarnings, MissingEndMarkerKeepsTheFirstReason) {
  std::vector<std::uint8_t> f = FourBlockJpeg(true, false);
  f.resize(f.size() - 2);  // no end-of-image marker
  EXPECT_EQ(Decode(f), nullptr);
  EXPECT_EQ(LastRead().result.code, Code::kTruncated) << LastRead().All();
}

TEST(JpegDecoderWarnings, RestartMarkerOutOfOrderResynchronisesWithAWarning) {
  std::vector<std::uint8_t> f = FourBlockJpeg(true, false);
  const std::size_t second = FindMarker(f, 0xD1);
  f[second + 1] = 0xD5;  // the segment of block 2
  const DecoderRun run = DecodeKeepingWarnings(f);
  ASSERT_NE(run.bitmap, nullptr);
  // The wrong number, and the right one after it (which no longer follows),
  // are each warned about in the segment they start.
  ASSERT_EQ(run.warnings.size(), 2u);
  EXPECT_EQ(run.warnings[0].segment, 2);
  EXPECT_EQ(run.warnings[1].segment, 3);
  EXPECT_NE(run.warnings[0].text.find("restart marker"), std::string::npos) << run.warnings[0].text;
  // Each segment still starts afresh.
  for (int block = 0; block < 4; ++block) EXPECT_EQ(BlockLevel(*run.bitmap, block), 136) << block;
  // A read of the file tells of both: the same kind of damage in another
  // segment is news to the reader of the report.
  EXPECT_NE(Decode(f), nullptr);
  EXPECT_EQ(testing_support::WarningCount(LastRead().ctx), 2u) << LastRead().All();
}

TEST(JpegDecoderWarnings, RestartMarkerAfterTheLastIntervalIsHarmless) {
  std::vector<std::uint8_t> f = FourBlockJpeg(true, false);
  f.insert(f.end() - 2, {0xFF, 0xD3});
  const DecoderRun run = DecodeKeepingWarnings(f);
  ASSERT_NE(run.bitmap, nullptr);
  EXPECT_TRUE(run.warnings.empty());
  // Before any scan it is still out of place.
  f = FourBlockJpeg(true, false);
  f.insert(f.begin() + 2, {0xFF, 0xD0});
  EXPECT_EQ(Decode(f), nullptr);
  EXPECT_EQ(LastRead().result.code, Code::kCorrupt) << LastRead().All();
}

TEST(JpegDecoderWarnings, ScanDataEndingAtAnotherMarkerLeavesTheRestOut) {
  std::vector<std::uint8_t> f = FourBlockJpeg(true, false);
  const std::size_t second = FindMarker(f, 0xD1);
  f.erase(f.begin() + static_cast<std::ptrdiff_t>(second), f.end() - 2);  // blocks 2 and 3 gone, EOI kept
  const DecoderRun run = DecodeKeepingWarnings(f);
  ASSERT_NE(run.bitmap, nullptr);
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_NE(run.warnings[0].text.find("ends before"), std::string::npos) << run.warnings[0].text;
  const int expected[4] = {136, 136, 128, 128};
  for (int block = 0; block < 4; ++block) EXPECT_EQ(BlockLevel(*run.bitmap, block), expected[block]) << block;
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
  BitmapPtr decoded = Decode(bytes);
  ASSERT_NE(decoded, nullptr) << what << ": " << LastRead().All();
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
  BitmapPtr b = Decode(EncodeWithLibjpeg(picture, o));
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
  BitmapPtr b = Decode(EncodeWithLibjpeg(MakePhotoLike(40, 30), o));
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
    BitmapPtr plain = Decode(baseline);
    ASSERT_NE(plain, nullptr) << layout.name;

    // Spectral selection and successive approximation over the same coefficients.
    BitmapPtr progressive = Decode(jpeg_test::TranscodeToProgressive(baseline));
    ASSERT_NE(progressive, nullptr) << layout.name;
    EXPECT_TRUE(SamePixels(*plain, *progressive)) << layout.name;

    // Restart markers change nothing about the coefficients.
    for (int restart : {1, 7}) {
      EncodeOptions r = o;
      r.restartMcus = restart;
      BitmapPtr restarted = Decode(EncodeWithLibjpeg(picture, r));
      ASSERT_NE(restarted, nullptr) << layout.name;
      EXPECT_TRUE(SamePixels(*plain, *restarted)) << layout.name << " restart " << restart;
    }

    // Comment, EXIF and ICC segments are skipped, also when they span several
    // input chunks.
    EncodeOptions m = o;
    m.markers = {{JPEG_COM, "made by a test"}, {JPEG_APP0 + 1, std::string("Exif\0\0MM", 8)},
                 {JPEG_APP0 + 2, "ICC_PROFILE" + std::string(20000, 'x')}, {JPEG_APP0 + 13, "Photoshop 3.0"}};
    BitmapPtr marked = Decode(EncodeWithLibjpeg(picture, m));
    ASSERT_NE(marked, nullptr) << layout.name;
    EXPECT_TRUE(SamePixels(*plain, *marked)) << layout.name;
  }
}

TEST(JpegDecoderDamage, TruncatedBaselineFilesGiveNoImage) {
  for (const Layout& layout : kLayouts) {
    EncodeOptions o = OptionsFor(layout);
    const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(64, 48), o);
    // Cut inside the last MCU row, and at many other places.
    for (std::size_t cut = whole.size() - 2; cut > 0; cut = cut * 7 / 8) {
      const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
      EXPECT_EQ(Decode(part), nullptr) << layout.name << " cut at " << cut;
      EXPECT_FALSE(LastRead().All().empty());
    }
  }
}

TEST(JpegDecoderDamage, TruncatedBufferedFilesGiveNoImage) {
  EncodeOptions progressive;
  progressive.progressive = true;
  EncodeOptions separate;
  separate.separateScans = true;
  EncodeOptions arithmetic = progressive;
  arithmetic.arithmetic = true;
  for (const EncodeOptions& o : {progressive, separate, arithmetic}) {
    const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(64, 48), o);
    ASSERT_NE(Decode(whole), nullptr);
    for (std::size_t cut = whole.size() - 1; cut > 0; cut = cut * 9 / 10) {
      const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
      EXPECT_EQ(Decode(part), nullptr) << "cut at " << cut;
      EXPECT_FALSE(LastRead().All().empty());
    }
  }
}

TEST(JpegDecoderDamage, FlippedBitsNeverCrash) {
  std::mt19937 random(2024);
  for (const Layout& layout : kLayouts) {
    for (int kind = 0; kind < 4; ++kind) {
      EncodeOptions o = OptionsFor(layout);
      o.progressive = (kind & 1) != 0;
      o.arithmetic = (kind & 2) != 0;
      o.restartMcus = o.progressive ? 3 : 2;
      const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(40, 24), o);
      for (int trial = 0; trial < 60; ++trial) {
        std::vector<std::uint8_t> damaged = whole;
        const int flips = 1 + trial % 4;
        for (int i = 0; i < flips; ++i) {
          const std::size_t at = random() % damaged.size();
          damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << (random() % 8)));
        }
        BitmapPtr b = Decode(damaged);
        if (!b) {
          EXPECT_FALSE(LastRead().All().empty()) << layout.name << " trial " << trial;
        }
      }
    }
  }
}

TEST(JpegDecoderDamage, RestartMarkerOutOfSequenceStillGivesTheImage) {
  EncodeOptions o;
  o.restartMcus = 1;
  const std::vector<std::uint8_t> whole = EncodeWithLibjpeg(MakePhotoLike(64, 48), o);
  ASSERT_NE(Decode(whole), nullptr);
  std::vector<std::uint8_t> damaged = whole;
  const std::size_t sos = FindMarker(damaged, 0xDA);
  std::size_t rst = sos;
  for (int seen = 0; seen < 3; ++seen) {
    do {
      ++rst;
    } while (!(damaged[rst] == 0xFF && damaged[rst + 1] >= 0xD0 && damaged[rst + 1] <= 0xD7));
  }
  damaged[rst + 1] = static_cast<std::uint8_t>(0xD0 + ((damaged[rst + 1] - 0xD0 + 4) & 7));
  // No data is lost, so every segment still lands where it belongs; the
  // wrong number and the one after it (now also unexpected) are warned about.
  const DecoderRun run = DecodeKeepingWarnings(damaged);
  ASSERT_NE(run.bitmap, nullptr);
  EXPECT_TRUE(SamePixels(*Decode(whole), *run.bitmap));
  ASSERT_EQ(run.warnings.size(), 2u);
  EXPECT_EQ(run.warnings[0].segment, 3);
  EXPECT_EQ(run.warnings[1].segment, 4);
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
  EXPECT_NE(Decode(withRepeats(5)), nullptr);
  EXPECT_EQ(Decode(withRepeats(300)), nullptr);
  EXPECT_EQ(LastRead().result.code, Code::kCorrupt) << LastRead().All();
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
  BitmapPtr b = Decode(bytes, options);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(LastRead().result.code, Code::kOutOfMemory) << LastRead().All();
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

// The two-block transform (AVX2 where the processor has it) gives each block
// exactly the portable results.
TEST(JpegInverseDct, PairTransformAgreesWithThePortableOne) {
  std::mt19937 random(78);
  std::printf("two-block transform %s AVX2\n", JpegUsesAvx2() ? "uses" : "does not use");
  for (int trial = 0; trial < 10000; ++trial) {
    std::int16_t blocks[2][kJpegBlockSize] = {};
    for (auto& block : blocks) {
      const int used = 1 + static_cast<int>(random() % 64);
      for (int k = 0; k < used; ++k) {
        const int limit = 2048 / (1 + (kJpegZigzag[k] & 7) + (kJpegZigzag[k] >> 3));
        if (random() % 3 != 0) {
          block[kJpegZigzag[k]] = static_cast<std::int16_t>(static_cast<int>(random() % (2 * limit + 1)) - limit);
        }
      }
    }
    std::uint8_t pair[2][kJpegBlockSize];
    std::uint8_t portable[2][kJpegBlockSize];
    JpegInverseDctPair(blocks[0], blocks[1], pair[0], pair[1]);
    for (int i = 0; i < 2; ++i) {
      JpegInverseDctPortable(blocks[i], kJpegBlockSize, portable[i]);
      ASSERT_EQ(0, std::memcmp(pair[i], portable[i], kJpegBlockSize)) << "trial " << trial << " block " << i;
    }
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
