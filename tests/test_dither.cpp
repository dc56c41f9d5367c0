// Dithering choices: each against a small case worked out by hand and a
// reference checksum of a gradient, and the same bytes from the command line
// and the library. The fine palette's rules (its quality is measured by
// bench/fine_palette.sh).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <rastra/rastra.h>

#include "BitmapTestHelpers.h"
#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "image/ColorConvert.h"
#include "image/Dither.h"
#include "image/FinePalette.h"
#include "sys/Sha256.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using testing_support::RawPixels;

BitmapPtr Flat(int width, int height, Color colour) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Bitmap_SetPixel(*b, x, y, colour);
  }
  return b;
}

// Red across, green down, blue by a fixed noise: every colour format loses
// something, and a dithering fault shows in the checksum.
BitmapPtr Gradient(int width, int height) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, 0);
  std::minstd_rand noise(7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Color r = static_cast<Color>(x * 255 / (width - 1));
      const Color g = static_cast<Color>(y * 255 / (height - 1));
      const Color blue = static_cast<Color>(noise() % 64 + 96);
      Bitmap_SetPixel(*b, x, y, r | (g << 8) | (blue << 16));
    }
  }
  return b;
}

OutputOptions With(DitherMethod method) {
  OutputOptions options;
  options.dither = method;
  return options;
}

// Index (palette result) or colour of each pixel in stored order: row 0 is
// the bottom row, the first the dithering walks.
std::vector<std::uint32_t> StoredValues(const Bitmap& b) {
  std::vector<std::uint32_t> values;
  for (int r = 0; r < b.YSize; ++r) {
    const std::uint8_t* row = b.pData.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(b.BytesPerLine);
    for (int x = 0; x < b.XSize; ++x) {
      values.push_back(b.NumColors != 0 ? row[x] : Bitmap_LoadColor(row + 4 * x) & 0xFFFFFF);
    }
  }
  return values;
}

std::string Checksum(const Bitmap& b) {
  std::string bytes(b.pData.begin(), b.pData.end());
  for (int i = 0; i < b.NumColors; ++i) bytes += std::to_string(Bitmap_GetPalColor(b, i)) + ",";
  return sys::Sha256Hex(bytes.data(), bytes.size()).substr(0, 16);
}

TEST(DitherMethods, FloydSteinbergIsTheClassicWalk) {
  sys::Context ctx;
  const BitmapPtr image = Gradient(37, 23);
  for (int format : {kFormatBW, kFormatGray4, kFormat332, kFormat8666, kFormat565}) {
    const BitmapPtr classic = DitherToFormat(*image, GetColorFormat(format), OutputOptions{}, ctx);
    const BitmapPtr chosen = ConvertToFormat(*image, GetColorFormat(format), With(DitherMethod::kFloydSteinberg), ctx);
    ASSERT_TRUE(classic && chosen);
    EXPECT_EQ(classic->pData, chosen->pData) << "format " << format;
  }
}

// Worked by hand (Sum = R + G + B; BW is white from Sum 383 on):
// grey 128 pixels a b c on the first walked row, d e f on the next.
// Row 1: a white (error -127): b gets -55 (73), d -39 (89), e -7 (121).
//   b black (error 73): c gets +31 (159), d +13 (102), e +22 (143), f +4 (132).
//   c white (error -96): e gets -18 (125), f -30 (102).
// Row 2 left to right: d 102 black (error 102): e +44 (169) white (error -86):
//   f -37 (65) black.  Serpentine, right to left: f 102 black (error 102):
//   e +44 (169) white (error -86): d -37 (65) black.
TEST(DitherMethods, SerpentineWalksEveryOtherRowBackwards) {
  sys::Context ctx;
  const BitmapPtr grey = Flat(3, 2, 0x808080);
  const BitmapPtr fs = ConvertToFormat(*grey, GetColorFormat(kFormatBW), With(DitherMethod::kFloydSteinberg), ctx);
  const BitmapPtr serpentine = ConvertToFormat(*grey, GetColorFormat(kFormatBW), With(DitherMethod::kSerpentine), ctx);
  ASSERT_TRUE(fs && serpentine);
  EXPECT_EQ(StoredValues(*fs), (std::vector<std::uint32_t>{1, 0, 1, 0, 1, 0}));
  EXPECT_EQ(StoredValues(*serpentine), (std::vector<std::uint32_t>{1, 0, 1, 0, 1, 0}));
  // Wider, the two walks part: the second row's errors run the other way.
  const BitmapPtr wide = Gradient(9, 4);
  const BitmapPtr a = ConvertToFormat(*wide, GetColorFormat(kFormatGray4), With(DitherMethod::kFloydSteinberg), ctx);
  const BitmapPtr b = ConvertToFormat(*wide, GetColorFormat(kFormatGray4), With(DitherMethod::kSerpentine), ctx);
  ASSERT_TRUE(a && b);
  const std::vector<std::uint32_t> va = StoredValues(*a);
  const std::vector<std::uint32_t> vb = StoredValues(*b);
  EXPECT_EQ(std::vector<std::uint32_t>(va.begin(), va.begin() + 5), std::vector<std::uint32_t>(vb.begin(), vb.begin() + 5));
  EXPECT_NE(va, vb);
}

