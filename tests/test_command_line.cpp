// The command-line processor's pieces, driven in-process.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "app/Report.h"

namespace {
using testing_support::ReadText;
using testing_support::TempDir;

// Runs with batch reports going to a log in a temporary directory.
class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunState();
    ResetDocument();
    RunState& state = GetRunState();
    state.batchActive = true;
    state.exitQueued = true;
    state.echoToStderr = false;
    state.logFileName = dir_.File("Rastra.log");
  }
  void TearDown() override {
    ResetRunState();
    ResetDocument();
  }
  std::string Log() {
    if (GetRunState().log != nullptr) std::fflush(GetRunState().log);
    return ReadText(GetRunState().logFileName);
  }
  TempDir dir_;
};

TEST(CommandTableTest, LookupTakesTheFirstPrefixRowCaseSensitively) {
  ASSERT_NE(LookupCommand("convertintogray4x"), nullptr);
  EXPECT_STREQ(LookupCommand("convertintogray4x")->keyword, "convertintogray4");
  // gray4 comes before gray16 and gray64 in the table but is no prefix of them.
  EXPECT_STREQ(LookupCommand("convertintogray16")->keyword, "convertintogray16");
  EXPECT_STREQ(LookupCommand("convertintogray256")->keyword, "convertintogray256");
  EXPECT_STREQ(LookupCommand("convertinto565")->keyword, "convertinto565");
  EXPECT_EQ(LookupCommand("convertinto565")->id, 1516);
  EXPECT_STREQ(LookupCommand("saveasout.c,1,5")->keyword, "saveas");
  EXPECT_EQ(LookupCommand("Exit"), nullptr);
  EXPECT_EQ(LookupCommand("exi"), nullptr);
  EXPECT_EQ(LookupCommand(""), nullptr);
  EXPECT_EQ(LookupCommand("?")->id, 0);
}

TEST(CommandTableTest, HelpTextListsEveryRowInOrder) {
  const std::string help = ComposeHelpText();
  EXPECT_EQ(help.rfind("-convertintobw\t\tConverts image into BW\r\n", 0), 0u);
  EXPECT_NE(help.find("-convertinto8666\tConverts image into 8666\r\n-convertinto444\t\tConverts image into 444\r\n"
                      "-convertinto555\t\tConverts image into 555\r\n-convertinto565\t\tConverts image into 565\r\n"
                      "-convertintorgb"),
            std::string::npos);
  EXPECT_NE(help.find("-exit\t\tTerminates the Rastra\r\n-help\t\tDisplays this box\r\n-?\t\tDisplays this box\r\n"),
            std::string::npos);
  EXPECT_EQ(help.size() - help.rfind("-?"), std::string("-?\t\tDisplays this box\r\n").size());
  std::size_t rows = 0;
  for (std::size_t at = help.find("\r\n-"); at != std::string::npos; at = help.find("\r\n-", at + 1)) ++rows;
  EXPECT_EQ(rows + 1, static_cast<std::size_t>(kCommandCount));
}

TEST_F(CommandLineTest, ReadCharStopsAtTheEnd) {
  SetParameterText("ab");
  EXPECT_EQ(ReadChar(), 'a');
  EXPECT_EQ(ReadChar(), 'b');
  EXPECT_EQ(ReadChar(), 0);
  EXPECT_EQ(ReadChar(), 0);
}

TEST_F(CommandLineTest, ReadStringStopsAtACommaAfterText) {
  SetParameterText("out.c,1");
  EXPECT_EQ(ReadString(255), "out.c");
  EXPECT_EQ(ReadChar(), ',');
  SetParameterText(",x,y");
  EXPECT_EQ(ReadString(255), ",x");  // a leading comma belongs to the text
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, ReadStringReportsMissingAndTooLong) {
  SetParameterText("");
  EXPECT_EQ(ReadString(10), "");
  EXPECT_TRUE(ParseErrorFlag());
  SetParameterText("abcdef");
  EXPECT_EQ(ReadString(3), "abc");
  EXPECT_TRUE(ParseErrorFlag());
  SetParameterText("abc");
  EXPECT_EQ(ReadString(3), "abc");
  EXPECT_FALSE(ParseErrorFlag());
  EXPECT_EQ(Log(), "String missing.String too long.");
  EXPECT_EQ(GetRunState().exitCode, 6);
}

TEST_F(CommandLineTest, ReadDecimalReadsSignedNumbersAndLeavesStoppers) {
  SetParameterText("50%,20");
  EXPECT_EQ(ReadDecimal(), 50);
  EXPECT_EQ(ReadChar(), '%');
  EXPECT_EQ(ReadChar(), ',');
  EXPECT_EQ(ReadDecimal(), 20);
  SetParameterText("-7,");
  EXPECT_EQ(ReadDecimal(), -7);
  EXPECT_EQ(Log(), "");
  SetParameterText("12a");
  EXPECT_EQ(ReadDecimal(), -1);
  EXPECT_TRUE(ParseErrorFlag());
  SetParameterText("");
  ReadDecimal();
  EXPECT_EQ(Log(), "Not a decimal value.Missing value.");
}

