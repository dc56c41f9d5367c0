// Conversion into colour formats, dithering, palette mapping and the octree.
#include <gtest/gtest.h>

#include "BitmapTestHelpers.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CoreTestSupport.h"
#include "image/ColorConvert.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::RawPixels;
using testing_support::PaletteOf;

// Each case has its own job context and output options.
class ConvertTest : public ::testing::Test {
 protected:
  std::vector<std::string> Reports() const { return testing_support::TextsOf(ctx); }
  sys::Context ctx{};
  OutputOptions options;
};

// Pixels given top row first, left to right.
BitmapPtr MakeTrueColor(int width, int height, const std::vector<Color>& pixels) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Bitmap_SetPixel(*b, x, y, pixels[static_cast<std::size_t>(y * width + x)]);
  }
  return b;
}

BitmapPtr MakePaletted(int width, int height, const std::vector<Color>& palette,
                       const std::vector<std::uint8_t>& indexes) {
  BitmapPtr b = testing_support::MakeBitmap(width, height, static_cast<int>(palette.size()));
  for (int i = 0; i < static_cast<int>(palette.size()); ++i) Bitmap_SetPalColor(*b, i, palette[i]);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Bitmap_SetPixel(*b, x, y, indexes[static_cast<std::size_t>(y * width + x)]);
  }
  return b;
}

std::vector<Color> RandomColors(std::size_t n, std::uint32_t seed, Color mask = 0xFFFFFF) {
  std::mt19937 rng(seed);
  std::vector<Color> colors(n);
  for (Color& c : colors) c = rng() & mask;
  return colors;
}

// Distinct colours (i, j, 0) for i, j from 0: more than 256 of them force merging.
std::vector<Color> DistinctColors(int n) {
  std::vector<Color> colors;
  for (int i = 0; i < n; ++i) colors.push_back(static_cast<Color>(i % 256) | (static_cast<Color>(i / 256) << 8));
  return colors;
}

// ConvertToFormat ---------------------------------------------------------

// Every conversion reads its source and makes a new image: the source keeps
// its pixels, palette and transparency, whatever the conversion did.
TEST_F(ConvertTest, ConversionsLeaveTheirSourceAsItWas) {
  BitmapPtr source = MakePaletted(3, 2, {0x0000F0, 0x101010, 0xEEEEEE}, {0, 1, 2, 2, 1, 0});
  source->HasTrans = 1;
  const BitmapPtr before = Bitmap_Clone(*source, ctx);
  PaletteRef two;
  two.count = 2;
  two.colours[1] = 0xFFFFFF;
  std::vector<BitmapPtr> made;
  made.push_back(ConvertToFormat(*source, GetColorFormat(kFormat565), options, ctx));
  made.push_back(DitherToFormat(*source, GetColorFormat(kFormatBW), options, ctx));
  made.push_back(ConvertToBestPalette(*source, options, ctx));
  made.push_back(ConvertToBestPaletteTrans(*source, 0xFFFFFF, options, ctx));
  made.push_back(ConvertToCustomPalette(*source, two, options, ctx));
  made.push_back(ReduceColors(*source, 2, options, ctx));
  made.push_back(Bitmap_ToTrueColor(*source, ctx));
  for (std::size_t i = 0; i < made.size(); ++i) {
    ASSERT_NE(made[i], nullptr) << "conversion " << i;
    EXPECT_NE(made[i].get(), source.get()) << "conversion " << i;
  }
  EXPECT_EQ(source->pData, before->pData);
  EXPECT_EQ(source->pInfo, before->pInfo);
  EXPECT_EQ(source->HasTrans, 1);
}

TEST_F(ConvertTest, PaletteFormatsStoreCodesAndTheFormatPalette) {
  const std::vector<Color> colors = RandomColors(7 * 5, 11);
  for (int id = 0; id <= kFormat8666; ++id) {
    const ColorFormat& format = GetColorFormat(id);
    BitmapPtr result = ConvertToFormat(*MakeTrueColor(7, 5, colors), format, options, ctx);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->NumColors, static_cast<int>(format.GetIndexMask() + 1)) << format.Name();
    EXPECT_EQ(result->BitsPerPixel, 8);
    const std::vector<std::uint32_t> pixels = RawPixels(*result);
    for (std::size_t i = 0; i < colors.size(); ++i) EXPECT_EQ(pixels[i], format.ColorToIndex(colors[i]));
    for (int i = 0; i < result->NumColors; ++i) {
      EXPECT_EQ(Bitmap_GetPalColor(*result, i), format.IndexToColor(static_cast<std::uint32_t>(i)));
    }
    EXPECT_EQ(result->HasTrans, 0);
  }
}

