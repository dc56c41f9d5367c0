// Command lines that go where the others do not: paths longer than any
// buffer of old, a save that replaces the GIF an animation is made from, an
// -exit behind a line that fails to parse, output and memory limits, and the
// log's lines. Through the real binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>

#include "GifTestFiles.h"
#include "TestSupport.h"
#include "app/CommandTable.h"
#include "app/MemoryEstimate.h"
#include "readers/ImageReaders.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::Display;
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::RunResult;
using testing_support::RunSetting;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

const std::string kLogo = std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp";

std::map<std::string, std::string> FilesBelow(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = ReadText(entry.path().string());
  }
  return files;
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Three frames of 6 x 4 on one table of four colours.
std::vector<std::uint8_t> ThreeFrameGif() {
  gif_test::GifBuilder gif;
  gif.Header().ScreenWithTable(6, 4, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000});
  std::vector<std::uint8_t> pixels(24);
  for (int frame = 0; frame < 3; ++frame) {
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>((i + frame) % 4);
    gif.GraphicControl(10, -1);
    gif.Image(0, 0, 6, 4);
    gif.Pixels(pixels, 2);
  }
  gif.Trailer();
  return gif.Get();
}

class RunSafety : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args, Display display = Display::Offscreen,
                const RunSetting& setting = {}) {
    fs::remove(dir_.File("Rastra.log"));
    return RunRastra(args, dir_.Path(), display, setting);
  }
  std::string Log() const { return fs::exists(dir_.File("Rastra.log")) ? ReadText(dir_.File("Rastra.log")) : ""; }
  // A folder below the test's whose path is longer than 500 characters.
  fs::path DeepFolder() const {
    fs::path deep = dir_.Path();
    for (const char c : {'d', 'e', 'f', 'g', 'h'}) deep /= std::string(120, c);
    fs::create_directories(deep);
    return deep;
  }
  TempDir dir_;
};

// -------------------------------------------------------------- paths

