#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "OutputCapture.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/Version.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::CaptureOutput;
using testing_support::MakeBitmap;
using testing_support::SplitLines;
using testing_support::TextsOf;

BitmapPtr PaletteImage(const std::vector<Color>& colors) {
  BitmapPtr b = MakeBitmap(1, 1, static_cast<int>(colors.size()));
  for (std::size_t i = 0; i < colors.size(); ++i) Bitmap_SetPalColor(*b, static_cast<int>(i), colors[i]);
  return b;
}

// ---------------------------------------------------------------- buffer

TEST(OutBufferTest, KeepsTheRestBelowOneHundredBytesUntilFlush) {
  const std::string data(250, 'a');
  std::size_t pendingAfterWrite = 0;
  const std::string text = CaptureOutput([&](OutBuffer& out) {
    EXPECT_EQ(OutWrite(out, data), 1);
    EXPECT_EQ(OutLastCopied(out), 250u);
    pendingAfterWrite = out.count;
    EXPECT_EQ(OutFlush(out), 1);
    EXPECT_EQ(out.count, 0u);
  });
  EXPECT_EQ(pendingAfterWrite, 50u);
  EXPECT_EQ(text, data);
}

TEST(OutBufferTest, FailedFileWriteStopsCopyingAndIsReported) {
  auto file = sys::File::Create("/dev/full");
  if (!file) GTEST_SKIP() << "/dev/full not available";
  OutBuffer out(*file);
  // The stdio buffer underneath takes 64 KiB before the device refuses.
  const std::string data(200000, 'x');
  EXPECT_EQ(OutWrite(out, data), 0);
  EXPECT_LT(OutLastCopied(out), data.size());
  EXPECT_EQ(out.count, 0u);
  EXPECT_EQ(OutWrite(out, "abc"), 1);  // the next call starts afresh in the buffer
  EXPECT_EQ(OutLastCopied(out), 3u);
  EXPECT_EQ(OutFlush(out), 0);
  EXPECT_FALSE(OutComplete(out));  // the owner of the buffer hears of the loss
}

TEST(OutBufferTest, WriteWithoutFileFailsOnceTheBufferIsFull) {
  sys::File closed;  // takes nothing
  OutBuffer out(closed);
  const std::string data(120, 'y');
  EXPECT_EQ(OutWrite(out, data), 0);
  EXPECT_EQ(OutLastCopied(out), 100u);
  EXPECT_EQ(out.count, 0u);
  EXPECT_FALSE(OutComplete(out));
}

TEST(OutBufferTest, WrappedWriteBreaksBeforeColumn254WithEightBlanks) {
  const std::string text = CaptureOutput([](OutBuffer& out) {
    OutSetColumn(out, 0);
    OutWriteWrapped(out, std::string(249, 'a'));
    EXPECT_EQ(OutColumn(out), 249);
    OutWriteWrapped(out, "bbbbb");  // reaches 254 exactly: no break
    EXPECT_EQ(OutColumn(out), 254);
    OutWriteWrapped(out, "c");  // would pass 254
    EXPECT_EQ(OutColumn(out), 9);
    OutWrite(out, "\r\n");  // plain writes leave the counter alone
    EXPECT_EQ(OutColumn(out), 9);
    OutWriteWrapped(out, "\r\n");  // a wrapped line end counts as two characters
    EXPECT_EQ(OutColumn(out), 11);
  });
  EXPECT_EQ(text, std::string(249, 'a') + "bbbbb" + "\r\n        c" + "\r\n" + "\r\n");
}

TEST(OutBufferTest, WrappedWriteHonoursCallerColumnAndIndent) {
  const std::string text = CaptureOutput([](OutBuffer& out) {
    OutSetColumn(out, 95);
    OutWriteWrapped(out, "123456", 100, 0);
    EXPECT_EQ(OutColumn(out), 6);
    OutSetColumn(out, 253);
    OutWriteWrapped(out, "xy", 254, 1);
    EXPECT_EQ(OutColumn(out), 3);
  });
  EXPECT_EQ(text, "\r\n123456\r\n xy");
}

