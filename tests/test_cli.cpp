// The real binary, run in a temporary directory: exit codes, the log and stderr.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "TestSupport.h"


namespace {
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

class Cli : public ::testing::Test {
 protected:
  testing_support::RunResult Run(const std::vector<std::string>& args) { return RunRastra(args, dir_.Path()); }
  // As on a build server: no display and no Qt platform named.
  testing_support::RunResult RunHeadless(const std::vector<std::string>& args) {
    return RunRastra(args, dir_.Path(), testing_support::Display::None);
  }
  void CopySample() const {
    fs::copy_file(std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp", dir_.File("logo.bmp"),
                  fs::copy_options::overwrite_existing);
  }
  std::string Log() const { return ReadText(dir_.File("Rastra.log")); }
  bool HasLog() const { return std::filesystem::exists(dir_.File("Rastra.log")); }
  TempDir dir_;
};

// Standard output gets the help with the platform's line ends; the dialog keeps CR LF.
TEST_F(Cli, HelpPrintsTheComposedTextAndReportsNothing) {
  const auto result = Run({"-help", "-exit"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind("-convertintobw\t\tConverts image into BW\n", 0), 0u);
  EXPECT_NE(result.out.find("-?\t\tDisplays this box\n"), std::string::npos);
  EXPECT_NE(result.out.find("\t\t 1  \t- C-bitmap file\n"), std::string::npos);  // line ends inside a help text too
  EXPECT_EQ(result.out.find('\r'), std::string::npos);
  EXPECT_FALSE(HasLog());
  EXPECT_EQ(Run({"-?", "-exit"}).out, result.out);
}

TEST_F(Cli, GnuStyleHelpAndVersion) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: rastra [IMAGEFILE]... [-COMMAND[PARAMETERS]]...\n\n-convertintobw", 0), 0u);
  EXPECT_NE(help.out.find("-saveas\t\t<FNAME>,<TYPE>"), std::string::npos);
  EXPECT_EQ(help.out.find('\r'), std::string::npos);
  const auto version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "rastra 5.50\n");
  EXPECT_FALSE(HasLog());
}

TEST_F(Cli, UnknownCommandIsAParseErrorThatRunsNothing) {
  const auto result = Run({"-fooo", "-exit"});
  EXPECT_EQ(Log(), "\"fooo\" is not a valid command !\nError during command line parsing.\n");
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.err,
            "rastra: -fooo: \"fooo\" is not a valid command ! (rastra -help lists the commands)\n"
            "rastra: -fooo: Error during command line parsing. (nothing was run)\n");
}

TEST_F(Cli, CommandWordsAreCaseSensitive) {
  const auto result = Run({"-Exit", "-exit"});
  EXPECT_EQ(Log(), "\"Exit\" is not a valid command !\nError during command line parsing.\n");
  EXPECT_EQ(result.exitCode, 3);
}

TEST_F(Cli, FileNameAnywhereButFirstIsAParseError) {
  const auto result = Run({"-exit", "logo.bmp"});
  EXPECT_EQ(Log(), "Error during command line parsing.\n");
  EXPECT_EQ(result.exitCode, 3);
}

TEST_F(Cli, MissingInputFileIsReported) {
  const auto result = Run({"nosuch.bmp", "-exit"});
  EXPECT_EQ(Log(), "File not found.\n");
  EXPECT_EQ(result.exitCode, 21);
}

TEST_F(Cli, TwentyCommandsFitATwentyFirstIsRefused) {
  std::vector<std::string> args(19, "-hide");  // accepted but never queued
  for (int i = 0; i < 19; ++i) args.push_back("-help");
  args.insert(args.end(), 19, "-saveas");
  args.push_back("-exit");
  EXPECT_EQ(Run(args).exitCode, 0);
  EXPECT_FALSE(HasLog());

  args.push_back("-saveas");
  const auto refused = Run(args);
  EXPECT_EQ(refused.exitCode, 3);
  EXPECT_EQ(Log(), "\"-saveas\": no more than 20 commands can be given !\nError during command line parsing.\n");
}