// An output name joins the image's folder whole, however long the two are
// together: nothing lands in a parent folder or the working directory.
TEST_F(RunSafety, AnOutputNameJoinsTheImagesFolderWhole) {
  const fs::path deep = DeepFolder();
  ASSERT_GT(deep.string().size(), 500u);
  fs::copy_file(kLogo, deep / "logo.bmp");
  WriteBytes((deep / "anim.gif").string(), ThreeFrameGif());
  const struct {
    std::string image;
    std::vector<std::string> commands;
    std::string written;
  } cases[] = {
      {"logo.bmp", {"-saveasout,2"}, "out.bmp"},
      {"logo.bmp", {"-saveasout,1"}, "out.c"},
      {"logo.bmp", {"-saveas%n_copy,5"}, "logo_copy"},
      {"logo.bmp", {"-convertinto8666", "-saveaspal,G"}, "pal.GUIPal"},
      {"anim.gif", {"-saveasmoving,6"}, "moving.c"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {(deep / c.image).string()};
    args.insert(args.end(), c.commands.begin(), c.commands.end());
    args.emplace_back("-exit");
    const RunResult result = Run(args);
    EXPECT_EQ(result.exitCode, 0) << c.written << ": " << result.err;
    EXPECT_TRUE(fs::exists(deep / c.written)) << c.written;
  }
  // Nothing went anywhere but into the deep folder (and the log nowhere).
  for (const auto& [name, bytes] : FilesBelow(dir_.Path())) {
    EXPECT_EQ(name.rfind(fs::relative(deep, dir_.Path()).string(), 0), 0u) << name;
  }
}

// The reader's hint is the extension of the file's own name, however long
// the folders before it.
TEST(FileTypeHint, TheFilesOwnNameGivesIt) {
  const std::string folders = "/" + std::string(200, 'd') + "/" + std::string(200, 'e') + ".gif/";
  EXPECT_EQ(FileTypeFromExtension(folders + "x.png"), kFileTypePng);
  EXPECT_EQ(FileTypeFromExtension(folders + "x"), kFileTypeNone);
  EXPECT_EQ(FileTypeFromExtension(std::string(252, 'x') + ".bmp"), kFileTypeNone);  // a name of 256 characters
}

// A name the system refuses is refused with its reason, and nothing else is
// written in its place.
TEST_F(RunSafety, APathTheSystemRefusesIsToldWhy) {
  fs::copy_file(kLogo, dir_.File("logo.bmp"));
  const std::string longName(255, 'n');  // the extension makes it longer than a folder takes
  RunResult result = Run({"logo.bmp", "-saveas" + longName + ",2", "-exit"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(Log(), "Could not create file " + longName + ".bmp\n");
  EXPECT_NE(result.err.find("(File name too long)"), std::string::npos) << result.err;
  EXPECT_EQ(FilesBelow(dir_.Path()).size(), 2u);  // the image and the log

  std::string tooDeep = "x";
  while (tooDeep.size() < 5000) tooDeep += "/" + std::string(200, 'y');
  result = Run({tooDeep + ".bmp", "-exit"});
  EXPECT_EQ(Log(), "File not found.\n");
  EXPECT_NE(result.err.find("File not found. (File name too long)"), std::string::npos) << result.err;
  // A missing file says no more than it always did.
  result = Run({"nosuch.bmp", "-exit"});
  EXPECT_EQ(result.err, "rastra: nosuch.bmp: File not found.\n");
}

// ------------------------------------------------------------ animations

// The frames come from the bytes read when the GIF was opened, so a save
// that replaced the GIF before (with its first frame alone) changes nothing,
// in a run of one image as in a run of several.
TEST_F(RunSafety, AnAnimationTakesTheFramesThatWereRead) {
  const fs::path reference = dir_.Path() / "reference";
  fs::create_directories(reference);
  WriteBytes((reference / "anim.gif").string(), ThreeFrameGif());
  ASSERT_EQ(RunRastra({"anim.gif", "-saveasanim,6", "-exit"}, reference).exitCode, 0);
  const std::string expected = ReadText((reference / "anim.c").string());
  ASSERT_NE(expected.find("_acanim2[]"), std::string::npos);

  const std::vector<std::uint8_t> gif = ThreeFrameGif();
  fs::create_directories(dir_.Path() / "other");
  for (const std::vector<std::string>& images :
       {std::vector<std::string>{"anim.gif"}, {"anim.gif", "other/anim.gif"}}) {
    std::vector<std::string> args = images;
    for (const char* command : {"-saveasanim,4", "-saveasanim,6", "-exit"}) args.emplace_back(command);
    for (const std::string& image : images) WriteBytes(dir_.File(image), gif);
    const RunResult result = Run(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const std::string& image : images) {
      EXPECT_EQ(ReadText((fs::path(dir_.File(image)).parent_path() / "anim.c").string()), expected) << image;
      EXPECT_NE(testing_support::ReadBytes(dir_.File(image)), gif) << image;  // replaced by its first frame
    }
  }
}

// ---------------------------------------------------- -exit and -hide anywhere

// Whatever fails to parse, a line with -exit or -hide ends with exit code 3
// and never waits on a window (nor asks for a display).
TEST_F(RunSafety, ExitOrHideAnywhereEndsAFailedParse) {
  fs::copy_file(kLogo, dir_.File("logo.bmp"));
  const std::vector<std::string> twenty(20, "-fliph");
  const auto with = [&](std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::vector<std::vector<std::string>> lines = {
      with(with({"logo.bmp"}, twenty), {"-exit"}),                 // the 21st command is -exit
      with(with({"logo.bmp"}, twenty), {"-flipv", "-hide"}),       // -hide after a 21st command
      with({"logo.bmp", "-exit"}, with(twenty, {"-flipv"})),       // -exit first, a 22nd command last
      {"logo.bmp", "-exit" + std::string(600, 'x')},               // -exit with a parameter too long
      {"logo.bmp", "-fliph", "misplaced.bmp", "-exit"},            // an image name after a command
      {"logo.bmp", "-fliph", "misplaced.bmp", "-hide"},            // the same with -hide
      {"logo.bmp", "-maxoutput0", "-hide"},                        // a bad value of a run setting
      {"logo.bmp", "-nosuchcommand", "-exitnow"},                  // -exit with a parameter
  };
  for (const auto& args : lines) {
    const RunResult result = Run(args, Display::None);
    EXPECT_EQ(result.exitCode, 3) << args.back() << ": " << result.err;
    EXPECT_EQ(result.err.find("no display"), std::string::npos) << result.err;
    EXPECT_EQ(Log().substr(Log().rfind('\n', Log().size() - 2) + 1), "Error during command line parsing.\n");
  }
}

// ------------------------------------------------------------------ -maxoutput

TEST(CommandTable, NoWordIsThePrefixOfAnother) {
  for (const CommandEntry& a : CommandTable) {
    for (const CommandEntry& b : CommandTable) {
      if (&a == &b) continue;
      EXPECT_FALSE(std::string_view(a.keyword).starts_with(b.keyword)) << a.keyword << " " << b.keyword;
    }
  }
}

TEST_F(RunSafety, MaxOutputRefusesBadValues) {
  fs::copy_file(kLogo, dir_.File("logo.bmp"));
  for (const char* value : {"", "x", "0", "000", "-5", "12k", "1234567890123456789", " 10"}) {
    const RunResult result = Run({"logo.bmp", std::string("-maxoutput") + value, "-saveasout,2", "-exit"});
    EXPECT_EQ(result.exitCode, 3) << value;
    EXPECT_EQ(Log(), "The output limit is a number of bytes.\nError during command line parsing.\n") << value;
    EXPECT_FALSE(fs::exists(dir_.File("out.bmp"))) << value;
  }
}

// The limit holds for every save of the run, the last one given wins, and
// it takes none of the twenty command places.
TEST_F(RunSafety, MaxOutputSetsTheRunsLimit) {
  fs::copy_file(kLogo, dir_.File("logo.bmp"));
  fs::copy_file(kLogo, dir_.File("other.bmp"));
  RunResult result = Run({"logo.bmp", "other.bmp", "-maxoutput100", "-saveasout/%n,2", "-saveasout/%n,1", "-exit"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(Lines(Log()), 4u) << Log();
  EXPECT_EQ(Log().rfind("Output would be ", 0), 0u) << Log();
  EXPECT_NE(result.err.find("more than the limit of 100 bytes"), std::string::npos) << result.err;
  EXPECT_TRUE(FilesBelow(dir_.Path() / "out").empty());

  // Nineteen commands and -exit: with the two limits, still twenty.
  std::vector<std::string> args = {"logo.bmp", "-maxoutput100"};
  for (int i = 0; i < 18; ++i) args.emplace_back("-fliph");
  for (const char* tail : {"-saveasout,2", "-maxoutput100000000", "-exit"}) args.emplace_back(tail);
  result = Run(args);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(fs::exists(dir_.File("out.bmp")));
}

// ------------------------------------------------------------------ the log

// One line per report in the log and on standard error, whatever the texts
// hold; the log keeps its texts, and warnings of one kind say so once.
TEST_F(RunSafety, EveryReportIsOneLine) {
  fs::copy_file(kLogo, dir_.File("logo.bmp"));
  const RunResult result =
      Run({"no\nsuch.bmp", "logo.bmp", "-reducecolors1", "-convertintocustompalettea\nb.GUIPal", "-exit"});
  EXPECT_EQ(result.exitCode, 17);
  // The missing image has no picture to reduce, but the palette file is asked for.
  EXPECT_EQ(Log(), "File not found.\nInvalid file handle.\nIllegal number of colors.\nInvalid file handle.\n");
  EXPECT_EQ(Lines(result.err), 4u) << result.err;
  EXPECT_NE(result.err.find("rastra: no such.bmp: File not found.\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(": a b.GUIPal: Invalid file handle."), std::string::npos) << result.err;
}

// An 8-bit RLE picture of 4 x 2 whose first row uses an index past its table
// of two: sizeImage 0 makes the reader warn of the header too, a warning of
// the same kind (corrupt) in the same segment (the whole picture).
std::vector<std::uint8_t> RleWithStrayIndex(std::uint32_t sizeImage) {
  using testing_support::PutLE16;
  using testing_support::PutLE32;
  const std::vector<std::uint8_t> palette = {0, 0, 0, 0, 255, 255, 255, 0};
  const std::vector<std::uint8_t> records = {4, 5, 0, 0, 4, 1, 0, 1};
  const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(palette.size());
  std::vector<std::uint8_t> file = {'B', 'M'};
  PutLE32(file, offset + static_cast<std::uint32_t>(records.size()));
  PutLE32(file, 0);
  PutLE32(file, offset);
  for (const std::uint32_t v : {40u, 4u, 2u}) PutLE32(file, v);
  PutLE16(file, 1);
  PutLE16(file, 8);
  for (const std::uint32_t v : {1u, sizeImage, 0u, 0u, 2u, 0u}) PutLE32(file, v);
  file.insert(file.end(), palette.begin(), palette.end());
  file.insert(file.end(), records.begin(), records.end());
  return file;
}

TEST_F(RunSafety, TwoWarningsOfOneKindInOneSegmentAreOneReport) {
  const struct {
    std::uint32_t sizeImage;
    const char* log;
  } cases[] = {
      {8, "Pixels with colors past the color table (4) are drawn black\n"},
      {0, "Illegal file format: 8 BPP, RLE8, NumPixelBytes == 0. Converting anyhow.\n"},
  };
  for (const auto& c : cases) {
    WriteBytes(dir_.File("rle.bmp"), RleWithStrayIndex(c.sizeImage));
    const RunResult result = Run({"rle.bmp", "-saveasout,2", "-exit"});
    EXPECT_EQ(Log(), c.log);
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_TRUE(fs::exists(dir_.File("out.bmp")));
  }
}

// ------------------------------------------------- several images, one order

// A later image maps onto a palette file an earlier one wrote, named
// relatively ("./pal.GUIPal") where the save made it beside the image
// ("pal" completed to pal.GUIPal): it sees what was written, as it would one
// image after the other; read before the write it would map onto the
// palette the run began with, which gives another file.
TEST_F(RunSafety, ALaterImageReadsWhatAnEarlierOneWrote) {
  const std::vector<std::string> commands = {"-convertintocustompalette./pal.GUIPal", "-saveas%n,1,5",
                                             "-convertintobestpalette", "-invertpalette", "-saveaspal,G", "-exit"};
  const fs::path start = dir_.Path() / "start";
  fs::create_directories(start);
  fs::copy_file(kLogo, start / "one.bmp");
  fs::copy_file(std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/ramp.bmp", start / "two.bmp");
  ASSERT_EQ(RunRastra({"one.bmp", "-convertinto8666", "-saveaspal,G", "-exit"}, start).exitCode, 0);
  fs::remove(start / "Rastra.log");
  const auto run = [&](const std::string& name, const std::vector<std::vector<std::string>>& lines) {
    const fs::path folder = dir_.Path() / name;
    fs::copy(start, folder);
    for (std::vector<std::string> args : lines) {
      args.insert(args.end(), commands.begin(), commands.end());
      EXPECT_EQ(RunRastra(args, folder).exitCode, 0) << name;
    }
    return FilesBelow(folder);
  };
  const auto oneByOne = run("single", {{"one.bmp"}, {"two.bmp"}});
  EXPECT_EQ(run("together", {{"one.bmp", "two.bmp"}}), oneByOne);
  // The order shows in two.c: mapped onto the palette the run began with,
  // it comes out otherwise.
  const auto firstPalette = run("first_palette", {{"two.bmp"}});
  EXPECT_NE(firstPalette.at("two.c"), oneByOne.at("two.c"));
}

// ------------------------------------------------------------------ memory

// Three pictures of 4096 x 4096, each taking 64 MiB read and 64 MiB more
// converted, under an address-space limit that holds one at a time beside
// the threads of a run of several but not two: all three convert, as they
// do one by one, whether the run's budget follows the limit or is set so high
// that they start side by side (and run out of memory, and go again alone).
TEST_F(RunSafety, ImagesShortOfMemoryGiveTheOneByOneResult) {
  RASTRA_SKIP_UNDER_SANITIZER();
  const std::vector<std::string> images = {"a.png", "b.png", "c.png"};
  {
    const std::string first = dir_.File(images[0]);
    // One pixel of the logo, scaled up: a flat picture whose file is small.
    const std::vector<std::string> make = {kLogo, "-scale1,1", "-scale4096,4096", "-saveas" + first + ",5", "-exit"};
    ASSERT_EQ(RunRastra(make, dir_.Path()).exitCode, 0);
    for (std::size_t i = 1; i < images.size(); ++i) fs::copy_file(first, dir_.File(images[i]));
  }
  const std::vector<std::string> commands = {"-convertinto565", "-scale1%,1%", "-saveasout/%n,1", "-exit"};
  const std::uint64_t limit = std::uint64_t{390} << 20;
  const auto run = [&](const std::vector<std::string>& these, const RunSetting& setting) {
    std::vector<std::string> args = these;
    args.insert(args.end(), commands.begin(), commands.end());
    const RunResult result = Run(args, Display::Offscreen, setting);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return Log();
  };
  std::string oneByOneLog;
  for (const std::string& image : images) oneByOneLog += run({image}, {limit, {}});
  const auto oneByOne = FilesBelow(dir_.Path() / "out");
  ASSERT_EQ(oneByOne.size(), images.size());
  for (const char* budget : {"", "100000000000"}) {
    fs::remove_all(dir_.Path() / "out");
    RunSetting setting{limit, {}};
    if (*budget != '\0') setting.environment.emplace_back(kMemoryBudgetVariable, budget);
    EXPECT_EQ(run(images, setting), oneByOneLog) << "budget " << budget;
    EXPECT_EQ(FilesBelow(dir_.Path() / "out"), oneByOne) << "budget " << budget;
  }
}

}  // namespace
