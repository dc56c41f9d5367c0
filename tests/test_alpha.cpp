// Transparency from renderings over black and white, and from a grey mask.
#include <gtest/gtest.h>

#include "BitmapTestHelpers.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "CoreTestSupport.h"
#include "app/AlphaFiles.h"
#include "app/Report.h"
#include "image/Alpha.h"
#include "sys/File.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::RawPixels;

std::vector<std::string>& Reports() {
  static std::vector<std::string> texts;
  return texts;
}
void CaptureReport(const std::string&, const std::string& text) { Reports().push_back(text); }

class AlphaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reports().clear();
    SetMessageBoxHook(CaptureReport);
  }
  void TearDown() override {
    SetMessageBoxHook(nullptr);
    ResetRunState();
  }
};

BitmapPtr MakeTrueColor(int width, int height, const std::vector<Color>& pixels) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Bitmap_SetPixel(*b, x, y, pixels[static_cast<std::size_t>(y * width + x)]);
  }
  return b;
}

TEST_F(AlphaTest, UnblendsEachPixel) {
  sys::Context ctx;
  const std::vector<Color> overBlack = {0x000000, 0x404040, 0x123456, 0x0000FA, 0x102030};
  const std::vector<Color> overWhite = {0xFFFFFF, 0xBFBFBF, 0x123456, 0xFFFFFF, 0x102031};
  BitmapPtr result = CreateAlphaFromImages(*MakeTrueColor(5, 1, overBlack), *MakeTrueColor(5, 1, overWhite), ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->HasAlpha, 1);
  EXPECT_EQ(result->BitsPerPixel, 32);
  const std::vector<std::uint32_t> pixels = RawPixels(*result);
  EXPECT_EQ(pixels[0], 0xFF000000u);  // h = 255: fully transparent black
  EXPECT_EQ(pixels[1], 0x7F7F7F7Fu);  // h = 127, o = 199, 64 x 199 / 100 = 127
  EXPECT_EQ(pixels[2], 0x123456u);    // equal pixels stay as they are
  // h = (5 + 255 + 255) / 3 = 171, o = 303: red 250 x 303 / 100 = 757 is held at 255.
  EXPECT_EQ(pixels[3], 0xAB0000FFu);
  // h = 1 / 3 = 0: the factor is exactly 1 and the pixel becomes opaque.
  EXPECT_EQ(pixels[4], 0x102030u);
}

TEST_F(AlphaTest, IdenticalImagesGiveACopyWithAlphaSet) {
  sys::Context ctx;
  const std::vector<Color> pixels = {0x11223344, 0x00FFFFFF, 0x80000000, 0x00010203};
  BitmapPtr result = CreateAlphaFromImages(*MakeTrueColor(2, 2, pixels), *MakeTrueColor(2, 2, pixels), ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>(pixels.begin(), pixels.end())));
  EXPECT_EQ(result->HasAlpha, 1);
}

TEST_F(AlphaTest, PaletteInputsAreReadInColour) {
  sys::Context ctx;
  BitmapPtr overBlack = Bitmap_Create(1, 1, 2, ctx);
  Bitmap_SetPalColor(*overBlack, 1, 0x404040);
  Bitmap_SetPixel(*overBlack, 0, 0, 1);
  BitmapPtr result = CreateAlphaFromImages(*overBlack, *MakeTrueColor(1, 1, {0xBFBFBF}), ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 0);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0x7F7F7F7F}));
}

TEST_F(AlphaTest, SizeMismatchIsRecorded) {
  sys::Context ctx;
  EXPECT_EQ(CreateAlphaFromImages(*MakeTrueColor(1, 1, {0}), *MakeTrueColor(2, 1, {0, 0}), ctx), nullptr);
  EXPECT_EQ(ApplyAlphaMask(*MakeTrueColor(1, 1, {0}), *MakeTrueColor(1, 2, {0, 0}), ctx), nullptr);
  ASSERT_EQ(ctx.Messages().size(), 2u);
  for (const sys::Message& m : ctx.Messages()) {
    EXPECT_EQ(m.code, sys::Code::kBadArgument);
    EXPECT_EQ(m.text, "The images are not of the same size.");
  }
}

TEST_F(AlphaTest, MaskBrightnessBecomesTransparency) {
  sys::Context ctx;
  BitmapPtr current = MakeTrueColor(4, 1, {0x11223344, 0x00ABCDEF, 0x00000001, 0x7F000002});
  BitmapPtr mask = MakeTrueColor(4, 1, {0x808080, 0x0000FF, 0xFFFFFF, 0x000000});
  BitmapPtr result = ApplyAlphaMask(*current, *mask, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->HasAlpha, 1);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0x80223344, 0x55ABCDEF, 0xFF000001, 0x00000002}));
  EXPECT_EQ(Bitmap_GetPixel(*current, 0, 0), 0x11223344u);  // the current image is kept
}

