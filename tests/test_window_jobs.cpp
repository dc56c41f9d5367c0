// The Qt-free side of the window's background jobs: a save of a copy writes
// what -saveas writes and never touches the picture, a cancelled save leaves
// no file, held reports and files wait for Replay, Undo and Redo walk the
// history, and what a file that cannot be read really is.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "ReportCapture.h"
#include "SaveFaultSupport.h"
#include "TestSupport.h"
#include "app/CommandTable.h"
#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "app/Settings.h"
#include "app/WindowJobs.h"
#include "readers/ContentDescription.h"

using testing_support::ReadBytes;
using testing_support::ReportCapture;
using testing_support::TempDir;

namespace {

// A palette picture whose palette fits FORMAT 4, so 8 converts it to true
// colour and 1 to BW first.
BitmapPtr PalettePicture() {
  BitmapPtr image = testing_support::MakeBitmap(5, 3, 3);
  Bitmap_SetPalColor(*image, 0, 0x0000FF);
  Bitmap_SetPalColor(*image, 1, 0x00FF00);
  Bitmap_SetPalColor(*image, 2, 0xFF0000);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) image->Row(y)[x] = static_cast<std::uint8_t>((x + y) % 3);
  return image;
}

BitmapPtr Clone(const Bitmap& image) {
  sys::Context ctx;
  return Bitmap_Clone(image, ctx);
}

std::vector<std::uint8_t> Pixels(const Bitmap& image) {
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < image.NumColors; ++i) {
    const Color c = Bitmap_GetPalColor(image, i);
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                               static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 24)});
  }
  for (int y = 0; y < image.YSize; ++y)
    for (int x = 0; x < image.XSize; ++x) bytes.push_back(static_cast<std::uint8_t>(Bitmap_GetPixel(image, x, y)));
  return bytes;
}

// The bytes -saveas writes with parameter (without the file name).
std::vector<std::uint8_t> CommandLineBytes(const Bitmap& image, const std::string& path, const std::string& parameter) {
  ImageDocument doc;
  doc.current = Clone(image);
  ImmediateSink sink;
  CommandSession session(doc, sink, OutputOptions{});
  session.cursor = ParameterCursor{path + "," + parameter};
  ExecuteCommand(session, kCmdSaveAs);
  return ReadBytes(path);
}

struct SaveCase {
  const char* name;
  int type;
  int format;
  int noPalette;
  const char* parameter;
};

class SaveCopyTest : public testing::TestWithParam<SaveCase> {};

TEST_P(SaveCopyTest, WritesWhatTheCommandLineWritesAndLeavesThePicture) {
  ReportCapture reports;
  const SaveCase& c = GetParam();
  const BitmapPtr picture = PalettePicture();
  const std::vector<std::uint8_t> before = Pixels(*picture);
  TempDir windowDir;
  TempDir commandLineDir;
  const std::string path = windowDir.File(c.name);

  WindowJobSession job(OutputOptions{});
  const std::atomic<bool> cancelled{false};
  const CopySaveResult result =
      SaveCopy(job.session, *picture, {path, c.type, OutputSpec{c.format, c.noPalette}, OutputOptions{}}, cancelled);
  ASSERT_TRUE(result.written);
  EXPECT_FALSE(std::filesystem::exists(path));  // held until the window's thread commits it
  EXPECT_EQ(job.sink.Replay(), std::vector<std::string>{path});
  EXPECT_TRUE(reports.Texts().empty());
  EXPECT_EQ(result.bytes, std::filesystem::file_size(path));
  EXPECT_EQ(Pixels(*picture), before);
  EXPECT_EQ(ReadBytes(path), CommandLineBytes(*picture, commandLineDir.File(c.name), c.parameter));
}

INSTANTIATE_TEST_SUITE_P(
    EveryWriter, SaveCopyTest,
    testing::Values(SaveCase{"fits.c", kOutputCBitmap, 4, 0, "1,4,0"},
                    SaveCase{"to_true_colour.c", kOutputCBitmap, 8, 1, "1,8,1"},
                    SaveCase{"to_bw.dta", kOutputCStream, 1, 0, "3,1,0"},
                    SaveCase{"written.bmp", kOutputBmp, 0, 0, "2"},
                    SaveCase{"written.gif", kOutputGif, 0, 0, "4"},
                    SaveCase{"written.png", kOutputPng, 0, 0, "5"}),
    [](const testing::TestParamInfo<SaveCase>& param) {
      std::string name = param.param.name;
      std::replace(name.begin(), name.end(), '.', '_');
      return name;
    });

