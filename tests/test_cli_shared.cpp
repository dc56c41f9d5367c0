// Shared palettes, flash budgets and manifests through the real binary: one
// palette written once and declared by every C file of the run, the same
// bytes as the single-image conversions where those are the same palette, a
// budget that stops the run before it writes anything, and manifests that
// two runs write alike.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "image/Palette.h"
#include "readers/PaletteFile.h"
#include "sys/Context.h"
#include "sys/Sha256.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
namespace fs = std::filesystem;

const std::string kImages = std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/";

class CliShared : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"flag.gif", "badge.png", "ramp.bmp"}) fs::copy_file(kImages + name, dir_.File(name));
    // A true-colour picture of eight colours, without alpha.
    ASSERT_EQ(Run({"ramp.bmp", "-convertinto111", "-convertintorgb", "-saveasfew.bmp,2", "-exit"}).exitCode, 0);
  }
  testing_support::RunResult Run(const std::vector<std::string>& args) { return RunRastra(args, dir_.Path()); }
  std::string Text(const std::string& name) const { return ReadText(dir_.File(name)); }
  bool Exists(const std::string& name) const { return fs::exists(dir_.File(name)); }
  TempDir dir_;
};

TEST_F(CliShared, ThePaletteIsWrittenOnceAndEveryCFileDeclaresIt) {
  const std::vector<std::string> args = {"flag.gif", "badge.png", "ramp.bmp", "-sharedpalette", "-saveasout/%n,1,7",
                                         "-saveasout/theme,P", "-saveasout/theme,G", "-saveasout/%n,3",
                                         "-manifestout/run.json", "-exit"};
  ASSERT_EQ(Run(args).exitCode, 0);
  const std::string palette = Text("out/theme.c");
  EXPECT_NE(palette.find("GUI_CONST_STORAGE GUI_LOGPALETTE Paltheme = {\r\n  256,  // Number of entries\r\n  1,"),
            std::string::npos);
  for (const char* name : {"flag", "badge", "ramp"}) {
    const std::string text = Text("out/" + std::string(name) + ".c");
    EXPECT_NE(text.find("extern GUI_CONST_STORAGE GUI_LOGPALETTE Paltheme;"), std::string::npos) << name;
    EXPECT_NE(text.find("&Paltheme,  // Pointer to palette"), std::string::npos) << name;
    EXPECT_EQ(text.find("_Colors"), std::string::npos) << name;
    EXPECT_TRUE(Exists("out/" + std::string(name) + ".dta")) << name;
  }
  // The palette file holds the same palette, its transparent entry marked.
  PaletteRef file;
  sys::Context ctx;
  ASSERT_EQ(_LoadPalette(dir_.File("out/theme.GUIPal"), file, ctx), 0);
  EXPECT_EQ(file.count, 256);
  EXPECT_EQ(file.colours[0], 0xFFFFFFFFu);

  // The manifest names every output with its checksum, and a second run
  // writes the same bytes.
  const std::string manifest = Text("out/run.json");
  const auto flagSum = sys::Sha256OfFile(dir_.File("out/flag.c"));
  ASSERT_TRUE(flagSum.has_value());
  EXPECT_NE(manifest.find("\"output\": \"out/flag.c\",\n      \"sha256\": \"" + *flagSum + "\""), std::string::npos);
  EXPECT_NE(manifest.find("\"c_file_identifier\": \"theme\""), std::string::npos);
  EXPECT_NE(manifest.find("\"palette\": \"shared\""), std::string::npos);
  EXPECT_EQ(Run(args).exitCode, 0);
  EXPECT_EQ(Text("out/run.json"), manifest);
}

// Where the shared palette is the palette a single-image conversion makes, the
// files are the same bytes.
TEST_F(CliShared, ASetOfOneGivesWhatTheSingleConversionGives) {
  ASSERT_EQ(Run({"few.bmp", "-convertintobestpalette", "-saveaspalette,G", "-exit"}).exitCode, 0);
  const struct {
    std::string shared;
    std::string single;
  } cases[] = {{"-sharedpalette", "-convertintobestpalette"},
               {"-sharedpalette8", "-convertintobestpalette"},
               {"-sharedpalettepalette.GUIPal", "-convertintocustompalettepalette.GUIPal"}};
  for (const auto& c : cases) {
    ASSERT_EQ(Run({"few.bmp", c.shared, "-saveasa/img,1,5", "-saveasa/img,3", "-exit"}).exitCode, 0) << c.shared;
    ASSERT_EQ(Run({"few.bmp", c.single, "-saveasb/img,1,5", "-saveasb/img,3", "-exit"}).exitCode, 0) << c.single;
    EXPECT_EQ(Text("a/img.c"), Text("b/img.c")) << c.shared;
    EXPECT_EQ(Text("a/img.dta"), Text("b/img.dta")) << c.shared;
  }
}

