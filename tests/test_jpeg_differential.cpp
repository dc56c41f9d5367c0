// Files the differential harness (fuzz/fuzz_diff_jpeg.cpp) found our decoder
// reading otherwise than libjpeg-turbo, rebuilt here from their settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "JpegTestSupport.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

#ifdef RASTRA_HAVE_LIBJPEG

using jpeg_test::RgbImage;

namespace {

// Grey blocks of two crossing cosine waves: quantised at quality 90 every
// block holds the same two AC coefficients of 8-bit size (about 141) and
// nothing else, so optimised tables give that run/size symbol a one-bit code
// and its 8 value bits fill the decoder's 9-bit fast lookup exactly.
RgbImage CrossedWaves(int width, int height) {
  RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  const double pi = std::acos(-1.0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double wave = 50.0 * std::cos((2 * (x % 8) + 1) * pi / 16) + 50.0 * std::cos((2 * (y % 8) + 1) * pi / 16);
      const auto value = static_cast<std::uint8_t>(std::lround(128.0 + wave));
      std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      p[0] = p[1] = p[2] = value;
    }
  }
  return image;
}

void ExpectBothDecodersAgree(const std::vector<std::uint8_t>& file) {
  ASSERT_FALSE(file.empty());
  const RgbImage theirs = jpeg_test::DecodeWithLibjpeg(file);
  const jpeg_test::Decoded ours = jpeg_test::Decode(file);
  ASSERT_TRUE(ours.Image()) << ours.All();
  const jpeg_test::Difference d = jpeg_test::Compare(*ours.Image(), theirs);
  ASSERT_TRUE(d.sizeMatches);
  EXPECT_LE(d.maxAbs, 1);
  EXPECT_LE(d.meanAbs, 0.1);
}

}  // namespace

// Values of 128 to 255 (size 8) came out wrapped to another value and sign
// when their code was one bit long: the fast table packs the value into the
// upper byte of a 16-bit entry, which holds only -128 to 127.
TEST(JpegDifferential, OneBitCodesOfEightBitValuesDecodeAsLibjpegDoes) {
  jpeg_test::EncodeOptions sequential;
  sequential.components = 1;
  sequential.quality = 90;
  sequential.optimize = true;
  ExpectBothDecodersAgree(jpeg_test::EncodeWithLibjpeg(CrossedWaves(64, 48), sequential));

  jpeg_test::EncodeOptions progressive = sequential;
  progressive.progressive = true;
  ExpectBothDecodersAgree(jpeg_test::EncodeWithLibjpeg(CrossedWaves(8, 183), progressive));
}

// A flat grey picture coded arithmetically at quality 1 takes a few bytes for
// thousands of blocks; it was refused as "too short for the picture size its
// header claims", a bound that holds only for Huffman coding.
TEST(JpegDifferential, ArithmeticFilesSmallerThanABitPerBlockDecode) {
  const int side = 512;
  RgbImage flat{side, side, std::vector<std::uint8_t>(static_cast<std::size_t>(side) * side * 3, 128)};
  jpeg_test::EncodeOptions options;
  options.components = 1;
  options.sampling = {{1, 4}};
  options.quality = 1;
  options.arithmetic = true;
  const std::vector<std::uint8_t> file = jpeg_test::EncodeWithLibjpeg(flat, options);
  ASSERT_LT(file.size() * 8, static_cast<std::size_t>(side / 8) * (side / 8));  // fewer bits than blocks
  ExpectBothDecodersAgree(file);
}

#else

TEST(JpegDifferential, NeedsLibjpeg) { GTEST_SKIP() << "libjpeg-turbo is not installed; no oracle to compare with"; }

#endif
