// One palette over a set of pictures: the best palette of a set of one is
// that picture's best palette, a set is the pictures stacked into one, the
// refinement only ever lowers the error, transparent pixels get entry 0 of
// their own, and pictures on one palette keep it.
#include <gtest/gtest.h>

#include <vector>

#include "CoreTestSupport.h"
#include "image/ColorConvert.h"
#include "image/SharedPalette.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::MakeBitmap;

// A picture of about `colours` distinct colours in runs, different per seed.
BitmapPtr Picture(int width, int height, int colours, int seed) {
  BitmapPtr b = MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int k = ((x / 3) * 7 + y * 13 + seed * 31) % colours;
      const Color c = static_cast<Color>((k * 37 + seed * 11) & 0xFF) | (static_cast<Color>((k * 11) & 0xFF) << 8) |
                      (static_cast<Color>((k * 5 + seed) & 0xFF) << 16);
      Bitmap_SetPixel(*b, x, y, c);
    }
  }
  return b;
}

// A disc of three colours on a fully transparent background.
BitmapPtr Icon(int size) {
  BitmapPtr b = MakeBitmap(size, size, 0);
  b->HasAlpha = 1;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int dx = 2 * x - size + 1;
      const int dy = 2 * y - size + 1;
      const int d = dx * dx + dy * dy;
      const Color c = d < size * size / 4 ? 0x0000FF : d < size * size / 2 ? 0x00FF00 : 0xFF000000u | 0x123456;
      Bitmap_SetPixel(*b, x, y, x == 0 && d < size * size ? 0x80FF0000u : c);
    }
  }
  return b;
}

BitmapPtr PaletteImage(const std::vector<Color>& palette, bool hasTrans, int seed) {
  BitmapPtr b = MakeBitmap(9, 7, static_cast<int>(palette.size()));
  for (std::size_t i = 0; i < palette.size(); ++i) Bitmap_SetPalColor(*b, static_cast<int>(i), palette[i]);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) Bitmap_SetPixel(*b, x, y, static_cast<std::uint32_t>((x + y * seed) % palette.size()));
  b->HasTrans = hasTrans ? 1 : 0;
  return b;
}

std::vector<ColorTally> Tallies(std::initializer_list<const Bitmap*> images) {
  std::vector<ColorTally> tallies;
  for (const Bitmap* image : images) tallies.push_back(TallyColors(*image));
  return tallies;
}

std::vector<Color> Colours(const PaletteRef& palette) {
  return {palette.colours.begin(), palette.colours.begin() + palette.count};
}

BitmapPtr Map(const Bitmap& image, const SharedPalette& shared) {
  sys::Context ctx;
  BitmapPtr mapped = MapToSharedPalette(image, shared, OutputOptions{}, ctx);
  EXPECT_NE(mapped, nullptr);
  return mapped;
}

// Squared RGB error of the pictures drawn with their mapped palettes.
std::uint64_t Error(const std::vector<const Bitmap*>& images, const std::vector<const Bitmap*>& mapped) {
  std::uint64_t error = 0;
  for (std::size_t i = 0; i < images.size(); ++i) {
    for (int y = 0; y < images[i]->YSize; ++y) {
      for (int x = 0; x < images[i]->XSize; ++x) {
        const Color a = Bitmap_GetPixelColor(*images[i], x, y);
        const Color b = Bitmap_GetPixelColor(*mapped[i], x, y);
        for (int shift = 0; shift < 24; shift += 8) {
          const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
          error += static_cast<std::uint64_t>(d * d);
        }
      }
    }
  }
  return error;
}

TEST(SharedPaletteTest, ASetOfOnePictureThatFitsGetsItsBestPalette) {
  for (int colours : {2, 40, 256}) {
    const BitmapPtr image = Picture(50, 30, colours, 1);
    sys::Context ctx;
    PaletteRef best;
    const int m = CalcBestPalette(256, *image, best, ctx);
    const auto shared = BuildSharedPalette(Tallies({image.get()}), 256, false);
    ASSERT_TRUE(shared.has_value());
    EXPECT_FALSE(shared->transparentEntry);
    EXPECT_EQ(shared->palette.count, m) << colours;
    EXPECT_EQ(Colours(shared->palette), Colours(best)) << colours;
    const BitmapPtr mapped = Map(*image, *shared);
    const BitmapPtr bestMapped = ConvertToBestPalette(*image, OutputOptions{}, ctx);
    EXPECT_EQ(mapped->pData, bestMapped->pData) << colours;
    EXPECT_EQ(Error({image.get()}, {mapped.get()}), 0u) << colours;
  }
}