TEST_F(ConvertTest, TrueColorFormatsStoreQuantisedOpaqueColours) {
  std::vector<Color> colors = RandomColors(6 * 4, 5, 0xFFFFFFFF);
  for (int id : {kFormat444_12, kFormat555, kFormat565, kFormatRGB}) {
    const ColorFormat& format = GetColorFormat(id);
    BitmapPtr result = ConvertToFormat(*MakeTrueColor(6, 4, colors), format, options, ctx);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->NumColors, 0);
    EXPECT_EQ(result->BitsPerPixel, 32);
    const std::vector<std::uint32_t> pixels = RawPixels(*result);
    for (std::size_t i = 0; i < colors.size(); ++i) {
      EXPECT_EQ(pixels[i], format.IndexToColor(format.ColorToIndex(colors[i])));
      EXPECT_EQ(pixels[i] >> 24, 0u);
    }
  }
}

TEST_F(ConvertTest, PaletteSourceInto565HoldsQuantisedPaletteColours) {
  const std::vector<Color> palette = {0x123456, 0xFFFFFF, 0x0A0B25};
  BitmapPtr source = MakePaletted(3, 2, palette, {0, 1, 2, 2, 1, 0});
  source->HasTrans = 1;
  BitmapPtr result = ConvertToFormat(*source, GetColorFormat(kFormat565), options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 0);
  // 0x0A0B25: red 37 -> 5 -> 41, green 11 -> 3 -> 12, blue 10 -> 1 -> 8.
  const Color q0 = GetColorFormat(kFormat565).IndexToColor(GetColorFormat(kFormat565).ColorToIndex(0x123456));
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{q0, 0xFFFFFF, 0x080C29, 0x080C29, 0xFFFFFF, q0}));
  EXPECT_EQ(result->HasTrans, 0);  // palette-index transparency is not carried over
}

TEST_F(ConvertTest, PreserveTransSendsTransparentAndBlackToIndexZero) {
  const std::vector<Color> pixels = {0xFF808080, 0x00000000, 0x00FFFFFF, 0x7F808080};
  options.preserveTrans = true;
  BitmapPtr on = ConvertToFormat(*MakeTrueColor(4, 1, pixels), GetColorFormat(kFormatGray4), options, ctx);
  EXPECT_EQ(RawPixels(*on), (std::vector<std::uint32_t>{0, 0, 3, 2}));
  EXPECT_EQ(on->HasTrans, 1);
  BitmapPtr trueColor = ConvertToFormat(*MakeTrueColor(4, 1, pixels), GetColorFormat(kFormat565), options, ctx);
  EXPECT_EQ(RawPixels(*trueColor)[0], 0u);
  EXPECT_EQ(trueColor->HasTrans, 1);

  options.preserveTrans = false;
  BitmapPtr off = ConvertToFormat(*MakeTrueColor(4, 1, pixels), GetColorFormat(kFormatGray4), options, ctx);
  EXPECT_EQ(RawPixels(*off), (std::vector<std::uint32_t>{2, 0, 3, 2}));
  EXPECT_EQ(off->HasTrans, 0);
}

// DitherToFormat ----------------------------------------------------------

TEST_F(ConvertTest, DitherTwoMidGreysToBlackAndWhite) {
  BitmapPtr result = DitherToFormat(*MakeTrueColor(2, 1, {0x808080, 0x808080}), GetColorFormat(kFormatBW), options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{1, 0}));
}

TEST_F(ConvertTest, DitherWalksStoredRowsBottomPictureRowFirst) {
  // The bottom pixel is handled first and pushes -127 x 5 / 16 onto the top one.
  BitmapPtr result = DitherToFormat(*MakeTrueColor(1, 2, {0x808080, 0x808080}), GetColorFormat(kFormatBW), options, ctx);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0, 1}));
}

