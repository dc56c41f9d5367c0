// LVGL v9 output: the bytes LVGL's converter writes for small known pictures
// (vectors taken from running it), the RLE rules, the C text, the refusals,
// and every format read back by a decoder of our own (lvgl/lvgl_decode.c).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/LvglPixels.h"
#include "writers/LvglRle.h"
#include "writers/LvglWriter.h"
#include "writers/Lz4Block.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

// rgba3x2: (255,0,0,255) (0,255,0,128) (0,0,255,0) / (255,255,255,255) (128,128,128,255) (16,32,48,64)
LvglPicture Rgba3x2() {
  LvglPicture p;
  p.width = 3;
  p.height = 2;
  p.rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 255, 255, 255, 255, 128, 128, 128, 255, 16, 32, 48, 64};
  return p;
}

// pal4_3x2: entry i = (37i, 91i, 13i) mod 256, alpha 255 for even i else 128;
// indices 0 1 3 / 2 3 0.
LvglPicture Pal4() {
  LvglPicture p;
  p.width = 3;
  p.height = 2;
  for (int i = 0; i < 4; ++i) {
    p.palette.insert(p.palette.end(), {static_cast<std::uint8_t>(37 * i % 256), static_cast<std::uint8_t>(91 * i % 256),
                                       static_cast<std::uint8_t>(13 * i % 256),
                                       static_cast<std::uint8_t>(i % 2 == 0 ? 255 : 128)});
  }
  p.indices = {0, 1, 3, 2, 3, 0};
  for (const std::uint8_t index : p.indices) {
    p.rgba.insert(p.rgba.end(), p.palette.begin() + index * 4, p.palette.begin() + index * 4 + 4);
  }
  return p;
}

