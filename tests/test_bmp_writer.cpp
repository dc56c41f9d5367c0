// Windows bitmap writer: exact bytes of the layouts and read-back of what we write.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "image/Bitmap.h"
#include "readers/BmpReader.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/BmpWriter.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::MakeBitmap;

class BmpWriterTest : public ::testing::Test {
 protected:
  // Writes through the writer into a file and returns the file's bytes; what
  // the writer has to say collects in ctx_.
  Bytes Write(const Bitmap& bitmap, sys::Code* result = nullptr) {
    const std::string path = dir_.File("out.bmp");
    {
      auto file = sys::File::Create(path);
      EXPECT_TRUE(file.has_value());
      OutBuffer out(*file);
      const sys::Code r = WriteBmpFile(out, &bitmap, ctx_);
      if (result != nullptr) *result = r;
      EXPECT_TRUE(OutComplete(out));
      EXPECT_TRUE(file->Close());
    }
    return testing_support::ReadBytes(path);
  }

  testing_support::TempDir dir_;
  sys::Context ctx_;
};

std::uint32_t LE32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

BitmapPtr PaletteImage(int w, int h, int colors) {
  BitmapPtr b = MakeBitmap(w, h, colors);
  for (int i = 0; i < colors; ++i) Bitmap_SetPalColor(*b, i, 0x00010203u * static_cast<unsigned>(i + 1) | 0x80000000u);
  return b;
}

TEST_F(BmpWriterTest, TwoColoursGiveOneBitRowsWithExactHeader) {
  BitmapPtr b = MakeBitmap(3, 1, 2);
  Bitmap_SetPalColor(*b, 0, 0xFF123456);  // T must not reach the file
  Bitmap_SetPalColor(*b, 1, 0x00ABCDEF);
  Bitmap_SetPixel(*b, 0, 0, 1);
  Bitmap_SetPixel(*b, 2, 0, 1);
  sys::Code result = sys::Code::kInternal;
  const Bytes file = Write(*b, &result);
  EXPECT_EQ(result, sys::Code::kOk);
  const Bytes expected = {
      'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,                  // file header
      40, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0,     // size, width, height, planes, bits
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,      // ..., colours used 2
      0x12, 0x34, 0x56, 0, 0xAB, 0xCD, 0xEF, 0,                        // blue, green, red, 0
      0xA0, 0, 0, 0};                                                  // X_X, padded to 4 bytes
  EXPECT_EQ(file, expected);
  EXPECT_TRUE(ctx_.Messages().empty());
}

TEST_F(BmpWriterTest, TrueColourWithoutAlphaGives24BitsAndZeroPadding) {
  BitmapPtr b = MakeBitmap(3, 1, 0);
  Bitmap_SetPixel(*b, 0, 0, 0x7F0000FF);  // T is dropped at 24 bits
  Bitmap_SetPixel(*b, 1, 0, 0x0000FF00);
  Bitmap_SetPixel(*b, 2, 0, 0x00FF0000);
  const Bytes file = Write(*b);
  ASSERT_EQ(file.size(), 14u + 40u + 12u);
  EXPECT_EQ(LE32(file, 2), 66u);
  EXPECT_EQ(LE32(file, 10), 54u);
  EXPECT_EQ(file[28], 24);
  EXPECT_EQ(LE32(file, 46), 0u);
  const Bytes row(file.begin() + 54, file.end());
  EXPECT_EQ(row, (Bytes{0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0}));
}

TEST_F(BmpWriterTest, AlphaImageGives32BitsWithInvertedTransparency) {
  BitmapPtr b = MakeBitmap(2, 2, 0);
  b->HasAlpha = 1;
  Bitmap_SetPixel(*b, 0, 0, 0x00112233);  // opaque: alpha 255
  Bitmap_SetPixel(*b, 1, 0, 0xFF445566);  // fully transparent: alpha 0
  Bitmap_SetPixel(*b, 0, 1, 0x40778899);
  const Bytes file = Write(*b);
  ASSERT_EQ(file.size(), 54u + 16u);
  EXPECT_EQ(file[28], 32);
  // Bottom picture row first.
  const Bytes bottom(file.begin() + 54, file.begin() + 62);
  const Bytes top(file.begin() + 62, file.end());
  EXPECT_EQ(bottom, (Bytes{0x77, 0x88, 0x99, 0xBF, 0, 0, 0, 255}));
  EXPECT_EQ(top, (Bytes{0x11, 0x22, 0x33, 255, 0x44, 0x55, 0x66, 0}));
}

TEST_F(BmpWriterTest, SixteenColoursPackTwoIndicesPerByteHighNibbleFirst) {
  BitmapPtr b = PaletteImage(5, 2, 16);
  const int top[5] = {1, 2, 3, 4, 15};
  const int bottom[5] = {15, 14, 0, 7, 9};
  for (int x = 0; x < 5; ++x) {
    Bitmap_SetPixel(*b, x, 0, top[x]);
    Bitmap_SetPixel(*b, x, 1, bottom[x]);
  }
  const Bytes file = Write(*b);
  EXPECT_EQ(file[28], 4);
  EXPECT_EQ(LE32(file, 10), 54u + 64u);
  ASSERT_EQ(file.size(), 54u + 64u + 2 * 4u);
  EXPECT_EQ(LE32(file, 2), file.size());
  const Bytes rows(file.begin() + 118, file.end());
  EXPECT_EQ(rows, (Bytes{0xFE, 0x07, 0x90, 0, 0x12, 0x34, 0xF0, 0}));
}