TEST_F(ConvertTest, DitherErrorTruncatesTowardZero) {
  // (10, 0, 0) becomes grey 3: errors +7, -3, -3. The neighbour receives
  // +3, -1, -1 (truncated toward zero, not -2) and so sums to 301, grey 100.
  BitmapPtr result = DitherToFormat(*MakeTrueColor(2, 1, {0x00000A, 0x646464}), GetColorFormat(kFormatGray256), options, ctx);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{3, 100}));
}

TEST_F(ConvertTest, DitherClampsReceivingChannels) {
  // 200 becomes 170 with error +30; 255 + 13 must stay 255, not wrap to 12.
  BitmapPtr result = DitherToFormat(*MakeTrueColor(2, 1, {0xC8C8C8, 0xFFFFFF}), GetColorFormat(kFormatGray4), options, ctx);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{2, 3}));
}

// In 111 a red of 127 becomes 0 and passes +127 on: 23 up-left (w = 3), 39 up
// (w = 5) and 7 up-right (w = 1). A receiver at 128 - share turns red.
std::uint32_t TopPixelCode(const std::vector<Color>& pixels, int x) {
  sys::Context ctx;
  BitmapPtr result = DitherToFormat(*MakeTrueColor(2, 2, pixels), GetColorFormat(kFormat111), OutputOptions{}, ctx);
  return Bitmap_GetPixel(*result, x, 0);
}

TEST_F(ConvertTest, DitherPassesThreeSixteenthsUpLeft) {
  EXPECT_EQ(TopPixelCode({105, 0, 0, 127}, 0), 1u);
  EXPECT_EQ(TopPixelCode({104, 0, 0, 127}, 0), 0u);
}

TEST_F(ConvertTest, DitherPassesOneSixteenthUpRight) {
  // The right neighbour (200) saturates at 255 and the pixel above (230 + 39)
  // clamps to 255: neither has an error of its own to pass on.
  EXPECT_EQ(TopPixelCode({230, 121, 127, 200}, 1), 1u);
  EXPECT_EQ(TopPixelCode({230, 120, 127, 200}, 1), 0u);
}

TEST_F(ConvertTest, DitherNeverPreservesTransparency) {
  options.preserveTrans = true;
  BitmapPtr result = DitherToFormat(*MakeTrueColor(2, 1, {0xFF000000, 0xFFFFFFFF}), GetColorFormat(kFormatGray4), options, ctx);
  EXPECT_EQ(result->HasTrans, 0);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0, 3}));
}

// FindNearestColor and ConvertToPalette -----------------------------------

PaletteRef MakePalette(const std::vector<Color>& colors) {
  PaletteRef p;
  p.count = static_cast<int>(colors.size());
  for (std::size_t i = 0; i < colors.size(); ++i) p.colours[i] = colors[i];
  return p;
}

TEST_F(ConvertTest, FindNearestColorPrefersTheLowestIndex) {
  EXPECT_EQ(FindNearestColor(0x101010, MakePalette({0x000000, 0x000000, 0x202020})), 0);
  const PaletteRef exact = MakePalette({1, 2, 3, 4, 5, 0x445566, 7, 0x445566});
  EXPECT_EQ(FindNearestColor(0x445566, exact), 5);
  EXPECT_EQ(FindNearestColor(0xFF445566, exact), 5);  // transparency ignored
  // Equal distance 1 to entries 1 and 2: entry 1 wins.
  EXPECT_EQ(FindNearestColor(0x000010, MakePalette({0xFFFFFF, 0x00000F, 0x000011})), 1);
  EXPECT_EQ(FindNearestColor(0x000010, MakePalette({0xFFFFFF, 0x000011, 0x00000F})), 1);
}

