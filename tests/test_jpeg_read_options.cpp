// What the read options change in JPEG files: smooth chroma against
// libjpeg-turbo's default upsampling, the EXIF orientation tag; and
// Motion-JPEG frames, which rely on the standard Huffman tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "JpegTestSupport.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

#ifdef RASTRA_HAVE_LIBJPEG

namespace {

struct SmoothCase {
  int h;
  int v;
  int width;
  int height;
  bool progressive;
  int restartMcus;
};

ReadOptions Smooth() {
  ReadOptions options;
  options.smoothChroma = true;
  return options;
}

// Every halved layout at sizes that end inside a block, inside an MCU and on
// its edge, one and two MCU rows, chroma of one to three samples across (the
// narrowest repeat, as libjpeg-turbo does), progressive and with restarts;
// and full chroma, where only the order of the inverse transform changes.
class JpegSmoothChroma : public ::testing::TestWithParam<SmoothCase> {};

TEST_P(JpegSmoothChroma, MatchesLibjpegTurbosDefaultDecodeWithinOneLevel) {
  const SmoothCase& c = GetParam();
  jpeg_test::EncodeOptions encode;
  encode.hLuma = c.h;
  encode.vLuma = c.v;
  encode.quality = 85;
  encode.progressive = c.progressive;
  encode.restartMcus = c.restartMcus;
  const std::vector<std::uint8_t> file = jpeg_test::EncodeWithLibjpeg(jpeg_test::MakePhotoLike(c.width, c.height), encode);
  ASSERT_FALSE(file.empty());
  const jpeg_test::Decoded smooth = jpeg_test::Decode(file, Smooth());
  ASSERT_TRUE(smooth.Image()) << smooth.All();
  const jpeg_test::Difference fancy = jpeg_test::Compare(*smooth.Image(), jpeg_test::DecodeWithLibjpeg(file, true));
  ASSERT_TRUE(fancy.sizeMatches);
  // The inverse transform then runs columns first as libjpeg-turbo's does,
  // so the samples agree exactly, not only within the rounding of the order.
  EXPECT_LE(fancy.maxAbs, 1);
  EXPECT_LT(fancy.meanAbs, 0.001);
  // Off, the chroma is repeated as it always was (the transform's other
  // order rounds up to a level of luma and chroma differently).
  const jpeg_test::Decoded plain = jpeg_test::Decode(file);
  ASSERT_TRUE(plain.Image());
  const jpeg_test::Difference replicated = jpeg_test::Compare(*plain.Image(), jpeg_test::DecodeWithLibjpeg(file));
  EXPECT_LE(replicated.maxAbs, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegSmoothChroma,
    ::testing::Values(SmoothCase{2, 2, 64, 48, false, 0}, SmoothCase{2, 2, 17, 9, false, 0},
                      SmoothCase{2, 2, 131, 67, false, 0}, SmoothCase{2, 2, 33, 34, true, 0},
                      SmoothCase{2, 2, 40, 40, false, 1}, SmoothCase{2, 2, 5, 30, false, 0},
                      SmoothCase{2, 2, 4, 4, false, 0}, SmoothCase{2, 2, 3, 17, false, 0},
                      SmoothCase{2, 2, 1, 1, false, 0}, SmoothCase{2, 1, 64, 48, false, 0},
                      SmoothCase{2, 1, 37, 11, true, 0}, SmoothCase{2, 1, 6, 5, false, 0},
                      SmoothCase{2, 1, 4, 9, false, 0}, SmoothCase{1, 2, 48, 64, false, 0},
                      SmoothCase{1, 2, 11, 37, true, 0}, SmoothCase{1, 2, 1, 3, false, 0},
                      SmoothCase{1, 1, 45, 26, false, 0}, SmoothCase{1, 1, 30, 17, true, 0}));

// A picture whose every pixel differs, so that any turn or mirror shows.
jpeg_test::RgbImage Asymmetric(int width, int height) {
  jpeg_test::RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      p[0] = static_cast<std::uint8_t>(x * 30);
      p[1] = static_cast<std::uint8_t>(y * 40);
      p[2] = static_cast<std::uint8_t>(200 - 10 * x - 20 * y);
    }
  }
  return image;
}

// Where output pixel (x, y) comes from in a picture of w x h for each
// orientation: the tag says how the camera held it; the read turns it upright.
void SourceOf(int orientation, int w, int h, int x, int y, int& sx, int& sy) {
  switch (orientation) {
    case 2: sx = w - 1 - x; sy = y; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sx = x; sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
  }
}

