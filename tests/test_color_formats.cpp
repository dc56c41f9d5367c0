// The colour formats against a second, deliberately plain implementation of
// their arithmetic, plus the boundary values the formats are known for.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/ColorFormat.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

std::uint32_t R(Color c) { return c & 0xFF; }
std::uint32_t G(Color c) { return (c >> 8) & 0xFF; }
std::uint32_t B(Color c) { return (c >> 16) & 0xFF; }
Color Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }

std::uint32_t Expand4(std::uint32_t i) { return i * 17; }
std::uint32_t Expand5(std::uint32_t i) { return i == 11 ? 91 : (i * 255 + 15) / 31; }
std::uint32_t Expand6(std::uint32_t i) { return (i * 255 + 31) / 63; }
std::uint32_t Reduce5(std::uint32_t x) { return x == 37 ? 5 : (x * 31 + 127) / 255; }
std::uint32_t Reduce6(std::uint32_t x) { return (x * 63 + 127) / 255; }
std::uint32_t Q2(std::uint32_t x) { return (x + 42) / 85; }
std::uint32_t Q3(std::uint32_t x) { return (x * 7 + 127) / 255; }
std::uint32_t Q4(std::uint32_t x) { return (x + 8) / 17; }
std::uint32_t Q6(std::uint32_t x) { return (x * 5 + 127) / 255; }
std::uint32_t E3(std::uint32_t i) { return i * 255 / 7; }

struct Reference {
  std::uint32_t (*toIndex)(Color);
  Color (*toColor)(std::uint32_t);
};

std::uint32_t Field(std::uint32_t code, int at, int bits) { return (code >> at) & ((1u << bits) - 1); }

// One entry per ColorFormatId, each written straight from the format's rule.
const Reference kReference[kColorFormatCount] = {
    {[](Color c) { return (R(c) + G(c) + B(c) + 383) / 765; },
     [](std::uint32_t i) -> Color { return i == 0 ? 0 : 0xFFFFFF; }},
    {[](Color c) { return (R(c) + G(c) + B(c) + 127) / 255; }, [](std::uint32_t i) -> Color { return i * 0x555555; }},
    {[](Color c) { return (R(c) / 16 + G(c) / 16 + B(c) / 16 + 1) / 3; },
     [](std::uint32_t i) -> Color { return i * 0x111111; }},
    {[](Color c) { return (R(c) + G(c) + B(c)) * 63 / 765; },
     [](std::uint32_t i) -> Color { return (i * 255 / 63) * 0x010101; }},
    {[](Color c) { return (R(c) + G(c) + B(c)) / 3; }, [](std::uint32_t i) -> Color { return i * 0x010101; }},
    {[](Color c) { return R(c) / 128 + (G(c) / 128) * 2 + (B(c) / 128) * 4; },
     [](std::uint32_t i) -> Color {
       return Rgb(Field(i, 0, 1) * 255, Field(i, 1, 1) * 255, Field(i, 2, 1) * 255);
     }},
    {[](Color c) { return Q2(R(c)) + (Q2(G(c)) << 2) + (Q2(B(c)) << 4); },
     [](std::uint32_t i) -> Color { return Rgb(Field(i, 0, 2) * 85, Field(i, 2, 2) * 85, Field(i, 4, 2) * 85); }},
    {[](Color c) { return Q3(R(c)) + (Q3(G(c)) << 3) + (Q2(B(c)) << 6); },
     [](std::uint32_t i) -> Color { return Rgb(E3(Field(i, 0, 3)), E3(Field(i, 3, 3)), Field(i, 6, 2) * 85); }},
    {[](Color c) { return Q3(R(c)) + (Q2(G(c)) << 3) + (Q3(B(c)) << 5); },
     [](std::uint32_t i) -> Color { return Rgb(E3(Field(i, 0, 3)), Field(i, 3, 2) * 85, E3(Field(i, 5, 3))); }},
    {[](Color c) { return Q2(R(c)) + (Q3(G(c)) << 2) + (Q3(B(c)) << 5); },
     [](std::uint32_t i) -> Color { return Rgb(Field(i, 0, 2) * 85, E3(Field(i, 2, 3)), E3(Field(i, 5, 3))); }},
    {[](Color c) -> std::uint32_t {
       if (R(c) == G(c) && G(c) == B(c)) return Q4(R(c)) + 120;
       const std::uint32_t i = Q6(R(c)) + 6 * Q6(G(c)) + 36 * Q6(B(c));
       return i >= 108 ? i + 40 : i;
     },
     [](std::uint32_t index) -> Color {
       if (index >= 120 && index <= 135) return (index - 120) * 0x111111;
       if ((index >= 108 && index <= 119) || (index >= 136 && index <= 147)) return 0;
       const std::uint32_t i = index >= 148 ? index - 40 : index;
       return Rgb(i % 6 * 51, i / 6 % 6 * 51, i / 36 * 51);
     }},
    {[](Color c) { return Q4(R(c)) + (Q4(G(c)) << 4) + (Q4(B(c)) << 8); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand4(Field(i, 0, 4)), Expand4(Field(i, 4, 4)), Expand4(Field(i, 8, 4)));
     }},
    {[](Color c) { return Reduce5(R(c)) + (Reduce5(G(c)) << 5) + (Reduce5(B(c)) << 10); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand5(Field(i, 0, 5)), Expand5(Field(i, 5, 5)), Expand5(Field(i, 10, 5)));
     }},
    {[](Color c) { return Reduce5(R(c)) + (Reduce6(G(c)) << 5) + (Reduce5(B(c)) << 11); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand5(Field(i, 0, 5)), Expand6(Field(i, 5, 6)), Expand5(Field(i, 11, 5)));
     }},
    {[](Color c) { return c & 0xFFFFFF; }, [](std::uint32_t i) -> Color { return i; }},
    {[](Color c) { return (Q4(R(c)) << 1) + (Q4(G(c)) << 6) + (Q4(B(c)) << 11); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand4(Field(i, 1, 4)), Expand4(Field(i, 6, 4)), Expand4(Field(i, 11, 4)));
     }},
    {[](Color c) { return (Q4(R(c)) << 4) + (Q4(G(c)) << 8) + (Q4(B(c)) << 12); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand4(Field(i, 4, 4)), Expand4(Field(i, 8, 4)), Expand4(Field(i, 12, 4)));
     }},
    {[](Color c) { return Q4(B(c)) + (Q4(G(c)) << 4) + (Q4(R(c)) << 8); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand4(Field(i, 8, 4)), Expand4(Field(i, 4, 4)), Expand4(Field(i, 0, 4)));
     }},
    {[](Color c) { return (Q4(B(c)) << 1) + (Q4(G(c)) << 6) + (Q4(R(c)) << 11); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand4(Field(i, 11, 4)), Expand4(Field(i, 6, 4)), Expand4(Field(i, 1, 4)));
     }},
    {[](Color c) { return (Q4(B(c)) << 4) + (Q4(G(c)) << 8) + (Q4(R(c)) << 12); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand4(Field(i, 12, 4)), Expand4(Field(i, 8, 4)), Expand4(Field(i, 4, 4)));
     }},
    {[](Color c) { return Reduce5(B(c)) + (Reduce5(G(c)) << 5) + (Reduce5(R(c)) << 10); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand5(Field(i, 10, 5)), Expand5(Field(i, 5, 5)), Expand5(Field(i, 0, 5)));
     }},
    {[](Color c) { return Reduce5(B(c)) + (Reduce6(G(c)) << 5) + (Reduce5(R(c)) << 11); },
     [](std::uint32_t i) -> Color {
       return Rgb(Expand5(Field(i, 11, 5)), Expand6(Field(i, 5, 6)), Expand5(Field(i, 0, 5)));
     }},
};

