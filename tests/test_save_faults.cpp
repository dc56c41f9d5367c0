// Saves under faults: a full disk (a file size limit), a sink that gives out
// part-way, and a path one of whose directories is a file. A failed save says
// so, ends a batch run with a non-zero code and leaves the file that was there
// before as it was, with nothing written beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "GifTestFiles.h"
#include "ReportCapture.h"
#include "SaveFaultSupport.h"
#include "TestSupport.h"
#include "app/Animation.h"
#include "image/Bitmap.h"
#include "writers/ImageWriters.h"
#include "writers/PaletteWriter.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::FileSizeLimit;
using testing_support::NamesIn;
using testing_support::ReadBytes;
using testing_support::ReadText;
using testing_support::ReportCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

// More than a line of the log, less than any file saved from the sample.
constexpr rlim_t kLimitBytes = 512;
const std::vector<std::uint8_t> kOldContent = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

struct Save {
  int type;
  const char* name;
};
const Save kSaves[] = {{1, "out.c"}, {2, "out.bmp"}, {3, "out.dta"}, {4, "out.gif"}, {5, "out.png"}};

class CommandLineSaveFaults : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp", dir_.File("logo.bmp")); }
  testing_support::RunResult Run(const std::string& saveArgument) {
    return testing_support::RunRastra({"logo.bmp", "-saveas" + saveArgument, "-exit"}, dir_.Path());
  }
  std::string Log() const { return ReadText(dir_.File("Rastra.log")); }
  TempDir dir_;
};

TEST_F(CommandLineSaveFaults, AFullDiskKeepsTheOldFileOfEveryType) {
  for (const Save& save : kSaves) {
    SCOPED_TRACE(save.name);
    const std::string argument = std::string(save.name) + "," + std::to_string(save.type);
    WriteBytes(dir_.File(save.name), kOldContent);
    {
      FileSizeLimit limit(kLimitBytes);
      ASSERT_TRUE(limit.Active());
      EXPECT_EQ(Run(argument).exitCode, 1);
    }
    EXPECT_EQ(Log(), std::string("Could not write file ") + save.name + "\n");
    EXPECT_EQ(ReadBytes(dir_.File(save.name)), kOldContent);
    EXPECT_EQ(NamesIn(dir_.Path()), (Names{"Rastra.log", "logo.bmp", save.name}));
    // With room on the disk the same save goes through.
    EXPECT_EQ(Run(argument).exitCode, 0);
    EXPECT_GT(ReadBytes(dir_.File(save.name)).size(), kLimitBytes);
    fs::remove(dir_.File(save.name));
    fs::remove(dir_.File("Rastra.log"));
  }
}

TEST_F(CommandLineSaveFaults, ADirectoryOnThePathThatIsAFileFailsEveryType) {
  WriteBytes(dir_.File("plain"), kOldContent);
  for (const Save& save : kSaves) {
    SCOPED_TRACE(save.name);
    const std::string path = std::string("plain/") + save.name;
    const testing_support::RunResult result = Run(path + "," + std::to_string(save.type));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Log(), "Could not create file " + path + "\n");
    // The system's reason says what to fix.
    EXPECT_EQ(result.err, "rastra: " + path + ": Could not create file " + path + " (Not a directory)\n");
    EXPECT_EQ(ReadBytes(dir_.File("plain")), kOldContent);
    EXPECT_EQ(NamesIn(dir_.Path()), (Names{"Rastra.log", "logo.bmp", "plain"}));
  }
}

// --- the palette file ---------------------------------------------------------

TEST(PaletteSaveFaults, EveryShortWriteIsReportedAndAFullWriteIsNot) {
  sys::Context ctx;
  const BitmapPtr image = Bitmap_Create(2, 2, 3, ctx);
  ASSERT_TRUE(image);
  sys::MemorySink whole;
  ASSERT_EQ(SavePaletteFile(*image, whole), sys::Code::kOk);
  ASSERT_EQ(whole.Bytes().size(), 16u + 3 * 4);
  for (std::size_t room = 0; room < whole.Bytes().size(); ++room) {
    testing_support::ShortSink sink(room);
    EXPECT_EQ(SavePaletteFile(*image, sink), sys::Code::kIo) << room;
  }
  testing_support::ShortSink exact(whole.Bytes().size());
  EXPECT_EQ(SavePaletteFile(*image, exact), sys::Code::kOk);
  EXPECT_EQ(exact.Kept(), whole.Bytes());
}

// --- animations ---------------------------------------------------------------

// Three 16 x 16 frames on a global table of four colours.
gif_test::Bytes ThreeFrameGif() {
  gif_test::GifBuilder gif;
  gif.Header().ScreenWithTable(16, 16, {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00});
  for (int frame = 0; frame < 3; ++frame) {
    std::vector<std::uint8_t> pixels(16 * 16);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>((i + frame) % 4);
    gif.GraphicControl(10).Image(0, 0, 16, 16).Pixels(pixels, 2);
  }
  return gif.Trailer().Get();
}

class AnimationSaveFaults : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(dir_.File("anim.gif"), ThreeFrameGif()); }
  ReportCapture reports_;
  TempDir dir_;
};

TEST_F(AnimationSaveFaults, AFullDiskKeepsTheOldFileOfBothTypes) {
  const std::string out = dir_.File("out.c");
  for (int type : {kOutputAnimSprite, kOutputAnimCursor}) {
    SCOPED_TRACE(type);
    reports_.Clear();
    WriteBytes(out, kOldContent);
    {
      FileSizeLimit limit(kLimitBytes);
      ASSERT_TRUE(limit.Active());
      EXPECT_FALSE(CreateAnimationFile(dir_.File("anim.gif"), out, type));
    }
    EXPECT_EQ(reports_.Texts(), Names{"Could not write file " + out});
    EXPECT_EQ(ReadBytes(out), kOldContent);
    EXPECT_EQ(NamesIn(dir_.Path()), (Names{"anim.gif", "out.c"}));
    EXPECT_TRUE(CreateAnimationFile(dir_.File("anim.gif"), out, type));
    EXPECT_GT(ReadBytes(out).size(), kLimitBytes);
  }
}

TEST_F(AnimationSaveFaults, ADirectoryOnThePathThatIsAFileIsReported) {
  WriteBytes(dir_.File("plain"), kOldContent);
  for (int type : {kOutputAnimSprite, kOutputAnimCursor}) {
    SCOPED_TRACE(type);
    reports_.Clear();
    EXPECT_FALSE(CreateAnimationFile(dir_.File("anim.gif"), dir_.File("plain/out.c"), type));
    EXPECT_EQ(reports_.Texts(), Names{"Error opening file."});
    EXPECT_EQ(ReadBytes(dir_.File("plain")), kOldContent);
    EXPECT_EQ(NamesIn(dir_.Path()), (Names{"anim.gif", "plain"}));
  }
}

}  // namespace