TEST_F(AlphaTest, MaskOnAPaletteImageGivesTrueColour) {
  sys::Context ctx;
  BitmapPtr current = Bitmap_Create(2, 1, 2, ctx);
  Bitmap_SetPalColor(*current, 0, 0x0000FF);
  Bitmap_SetPalColor(*current, 1, 0x00FF00);
  Bitmap_SetPixel(*current, 1, 0, 1);
  BitmapPtr mask = Bitmap_Create(2, 1, 2, ctx);
  Bitmap_SetPalColor(*mask, 1, 0x030303);
  Bitmap_SetPixel(*mask, 0, 0, 1);
  BitmapPtr result = ApplyAlphaMask(*current, *mask, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 0);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0x030000FF, 0x0000FF00}));
  EXPECT_EQ(current->NumColors, 2);
}

// The file wrappers read Windows bitmaps; they need the BMP reader.
std::vector<std::uint8_t> TinyBmp24(const std::vector<Color>& bottomUpPixels, int width, int height) {
  using testing_support::PutLE16;
  using testing_support::PutLE32;
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> out = {'B', 'M'};
  PutLE32(out, static_cast<std::uint32_t>(54 + rowBytes * height));
  PutLE32(out, 0);
  PutLE32(out, 54);
  PutLE32(out, 40);
  PutLE32(out, static_cast<std::uint32_t>(width));
  PutLE32(out, static_cast<std::uint32_t>(height));
  PutLE16(out, 1);
  PutLE16(out, 24);
  for (int i = 0; i < 6; ++i) PutLE32(out, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Color c = bottomUpPixels[static_cast<std::size_t>(y * width + x)];
      out.push_back(static_cast<std::uint8_t>(c >> 16));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
      out.push_back(static_cast<std::uint8_t>(c));
    }
    for (int p = width * 3; p < rowBytes; ++p) out.push_back(0);
  }
  return out;
}

TEST_F(AlphaTest, FileWrappersLoadWindowsBitmapsWhateverTheirNames) {
  testing_support::TempDir dir;
  const std::string black = dir.File("black.png");  // the name's extension does not matter
  const std::string white = dir.File("white.dat");
  testing_support::WriteBytes(black, TinyBmp24({0x404040, 0x000000}, 2, 1));
  testing_support::WriteBytes(white, TinyBmp24({0xBFBFBF, 0xFFFFFF}, 2, 1));
  BitmapPtr result = CreateAlphaFromFiles(black, white);
  if (!result && !Reports().empty() && Reports().back() == "This file type cannot be read yet") {
    GTEST_SKIP() << "BMP reader not available on this branch";
  }
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0x7F7F7F7F, 0xFF000000}));

  BitmapPtr current = MakeTrueColor(2, 1, {0x123456, 0x654321});
  BitmapPtr masked = LoadAlphaMaskFile(*current, white);
  ASSERT_NE(masked, nullptr);
  EXPECT_EQ(RawPixels(*masked), (std::vector<std::uint32_t>{0xBF123456, 0xFF654321}));
}

TEST_F(AlphaTest, SizeMismatchIsShownOnlyInInteractiveUse) {
  testing_support::TempDir dir;
  const std::string small = dir.File("small.bmp");
  const std::string wide = dir.File("wide.bmp");
  testing_support::WriteBytes(small, TinyBmp24({0x404040}, 1, 1));
  testing_support::WriteBytes(wide, TinyBmp24({0xBFBFBF, 0xFFFFFF}, 2, 1));
  EXPECT_EQ(CreateAlphaFromFiles(small, wide), nullptr);
  EXPECT_EQ(Reports(), (std::vector<std::string>{"The images are not of the same size."}));

  RunState& state = GetRunState();
  state.batchActive = true;
  state.exitQueued = true;
  state.echoToStderr = false;
  state.logFileName = dir.File("Rastra.log");
  EXPECT_EQ(CreateAlphaFromFiles(small, wide), nullptr);
  EXPECT_EQ(LoadAlphaMaskFile(*MakeTrueColor(2, 1, {0, 0}), small), nullptr);
  EXPECT_EQ(state.exitCode, 0);
  EXPECT_FALSE(sys::FileExists(state.logFileName));
}

}  // namespace
