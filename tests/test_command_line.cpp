// The command-line processor's pieces, driven in-process.
#include <gtest/gtest.h>

#include "CoreTestSupport.h"

#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/DocumentActions.h"
#include "app/Parameters.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Session.h"
#include "image/ColorFormat.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::ReadLog;
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
    return ReadLog(GetRunState().logFileName);
  }
  void SetParameterText(const std::string& text) { session_.cursor = ParameterCursor{text}; }
  // Runs one queued command on the current image, as the processor does.
  void RunCommand(const char* word) {
    const CommandEntry* entry = LookupCommand(word);
    ASSERT_NE(entry, nullptr) << word;
    SetParameterText(std::string(word).substr(std::string(entry->keyword).size()));
    ExecuteCommand(session_, entry->id);
  }
  TempDir dir_;
  ImmediateSink sink_;
  CommandSession session_{GetDocument(), sink_, OutputOptions{}};
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

// With the first matching row winning, a keyword that begins another would
// hide it; every row must be reachable by its own word.
TEST(CommandTableTest, NoKeywordBeginsAnother) {
  for (const CommandEntry& row : CommandTable) {
    EXPECT_EQ(LookupCommand(row.keyword), &row) << row.keyword;
    for (const CommandEntry& other : CommandTable) {
      if (&row != &other) {
        EXPECT_FALSE(std::string_view(other.keyword).starts_with(row.keyword)) << row.keyword;
      }
    }
  }
  EXPECT_EQ(LookupCommand("useargb1")->id, 1811);
  EXPECT_EQ(LookupCommand("bigendian0")->id, 1812);
  EXPECT_EQ(LookupCommand("preservetrans1")->id, 1813);
  EXPECT_EQ(LookupCommand("defaultsettings")->id, 1814);
  EXPECT_EQ(LookupCommand("pnggamma0")->id, 1820);
  EXPECT_EQ(LookupCommand("smoothchroma1")->id, 1821);
  EXPECT_EQ(LookupCommand("autoorient1")->id, 1822);
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
  // The rows added later follow the help rows.
  EXPECT_NE(help.find("-?\t\tDisplays this box\r\n-useargb\t\t<0|1>\r\n"), std::string::npos);
  EXPECT_NE(help.find("-defaultsettings\tIgnores the stored settings in this run\r\n-sizereport"), std::string::npos);
  const CommandEntry& last = CommandTable.back();
  EXPECT_TRUE(help.ends_with("-" + std::string(last.keyword) + last.help + "\r\n"));
  std::size_t rows = 0;
  for (std::size_t at = help.find("\r\n-"); at != std::string::npos; at = help.find("\r\n-", at + 1)) ++rows;
  EXPECT_EQ(rows + 1, static_cast<std::size_t>(kCommandCount));
}

TEST_F(CommandLineTest, ReadCharStopsAtTheEnd) {
  SetParameterText("ab");
  EXPECT_EQ(ReadChar(session_), 'a');
  EXPECT_EQ(ReadChar(session_), 'b');
  EXPECT_EQ(ReadChar(session_), 0);
  EXPECT_EQ(ReadChar(session_), 0);
}

TEST_F(CommandLineTest, ReadStringStopsAtACommaAfterText) {
  SetParameterText("out.c,1");
  EXPECT_EQ(ReadString(session_, 255, "USAGE"), "out.c");
  EXPECT_EQ(ReadChar(session_), ',');
  SetParameterText(",x,y");
  EXPECT_EQ(ReadString(session_, 255, "USAGE"), ",x");  // a leading comma belongs to the text
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, ReadStringReportsMissingAndTooLong) {
  SetParameterText("");
  EXPECT_EQ(ReadString(session_, 10, "USAGE"), "");
  EXPECT_TRUE(ParseErrorFlag(session_));
  SetParameterText("abcdef");
  EXPECT_EQ(ReadString(session_, 3, "USAGE"), "abc");
  EXPECT_TRUE(ParseErrorFlag(session_));
  SetParameterText("abc");
  EXPECT_EQ(ReadString(session_, 3, "USAGE"), "abc");
  EXPECT_FALSE(ParseErrorFlag(session_));
  EXPECT_EQ(Log(), "String missing.\nString too long.\n");
  EXPECT_EQ(GetRunState().exitCode, 6);
}

// Without -exit the window opens after the commands and the run ends with
// the window's exit code: a failure the log already told of must not become it.
TEST_F(CommandLineTest, ReportsSetTheExitCodeOnlyInRunsThatEndWithoutTheWindow) {
  GetRunState().exitQueued = false;
  SetParameterText("");
  ReadString(session_, 10, "USAGE");
  EXPECT_EQ(Log(), "String missing.\n");
  EXPECT_EQ(GetRunState().exitCode, 0);
}