TEST(OutBufferTest, WrapWriterFollowsTheRuleOfWrappedWrites) {
  // The same random pieces, once through OutWriteWrapped and once through the
  // gathering writer (plain, wrapped and formatted in place), give the same text
  // and leave the same column.
  std::mt19937 random(77);
  struct Piece {
    int kind;
    std::string text;
  };
  std::vector<Piece> pieces;
  for (int i = 0; i < 3000; ++i) {
    const int kind = static_cast<int>(random() % 4);
    std::string text(random() % (kind == 3 ? 1500 : 40), static_cast<char>('a' + random() % 26));
    if (kind == 0 && random() % 5 == 0) text = "\r\n";
    pieces.push_back({kind, text});
  }
  std::int32_t columnDirect = 0;
  const std::string direct = CaptureOutput([&](OutBuffer& buffer) {
    OutSetColumn(buffer, 0);
    for (const Piece& p : pieces) {
      if (p.kind == 1) {
        OutWrite(buffer, p.text);
      } else {
        OutWriteWrapped(buffer, p.text, 120, 3);
      }
    }
    columnDirect = OutColumn(buffer);
  });
  std::int32_t columnGathered = 0;
  const std::string gathered = CaptureOutput([&](OutBuffer& buffer) {
    OutSetColumn(buffer, 0);
    WrapWriter out(buffer, 120, 3);
    for (const Piece& p : pieces) {
      if (p.kind == 1) {
        out.Plain(p.text);
      } else if (p.kind == 2) {
        char* at = out.Reserve(p.text.size());
        out.CommitWrapped(textfmt::PutText(at, p.text));
      } else {
        out.Wrapped(p.text);
      }
    }
    out.Flush();
    columnGathered = OutColumn(buffer);
  });
  EXPECT_EQ(gathered, direct);
  EXPECT_EQ(columnGathered, columnDirect);
}

TEST(OutBufferTest, HandMadeNumbersMatchTheConversions) {
  char text[32];
  EXPECT_EQ(std::string(text, textfmt::PutHexByte(text, 0x0A)), "0x0A");
  EXPECT_EQ(std::string(text, textfmt::PutHexByte(text, 0x1FF)), "0x1FF");
  EXPECT_EQ(std::string(text, textfmt::PutHexWord(text, 0x001F)), "0x001F");
  EXPECT_EQ(std::string(text, textfmt::PutHexWord(text, 0x12345)), "0x12345");
  EXPECT_EQ(std::string(text, textfmt::PutHexLong(text, 0xFF0000AB)), "0xFF0000AB");
  EXPECT_EQ(std::string(text, textfmt::PutHex(text, 0xABC, 6)), "000ABC");
  EXPECT_EQ(std::string(text, textfmt::PutDec(text, 5, 3)), "005");
  EXPECT_EQ(std::string(text, textfmt::PutDec(text, 10000, 3)), "10000");
  EXPECT_EQ(std::string(text, textfmt::PutDec(text, 0)), "0");
  EXPECT_EQ(std::string(text, textfmt::PutDec(text, -42)), "-42");
  EXPECT_EQ(std::string(text, textfmt::PutDec(text, -7, 3)), "-007");
}

// ---------------------------------------------------------------- identifier

TEST(MakeIdentifierTest, KeepsOnlyIdentifierCharactersOfTheFileName) {
  sys::Context ctx;
  std::string id;
  EXPECT_EQ(MakeIdentifier("/some/dir.x/my logo-2.bmp", id, ctx), 0);
  EXPECT_EQ(id, "mylogo2");
  EXPECT_EQ(MakeIdentifier("pictures/123.bmp", id, ctx), 0);
  EXPECT_EQ(id, "123");
  EXPECT_EQ(MakeIdentifier("a_b.c.png", id, ctx), 0);  // only the last extension goes
  EXPECT_EQ(id, "a_bc");
  EXPECT_EQ(MakeIdentifier("Logo", id, ctx), 0);
  EXPECT_EQ(id, "Logo");
  EXPECT_TRUE(ctx.Messages().empty());
}