TEST_F(Cli, OverlongParameterTextIsRefused) {
  EXPECT_EQ(Run({"-saveas" + std::string(499, 'x'), "-exit"}).exitCode, 0);
  const auto refused = Run({"-saveas" + std::string(500, 'x'), "-exit"});
  EXPECT_EQ(refused.exitCode, 3);
  EXPECT_EQ(Log(),
            "\"-saveas\": the parameter text is longer than 499 characters !\nError during command line parsing.\n");
}

TEST_F(Cli, LogIsOnlyTouchedWhenSomethingIsReported) {
  WriteBytes(dir_.File("Rastra.log"), {'o', 'l', 'd'});
  EXPECT_EQ(Run({"-help", "-exit"}).exitCode, 0);
  EXPECT_EQ(Log(), "old");
  Run({"-x", "-exit"});
  EXPECT_EQ(Log(), "\"x\" is not a valid command !\nError during command line parsing.\n");
}

// Without a display, a run that would open the window ends with a message and
// an exit code of its own instead of Qt's abort.
constexpr int kNoDisplayExitCode = 69;
const char* const kNoDisplayMessage = "rastra: no display to open the window on; add -exit for batch runs\n";

TEST_F(Cli, HelpWithoutExitNeedsNoDisplay) {
  const std::string help = Run({"-help", "-exit"}).out;
  for (const char* command : {"-help", "-?"}) {
    const auto result = RunHeadless({command});
    EXPECT_EQ(result.exitCode, kNoDisplayExitCode) << command;
    EXPECT_EQ(result.out, help) << command;
    EXPECT_EQ(result.err, kNoDisplayMessage) << command;
  }
  const auto batch = RunHeadless({"-help", "-exit"});
  EXPECT_EQ(batch.exitCode, 0);
  EXPECT_EQ(batch.err, "");
}

TEST_F(Cli, RunsThatWouldOpenTheWindowEndWithoutADisplay) {
  CopySample();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"logo.bmp"}, {"-fooo"}, {"logo.bmp", "-saveasout,8"}}) {
    const auto result = RunHeadless(args);
    EXPECT_EQ(result.exitCode, kNoDisplayExitCode) << ::testing::PrintToString(args);
    EXPECT_TRUE(result.err.ends_with(kNoDisplayMessage)) << result.err;
  }
  // The commands ran before the window was due.
  const auto saved = RunHeadless({"logo.bmp", "-saveascopy,2"});
  EXPECT_EQ(saved.exitCode, kNoDisplayExitCode);
  EXPECT_TRUE(fs::exists(dir_.File("copy.bmp")));
}

// -hide shows no window: the run ends as with -exit, with the same exit code,
// log and messages. Run without a display, an opened window would end the run
// with the no-display code instead.
TEST_F(Cli, HideEndsTheRunAsExitDoes) {
  CopySample();
  const std::vector<std::vector<std::string>> runs = {
      {"logo.bmp", "-saveascopy,2"},
      {"logo.bmp", "-saveasout,8"},
      {"logo.bmp", "-saveasout,1,30", "-saveasout,9"},
      {"-fooo"},
      {"nosuch.bmp"},
  };
  for (const auto& run : runs) {
    auto withExit = run;
    withExit.emplace_back("-exit");
    const auto exited = Run(withExit);
    const std::string exitLog = HasLog() ? Log() : "";
    fs::remove(dir_.File("Rastra.log"));
    fs::remove(dir_.File("copy.bmp"));

    auto withHide = run;
    withHide.insert(withHide.begin() + (run[0][0] == '-' ? 0 : 1), "-hide");
    const auto hidden = RunHeadless(withHide);
    EXPECT_EQ(hidden.exitCode, exited.exitCode) << ::testing::PrintToString(withHide);
    EXPECT_EQ(hidden.err, exited.err) << ::testing::PrintToString(withHide);
    EXPECT_EQ(HasLog() ? Log() : "", exitLog) << ::testing::PrintToString(withHide);
    fs::remove(dir_.File("Rastra.log"));
  }
  EXPECT_EQ(RunHeadless({"logo.bmp", "-hide", "-saveascopy,2"}).exitCode, 0);
  EXPECT_TRUE(fs::exists(dir_.File("copy.bmp")));
  EXPECT_NE(RunHeadless({"logo.bmp", "-hide", "-saveasout,8"}).exitCode, 0);
}