TEST_F(CommandLineTest, ReadDecimalReadsSignedNumbersAndLeavesStoppers) {
  SetParameterText("50%,20");
  EXPECT_EQ(ReadDecimal(session_, "USAGE"), 50);
  EXPECT_EQ(ReadChar(session_), '%');
  EXPECT_EQ(ReadChar(session_), ',');
  EXPECT_EQ(ReadDecimal(session_, "USAGE"), 20);
  SetParameterText("-7,");
  EXPECT_EQ(ReadDecimal(session_, "USAGE"), -7);
  EXPECT_EQ(Log(), "");
  SetParameterText("12a");
  EXPECT_EQ(ReadDecimal(session_, "USAGE"), -1);
  EXPECT_TRUE(ParseErrorFlag(session_));
  SetParameterText("");
  ReadDecimal(session_, "USAGE");
  EXPECT_EQ(Log(), "Not a decimal value.\nMissing value.\n");
}

TEST_F(CommandLineTest, ReadHexConvertsAndReports) {
  SetParameterText("FF00aa");
  EXPECT_EQ(ReadHex(session_, "USAGE"), 0xFF00AA);
  SetParameterText("-10,5");
  EXPECT_EQ(ReadHex(session_, "USAGE"), -16);
  EXPECT_EQ(ReadChar(session_), ',');
  EXPECT_EQ(Log(), "");
  SetParameterText("12G");
  EXPECT_EQ(ReadHex(session_, "USAGE"), -1);
  SetParameterText("");
  ReadHex(session_, "USAGE");
  SetParameterText("1-2");  // "-" ends the value after a digit
  EXPECT_EQ(ReadHex(session_, "USAGE"), 1);
  SetParameterText(",5");  // a leading comma is copied and is no digit
  EXPECT_EQ(ReadHex(session_, "USAGE"), 0);
  EXPECT_EQ(Log(),
            "The passed parameter is not a hex value.\nHex value missing.\nThe passed parameter is not a hex value.\n");
}

TEST_F(CommandLineTest, ReadHexRefusesValuesTooLargeForAnyColour) {
  SetParameterText("123456789ABCDEF0123");
  EXPECT_EQ(ReadHex(session_, "USAGE"), -1);
  EXPECT_EQ(Log(), "Color needs to be of a value between 0x000000 and 0xFFFFFF.\n");
}

TEST_F(CommandLineTest, CompleteOutputPathFillsFromTheSourcePath) {
  GetDocument().sourcePath = "/images/logo.bmp";
  EXPECT_EQ(CompleteOutputPath("out", 2, GetDocument().sourcePath), "/images/out.bmp");
  EXPECT_EQ(CompleteOutputPath("out", 1, GetDocument().sourcePath), "/images/out.c");
  EXPECT_EQ(CompleteOutputPath("out", 3, GetDocument().sourcePath), "/images/out.dta");
  EXPECT_EQ(CompleteOutputPath("out", 4, GetDocument().sourcePath), "/images/out.gif");
  EXPECT_EQ(CompleteOutputPath("out", 5, GetDocument().sourcePath), "/images/out");
  EXPECT_EQ(CompleteOutputPath("out.png", 5, GetDocument().sourcePath), "/images/out.png");
  EXPECT_EQ(CompleteOutputPath("/tmp/x/out.c", 1, GetDocument().sourcePath), "/tmp/x/out.c");
  EXPECT_EQ(CompleteOutputPath("sub/", 1, GetDocument().sourcePath), "sub/logo.c");
  // However long the image's directory, the name joins it whole.
  const std::string deep = "/" + std::string(300, 'd') + "/" + std::string(250, 'e') + "/";
  EXPECT_EQ(CompleteOutputPath("out", 2, deep + "logo.bmp"), deep + "out.bmp");
  EXPECT_EQ(CompleteOutputPath("sub/", 1, deep + std::string(200, 'n') + ".png"),
            "sub/" + std::string(200, 'n') + ".c");
}

