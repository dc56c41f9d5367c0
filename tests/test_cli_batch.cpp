// Command lines with several images, and animations saved from the command
// line, through the real binary; the window's animation writer, called
// in-process, is the reference for every frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "CoreTestSupport.h"
#include "GifTestFiles.h"
#include "TestSupport.h"
#include "app/Animation.h"
#include "app/Report.h"
#include "app/Session.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/ImageOps.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::ReadBytes;
using testing_support::ReadLog;
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

const std::string kSamples = std::string(RASTRA_SOURCE_DIR) + "/samples/";
const std::string kImages = std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/";

// Every file below dir, by its path relative to dir, with its bytes.
std::map<std::string, std::string> FilesBelow(const fs::path& dir) {
  std::map<std::string, std::string> files;
  if (!fs::exists(dir)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = ReadText(entry.path().string());
  }
  return files;
}

// Three frames of 6 x 4 on a global table of four colours; the second has a
// table of its own, the third a transparent entry.
std::vector<std::uint8_t> ThreeFrameGif() {
  gif_test::GifBuilder gif;
  const std::vector<gif_test::Rgb> global = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  std::vector<std::uint8_t> pixels(24);
  gif.Header().ScreenWithTable(6, 4, global);
  for (int frame = 0; frame < 3; ++frame) {
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>((i + frame) % 4);
    gif.GraphicControl(10 * (frame + 1), frame == 2 ? 3 : -1);
    if (frame == 1) {
      gif.ImageWithTable(0, 0, 6, 4, {0xFFFFFF, 0x808080, 0x00FFFF, 0xFF00FF});
    } else {
      gif.Image(0, 0, 6, 4);
    }
    gif.Pixels(pixels, 2);
  }
  gif.Trailer();
  return gif.Get();
}

class CliBatch : public ::testing::Test {
 protected:
  testing_support::RunResult Run(const std::vector<std::string>& args) { return RunRastra(args, dir_.Path()); }
  void Copy(const std::string& from, const std::string& to) const {
    fs::copy_file(from, dir_.File(to), fs::copy_options::overwrite_existing);
  }
  std::string Log() const { return ReadLog(dir_.File("Rastra.log")); }
  std::string TakeLog() const {
    std::string log = fs::exists(dir_.File("Rastra.log")) ? Log() : "";
    fs::remove(dir_.File("Rastra.log"));
    return log;
  }
  TempDir dir_;
};

// Each image's lines on standard error, as a run of several images shows
// them: named by the image (an image that names itself already is not named
// twice).
std::string NamedByImage(const std::string& image, const std::string& err) {
  std::string named;
  std::size_t start = 0;
  while (start < err.size()) {
    const std::size_t end = err.find('\n', start);
    std::string line = err.substr(start + 8, end - start - 8);  // after "rastra: "
    if (!line.starts_with(image + ": ")) line = image + ": " + line;
    named += "rastra: " + line + "\n";
    start = end + 1;
  }
  return named;
}

// Several images in one run give the files, log, messages and exit code that
// running them one after the other gives, whatever the number of cores.
TEST_F(CliBatch, SeveralImagesGiveWhatSingleRunsGive) {
  Copy(kSamples + "logo.bmp", "logo.bmp");
  Copy(kImages + "badge.png", "badge.png");
  Copy(kImages + "ramp.bmp", "ramp.bmp");
  Copy(kImages + "flag.gif", "flag.gif");
  WriteBytes(dir_.File("anim.gif"), ThreeFrameGif());
  std::vector<std::string> images;
  for (int copy = 0; copy < 3; ++copy) {  // more images than cores
    for (const char* name : {"logo.bmp", "badge.png", "missing.png", "ramp.bmp", "flag.gif", "anim.gif"}) {
      const std::string image = copy == 0 ? name : "c" + std::to_string(copy) + "_" + name;
      if (copy != 0 && fs::exists(dir_.File(name))) Copy(dir_.File(name), image);
      images.push_back(image);
    }
  }
  const std::vector<std::string> commands = {"-convertinto8666", "-reducecolors300", "-saveasout/%n,1,7",
                                             "-rotate90cw",      "-saveasout/%n,2",  "-saveasout/%n_a,6",
                                             "-exit"};
  std::string singleLog, singleErr;
  int singleCode = 0;
  for (const std::string& image : images) {
    std::vector<std::string> args = {image};
    args.insert(args.end(), commands.begin(), commands.end());
    const auto single = Run(args);
    singleLog += TakeLog();
    singleErr += NamedByImage(image, single.err);
    if (!single.err.empty()) singleCode = single.exitCode;
  }
  fs::rename(dir_.File("out"), dir_.File("single"));

  std::vector<std::string> args = images;
  args.insert(args.end(), commands.begin(), commands.end());
  for (int repeat = 0; repeat < 2; ++repeat) {
    const auto batch = Run(args);
    EXPECT_EQ(TakeLog(), singleLog);
    EXPECT_EQ(batch.err, singleErr);
    EXPECT_EQ(batch.exitCode, singleCode);
    EXPECT_EQ(FilesBelow(dir_.File("out")), FilesBelow(dir_.File("single")));
    EXPECT_EQ(FilesBelow(dir_.File("out")).size(), 3u * 5 * 2 + 3);  // five pictures, one animation, thrice
    fs::remove_all(dir_.File("out"));
  }
}