// The per-colour memo and pruned search must give the linear search's answer.
TEST_F(ConvertTest, ConvertToPaletteMatchesLinearSearchPerPixel) {
  struct Case {
    std::vector<Color> palette;
    Color pixelMask;
  };
  std::vector<Color> withDuplicates = RandomColors(64, 3);
  for (int i = 0; i < 64; i += 3) withDuplicates[i] = withDuplicates[i / 2];
  const std::vector<Case> cases = {
      {RandomColors(256, 1), 0xFFFFFFFF},
      {RandomColors(16, 2), 0xFFFFFFFF},
      {withDuplicates, 0xFFFFFFFF},
      {RandomColors(256, 4, 0x0F0F0F), 0x1F1F1F},  // many ties on a coarse grid
      {{0x808080}, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    const PaletteRef palette = MakePalette(c.palette);
    const std::vector<Color> pixels = RandomColors(97 * 41, 9, c.pixelMask);
    BitmapPtr source = MakeTrueColor(97, 41, pixels);
    BitmapPtr result = ConvertToPalette(palette, *source, palette.count, options, ctx);
    ASSERT_NE(result, nullptr);
    const std::vector<std::uint32_t> got = RawPixels(*result);
    int mismatches = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      mismatches += got[i] != static_cast<std::uint32_t>(FindNearestColor(pixels[i], palette));
    }
    EXPECT_EQ(mismatches, 0) << "palette of " << c.palette.size();
    EXPECT_EQ(PaletteOf(*result), c.palette);
  }
}

// A shuffled lattice palette with duplicates: many colours lie exactly halfway
// between entries, so the lowest-index rule decides, all over the colour cube.
TEST_F(ConvertTest, ConvertToPaletteBreaksTiesLikeTheLinearSearchEverywhere) {
  std::vector<Color> lattice;
  for (Color r = 0; r < 6; ++r) {
    for (Color g = 0; g < 6; ++g) {
      for (Color b = 0; b < 6; ++b) lattice.push_back(r * 32 | (g * 32) << 8 | (b * 32) << 16);
    }
  }
  std::mt19937 rng(77);
  std::shuffle(lattice.begin(), lattice.end(), rng);
  for (int i = 0; i < 40; ++i) lattice.push_back(lattice[rng() % lattice.size()]);
  const PaletteRef palette = MakePalette(lattice);
  std::vector<Color> pixels = RandomColors(32 * 1024, 78);
  for (Color r = 0; r < 256; r += 8) {
    for (Color g = 0; g < 256; g += 8) {
      for (Color b = 0; b < 256; b += 8) pixels.push_back(r | g << 8 | b << 16);
    }
  }
  BitmapPtr source = MakeTrueColor(1024, 64, pixels);
  BitmapPtr result = ConvertToPalette(palette, *source, palette.count, options, ctx);
  ASSERT_NE(result, nullptr);
  const std::vector<std::uint32_t> got = RawPixels(*result);
  int mismatches = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    mismatches += got[i] != static_cast<std::uint32_t>(FindNearestColor(pixels[i], palette));
  }
  EXPECT_EQ(mismatches, 0);
}

// Pictures of up to 256 pixels are mapped entry by entry, larger ones through
// the search's tables: either way a colour gets the same entry.
TEST_F(ConvertTest, SmallAndLargePicturesMapTheirColoursAlike) {
  const PaletteRef palette = MakePalette(RandomColors(256, 5));
  const std::vector<Color> colours = RandomColors(256, 6, 0xFFFFFFFF);
  std::vector<Color> more = colours;
  more.insert(more.end(), colours.begin(), colours.begin() + 16);
  const BitmapPtr small = ConvertToPalette(palette, *MakeTrueColor(16, 16, colours), 256, options, ctx);
  const BitmapPtr large = ConvertToPalette(palette, *MakeTrueColor(16, 17, more), 256, options, ctx);
  ASSERT_TRUE(small && large);
  const std::vector<std::uint32_t> smallIndexes = RawPixels(*small);
  const std::vector<std::uint32_t> largeIndexes = RawPixels(*large);
  EXPECT_EQ(smallIndexes, std::vector<std::uint32_t>(largeIndexes.begin(), largeIndexes.begin() + 256));
  EXPECT_GT(std::set<std::uint32_t>(smallIndexes.begin(), smallIndexes.end()).size(), 100u);
}