TEST_F(CommandLineTest, ReadHexConvertsAndReports) {
  SetParameterText("FF00aa");
  EXPECT_EQ(ReadHex(), 0xFF00AA);
  SetParameterText("-10,5");
  EXPECT_EQ(ReadHex(), -16);
  EXPECT_EQ(ReadChar(), ',');
  EXPECT_EQ(Log(), "");
  SetParameterText("12G");
  EXPECT_EQ(ReadHex(), -1);
  SetParameterText("");
  ReadHex();
  SetParameterText("1-2");  // "-" ends the value after a digit
  EXPECT_EQ(ReadHex(), 1);
  SetParameterText(",5");  // a leading comma is copied and is no digit
  EXPECT_EQ(ReadHex(), 0);
  EXPECT_EQ(Log(),
            "The passed parameter is not a hex value.Hex value missing.The passed parameter is not a hex value.");
}

TEST_F(CommandLineTest, ReadHexRefusesValuesTooLargeForAnyColour) {
  SetParameterText("123456789ABCDEF0123");
  EXPECT_EQ(ReadHex(), -1);
  EXPECT_EQ(Log(), "Color needs to be of a value between 0x000000 and 0xFFFFFF.");
}

TEST_F(CommandLineTest, CompleteOutputPathFillsFromTheSourcePath) {
  GetDocument().sourcePath = "/images/logo.bmp";
  EXPECT_EQ(CompleteOutputPath("out", 500, 2), "/images/out.bmp");
  EXPECT_EQ(CompleteOutputPath("out", 500, 1), "/images/out.c");
  EXPECT_EQ(CompleteOutputPath("out", 500, 3), "/images/out.dta");
  EXPECT_EQ(CompleteOutputPath("out", 500, 4), "/images/out.gif");
  EXPECT_EQ(CompleteOutputPath("out", 500, 5), "/images/out");
  EXPECT_EQ(CompleteOutputPath("out.png", 500, 5), "/images/out.png");
  EXPECT_EQ(CompleteOutputPath("/tmp/x/out.c", 500, 1), "/tmp/x/out.c");
  EXPECT_EQ(CompleteOutputPath("sub/", 500, 1), "sub/logo.c");
  EXPECT_EQ(CompleteOutputPath("out", 10, 2), "out");  // too long: unchanged
}

TEST_F(CommandLineTest, SaveAsWithoutImageDoesNothing) {
  SetParameterText("out,7");
  SaveAsCommand();
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, SaveAsParsingMessages) {
  struct Case {
    const char* parameter;
    const char* log;
  };
  const Case cases[] = {
      {"", "String missing.Invalid separator."},
      {"out", "Invalid separator."},
      {"out,7", "Illegal TYPE parameter."},
      {"out,0", "Illegal TYPE parameter."},
      {"out,1,30", "Illegal FORMAT parameter."},
      {"out,1,", "Illegal FORMAT parameter."},
      {"out,1,100", "Illegal FORMAT parameter."},
      {"out,1,16,", "Parameter NOPALETTE is invalid."},
      {"out,1,16,2", "Illegal NOPALETTE parameter."},
      {"out,1,16,0", "Parameter NOPALETTE must be set to 1."},
  };
  for (const Case& c : cases) {
    GetDocument().current = Bitmap_Create(2, 2, 0);
    GetDocument().sourcePath = dir_.File("in.bmp");
    ResetRunState();
    RunState& state = GetRunState();
    state.batchActive = true;
    state.exitQueued = true;
    state.echoToStderr = false;
    state.logFileName = dir_.File(std::string("case") + std::to_string(&c - cases) + ".log");
    SetParameterText(c.parameter);
    SaveAsCommand();
    EXPECT_EQ(Log(), c.log) << "parameter text " << c.parameter;
  }
}

TEST_F(CommandLineTest, SaveAsTrueColourFormatConvertsPaletteImageWithUndo) {
  GetDocument().current = Bitmap_Create(2, 2, 4);
  GetDocument().sourcePath = dir_.File("in.bmp");
  SetParameterText("out,1,8,0");
  SaveAsCommand();
  EXPECT_EQ(Log(), "Parameter NOPALETTE must be set to 1.");
  ASSERT_TRUE(GetDocument().current);
  EXPECT_EQ(GetDocument().current->NumColors, 0);
  ASSERT_TRUE(CanUndo());
  EXPECT_EQ(GetDocument().undo[0]->NumColors, 4);
}

}  // namespace