TEST(MakeIdentifierTest, RejectsNamesWithoutIdentifierCharacters) {
  sys::Context ctx;
  std::string id = "unchanged";
  EXPECT_EQ(MakeIdentifier("dir/----.bmp", id, ctx), 1);
  EXPECT_EQ(MakeIdentifier("dir/.bmp", id, ctx), 1);
  EXPECT_EQ(id, "unchanged");
  ASSERT_EQ(ctx.Messages().size(), 2u);
  for (const sys::Message& m : ctx.Messages()) EXPECT_EQ(m.code, sys::Code::kBadName);
  EXPECT_EQ(TextsOf(ctx), (std::vector<std::string>{"Illegal identifier", "Illegal identifier"}));
}

TEST(MakeIdentifierTest, OnlyTheFileNameCountsWhateverThePathsLength) {
  sys::Context ctx;
  std::string id;
  for (const std::size_t folders : {250u, 251u, 4000u}) {
    EXPECT_EQ(MakeIdentifier(std::string(folders, 'd') + "/abcdefghi.c", id, ctx), 0) << folders;
    EXPECT_EQ(id, "abcdefghi");
  }
  EXPECT_TRUE(ctx.Messages().empty());
}

TEST(MakeIdentifierTest, CutsToCapacityLessOne) {
  sys::Context ctx;
  std::string id;
  EXPECT_EQ(MakeIdentifier("abcdefgh.c", id, ctx, 5), 0);
  EXPECT_EQ(id, "abcd");
}

// ---------------------------------------------------------------- banner

TEST(BannerTest, LinesHaveTheirFramingWidthsAndOrder) {
  BitmapPtr b = MakeBitmap(17, 9, 0);
  const std::string text = CaptureOutput([&](OutBuffer& out) { WriteFileBanner(out, "Dot", "16bpp: 65536", *b, 1); });
  const auto lines = SplitLines(text);
  ASSERT_GE(lines.size(), 23u);
  EXPECT_EQ(lines[0], "/" + std::string(69, '*'));
  for (int i = 1; i <= 3; ++i) {  // company block
    EXPECT_EQ(lines[i].size(), 70u) << i;
    EXPECT_EQ(lines[i].front(), '*');
    EXPECT_EQ(lines[i].back(), '*');
    EXPECT_EQ(lines[i].find("*", 1), 69u) << lines[i];
  }
  const std::string empty = "*" + std::string(68, ' ') + "*";
  const std::string stars(70, '*');
  EXPECT_EQ(lines[4], stars);
  EXPECT_EQ(lines[5], empty);
  EXPECT_EQ(lines[6], "* C-file generated by                                                *");
  EXPECT_EQ(lines[7], empty);
  const std::string nameLine = std::string("*        ") + sys::DisplayName() + " V" + sys::VersionText() + ".";
  EXPECT_EQ(lines[8], nameLine + std::string(69 - nameLine.size(), ' ') + "*");
  EXPECT_EQ(lines[9], "*        Compiled Jun 13 2019, 14:25:40                              *");
  EXPECT_EQ(lines[10], empty);
  EXPECT_EQ(lines[11].substr(0, 9), "*        ");
  EXPECT_EQ(lines[11].size(), 70u);
  EXPECT_EQ(lines[11].find('&'), std::string::npos);
  EXPECT_EQ(lines[12], empty);
  EXPECT_EQ(lines[13], stars);
  EXPECT_EQ(lines[14], empty);
  EXPECT_EQ(lines[15], "* Source file: Dot                                                   *");
  EXPECT_EQ(lines[16], "* Dimensions:  17 * 9                                                *");
  EXPECT_EQ(lines[17], "* NumColors:   16bpp: 65536                                          *");
  EXPECT_EQ(lines[18], empty);
  EXPECT_EQ(lines[19], stars);
  const std::string tail =
      "*/\r\n\r\n#include <stdlib.h>\r\n\r\n#include \"GUI.h\"\r\n\r\n#ifndef GUI_CONST_STORAGE\r\n"
      "  #define GUI_CONST_STORAGE const\r\n#endif\r\n\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(text.find("Vantor") != std::string::npos, true);
}