const char* const kNames[kColorFormatCount] = {"BW",     "Gray4",    "Gray16",  "Gray64",  "Gray256",   "111",
                                               "222",    "233",      "323",     "332",     "8666",      "444_12",
                                               "555",    "565",      "RGB",     "444_16",  "444_12_1",  "M444_12",
                                               "M444_16", "M444_12_1", "M555",  "M565"};
const std::uint32_t kMasks[kColorFormatCount] = {1,      3,      15,     63,     255,    7,      63,    255,
                                                 255,    255,    255,    0xFFF,  0x7FFF, 0xFFFF, 0xFFFFFF,
                                                 0x7BDE, 0xFFF0, 0xFFF,  0x7BDE, 0xFFF0, 0x7FFF, 0xFFFF};

std::uint32_t ToIndex(int id, Color c) { return GetColorFormat(id).ColorToIndex(c); }
Color ToColor(int id, std::uint32_t i) { return GetColorFormat(id).IndexToColor(i); }

// Colours with two channels running over all values and the third at a few
// telling values, in all three channel positions.
std::vector<Color> SampleColors() {
  const std::uint32_t thirds[] = {0, 1, 8, 37, 127, 128, 200, 254, 255};
  std::vector<Color> colors;
  for (std::uint32_t t : thirds) {
    for (std::uint32_t a = 0; a < 256; ++a) {
      for (std::uint32_t b = 0; b < 256; ++b) {
        colors.push_back(Rgb(a, b, t));
        colors.push_back(Rgb(a, t, b));
        colors.push_back(Rgb(t, a, b));
      }
    }
  }
  return colors;
}

class ColorFormatTest : public ::testing::TestWithParam<int> {};

