// PNG decoding through libpng, from files assembled chunk by chunk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "ReaderTestSupport.h"
#include "TestSupport.h"
#include "readers/PngReader.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using sys::Code;
using testing_support::FailsWith;
using testing_support::ReadRecorder;
using Bytes = std::vector<std::uint8_t>;

using png_test::AddChunk;
using png_test::Encode;
using png_test::Png;

class PngReaderTest : public ::testing::Test {
 protected:
  ReadResult Read(const Bytes& file, const ReadOptions& options = {}) { return ReadPngFile(file, options, rec.Ctx()); }
  ReadRecorder rec;
};

TEST_F(PngReaderTest, PaletteWithTransparencyBecomesTrueColourWithAlpha) {
  Png p;
  p.width = 2;
  p.colorType = 3;
  p.palette = {0x10, 0x20, 0x30, 0xA0, 0xB0, 0xC0};
  p.trns = {0x00, 0xFF};
  p.rows = {{0, 1}};
  BitmapPtr b = Read(Encode(p)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 0);
  EXPECT_EQ(b->BitsPerPixel, 32);
  EXPECT_EQ(b->HasAlpha, 1);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0xFF302010u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0x00C0B0A0u);
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(PngReaderTest, SixteenBitSamplesKeepTheirHighByte) {
  Png p;
  p.bitDepth = 16;
  p.rows = {{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80}};
  BitmapPtr b = Read(Encode(p)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00563412u);
  EXPECT_EQ(b->HasAlpha, 0);
}

TEST_F(PngReaderTest, OneBitGreyBecomesBlackAndWhite) {
  Png p;
  p.width = 3;
  p.height = 2;
  p.bitDepth = 1;
  p.colorType = 0;
  p.rows = {{0b10100000}, {0b01000000}};
  BitmapPtr b = Read(Encode(p)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasAlpha, 0);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00FFFFFFu);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0x00000000u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 2, 0), 0x00FFFFFFu);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 1), 0x00000000u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 1), 0x00FFFFFFu);
}

TEST_F(PngReaderTest, GreyWithAlphaIsGreyTrueColourWithAlpha) {
  Png p;
  p.width = 2;
  p.colorType = 4;
  p.rows = {{0x40, 0xFF, 0x90, 0x30}};
  BitmapPtr b = Read(Encode(p)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasAlpha, 1);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00404040u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0xCF909090u);
}

TEST_F(PngReaderTest, BackgroundChunkLeavesOpaqueAndAlphaPixelsAsTheyAre) {
  Png rgb;
  rgb.width = 2;
  rgb.rows = {{1, 2, 3, 250, 251, 252}};
  rgb.bkgd = {0, 0xFF, 0, 0, 0, 0};
  BitmapPtr b = Read(Encode(rgb)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasAlpha, 0);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00030201u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0x00FCFBFAu);

  // With an alpha channel the background is not composed in.
  Png rgba;
  rgba.colorType = 6;
  rgba.rows = {{10, 20, 30, 0x40}};
  rgba.bkgd = {0, 0xFF, 0, 0xFF, 0, 0xFF};
  b = Read(Encode(rgba)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasAlpha, 1);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0xBF1E140Au);
}

TEST_F(PngReaderTest, FileGammaIsCorrectedForAScreenGammaOf2_2) {
  Png p;
  p.colorType = 0;
  p.gamma = 100000;  // linear samples
  p.rows = {{128}};
  BitmapPtr b = Read(Encode(p)).image;
  ASSERT_NE(b, nullptr);
  const double expected = 255.0 * std::pow(128.0 / 255.0, 1.0 / 2.2);
  const int red = static_cast<int>(Bitmap_GetPixel(*b, 0, 0) & 0xFF);
  EXPECT_NEAR(red, expected, 1.0);
}

