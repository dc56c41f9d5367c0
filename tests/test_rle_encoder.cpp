#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "OutputCapture.h"
#include "image/Bitmap.h"
#include "sys/Context.h"
#include "writers/RleEncoder.h"
#include "writers/TextOutput.h"

namespace {
using testing_support::MakeBitmap;

// The text or bytes encode(out, ctx) writes; it must succeed without a word.
template <class Encode>
std::string Encoded(Encode&& encode) {
  sys::Context ctx;
  const std::string text = testing_support::CaptureOutput([&](OutBuffer& out) { EXPECT_EQ(encode(out, ctx), 0); });
  EXPECT_TRUE(ctx.Messages().empty());
  return text;
}

std::int64_t Count(const std::vector<std::uint32_t>& v, std::int64_t start) {
  return RleCount(v, start, static_cast<std::int64_t>(v.size()));
}
std::int64_t Abs(const std::vector<std::uint32_t>& v, std::int64_t start) {
  return AbsCount(v, start, static_cast<std::int64_t>(v.size()));
}

BitmapPtr IndexRow(const std::vector<std::uint32_t>& indices, int width = 0) {
  const int n = static_cast<int>(indices.size());
  const int w = width == 0 ? n : width;
  BitmapPtr b = MakeBitmap(w, n / w, 256);
  for (int i = 0; i < n; ++i) Bitmap_SetPixel(*b, i % w, i / w, indices[static_cast<std::size_t>(i)]);
  return b;
}

BitmapPtr ColorRow(const std::vector<Color>& colors) {
  BitmapPtr b = MakeBitmap(static_cast<int>(colors.size()), 1, 0);
  for (std::size_t i = 0; i < colors.size(); ++i) Bitmap_SetPixel(*b, static_cast<int>(i), 0, colors[i]);
  return b;
}

std::string Rle8Text(const Bitmap& b) {
  return Encoded([&](auto& out, auto& ctx) { return WriteRleText(out, b, RleMode::Index, 8, ctx); });
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// ---------------------------------------------------------------- decisions

TEST(RleDecisionTest, RunCountIsUnboundedAndAtLeastOne) {
  const std::vector<std::uint32_t> v = {7, 7, 7, 1, 2, 2};
  EXPECT_EQ(Count(v, 0), 3);
  EXPECT_EQ(Count(v, 3), 1);
  EXPECT_EQ(Count(v, 4), 2);
  EXPECT_EQ(RleCount(v, 0, 2), 2);  // end bounds the count
  const std::vector<std::uint32_t> same(1000, 4);
  EXPECT_EQ(Count(same, 0), 1000);
}

TEST(RleDecisionTest, AbsoluteBlockEndsBeforeARunOfFour) {
  // A B B B C D D D D
  const std::vector<std::uint32_t> v = {1, 2, 2, 2, 3, 4, 4, 4, 4};
  EXPECT_EQ(Abs(v, 0), 5);
  const std::vector<std::uint32_t> aab = {1, 1, 2};
  EXPECT_EQ(Abs(aab, 0), 3);
  std::vector<std::uint32_t> alternating(300);
  for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2;
  EXPECT_EQ(Abs(alternating, 0), 255);
  EXPECT_EQ(Abs(alternating, 255), 45);
}

TEST(RleDecisionTest, TransparencyModeComparesOnlyTheTopByte) {
  BitmapPtr b = ColorRow({0x10FF0000, 0x10000000, 0x10123456, 0x20123456});
  std::vector<std::uint32_t> values;
  sys::Context ctx;
  ASSERT_TRUE(RleComparedValues(*b, RleMode::Transparency, values, ctx));
  EXPECT_EQ(values, (std::vector<std::uint32_t>{0x10, 0x10, 0x10, 0x20}));
  ASSERT_TRUE(RleComparedValues(*b, RleMode::Index, values, ctx));
  EXPECT_EQ(values, (std::vector<std::uint32_t>{0x10FF0000, 0x10000000, 0x10123456, 0x20123456}));
}

// ---------------------------------------------------------------- text form

TEST(RleTextTest, SequenceWithBlockAndRun) {
  BitmapPtr b = IndexRow({0xA, 0xB, 0xB, 0xB, 0xC, 0xD, 0xD, 0xD, 0xD});
  EXPECT_EQ(Rle8Text(*b),
            "  /* ABS: 005 Pixels @ 000,000 */ 0, 5, 0x0A, 0x0B, 0x0B, 0x0B, 0x0C, \r\n"
            "  /* RLE: 004 Pixels @ 005,000 */ 4, 0x0D, \r\n"
            "  0\r\n};  // 9 bytes for 9 pixels\r\n\r\n");
}

TEST(RleTextTest, LongRunIsOneCommentWithChunksOf254) {
  BitmapPtr b600 = IndexRow(std::vector<std::uint32_t>(600, 9));
  EXPECT_EQ(Rle8Text(*b600),
            "  /* RLE: 600 Pixels @ 000,000 */ 254, 0x09, 254, 0x09, 92, 0x09, \r\n"
            "  0\r\n};  // 6 bytes for 600 pixels\r\n\r\n");
  BitmapPtr b255 = IndexRow(std::vector<std::uint32_t>(255, 1));
  EXPECT_EQ(Rle8Text(*b255),
            "  /* RLE: 255 Pixels @ 000,000 */ 254, 0x01, 1, 0x01, \r\n"
            "  0\r\n};  // 4 bytes for 255 pixels\r\n\r\n");
}

TEST(RleTextTest, UniformSquareWrapsItsChunks) {
  BitmapPtr b = IndexRow(std::vector<std::uint32_t>(10000, 0), 100);
  // "  " and the comment take 36 columns, each "254, 0x00, " 11 more: 19
  // chunks fit on the first line (245), 22 on each further line (8 + 242).
  // The item's line end and the trailer are wrapped pieces too: the trailer no
  // longer fits after the second line and opens a third.
  std::string expected = "  /* RLE: 10000 Pixels @ 000,000 */ ";
  int column = 36;
  std::vector<std::string> pieces(39, "254, 0x00, ");
  pieces.push_back("94, 0x00, ");
  pieces.push_back("\r\n");
  pieces.push_back("  0\r\n};  // 80 bytes for 10000 pixels\r\n\r\n");
  for (const std::string& piece : pieces) {
    if (column + static_cast<int>(piece.size()) > 254) {
      expected += "\r\n        ";
      column = 8;
    }
    expected += piece;
    column += static_cast<int>(piece.size());
  }
  EXPECT_EQ(Rle8Text(*b), expected);
  EXPECT_EQ(expected.find("\r\n        "), 36u + 19 * 11);
  EXPECT_NE(expected.find("0x00, \r\n\r\n          0\r\n};"), std::string::npos);
}

TEST(RleTextTest, CommentsGiveThreeDigitPositions) {
  std::vector<std::uint32_t> pixels(100, 3);
  for (int i = 60; i < 65; ++i) pixels[static_cast<std::size_t>(i)] = 4;  // x 0, y 12
  BitmapPtr b = IndexRow(pixels, 5);
  EXPECT_NE(Rle8Text(*b).find("  /* RLE: 005 Pixels @ 000,012 */ 5, 0x04, \r\n"), std::string::npos);
}

TEST(RleTextTest, LonePixelAfterARunIsARunOfOne) {
  BitmapPtr b = IndexRow({2, 2, 2, 2, 7});
  EXPECT_EQ(Rle8Text(*b),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x02, \r\n"
            "  /* RLE: 001 Pixels @ 004,000 */ 1, 0x07, \r\n"
            "  0\r\n};  // 4 bytes for 5 pixels\r\n\r\n");
}

TEST(RleTextTest, AlternatingPixelsMakeBlocksOf255And45WrappedAt254) {
  std::vector<std::uint32_t> pixels(300);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 2;
  BitmapPtr b = IndexRow(pixels);
  auto block = [](const std::string& head, int first, int count) {
    std::string text = head;
    int column = static_cast<int>(head.size());
    for (int i = 0; i < count; ++i) {
      if (column + 6 > 254) {
        text += "\r\n        ";
        column = 8;
      }
      text += (first + i) % 2 ? "0x01, " : "0x00, ";
      column += 6;
    }
    return text + "\r\n";
  };
  const std::string expected = block("  /* ABS: 255 Pixels @ 000,000 */ 0, 255, ", 0, 255) +
                               block("  /* ABS: 045 Pixels @ 255,000 */ 0, 45, ", 255, 45) +
                               "  0\r\n};  // 304 bytes for 300 pixels\r\n\r\n";
  EXPECT_EQ(Rle8Text(*b), expected);
}

TEST(RleTextTest, Rle4PacksAbsoluteBlocksInNibbles) {
  BitmapPtr b = IndexRow({1, 2, 3});
  EXPECT_EQ(Encoded([&](auto& out, auto& ctx) { return WriteRleText(out, *b, RleMode::Index, 4, ctx); }),
            "  /* ABS: 003 Pixels @ 000,000 */ 0, 3, 0x12, 0x30, \r\n"
            "  0\r\n};  // 4 bytes for 3 pixels\r\n\r\n");
}

TEST(RleTextTest, Rle16ComparesStoredValuesButWritesCodes) {
  // Equal in 565, different as colours or in T: a block of two equal codes.
  BitmapPtr b = ColorRow({0x000000FF, 0x000000FE, 0x800000FF});
  EXPECT_EQ(Encoded([&](auto& out, auto& ctx) { return WriteRle16Text(out, *b, false, ctx); }),
            "  /* ABS: 003 Pixels @ 000,000 */ 0, 3, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, \r\n"
            "  0\r\n};  // 8 for 3 pixels\r\n\r\n");
  BitmapPtr same = MakeBitmap(2, 2, 0);
  for (int i = 0; i < 4; ++i) Bitmap_SetPixel(*same, i % 2, i / 2, 0x000000FF);
  EXPECT_EQ(Encoded([&](auto& out, auto& ctx) { return WriteRle16Text(out, *same, true, ctx); }),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x00, 0xF8, \r\n"
            "  0\r\n};  // 3 for 4 pixels\r\n\r\n");
}

TEST(RleTextTest, Rle32WritesRedGreenBlueAndStoredTransparency) {
  BitmapPtr b = ColorRow({0x40332211, 0x00665544});
  EXPECT_EQ(Encoded([&](auto& out, auto& ctx) { return WriteRle32Text(out, *b, ctx); }),
            "  /* ABS: 002 Pixels @ 000,000 */ 0, 2, 0x11, 0x22, 0x33, 0x40, 0x44, 0x55, 0x66, 0x00, \r\n"
            "  0\r\n};  // 10 for 2 pixels\r\n\r\n");
}

TEST(RleTextTest, TransparencyRunsIgnoreTheColour) {
  BitmapPtr b = ColorRow({0x80FF0000, 0x8000FF00, 0x800000FF, 0x80123456, 0x00FFFFFF});
  EXPECT_EQ(Encoded([&](auto& out, auto& ctx) { return WriteRleText(out, *b, RleMode::Transparency, 8, ctx); }),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x80, \r\n"
            "  /* RLE: 001 Pixels @ 004,000 */ 1, 0x00, \r\n"
            "  0\r\n};  // 4 bytes for 5 pixels\r\n\r\n");
}

TEST(RleTextTest, PaletteImageRle16UsesThePaletteColours) {
  BitmapPtr b = MakeBitmap(4, 1, 2);
  Bitmap_SetPalColor(*b, 1, 0x00FF0000);
  for (int x = 0; x < 4; ++x) Bitmap_SetPixel(*b, x, 0, 1);
  EXPECT_EQ(Encoded([&](auto& out, auto& ctx) { return WriteRle16Text(out, *b, false, ctx); }),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x00, 0xF8, \r\n  0\r\n};  // 3 for 4 pixels\r\n\r\n");
}

// ---------------------------------------------------------------- byte form

TEST(RleBytesTest, ItemsWithoutCommentsOrClosingZero) {
  BitmapPtr four = IndexRow({5, 5, 5, 5});
  EXPECT_EQ(Bytes(Encoded([&](auto& out, auto& ctx) { return WriteRleBytes(out, *four, RleMode::Index, 8, ctx); })),
            (std::vector<std::uint8_t>{4, 5}));
  BitmapPtr mixed = IndexRow({1, 2, 3, 9, 9, 9, 9, 9});
  EXPECT_EQ(Bytes(Encoded([&](auto& out, auto& ctx) { return WriteRleBytes(out, *mixed, RleMode::Index, 4, ctx); })),
            (std::vector<std::uint8_t>{0, 3, 0x12, 0x30, 5, 9}));
  EXPECT_EQ(Bytes(Encoded([&](auto& out, auto& ctx) { return WriteRleBytes(out, *mixed, RleMode::Index, 8, ctx); })),
            (std::vector<std::uint8_t>{0, 3, 1, 2, 3, 5, 9}));
}

TEST(RleBytesTest, WideValuesAndLongRuns) {
  BitmapPtr b = ColorRow(std::vector<Color>(300, 0x000000FF));
  EXPECT_EQ(Bytes(Encoded([&](auto& out, auto& ctx) { return WriteRle16Bytes(out, *b, false, ctx); })),
            (std::vector<std::uint8_t>{254, 0x1F, 0x00, 46, 0x1F, 0x00}));
  BitmapPtr two = ColorRow({0x40332211, 0x00665544});
  EXPECT_EQ(Bytes(Encoded([&](auto& out, auto& ctx) { return WriteRle32Bytes(out, *two, ctx); })),
            (std::vector<std::uint8_t>{0, 2, 0x11, 0x22, 0x33, 0x40, 0x44, 0x55, 0x66, 0x00}));
}

}  // namespace