TEST_F(CommandLineTest, SaveAsWithoutImageDoesNothing) {
  SetParameterText("out,6");
  SaveAsCommand(session_);
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, SaveAsParsingMessages) {
  struct Case {
    const char* parameter;
    const char* log;
  };
  const Case cases[] = {
      {"", "String missing.\nInvalid separator."},
      {"out", "Invalid separator."},
      {"out,0", "Illegal TYPE parameter."},
      {"out,0", "Illegal TYPE parameter."},
      {"out,1,30", "Illegal FORMAT parameter."},
      {"out,1,", "Illegal FORMAT parameter."},
      {"out,1,100", "Illegal FORMAT parameter."},
      {"out,1,16,", "Parameter NOPALETTE is invalid."},
      {"out,1,16,2", "Illegal NOPALETTE parameter."},
      {"out,1,16,0", "Parameter NOPALETTE must be set to 1."},
      {"out,6,8", "Illegal FORMAT parameter."},  // animation frames are palette indices
      {"out,7,3", "Illegal FORMAT parameter."},
      {"out,6,5,", "Parameter NOPALETTE is invalid."},
      {"out,7,5,2", "Illegal NOPALETTE parameter."},
  };
  for (const Case& c : cases) {
    GetDocument().current = testing_support::MakeBitmap(2, 2, 0);
    GetDocument().sourcePath = dir_.File("in.bmp");
    ResetRunState();
    RunState& state = GetRunState();
    state.batchActive = true;
    state.exitQueued = true;
    state.echoToStderr = false;
    state.logFileName = dir_.File(std::string("case") + std::to_string(&c - cases) + ".log");
    SetParameterText(c.parameter);
    SaveAsCommand(session_);
    EXPECT_EQ(Log(), std::string(c.log) + "\n") << "parameter text " << c.parameter;
  }
}

TEST_F(CommandLineTest, SaveAsTrueColourFormatConvertsPaletteImageWithUndo) {
  GetDocument().current = testing_support::MakeBitmap(2, 2, 4);
  GetDocument().sourcePath = dir_.File("in.bmp");
  SetParameterText("out,1,8,0");
  SaveAsCommand(session_);
  EXPECT_EQ(Log(), "Parameter NOPALETTE must be set to 1.\n");
  ASSERT_TRUE(GetDocument().current);
  EXPECT_EQ(GetDocument().current->NumColors, 0);
  ASSERT_TRUE(CanUndo());
  EXPECT_EQ(GetDocument().undo[0]->NumColors, 4);
}

BitmapPtr MakePaletteImage() {
  BitmapPtr image = testing_support::MakeBitmap(4, 2, 3);
  Bitmap_SetPalColor(*image, 0, 0x000000);
  Bitmap_SetPalColor(*image, 1, 0x0000FF);  // red
  Bitmap_SetPalColor(*image, 2, 0xFF0000);  // blue
  for (int x = 0; x < 4; ++x) Bitmap_SetPixel(*image, x, 0, x % 3);
  return image;
}

TEST_F(CommandLineTest, ScaleTakesPixelsOrPercentages) {
  GetDocument().current = testing_support::MakeBitmap(40, 20, 0);
  RunCommand("scale50%,30");
  ASSERT_TRUE(GetDocument().current);
  EXPECT_EQ(GetDocument().current->XSize, 20);
  EXPECT_EQ(GetDocument().current->YSize, 30);
  RunCommand("scale7,200%");
  EXPECT_EQ(GetDocument().current->XSize, 7);
  EXPECT_EQ(GetDocument().current->YSize, 60);
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, ScaleRefusesIllegalSizes) {
  GetDocument().current = testing_support::MakeBitmap(40, 20, 0);
  RunCommand("scale0,10");
  RunCommand("scale-5,10");
  RunCommand("scale10,100000");
  RunCommand("scale1%,1");  // 40 x 1% is no whole pixel
  RunCommand("scale10");
  RunCommand("scalex,1");
  EXPECT_EQ(Log(),
            "Illegal size.\nIllegal size.\nIllegal size.\nIllegal size.\nInvalid separator.\nNot a decimal value.\n");
  EXPECT_EQ(GetDocument().current->XSize, 40);
  EXPECT_EQ(GetRunState().exitCode, 24);
}

TEST_F(CommandLineTest, ScalePercentagesBeyondAnyNumberAreIllegalSizes) {
  // Run through the command-line fuzz harness under UBSan: the percentage
  // multiplied the width beyond 64 bits.
  GetDocument().current = testing_support::MakeBitmap(96, 2, 0);
  RunCommand("scale99999999999999999999%,5");
  RunCommand("scale5,-99999999999999999999%");
  RunCommand("scale10000001%,5");
  EXPECT_EQ(Log(), "Illegal size.\nIllegal size.\nIllegal size.\n");
  RunCommand("scale104166%,50%");  // 96 x 1041.66 is the largest size there is
  EXPECT_EQ(GetDocument().current->XSize, 99999);
  EXPECT_EQ(GetDocument().current->YSize, 1);
  EXPECT_EQ(Log(), "Illegal size.\nIllegal size.\nIllegal size.\n");
}

