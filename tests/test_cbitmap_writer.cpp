#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "OutputCapture.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/CBitmapWriter.h"
#include "writers/ImageWriters.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::AfterBanner;
using testing_support::MakeBitmap;
using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::TextsOf;

const std::string kEndLine = "/*************************** End of file ****************************/\r\n";

const std::string kPaletteComment =
    "/*********************************************************************\r\n*\r\n*       Palette\r\n*\r\n"
    "*  Description\r\n*    The following are the entries of the palette table.\r\n"
    "*    The entries are stored as a 32-bit values of which 24 bits are\r\n"
    "*    actually used according to the following bit mask: 0xBBGGRR\r\n*\r\n"
    "*    The lower   8 bits represent the Red   component.\r\n"
    "*    The middle  8 bits represent the Green component.\r\n"
    "*    The highest 8 bits represent the Blue  component.\r\n*/\r\n";

// What one call of the writer left: its status, the file and what it recorded.
struct CFile {
  sys::Code code = sys::Code::kInternal;
  std::string text;
  std::vector<sys::Message> messages;
};

CFile WriteC(const Bitmap* bitmap, int format, const std::string& name = "Dot.bmp", int noPalette = 0) {
  TempDir dir;
  const std::string path = dir.File(name);
  CFile r;
  {
    auto file = sys::File::Create(dir.File("out.c"));
    EXPECT_TRUE(file.has_value());
    if (!file) return r;
    sys::Context ctx;
    OutBuffer out(*file);
    r.code = WriteCBitmapFile(out, OutputSpec{format, noPalette}, bitmap, path, OutputOptions{}, ctx);
    EXPECT_TRUE(OutComplete(out));
    EXPECT_TRUE(file->Close());
    r.messages = ctx.TakeMessages();
  }
  r.text = ReadText(dir.File("out.c"));
  return r;
}

BitmapPtr TrueColor(int w, int h, const std::vector<Color>& pixels, bool hasAlpha = false) {
  BitmapPtr b = MakeBitmap(w, h, 0);
  for (int i = 0; i < w * h; ++i) Bitmap_SetPixel(*b, i % w, i / w, pixels[static_cast<std::size_t>(i)]);
  b->HasAlpha = hasAlpha ? 1 : 0;
  return b;
}

BitmapPtr Indexed(int w, int h, const std::vector<Color>& palette, const std::vector<std::uint32_t>& indices) {
  BitmapPtr b = MakeBitmap(w, h, static_cast<int>(palette.size()));
  for (std::size_t i = 0; i < palette.size(); ++i) Bitmap_SetPalColor(*b, static_cast<int>(i), palette[i]);
  for (int i = 0; i < w * h; ++i) Bitmap_SetPixel(*b, i % w, i / w, indices[static_cast<std::size_t>(i)]);
  return b;
}

// The data array body of a file: the text between the array's first line and
// the bitmap structure.
std::string ArrayBody(const std::string& text) {
  const auto start = text.find("_acDot[] = {\r\n");
  const auto end = text.find("GUI_CONST_STORAGE GUI_BITMAP bmDot = {");
  if (start == std::string::npos || end == std::string::npos) return {};
  const auto bodyStart = start + std::string("_acDot[] = {\r\n").size();
  return text.substr(bodyStart, end - bodyStart);
}

std::string Structure(const std::string& text) {
  const auto start = text.find("GUI_CONST_STORAGE GUI_BITMAP bmDot = {");
  return start == std::string::npos ? std::string() : text.substr(start);
}

// ---------------------------------------------------------------- the two worked examples

TEST(CBitmapExampleTest, RedAndBlueDotAsHighColour) {
  BitmapPtr b = TrueColor(2, 1, {0x000000FF, 0x00FF0000});
  const CFile r = WriteC(b.get(), 8);
  ASSERT_EQ(r.code, sys::Code::kOk);
  EXPECT_NE(r.text.find("\r\n* NumColors:   16bpp: 65536"), std::string::npos);
  EXPECT_EQ(AfterBanner(r.text),
            "extern GUI_CONST_STORAGE GUI_BITMAP bmDot;\r\n"
            "\r\n"
            "static GUI_CONST_STORAGE unsigned short _acDot[] = {\r\n"
            "  0x001F, 0xF800\r\n"
            "};\r\n"
            "\r\n"
            "GUI_CONST_STORAGE GUI_BITMAP bmDot = {\r\n"
            "  2, // xSize\r\n"
            "  1, // ySize\r\n"
            "  4, // BytesPerLine\r\n"
            "  16, // BitsPerPixel\r\n"
            "  (const unsigned char *)_acDot,  // Pointer to picture data\r\n"
            "  NULL,  // Pointer to palette\r\n"
            "  GUI_DRAW_BMP565\r\n"
            "};\r\n"
            "\r\n" +
                kEndLine);
}

