// Asking for N colours gives N where the pictures have N or more: small
// palettes of -reducecolors and of a shared palette never collapse.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "CoreTestSupport.h"
#include "image/ColorConvert.h"
#include "image/SharedPalette.h"

namespace {

// A true-colour picture whose pixel (x, y) is colour(x, y) as 0xBBGGRR.
template <typename Fn>
BitmapPtr TrueColour(int width, int height, Fn colour) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Bitmap_StoreColor(b->Row(y) + 4 * x, colour(x, y));
  }
  return b;
}

std::set<Color> ColoursOf(const PaletteRef& palette) {
  return {palette.colours.begin(), palette.colours.begin() + palette.count};
}

TEST(SmallPalettes, ReducingAGradientGivesTheColoursAskedFor) {
  const BitmapPtr gradient = TrueColour(64, 48, [](int x, int y) {
    return static_cast<Color>(x * 4) | static_cast<Color>(y * 5) << 8 | Color{0x80} << 16;
  });
  for (const int wanted : {2, 3, 4, 5, 7, 8, 16, 200, 256}) {
    SCOPED_TRACE(wanted);
    sys::Context ctx;
    const BitmapPtr reduced = ReduceColors(*gradient, wanted, OutputOptions{}, ctx);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->NumColors, wanted);
    EXPECT_EQ(ColoursOf(Bitmap_GetPalette(*reduced)).size(), static_cast<std::size_t>(wanted)) << "all different";
  }
}

TEST(SmallPalettes, ASharedPaletteOfRedGreenAndBlueKeepsThemApart) {
  std::vector<ColorTally> tallies;
  for (const Color c : {Color{0x0000FF}, Color{0x00FF00}, Color{0xFF0000}}) {
    tallies.push_back(TallyColors(*TrueColour(4, 4, [c](int, int) { return c; })));
  }
  struct Case {
    int asked;
    int expected;
  };
  for (const Case c : std::vector<Case>{{2, 2}, {3, 3}, {4, 3}, {256, 3}}) {
    SCOPED_TRACE(c.asked);
    const auto shared = BuildSharedPalette(tallies, c.asked, false);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->palette.count, c.expected);
    EXPECT_EQ(ColoursOf(shared->palette).size(), static_cast<std::size_t>(c.expected)) << "all different";
  }
  // Three colours on three entries are the colours themselves.
  const auto exact = BuildSharedPalette(tallies, 3, false);
  ASSERT_TRUE(exact);
  EXPECT_EQ(ColoursOf(exact->palette), (std::set<Color>{0x0000FF, 0x00FF00, 0xFF0000}));
}

TEST(SmallPalettes, ASharedPaletteOfManyColoursFillsEveryEntry) {
  std::vector<ColorTally> tallies;
  tallies.push_back(TallyColors(*TrueColour(64, 64, [](int x, int y) {
    return static_cast<Color>(x * 4) | static_cast<Color>(y * 4) << 8 | static_cast<Color>((x ^ y) * 4) << 16;
  })));
  for (const int asked : {2, 3, 4, 5, 6, 7, 64, 256}) {
    SCOPED_TRACE(asked);
    const auto shared = BuildSharedPalette(tallies, asked, false);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->palette.count, asked);
  }
}

}  // namespace
