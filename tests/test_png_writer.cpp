// PNG writer: read back through libpng's simplified API, the replacement
// image and its undo step, error reports.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "image/Bitmap.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/PngWriter.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::CopyBitmap;
using testing_support::MakeBitmap;
using testing_support::TextsOf;

struct Rgba {
  int width = 0;
  int height = 0;
  Bytes pixels;  // red, green, blue, alpha; top row first
};

// Independent decode of a PNG file.
bool DecodePng(const Bytes& file, Rgba& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) return false;
  image.format = PNG_FORMAT_RGBA;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.assign(PNG_IMAGE_SIZE(image), 0);
  return png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
}

// The RGBA a reader must see for every picture pixel: the colour and 255 - T.
Bytes ExpectedRgba(const Bitmap& b) {
  Bytes out;
  for (int y = 0; y < b.YSize; ++y) {
    for (int x = 0; x < b.XSize; ++x) {
      const Color c = Bitmap_GetPixelColor(b, x, y);
      out.push_back(static_cast<std::uint8_t>(c));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
      out.push_back(static_cast<std::uint8_t>(c >> 16));
      out.push_back(static_cast<std::uint8_t>(255 - (c >> 24)));
    }
  }
  return out;
}

BitmapPtr RandomImage(int w, int h, int colors, std::uint32_t seed) {
  std::mt19937 random(seed);
  BitmapPtr b = MakeBitmap(w, h, colors);
  for (int i = 0; i < colors; ++i) Bitmap_SetPalColor(*b, i, random());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) Bitmap_SetPixel(*b, x, y, colors != 0 ? random() % colors : random());
  }
  return b;
}

class PngWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDocument(); }
  void TearDown() override { ResetDocument(); }

  // Writes bitmap to path and returns the image the file was written from;
  // the writer's status lands in code_, what it has to say in ctx_.
  BitmapPtr WriteTo(const std::string& path, const Bitmap& bitmap) {
    auto file = sys::File::Create(path);
    EXPECT_TRUE(file.has_value());
    BitmapPtr written;
    code_ = WritePngFile(&bitmap, *file, written, ctx_);
    file->Close();
    return written;
  }

  testing_support::TempDir dir_;
  sys::Context ctx_;
  sys::Code code_ = sys::Code::kInternal;
};

TEST_F(PngWriterTest, PaletteImageComesBackAsIdenticalRgba) {
  BitmapPtr b = RandomImage(37, 11, 19, 1);
  Bitmap_SetPalColor(*b, 3, 0xFF00FF00);  // fully transparent entry
  Bitmap_SetPalColor(*b, 4, 0x40102030);
  const Bytes expected = ExpectedRgba(*b);
  const std::string path = dir_.File("p.png");
  BitmapPtr result = WriteTo(path, *b);
  EXPECT_EQ(code_, sys::Code::kOk);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 0);
  EXPECT_EQ(result->HasAlpha, 1);
  EXPECT_EQ(b->NumColors, 19);  // the caller's image is left as it was
  Rgba back;
  ASSERT_TRUE(DecodePng(testing_support::ReadBytes(path), back));
  EXPECT_EQ(back.width, 37);
  EXPECT_EQ(back.height, 11);
  EXPECT_EQ(back.pixels, expected);
  EXPECT_TRUE(ctx_.Messages().empty());
}

TEST_F(PngWriterTest, TrueColourImageKeepsItsTransparencyAsAlpha) {
  for (int hasAlpha : {0, 1}) {
    SCOPED_TRACE(hasAlpha);
    BitmapPtr b = RandomImage(64, 33, 0, 2);
    b->HasAlpha = hasAlpha;
    const Bytes expected = ExpectedRgba(*b);
    const std::string path = dir_.File("t.png");
    BitmapPtr result = WriteTo(path, *b);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->HasAlpha, 1);
    EXPECT_EQ(b->HasAlpha, hasAlpha);
    if (hasAlpha == 0) {
      EXPECT_EQ(result->pData, b->pData);  // a plain true-colour image needs no conversion
    }
    Rgba back;
    ASSERT_TRUE(DecodePng(testing_support::ReadBytes(path), back));
    EXPECT_EQ(back.pixels, expected);
  }
}