TEST(CBitmapExampleTest, RedAndBlueDotAsOneBitPerPixel) {
  BitmapPtr b = Indexed(2, 1, {0x000000FF, 0x00FF0000}, {0, 1});
  const CFile r = WriteC(b.get(), 1);
  ASSERT_EQ(r.code, sys::Code::kOk);
  EXPECT_NE(r.text.find("\r\n* NumColors:   2 "), std::string::npos);
  EXPECT_EQ(AfterBanner(r.text),
            "extern GUI_CONST_STORAGE GUI_BITMAP bmDot;\r\n"
            "\r\n" +
                kPaletteComment +
                "static GUI_CONST_STORAGE GUI_COLOR _ColorsDot[] = {\r\n"
                "#if (GUI_USE_ARGB == 0)\r\n"
                "  0x0000FF, 0xFF0000\r\n"
                "#else\r\n"
                "  0xFFFF0000, 0xFF0000FF\r\n"
                "#endif\r\n"
                "\r\n"
                "};\r\n"
                "\r\n"
                "static GUI_CONST_STORAGE GUI_LOGPALETTE _PalDot = {\r\n"
                "  2,  // Number of entries\r\n"
                "  0,  // No transparency\r\n"
                "  (const LCD_COLOR *)&_ColorsDot[0]\r\n"
                "};\r\n"
                "\r\n"
                "static GUI_CONST_STORAGE unsigned char _acDot[] = {\r\n"
                "  _X______\r\n"
                "};\r\n"
                "\r\n"
                "GUI_CONST_STORAGE GUI_BITMAP bmDot = {\r\n"
                "  2, // xSize\r\n"
                "  1, // ySize\r\n"
                "  1, // BytesPerLine\r\n"
                "  1, // BitsPerPixel\r\n"
                "  (const unsigned char *)_acDot,  // Pointer to picture data (indices)\r\n"
                "  &_PalDot   // Pointer to palette\r\n"
                "};\r\n"
                "\r\n" +
                kEndLine);
}

// ---------------------------------------------------------------- packed palette formats

TEST(CBitmapPackedTest, NinePixelsAtOneBitMakeTwoElementsPerRow) {
  BitmapPtr b = Indexed(9, 2, {0, 0xFFFFFF}, {1, 0, 1, 1, 0, 0, 0, 1, 1,  //
                                              0, 0, 0, 0, 0, 0, 0, 0, 0});
  const CFile r = WriteC(b.get(), 1);
  EXPECT_EQ(ArrayBody(r.text), "  X_XX___X, X_______,\r\n  ________, ________\r\n};\r\n\r\n");
  EXPECT_NE(Structure(r.text).find("  2, // BytesPerLine\r\n  1, // BitsPerPixel\r\n"), std::string::npos);
}

TEST(CBitmapPackedTest, TwoAndFourBitsFillFromTheTopBits) {
  BitmapPtr two = Indexed(3, 2, {0, 1, 2, 3}, {1, 2, 3, 3, 0, 1});
  EXPECT_EQ(ArrayBody(WriteC(two.get(), 2).text), "  0x6C,\r\n  0xC4\r\n};\r\n\r\n");
  std::vector<Color> sixteen(16, 0);
  BitmapPtr four = Indexed(3, 1, sixteen, {0xA, 0x5, 0xF});
  const CFile r = WriteC(four.get(), 4);
  EXPECT_EQ(ArrayBody(r.text), "  0xA5, 0xF0\r\n};\r\n\r\n");
  EXPECT_NE(Structure(r.text).find("  2, // BytesPerLine\r\n  4, // BitsPerPixel\r\n"), std::string::npos);
  EXPECT_NE(Structure(r.text).find("  &_PalDot   // Pointer to palette\r\n};"), std::string::npos);
}

TEST(CBitmapPackedTest, EightBitsWriteOneByteEach) {
  std::vector<Color> palette(256, 0);
  BitmapPtr b = Indexed(3, 1, palette, {0, 0x7F, 0xFF});
  EXPECT_EQ(ArrayBody(WriteC(b.get(), 5).text), "  0x00, 0x7F, 0xFF\r\n};\r\n\r\n");
}

