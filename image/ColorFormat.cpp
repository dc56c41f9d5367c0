#include "image/ColorFormat.h"

#include <array>

namespace rastra {

namespace {

constexpr std::uint32_t Red(Color c) { return c & 0xFF; }
constexpr std::uint32_t Green(Color c) { return (c >> 8) & 0xFF; }
constexpr std::uint32_t Blue(Color c) { return (c >> 16) & 0xFF; }
constexpr std::uint32_t Sum(Color c) { return Red(c) + Green(c) + Blue(c); }
constexpr Color Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr Color Grey(std::uint32_t level) { return Rgb(level, level, level); }

// Entry 11 is 91 where rounding would give 90; the generated files of existing
// projects depend on it.
constexpr std::array<std::uint8_t, 32> kExpand5 = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,
                                                   91,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                                                   181, 189, 197, 206, 214, 222, 230, 239, 247, 255};

constexpr std::array<std::uint8_t, 64> MakeExpand6() {
  std::array<std::uint8_t, 64> t{};
  for (std::uint32_t i = 0; i < 64; ++i) t[i] = static_cast<std::uint8_t>((i * 255 + 31) / 63);
  return t;
}

constexpr std::array<std::uint8_t, 256> MakeReduce(std::uint32_t levels) {
  std::array<std::uint8_t, 256> t{};
  for (std::uint32_t x = 0; x < 256; ++x) t[x] = static_cast<std::uint8_t>((x * levels + 127) / 255);
  return t;
}

constexpr std::array<std::uint8_t, 256> MakeReduce5() {
  auto t = MakeReduce(31);
  t[37] = 5;  // kept as the existing output has it, although rounding gives 4
  return t;
}

constexpr auto kExpand6 = MakeExpand6();
constexpr auto kReduce5 = MakeReduce5();
constexpr auto kReduce6 = MakeReduce(63);

constexpr std::uint32_t Expand4(std::uint32_t i) { return (i & 0xF) * 17; }
constexpr std::uint32_t Expand5(std::uint32_t i) { return kExpand5[i & 0x1F]; }
constexpr std::uint32_t Expand6(std::uint32_t i) { return kExpand6[i & 0x3F]; }

constexpr std::uint32_t Q2(std::uint32_t x) { return (x + 42) / 85; }
constexpr std::uint32_t Q3(std::uint32_t x) { return (x * 7 + 127) / 255; }
constexpr std::uint32_t Q4(std::uint32_t x) { return (x + 8) / 17; }
constexpr std::uint32_t Q6(std::uint32_t x) { return (x * 5 + 127) / 255; }
constexpr std::uint32_t E2(std::uint32_t i) { return (i & 3) * 85; }
constexpr std::uint32_t E3(std::uint32_t i) { return ((i & 7) * 255) / 7; }

// Grey and fixed-palette formats.

std::uint32_t BwToIndex(Color c) { return (Sum(c) + 383) / 765; }
Color BwToColor(std::uint32_t i) { return i == 0 ? 0x000000 : 0xFFFFFF; }

std::uint32_t Gray4ToIndex(Color c) { return (Sum(c) + 127) / 255; }
Color Gray4ToColor(std::uint32_t i) { return (i * 0x555555) & 0xFFFFFF; }

std::uint32_t Gray16ToIndex(Color c) { return (Red(c) / 16 + Green(c) / 16 + Blue(c) / 16 + 1) / 3; }
Color Gray16ToColor(std::uint32_t i) { return (i * 0x111111) & 0xFFFFFF; }

std::uint32_t Gray64ToIndex(Color c) { return (Sum(c) * 63) / 765; }
Color Gray64ToColor(std::uint32_t i) { return Grey((i * 255) / 63); }

std::uint32_t Gray256ToIndex(Color c) { return Sum(c) / 3; }
Color Gray256ToColor(std::uint32_t i) { return Grey(i); }

std::uint32_t C111ToIndex(Color c) { return Red(c) / 128 + ((Green(c) / 128) << 1) + ((Blue(c) / 128) << 2); }
Color C111ToColor(std::uint32_t i) {
  return Rgb((i & 1) != 0 ? 255 : 0, (i & 2) != 0 ? 255 : 0, (i & 4) != 0 ? 255 : 0);
}

std::uint32_t C222ToIndex(Color c) { return Q2(Red(c)) + (Q2(Green(c)) << 2) + (Q2(Blue(c)) << 4); }
Color C222ToColor(std::uint32_t i) { return Rgb(E2(i), E2(i >> 2), E2(i >> 4)); }

std::uint32_t C233ToIndex(Color c) { return Q3(Red(c)) + (Q3(Green(c)) << 3) + (Q2(Blue(c)) << 6); }
Color C233ToColor(std::uint32_t i) { return Rgb(E3(i), E3(i >> 3), E2(i >> 6)); }

std::uint32_t C323ToIndex(Color c) { return Q3(Red(c)) + (Q2(Green(c)) << 3) + (Q3(Blue(c)) << 5); }
Color C323ToColor(std::uint32_t i) { return Rgb(E3(i), E2(i >> 3), E3(i >> 5)); }

std::uint32_t C332ToIndex(Color c) { return Q2(Red(c)) + (Q3(Green(c)) << 2) + (Q3(Blue(c)) << 5); }
Color C332ToColor(std::uint32_t i) { return Rgb(E2(i), E3(i >> 2), E3(i >> 5)); }

// 8666: a 6 x 6 x 6 cube at 0 to 107 and 148 to 255 around a 16-level grey
// ramp at 120 to 135. Pure greys always take the ramp.
constexpr std::uint32_t kGreyRampStart = 120;
constexpr std::uint32_t kCubeGapStart = 108;
constexpr std::uint32_t kCubeGapSize = 40;

std::uint32_t C8666ToIndex(Color c) {
  const std::uint32_t r = Red(c), g = Green(c), b = Blue(c);
  if (r == g && g == b) return Q4(r) + kGreyRampStart;
  const std::uint32_t i = Q6(r) + 6 * Q6(g) + 36 * Q6(b);
  return i >= kCubeGapStart ? i + kCubeGapSize : i;
}

Color C8666ToColor(std::uint32_t index) {
  if (index >= kGreyRampStart && index < kGreyRampStart + 16) return (index - kGreyRampStart) * 0x111111;
  if (index >= kCubeGapStart && index < kCubeGapStart + kCubeGapSize) return 0x000000;
  const std::uint32_t i = index >= kCubeGapStart + kCubeGapSize ? index - kCubeGapSize : index;
  return Rgb((i % 6) * 51, ((i / 6) % 6) * 51, (i / 36) * 51);
}

// Packed true-colour formats. The M variants exchange red and blue.

template <int Shift>
std::uint32_t Pack444(std::uint32_t low, std::uint32_t mid, std::uint32_t high) {
  return (Q4(low) << Shift) + (Q4(mid) << (Shift + 4)) + (Q4(high) << (Shift + 8));
}

std::uint32_t C444_12ToIndex(Color c) { return Pack444<0>(Red(c), Green(c), Blue(c)); }
Color C444_12ToColor(std::uint32_t i) { return Rgb(Expand4(i), Expand4(i >> 4), Expand4(i >> 8)); }
std::uint32_t M444_12ToIndex(Color c) { return Pack444<0>(Blue(c), Green(c), Red(c)); }
Color M444_12ToColor(std::uint32_t i) { return Rgb(Expand4(i >> 8), Expand4(i >> 4), Expand4(i)); }

std::uint32_t C444_12_1ToIndex(Color c) { return Pack444<4>(Red(c), Green(c), Blue(c)); }
Color C444_12_1ToColor(std::uint32_t i) { return Rgb(Expand4(i >> 4), Expand4(i >> 8), Expand4(i >> 12)); }
std::uint32_t M444_12_1ToIndex(Color c) { return Pack444<4>(Blue(c), Green(c), Red(c)); }
Color M444_12_1ToColor(std::uint32_t i) { return Rgb(Expand4(i >> 12), Expand4(i >> 8), Expand4(i >> 4)); }

std::uint32_t C444_16ToIndex(Color c) { return (Q4(Red(c)) << 1) + (Q4(Green(c)) << 6) + (Q4(Blue(c)) << 11); }
Color C444_16ToColor(std::uint32_t i) { return Rgb(Expand4(i >> 1), Expand4(i >> 6), Expand4(i >> 11)); }
std::uint32_t M444_16ToIndex(Color c) { return (Q4(Blue(c)) << 1) + (Q4(Green(c)) << 6) + (Q4(Red(c)) << 11); }
Color M444_16ToColor(std::uint32_t i) { return Rgb(Expand4(i >> 11), Expand4(i >> 6), Expand4(i >> 1)); }

std::uint32_t C555ToIndex(Color c) {
  return kReduce5[Red(c)] + (std::uint32_t{kReduce5[Green(c)]} << 5) + (std::uint32_t{kReduce5[Blue(c)]} << 10);
}
Color C555ToColor(std::uint32_t i) { return Rgb(Expand5(i), Expand5(i >> 5), Expand5(i >> 10)); }
std::uint32_t M555ToIndex(Color c) {
  return kReduce5[Blue(c)] + (std::uint32_t{kReduce5[Green(c)]} << 5) + (std::uint32_t{kReduce5[Red(c)]} << 10);
}
Color M555ToColor(std::uint32_t i) { return Rgb(Expand5(i >> 10), Expand5(i >> 5), Expand5(i)); }

std::uint32_t C565ToIndex(Color c) {
  return kReduce5[Red(c)] + (std::uint32_t{kReduce6[Green(c)]} << 5) + (std::uint32_t{kReduce5[Blue(c)]} << 11);
}
Color C565ToColor(std::uint32_t i) { return Rgb(Expand5(i), Expand6(i >> 5), Expand5(i >> 11)); }
std::uint32_t M565ToIndex(Color c) {
  return kReduce5[Blue(c)] + (std::uint32_t{kReduce6[Green(c)]} << 5) + (std::uint32_t{kReduce5[Red(c)]} << 11);
}
Color M565ToColor(std::uint32_t i) { return Rgb(Expand5(i >> 11), Expand6(i >> 5), Expand5(i)); }

std::uint32_t RgbToIndex(Color c) { return c & 0xFFFFFF; }
Color RgbToColor(std::uint32_t i) { return i & 0xFFFFFF; }

// Indexed by ColorFormatId.
constexpr ColorFormat kFormats[kColorFormatCount] = {
    {"BW", 1, BwToIndex, BwToColor},
    {"Gray4", 3, Gray4ToIndex, Gray4ToColor},
    {"Gray16", 15, Gray16ToIndex, Gray16ToColor},
    {"Gray64", 63, Gray64ToIndex, Gray64ToColor},
    {"Gray256", 255, Gray256ToIndex, Gray256ToColor},
    {"111", 7, C111ToIndex, C111ToColor},
    {"222", 63, C222ToIndex, C222ToColor},
    {"233", 255, C233ToIndex, C233ToColor},
    {"323", 255, C323ToIndex, C323ToColor},
    {"332", 255, C332ToIndex, C332ToColor},
    {"8666", 255, C8666ToIndex, C8666ToColor},
    {"444_12", 0xFFF, C444_12ToIndex, C444_12ToColor},
    {"555", 0x7FFF, C555ToIndex, C555ToColor},
    {"565", 0xFFFF, C565ToIndex, C565ToColor},
    {"RGB", 0xFFFFFF, RgbToIndex, RgbToColor},
    {"444_16", 0x7BDE, C444_16ToIndex, C444_16ToColor},
    {"444_12_1", 0xFFF0, C444_12_1ToIndex, C444_12_1ToColor},
    {"M444_12", 0xFFF, M444_12ToIndex, M444_12ToColor},
    {"M444_16", 0x7BDE, M444_16ToIndex, M444_16ToColor},
    {"M444_12_1", 0xFFF0, M444_12_1ToIndex, M444_12_1ToColor},
    {"M555", 0x7FFF, M555ToIndex, M555ToColor},
    {"M565", 0xFFFF, M565ToIndex, M565ToColor},
};

constexpr const char* kMenuLabels[kMenuFormatCount] = {
    "BW\t\t\t(1 BPP)",
    "Gray4\t\t\t(2 BPP)",
    "Gray16\t\t\t(4 BPP)",
    "Gray64\t\t\t(8 BPP)",
    "Gray256\t\t\t(8 BPP)",
    "3 bit Color 111\t\t\t(4 BPP)",
    "6 bit Color 222\t\t\t(8 BPP)",
    "8 bit Color 233\t\t\t(8 BPP)",
    "8 bit Color 323\t\t\t(8 BPP)",
    "8 bit Color 332\t\t\t(8 BPP)",
    "8 bit Color 8666\t\t\t(8 BPP)",
    "12 bit Color 444\t\t\t(16 BPP)",
    "16 bit Color 555\t\t\t(32k colors)",
    "16 bit Color 565\t\t\t(64k colors)",
    "RGB\t\t\t(24 BPP)",
};

}  // namespace

const ColorFormat& GetColorFormat(int id) {
  if (id < 0 || id >= kColorFormatCount) return kFormats[kFormatRGB];
  return kFormats[id];
}

const char* ColorFormatMenuLabel(int id) {
  if (id < 0 || id >= kMenuFormatCount) return "";
  return kMenuLabels[id];
}

}  // namespace rastra
