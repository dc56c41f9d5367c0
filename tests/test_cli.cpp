// The real binary, run in a temporary directory: exit codes, the log and stderr.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace {
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
using testing_support::WriteBytes;

class Cli : public ::testing::Test {
 protected:
  testing_support::RunResult Run(const std::vector<std::string>& args) { return RunRastra(args, dir_.Path()); }
  std::string Log() const { return ReadText(dir_.File("Rastra.log")); }
  bool HasLog() const { return std::filesystem::exists(dir_.File("Rastra.log")); }
  TempDir dir_;
};

TEST_F(Cli, HelpPrintsTheComposedTextAndReportsNothing) {
  const auto result = Run({"-help", "-exit"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind("-convertintobw\t\tConverts image into BW\r\n", 0), 0u);
  EXPECT_NE(result.out.find("-?\t\tDisplays this box\r\n"), std::string::npos);
  EXPECT_FALSE(HasLog());
  EXPECT_EQ(Run({"-?", "-exit"}).out, result.out);
}

TEST_F(Cli, GnuStyleHelpAndVersion) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("-saveas\t\t<FNAME>,<TYPE>"), std::string::npos);
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

}  // namespace