TEST(CBitmapPackedTest, DisabledPaletteStaysForReference) {
  BitmapPtr b = Indexed(2, 1, {0x000000FF, 0x00FF0000}, {0, 1});
  const CFile r = WriteC(b.get(), 1, "Dot.bmp", 1);
  const std::string body = AfterBanner(r.text);
  EXPECT_EQ(body.find("extern GUI_CONST_STORAGE GUI_BITMAP bmDot;\r\n\r\n#if 0\r\n\r\n\r\n"), 0u);
  EXPECT_NE(body.find("\r\n};\r\n\r\n#endif\r\n\r\nstatic GUI_CONST_STORAGE GUI_LOGPALETTE _PalDot"),
            std::string::npos);
  EXPECT_NE(body.find("  0,  // No transparency\r\n  NULL\r\n};\r\n\r\n"), std::string::npos);
}

TEST(CBitmapPackedTest, RunLengthFormatsNameTheirCompression) {
  std::vector<Color> palette(16, 0);
  BitmapPtr b = Indexed(4, 1, palette, {3, 3, 3, 3});
  const CFile rle4 = WriteC(b.get(), 6);
  EXPECT_EQ(ArrayBody(rle4.text),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x03, \r\n  0\r\n};  // 2 bytes for 4 pixels\r\n\r\n");
  EXPECT_NE(Structure(rle4.text).find("  2, // BytesPerLine\r\n  GUI_COMPRESS_RLE4, // BitsPerPixel\r\n"
                                      "  (const unsigned char *)_acDot,  // Pointer to picture data (indices)\r\n"
                                      "  &_PalDot,  // Pointer to palette\r\n  GUI_DRAW_RLE4\r\n};"),
            std::string::npos);
  const CFile rle8 = WriteC(b.get(), 7);
  EXPECT_NE(Structure(rle8.text).find("  4, // BytesPerLine\r\n  GUI_COMPRESS_RLE8, // BitsPerPixel\r\n"),
            std::string::npos);
  EXPECT_NE(Structure(rle8.text).find("  &_PalDot,  // Pointer to palette\r\n  GUI_DRAW_RLE8\r\n};"),
            std::string::npos);
  // FORMAT 18 on a palette image is the RLE8 of its indices.
  EXPECT_EQ(WriteC(b.get(), 18).text, rle8.text);
}

// ---------------------------------------------------------------- true-colour formats

TEST(CBitmapTrueColorTest, SixteenBitCodesOfEveryLayout) {
  // Pure red, green 0x88, blue; each code by the bit layout of its format.
  BitmapPtr b = TrueColor(3, 1, {0x000000FF, 0x00008800, 0x00FF0000});
  const struct {
    int format;
    const char* row;
    const char* draw;
  } cases[] = {
      {8, "  0x001F, 0x0440, 0xF800", "GUI_DRAW_BMP565"},
      {9, "  0xF800, 0x0440, 0x001F", "GUI_DRAW_BMPM565"},
      {10, "  0x001F, 0x0220, 0x7C00", "GUI_DRAW_BMP555"},
      {11, "  0x7C00, 0x0220, 0x001F", "GUI_DRAW_BMPM555"},
      {19, "  0x000F, 0x0080, 0x0F00", "GUI_DRAW_BMP444_12"},
      {20, "  0x0F00, 0x0080, 0x000F", "GUI_DRAW_BMPM444_12"},
      {21, "  0x00F0, 0x0800, 0xF000", "GUI_DRAW_BMP444_12_1"},
      {22, "  0xF000, 0x0800, 0x00F0", "GUI_DRAW_BMPM444_12_1"},
      {23, "  0x001E, 0x0200, 0x7800", "GUI_DRAW_BMP444_16"},
      {24, "  0x7800, 0x0200, 0x001E", "GUI_DRAW_BMPM444_16"},
  };
  for (const auto& c : cases) {
    const CFile r = WriteC(b.get(), c.format);
    ASSERT_EQ(r.code, sys::Code::kOk) << c.format;
    EXPECT_EQ(ArrayBody(r.text), std::string(c.row) + "\r\n};\r\n\r\n") << c.format;
    EXPECT_NE(r.text.find("static GUI_CONST_STORAGE unsigned short _acDot[] = {"), std::string::npos);
    EXPECT_NE(Structure(r.text).find("  6, // BytesPerLine\r\n  16, // BitsPerPixel\r\n"), std::string::npos);
    EXPECT_NE(Structure(r.text).find(std::string("  NULL,  // Pointer to palette\r\n  ") + c.draw + "\r\n};"),
              std::string::npos)
        << c.format;
  }
}

