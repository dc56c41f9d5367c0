// The real binary, run in a temporary directory: exit codes, the log and stderr.
#include <gtest/gtest.h>

#include <filesystem>

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
  EXPECT_EQ(help.out.rfind("Usage: rastra [IMAGEFILE] [-COMMAND[PARAMETERS]]...\n\n-convertintobw", 0), 0u);
  EXPECT_NE(help.out.find("-saveas\t\t<FNAME>,<TYPE>"), std::string::npos);
  EXPECT_EQ(help.out.find('\r'), std::string::npos);
  const auto version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "rastra 5.50\n");
  EXPECT_FALSE(HasLog());
}

TEST_F(Cli, UnknownCommandIsAParseErrorThatRunsNothing) {
  const auto result = Run({"-fooo", "-exit"});
  EXPECT_EQ(Log(), "\"fooo\" is not a valid command !Error during command line parsing.");
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.err, "rastra: \"fooo\" is not a valid command !\nrastra: Error during command line parsing.\n");
}

TEST_F(Cli, CommandWordsAreCaseSensitive) {
  const auto result = Run({"-Exit", "-exit"});
  EXPECT_EQ(Log(), "\"Exit\" is not a valid command !Error during command line parsing.");
  EXPECT_EQ(result.exitCode, 3);
}

TEST_F(Cli, FileNameAnywhereButFirstIsAParseError) {
  const auto result = Run({"-exit", "logo.bmp"});
  EXPECT_EQ(Log(), "Error during command line parsing.");
  EXPECT_EQ(result.exitCode, 3);
}

TEST_F(Cli, MissingInputFileIsReported) {
  const auto result = Run({"nosuch.bmp", "-exit"});
  EXPECT_EQ(Log(), "File not found.");
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
  EXPECT_EQ(Log(), "\"-saveas\": no more than 20 commands can be given !Error during command line parsing.");
}

TEST_F(Cli, OverlongParameterTextIsRefused) {
  EXPECT_EQ(Run({"-saveas" + std::string(499, 'x'), "-exit"}).exitCode, 0);
  const auto refused = Run({"-saveas" + std::string(500, 'x'), "-exit"});
  EXPECT_EQ(refused.exitCode, 3);
  EXPECT_EQ(Log(), "\"-saveas\": the parameter text is longer than 499 characters !Error during command line parsing.");
}

TEST_F(Cli, LogIsOnlyTouchedWhenSomethingIsReported) {
  WriteBytes(dir_.File("Rastra.log"), {'o', 'l', 'd'});
  EXPECT_EQ(Run({"-help", "-exit"}).exitCode, 0);
  EXPECT_EQ(Log(), "old");
  Run({"-x", "-exit"});
  EXPECT_EQ(Log(), "\"x\" is not a valid command !Error during command line parsing.");
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
           {}, {"logo.bmp"}, {"-fooo"}, {"logo.bmp", "-saveasout,7"}}) {
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
      {"logo.bmp", "-saveasout,7"},
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
  EXPECT_NE(RunHeadless({"logo.bmp", "-hide", "-saveasout,7"}).exitCode, 0);
}

}  // namespace