// The ordered methods put grey g on a pixel of matrix value m when
// g + ((m + 0.5) / n^2 - 0.5) x 255 reaches BW's threshold of 128.
TEST(DitherMethods, OrderedMethodsFollowTheBayerMatrices) {
  sys::Context ctx;
  struct Case {
    DitherMethod method;
    Color grey;
    std::vector<std::uint32_t> firstRows;  // the first two walked rows of the 8 x 8 result
  };
  const Case cases[] = {
      // Bayer 4: 0 8 2 10 / 12 4 14 6; half grey takes m >= 8, a quarter m >= 12.
      {DitherMethod::kBayer4, 0x808080, {0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0}},
      {DitherMethod::kBayer4, 0x404040, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0}},
      // Bayer 8: 0 32 8 40 2 34 10 42 / 48 16 56 24 50 18 58 26.
      {DitherMethod::kBayer8, 0x808080, {0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0}},
      {DitherMethod::kBayer8, 0x404040, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0}},
      {DitherMethod::kBayer8, 0x202020, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    const BitmapPtr grey = Flat(8, 8, c.grey);
    const BitmapPtr bw = ConvertToFormat(*grey, GetColorFormat(kFormatBW), With(c.method), ctx);
    ASSERT_TRUE(bw);
    const std::vector<std::uint32_t> values = StoredValues(*bw);
    EXPECT_EQ(std::vector<std::uint32_t>(values.begin(), values.begin() + 16), c.firstRows)
        << DitherMethodName(c.method) << " grey " << std::hex << c.grey;
    // Every matrix value once per tile: the share of white follows the grey.
    std::size_t white = 0;
    for (std::uint32_t v : values) white += v;
    EXPECT_EQ(white, static_cast<std::size_t>(64 * (c.grey & 0xFF) / 256))
        << DitherMethodName(c.method) << " grey " << std::hex << c.grey;
  }
}

// Reference checksums of every choice on a gradient: any change of the
// output of a method shows here. Recorded from the implementation whose
// hand-checked cases pass above.
TEST(DitherMethods, ReferenceChecksums) {
  sys::Context ctx;
  const BitmapPtr image = Gradient(61, 29);
  struct Case {
    DitherMethod method;
    int target;  // a colour format, or -1 for the best palette
    const char* checksum;
  };
  const Case cases[] = {
      {DitherMethod::kFloydSteinberg, kFormat565, "1c432116dc7ed760"},  {DitherMethod::kSerpentine, kFormat565, "7f07a1893397d570"},
      {DitherMethod::kBayer4, kFormat565, "948beb495698326f"},          {DitherMethod::kBayer8, kFormat565, "6c816c6dafd6d03f"},
      {DitherMethod::kFloydSteinberg, kFormat332, "e66d0dde4e27d659"},  {DitherMethod::kSerpentine, kFormat332, "c20f61318b232e21"},
      {DitherMethod::kBayer4, kFormat332, "947ca28a3c828bdb"},          {DitherMethod::kBayer8, kFormat332, "618ab9b990558e6a"},
      {DitherMethod::kFloydSteinberg, kFormatGray16, "87b83e3da98d1e23"}, {DitherMethod::kBayer8, kFormatGray16, "47e38e399800e47a"},
      {DitherMethod::kFloydSteinberg, -1, "ff2341ca730e3a40"},          {DitherMethod::kSerpentine, -1, "d49850e46812edb0"},
      {DitherMethod::kBayer4, -1, "3aa72cb3f96cb20c"},                  {DitherMethod::kBayer8, -1, "8ae8195a02aa8b00"},
  };
  for (const Case& c : cases) {
    const BitmapPtr result = c.target >= 0 ? ConvertToFormat(*image, GetColorFormat(c.target), With(c.method), ctx)
                                           : ReduceColors(*image, 16, With(c.method), ctx);
    ASSERT_TRUE(result);
    EXPECT_EQ(Checksum(*result), c.checksum) << DitherMethodName(c.method) << " into " << c.target;
  }
}