TEST(CBitmapTrueColorTest, CountTextsOfTheBanner) {
  BitmapPtr b = TrueColor(1, 1, {0});
  const struct {
    int format;
    const char* text;
  } cases[] = {{8, "16bpp: 65536"},
               {12, "16bpp: 65536"},
               {11, "15bpp: 32768"},
               {15, "32bpp: 16777216 + 256"},
               {99, "32bpp: 16777216 + 256"},
               {17, "24bpp: 16777216"},
               {18, "None, only alpha channel"},
               {24, "12bpp: 4096"},
               {26, "32768 colors + 8 bit alpha channel"},
               {27, "65536 colors + 8 bit alpha channel"}};
  for (const auto& c : cases) {
    EXPECT_NE(WriteC(b.get(), c.format).text.find(std::string("\r\n* NumColors:   ") + c.text + " "),
              std::string::npos)
        << c.format;
  }
}

TEST(CBitmapTrueColorTest, ThreeByteAndAlphaFormats) {
  BitmapPtr b = TrueColor(2, 1, {0x00123456, 0x80FF0000});
  const CFile rgb = WriteC(b.get(), 17);
  EXPECT_EQ(ArrayBody(rgb.text), "  0x56, 0x34, 0x12, 0x00, 0x00, 0xFF\r\n};\r\n\r\n");
  EXPECT_NE(rgb.text.find("static GUI_CONST_STORAGE unsigned char _acDot[] = {"), std::string::npos);
  EXPECT_NE(Structure(rgb.text).find("  6, // BytesPerLine\r\n  24, // BitsPerPixel\r\n"), std::string::npos);
  EXPECT_NE(Structure(rgb.text).find("GUI_DRAW_BMP24\r\n};"), std::string::npos);

  // T as stored, then the high and the low byte of the code (red 10, green 6 or 13, blue 2).
  EXPECT_EQ(ArrayBody(WriteC(b.get(), 25).text), "  0x00,0x08,0xCA, 0x80,0x7C,0x00\r\n};\r\n\r\n");
  EXPECT_EQ(ArrayBody(WriteC(b.get(), 26).text), "  0x00,0x28,0xC2, 0x80,0x00,0x1F\r\n};\r\n\r\n");
  EXPECT_EQ(ArrayBody(WriteC(b.get(), 27).text), "  0x00,0x11,0xAA, 0x80,0xF8,0x00\r\n};\r\n\r\n");
  EXPECT_EQ(ArrayBody(WriteC(b.get(), 28).text), "  0x00,0x51,0xA2, 0x80,0x00,0x1F\r\n};\r\n\r\n");
}

TEST(CBitmapTrueColorTest, ThirtyTwoBitFormatsUseTransparencyOnlyWithAlpha) {
  BitmapPtr plain = TrueColor(2, 1, {0x00123456, 0x80FF0000}, false);
  EXPECT_EQ(ArrayBody(WriteC(plain.get(), 16).text), "  0x00123456, 0x00FF0000\r\n};\r\n\r\n");
  EXPECT_EQ(ArrayBody(WriteC(plain.get(), 29).text), "  0xFF563412, 0xFF0000FF\r\n};\r\n\r\n");
  BitmapPtr alpha = TrueColor(2, 1, {0x00123456, 0x80FF0000}, true);
  EXPECT_EQ(ArrayBody(WriteC(alpha.get(), 16).text), "  0x00123456, 0x80FF0000\r\n};\r\n\r\n");
  const CFile r = WriteC(alpha.get(), 29);
  EXPECT_EQ(ArrayBody(r.text), "  0xFF563412, 0x7F0000FF\r\n};\r\n\r\n");
  EXPECT_NE(r.text.find("static GUI_CONST_STORAGE U32 _acDot[] = {"), std::string::npos);
  EXPECT_NE(Structure(r.text).find("  8, // BytesPerLine\r\n  32, // BitsPerPixel\r\n"), std::string::npos);
}