// Large pictures are mapped on two threads, even and odd rows apart: every
// row gets the linear search's entry, and a fully transparent pixel in a row
// of either thread makes the result transparent.
TEST_F(ConvertTest, LargePicturesMapEveryRowLikeTheLinearSearch) {
  constexpr int kWidth = 1024;
  constexpr int kHeight = 513;  // above half a million pixels, an odd number of rows
  const PaletteRef palette = MakePalette(RandomColors(256, 21));
  const std::vector<Color> set = RandomColors(4096, 22);
  std::vector<std::uint32_t> nearest(set.size());
  for (std::size_t i = 0; i < set.size(); ++i) nearest[i] = static_cast<std::uint32_t>(FindNearestColor(set[i], palette));
  std::mt19937 rng(23);
  std::vector<std::size_t> chosen(std::size_t{kWidth} * kHeight);
  std::vector<Color> pixels(chosen.size());
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    chosen[i] = rng() % set.size();
    pixels[i] = set[chosen[i]];
  }
  const BitmapPtr result = ConvertToPalette(palette, *MakeTrueColor(kWidth, kHeight, pixels), 256, options, ctx);
  ASSERT_TRUE(result);
  const std::vector<std::uint32_t> got = RawPixels(*result);
  std::vector<int> wrongRows;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (got[i] != nearest[chosen[i]] && (wrongRows.empty() || wrongRows.back() != static_cast<int>(i / kWidth))) {
      wrongRows.push_back(static_cast<int>(i / kWidth));
    }
  }
  EXPECT_TRUE(wrongRows.empty()) << wrongRows.size() << " rows differ, the first " << wrongRows.front();
  EXPECT_EQ(result->HasTrans, 0);

  options.preserveTrans = true;
  for (const int row : {1, kHeight - 1}) {  // a helper's row, the caller's last
    std::vector<Color> withHole = pixels;
    withHole[static_cast<std::size_t>(row) * kWidth + 7] = 0xFF000000;
    const BitmapPtr holed = ConvertToPalette(palette, *MakeTrueColor(kWidth, kHeight, withHole), 256, options, ctx);
    ASSERT_TRUE(holed);
    EXPECT_EQ(holed->HasTrans, 1) << "transparent pixel in row " << row;
    EXPECT_EQ(Bitmap_GetPixel(*holed, 7, row), 0u);
  }
}

TEST_F(ConvertTest, ConvertToPaletteMapsPaletteSources) {
  const PaletteRef palette = MakePalette({0x000000, 0xFFFFFF, 0x0000FF});
  BitmapPtr source = MakePaletted(2, 2, {0x0000F0, 0x101010, 0xEEEEEE}, {0, 1, 2, 0});
  BitmapPtr result = ConvertToPalette(palette, *source, 5, options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 5);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{2, 0, 1, 2}));
  EXPECT_EQ(PaletteOf(*result), (std::vector<Color>{0x000000, 0xFFFFFF, 0x0000FF, 0, 0}));
}

TEST_F(ConvertTest, ConvertToPaletteKeepsPaletteTransparencyBytesAndPreservesTransparentPixels) {
  const PaletteRef palette = MakePalette({0x80FFFFFF, 0x000000});
  options.preserveTrans = true;
  BitmapPtr source = MakeTrueColor(3, 1, {0xFFFFFFFF, 0xFF000000, 0x00FFFFFF});
  BitmapPtr result = ConvertToPalette(palette, *source, 2, options, ctx);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{0, 0, 0}));
  EXPECT_EQ(result->HasTrans, 1);
  EXPECT_EQ(Bitmap_GetPalColor(*result, 0), 0x80FFFFFFu);
}

// ColorOctree ---------------------------------------------------------------

std::vector<Color> TreePalette(const ColorOctree& tree, std::vector<std::uint32_t>* counts = nullptr) {
  std::vector<Color> colors(tree.LeafCount());
  std::vector<std::uint32_t> n(tree.LeafCount());
  colors.resize(static_cast<std::size_t>(tree.GetPalette(colors.data(), n.data())));
  if (counts != nullptr) *counts = std::vector<std::uint32_t>(n.begin(), n.begin() + colors.size());
  return colors;
}

void Insert(ColorOctree& tree, Color c) {
  tree.Insert(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c >> 16));
}