// Dithered onto a palette, every pixel takes an entry of the palette, the
// mean colour stays near the original, and the transparent pixels of an
// image with alpha stay at the transparent entry.
TEST(DitherMethods, PalettesKeepTheirTransparentEntry) {
  sys::Context ctx;
  BitmapPtr image = Gradient(40, 20);
  image->HasAlpha = 1;
  for (int x = 0; x < 40; x += 3) Bitmap_SetPixel(*image, x, 5, 0xFF000000u | 0x123456);
  for (DitherMethod method :
       {DitherMethod::kFloydSteinberg, DitherMethod::kSerpentine, DitherMethod::kBayer4, DitherMethod::kBayer8}) {
    const BitmapPtr result = ConvertToBestPaletteTrans(*image, 0xFFFFFF, With(method), ctx);
    ASSERT_TRUE(result);
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 40; ++x) {
        const bool transparent = y == 5 && x % 3 == 0;
        EXPECT_EQ(Bitmap_GetPixel(*result, x, y) == 0, transparent) << DitherMethodName(method) << " " << x << "," << y;
      }
    }
  }
}

TEST(DitherMethods, NamesAndNumbers) {
  struct Case {
    const char* text;
    bool valid;
    DitherMethod method;
  };
  const Case cases[] = {{"fs", true, DitherMethod::kFloydSteinberg}, {"1", true, DitherMethod::kFloydSteinberg},
                        {"serpentine", true, DitherMethod::kSerpentine}, {"bayer4", true, DitherMethod::kBayer4},
                        {"4", true, DitherMethod::kBayer8}, {"none", true, DitherMethod::kNone},
                        {"bayer", false, DitherMethod::kNone}, {"5", false, DitherMethod::kNone},
                        {"FS", false, DitherMethod::kNone}};
  for (const Case& c : cases) {
    DitherMethod method = DitherMethod::kNone;
    EXPECT_EQ(ParseDitherMethod(c.text, method), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(method, c.method) << c.text;
    }
  }
}

// The command line and the library give the same bytes for the same
// picture, dithering and save.
TEST(DitherFrontEnds, CommandLineAndLibraryAgree) {
  const std::string logo = std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp";
  testing_support::TempDir dir;
  const Image picture = [&] {
    auto loaded = rastra::Load(logo);
    EXPECT_TRUE(loaded) << loaded.text;
    return std::move(loaded.value);
  }();
  struct Case {
    const char* word;
    DitherMethod method;
    const char* conversion;  // command word, "" for none
    ColorFormatId format;
    const char* save;
    int type;
    int formatCode;
  };
  const Case cases[] = {
      {"-ditherbayer4", DitherMethod::kBayer4, "-convertinto332", kFormat332, ",1,5", kOutputCBitmap, 5},
      {"-ditherserpentine", DitherMethod::kSerpentine, "-convertintogray4", kFormatGray4, ",1,2", kOutputCBitmap, 2},
      {"-dither", DitherMethod::kFloydSteinberg, "", kFormatRGB, ",1,8", kOutputCBitmap, 8},
      {"-ditherbayer8", DitherMethod::kBayer8, "", kFormatRGB, ",3,10,1", kOutputCStream, 10},
      {"-ditherfs", DitherMethod::kFloydSteinberg, "", kFormatRGB, ",1,1", kOutputCBitmap, 1},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string file = "out" + std::to_string(n++) + (c.type == kOutputCStream ? ".dta" : ".c");
    std::vector<std::string> args = {logo, "-defaultsettings", c.word};
    if (*c.conversion != 0) args.emplace_back(c.conversion);
    args.push_back("-saveas" + dir.File(file) + c.save);
    args.emplace_back("-exit");
    const auto run = testing_support::RunRastra(args, dir.Path(), testing_support::Display::None);
    ASSERT_EQ(run.exitCode, 0) << c.word << ": " << run.err;

    OutputOptions output;
    output.dither = c.method;
    Image converted = [&] {
      if (*c.conversion == 0) return picture.Copy().value;
      auto made = rastra::Convert(picture, c.format, output);
      EXPECT_TRUE(made) << made.text;
      return std::move(made.value);
    }();
    WriteOptions options;
    options.type = c.type;
    options.format = c.formatCode;
    options.noPalette = c.type == kOutputCStream;
    options.name = file;
    options.output = output;
    const auto written = rastra::Write(converted, options);
    ASSERT_TRUE(written) << written.text;
    const std::vector<std::uint8_t> saved = testing_support::ReadBytes(dir.File(file));
    EXPECT_EQ(written.value, std::string(saved.begin(), saved.end())) << c.word << " " << c.save;
  }
}