TEST(CBitmapTrueColorTest, BothVariantsUnderThePreprocessorSwitch) {
  BitmapPtr b = TrueColor(2, 2, {0x000000FF, 0x00FF0000, 0x00000000, 0x00FFFFFF});
  const CFile r = WriteC(b.get(), 99);
  EXPECT_EQ(ArrayBody(r.text),
            "#if (GUI_USE_ARGB == 1)\r\n"
            "  0xFFFF0000, 0xFF0000FF,\r\n"
            "  0xFF000000, 0xFFFFFFFF\r\n"
            "#else\r\n"
            "  0x000000FF, 0x00FF0000,\r\n"
            "  0x00000000, 0x00FFFFFF\r\n"
            "#endif\r\n"
            "};\r\n\r\n");
  EXPECT_EQ(Structure(r.text),
            "GUI_CONST_STORAGE GUI_BITMAP bmDot = {\r\n  2, // xSize\r\n  2, // ySize\r\n  8, // BytesPerLine\r\n"
            "  32, // BitsPerPixel\r\n  (const unsigned char *)_acDot,  // Pointer to picture data\r\n"
            "  NULL,  // Pointer to palette\r\n#if (GUI_USE_ARGB == 1)\r\n  GUI_DRAW_BMPM8888I\r\n#else\r\n"
            "  GUI_DRAW_BMP8888\r\n#endif\r\n};\r\n\r\n" +
                kEndLine);
}

TEST(CBitmapTrueColorTest, PreprocessorLineAfterALongRowIsWrapped) {
  // 21 elements: 2 + 20 x 12 + 10 = 252 columns, so "#else\r\n" no longer fits.
  BitmapPtr b = TrueColor(21, 1, std::vector<Color>(21, 0));
  const std::string body = ArrayBody(WriteC(b.get(), 99).text);
  std::string row = "  ";
  for (int i = 0; i < 20; ++i) row += "0xFF000000, ";
  row += "0xFF000000";
  EXPECT_EQ(body.substr(0, 25 + row.size() + 2 + 10 + 7), "#if (GUI_USE_ARGB == 1)\r\n" + row + "\r\n" +
                                                              "\r\n        #else\r\n");
}

TEST(CBitmapTrueColorTest, LongRowWrapsAtColumn254WithEightBlanks) {
  BitmapPtr b = TrueColor(40, 1, std::vector<Color>(40, 0));
  std::string expected = "  ";
  for (int i = 0; i < 31; ++i) expected += "0x0000, ";
  expected += "\r\n        ";
  for (int i = 0; i < 8; ++i) expected += "0x0000, ";
  expected += "0x0000\r\n};\r\n\r\n";
  EXPECT_EQ(ArrayBody(WriteC(b.get(), 8).text), expected);
}

TEST(CBitmapTrueColorTest, PaletteImageWithTrueColourFormatIsWrittenFromItsColours) {
  BitmapPtr indexed = Indexed(2, 1, {0x000000FF, 0x00FF0000}, {0, 1});
  BitmapPtr colours = TrueColor(2, 1, {0x000000FF, 0x00FF0000});
  EXPECT_EQ(WriteC(indexed.get(), 8).text, WriteC(colours.get(), 8).text);
}

// ---------------------------------------------------------------- refusals and names

TEST(CBitmapFailureTest, CodesOutsideTheTableWriteNothing) {
  BitmapPtr b = TrueColor(1, 1, {0});
  for (int format : {0, 3, 14, 30, 98, 100, -1}) {
    const CFile r = WriteC(b.get(), format);
    EXPECT_EQ(r.code, sys::Code::kBadFormat) << format;
    EXPECT_TRUE(r.text.empty()) << format;
  }
  const CFile none = WriteC(nullptr, 8);
  EXPECT_EQ(none.code, sys::Code::kNoImage);
  EXPECT_TRUE(none.text.empty());
}

TEST(CBitmapFailureTest, BadIdentifierAndMissingPaletteAreReported) {
  BitmapPtr b = TrueColor(1, 1, {0});
  const CFile bad = WriteC(b.get(), 8, "---.bmp");
  EXPECT_EQ(bad.code, sys::Code::kBadName);
  EXPECT_TRUE(bad.text.empty());
  ASSERT_EQ(bad.messages.size(), 1u);
  EXPECT_EQ(bad.messages[0].code, sys::Code::kBadName);
  EXPECT_EQ(bad.messages[0].text, "Illegal identifier");
  const CFile noPalette = WriteC(b.get(), 5);
  EXPECT_EQ(noPalette.code, sys::Code::kBadFormat);
  EXPECT_TRUE(noPalette.text.empty());
  ASSERT_EQ(noPalette.messages.size(), 1u);
  EXPECT_EQ(noPalette.messages[0].code, sys::Code::kBadFormat);
}