// With -exit, the run ends with the code of the last report, whichever image
// made it; 0 when no image reported anything.
TEST_F(CliBatch, ExitCodeIsThatOfTheLastReport) {
  Copy(kSamples + "logo.bmp", "logo.bmp");
  EXPECT_EQ(Run({"logo.bmp", "missing.png", "-reducecolors300", "-exit"}).exitCode, 21);
  EXPECT_EQ(Log(), "Illegal number of colors.\nFile not found.\n");
  EXPECT_EQ(Run({"missing.png", "logo.bmp", "-reducecolors300", "-exit"}).exitCode, 27);
  EXPECT_EQ(Run({"logo.bmp", "logo.bmp", "-saveascopy,2", "-exit"}).exitCode, 0);
  EXPECT_TRUE(fs::exists(dir_.File("copy.bmp")));
}

// One image after the other, a later image reads what an earlier one wrote,
// and the last image writing a file leaves its version.
TEST_F(CliBatch, FilesAreWrittenInImageOrder) {
  const auto prepare = [&] {
    Copy(kSamples + "logo.bmp", "logo.bmp");
    Copy(kImages + "ramp.bmp", "copy.bmp");
    Copy(kImages + "badge.png", "badge.png");
  };
  prepare();
  const std::vector<std::string> commands = {"-fliph", "-saveascopy,2", "-saveaslast,2", "-exit"};
  for (const char* image : {"logo.bmp", "copy.bmp", "badge.png"}) {
    std::vector<std::string> args = {image};
    args.insert(args.end(), commands.begin(), commands.end());
    ASSERT_EQ(Run(args).exitCode, 0);
  }
  const auto single = FilesBelow(dir_.Path());
  prepare();
  std::vector<std::string> args = {"logo.bmp", "copy.bmp", "badge.png"};
  args.insert(args.end(), commands.begin(), commands.end());
  ASSERT_EQ(Run(args).exitCode, 0);
  EXPECT_EQ(FilesBelow(dir_.Path()), single);
}

// "%n" is put in after the name was split off at its comma.
TEST_F(CliBatch, BaseNamePlaceholder) {
  Copy(kSamples + "logo.bmp", "a,b.bmp");
  Copy(kSamples + "logo.bmp", "plain.x.bmp");
  ASSERT_EQ(Run({"a,b.bmp", "plain.x.bmp", "-saveasout/%n-%n.c,1,5,1", "-exit"}).exitCode, 0);
  EXPECT_TRUE(fs::exists(dir_.File("out/a,b-a,b.c")));
  EXPECT_TRUE(fs::exists(dir_.File("out/plain.x-plain.x.c")));
  ASSERT_EQ(Run({"a,b.bmp", "-saveas%n%,2", "-exit"}).exitCode, 0);  // one image too; a lone % stays
  EXPECT_TRUE(fs::exists(dir_.File("a,b%.bmp")));
}

// The window's animation writer, called in-process, on the same GIF into a
// file of the same name; prepare changes each frame first.
std::string WindowAnimation(const std::string& gif, const fs::path& dir, int type, const OutputSpec& spec,
                            FramePreparation prepare = {}) {
  fs::create_directories(dir);
  const std::string out = (dir / "anim.c").string();
  ResetRunState();
  CommandSession session = ProcessSession();
  AnimationRequest request{gif, out, type, spec};
  request.prepare = std::move(prepare);
  EXPECT_TRUE(SaveAnimation(session, request)) << gif;
  return ReadText(out);
}

void ExpectSameAnimations(const std::string& gif, const fs::path& dir) {
  for (int type : {6, 7}) {
    for (const char* format : {"", ",5", ",5,0"}) {
      const fs::path cli = dir / ("cli" + std::to_string(type));
      const auto result = RunRastra({gif, "-saveas" + (cli / "anim").string() + "," + std::to_string(type) + format,
                                     "-exit"},
                                    dir);
      EXPECT_EQ(result.exitCode, 0) << gif << result.err;
      EXPECT_EQ(ReadText((cli / "anim.c").string()), WindowAnimation(gif, dir / "window", type, OutputSpec{5, 0}))
          << gif << " TYPE " << type << format;
    }
  }
}

TEST_F(CliBatch, AnimationsAreWhatTheWindowWrites) {
  WriteBytes(dir_.File("anim.gif"), ThreeFrameGif());
  ExpectSameAnimations(dir_.File("anim.gif"), dir_.Path());
  // NOPALETTE 1 keeps the palettes only as disabled references.
  ASSERT_EQ(Run({"anim.gif", "-saveasnp,6,5,1", "-exit"}).exitCode, 0);
  EXPECT_NE(ReadText(dir_.File("np.c")).find("\r\n#if 0\r\n"), std::string::npos);
}