// The pictures count as one picture, the first on top; the refinement then
// does better than the octree's palette of that picture.
TEST(SharedPaletteTest, ASetIsItsPicturesStackedAndRefinementLowersTheError) {
  const BitmapPtr a = Picture(60, 40, 700, 2);
  const BitmapPtr b = Picture(60, 30, 500, 3);
  BitmapPtr stacked = MakeBitmap(60, 70, 0);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 60; ++x)
      Bitmap_SetPixel(*stacked, x, y, y < 40 ? Bitmap_GetPixelColor(*a, x, y) : Bitmap_GetPixelColor(*b, x, y - 40));
  for (int maxColors : {2, 16, 256}) {
    const auto set = BuildSharedPalette(Tallies({a.get(), b.get()}), maxColors, false);
    const auto one = BuildSharedPalette(Tallies({stacked.get()}), maxColors, false);
    ASSERT_TRUE(set && one);
    EXPECT_EQ(Colours(set->palette), Colours(one->palette)) << maxColors;
    EXPECT_LE(set->palette.count, maxColors);

    sys::Context ctx;
    PaletteRef octree;
    octree.count = CalcBestPalette(maxColors, *stacked, octree, ctx);
    const SharedPalette plain{octree};
    const BitmapPtr ma = Map(*a, *set), mb = Map(*b, *set), oa = Map(*a, plain), ob = Map(*b, plain);
    EXPECT_LT(Error({a.get(), b.get()}, {ma.get(), mb.get()}), Error({a.get(), b.get()}, {oa.get(), ob.get()}))
        << maxColors;
  }
}

TEST(SharedPaletteTest, TransparentPixelsAndOnlyTheyTakeEntryZero) {
  const BitmapPtr icon = Icon(12);
  const BitmapPtr opaque = Picture(10, 10, 3, 4);
  for (int maxColors : {2, 5, 256}) {
    const auto shared = BuildSharedPalette(Tallies({icon.get(), opaque.get()}), maxColors, false);
    ASSERT_TRUE(shared.has_value());
    EXPECT_TRUE(shared->transparentEntry && shared->hasTrans);
    EXPECT_EQ(shared->palette.colours[0], kSharedTransparentColor);
    EXPECT_LE(shared->palette.count, maxColors);
    for (const Bitmap* image : {icon.get(), opaque.get()}) {
      const BitmapPtr mapped = Map(*image, *shared);
      EXPECT_EQ(mapped->HasTrans, 1);
      for (int y = 0; y < image->YSize; ++y)
        for (int x = 0; x < image->XSize; ++x) {
          const bool transparent = image->HasAlpha != 0 && Bitmap_GetPixelColor(*image, x, y) >> 24 == 0xFF;
          EXPECT_EQ(Bitmap_GetPixel(*mapped, x, y) == 0, transparent) << maxColors << " at " << x << "," << y;
        }
    }
  }
  // Six visible colours fit beside the transparent entry: every one exact.
  const auto fits = BuildSharedPalette(Tallies({icon.get(), opaque.get()}), 7, false);
  const BitmapPtr icon6 = Map(*icon, *fits), opaque6 = Map(*opaque, *fits);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(Bitmap_GetPixelColor(*opaque6, x, y), Bitmap_GetPixelColor(*opaque, x, y));
  EXPECT_EQ(Bitmap_GetPixelColor(*icon6, 6, 6), 0x0000FFu);
  EXPECT_EQ(Bitmap_GetPixelColor(*icon6, 0, 6), 0xFF0000u);  // half transparent: its colour, opaque
}

TEST(SharedPaletteTest, PicturesOnOnePaletteKeepItInItsOrder) {
  const std::vector<Color> palette = {0x00FF00, 0x000000, 0xFFFFFF, 0x123456};
  struct Case {
    std::vector<Color> second;
    bool secondTrans;
    int maxColors;
    bool kept;
  } cases[] = {
      {palette, false, 256, true},
      {palette, false, 4, true},
      {palette, false, 3, false},  // more entries than asked for
      {palette, true, 256, false},
      {{0x00FF00, 0x000000, 0x123456, 0xFFFFFF}, false, 256, false},
  };
  for (const Case& c : cases) {
    const BitmapPtr first = PaletteImage(palette, false, 2);
    const BitmapPtr second = PaletteImage(c.second, c.secondTrans, 3);
    const auto shared = BuildSharedPalette(Tallies({first.get(), second.get()}), c.maxColors, false);
    ASSERT_TRUE(shared.has_value());
    EXPECT_EQ(shared->kept, c.kept) << c.maxColors;
    if (!c.kept) continue;
    EXPECT_EQ(Colours(shared->palette), palette);
    const BitmapPtr mapped = Map(*second, *shared);
    EXPECT_EQ(mapped->pData, second->pData);
  }
}

TEST(SharedPaletteTest, APaletteFileWithATransparentFirstEntryKeepsItForTransparentPixels) {
  PaletteRef file;
  file.count = 3;
  file.colours[0] = 0xFF000000;
  file.colours[1] = 0x0000FF;
  file.colours[2] = 0x00FF00;
  const BitmapPtr icon = Icon(8);
  const SharedPalette shared = SharedPaletteFromFile(file, {}, false);
  EXPECT_TRUE(shared.transparentEntry);
  const BitmapPtr mapped = Map(*icon, shared);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(Bitmap_GetPixel(*mapped, x, y) == 0, Bitmap_GetPixelColor(*icon, x, y) >> 24 == 0xFF);

  // An opaque first entry is a colour like the others: the custom palette's mapping.
  file.colours[0] = 0x000000;
  const SharedPalette plain = SharedPaletteFromFile(file, {}, false);
  EXPECT_FALSE(plain.transparentEntry);
  sys::Context ctx;
  const BitmapPtr custom = ConvertToCustomPalette(*icon, file, OutputOptions{}, ctx);
  EXPECT_EQ(Map(*icon, plain)->pData, custom->pData);
}

}  // namespace
