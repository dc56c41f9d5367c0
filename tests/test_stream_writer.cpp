#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "OutputCapture.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::CaptureOutput;
using testing_support::MakeBitmap;
using testing_support::TempDir;
using ByteList = std::vector<std::uint8_t>;

struct StreamResult {
  sys::Code code = sys::Code::kInternal;
  ByteList bytes;
};

StreamResult Stream(const Bitmap& b, int format, int noPalette = 0, OutputOptions options = {}) {
  StreamResult r;
  sys::Context ctx;
  const std::string text = CaptureOutput(
      [&](OutBuffer& out) { r.code = WriteStreamedBitmap(out, OutputSpec{format, noPalette}, options, &b, ctx); });
  r.bytes.assign(text.begin(), text.end());
  return r;
}

constexpr OutputOptions kBigEndian{.bigEndian = true};
constexpr OutputOptions kArgb{.useArgb = true};

ByteList Slice(const ByteList& bytes, std::size_t from, std::size_t count = SIZE_MAX) {
  if (from > bytes.size()) return {};
  const std::size_t end = count == SIZE_MAX ? bytes.size() : std::min(bytes.size(), from + count);
  return ByteList(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

BitmapPtr TrueColor(int w, int h, const std::vector<Color>& pixels, bool hasAlpha = false) {
  BitmapPtr b = MakeBitmap(w, h, 0);
  for (int i = 0; i < w * h; ++i) Bitmap_SetPixel(*b, i % w, i / w, pixels[static_cast<std::size_t>(i)]);
  b->HasAlpha = hasAlpha ? 1 : 0;
  return b;
}

BitmapPtr TwoColourImage() {
  BitmapPtr b = MakeBitmap(3, 2, 2);
  Bitmap_SetPalColor(*b, 0, 0x00112233);
  Bitmap_SetPalColor(*b, 1, 0x40FFEEDD);
  const int indices[6] = {1, 0, 1, 0, 1, 1};
  for (int i = 0; i < 6; ++i) Bitmap_SetPixel(*b, i % 3, i / 3, static_cast<std::uint32_t>(indices[i]));
  return b;
}

// ---------------------------------------------------------------- header and palette

TEST(StreamHeaderTest, PaletteImageWithAndWithoutPalette) {
  BitmapPtr b = TwoColourImage();
  const StreamResult r = Stream(*b, 1);
  ASSERT_EQ(r.code, sys::Code::kOk);
  EXPECT_EQ(r.bytes, (ByteList{0x42, 0x4D, 0x64, 0x00, 0x03, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01, 0x00, 0x02, 0x00,
                               0x00, 0x00,                                          // header
                               0x33, 0x22, 0x11, 0x00, 0xDD, 0xEE, 0xFF, 0x40,      // palette
                               0xA0, 0x60}));                                       // 101, 011
  const StreamResult bare = Stream(*b, 1, 1);
  ASSERT_EQ(bare.bytes.size(), 18u);
  EXPECT_EQ(Slice(bare.bytes, 12, 2), (ByteList{0, 0}));
  EXPECT_EQ(Slice(bare.bytes, 16), (ByteList{0xA0, 0x60}));
}

TEST(StreamHeaderTest, ArgbPaletteSwapsRedAndBlueAndInvertsTransparency) {
  BitmapPtr b = TwoColourImage();
  b->HasTrans = 1;
  const StreamResult r = Stream(*b, 5, 0, kArgb);
  EXPECT_EQ(Slice(r.bytes, 0, 16), (ByteList{0x42, 0x4D, 0x64, 0x00, 3, 0, 2, 0, 3, 0, 8, 0, 2, 0, 1, 0}));
  EXPECT_EQ(Slice(r.bytes, 16, 8), (ByteList{0x11, 0x22, 0x33, 0xFF, 0xFF, 0xEE, 0xDD, 0xBF}));
  EXPECT_EQ(Slice(r.bytes, 24), (ByteList{1, 0, 1, 0, 1, 1}));
}

TEST(StreamHeaderTest, FieldsPerFormat) {
  BitmapPtr b = TrueColor(5, 1, std::vector<Color>(5, 0));
  const struct {
    int format;
    int stored;
    int bytesPerLine;
    int bits;
  } cases[] = {{8, 8, 10, 16},  {12, 12, 0, 16},  {13, 13, 0, 16},  {15, 15, 20, 32}, {16, 16, 20, 32},
               {17, 17, 15, 24}, {18, 18, 5, 8},   {19, 19, 10, 16}, {25, 25, 15, 24}, {29, 29, 20, 32}};
  for (const auto& c : cases) {
    const StreamResult r = Stream(*b, c.format);
    ASSERT_EQ(r.code, sys::Code::kOk) << c.format;
    ASSERT_GE(r.bytes.size(), 16u);
    EXPECT_EQ(Slice(r.bytes, 0, 16), (ByteList{0x42, 0x4D, static_cast<std::uint8_t>(c.stored), 0, 5, 0, 1, 0,
                                               static_cast<std::uint8_t>(c.bytesPerLine), 0,
                                               static_cast<std::uint8_t>(c.bits), 0, 0, 0, 0, 0}))
        << c.format;
  }
  BitmapPtr indexed = MakeBitmap(5, 1, 16);
  EXPECT_EQ(Slice(Stream(*indexed, 2).bytes, 2, 10), (ByteList{100, 0, 5, 0, 1, 0, 2, 0, 2, 0}));
  EXPECT_EQ(Slice(Stream(*indexed, 4).bytes, 2, 10), (ByteList{100, 0, 5, 0, 1, 0, 3, 0, 4, 0}));
  EXPECT_EQ(Slice(Stream(*indexed, 6).bytes, 2, 10), (ByteList{6, 0, 5, 0, 1, 0, 3, 0, 4, 0}));
  EXPECT_EQ(Slice(Stream(*indexed, 7).bytes, 2, 10), (ByteList{7, 0, 5, 0, 1, 0, 5, 0, 8, 0}));
}

TEST(StreamHeaderTest, WidthBeyond16BitsIsStoredModulo65536) {
  BitmapPtr b = MakeBitmap(70000, 1, 256);
  const StreamResult r = Stream(*b, 5, 1);
  EXPECT_EQ(Slice(r.bytes, 4, 6), (ByteList{0x70, 0x11, 1, 0, 0x70, 0x11}));
  EXPECT_EQ(r.bytes.size(), 16u + 70000u);
}

TEST(StreamHeaderTest, FormatsWithoutStreamFormWriteNothing) {
  BitmapPtr b = TrueColor(1, 1, {0});
  for (int format : {99, 3, 14, 0, 30}) {
    const StreamResult r = Stream(*b, format);
    EXPECT_EQ(r.code, sys::Code::kBadFormat) << format;
    EXPECT_TRUE(r.bytes.empty()) << format;
  }
}

// ---------------------------------------------------------------- pixel data

TEST(StreamPixelTest, SixteenBitCodesFollowTheByteOrderSetting) {
  BitmapPtr red = TrueColor(1, 1, {0x000000FF});
  EXPECT_EQ(Slice(Stream(*red, 8).bytes, 16), (ByteList{0x1F, 0x00}));
  EXPECT_EQ(Slice(Stream(*red, 8, 0, kBigEndian).bytes, 16), (ByteList{0x00, 0x1F}));
  EXPECT_EQ(Slice(Stream(*red, 9).bytes, 16), (ByteList{0x00, 0xF8}));
  EXPECT_EQ(Slice(Stream(*red, 11, 0, kBigEndian).bytes, 16), (ByteList{0x7C, 0x00}));
  EXPECT_EQ(Slice(Stream(*red, 21).bytes, 16), (ByteList{0xF0, 0x00}));
  EXPECT_EQ(Slice(Stream(*red, 24).bytes, 16), (ByteList{0x00, 0x78}));
}

TEST(StreamPixelTest, ThreeAndFourByteFormats) {
  BitmapPtr b = TrueColor(1, 1, {0x80123456});
  EXPECT_EQ(Slice(Stream(*b, 17).bytes, 16), (ByteList{0x56, 0x34, 0x12}));
  // T, then high and low byte of the code, in either byte order: 555 of red
  // 0x56, green 0x34, blue 0x12 is 10 + 6 * 32 + 2 * 1024.
  EXPECT_EQ(Slice(Stream(*b, 25).bytes, 16), (ByteList{0x80, 0x08, 0xCA}));
  EXPECT_EQ(Slice(Stream(*b, 25, 0, kBigEndian).bytes, 16), (ByteList{0x80, 0x08, 0xCA}));
  EXPECT_EQ(Slice(Stream(*b, 16).bytes, 16), (ByteList{0x56, 0x34, 0x12, 0x80}));
  EXPECT_EQ(Slice(Stream(*b, 16, 0, kBigEndian).bytes, 16), (ByteList{0x80, 0x12, 0x34, 0x56}));
  EXPECT_EQ(Slice(Stream(*b, 29).bytes, 16), (ByteList{0x12, 0x34, 0x56, 0x7F}));
  EXPECT_EQ(Slice(Stream(*b, 29, 0, kBigEndian).bytes, 16), (ByteList{0x7F, 0x56, 0x34, 0x12}));
  BitmapPtr opaque = TrueColor(1, 1, {0x00123456});
  EXPECT_EQ(Slice(Stream(*opaque, 16).bytes, 16), (ByteList{0x56, 0x34, 0x12, 0x00}));
  EXPECT_EQ(Slice(Stream(*opaque, 29).bytes, 16), (ByteList{0x12, 0x34, 0x56, 0xFF}));
}

TEST(StreamPixelTest, PackedRowsArePaddedToWholeBytes) {
  BitmapPtr b = MakeBitmap(3, 2, 16);
  const std::uint32_t indices[6] = {1, 2, 3, 0xF, 0, 0xA};
  for (int i = 0; i < 6; ++i) Bitmap_SetPixel(*b, i % 3, i / 3, indices[i]);
  EXPECT_EQ(Slice(Stream(*b, 2, 1).bytes, 16), (ByteList{0x6C, 0xC8}));  // 01 10 11 00, 11 00 10 00
  EXPECT_EQ(Slice(Stream(*b, 4, 1).bytes, 16), (ByteList{0x12, 0x30, 0xF0, 0xA0}));
}

TEST(StreamPixelTest, CompressedFormatsUseTheByteEncoders) {
  BitmapPtr b = MakeBitmap(2, 2, 4);
  const StreamResult rle8 = Stream(*b, 7, 1);
  EXPECT_EQ(Slice(rle8.bytes, 16), (ByteList{4, 0}));
  BitmapPtr colours = TrueColor(2, 2, std::vector<Color>(4, 0x000000FF));
  EXPECT_EQ(Slice(Stream(*colours, 12, 0, kBigEndian).bytes, 16), (ByteList{4, 0x1F, 0x00}));
  EXPECT_EQ(Slice(Stream(*colours, 13).bytes, 16), (ByteList{4, 0x00, 0xF8}));
  EXPECT_EQ(Slice(Stream(*colours, 15).bytes, 16), (ByteList{4, 0xFF, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Slice(Stream(*colours, 18).bytes, 16), (ByteList{4, 0x00}));
}

// ---------------------------------------------------------------- failures and dispatch

TEST(StreamFailureTest, ShortWriteIsReported) {
  auto file = sys::File::Create("/dev/full");
  if (!file) GTEST_SKIP() << "/dev/full not available";
  BitmapPtr b = TrueColor(200, 200, std::vector<Color>(40000, 0x00123456));
  // The writer itself stops at the first short write; its buffer knows the
  // stream is incomplete, and the save fails with the path.
  {
    sys::Context ctx;
    OutBuffer out(*file);
    WriteStreamedBitmap(out, OutputSpec{16, 0}, OutputOptions{}, b.get(), ctx);
    EXPECT_FALSE(OutComplete(out));
  }
  auto again = sys::File::Create("/dev/full");
  ASSERT_TRUE(again.has_value());
  sys::Context ctx;
  const WriteResult result =
      WriteImageFile(b.get(), *again, "/dev/full", OutputSpec{16, 0}, kOutputCStream, OutputOptions{}, ctx);
  EXPECT_EQ(result.code, sys::Code::kIo);
  EXPECT_EQ(result.text, CouldNotWriteText("/dev/full"));
  EXPECT_EQ(ctx.LastFailure(), sys::Code::kIo);
}

TEST(StreamFailureTest, DispatcherWritesAndFlushesTheStream) {
  TempDir dir;
  const std::string path = dir.File("pic.dta");
  BitmapPtr b = TrueColor(1, 1, {0x000000FF});
  sys::Context ctx;
  {
    auto file = sys::File::Create(path);
    ASSERT_TRUE(file.has_value());
    const WriteResult result = WriteImageFile(b.get(), *file, path, OutputSpec{8, 0}, kOutputCStream, kBigEndian, ctx);
    EXPECT_TRUE(result.Ok()) << result.text;
    EXPECT_EQ(result.replacement, nullptr);  // a stream keeps the caller's image as it is
  }
  EXPECT_TRUE(ctx.Messages().empty());
  EXPECT_EQ(testing_support::ReadBytes(path),
            (ByteList{0x42, 0x4D, 8, 0, 1, 0, 1, 0, 2, 0, 16, 0, 0, 0, 0, 0, 0x00, 0x1F}));
}

}  // namespace