// Designers expect the colours they saved: the stored samples, unless the
// caller asks for the file's gamma to be applied (the default).
TEST_F(PngReaderTest, StoredValuesAreKeptWhenGammaIsNotApplied) {
  ReadOptions keep;
  keep.applyGamma = false;
  for (const std::uint32_t gamma : {100000u, 45455u, 0u}) {
    SCOPED_TRACE(gamma);
    Png p;
    p.width = 3;
    p.gamma = gamma;
    p.rows = {{10, 128, 250, 0, 64, 255, 33, 77, 99}};
    const Bytes file = Encode(p);
    BitmapPtr stored = Read(file, keep).image;
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(Bitmap_GetPixel(*stored, 0, 0), 0x00FA800Au);
    EXPECT_EQ(Bitmap_GetPixel(*stored, 1, 0), 0x00FF4000u);
    EXPECT_EQ(Bitmap_GetPixel(*stored, 2, 0), 0x00634D21u);
    BitmapPtr corrected = Read(file).image;
    ASSERT_NE(corrected, nullptr);
    // Only a file gamma other than 1 / 2.2 moves the colours.
    EXPECT_EQ(corrected->pData == stored->pData, gamma != 100000u);
  }
  EXPECT_TRUE(rec.Texts().empty());
}

// The orientation of an eXIf chunk (before or after the image data) turns the
// picture when asked; it is reported either way.
TEST_F(PngReaderTest, ExifOrientationTurnsThePictureWhenAsked) {
  const Bytes tiffRotate90 = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  for (const bool last : {false, true}) {
    SCOPED_TRACE(last);
    Png p;
    p.width = 2;
    p.height = 1;
    p.rows = {{1, 2, 3, 4, 5, 6}};
    p.exif = tiffRotate90;
    p.exifLast = last;
    const Bytes file = Encode(p);
    const ReadResult asStored = Read(file);
    ASSERT_NE(asStored.image, nullptr);
    EXPECT_EQ(asStored.orientation, 6);
    EXPECT_FALSE(asStored.orientationApplied);
    EXPECT_EQ(asStored.image->XSize, 2);
    ReadOptions turn;
    turn.applyOrientation = true;
    const ReadResult upright = Read(file, turn);
    ASSERT_NE(upright.image, nullptr);
    EXPECT_TRUE(upright.orientationApplied);
    ASSERT_EQ(upright.image->XSize, 1);
    ASSERT_EQ(upright.image->YSize, 2);
    // Turned a quarter clockwise: the left pixel on top.
    EXPECT_EQ(Bitmap_GetPixel(*upright.image, 0, 0), 0x00030201u);
    EXPECT_EQ(Bitmap_GetPixel(*upright.image, 0, 1), 0x00060504u);
  }
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(PngReaderTest, FailuresReportLibpngTextsAndNoBitmap) {
  Png p;
  p.rows = {{1, 2, 3}};
  const Bytes good = Encode(p);

  // Cut inside the first chunk: the log keeps libpng's words, the cause
  // says where the data ended.
  const ReadResult cut = Read(Bytes(good.begin(), good.begin() + 20));
  EXPECT_TRUE(FailsWith(cut, Code::kTruncated, "No Bitmap"));
  EXPECT_EQ(cut.cause, "the data ends before the first row of the picture");
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Texts()[0], "libpng error: Read past the end of the file");
  EXPECT_EQ(rec.Texts()[1], "No Bitmap");

  // A broken checksum in a critical chunk.
  rec.Clear();
  Bytes badCrc = good;
  badCrc[8 + 8 + 13] ^= 0xFF;  // first byte of the IHDR checksum
  EXPECT_TRUE(FailsWith(Read(badCrc), Code::kCorrupt, "No Bitmap"));
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Ctx().Messages()[0].code, Code::kCorrupt);  // libpng's text
  EXPECT_EQ(rec.Texts()[1], "No Bitmap");

  // Not a PNG at all: no libpng text.
  rec.Clear();
  const std::string text = "This is a plain text file.";
  EXPECT_TRUE(FailsWith(Read(Bytes(text.begin(), text.end())), Code::kNotRecognised, "No Bitmap"));
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"No Bitmap"});

  // Below 14 bytes there is no PNG either, and the user hears so.
  rec.Clear();
  EXPECT_TRUE(FailsWith(Read(Bytes(good.begin(), good.begin() + 13)), Code::kTruncated));
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"File too short (truncated ?)"});
}