// An alpha ramp one pixel high, RGB 0.
LvglPicture AlphaRow(const std::vector<int>& alphas) {
  LvglPicture p;
  p.width = static_cast<int>(alphas.size());
  p.height = 1;
  for (const int a : alphas) p.rgba.insert(p.rgba.end(), {0, 0, 0, static_cast<std::uint8_t>(a)});
  return p;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string Squeeze(std::string hex) {
  std::erase_if(hex, [](char c) { return c == ' ' || c == '|'; });
  return hex;
}

std::string BinFile(const LvglPicture& picture, LvglOptions options, sys::Code expected = sys::Code::kOk) {
  options.container = LvglContainer::kBinary;
  sys::Context ctx;
  std::string file;
  EXPECT_EQ(MakeLvglFile(picture, options, OutputOptions{}, file, ctx), expected) << ctx.LastFailureText();
  return file;
}

LvglOptions Options(LvglFormat format, LvglCompression compression = LvglCompression::kNone, int align = 1) {
  LvglOptions o;
  o.format = format;
  o.compression = compression;
  o.align = align;
  return o;
}

struct Vector {
  const char* what;
  LvglPicture (*picture)();
  LvglOptions options;
  const char* hex;  // the whole .bin file
};

LvglOptions With(LvglOptions o, bool premultiply, bool dither, std::uint32_t background) {
  o.premultiply = premultiply;
  o.rgb565Dither = dither;
  o.background = background;
  return o;
}

TEST(LvglWriter, WritesTheConvertersBytesForEveryFormatAndOption) {
  using F = LvglFormat;
  using C = LvglCompression;
  const Vector vectors[] = {
      {"ARGB8888", Rgba3x2, Options(F::kARGB8888),
       "19 10 00 00 03 00 02 00 0c 00 00 00 | 00 00 ff ff 00 ff 00 80 ff 00 00 00 | ff ff ff ff 80 80 80 ff 30 20 10 40"},
      {"ARGB8888_PREMULTIPLIED", Rgba3x2, Options(F::kARGB8888Premultiplied),
       "19 1a 00 00 03 00 02 00 0c 00 00 00 | 00 00 ff ff 00 80 00 80 00 00 00 00 | ff ff ff ff 80 80 80 ff 0c 08 04 40"},
      {"XRGB8888", Rgba3x2, Options(F::kXRGB8888),
       "19 11 00 00 03 00 02 00 0c 00 00 00 | 00 00 fe ff 00 7f 00 ff 00 00 00 ff | fe fe fe ff 7f 7f 7f ff 0c 08 04 ff"},
      {"RGB888", Rgba3x2, Options(F::kRGB888),
       "19 0f 00 00 03 00 02 00 09 00 00 00 | 00 00 fe 00 7f 00 00 00 00 | fe fe fe 7f 7f 7f 0c 08 04"},
      {"RGB565", Rgba3x2, Options(F::kRGB565), "19 12 00 00 03 00 02 00 06 00 00 00 | 00 f8 e0 03 00 00 | ff ff ef 7b 41 00"},
      {"RGB565_SWAPPED", Rgba3x2, Options(F::kRGB565Swapped),
       "19 1b 00 00 03 00 02 00 06 00 00 00 | f8 00 03 e0 00 00 | ff ff 7b ef 00 41"},
      {"RGB565A8", Rgba3x2, Options(F::kRGB565A8),
       "19 14 00 00 03 00 02 00 06 00 00 00 | 00 f8 e0 07 1f 00 | ff ff 10 84 06 11 | ff 80 00 | ff ff 40"},
      {"ARGB8565", Rgba3x2, Options(F::kARGB8565),
       "19 13 00 00 03 00 02 00 09 00 00 00 | 00 f8 ff e0 07 80 1f 00 00 | ff ff ff 10 84 ff 06 11 40"},
      {"L8", Rgba3x2, Options(F::kL8), "19 06 00 00 03 00 02 00 03 00 00 00 | 7e 6c 00 | fd 7f 07"},
      {"AL88", Rgba3x2, Options(F::kAL88), "19 15 00 00 03 00 02 00 06 00 00 00 | 7f ff db 80 4b 00 | fe ff 80 ff 1e 40"},
      {"A1", Rgba3x2, Options(F::kA1), "19 0b 00 00 03 00 02 00 01 00 00 00 | c0 | c0"},
      {"A2", Rgba3x2, Options(F::kA2), "19 0c 00 00 03 00 02 00 01 00 00 00 | e0 | f4"},
      {"A4", Rgba3x2, Options(F::kA4), "19 0d 00 00 03 00 02 00 02 00 00 00 | f8 00 | ff 40"},
      {"A8", Rgba3x2, Options(F::kA8), "19 0e 00 00 03 00 02 00 03 00 00 00 | ff 80 00 | ff ff 40"},
      {"I2", Pal4, Options(F::kI2),
       "19 08 00 00 03 00 02 00 01 00 00 00 | 00 00 00 ff 0d 5b 25 80 1a b6 4a ff 27 11 6f 80 | 1c | b0"},
      {"RGB565 background", Rgba3x2, With(Options(F::kRGB565), false, false, 0xFF8000),
       "19 12 00 00 03 00 02 00 06 00 00 00 | 00 f8 e0 7d e0 fb | ff ff ef 7b 21 c3"},
      {"RGB888 background", Rgba3x2, With(Options(F::kRGB888), false, false, 0xFF8000),
       "19 0f 00 00 03 00 02 00 09 00 00 00 | 00 00 fe 00 bf 7e 00 7f fe | fe fe fe 7f 7f 7f 0c 67 c2"},
      {"L8 background", Rgba3x2, With(Options(F::kL8), false, false, 0xFF8000),
       "19 06 00 00 03 00 02 00 03 00 00 00 | 7e ac a2 | fd 7f 7e"},
      {"RGB565 dither", Rgba3x2, With(Options(F::kRGB565), false, true, 0),
       "19 12 00 00 03 00 02 00 06 00 00 00 | 00 f0 e0 03 00 00 | de f7 ef 7b 41 00"},
      {"RGB565 align 4", Rgba3x2, Options(F::kRGB565, C::kNone, 4),
       "19 12 00 00 03 00 02 00 08 00 00 00 | 00 f8 e0 03 00 00 00 00 | ff ff ef 7b 41 00 00 00"},
      {"RGB565A8 align 8", Rgba3x2, Options(F::kRGB565A8, C::kNone, 8),
       "19 14 00 00 03 00 02 00 08 00 00 00 | 00 f8 e0 07 1f 00 00 00 | ff ff 10 84 06 11 00 00 | ff 80 00 00 | ff ff 40 "
       "00"},
      {"RGB888 align 4", Rgba3x2, Options(F::kRGB888, C::kNone, 4),
       "19 0f 00 00 03 00 02 00 0c 00 00 00 | 00 00 fe 00 7f 00 00 00 00 00 00 00 | fe fe fe 7f 7f 7f 0c 08 04 00 00 00"},
      {"A1 align 4", Rgba3x2, Options(F::kA1, C::kNone, 4), "19 0b 00 00 03 00 02 00 04 00 00 00 | c0 00 00 00 | c0 00 00 00"},
      {"ARGB8888 premultiply", Rgba3x2, With(Options(F::kARGB8888), true, false, 0),
       "19 10 01 00 03 00 02 00 0c 00 00 00 | 00 00 fe ff 00 7f 00 80 00 00 00 00 | fe fe fe ff 7f 7f 7f ff 0c 08 04 40"},
      {"RGB565A8 premultiply", Rgba3x2, With(Options(F::kRGB565A8), true, false, 0),
       "19 14 01 00 03 00 02 00 06 00 00 00 | 00 f8 e0 03 00 00 | ff ff 10 84 41 00 | ff 80 00 | ff ff 40"},
      {"ARGB8565 premultiply", Rgba3x2, With(Options(F::kARGB8565), true, false, 0),
       "19 13 01 00 03 00 02 00 09 00 00 00 | 00 f8 ff e0 03 80 00 00 00 | ff ff ff 10 84 ff 41 00 40"},
      {"I2 premultiply", Pal4, With(Options(F::kI2), true, false, 0),
       "19 08 01 00 03 00 02 00 01 00 00 00 | 00 00 00 ff 06 2d 12 80 19 b5 49 ff 13 08 37 80 | 1c | b0"},
      {"RGB565 RLE", Rgba3x2, Options(F::kRGB565, C::kRle),
       "19 12 08 00 03 00 02 00 06 00 00 00 | 01 00 00 00 0d 00 00 00 0c 00 00 00 | 86 00 f8 e0 03 00 00 ff ff ef 7b 41 00"},
      {"RGB565A8 RLE", Rgba3x2, Options(F::kRGB565A8, C::kRle),
       "19 14 08 00 03 00 02 00 06 00 00 00 | 01 00 00 00 13 00 00 00 12 00 00 00 | 89 00 f8 e0 07 1f 00 ff ff 10 84 06 11 "
       "ff 80 00 ff ff 40"},
      {"I2 RLE", Pal4, Options(F::kI2, C::kRle),
       "19 08 08 00 03 00 02 00 01 00 00 00 | 01 00 00 00 13 00 00 00 12 00 00 00 | 92 00 00 00 ff 0d 5b 25 80 1a b6 4a ff "
       "27 11 6f 80 1c b0"},
      {"RGB888 align 4 RLE", Rgba3x2, Options(F::kRGB888, C::kRle, 4),
       "19 0f 08 00 03 00 02 00 0c 00 00 00 | 01 00 00 00 19 00 00 00 18 00 00 00 | 88 00 00 fe 00 7f 00 00 00 00 00 00 00 "
       "fe fe fe 7f 7f 7f 0c 08 04 00 00 00"},
      {"ARGB8888 premultiply RLE", Rgba3x2, With(Options(F::kARGB8888, C::kRle), true, false, 0),
       "19 10 09 00 03 00 02 00 0c 00 00 00 | 01 00 00 00 19 00 00 00 18 00 00 00 | 86 00 00 fe ff 00 7f 00 80 00 00 00 00 "
       "fe fe fe ff 7f 7f 7f ff 0c 08 04 40"},
  };
  for (const Vector& v : vectors) {
    EXPECT_EQ(Hex(BinFile(v.picture(), v.options)), Squeeze(v.hex)) << v.what;
  }
}

TEST(LvglWriter, CompressesWithLz4AsTheConverterDoes) {
  if (!Lz4Available()) GTEST_SKIP() << "this build has no liblz4";
  using F = LvglFormat;
  const Vector vectors[] = {
      {"RGB565 LZ4", Rgba3x2, Options(F::kRGB565, LvglCompression::kLz4),
       "19 12 08 00 03 00 02 00 06 00 00 00 | 02 00 00 00 0d 00 00 00 0c 00 00 00 | c0 00 f8 e0 03 00 00 ff ff ef 7b 41 00"},
      {"ARGB8888 LZ4 (a real match)", Rgba3x2, Options(F::kARGB8888, LvglCompression::kLz4),
       "19 10 08 00 03 00 02 00 0c 00 00 00 | 02 00 00 00 18 00 00 00 18 00 00 00 | a0 00 00 ff ff 00 ff 00 80 ff 00 0a 00 "
       "a0 ff ff 80 80 80 ff 30 20 10 40"},
      {"I2 LZ4", Pal4, Options(F::kI2, LvglCompression::kLz4),
       "19 08 08 00 03 00 02 00 01 00 00 00 | 02 00 00 00 14 00 00 00 12 00 00 00 | f0 03 00 00 00 ff 0d 5b 25 80 1a b6 4a "
       "ff 27 11 6f 80 1c b0"},
  };
  for (const Vector& v : vectors) {
    EXPECT_EQ(Hex(BinFile(v.picture(), v.options)), Squeeze(v.hex)) << v.what;
  }
}

// The compressed payload after the 12-byte block, of A8 rows (block size 1).
std::string RlePayload(const std::vector<int>& alphas) {
  const std::string file = BinFile(AlphaRow(alphas), Options(LvglFormat::kA8, LvglCompression::kRle));
  return Hex(file.substr(24));
}

std::vector<int> Repeat(std::vector<int> head, int value, int count, std::vector<int> tail = {}) {
  head.insert(head.end(), static_cast<std::size_t>(count), value);
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(LvglRle, ChoosesRunsAndLiteralsAsTheConverterDoes) {
  struct Case {
    const char* what;
    std::vector<int> alphas;
    std::string payload;
  } cases[] = {
      {"a run of 20", Repeat({}, 0x55, 20), "1455"},
      {"17 repeats after a literal stay literal", Repeat({1, 2, 3}, 9, 17),
       "94010203" + std::string("09090909090909090909090909090909") + "09"},
      {"18 repeats: the first ends the literal", Repeat({1, 2, 3}, 9, 18), "84010203091109"},
      {"runs past 127 are split", Repeat({}, 9, 130, {1, 2}), "7f0985090909" "0102"},
  };
  for (const Case& c : cases) EXPECT_EQ(RlePayload(c.alphas), c.payload) << c.what;
}

// The converter writes 0x87 before 135 literal bytes here, which no decoder
// reads; the literal is cut at 127 instead.
TEST(LvglRle, CutsALiteralAtTheEndOfTheDataAt127Blocks) {
  std::vector<int> alphas;
  for (int i = 0; i < 120; ++i) alphas.push_back(i);
  alphas = Repeat(alphas, 255, 15);
  const std::string payload = RlePayload(alphas);
  EXPECT_EQ(payload.substr(0, 2), "ff");
  EXPECT_EQ(payload.substr(2 + 127 * 2, 2), "88");
  std::vector<std::uint8_t> data(alphas.begin(), alphas.end());
  std::vector<std::uint8_t> decoded;
  ASSERT_TRUE(LvglRleDecode(LvglRleEncode(data, 1), 1, data.size(), decoded));
  EXPECT_EQ(decoded, data);
}

TEST(LvglRle, PadsTheLastBlockAndDecodesEveryShape) {
  std::mt19937 random(36);
  for (const std::size_t block : {1u, 2u, 3u, 4u}) {
    for (int trial = 0; trial < 60; ++trial) {
      std::vector<std::uint8_t> data(random() % 700 + 1);
      const unsigned levels = trial % 3 == 0 ? 2 : 256;
      for (auto& b : data) b = static_cast<std::uint8_t>(random() % 5 == 0 ? random() % levels : 7);
      std::vector<std::uint8_t> decoded;
      ASSERT_TRUE(LvglRleDecode(LvglRleEncode(data, block), block, data.size(), decoded)) << block;
      EXPECT_EQ(decoded, data);
    }
  }
}

TEST(LvglWriter, WritesTheConvertersCText) {
  LvglOptions o = Options(LvglFormat::kRGB565);
  o.name = "rgba3x2";
  sys::Context ctx;
  std::string text;
  ASSERT_EQ(MakeLvglFile(Rgba3x2(), o, OutputOptions{}, text, ctx), sys::Code::kOk);
  const std::string expected =
      "\n#if defined(LV_LVGL_H_INCLUDE_SIMPLE)\n#include \"lvgl.h\"\n#elif defined(LV_LVGL_H_INCLUDE_SYSTEM)\n"
      "#include <lvgl.h>\n#elif defined(LV_BUILD_TEST)\n#include \"../lvgl.h\"\n#else\n#include \"lvgl/lvgl.h\"\n#endif\n\n"
      "#ifndef LV_ATTRIBUTE_MEM_ALIGN\n#define LV_ATTRIBUTE_MEM_ALIGN\n#endif\n\n#ifndef LV_ATTRIBUTE_RGBA3X2\n"
      "#define LV_ATTRIBUTE_RGBA3X2\n#endif\n\nstatic const\nLV_ATTRIBUTE_MEM_ALIGN LV_ATTRIBUTE_LARGE_CONST "
      "LV_ATTRIBUTE_RGBA3X2\nuint8_t rgba3x2_map[] = {\n\n    0x00,0xf8,0xe0,0x03,0x00,0x00,\n"
      "    0xff,0xff,0xef,0x7b,0x41,0x00,\n\n};\n\nconst lv_image_dsc_t rgba3x2 = {\n  .header = {\n"
      "    .magic = LV_IMAGE_HEADER_MAGIC,\n    .cf = LV_COLOR_FORMAT_RGB565,\n    .flags = 0,\n    .w = 3,\n"
      "    .h = 2,\n    .stride = 6,\n    .reserved_2 = 0,\n  },\n  .data_size = sizeof(rgba3x2_map),\n"
      "  .data = rgba3x2_map,\n  .reserved = NULL,\n};\n\n";
  EXPECT_EQ(text, expected);
  o = Options(LvglFormat::kI2);
  o.name = "pal";
  ASSERT_EQ(MakeLvglFile(Pal4(), o, OutputOptions{}, text, ctx), sys::Code::kOk);
  EXPECT_NE(text.find("{\n\n    0x00,0x00,0x00,0xff,0x0d,0x5b,0x25,0x80,0x1a,0xb6,0x4a,0xff,0x27,0x11,0x6f,0x80,\n\n"
                      "    0x1c,\n    0xb0,\n\n};"),
            std::string::npos)
      << text;
  o.premultiply = true;
  o.compression = LvglCompression::kRle;
  ASSERT_EQ(MakeLvglFile(Pal4(), o, OutputOptions{}, text, ctx), sys::Code::kOk);
  EXPECT_NE(text.find(".flags = 0 | LV_IMAGE_FLAGS_COMPRESSED | LV_IMAGE_FLAGS_PREMULTIPLIED,"), std::string::npos);
}

TEST(LvglWriter, NamesVariablesAsTheConverterDoes) {
  const std::pair<const char*, const char*> cases[] = {
      {"out/cogwheel.RGB565A8.c", "cogwheel"}, {"my-img.c", "my_img"}, {"a b.bin", "a_b"},
      {"7up.c", "_7up"},                       {".c", "image"},
  };
  for (const auto& [path, name] : cases) EXPECT_EQ(LvglIdentifierOf(path), name) << path;
}

TEST(LvglWriter, RefusesWhatTheHeaderOrFormatCannotHold) {
  const LvglPicture small = Rgba3x2();
  struct Case {
    const char* what;
    LvglPicture picture;
    LvglOptions options;
  } cases[] = {
      {"premultiplied RGB565", small, With(Options(LvglFormat::kRGB565), true, false, 0)},
      {"premultiplied A8", small, With(Options(LvglFormat::kA8), true, false, 0)},
      {"premultiplied XRGB8888", small, With(Options(LvglFormat::kXRGB8888), true, false, 0)},
      {"align 0", small, Options(LvglFormat::kRGB565, LvglCompression::kNone, 0)},
      {"a stride past 65535", AlphaRow(std::vector<int>(16384, 1)), Options(LvglFormat::kARGB8888)},
      {"a width past 65535", AlphaRow(std::vector<int>(65536, 1)), Options(LvglFormat::kA1)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BinFile(c.picture, c.options, sys::Code::kBadArgument), "") << c.what;
  }
  EXPECT_EQ(BinFile(AlphaRow(std::vector<int>(65535, 1)), Options(LvglFormat::kA1)).size(), 12u + 8192u);
}

#if defined(RASTRA_LVGL_DECODER)

// A picture of two colours (so every indexed format keeps them exactly) and
// alphas 0, 255 and between, 37 x 23 so rows end inside bytes.
LvglPicture TwoColours() {
  LvglPicture p;
  p.width = 37;
  p.height = 23;
  std::mt19937 random(9);
  for (int i = 0; i < p.width * p.height; ++i) {
    const bool first = random() % 3 != 0;
    p.rgba.insert(p.rgba.end(), {static_cast<std::uint8_t>(first ? 200 : 10), static_cast<std::uint8_t>(first ? 90 : 250),
                                 static_cast<std::uint8_t>(first ? 33 : 128), static_cast<std::uint8_t>(first ? 255 : 77)});
  }
  return p;
}

int WidenBits(int v, int bits) {
  int out = 0;
  int filled = 0;
  for (; filled < 8; filled += bits) out = (out << bits) | v;
  return out >> (filled - 8);
}

// What a pixel of the format shows, by the rules of the format (§ by § the
// design reference's table), for comparison with what the decoder read.
std::vector<int> Expected(LvglFormat f, const std::uint8_t* p) {
  const int r = p[0], g = p[1], b = p[2], a = p[3];
  const auto over = [a](int c) { return (c * a) >> 8; };  // black background
  switch (f) {
    case LvglFormat::kARGB8888: return {r, g, b, a};
    case LvglFormat::kARGB8888Premultiplied: return {r * a / 255, g * a / 255, b * a / 255, a};
    case LvglFormat::kXRGB8888: case LvglFormat::kRGB888: return {over(r), over(g), over(b), 255};
    case LvglFormat::kRGB565: case LvglFormat::kRGB565Swapped:
      return {WidenBits(over(r) >> 3, 5), WidenBits(over(g) >> 2, 6), WidenBits(over(b) >> 3, 5), 255};
    case LvglFormat::kRGB565A8: case LvglFormat::kARGB8565:
      return {WidenBits(r >> 3, 5), WidenBits(g >> 2, 6), WidenBits(b >> 3, 5), a};
    case LvglFormat::kL8: {
      const int l = LvglLuma(static_cast<std::uint8_t>(over(r)), static_cast<std::uint8_t>(over(g)),
                             static_cast<std::uint8_t>(over(b)));
      return {l, l, l, 255};
    }
    case LvglFormat::kAL88: {
      const int l = LvglLuma(p[0], p[1], p[2]);
      return {l, l, l, a};
    }
    case LvglFormat::kA1: return {0, 0, 0, WidenBits(a >> 7, 1)};
    case LvglFormat::kA2: return {0, 0, 0, WidenBits(a >> 6, 2)};
    case LvglFormat::kA4: return {0, 0, 0, WidenBits(a >> 4, 4)};
    case LvglFormat::kA8: return {0, 0, 0, a};
    default: return {r, g, b, a};  // the indexed formats keep both colours
  }
}

TEST(LvglDecoder, ReadsEveryFormatCompressionAndStrideBack) {
  const testing_support::TempDir dir;
  const LvglPicture picture = TwoColours();
  const LvglFormat formats[] = {LvglFormat::kL8,       LvglFormat::kI1,       LvglFormat::kI2,
                                LvglFormat::kI4,       LvglFormat::kI8,       LvglFormat::kA1,
                                LvglFormat::kA2,       LvglFormat::kA4,       LvglFormat::kA8,
                                LvglFormat::kRGB888,   LvglFormat::kARGB8888, LvglFormat::kXRGB8888,
                                LvglFormat::kRGB565,   LvglFormat::kARGB8565, LvglFormat::kRGB565A8,
                                LvglFormat::kAL88,     LvglFormat::kARGB8888Premultiplied,
                                LvglFormat::kRGB565Swapped};
  int files = 0;
  for (const LvglFormat format : formats) {
    for (const LvglCompression compression : {LvglCompression::kNone, LvglCompression::kRle, LvglCompression::kLz4}) {
      if (compression == LvglCompression::kLz4 && !Lz4Available()) continue;
      for (const int align : {1, 3, 16}) {
        const std::string what = std::string(LvglFormatName(format)) + " compression " +
                                 std::to_string(static_cast<int>(compression)) + " align " + std::to_string(align);
        const std::string bin = dir.File("image.bin");
        const std::string pixels = dir.File("pixels");
        {
          std::ofstream out(bin, std::ios::binary);
          out << BinFile(picture, Options(format, compression, align));
        }
        const std::string command = std::string(RASTRA_LVGL_DECODER) + " '" + bin + "' '" + pixels + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << what;
        std::ifstream in(pixels, std::ios::binary);
        const std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(read.size(), 8 + picture.rgba.size()) << what;
        EXPECT_EQ(read[0], static_cast<char>(picture.width));
        for (std::size_t i = 0; i < picture.rgba.size(); i += 4) {
          const std::vector<int> want = Expected(format, picture.rgba.data() + i);
          const std::vector<int> got = {static_cast<unsigned char>(read[8 + i]), static_cast<unsigned char>(read[9 + i]),
                                        static_cast<unsigned char>(read[10 + i]),
                                        static_cast<unsigned char>(read[11 + i])};
          ASSERT_EQ(got, want) << what << ", pixel " << i / 4;
        }
        ++files;
      }
    }
  }
  EXPECT_GE(files, 18 * 2 * 3);
}

#endif

}  // namespace