// A budget the C files go over fails the run and writes none of them, nor the
// manifest; the report names each file with its size.
TEST_F(CliShared, ABudgetTheFilesGoOverWritesNothing) {
  const struct {
    std::string budget;
    int exitCode;
    std::vector<std::string> messages;
  } cases[] = {
      {"-flashbudget1000", 1,
       {"rastra: C flash budget exceeded: out/flag.c takes 1556 bytes, over the 1000 bytes each C file may take.\n",
        "rastra: C flash budget exceeded: out/ramp.c takes 1556 bytes, over the 1000 bytes each C file may take.\n"}},
      {"-flashbudget,3000", 1,
       {"rastra: C flash budget exceeded: the C files of the run take 3188 bytes, over the 3000 bytes they may take "
        "together:\nrastra: out/flag.c: 1556 bytes.\nrastra: out/theme.c: 76 bytes.\nrastra: out/ramp.c: 1556 bytes.\n"
        "rastra: Nothing was written: the C files are over the flash budget.\n"}},
      {"-flashbudget1556,3188", 0, {}},
  };
  for (const auto& c : cases) {
    const auto run = Run({"flag.gif", "ramp.bmp", "-sharedpalette16", "-saveasout/%n,1,5", "-saveasout/theme,P",
                          "-saveasout/%n.png,5", c.budget, "-manifestout/run.json", "-exit"});
    EXPECT_EQ(run.exitCode, c.exitCode) << c.budget << run.err;
    for (const std::string& message : c.messages) EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(Exists("out/flag.c") && Exists("out/theme.c") && Exists("out/run.json") && Exists("out/ramp.png"),
              c.exitCode == 0)
        << c.budget;
    if (c.exitCode != 0) {
      EXPECT_TRUE(!Exists("out") || fs::is_empty(dir_.File("out"))) << c.budget;
    }
    fs::remove_all(dir_.File("out"));
  }
}

TEST_F(CliShared, ParametersOutsideTheirRangeRunNothing) {
  const struct {
    std::string argument;
    std::string message;
  } cases[] = {{"-sharedpalette1", "-sharedpalette1: Illegal number of colors. (2 to 256)"},
               {"-sharedpalette257", "Illegal number of colors."},
               {"-flashbudget", "A flash budget is a number of bytes."},
               {"-flashbudget12kB", "A flash budget is a number of bytes."},
               {"-manifest", "The manifest has no file name."}};
  for (const auto& c : cases) {
    const auto run = Run({"flag.gif", c.argument, "-saveasout,1", "-exit"});
    EXPECT_EQ(run.exitCode, 3) << c.argument;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(Exists("out.c")) << c.argument;
  }
  const auto twice = Run({"flag.gif", "-sharedpalette", "-sharedpalette16", "-exit"});
  EXPECT_EQ(twice.exitCode, 3);
  EXPECT_NE(twice.err.find("Only one shared palette can be made in a run."), std::string::npos) << twice.err;
}

// Without a shared palette, P and G save the image's own palette; a picture
// without one says so.
TEST_F(CliShared, PaletteSavesOfASingleImage) {
  EXPECT_EQ(Run({"flag.gif", "-saveasflag,G", "-saveasflag_palette,P", "-exit"}).exitCode, 0);
  EXPECT_EQ(fs::file_size(dir_.File("flag.GUIPal")), 16u + 4 * 4);
  EXPECT_NE(Text("flag_palette.c").find("GUI_LOGPALETTE Palflag_palette = {\r\n  4,"), std::string::npos);
  const auto trueColor = Run({"ramp.bmp", "-saveasramp,G", "-exit"});
  EXPECT_EQ(trueColor.exitCode, 1);
  EXPECT_NE(trueColor.err.find("-saveasramp,G: The image has no palette to save."), std::string::npos) << trueColor.err;
  EXPECT_FALSE(Exists("ramp.GUIPal"));
}

// A manifest changes neither the files nor what the run reports.
TEST_F(CliShared, AManifestLeavesTheRunAsItWas) {
  const std::vector<std::string> commands = {"-convertintobestpalette", "-saveasout/%n,1,7", "-saveasout,9",
                                             "-saveasout/%n.png,5", "-exit"};
  std::vector<std::string> plain = {"badge.png"};
  plain.insert(plain.end(), commands.begin(), commands.end());
  const auto without = Run(plain);
  const std::string log = Text("Rastra.log");
  fs::rename(dir_.File("out"), dir_.File("plain"));
  plain.push_back("-manifestrun.json");
  const auto with = Run(plain);
  EXPECT_EQ(with.exitCode, without.exitCode);
  EXPECT_EQ(with.err, without.err);
  EXPECT_EQ(Text("Rastra.log"), log);
  for (const std::string name : {"badge.c", "badge.png"}) EXPECT_EQ(Text("out/" + name), Text("plain/" + name));
  EXPECT_NE(Text("run.json").find("\"commands\": [\n        \"-convertintobestpalette\",\n        \"-saveasout/%n,1,7\"\n"),
            std::string::npos)
      << Text("run.json");
}

}  // namespace
