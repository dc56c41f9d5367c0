// The library's calls kept to what their header promises, where a slip would
// pass the command line's tests: a full palette file goes out and comes back
// whole, and a file the disk refuses is a failure, with the old file kept.
#include <rastra/rastra.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