TEST(JpegOrientation, EveryTagTurnsThePictureUprightWhenAsked) {
  jpeg_test::EncodeOptions encode;
  encode.hLuma = encode.vLuma = 1;
  encode.quality = 100;
  const std::vector<std::uint8_t> plainFile = jpeg_test::EncodeWithLibjpeg(Asymmetric(5, 3), encode);
  ASSERT_FALSE(plainFile.empty());
  const jpeg_test::Decoded plain = jpeg_test::Decode(plainFile);
  ASSERT_TRUE(plain.Image());
  EXPECT_EQ(plain.result.orientation, 1);
  ReadOptions turn;
  turn.applyOrientation = true;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (const bool bigEndian : {false, true}) {
      SCOPED_TRACE(std::to_string(orientation) + (bigEndian ? " MM" : " II"));
      std::vector<std::uint8_t> file = plainFile;
      const std::vector<std::uint8_t> exif = jpeg_test::ExifSegment(orientation, bigEndian);
      file.insert(file.begin() + 2, exif.begin(), exif.end());
      const jpeg_test::Decoded asStored = jpeg_test::Decode(file);
      ASSERT_TRUE(asStored.Image()) << asStored.All();
      EXPECT_EQ(asStored.result.orientation, orientation);
      EXPECT_FALSE(asStored.result.orientationApplied);
      EXPECT_EQ(asStored.Image()->pData, plain.Image()->pData);
      const jpeg_test::Decoded upright = jpeg_test::Decode(file, turn);
      ASSERT_TRUE(upright.Image()) << upright.All();
      EXPECT_EQ(upright.result.orientationApplied, orientation != 1);
      const Bitmap& out = *upright.Image();
      const bool swapped = orientation >= 5;
      ASSERT_EQ(out.XSize, swapped ? 3 : 5);
      ASSERT_EQ(out.YSize, swapped ? 5 : 3);
      for (int y = 0; y < out.YSize; ++y) {
        for (int x = 0; x < out.XSize; ++x) {
          int sx = 0;
          int sy = 0;
          SourceOf(orientation, 5, 3, x, y, sx, sy);
          EXPECT_EQ(Bitmap_GetPixel(out, x, y), Bitmap_GetPixel(*plain.Image(), sx, sy)) << x << "," << y;
        }
      }
    }
  }
}

// Tags that cannot be read leave the picture as it is, without a word.
TEST(JpegOrientation, UnreadableTagsCountAsUpright) {
  jpeg_test::EncodeOptions encode;
  const std::vector<std::uint8_t> plainFile = jpeg_test::EncodeWithLibjpeg(Asymmetric(5, 3), encode);
  ReadOptions turn;
  turn.applyOrientation = true;
  std::vector<std::vector<std::uint8_t>> segments;
  segments.push_back(jpeg_test::ExifSegment(9, false));                  // no such orientation
  std::vector<std::uint8_t> cut = jpeg_test::ExifSegment(6, true);
  cut.resize(cut.size() - 12);                                           // the tag's entry is cut off
  cut[3] = static_cast<std::uint8_t>(cut.size() - 2);
  segments.push_back(cut);
  segments.push_back({0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0});  // no TIFF data
  segments.push_back({0xFF, 0xE1, 0x00, 0x06, 'h', 't', 't', 'p'});       // XMP and the like
  for (const auto& segment : segments) {
    std::vector<std::uint8_t> file = plainFile;
    file.insert(file.begin() + 2, segment.begin(), segment.end());
    const jpeg_test::Decoded d = jpeg_test::Decode(file, turn);
    ASSERT_TRUE(d.Image()) << d.All();
    EXPECT_EQ(d.result.orientation, 1);
    EXPECT_EQ(d.Image()->XSize, 5);
    EXPECT_TRUE(d.ctx.Messages().empty()) << d.All();
  }
}

// Webcams and AVI frame grabs write Motion-JPEG frames: baseline files without
// a DHT segment, coded with the standard tables. Such a frame decodes as the
// same file with the tables written out does.
TEST(JpegMotionFrames, FramesWithoutHuffmanTablesUseTheStandardOnes) {
  for (const int hLuma : {1, 2}) {
    jpeg_test::EncodeOptions encode;
    encode.hLuma = hLuma;
    encode.restartMcus = hLuma == 2 ? 3 : 0;
    const std::vector<std::uint8_t> full = jpeg_test::EncodeWithLibjpeg(jpeg_test::MakePhotoLike(37, 21), encode);
    ASSERT_FALSE(full.empty());
    std::vector<std::uint8_t> frame;
    for (std::size_t i = 0; i < full.size();) {
      const bool dht = full[i] == 0xFF && i + 3 < full.size() && full[i + 1] == 0xC4;
      if (!dht) {
        frame.push_back(full[i++]);
        continue;
      }
      i += 2 + ((static_cast<std::size_t>(full[i + 2]) << 8) | full[i + 3]);
    }
    ASSERT_LT(frame.size(), full.size());
    const jpeg_test::Decoded withTables = jpeg_test::Decode(full);
    const jpeg_test::Decoded without = jpeg_test::Decode(frame);
    ASSERT_TRUE(withTables.Image());
    ASSERT_TRUE(without.Image()) << without.All();
    EXPECT_EQ(without.Image()->pData, withTables.Image()->pData);
    EXPECT_TRUE(without.ctx.Messages().empty()) << without.All();
  }
}

}  // namespace

#endif  // RASTRA_HAVE_LIBJPEG