TEST(ColorOctree, TwoHundredFiftySevenColoursMergeTheLastLevelSevenNode) {
  ColorOctree tree(256, 8);
  for (int r = 0; r < 256; ++r) {
    Insert(tree, static_cast<Color>(r));
    ASSERT_LE(tree.LeafCount(), 256u);
  }
  Insert(tree, 0x000100);  // green 1: a new leaf under the first level-7 node
  EXPECT_EQ(tree.LeafCount(), 256u);
  std::vector<std::uint32_t> counts;
  const std::vector<Color> palette = TreePalette(tree, &counts);
  // Tree order puts (0, 1, 0) right after black; reds 254 and 255, the last
  // level-7 node created, became one leaf of their average.
  std::vector<Color> expected = {0x000000, 0x000100};
  for (Color r = 1; r <= 254; ++r) expected.push_back(r);
  EXPECT_EQ(palette, expected);
  EXPECT_EQ(counts.back(), 2u);
  EXPECT_EQ(counts.front(), 1u);
}

TEST(ColorOctree, MergesUpToTheRootAndAveragesWithTruncation) {
  ColorOctree tree(1, 8);
  Insert(tree, 0x000000);
  Insert(tree, 0xFFFFFF);
  EXPECT_EQ(tree.LeafCount(), 1u);
  EXPECT_EQ(TreePalette(tree), (std::vector<Color>{0x7F7F7F}));
  Insert(tree, 0x0000FF);  // the root is a leaf now and keeps collecting
  std::vector<std::uint32_t> counts;
  EXPECT_EQ(TreePalette(tree, &counts), (std::vector<Color>{0x5555AA}));
  EXPECT_EQ(counts, (std::vector<std::uint32_t>{3}));
}

TEST(ColorOctree, WeightedInsertEqualsRepeatedInserts) {
  std::mt19937 rng(21);
  ColorOctree one(40, 8);
  ColorOctree weighted(40, 8);
  for (int i = 0; i < 3000; ++i) {
    const Color c = rng() & 0xFFFFFF;
    const std::uint32_t run = 1 + rng() % 4;
    for (std::uint32_t k = 0; k < run; ++k) Insert(one, c);
    weighted.Insert(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                    static_cast<std::uint8_t>(c >> 16), run);
  }
  std::vector<std::uint32_t> countsOne;
  std::vector<std::uint32_t> countsWeighted;
  EXPECT_EQ(TreePalette(one, &countsOne), TreePalette(weighted, &countsWeighted));
  EXPECT_EQ(countsOne, countsWeighted);
  EXPECT_LE(one.LeafCount(), 40u);
}

TEST(ColorOctree, EmptyTreeHasNoPalette) {
  ColorOctree tree(16, 8);
  Color c = 0;
  EXPECT_EQ(tree.GetPalette(&c, nullptr), 0);
}

// Best palette, reduction --------------------------------------------------

TEST_F(ConvertTest, BestPaletteIsOrderedByPixelCount) {
  std::vector<Color> pixels;
  for (int i = 0; i < 10; ++i) pixels.push_back(0x0000AA);  // A
  for (int i = 0; i < 30; ++i) pixels.push_back(0x00BB00);  // B
  for (int i = 0; i < 20; ++i) pixels.push_back(0xCC0000);  // C
  BitmapPtr image = MakeTrueColor(60, 1, pixels);
  PaletteRef best;
  ASSERT_EQ(CalcBestPalette(256, *image, best, ctx), 3);
  EXPECT_EQ(best.colours[0], 0x00BB00u);
  EXPECT_EQ(best.colours[1], 0xCC0000u);
  EXPECT_EQ(best.colours[2], 0x0000AAu);
}

TEST_F(ConvertTest, BestPaletteKeepsTreeOrderForEqualCounts) {
  // Pure red lies under child 4 of the root, pure blue under child 1.
  BitmapPtr image = MakeTrueColor(4, 1, {0x0000FF, 0x0000FF, 0xFF0000, 0xFF0000});
  PaletteRef best;
  ASSERT_EQ(CalcBestPalette(256, *image, best, ctx), 2);
  EXPECT_EQ(best.colours[0], 0xFF0000u);
  EXPECT_EQ(best.colours[1], 0x0000FFu);
}

TEST_F(ConvertTest, ConvertToBestPaletteIsLosslessUpTo256Colours) {
  const std::vector<Color> colors = DistinctColors(200);
  std::vector<Color> pixels;
  for (int i = 0; i < 20 * 30; ++i) pixels.push_back(colors[static_cast<std::size_t>(i * 7) % colors.size()]);
  BitmapPtr source = MakeTrueColor(20, 30, pixels);
  BitmapPtr result = ConvertToBestPalette(*source, options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 200);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(Bitmap_GetPixelColor(*result, x, y), pixels[y * 20 + x]);
  }
}

