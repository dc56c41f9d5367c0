// Whole batch runs through the real binary: open, convert, save, exit.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "image/Bitmap.h"
#include "readers/BmpReader.h"
#include "sys/File.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::ReadBytes;
using testing_support::ReadLog;
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

const std::string kSample = std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp";

class CliSave : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(kSample, dir_.File("logo.bmp")); }
  testing_support::RunResult Run(const std::vector<std::string>& args) { return RunRastra(args, dir_.Path()); }
  std::string Log() const { return ReadLog(dir_.File("Rastra.log")); }
  bool Exists(const std::string& name) const { return fs::exists(dir_.File(name)); }
  TempDir dir_;
};

TEST_F(CliSave, OverviewExampleWritesRle8CSource) {
  const auto result = Run({"logo.bmp", "-convertinto8666", "-saveaslogo,1,7", "-exit"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_FALSE(Exists("Rastra.log"));
  const std::string c = ReadText(dir_.File("logo.c"));
  EXPECT_NE(c.find("GUI_CONST_STORAGE GUI_BITMAP bmlogo = {\r\n  96, // xSize\r\n  48, // ySize\r\n"), std::string::npos);
  EXPECT_NE(c.find("GUI_COMPRESS_RLE8"), std::string::npos);
  EXPECT_NE(c.find("  256,  // Number of entries\r\n"), std::string::npos);
}

TEST_F(CliSave, EveryTypeWritesItsFileBesideTheImage) {
  const auto result = Run({"logo.bmp", "-saveasa,1", "-saveasb,2", "-saveasc,3", "-saveasd,4", "-savease.png,5",
                           "-saveasf,5", "-exit"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadText(dir_.File("a.c")).rfind("/****", 0), 0u);
  EXPECT_EQ(ReadText(dir_.File("b.bmp")).rfind("BM", 0), 0u);
  EXPECT_TRUE(Exists("c.dta"));
  EXPECT_EQ(ReadText(dir_.File("d.gif")).rfind("GIF89a", 0), 0u);
  EXPECT_EQ(ReadText(dir_.File("e.png")).rfind("\x89PNG", 0), 0u);
  EXPECT_EQ(ReadText(dir_.File("f")).rfind("\x89PNG", 0), 0u);  // TYPE 5 adds no extension
  for (const auto& entry : fs::directory_iterator(dir_.Path())) {
    EXPECT_EQ(entry.path().string().find(".rastra-tmp"), std::string::npos) << entry.path();
  }
}

TEST_F(CliSave, SavedBitmapReadsBackWithTheSamePixels) {
  ASSERT_EQ(Run({"logo.bmp", "-fliph", "-fliph", "-saveascopy,2", "-exit"}).exitCode, 0);
  sys::Context ctx;
  const BitmapPtr original = ReadBmpFile(ReadBytes(dir_.File("logo.bmp")), ReadOptions{}, ctx).image;
  const BitmapPtr copy = ReadBmpFile(ReadBytes(dir_.File("copy.bmp")), ReadOptions{}, ctx).image;
  ASSERT_TRUE(original && copy);
  ASSERT_EQ(copy->XSize, original->XSize);
  ASSERT_EQ(copy->YSize, original->YSize);
  for (int y = 0; y < original->YSize; ++y) {
    for (int x = 0; x < original->XSize; ++x) {
      ASSERT_EQ(Bitmap_GetPixelColor(*copy, x, y) & 0xFFFFFF, Bitmap_GetPixelColor(*original, x, y) & 0xFFFFFF);
    }
  }
}

TEST_F(CliSave, DefaultFormatFollowsThePaletteSize) {
  // Each palette size at the top of its range: 16, 4 and 2 colours.
  ASSERT_EQ(Run({"logo.bmp", "-convertintogray16", "-saveasg16,1", "-convertintogray4", "-saveasg4,1",
                 "-convertintobw", "-saveasbw,1", "-convertintorgb", "-saveasrgb,1", "-exit"})
                .exitCode,
            0);
  EXPECT_NE(ReadText(dir_.File("g16.c")).find("  4, // BitsPerPixel"), std::string::npos);
  EXPECT_NE(ReadText(dir_.File("g4.c")).find("  2, // BitsPerPixel"), std::string::npos);
  EXPECT_NE(ReadText(dir_.File("bw.c")).find("  1, // BitsPerPixel"), std::string::npos);
  EXPECT_NE(ReadText(dir_.File("rgb.c")).find("GUI_DRAW_BMP565"), std::string::npos);
}

TEST_F(CliSave, ExitBeforeSaveStillSaves) {
  EXPECT_EQ(Run({"logo.bmp", "-exit", "-saveasout,2"}).exitCode, 0);
  EXPECT_TRUE(Exists("out.bmp"));
}

TEST_F(CliSave, IllegalFormatGivesExitCodeTwo) {
  EXPECT_EQ(Run({"logo.bmp", "-saveasout,1,30", "-exit"}).exitCode, 2);
  EXPECT_EQ(Log(), "Illegal FORMAT parameter.\n");
  EXPECT_FALSE(Exists("out.c"));
}

TEST_F(CliSave, TwoFailuresLeaveBothTextsAndTheSecondCode) {
  EXPECT_EQ(Run({"logo.bmp", "-saveasout,0", "-saveasout,1,5,2", "-exit"}).exitCode, 13);
  EXPECT_EQ(Log(), "Illegal TYPE parameter.\nIllegal NOPALETTE parameter.\n");
}

TEST_F(CliSave, CommandsWithoutImageDoNothingOrReportTheConverter) {
  EXPECT_EQ(Run({"-saveasout,2", "-fliph", "-exit"}).exitCode, 0);
  EXPECT_FALSE(Exists("out.bmp"));
  EXPECT_EQ(Run({"-convertintobw", "-exit"}).exitCode, 1);
  EXPECT_EQ(Log(), "Internal error : No source bitmap. (hBitmap == 0)\n");
}

TEST_F(CliSave, AFailedSaveKeepsTheExistingFile) {
  WriteBytes(dir_.File("---.c"), {'o', 'l', 'd'});
  EXPECT_EQ(Run({"logo.bmp", "-saveas---,1", "-exit"}).exitCode, 1);
  EXPECT_EQ(Log(), "Illegal identifier\n");
  EXPECT_EQ(ReadText(dir_.File("---.c")), "old");
  WriteBytes(dir_.File("tc.c"), {'o', 'l', 'd'});
  EXPECT_EQ(Run({"logo.bmp", "-saveastc,1,3", "-exit"}).exitCode, 12);  // FORMAT 3 is no writer format
  EXPECT_EQ(ReadText(dir_.File("tc.c")), "old");
}

TEST_F(CliSave, ASuccessfulSaveReplacesTheExistingFile) {
  WriteBytes(dir_.File("out.bmp"), {'o', 'l', 'd'});
  EXPECT_EQ(Run({"logo.bmp", "-saveasout,2", "-exit"}).exitCode, 0);
  EXPECT_EQ(ReadText(dir_.File("out.bmp")).rfind("BM", 0), 0u);
}

TEST_F(CliSave, MissingDirectoriesAreCreated) {
  EXPECT_EQ(Run({"logo.bmp", "-saveas" + dir_.File("a/b/c/out.c") + ",1", "-exit"}).exitCode, 0);
  EXPECT_TRUE(Exists("a/b/c/out.c"));
}

TEST_F(CliSave, TransparencyAndScaleFromTheCommandLine) {
  ASSERT_EQ(Run({"logo.bmp", "-convertinto8666", "-transparencyFFFFFF", "-scale50%,50%", "-saveasout,2", "-exit"})
                .exitCode,
            0)
      << Log();
  sys::Context ctx;
  const BitmapPtr scaled = ReadBmpFile(ReadBytes(dir_.File("out.bmp")), ReadOptions{}, ctx).image;
  ASSERT_TRUE(scaled);
  EXPECT_EQ(scaled->XSize, 48);
  EXPECT_EQ(scaled->YSize, 24);
}

// A chunk length field claims close to 2 GiB in a file of a few dozen bytes:
// the reader says the file is short and takes no memory for the claim.
TEST_F(CliSave, PngChunkLengthsCannotClaimMemory) {
  for (const char* type : {"sPLT", "iCCP", "tEXt", "zTXt", "iTXt", "pCAL", "sCAL", "eXIf", "abCd"}) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,  // signature
                                     0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 2, 0, 0, 0, 1, 8, 3, 0, 0, 0,
                                     0xC3, 0xFC, 0x8F, 0xB8,  // CRC of this IHDR
                                     0x73, 0x73, 0x73, 0x73};
    for (int i = 0; i < 4; ++i) png.push_back(static_cast<std::uint8_t>(type[i]));
    png.insert(png.end(), 16, 0x73);
    WriteBytes(dir_.File("claim.png"), png);
    const auto result = Run({"claim.png", "-exit"});
    EXPECT_EQ(result.exitCode, 1) << type;
    EXPECT_LT(result.maxRssKb, 200 * 1024) << type;
    EXPECT_NE(Log().find("No Bitmap"), std::string::npos) << type;
  }
}

TEST(SafeOutputFile, ReplacesOnlyOnCommit) {
  TempDir dir;
  const std::string target = dir.File("t.bin");
  WriteBytes(target, {'o', 'l', 'd'});
  {
    auto out = sys::SafeOutputFile::Create(target);
    ASSERT_TRUE(out);
    out->Output().Write("new", 3);
  }  // dropped without commit
  EXPECT_EQ(ReadText(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  auto out = sys::SafeOutputFile::Create(target);
  ASSERT_TRUE(out);
  out->Output().Write("new", 3);
  EXPECT_TRUE(out->Commit());
  EXPECT_EQ(ReadText(target), "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  EXPECT_FALSE(sys::SafeOutputFile::Create(dir.Path().string()));  // a directory is no file
}

}  // namespace