TEST_F(CliBatch, CorpusAnimationsAreWhatTheWindowWrites) {
  SKIP_WITHOUT_CORPUS(corpus, "gif");
  int animations = 0;
  for (const auto& entry : fs::directory_iterator(*corpus)) {
    if (!entry.path().filename().string().starts_with("animated")) continue;
    ExpectSameAnimations(entry.path().string(), dir_.Path());
    ++animations;
  }
  EXPECT_GT(animations, 5);
}

BitmapPtr Convert(BitmapPtr image, int format) {
  sys::Context ctx;
  return ConvertToFormat(*image, GetColorFormat(format), OutputOptions{}, ctx);
}

// The conversions and edits given before the save change every frame, in
// order; a frame that is no palette image afterwards is fitted to the FORMAT
// as a TYPE 1 save fits an image (8666 for FORMAT 5).
TEST_F(CliBatch, CommandsBeforeTheSaveChangeEveryFrame) {
  WriteBytes(dir_.File("anim.gif"), ThreeFrameGif());
  const struct {
    std::vector<std::string> commands;
    OutputSpec spec;
    FramePreparation prepare;
  } cases[] = {
      {{"-convertintogray16", "-fliph", "-rotate90cw", "-saveasCLI/anim,6,4"},
       {4, 0},
       [](BitmapPtr frame, int) {
         frame = Convert(std::move(frame), kFormatGray16);
         FlipH(*frame);
         sys::Context ctx;
         return RotateCW(*frame, ctx);
       }},
      {{"-convertintorgb", "-saveasCLI/anim,7"},
       {5, 0},
       [](BitmapPtr frame, int) { return Convert(Convert(std::move(frame), kFormatRGB), kFormat8666); }},
      {{"-convertinto565", "-saveasCLI/anim,6,1,1"},
       {1, 1},
       [](BitmapPtr frame, int) { return Convert(Convert(std::move(frame), kFormat565), kFormatBW); }},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"anim.gif"};
    args.insert(args.end(), c.commands.begin(), c.commands.end());
    args.emplace_back("-exit");
    const auto result = Run(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const int type = c.commands.back().find(",7") != std::string::npos ? 7 : 6;
    const std::string expected = WindowAnimation(dir_.File("anim.gif"), dir_.Path() / "ref", type, c.spec, c.prepare);
    EXPECT_EQ(ReadText(dir_.File("CLI/anim.c")), expected) << c.commands[0];
    EXPECT_NE(expected.find("_acanim2[]"), std::string::npos);
  }
}

TEST_F(CliBatch, OnlyAnimatedGifsMakeAnimations) {
  Copy(kSamples + "logo.bmp", "logo.bmp");
  Copy(kImages + "flag.gif", "flag.gif");
  WriteBytes(dir_.File("anim.gif"), ThreeFrameGif());
  Copy(dir_.File("anim.gif"), "anim.bmp");  // the content decides, not the name
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* log;
    const char* err;
  } cases[] = {
      {{"logo.bmp", "-saveasa,6"}, 29, "Animation needs a GIF file.",
       "logo.bmp: Animation needs a GIF file. (TYPE 6 and 7 write the frames of an animated GIF)"},
      {{"flag.gif", "-saveasa,7"}, 30, "GIF file is not animated.",
       "flag.gif: GIF file is not animated. (it holds one image; save it with TYPE 1)"},
      {{"anim.gif", "-saveasa,6,8,1"}, 2, "Illegal FORMAT parameter.",
       "-saveasa,6,8,1: Illegal FORMAT parameter. (TYPE 6 takes FORMAT 1, 2, 4 or 5)"},
      {{"anim.gif", "-saveasa,7,7"}, 2, "Illegal FORMAT parameter.",
       "-saveasa,7,7: Illegal FORMAT parameter. (TYPE 7 takes FORMAT 1, 2, 4 or 5)"},
      {{"anim.gif", "-saveasa,6,5,2"}, 13, "Illegal NOPALETTE parameter.",
       "-saveasa,6,5,2: Illegal NOPALETTE parameter. (NOPALETTE 0 or 1)"},
  };
  for (const auto& c : cases) {
    auto args = c.args;
    args.emplace_back("-exit");
    const auto result = Run(args);
    EXPECT_EQ(result.exitCode, c.exitCode) << ::testing::PrintToString(args);
    EXPECT_EQ(TakeLog(), std::string(c.log) + "\n");
    EXPECT_EQ(result.err, "rastra: " + std::string(c.err) + "\n");
    EXPECT_FALSE(fs::exists(dir_.File("a.c")));
  }
  EXPECT_EQ(Run({"anim.bmp", "-saveasa,6", "-exit"}).exitCode, 0);
  EXPECT_TRUE(fs::exists(dir_.File("a.c")));
}

}  // namespace