TEST_F(CommandLineTest, ReduceColorsChecksTheCount) {
  GetDocument().current = MakePaletteImage();
  RunCommand("reducecolors1");
  RunCommand("reducecolors257");
  RunCommand("reducecolors");
  EXPECT_EQ(Log(), "Illegal number of colors.\nIllegal number of colors.\nMissing value.\n");
  RunCommand("reducecolors2");
  ASSERT_TRUE(GetDocument().current);
  EXPECT_LE(GetDocument().current->NumColors, 2);
  EXPECT_GE(GetDocument().current->NumColors, 1);
}

TEST_F(CommandLineTest, TransparencyPicksTheFirstMatchingEntry) {
  GetDocument().current = MakePaletteImage();
  RunCommand("transparencyFF0000");  // red, stored as 0x0000FF
  const Bitmap& image = *GetDocument().current;
  EXPECT_EQ(image.HasTrans, 1);
  EXPECT_EQ(Bitmap_GetPalColor(image, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(Bitmap_GetPixelColor(image, 1, 0) & 0xFFFFFF, 0x0000FFu);  // the picture is unchanged
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, TransparencyMessages) {
  GetDocument().current = MakePaletteImage();
  RunCommand("transparency1000000");
  RunCommand("transparency00FF00");
  RunCommand("transparencyxyz");
  GetDocument().current = testing_support::MakeBitmap(2, 2, 0);
  RunCommand("transparency000000");
  EXPECT_EQ(Log(),
            "Color needs to be of a value between 0x000000 and 0xFFFFFF.\nColor could not be found in the image.\n"
            "The passed parameter is not a hex value.\nNo palette. Transparency can not be create.\n");
  EXPECT_EQ(GetRunState().exitCode, 18);
}

TEST_F(CommandLineTest, ConversionsWithoutImageReportTheConvertersText) {
  RunCommand("convertintobw");
  EXPECT_EQ(Log(), "Internal error : No source bitmap. (hBitmap == 0)\n");
  RunCommand("fliph");  // other operations do nothing without an image
  EXPECT_EQ(Log(), "Internal error : No source bitmap. (hBitmap == 0)\n");
}

TEST_F(CommandLineTest, ConversionSelectorReachesEveryFormat) {
  const struct {
    const char* word;
    int numColors;
  } cases[] = {{"convertintobw", 2},    {"convertintogray4", 4},  {"convertintogray16", 16},
               {"convertintogray64", 64}, {"convertintogray256", 256}, {"convertinto111", 8},
               {"convertinto222", 64},  {"convertinto233", 256}, {"convertinto323", 256},
               {"convertinto332", 256}, {"convertinto8666", 256}, {"convertinto444", 0},
               {"convertinto555", 0},   {"convertinto565", 0},   {"convertintorgb", 0}};
  for (const auto& c : cases) {
    GetDocument().current = MakePaletteImage();
    RunCommand(c.word);
    ASSERT_TRUE(GetDocument().current) << c.word;
    EXPECT_EQ(GetDocument().current->NumColors, c.numColors) << c.word;
  }
  GetDocument().current = testing_support::MakeBitmap(3, 3, 0);
  Bitmap_SetPixel(*GetDocument().current, 1, 1, 0x123456);
  RunCommand("convertintobestpalette");
  EXPECT_EQ(GetDocument().current->NumColors, 2);
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandLineTest, ConvertingTo565QuantisesTheColours) {
  GetDocument().current = testing_support::MakeBitmap(1, 1, 0);
  Bitmap_SetPixel(*GetDocument().current, 0, 0, 0x00FFFFFF);
  RunCommand("convertinto565");
  EXPECT_EQ(Bitmap_GetPixel(*GetDocument().current, 0, 0) & 0xFFFFFF, 0xFFFFFFu);
  Bitmap_SetPixel(*GetDocument().current, 0, 0, 0x00123457);
  RunCommand("convertinto565");
  const ColorFormat& f565 = GetColorFormat(kFormat565);
  const Color converted = Bitmap_GetPixel(*GetDocument().current, 0, 0) & 0xFFFFFF;
  EXPECT_EQ(converted, f565.IndexToColor(f565.ColorToIndex(0x00123457)));
  EXPECT_NE(converted, 0x123457u);
}

TEST_F(CommandLineTest, CustomPaletteNeedsAReadableFile) {
  GetDocument().current = MakePaletteImage();
  RunCommand("convertintocustompalette");
  RunCommand("convertintocustompalettenosuch.GUIPal");
  EXPECT_EQ(Log(), "String missing.\nInvalid file handle.\nInvalid file handle.\n");
  EXPECT_FALSE(CanUndo());
}

}  // namespace