// The settings a user stored, in a home of the test's own.
class CliSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) oldHome_ = old;
    setenv("XDG_CONFIG_HOME", home_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (oldHome_) {
      setenv("XDG_CONFIG_HOME", oldHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  void StoreAllSwitchedOn() const {
    fs::create_directories(home_.Path() / "Vantor");
    const std::string ini = "[Settings]\nUseARGB=1\nBigEndianMode=1\nPreserveTrans=1\n";
    WriteBytes(StoreFile(), std::vector<std::uint8_t>(ini.begin(), ini.end()));
  }
  std::string StoreFile() const { return (home_.Path() / "Vantor" / "Rastra.conf").string(); }

  // A picture with transparency saved where each of the three settings
  // shows: a 565 stream (byte order), then 8666 C source (palette entries,
  // transparent pixels) and a palette stream.
  std::map<std::string, std::string> Convert(const std::vector<std::string>& settings) {
    fs::remove_all(work_.Path() / "out");
    std::vector<std::string> args = {std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/badge.png"};
    args.insert(args.end(), settings.begin(), settings.end());
    for (const char* command : {"-saveasout/s,3,8,1", "-convertinto8666", "-saveasout/p,1", "-saveasout/q,3", "-exit"}) {
      args.emplace_back(command);
    }
    const auto result = RunRastra(args, work_.Path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(work_.Path() / "out")) {
      files[entry.path().filename().string()] = ReadText(entry.path().string());
    }
    EXPECT_EQ(files.size(), 3u);
    return files;
  }

  TempDir home_;
  TempDir work_;
  std::optional<std::string> oldHome_;
};

TEST_F(CliSettings, EachSettingCommandChangesWhatItNames) {
  const auto defaults = Convert({});
  const auto argb = Convert({"-useargb1"});
  const auto bigEndian = Convert({"-bigendian1"});
  const auto preserve = Convert({"-preservetrans1"});
  EXPECT_NE(argb.at("p.c"), defaults.at("p.c"));
  EXPECT_EQ(argb.at("s.dta"), defaults.at("s.dta"));
  EXPECT_NE(bigEndian.at("s.dta"), defaults.at("s.dta"));
  EXPECT_EQ(bigEndian.at("p.c"), defaults.at("p.c"));
  EXPECT_NE(preserve.at("p.c"), defaults.at("p.c"));
  EXPECT_EQ(Convert({"-useargb1", "-useargb0"}), defaults);  // the last one given wins
}

TEST_F(CliSettings, RunsChooseTheirOwnSettingsAndSaveNone) {
  const auto defaults = Convert({});
  const auto allOn = Convert({"-useargb1", "-bigendian1", "-preservetrans1"});
  StoreAllSwitchedOn();
  const std::string stored = ReadText(StoreFile());
  EXPECT_EQ(Convert({}), allOn);
  EXPECT_EQ(Convert({"-defaultsettings"}), defaults);
  EXPECT_EQ(Convert({"-useargb0", "-bigendian0", "-preservetrans0"}), defaults);
  // Wherever it stands, -defaultsettings only replaces where the run starts.
  EXPECT_EQ(Convert({"-useargb1", "-defaultsettings", "-bigendian1", "-preservetrans1"}), allOn);
  EXPECT_EQ(ReadText(StoreFile()), stored);
}

TEST_F(Cli, SettingCommandsTakeZeroOrOne) {
  CopySample();
  for (const char* bad : {"-useargb", "-useargb2", "-bigendianx", "-preservetrans01", "-bigendian 1"}) {
    const auto result = Run({"logo.bmp", bad, "-saveascopy,2", "-exit"});
    EXPECT_EQ(result.exitCode, 3) << bad;
    EXPECT_EQ(Log(), "Setting must be 0 or 1.\nError during command line parsing.\n") << bad;
    const std::string word = std::string(bad).substr(0, std::string(bad).find_first_of("0123456789 x", 1));
    EXPECT_EQ(result.err, "rastra: " + std::string(bad) + ": Setting must be 0 or 1. (" + word + "0 or " + word +
                              "1)\nrastra: " + bad + ": Error during command line parsing. (nothing was run)\n");
    EXPECT_FALSE(fs::exists(dir_.File("copy.bmp"))) << bad;
  }
  // -defaultsettings takes nothing; what follows its word is ignored as
  // after any command without parameters.
  EXPECT_EQ(Run({"logo.bmp", "-defaultsettingsx", "-saveascopy,2", "-exit"}).exitCode, 0);
}

// The log keeps its texts; standard error names the file or the argument and
// adds the allowed values or the fix.
TEST_F(Cli, StandardErrorNamesTheFileOrTheValue) {
  CopySample();
  const struct {
    std::vector<std::string> args;
    const char* log;
    const char* err;
  } cases[] = {
      {{"nosuch.png"}, "File not found.", "nosuch.png: File not found."},
      {{"logo.bmp", "-reducecolors1"}, "Illegal number of colors.", "-reducecolors1: Illegal number of colors. (2 to 256)"},
      {{"logo.bmp", "-saveasout,1,30"}, "Illegal FORMAT parameter.",
       "-saveasout,1,30: Illegal FORMAT parameter. (FORMAT 1 to 29 or 99)"},
      {{"logo.bmp", "-saveasout,0"}, "Illegal TYPE parameter.", "-saveasout,0: Illegal TYPE parameter. (TYPE 1 to 9)"},
      {{"logo.bmp", "-convertintobw", "-saveasout,1,3"}, "FORMAT does not match image.",
       "out.c: FORMAT does not match image. (TYPE 1, FORMAT 3, an image of 2 colors)"},
      {{"logo.bmp", "-saveasout,1,8,0"}, "Parameter NOPALETTE must be set to 1.",
       "-saveasout,1,8,0: Parameter NOPALETTE must be set to 1. (FORMAT 8 has no palette: give NOPALETTE 1 or none)"},
      {{"logo.bmp", "-scale0,10"}, "Illegal size.", "-scale0,10: Illegal size. (1 to 99999 pixels)"},
      {{"logo.bmp", "-transparencyxyz"}, "The passed parameter is not a hex value.",
       "-transparencyxyz: The passed parameter is not a hex value. (RRGGBB in hex)"},
      {{"logo.bmp", "-convertintocustompalettenone.GUIPal"}, "Invalid file handle.",
       "none.GUIPal: Invalid file handle. (no such file)"},
      {{"logo.bmp", "-saveas---,1"}, "Illegal identifier", "---.c: Illegal identifier"},
  };
  for (const auto& c : cases) {
    auto args = c.args;
    args.emplace_back("-exit");
    fs::remove(dir_.File("Rastra.log"));
    const auto result = Run(args);
    EXPECT_EQ(Log(), std::string(c.log) + "\n") << ::testing::PrintToString(args);
    EXPECT_EQ(result.err, "rastra: " + std::string(c.err) + "\n") << ::testing::PrintToString(args);
  }
}

// An argument can hold 500 characters; the line naming it keeps 80 of them.
TEST_F(Cli, StandardErrorShortensArgumentsBeyond80Characters) {
  CopySample();
  const std::string whole = "-saveas" + std::string(71, 'x') + ",0";  // 80 characters
  EXPECT_EQ(Run({"logo.bmp", whole, "-exit"}).err, "rastra: " + whole + ": Illegal TYPE parameter. (TYPE 1 to 9)\n");
  const std::string longer = "-saveas" + std::string(200, 'x') + ",0";
  EXPECT_EQ(Run({"logo.bmp", longer, "-exit"}).err,
            "rastra: " + longer.substr(0, 77) + "...: Illegal TYPE parameter. (TYPE 1 to 9)\n");
}

}  // namespace
