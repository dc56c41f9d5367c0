// Flips, rotations, inversions, box-filter scaling and the transparent index.
#include <gtest/gtest.h>

#include "BitmapTestHelpers.h"
#include "CoreTestSupport.h"

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "image/ImageOps.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::RawPixels;
using testing_support::PaletteOf;

// Each case has a job context whose progress texts it keeps.
class ImageOpsTest : public ::testing::Test {
 protected:
  std::vector<std::string>& StatusTexts() { return statusTexts_; }
  std::vector<std::string> statusTexts_;
  sys::Context ctx{[this](const std::string& text) { statusTexts_.push_back(text); }};
};

// Raw values given top row first.
BitmapPtr MakeImage(int width, int height, int numColors, const std::vector<std::uint32_t>& values) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, numColors);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Bitmap_SetPixel(*b, x, y, values[static_cast<std::size_t>(y * width + x)]);
  }
  return b;
}

BitmapPtr MakeRandomImage(int width, int height, int numColors, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> values(static_cast<std::size_t>(width * height));
  for (auto& v : values) v = numColors != 0 ? rng() % numColors : rng();
  BitmapPtr b = MakeImage(width, height, numColors, values);
  for (int i = 0; i < numColors; ++i) Bitmap_SetPalColor(*b, i, rng());
  return b;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const auto& t : texts) {
    if (t == text) return true;
  }
  return false;
}

// Flips and rotations ------------------------------------------------------

TEST_F(ImageOpsTest, FlipsMirrorRawValues) {
  for (int colors : {0, 4}) {
    BitmapPtr b = MakeImage(3, 1, colors, {1, 2, 3});
    FlipH(*b);
    EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{3, 2, 1}));
    FlipV(*b);
    EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{3, 2, 1}));
  }
  BitmapPtr even = MakeImage(4, 3, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFF00000C});
  FlipH(*even);
  EXPECT_EQ(RawPixels(*even), (std::vector<std::uint32_t>{4, 3, 2, 1, 8, 7, 6, 5, 0xFF00000C, 11, 10, 9}));
  FlipV(*even);
  EXPECT_EQ(RawPixels(*even), (std::vector<std::uint32_t>{0xFF00000C, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  Rotate180(*even);
  EXPECT_EQ(RawPixels(*even), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFF00000C}));
}

TEST_F(ImageOpsTest, QuarterTurnsOfATwoPixelRow) {
  BitmapPtr ccw = RotateCCW(*MakeImage(2, 1, 0, {0xA, 0xB}), ctx);
  ASSERT_EQ(ccw->XSize, 1);
  ASSERT_EQ(ccw->YSize, 2);
  EXPECT_EQ(RawPixels(*ccw), (std::vector<std::uint32_t>{0xB, 0xA}));
  BitmapPtr cw = RotateCW(*MakeImage(2, 1, 0, {0xA, 0xB}), ctx);
  EXPECT_EQ(RawPixels(*cw), (std::vector<std::uint32_t>{0xA, 0xB}));
}

TEST_F(ImageOpsTest, RotateCcwTakesTheTopRowAsTheLeftColumnReadUpwards) {
  BitmapPtr source = MakeRandomImage(5, 3, 0, 4);
  const BitmapPtr copy = Bitmap_Copy(*source, ctx);
  BitmapPtr rotated = RotateCCW(*source, ctx);
  ASSERT_EQ(rotated->XSize, 3);
  ASSERT_EQ(rotated->YSize, 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Bitmap_GetPixel(*rotated, x, y), Bitmap_GetPixel(*copy, 4 - y, x));
  }
}

TEST_F(ImageOpsTest, FourQuarterTurnsGiveBackTheImage) {
  for (int colors : {0, 7}) {
    BitmapPtr image = MakeRandomImage(7, 4, colors, 9);
    image->HasTrans = 1;
    image->HasAlpha = 1;
    const BitmapPtr original = Bitmap_Copy(*image, ctx);
    for (int i = 0; i < 4; ++i) image = RotateCW(*image, ctx);
    ASSERT_EQ(image->XSize, 7);
    EXPECT_EQ(RawPixels(*image), RawPixels(*original));
    EXPECT_EQ(PaletteOf(*image), PaletteOf(*original));
    EXPECT_EQ(image->HasTrans, 1);
    EXPECT_EQ(image->HasAlpha, 1);
    BitmapPtr threeCcw = Bitmap_Copy(*original, ctx);
    for (int i = 0; i < 3; ++i) threeCcw = RotateCCW(*threeCcw, ctx);
    BitmapPtr oneCw = RotateCW(*Bitmap_Copy(*original, ctx), ctx);
    EXPECT_EQ(RawPixels(*threeCcw), RawPixels(*oneCw));
  }
}