// Few colours stay exactly, most used first (first seen first among equals);
// more are grouped by nearness into the means of their groups.
TEST(FinePalette, ExactColoursAndMeansOfGroups) {
  sys::Context ctx;
  struct Case {
    std::vector<Color> pixels;
    int maxColors;
    std::vector<Color> palette;
  };
  std::vector<Color> abc;
  for (int i = 0; i < 10; ++i) abc.push_back(0x0000AA);
  for (int i = 0; i < 30; ++i) abc.push_back(0x00BB00);
  for (int i = 0; i < 20; ++i) abc.push_back(0xCC0000);
  const Case cases[] = {
      {abc, 256, {0x00BB00, 0xCC0000, 0x0000AA}},
      {abc, 3, {0x00BB00, 0xCC0000, 0x0000AA}},
      // Two dark greys and a light one, two colours: the dark pair's mean
      // (24) and the light grey; the dark group has more pixels.
      {{0x101010, 0x202020, 0xF0F0F0, 0x101010, 0x202020, 0xF0F0F0, 0x101010, 0x202020}, 2, {0x181818, 0xF0F0F0}},
  };
  for (const Case& c : cases) {
    BitmapPtr image = testing_support::MakeBitmap(static_cast<int>(c.pixels.size()), 1, 0);
    for (std::size_t x = 0; x < c.pixels.size(); ++x) Bitmap_SetPixel(*image, static_cast<int>(x), 0, c.pixels[x]);
    PaletteRef palette;
    const int m = CalcFinePalette(c.maxColors, *image, palette, ctx);
    ASSERT_EQ(m, static_cast<int>(c.palette.size()));
    EXPECT_EQ(std::vector<Color>(palette.colours.begin(), palette.colours.begin() + m), c.palette);
  }
}

// The fully transparent pixels of an image with alpha take no entry.
TEST(FinePalette, TransparentPixelsTakeNoEntry) {
  sys::Context ctx;
  BitmapPtr image = testing_support::MakeBitmap(3, 1, 0);
  image->HasAlpha = 1;
  Bitmap_SetPixel(*image, 0, 0, 0x00112233);
  Bitmap_SetPixel(*image, 1, 0, 0xFF445566);
  Bitmap_SetPixel(*image, 2, 0, 0x00112233);
  PaletteRef palette;
  ASSERT_EQ(CalcFinePalette(256, *image, palette, ctx), 1);
  EXPECT_EQ(palette.colours[0], 0x112233u);
}

// -convertintofinepalette and the library's ToFinePalette give the same
// bytes; without an image the command reports as the best palette does.
TEST(FinePalette, CommandLineAndLibraryAgree) {
  const std::string logo = std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp";
  testing_support::TempDir dir;
  const auto run = testing_support::RunRastra(
      {logo, "-defaultsettings", "-convertintofinepalette", "-saveas" + dir.File("fine.c") + ",1,5", "-exit"}, dir.Path(),
      testing_support::Display::None);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  auto loaded = rastra::Load(logo);
  ASSERT_TRUE(loaded) << loaded.text;
  auto fine = rastra::ToFinePalette(loaded.value);
  ASSERT_TRUE(fine) << fine.text;
  WriteOptions options;
  options.format = 5;
  options.name = "fine.c";
  const auto written = rastra::Write(fine.value, options);
  ASSERT_TRUE(written) << written.text;
  const std::vector<std::uint8_t> saved = testing_support::ReadBytes(dir.File("fine.c"));
  EXPECT_EQ(written.value, std::string(saved.begin(), saved.end()));

  const auto empty = testing_support::RunRastra({"-convertintofinepalette", "-exit"}, dir.Path(),
                                                testing_support::Display::None);
  EXPECT_NE(empty.exitCode, 0);
  EXPECT_NE(testing_support::ReadText(dir.File("Rastra.log")).find(kNoOriginalBitmapText), std::string::npos);
}

}  // namespace