TEST_P(ColorFormatTest, NameAndMask) {
  const int id = GetParam();
  EXPECT_STREQ(GetColorFormat(id).Name(), kNames[id]);
  EXPECT_EQ(GetColorFormat(id).GetIndexMask(), kMasks[id]);
}

TEST_P(ColorFormatTest, ColorToIndexMatchesTheRuleAndIgnoresTransparency) {
  const int id = GetParam();
  static const std::vector<Color> colors = SampleColors();
  int failures = 0;
  for (Color c : colors) {
    const std::uint32_t expected = kReference[id].toIndex(c);
    const std::uint32_t got = ToIndex(id, c);
    const std::uint32_t gotTransparent = ToIndex(id, c | 0xA5000000);
    if ((got != expected || gotTransparent != expected) && ++failures < 5) {
      ADD_FAILURE() << kNames[id] << " colour " << std::hex << c << " gave " << got << "/" << gotTransparent
                    << ", expected " << expected;
    }
    if ((got & ~kMasks[id]) != 0 && ++failures < 5) ADD_FAILURE() << "code outside the mask: " << std::hex << got;
  }
  EXPECT_EQ(failures, 0);
}

// Every code the format can produce: its colour is opaque and as the rule
// says, and the colour maps back to what the rule gives (not always the code).
TEST_P(ColorFormatTest, EveryCodeRoundTripsAsTheTablesGive) {
  const int id = GetParam();
  const std::uint32_t mask = kMasks[id];
  int failures = 0;
  for (std::uint32_t code = 0; code <= mask; ++code) {
    if ((code & ~mask) != 0) continue;
    const Color color = ToColor(id, code);
    const Color expectedColor = kReference[id].toColor(code);
    const std::uint32_t back = ToIndex(id, color);
    const std::uint32_t expectedBack = kReference[id].toIndex(expectedColor);
    if ((color != expectedColor || back != expectedBack) && ++failures < 5) {
      ADD_FAILURE() << kNames[id] << " code " << std::hex << code << " gave colour " << color << " and back "
                    << back;
    }
  }
  EXPECT_EQ(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ColorFormatTest, ::testing::Range(0, kColorFormatCount),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return "F" + std::to_string(p.param) + "_" + kNames[p.param];
                         });

// Formats whose codes all survive a round trip, and the known exceptions.
TEST(ColorFormatRoundTrip, IdentityExceptGray64AndTheGapsOf8666) {
  for (int id = 0; id < kColorFormatCount; ++id) {
    if (id == kFormatGray64 || id == kFormat8666) continue;
    const std::uint32_t mask = kMasks[id];
    const std::uint32_t step = mask > 0xFFFF ? 97 : 1;  // RGB is the plain colour itself
    for (std::uint32_t code = 0; code <= mask; code += step) {
      if ((code & ~mask) != 0) continue;
      ASSERT_EQ(ToIndex(id, ToColor(id, code)), code) << kNames[id];
    }
  }
  // Gray64 level 11 is grey 44, which maps to 10.
  EXPECT_EQ(ToColor(kFormatGray64, 11), 0x2C2C2Cu);
  EXPECT_EQ(ToIndex(kFormatGray64, 0x2C2C2C), 10u);
  int gray64Fixed = 0;
  for (std::uint32_t i = 0; i < 64; ++i) gray64Fixed += ToIndex(kFormatGray64, ToColor(kFormatGray64, i)) == i;
  EXPECT_LT(gray64Fixed, 64);
  EXPECT_GT(gray64Fixed, 0);
  // 8666: the unused codes are black, which takes the grey ramp; cube greys too.
  for (std::uint32_t i = 0; i < 256; ++i) {
    const bool gap = (i >= 108 && i <= 119) || (i >= 136 && i <= 147);
    const Color c = ToColor(kFormat8666, i);
    const bool cubeGrey = !gap && (i < 120 || i > 135) && R(c) == G(c) && G(c) == B(c);
    const std::uint32_t back = ToIndex(kFormat8666, c);
    if (gap) {
      EXPECT_EQ(back, 120u) << i;
    } else if (cubeGrey) {
      EXPECT_GE(back, 120u) << i;
      EXPECT_LE(back, 135u) << i;
    } else {
      EXPECT_EQ(back, i);
    }
  }
}