// A save the user gave up writes nothing and says nothing; the sink fails
// every write from then on, so the writer stops at once.
TEST(SaveCopyTest, CancelledSaveLeavesNoFile) {
  ReportCapture reports;
  TempDir dir;
  const std::string path = dir.File("big.png");
  testing_support::WriteBytes(path, {'o', 'l', 'd'});
  const BitmapPtr picture = testing_support::MakeBitmap(300, 300, 0);
  WindowJobSession job(OutputOptions{});
  const std::atomic<bool> cancelled{true};
  const CopySaveResult result = SaveCopy(job.session, *picture, {path, kOutputPng, {}, OutputOptions{}}, cancelled);
  EXPECT_FALSE(result.written);
  EXPECT_TRUE(job.sink.Replay().empty());
  EXPECT_TRUE(reports.Texts().empty());
  EXPECT_EQ(ReadBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(testing_support::NamesIn(dir.Path()), std::vector<std::string>{"big.png"});
}

TEST(CancellableSinkTest, CountsUntilCancelledThenFailsEveryWrite) {
  sys::MemorySink memory(false);
  std::atomic<bool> cancelled{false};
  std::vector<std::string> notes;
  CancellableSink sink(memory, cancelled, [&notes](const std::string& text) { notes.push_back(text); });
  const std::vector<char> block(CancellableSink::kProgressBytes - 1);
  EXPECT_TRUE(sink.Write(block.data(), block.size()));
  EXPECT_TRUE(notes.empty());
  EXPECT_TRUE(sink.Write("abc", 3));
  EXPECT_EQ(notes, std::vector<std::string>{"Written 1 MiB"});
  cancelled = true;
  EXPECT_FALSE(sink.Write("de", 2));
  cancelled = false;
  EXPECT_FALSE(sink.Write("f", 1));  // a failure sticks
  EXPECT_TRUE(sink.Failed());
  EXPECT_EQ(sink.Count(), block.size() + 3);
  EXPECT_EQ(memory.Count(), block.size() + 3);
}

TEST(HeldSinkTest, ReportsWaitForReplayAndComeInOrder) {
  ReportCapture reports;
  HeldSink sink;
  sink.Add(TextEntry("first"));
  sink.Add(MessageEntry(25));
  ASSERT_NE(sink.LastReport(), nullptr);
  sink.LastReport()->text = "changed";
  EXPECT_TRUE(reports.Texts().empty());
  EXPECT_TRUE(sink.Replay().empty());
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{"first", "changed"}));
  EXPECT_EQ(sink.LastReport(), nullptr);  // replayed reports are gone
}

TEST(UndoRedoTest, WalkTheHistoryBothWaysAndANewChangeEndsRedo) {
  ImageDocument doc;
  const auto show = [&](int marker) {
    BitmapPtr image = testing_support::MakeBitmap(1, 1, 0);
    Bitmap_StoreColor(image->Row(0), static_cast<Color>(marker));
    PushUndoImage(doc, std::move(doc.current));
    doc.current = std::move(image);
    doc.state.revision = static_cast<std::uint64_t>(marker);
  };
  const auto marker = [&] { return static_cast<int>(Bitmap_GetPixel(*doc.current, 0, 0)); };
  for (int k = 1; k <= 3; ++k) show(k);
  EXPECT_FALSE(CanRedo(doc));
  UndoStep(doc);
  UndoStep(doc);
  EXPECT_EQ(marker(), 1);
  EXPECT_EQ(doc.state.revision, 1u);
  RedoStep(doc);
  EXPECT_EQ(marker(), 2);
  EXPECT_EQ(doc.state.revision, 2u);
  EXPECT_TRUE(CanRedo(doc));
  show(4);
  EXPECT_FALSE(CanRedo(doc));
  RedoStep(doc);  // nothing to bring back
  EXPECT_EQ(marker(), 4);
  UndoStep(doc);
  EXPECT_EQ(marker(), 2);
  StartNewHistory(doc);
  EXPECT_FALSE(CanRedo(doc));
  EXPECT_FALSE(doc.undo[0]);
}

TEST(RecentFilesTest, MissingFilesDropOutAndClearEmptiesTheList) {
  TempDir dir;
  RecentFileList& list = GetRecentFiles();
  list = {};
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
    testing_support::WriteBytes(dir.File(name), {'B', 'M'});
    AddRecentFile(dir.File(name));
  }
  EXPECT_FALSE(DropMissingRecentFiles());
  std::filesystem::remove(dir.File("b.bmp"));
  EXPECT_TRUE(DropMissingRecentFiles());
  EXPECT_EQ(list[0], dir.File("c.bmp"));
  EXPECT_EQ(list[1], dir.File("a.bmp"));
  EXPECT_TRUE(list[2].empty());
  ClearRecentFiles();
  EXPECT_TRUE(list[0].empty());
}

TEST(ContentDescriptionTest, NamesWhatAFileReallyIs) {
  const auto bytes = [](std::string_view text) { return std::vector<std::uint8_t>(text.begin(), text.end()); };
  const struct {
    std::vector<std::uint8_t> head;
    const char* expected;
  } cases[] = {
      {{}, "an empty file"},
      {bytes("hello\r\n\tworld"), "text"},
      {bytes("\xEF\xBB\xBF" "caf\xC3\xA9"), "text"},
      {bytes("  <!DOCTYPE html><html>"), "an HTML page"},
      {bytes("<?xml version=\"1.0\"?><svg xmlns"), "an SVG drawing"},
      {bytes("PK\x03\x04rest"), "a ZIP archive"},
      {bytes("%PDF-1.7"), "a PDF document"},
      {bytes(std::string_view("RIFF\x10\0\0\0WEBPVP8 ", 16)), "a WebP picture"},
      {bytes(std::string_view("II*\0", 4)), "a TIFF picture"},
      {bytes("\x89PNG\r\n\x1a\n"), "a PNG picture"},
      {bytes("GIF89a"), "a GIF picture"},
      {std::vector<std::uint8_t>(64, 0), "nothing but zero bytes"},
      {{0x01, 0x02, 0xFE, 0x80}, ""},
      {bytes("caf\xC3"), "text"},       // a sequence cut off at the end still counts
      {bytes("caf\xC3x"), ""},         // a broken one does not
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeContent(c.head, c.head.size()), c.expected)
        << std::string(c.head.begin(), c.head.end());
  }
}

}  // namespace