TEST_F(BmpWriterTest, ColourCountChoosesBitsAndStride) {
  struct Case {
    int colors, width, bits, stride;
  };
  const Case cases[] = {{1, 33, 1, 8}, {2, 32, 1, 4}, {3, 8, 4, 4}, {16, 9, 4, 8},
                        {17, 5, 8, 8}, {256, 4, 8, 4}, {0, 5, 24, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colors);
    BitmapPtr b = PaletteImage(c.width, 3, c.colors);
    const Bytes file = Write(*b);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[28], c.bits);
    EXPECT_EQ(LE32(file, 46), static_cast<std::uint32_t>(c.colors));
    EXPECT_EQ(LE32(file, 10), 54u + 4u * c.colors);
    EXPECT_EQ(file.size(), 54u + 4u * c.colors + 3u * c.stride);
    EXPECT_EQ(LE32(file, 2), file.size());
  }
}

TEST_F(BmpWriterTest, IndexWiderThanTheBitsDoesNotSpillIntoItsNeighbours) {
  BitmapPtr b = PaletteImage(3, 1, 2);
  Bitmap_SetPixel(*b, 1, 0, 0xFE);  // not a valid index of a 2-colour image
  const Bytes file = Write(*b);
  ASSERT_EQ(file.size(), 66u);
  EXPECT_EQ(file[62], 0x00);
}

TEST_F(BmpWriterTest, InconsistentImageIsRefusedWithAReport) {
  BitmapPtr b = PaletteImage(8, 8, 4);
  b->pData.resize(10);
  sys::Code result = sys::Code::kOk;
  const Bytes file = Write(*b, &result);
  EXPECT_EQ(result, sys::Code::kInternal);
  EXPECT_TRUE(file.empty());
  ASSERT_EQ(ctx_.Messages().size(), 1u);
  EXPECT_EQ(ctx_.Messages()[0].code, sys::Code::kInternal);
  EXPECT_FALSE(ctx_.Messages()[0].warning);
}

TEST_F(BmpWriterTest, FailedWriteIsReported) {
  BitmapPtr b = PaletteImage(4, 4, 4);
  sys::File closed;  // every write to it fails
  OutBuffer out(closed);
  EXPECT_EQ(WriteBmpFile(out, b.get(), ctx_), sys::Code::kIo);
  EXPECT_EQ(WriteBmpFile(out, nullptr, ctx_), sys::Code::kNoImage);
  ASSERT_EQ(ctx_.Messages().size(), 2u);
  EXPECT_EQ(ctx_.Messages()[0].code, sys::Code::kIo);
  EXPECT_EQ(ctx_.Messages()[1].code, sys::Code::kNoImage);
}

// Random pictures of every layout and many widths come back unchanged through
// our reader.
TEST_F(BmpWriterTest, ReaderGetsBackEveryPixel) {
  std::mt19937 random(7);
  for (int colors : {2, 5, 16, 200, 0, -1}) {
    for (int width : {1, 2, 3, 7, 8, 9, 31, 33}) {
      SCOPED_TRACE(::testing::Message() << "colors " << colors << " width " << width);
      const int height = 1 + static_cast<int>(random() % 4);
      BitmapPtr b = MakeBitmap(width, height, colors > 0 ? colors : 0);
      for (int i = 0; i < std::max(colors, 0); ++i) Bitmap_SetPalColor(*b, i, random() & 0xFFFFFF);
      b->HasAlpha = colors < 0 ? 1 : 0;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const std::uint32_t v = colors > 0 ? random() % colors : (colors == 0 ? random() & 0xFFFFFF : random());
          Bitmap_SetPixel(*b, x, y, v);
        }
      }
      const Bytes file = Write(*b);
      sys::Context readCtx;
      const ReadResult read = ReadBmpFile(file, ReadOptions{}, readCtx);
      ASSERT_TRUE(read) << read.text;
      EXPECT_TRUE(readCtx.Messages().empty());
      const BitmapPtr& back = read.image;
      ASSERT_EQ(back->XSize, width);
      ASSERT_EQ(back->YSize, height);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          ASSERT_EQ(Bitmap_GetPixelColor(*back, x, y) & 0xFFFFFF, Bitmap_GetPixelColor(*b, x, y) & 0xFFFFFF)
              << x << "," << y;
          if (colors < 0) {
            ASSERT_EQ(Bitmap_GetPixelColor(*back, x, y) >> 24, Bitmap_GetPixelColor(*b, x, y) >> 24);
          }
        }
      }
    }
  }
}

}  // namespace