// Inversions -------------------------------------------------------------

TEST_F(ImageOpsTest, InvertIndicesMirrorsIndexesAndKeepsThePalette) {
  BitmapPtr b = MakeImage(4, 1, 4, {0, 1, 2, 3});
  for (int i = 0; i < 4; ++i) Bitmap_SetPalColor(*b, i, 0x10u * i);
  InvertIndices(*b, ctx);
  EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{3, 2, 1, 0}));
  EXPECT_EQ(PaletteOf(*b), (std::vector<Color>{0x00, 0x10, 0x20, 0x30}));
  EXPECT_TRUE(Contains(StatusTexts(), "Converting image, line 1/1"));
  EXPECT_EQ(StatusTexts().back(), "Image inverted");
}

TEST_F(ImageOpsTest, InvertPaletteInvertsEntriesAndKeepsPixels) {
  BitmapPtr b = MakeImage(2, 1, 2, {0, 1});
  Bitmap_SetPalColor(*b, 0, 0x80123456);
  Bitmap_SetPalColor(*b, 1, 0x00FFFFFF);
  InvertPalette(*b, ctx);
  EXPECT_EQ(PaletteOf(*b), (std::vector<Color>{0x80EDCBA9, 0x00000000}));
  EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(StatusTexts().back(), "Palette inverted");
}

TEST_F(ImageOpsTest, BothInversionsInvertTrueColourPixelsKeepingTransparency) {
  BitmapPtr a = MakeImage(2, 2, 0, {0x80123456, 0, 0xFFFFFFFF, 0x01000001});
  BitmapPtr b = Bitmap_Copy(*a, ctx);
  InvertIndices(*a, ctx);
  InvertPalette(*b, ctx);
  const std::vector<std::uint32_t> expected = {0x80EDCBA9, 0x00FFFFFF, 0xFF000000, 0x01FFFFFE};
  EXPECT_EQ(RawPixels(*a), expected);
  EXPECT_EQ(RawPixels(*b), expected);
  EXPECT_TRUE(Contains(StatusTexts(), "Converting image, line 2/2"));
}

// Scaling ----------------------------------------------------------------

TEST_F(ImageOpsTest, ScaleAveragesOverlappingPixels) {
  BitmapPtr half = ScaleBitmap(*MakeImage(2, 1, 0, {0x000000, 0x0000FF}), 1, 1, ctx);
  EXPECT_EQ(RawPixels(*half), (std::vector<std::uint32_t>{0x000080}));
  // 2 -> 3: the middle pixel covers one unit of each source pixel.
  BitmapPtr wider = ScaleBitmap(*MakeImage(2, 1, 0, {0x0A, 0x15}), 3, 1, ctx);
  EXPECT_EQ(RawPixels(*wider), (std::vector<std::uint32_t>{0x0A, 0x10, 0x15}));
  // Columns are averaged the same way, and so is the transparency byte.
  BitmapPtr taller = ScaleBitmap(*MakeImage(1, 2, 0, {0xFF0A0000, 0x00150000}), 1, 3, ctx);
  EXPECT_EQ(RawPixels(*taller), (std::vector<std::uint32_t>{0xFF0A0000, 0x80100000, 0x00150000}));
  BitmapPtr blown = ScaleBitmap(*MakeImage(1, 1, 0, {0x11223344}), 3, 2, ctx);
  EXPECT_EQ(RawPixels(*blown), std::vector<std::uint32_t>(6, 0x11223344));
}

TEST_F(ImageOpsTest, ShrinkHalfOfThreeByThree) {
  // Every row is red 10, 200, 31: (2 x 10 + 200 + 1) / 3 = 73, (200 + 62 + 1) / 3 = 87.
  BitmapPtr b = MakeImage(3, 3, 0, {10, 200, 31, 10, 200, 31, 10, 200, 31});
  BitmapPtr shrunk = ShrinkHalf(*b, ctx);
  ASSERT_EQ(shrunk->XSize, 2);
  ASSERT_EQ(shrunk->YSize, 2);
  EXPECT_EQ(RawPixels(*shrunk), (std::vector<std::uint32_t>{73, 87, 73, 87}));
  EXPECT_EQ(StatusTexts().back(), "Bitmap shrinked to 50%");
  // Vertically: (2 x 30 + 90 + 1) / 3 = 50 and (90 + 2 x 3 + 1) / 3 = 32 in green.
  BitmapPtr column = ShrinkHalf(*MakeImage(1, 3, 0, {30 << 8, 90 << 8, 3 << 8}), ctx);
  EXPECT_EQ(RawPixels(*column), (std::vector<std::uint32_t>{50 << 8, 32 << 8}));
}

