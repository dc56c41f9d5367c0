#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "OutputCapture.h"
#include "image/Bitmap.h"
#include "sys/Context.h"
#include "writers/RleEncoder.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

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

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end()};
}

// One encoding in its three forms: C text, stream bytes and the tally.
struct Encoding {
  const char* name;
  RleMode mode;
  int valueBytes;
  bool nibbles;
  int (*text)(OutBuffer&, const Bitmap&, sys::Context&);
  int (*bytes)(OutBuffer&, const Bitmap&, sys::Context&);
};

const Encoding kRle4 = {"RLE4", RleMode::Index, 1, true,
                        [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRleText(o, b, RleMode::Index, 4, c); },
                        [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRleBytes(o, b, RleMode::Index, 4, c); }};
const Encoding kRle8 = {"RLE8", RleMode::Index, 1, false,
                        [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRleText(o, b, RleMode::Index, 8, c); },
                        [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRleBytes(o, b, RleMode::Index, 8, c); }};
const Encoding kRleAlpha = {
    "transparency RLE", RleMode::Transparency, 1, false,
    [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRleText(o, b, RleMode::Transparency, 8, c); },
    [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRleBytes(o, b, RleMode::Transparency, 8, c); }};
const Encoding kRle16 = {"RLE16", RleMode::Index, 2, false,
                         [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRle16Text(o, b, false, c); },
                         [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRle16Bytes(o, b, false, c); }};
const Encoding kRleM16 = {"RLEM16", RleMode::Index, 2, false,
                          [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRle16Text(o, b, true, c); },
                          [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRle16Bytes(o, b, true, c); }};
const Encoding kRle32 = {"RLE32", RleMode::Index, 4, false,
                         [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRle32Text(o, b, c); },
                         [](OutBuffer& o, const Bitmap& b, sys::Context& c) { return WriteRle32Bytes(o, b, c); }};

// The values of a C array as bytes: comments dropped, every element read as
// the compiler would, up to the closing brace.
std::vector<std::uint8_t> ArrayValues(const std::string& text) {
  std::vector<std::uint8_t> values;
  std::size_t i = 0;
  while (i < text.size() && text[i] != '}') {
    if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i) + 2;
    } else if (std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
      std::size_t used = 0;
      values.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i), &used, 0)));
      i += used;
    } else {
      ++i;
    }
  }
  return values;
}

// Encodes b in every form and checks that they tell the same story: the text
// array is the stream's bytes and a closing 0, its trailer counts them, and
// the tally gives their number. Returns the text for exact checks.
std::string EncodeAllForms(const Bitmap& b, const Encoding& encoding) {
  SCOPED_TRACE(encoding.name);
  const std::string text = Encoded([&](OutBuffer& out, sys::Context& ctx) { return encoding.text(out, b, ctx); });
  std::vector<std::uint8_t> bytes =
      Bytes(Encoded([&](OutBuffer& out, sys::Context& ctx) { return encoding.bytes(out, b, ctx); }));
  sys::Context ctx;
  RleTally tally;
  EXPECT_TRUE(TallyRle(b, encoding.mode, tally, ctx));
  EXPECT_EQ(tally.DataBytes(encoding.valueBytes, encoding.nibbles), static_cast<std::int64_t>(bytes.size()));
  const std::string trailer = "};  // " + std::to_string(bytes.size()) + (encoding.valueBytes == 1 ? " bytes" : "") +
                              " for " + std::to_string(std::int64_t{b.XSize} * b.YSize) + " pixels\r\n\r\n";
  EXPECT_TRUE(text.ends_with(trailer)) << text.substr(text.size() > 80 ? text.size() - 80 : 0);
  bytes.push_back(0);
  EXPECT_EQ(ArrayValues(text), bytes);
  return text;
}

std::string Rle8Text(const Bitmap& b) { return EncodeAllForms(b, kRle8); }

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
  EXPECT_EQ(EncodeAllForms(*b, kRle4),
            "  /* ABS: 003 Pixels @ 000,000 */ 0, 3, 0x12, 0x30, \r\n"
            "  0\r\n};  // 4 bytes for 3 pixels\r\n\r\n");
}

TEST(RleTextTest, Rle16ComparesStoredValuesButWritesCodes) {
  // Equal in 565, different as colours or in T: a block of two equal codes.
  BitmapPtr b = ColorRow({0x000000FF, 0x000000FE, 0x800000FF});
  EXPECT_EQ(EncodeAllForms(*b, kRle16),
            "  /* ABS: 003 Pixels @ 000,000 */ 0, 3, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, \r\n"
            "  0\r\n};  // 8 for 3 pixels\r\n\r\n");
  BitmapPtr same = MakeBitmap(2, 2, 0);
  for (int i = 0; i < 4; ++i) Bitmap_SetPixel(*same, i % 2, i / 2, 0x000000FF);
  EXPECT_EQ(EncodeAllForms(*same, kRleM16),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x00, 0xF8, \r\n"
            "  0\r\n};  // 3 for 4 pixels\r\n\r\n");
}

TEST(RleTextTest, Rle32WritesRedGreenBlueAndStoredTransparency) {
  BitmapPtr b = ColorRow({0x40332211, 0x00665544});
  EXPECT_EQ(EncodeAllForms(*b, kRle32),
            "  /* ABS: 002 Pixels @ 000,000 */ 0, 2, 0x11, 0x22, 0x33, 0x40, 0x44, 0x55, 0x66, 0x00, \r\n"
            "  0\r\n};  // 10 for 2 pixels\r\n\r\n");
}