TEST(ColorFormatEdges, GreyFormats) {
  EXPECT_EQ(ToIndex(kFormatBW, 0x7F7F7F), 0u);
  EXPECT_EQ(ToIndex(kFormatBW, 0x7F7F80), 1u);
  EXPECT_EQ(ToColor(kFormatBW, 1), 0xFFFFFFu);
  EXPECT_EQ(ToIndex(kFormatGray4, 0xFFFFFF), 3u);
  EXPECT_EQ(ToIndex(kFormatGray4, 0x2A2A2A), 0u);
  EXPECT_EQ(ToIndex(kFormatGray4, 0x2B2A2A), 0u);
  EXPECT_EQ(ToIndex(kFormatGray4, 0x2C2A2A), 1u);
  EXPECT_EQ(ToColor(kFormatGray4, 2), 0xAAAAAAu);
  EXPECT_EQ(ToIndex(kFormatGray16, 0x0F0F0F), 0u);
  EXPECT_EQ(ToIndex(kFormatGray16, 0x101010), 1u);
  EXPECT_EQ(ToIndex(kFormatGray16, 0xFFFFFF), 15u);
  EXPECT_EQ(ToIndex(kFormatGray64, 0xFFFFFF), 63u);
  EXPECT_EQ(ToIndex(kFormatGray64, 0x808080), 31u);
  EXPECT_EQ(ToIndex(kFormatGray64, 0x000000), 0u);
  EXPECT_EQ(ToIndex(kFormatGray256, 0x030201), 2u);
}

TEST(ColorFormatEdges, FixedPalettes) {
  EXPECT_EQ(ToIndex(kFormat111, 0x808080), 7u);
  EXPECT_EQ(ToIndex(kFormat111, 0x7F7F7F), 0u);
  EXPECT_EQ(ToColor(kFormat233, 0x3F), 0x00FFFFu);
  EXPECT_EQ(ToColor(kFormat233, 0x03), 0x00006Du);  // e3(3) = 109, truncated
  EXPECT_EQ(ToIndex(kFormat8666, 0x808080), 128u);
  EXPECT_EQ(ToIndex(kFormat8666, 0xFF0000), 220u);
  EXPECT_EQ(ToColor(kFormat8666, 220), 0xFF0000u);
  EXPECT_EQ(ToColor(kFormat8666, 110), 0x000000u);
  EXPECT_EQ(ToIndex(kFormat8666, 0x333333), 123u);  // grey ramp even though cube entry 43 is exact
  EXPECT_EQ(ToColor(kFormat8666, 43), 0x333333u);
}

TEST(ColorFormatEdges, PackedFormats) {
  EXPECT_EQ(ToIndex(kFormat555, 37), 5u);
  EXPECT_EQ(ToIndex(kFormat555, 36), 4u);
  EXPECT_EQ(ToColor(kFormat555, 11), 91u);
  EXPECT_EQ(ToColor(kFormat555, 10), 82u);
  EXPECT_EQ(ToIndex(kFormat565, 0xFFFFFF), 0xFFFFu);
  EXPECT_EQ(ToIndex(kFormat565, 0x0000FF), 0x001Fu);
  EXPECT_EQ(ToIndex(kFormatM565, 0x0000FF), 0xF800u);
  EXPECT_EQ(ToColor(kFormatM565, 0xF800), 0x0000FFu);
  EXPECT_EQ(ToIndex(kFormatM555, 0x0000FF), 0x7C00u);
  EXPECT_EQ(ToIndex(kFormat444_12, 0xFF0000), 0xF00u);
  EXPECT_EQ(ToIndex(kFormatM444_12, 0xFF0000), 0x00Fu);
  EXPECT_EQ(ToIndex(kFormat444_12_1, 0x0000FF), 0x00F0u);
  EXPECT_EQ(ToIndex(kFormat444_16, 0xFFFFFF), 0x7BDEu);
  EXPECT_EQ(ToIndex(kFormatM444_16, 0x0000FF), 0x7800u);
  EXPECT_EQ(ToIndex(kFormatRGB, 0xFF123456), 0x123456u);
  EXPECT_EQ(ToColor(kFormatRGB, 0x123456), 0x123456u);
}

TEST(ColorFormatLookup, MenuLabelsAndOutOfRangeIds) {
  EXPECT_STREQ(ColorFormatMenuLabel(kFormatBW), "BW\t\t\t(1 BPP)");
  EXPECT_STREQ(ColorFormatMenuLabel(kFormat8666), "8 bit Color 8666\t\t\t(8 BPP)");
  EXPECT_STREQ(ColorFormatMenuLabel(kFormat555), "16 bit Color 555\t\t\t(32k colors)");
  EXPECT_STREQ(ColorFormatMenuLabel(kFormat565), "16 bit Color 565\t\t\t(64k colors)");
  EXPECT_STREQ(ColorFormatMenuLabel(kFormatRGB), "RGB\t\t\t(24 BPP)");
  EXPECT_STREQ(ColorFormatMenuLabel(kFormat444_16), "");
  EXPECT_STREQ(ColorFormatMenuLabel(-1), "");
  EXPECT_STREQ(GetColorFormat(99).Name(), "RGB");
  EXPECT_STREQ(GetColorFormat(-3).Name(), "RGB");
}

}  // namespace
