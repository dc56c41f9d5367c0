// The library's calls kept to what their header promises, where a slip would
// pass the command line's tests: a full palette file goes out and comes back
// whole, a file the disk refuses is a failure, with the old file kept, and a
// colour given as 0xRRGGBB is taken as such.
#include <rastra/rastra.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SaveFaultSupport.h"
#include "TestSupport.h"

namespace {

using testing_support::ReadText;
using testing_support::TempDir;

const std::string kImages = std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/";

TEST(LibraryPromises, PaletteFilesOfUpTo256ColoursGoOutAndComeBackWhole) {
  TempDir dir;
  struct Case {
    int count;
    rastra::Code saved;
  };
  for (const Case c : {Case{2, rastra::Code::kOk}, Case{256, rastra::Code::kOk}, Case{257, rastra::Code::kBadArgument}}) {
    SCOPED_TRACE(c.count);
    rastra::Palette palette;
    palette.count = c.count;
    // Red and blue differ in every entry, so a swap would show.
    for (int i = 0; i < 256; ++i) palette.colours[i] = static_cast<rastra::Color>(i | (255 - i) << 16 | 0x5A00);
    const std::string path = dir.File("p" + std::to_string(c.count) + ".GUIPal");
    EXPECT_EQ(rastra::SavePalette(palette, path).code, c.saved);
    if (c.saved != rastra::Code::kOk) continue;
    const rastra::Result<rastra::Palette> loaded = rastra::LoadPalette(path);
    ASSERT_TRUE(loaded) << loaded.text;
    ASSERT_EQ(loaded.value.count, c.count);
    for (int i = 0; i < c.count; ++i) EXPECT_EQ(loaded.value.colours[i], palette.colours[i]) << i;
  }
}

TEST(LibraryPromises, AWriteTheDiskRefusesFailsAndKeepsTheOldFile) {
  TempDir dir;
  const rastra::Result<rastra::Image> badge = rastra::Load(kImages + "badge.png");
  ASSERT_TRUE(badge) << badge.text;
  const std::string path = dir.File("badge.c");
  testing_support::WriteBytes(path, {'o', 'l', 'd'});
  rastra::Status written;
  {
    // Far below the C file, which the write buffer holds until the close.
    const testing_support::FileSizeLimit limit(100);
    ASSERT_TRUE(limit.Active());
    written = rastra::WriteFile(badge.value, path, rastra::WriteOptions{});
  }
  EXPECT_EQ(written.code, rastra::Code::kIo) << written.text;
  EXPECT_EQ(ReadText(path), "old");
  EXPECT_TRUE(rastra::WriteFile(badge.value, path, rastra::WriteOptions{})) << "without the limit";
  EXPECT_NE(ReadText(path), "old");
}

// SetTransparentColor takes 0xRRGGBB: asking for red makes the red pixels
// transparent, never the blue ones (whose red and blue are swapped).
TEST(LibraryPromises, SetTransparentColorTakesTheColourAsRedGreenBlue) {
  const std::uint8_t pixels[] = {255, 0, 0, 255, 0, 0, 255, 255, 0, 160, 0, 255};  // red, blue, green
  const rastra::Result<rastra::Image> rgba = rastra::FromRgba(pixels, 3, 1);
  ASSERT_TRUE(rgba) << rgba.text;
  const rastra::Result<rastra::Image> indexed = rastra::ToBestPalette(rgba.value);
  ASSERT_TRUE(indexed) << indexed.text;
  struct Case {
    std::uint32_t rgb;
    int transparentPixel;  // the x of the pixel that becomes entry 0
  };
  for (const Case c : {Case{0xFF0000, 0}, Case{0x0000FF, 1}, Case{0x00A000, 2}}) {
    SCOPED_TRACE(c.rgb);
    const rastra::Result<rastra::Image> marked = rastra::SetTransparentColor(indexed.value, c.rgb);
    ASSERT_TRUE(marked) << marked.text;
    EXPECT_TRUE(marked.value.HasTransparentEntry());
    for (int x = 0; x < 3; ++x) EXPECT_EQ(marked.value.PixelIndex(x, 0) == 0, x == c.transparentPixel) << x;
  }
  EXPECT_EQ(rastra::SetTransparentColor(indexed.value, 0x123456).code, rastra::Code::kBadArgument);
}

// A GIF of an opaque palette picture stays opaque: no entry is marked
// transparent in its graphic control block, and it reads back without one.
TEST(LibraryPromises, AGifOfAnOpaquePalettePictureHasNoTransparentEntry) {
  const std::uint8_t pixels[] = {255, 0, 0, 255, 0, 0, 255, 255, 0, 160, 0, 255, 0, 0, 0, 255};
  const rastra::Result<rastra::Image> rgba = rastra::FromRgba(pixels, 2, 2);
  ASSERT_TRUE(rgba) << rgba.text;
  const rastra::Result<rastra::Image> indexed = rastra::ToBestPalette(rgba.value);
  ASSERT_TRUE(indexed) << indexed.text;
  ASSERT_FALSE(indexed.value.HasTransparentEntry());
  rastra::WriteOptions options;
  options.type = rastra::kOutputGif;
  const rastra::Result<std::string> gif = rastra::Write(indexed.value, options);
  ASSERT_TRUE(gif) << gif.text;
  for (std::size_t at = gif.value.find("\x21\xF9\x04"); at != std::string::npos && at + 3 < gif.value.size();
       at = gif.value.find("\x21\xF9\x04", at + 1)) {
    EXPECT_EQ(static_cast<unsigned char>(gif.value[at + 3]) & 1, 0) << "a transparent index at byte " << at;
  }
  const rastra::Result<rastra::Image> back = rastra::LoadFromMemory(gif.value.data(), gif.value.size(), "back.gif");
  ASSERT_TRUE(back) << back.text;
  EXPECT_FALSE(back.value.HasTransparentEntry());
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) EXPECT_EQ(back.value.Pixel(x, y).a, 255) << x << "," << y;
  }
}

// An animation written with FORMAT left at 0 uses the command line's
// default for animations (a save without FORMAT), for both types.
TEST(LibraryPromises, AnAnimationWithoutFormatIsTheCommandLinesDefault) {
  TempDir dir;
  const std::vector<std::uint8_t> spin = testing_support::ReadBytes(kImages + "spin.gif");
  for (const int type : {rastra::kOutputAnimSprite, rastra::kOutputAnimCursor}) {
    SCOPED_TRACE(type);
    const std::string file = "spin" + std::to_string(type) + ".c";
    const auto run = testing_support::RunRastra(
        {kImages + "spin.gif", "-defaultsettings", "-saveas" + dir.File(file) + "," + std::to_string(type), "-exit"},
        dir.Path(), testing_support::Display::None);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    rastra::WriteOptions options;
    options.type = type;
    options.name = file;
    const rastra::Result<std::string> written = rastra::WriteAnimation(spin.data(), spin.size(), options);
    ASSERT_TRUE(written) << written.text;
    EXPECT_EQ(written.value, ReadText(dir.File(file)));
  }
}

}  // namespace