TEST(RleTextTest, TransparencyRunsIgnoreTheColour) {
  BitmapPtr b = ColorRow({0x80FF0000, 0x8000FF00, 0x800000FF, 0x80123456, 0x00FFFFFF});
  EXPECT_EQ(EncodeAllForms(*b, kRleAlpha),
            "  /* RLE: 004 Pixels @ 000,000 */ 4, 0x80, \r\n"
            "  /* RLE: 001 Pixels @ 004,000 */ 1, 0x00, \r\n"
            "  0\r\n};  // 4 bytes for 5 pixels\r\n\r\n");
}

TEST(RleTextTest, PaletteImageRle16UsesThePaletteColours) {
  BitmapPtr b = MakeBitmap(4, 1, 2);
  Bitmap_SetPalColor(*b, 1, 0x00FF0000);
  for (int x = 0; x < 4; ++x) Bitmap_SetPixel(*b, x, 0, 1);
  EXPECT_EQ(EncodeAllForms(*b, kRle16),
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

TEST(RleBytesTest, ChunkAndBlockBoundaries) {
  const auto rle8Bytes = [](const Bitmap& b) { return Bytes(Encoded([&](OutBuffer& out, sys::Context& ctx) {
                                                 return WriteRleBytes(out, b, RleMode::Index, 8, ctx);
                                               })); };
  EXPECT_EQ(rle8Bytes(*IndexRow(std::vector<std::uint32_t>(254, 6))), (std::vector<std::uint8_t>{254, 6}));
  EXPECT_EQ(rle8Bytes(*IndexRow(std::vector<std::uint32_t>(255, 6))), (std::vector<std::uint8_t>{254, 6, 1, 6}));
  EXPECT_EQ(rle8Bytes(*IndexRow(std::vector<std::uint32_t>(509, 6))),
            (std::vector<std::uint8_t>{254, 6, 254, 6, 1, 6}));
  std::vector<std::uint32_t> alternating(257);
  for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2;
  const std::vector<std::uint8_t> bytes = rle8Bytes(*IndexRow(alternating));
  ASSERT_EQ(bytes.size(), 2u + 255 + 2 + 2);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[1], 255);
  EXPECT_EQ(Slice(bytes, 257), (std::vector<std::uint8_t>{0, 2, 1, 0}));
}

// ---------------------------------------------------------------- all forms

// Pictures around every boundary of the scheme, each encoded in every form.
std::vector<BitmapPtr> BoundaryPictures() {
  std::vector<BitmapPtr> pictures;
  for (int run : {1, 2, 3, 4, 253, 254, 255, 256, 508, 509, 762}) {
    pictures.push_back(IndexRow(std::vector<std::uint32_t>(static_cast<std::size_t>(run), 3)));
  }
  for (int n : {2, 3, 254, 255, 256, 510, 511}) {
    std::vector<std::uint32_t> alternating(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = 5 + i % 2;
    pictures.push_back(IndexRow(alternating));
  }
  // Runs of 1 to 5 between changes, across row ends of a narrow picture.
  std::vector<std::uint32_t> mixed;
  std::uint32_t state = 12345;
  while (mixed.size() < 7 * 400) {
    state = state * 1103515245u + 12345u;
    const std::uint32_t value = (state >> 16) % 5;
    for (std::uint32_t k = 0; k <= (state >> 8) % 5 && mixed.size() < 7 * 400; ++k) mixed.push_back(value);
  }
  pictures.push_back(IndexRow(mixed, 7));
  // True colour: equal colours with different T, and T runs under changing colours.
  std::vector<Color> colours;
  for (int i = 0; i < 600; ++i) colours.push_back((static_cast<Color>(i / 7 % 3) << 24) | static_cast<Color>(i / 3 % 4) * 0x10203);
  pictures.push_back(ColorRow(colours));
  return pictures;
}

TEST(RleAllFormsTest, TextBytesAndTallyAgreeForEveryEncoding) {
  const std::vector<BitmapPtr> pictures = BoundaryPictures();
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE("picture " + std::to_string(i));
    for (const Encoding* encoding : {&kRle4, &kRle8, &kRleAlpha, &kRle16, &kRleM16, &kRle32}) {
      EncodeAllForms(*pictures[i], *encoding);
    }
  }
}

TEST(RleAllFormsTest, TallyOfOneImageServesEveryValueWidth) {
  // A B B B C D D D D then a run of 300: one block of 5, runs of 4 and 300.
  std::vector<std::uint32_t> pixels = {1, 2, 2, 2, 3, 4, 4, 4, 4};
  pixels.insert(pixels.end(), 300, 7);
  BitmapPtr b = IndexRow(pixels);
  sys::Context ctx;
  RleTally tally;
  ASSERT_TRUE(TallyRle(*b, RleMode::Index, tally, ctx));
  EXPECT_EQ(tally.runChunks, 3);  // 4, then 254 and 46
  EXPECT_EQ(tally.absoluteBlocks, 1);
  EXPECT_EQ(tally.absolutePixels, 5);
  EXPECT_EQ(tally.absolutePackedBytes, 3);
  EXPECT_EQ(tally.DataBytes(1, true), 3 * 2 + 2 + 3);
  EXPECT_EQ(tally.DataBytes(1, false), 3 * 2 + 2 + 5);
  EXPECT_EQ(tally.DataBytes(4, false), 3 * 5 + 2 + 20);
}

}  // namespace