TEST_F(PngReaderTest, ImageBlockBeyondTheMemoryCeilingIsAnOutOfMemoryError) {
  Png p;
  p.width = 100;
  p.height = 100;
  p.colorType = 6;
  p.rows.assign(100, Bytes(400, 0));
  ReadOptions small;
  small.limits.maxPixelBytes = 16 * 1024;
  EXPECT_TRUE(FailsWith(Read(Encode(p), small), Code::kOutOfMemory, "No Bitmap"));
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Texts()[0], "libpng error: Out of memory");
  EXPECT_EQ(rec.Texts()[1], "No Bitmap");

  // The job's allocation ceiling holds the picture back as well; there the
  // allocator's own failure comes first.
  rec.Clear();
  rec.Ctx().SetMaxBlockBytes(16 * 1024);
  EXPECT_TRUE(FailsWith(Read(Encode(p)), Code::kOutOfMemory, "No Bitmap"));
  ASSERT_EQ(rec.Texts().size(), 3u);
  EXPECT_TRUE(rec.Ctx().Messages()[0].allocator);
  EXPECT_EQ(rec.Texts()[1], "libpng error: Out of memory");
}

TEST_F(PngReaderTest, HeaderClaimingMorePixelsThanTheDataCanHoldIsRefusedBeforeAllocating) {
  Png p;
  p.width = 60000;
  p.height = 60000;
  p.colorType = 6;
  p.rows = {Bytes(16, 0)};
  const Bytes png = Encode(p);
  // Far below the ceiling's limit too: the refusal must come from the data
  // size, not from the allocator.
  EXPECT_TRUE(FailsWith(Read(png), Code::kCorrupt, "No Bitmap"));
  EXPECT_FALSE(rec.Failed(Code::kOutOfMemory));
  ASSERT_EQ(rec.Texts().size(), 2u);
  const std::size_t imageData = png.size() - 8 - 25 - 12 - 12;  // all but signature, IHDR, IDAT frame, IEND
  EXPECT_EQ(rec.Texts()[0], "Illegal image size (60000 x 60000): " + std::to_string(imageData) +
                                    " bytes of image data can not hold its pixels");
  EXPECT_EQ(rec.Texts()[1], "No Bitmap");

  // Text chunks before and after the image data are no pixels: however much
  // of them pads the file, the few bytes of image data decide.
  rec.Clear();
  Png padded;
  padded.width = 4096;
  padded.height = 4096;
  padded.bitDepth = 1;
  padded.colorType = 0;
  padded.rows = {Bytes(16, 0)};
  Bytes file = Encode(padded);
  Bytes text(4000, 'x');
  text[7] = 0;  // keyword "xxxxxxx", then the text
  Bytes before;
  AddChunk(before, "tEXt", text);
  file.insert(file.begin() + 8 + 25, before.begin(), before.end());
  file.insert(file.end() - 12, before.begin(), before.end());
  EXPECT_TRUE(FailsWith(Read(file), Code::kCorrupt, "No Bitmap"));
  EXPECT_NE(rec.Texts()[0].find("bytes of image data can not hold its pixels"), std::string::npos) << rec.Texts()[0];

  // A picture whose compressed rows do back its size still loads.
  rec.Clear();
  Png plain;
  plain.width = 2000;
  plain.height = 300;
  plain.bitDepth = 1;
  plain.colorType = 0;
  plain.rows.assign(300, Bytes(250, 0xFF));
  BitmapPtr b = Read(Encode(plain)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->XSize, 2000);
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(PngReaderTest, UnknownCriticalChunkIsALibpngError) {
  Png p;
  p.rows = {{1, 2, 3}};
  Bytes png = Encode(p);
  // An unknown critical chunk right after the header.
  Bytes chunk;
  AddChunk(chunk, "CRIT", Bytes(4, 0));
  png.insert(png.begin() + 8 + 25, chunk.begin(), chunk.end());
  EXPECT_TRUE(FailsWith(Read(png), Code::kCorrupt, "No Bitmap"));
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Ctx().Messages()[0].code, Code::kCorrupt);  // libpng's text
  EXPECT_EQ(rec.Texts()[1], "No Bitmap");
}

}  // namespace