TEST(CBitmapFailureTest, NumericFileNameNamesTheStructures) {
  BitmapPtr b = TrueColor(1, 1, {0});
  const std::string text = WriteC(b.get(), 8, "123.bmp").text;
  EXPECT_NE(text.find("extern GUI_CONST_STORAGE GUI_BITMAP bm123;"), std::string::npos);
  EXPECT_NE(text.find("static GUI_CONST_STORAGE unsigned short _ac123[] = {"), std::string::npos);
  EXPECT_NE(text.find("\r\n* Source file: 123 "), std::string::npos);
}

TEST(FormatTableTest, InfoOfEveryCode) {
  FormatInfo info;
  EXPECT_EQ(GetFormatInfo(3, 0, info), 1);
  EXPECT_EQ(GetFormatInfo(14, 0, info), 1);
  ASSERT_EQ(GetFormatInfo(6, 16, info), 0);
  EXPECT_EQ(info.bitsPerPixel, 4);
  EXPECT_TRUE(info.compressed);
  EXPECT_EQ(info.colorCountText, "16");
  ASSERT_EQ(GetFormatInfo(25, 0, info), 0);
  EXPECT_EQ(info.bitsPerPixel, 24);
  EXPECT_FALSE(info.compressed);
  const std::vector<int> compressed = {6, 7, 12, 13, 15, 18};
  int codes = 0;
  for (const FormatEntry& e : FormatTable()) {
    ++codes;
    const bool isCompressed = std::find(compressed.begin(), compressed.end(), e.code) != compressed.end();
    EXPECT_EQ(e.compressed, isCompressed) << e.code;
    EXPECT_EQ(e.helpText == nullptr, e.code == 17) << e.code;
  }
  EXPECT_EQ(codes, 28);
}

// Every output type reaches its writer: the files start with their format's
// signature, and an unknown type writes nothing and gives no image.
TEST(SaveDispatchTest, EachTypeReachesItsWriter) {
  TempDir dir;
  sys::Context ctx;
  const struct {
    int type;
    const char* name;
    std::string magic;
  } cases[] = {{kOutputBmp, "x.bmp", "BM"}, {kOutputGif, "x.gif", "GIF89a"}, {kOutputPng, "x.png", "\x89PNG"},
               {kOutputCBitmap, "x.c", "/****"}, {kOutputCStream, "x.dta", "BM"}};
  for (const auto& c : cases) {
    auto file = sys::File::Create(dir.File(c.name));
    ASSERT_TRUE(file.has_value());
    BitmapPtr image = TrueColor(1, 1, {0x123456});
    const WriteResult result =
        WriteImageFile(image.get(), *file, dir.File(c.name), OutputSpec{8, 1}, c.type, OutputOptions{}, ctx);
    ASSERT_TRUE(result.Ok()) << c.name << ": " << result.text;
    // Only the GIF and PNG writers convert, and hand the converted image back.
    EXPECT_EQ(result.replacement != nullptr, c.type == kOutputGif || c.type == kOutputPng) << c.name;
    ASSERT_TRUE(file->Close());
    EXPECT_EQ(ReadText(dir.File(c.name)).substr(0, c.magic.size()), c.magic) << c.name;
  }
  EXPECT_TRUE(ctx.Messages().empty());
  // An unknown type writes nothing, says so and leaves the image with the caller.
  auto file = sys::File::Create(dir.File("x.unknown"));
  ASSERT_TRUE(file.has_value());
  BitmapPtr kept = TrueColor(1, 1, {0x123456});
  const WriteResult unknown =
      WriteImageFile(kept.get(), *file, dir.File("x.unknown"), OutputSpec{}, 9, OutputOptions{}, ctx);
  EXPECT_EQ(unknown.code, sys::Code::kBadType);
  EXPECT_EQ(unknown.replacement, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*kept, 0, 0), 0x123456u);
  EXPECT_EQ(TextsOf(ctx), std::vector<std::string>{"Illegal TYPE parameter."});
  ASSERT_TRUE(file->Close());
  EXPECT_TRUE(ReadText(dir.File("x.unknown")).empty());
}

}  // namespace