TEST_F(ImageOpsTest, ScaleToTheSameSizeGivesTheSamePicture) {
  BitmapPtr b = MakeImage(2, 2, 4, {0, 1, 2, 3});
  b->HasTrans = 1;
  BitmapPtr same = ScaleBitmap(*b, 2, 2, ctx);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->NumColors, 4);
  EXPECT_EQ(same->HasTrans, 1);
  EXPECT_EQ(RawPixels(*same), RawPixels(*b));
}

TEST_F(ImageOpsTest, ScalePaletteImagesInColourIntoTrueColour) {
  BitmapPtr b = MakeImage(2, 1, 2, {0, 1});
  Bitmap_SetPalColor(*b, 0, 0x000000);
  Bitmap_SetPalColor(*b, 1, 0x0000FF);
  b->HasTrans = 1;
  b->HasAlpha = 1;
  BitmapPtr scaled = ScaleBitmap(*b, 1, 1, ctx);
  EXPECT_EQ(scaled->NumColors, 0);
  EXPECT_EQ(scaled->BitsPerPixel, 32);
  EXPECT_EQ(RawPixels(*scaled), (std::vector<std::uint32_t>{0x000080}));
  EXPECT_EQ(scaled->HasTrans, 0);
  EXPECT_EQ(scaled->HasAlpha, 1);
}

TEST_F(ImageOpsTest, ScaleToZeroGivesAnEmptyTrueColourImage) {
  BitmapPtr zeroWide = ScaleBitmap(*MakeImage(2, 2, 4, {0, 1, 2, 3}), 0, 5, ctx);
  ASSERT_NE(zeroWide, nullptr);
  EXPECT_EQ(zeroWide->XSize, 0);
  EXPECT_EQ(zeroWide->YSize, 5);
  EXPECT_EQ(zeroWide->NumColors, 0);
  // From an image without pixels there is nothing to average: zero pixels, no division by zero.
  BitmapPtr grown = ScaleBitmap(*Bitmap_Create(0, 0, 0, ctx), 2, 1, ctx);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(RawPixels(*grown), (std::vector<std::uint32_t>{0, 0}));
}

// Transparent index ------------------------------------------------------

TEST_F(ImageOpsTest, SetTransIndexSwapsIndexAndPaletteEntryWithZero) {
  BitmapPtr b = MakeRandomImage(9, 5, 8, 3);
  Bitmap_SetPixel(*b, 0, 0, 5);
  Bitmap_SetPixel(*b, 1, 0, 0);
  const BitmapPtr original = Bitmap_Copy(*b, ctx);
  SetTransIndex(*b, 5);
  EXPECT_EQ(b->HasTrans, 1);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 5u);
  EXPECT_EQ(Bitmap_GetPalColor(*b, 0), Bitmap_GetPalColor(*original, 5));
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 9; ++x) ASSERT_EQ(Bitmap_GetPixelColor(*b, x, y), Bitmap_GetPixelColor(*original, x, y));
  }
  SetTransIndex(*b, 5);
  EXPECT_EQ(RawPixels(*b), RawPixels(*original));
  EXPECT_EQ(PaletteOf(*b), PaletteOf(*original));
  EXPECT_EQ(b->HasTrans, 1);
}

TEST_F(ImageOpsTest, SetTransparencySelections) {
  BitmapPtr b = MakeImage(3, 1, 4, {0, 2, 3});
  SetTransparency(*b, 0);
  EXPECT_EQ(b->HasTrans, 0);
  SetTransparency(*b, 1);  // index 0: nothing to swap
  EXPECT_EQ(b->HasTrans, 1);
  EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{0, 2, 3}));
  SetTransparency(*b, 3);  // index 2
  EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{2, 0, 3}));
  SetTransparency(*b, 0);
  EXPECT_EQ(b->HasTrans, 0);
  SetTransIndex(*b, 9);  // beyond the palette: ignored
  EXPECT_EQ(RawPixels(*b), (std::vector<std::uint32_t>{2, 0, 3}));
  EXPECT_EQ(b->HasTrans, 0);
}

}  // namespace