TEST_F(ConvertTest, BestPaletteOfAnEmptyImageFails) {
  BitmapPtr source = Bitmap_Create(0, 0, 0, ctx);
  EXPECT_EQ(ConvertToBestPalette(*source, options, ctx), nullptr);
  source->HasAlpha = 1;
  EXPECT_EQ(ConvertToBestPaletteTrans(*source, 0xFFFFFF, options, ctx), nullptr);
}

TEST_F(ConvertTest, BestPaletteTransWithoutAlphaEqualsBestPalette) {
  const std::vector<Color> pixels = RandomColors(31 * 17, 8, 0xFFE0E0E0);
  BitmapPtr a = MakeTrueColor(31, 17, pixels);
  BitmapPtr b = MakeTrueColor(31, 17, pixels);
  BitmapPtr plain = ConvertToBestPalette(*a, options, ctx);
  BitmapPtr trans = ConvertToBestPaletteTrans(*b, 0xFFFFFF, options, ctx);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(trans, nullptr);
  EXPECT_EQ(RawPixels(*plain), RawPixels(*trans));
  EXPECT_EQ(PaletteOf(*plain), PaletteOf(*trans));
}

TEST_F(ConvertTest, BestPaletteTransPutsExactlyTheTransparentPixelsAtIndexZero) {
  std::vector<Color> pixels = DistinctColors(300);
  for (std::size_t i = 0; i < pixels.size(); i += 7) pixels[i] |= 0xFF000000;  // fully transparent
  for (std::size_t i = 3; i < pixels.size(); i += 11) pixels[i] |= 0x80000000;  // partly transparent
  BitmapPtr source = MakeTrueColor(30, 10, pixels);
  source->HasAlpha = 1;
  BitmapPtr result = ConvertToBestPaletteTrans(*source, 0xFFFFFF, options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_LE(result->NumColors, 256);
  EXPECT_EQ(Bitmap_GetPalColor(*result, 0), 0xFFFFFFu);
  EXPECT_EQ(result->HasTrans, 1);
  const std::vector<std::uint32_t> indexes = RawPixels(*result);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    EXPECT_EQ(indexes[i] == 0, (pixels[i] >> 24) == 0xFF) << i;
    EXPECT_LT(indexes[i], static_cast<std::uint32_t>(result->NumColors));
  }
}

TEST_F(ConvertTest, ReduceColorsKeepsFewColoursAndLimitsMany) {
  BitmapPtr three = ReduceColors(*MakeTrueColor(3, 2, {1, 2, 3, 3, 2, 1}), 16, options, ctx);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->NumColors, 3);

  std::vector<Color> pixels;
  for (int r = 0; r < 256; ++r) pixels.push_back(static_cast<Color>(r));
  pixels.push_back(0x000100);
  pixels.push_back(0x000100);
  BitmapPtr many = ReduceColors(*MakeTrueColor(258, 1, pixels), 256, options, ctx);
  ASSERT_NE(many, nullptr);
  EXPECT_EQ(many->NumColors, 256);
  EXPECT_EQ(Bitmap_GetPixelColor(*many, 255, 0), 254u);  // red 255 shares the merged leaf
  EXPECT_EQ(Bitmap_GetPixelColor(*many, 256, 0), 0x000100u);
}

TEST_F(ConvertTest, ReduceColorsToFourMergesDownToFour) {
  const std::vector<Color> pixels = RandomColors(40 * 40, 17);
  BitmapPtr result = ReduceColors(*MakeTrueColor(40, 40, pixels), 4, options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_GE(result->NumColors, 1);
  EXPECT_LE(result->NumColors, 4);
}

TEST_F(ConvertTest, ConvertToCustomPaletteUsesTheCustomPaletteSize) {
  const PaletteRef custom = MakePalette({0x000000, 0x0000FF, 0x00FF00});
  BitmapPtr result = ConvertToCustomPalette(*MakeTrueColor(3, 1, {0x0000F0, 0x00F000, 0x010101}), custom, options, ctx);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 3);
  EXPECT_EQ(RawPixels(*result), (std::vector<std::uint32_t>{1, 2, 0}));
}

}  // namespace