TEST_F(PngWriterTest, FileUsesRgbaAndBestCompression) {
  BitmapPtr b = RandomImage(8, 8, 4, 3);
  const std::string path = dir_.File("c.png");
  ASSERT_NE(WriteTo(path, *b), nullptr);
  const Bytes file = testing_support::ReadBytes(path);
  ASSERT_GT(file.size(), 33u + 10u);
  EXPECT_EQ(file[24], 8);  // bit depth
  EXPECT_EQ(file[25], 6);  // colour type RGBA
  EXPECT_EQ(file[28], 0);  // no interlace
  // The first chunk after IHDR is IDAT; its zlib header says deflate with
  // maximum compression (FLEVEL 3).
  ASSERT_EQ(std::string(file.begin() + 37, file.begin() + 41), "IDAT");
  EXPECT_EQ(file[41] & 0x0F, 8);
  EXPECT_EQ(file[42] >> 6, 3);
}

// The writer leaves the document alone; the caller makes the written image
// current, and undo gives the palette image back.
TEST_F(PngWriterTest, UndoRestoresThePaletteImage) {
  ImageDocument& doc = GetDocument();
  doc.current = RandomImage(5, 4, 3, 4);
  const Bytes pixels = doc.current->pData;
  BitmapPtr written = WriteTo(dir_.File("u.png"), *doc.current);
  ASSERT_EQ(code_, sys::Code::kOk);
  ASSERT_NE(written, nullptr);
  EXPECT_FALSE(CanUndo());
  ApplyReplacement(doc, std::move(written));
  ASSERT_NE(doc.current, nullptr);
  EXPECT_EQ(doc.current->NumColors, 0);
  EXPECT_EQ(doc.current->HasAlpha, 1);
  ASSERT_TRUE(CanUndo());
  PopUndo();
  ASSERT_NE(doc.current, nullptr);
  EXPECT_EQ(doc.current->NumColors, 3);
  EXPECT_EQ(doc.current->pData, pixels);
  EXPECT_FALSE(CanUndo());
}

// A failed save says so and still gives the converted picture back, which
// the caller makes the current image.
TEST_F(PngWriterTest, WriteFailuresAreReportedAndKeepTheImage) {
  sys::File closed;
  BitmapPtr source = RandomImage(4, 4, 0, 5);
  BitmapPtr kept;
  EXPECT_EQ(WritePngFile(source.get(), closed, kept, ctx_), sys::Code::kIo);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->XSize, 4);
  EXPECT_EQ(TextsOf(ctx_), std::vector<std::string>{"Error writing PNG: WriteFile() returns NULL"});

  // A device that refuses data part-way: noise does not compress, so the
  // file's buffer overflows while libpng is still writing.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto full = sys::File::Create("/dev/full");
  ASSERT_TRUE(full.has_value());
  sys::Context ctx;
  BitmapPtr noise = RandomImage(300, 300, 0, 6);
  const BitmapPtr before = CopyBitmap(*noise);
  BitmapPtr written;
  EXPECT_EQ(WritePngFile(noise.get(), *full, written, ctx), sys::Code::kIo);
  EXPECT_NE(written, nullptr);
  EXPECT_EQ(TextsOf(ctx), std::vector<std::string>{"Error writing PNG: Not all data could be writen"});
  // The image before the conversion is still the caller's, unchanged.
  EXPECT_EQ(noise->pData, before->pData);
  EXPECT_EQ(noise->HasAlpha, 0);
}

TEST_F(PngWriterTest, LibpngRefusalOfAnEmptyImageIsReported) {
  BitmapPtr empty = MakeBitmap(0, 3, 0);
  EXPECT_NE(WriteTo(dir_.File("e.png"), *empty), nullptr);
  EXPECT_EQ(code_, sys::Code::kIo);
  EXPECT_TRUE(testing_support::Recorded(ctx_, sys::Code::kIo));
}

TEST_F(PngWriterTest, InconsistentImageIsRefused) {
  BitmapPtr b = RandomImage(6, 6, 0, 7);
  b->pData.resize(3);
  sys::File closed;
  BitmapPtr written;
  EXPECT_EQ(WritePngFile(b.get(), closed, written, ctx_), sys::Code::kInternal);
  EXPECT_EQ(written, nullptr);
  EXPECT_EQ(WritePngFile(nullptr, closed, written, ctx_), sys::Code::kNoImage);
  EXPECT_EQ(written, nullptr);
  ASSERT_EQ(ctx_.Messages().size(), 2u);
  EXPECT_EQ(ctx_.Messages()[0].code, sys::Code::kInternal);
  EXPECT_EQ(ctx_.Messages()[1].code, sys::Code::kNoImage);
}

}  // namespace