TEST(BannerTest, TooLongPaddedLineIsWrittenWithoutFill) {
  BitmapPtr b = MakeBitmap(1, 1, 0);
  const std::string id(80, 'n');
  const std::string text = CaptureOutput([&](OutBuffer& out) { WriteFileBanner(out, id, "2", *b, 1); });
  EXPECT_NE(text.find("\r\n* Source file: " + id + "\r\n* Dimensions:  1 * 1 "), std::string::npos);
}

TEST(BannerTest, AnimationTypesCarryImagesDurationAndUsage) {
  BitmapPtr b = MakeBitmap(4, 3, 4);
  const std::string sprite = CaptureOutput([&](OutBuffer& out) { WriteFileBanner(out, "Run", "12", *b, 6, "1200"); });
  EXPECT_NE(sprite.find("\r\n* Source file: Run.gif (Animated Sprite)" + std::string(29, ' ') + "*\r\n"),
            std::string::npos);
  EXPECT_NE(sprite.find("\r\n* NumImages:   12" + std::string(52, ' ') + "*\r\n"), std::string::npos);
  EXPECT_NE(sprite.find("\r\n* Duration:    1200 ms" + std::string(47, ' ') + "*\r\n"), std::string::npos);
  EXPECT_EQ(sprite.find("NumColors"), std::string::npos);
  EXPECT_NE(sprite.find(std::string(70, '*') +
                        "\r\n*\r\n* Usage:\r\n*   extern const GUI_BITMAP * apbmRun[12];\r\n"
                        "*   extern const unsigned     aDelayRun[12];\r\n"
                        "*   GUI_SPRITE_CreateAnim(apbmRun, 10, 10, 0, aDelayRun, GUI_COUNTOF(apbmRun));\r\n"
                        "*/\r\n\r\n#include <stdlib.h>"),
            std::string::npos);

  const std::string cursor = CaptureOutput([&](OutBuffer& out) { WriteFileBanner(out, "Cur", "2", *b, 7, "80"); });
  EXPECT_NE(cursor.find("* Source file: Cur.gif (Animated Cursor)"), std::string::npos);
  EXPECT_NE(cursor.find("\r\n*\r\n* Usage:\r\n*   extern const GUI_CURSOR_ANIM CursorCur;\r\n"
                        "*   GUI_CURSOR_SelectAnim(&CursorCur);\r\n*/\r\n"),
            std::string::npos);
}

// ---------------------------------------------------------------- palette

const char* const kPaletteComment =
    "/*********************************************************************\r\n*\r\n*       Palette\r\n*\r\n"
    "*  Description\r\n*    The following are the entries of the palette table.\r\n"
    "*    The entries are stored as a 32-bit values of which 24 bits are\r\n"
    "*    actually used according to the following bit mask: 0xBBGGRR\r\n*\r\n"
    "*    The lower   8 bits represent the Red   component.\r\n"
    "*    The middle  8 bits represent the Green component.\r\n"
    "*    The highest 8 bits represent the Blue  component.\r\n*/\r\n";

TEST(PaletteTest, CommentIsPrecededByTheReferenceNoteWithoutPalette) {
  EXPECT_EQ(CaptureOutput([](OutBuffer& out) {
              OutSetPaletteFlag(out, true);
              WritePaletteComment(out);
            }),
            kPaletteComment);
  const std::string text = CaptureOutput([](OutBuffer& out) {
    OutSetPaletteFlag(out, false);
    WritePaletteComment(out);
  });
  EXPECT_EQ(text,
            std::string("#if 0\r\n\r\n\r\n/*********************************************************************\r\n"
                        "*\r\n*  This palette is included for reference only\r\n"
                        "*  As it is saved as device dependent bitmap without color info.\r\n"
                        "*  Please note that this bitmap requires the physical palette to be\r\n"
                        "*  identical to the palette of the display.\r\n"
                        "*  If this does not work out, please convert your bitmap into a DIB \r\n*/\r\n") +
                kPaletteComment);
}

TEST(PaletteTest, FiveEntriesMakeTwoLinesInEachForm) {
  BitmapPtr b = PaletteImage({0x000000FF, 0x00FF0000, 0x00123456, 0x80ABCDEF, 0x00000001});
  const std::string text = CaptureOutput([&](OutBuffer& out) { WritePaletteBlock(out, "Pic", *b, OutputOptions{}); });
  EXPECT_EQ(text,
            "static GUI_CONST_STORAGE GUI_COLOR _ColorsPic[] = {\r\n"
            "#if (GUI_USE_ARGB == 0)\r\n"
            "  0x0000FF, 0xFF0000, 0x123456, 0xABCDEF,\r\n"
            "  0x000001\r\n"
            "#else\r\n"
            "  0xFFFF0000, 0xFF0000FF, 0xFF563412, 0xFFEFCDAB,\r\n"
            "  0xFF010000\r\n"
            "#endif\r\n"
            "\r\n};\r\n\r\n"
            "static GUI_CONST_STORAGE GUI_LOGPALETTE _PalPic = {\r\n"
            "  5,  // Number of entries\r\n"
            "  0,  // No transparency\r\n"
            "  (const LCD_COLOR *)&_ColorsPic[0]\r\n"
            "};\r\n\r\n");
}

TEST(PaletteTest, ArgbSettingWritesEightDigitsInBothForms) {
  BitmapPtr b = PaletteImage({0x000000FF, 0x00FF0000});
  b->HasTrans = 1;
  const std::string text =
      CaptureOutput([&](OutBuffer& out) { WritePaletteBlock(out, "T", *b, OutputOptions{.useArgb = true}); });
  EXPECT_NE(text.find("#if (GUI_USE_ARGB == 0)\r\n  0x000000FF, 0x00FF0000\r\n#else\r\n  0xFFFF0000, 0xFF0000FF\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("  2,  // Number of entries\r\n  1,  // Has transparency\r\n"), std::string::npos);
}

TEST(PaletteTest, DisabledPaletteIsClosedAndPointsToNull) {
  BitmapPtr b = PaletteImage({0x00000000, 0x00FFFFFF});
  const std::string text = CaptureOutput([&](OutBuffer& out) {
    OutSetPaletteFlag(out, false);
    WritePaletteBlock(out, "X", *b, OutputOptions{});
  });
  EXPECT_EQ(text,
            "static GUI_CONST_STORAGE GUI_COLOR _ColorsX[] = {\r\n"
            "#if (GUI_USE_ARGB == 0)\r\n  0x000000, 0xFFFFFF\r\n#else\r\n  0xFF000000, 0xFFFFFFFF\r\n#endif\r\n"
            "\r\n};\r\n\r\n#endif\r\n\r\n"
            "static GUI_CONST_STORAGE GUI_LOGPALETTE _PalX = {\r\n"
            "  2,  // Number of entries\r\n  0,  // No transparency\r\n  NULL\r\n};\r\n\r\n");
}

TEST(PaletteTest, TransparencyCommentLinesUpForThreeDigitCounts) {
  BitmapPtr b = PaletteImage(std::vector<Color>(256, 0));
  const std::string text = CaptureOutput([&](OutBuffer& out) { WritePaletteBlock(out, "G", *b, OutputOptions{}); });
  EXPECT_NE(text.find("\r\n  256,  // Number of entries\r\n  0,    // No transparency\r\n"), std::string::npos);
  // 64 lines of four entries in each form; the last entry of a line ends in a bare comma.
  EXPECT_NE(text.find("\r\n  0x000000, 0x000000, 0x000000, 0x000000,\r\n  0x000000"), std::string::npos);
}

}  // namespace
