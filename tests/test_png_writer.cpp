// PNG writer: read back through libpng's simplified API, the replacement
// image and its undo step, error reports.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <map>
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

// The chunks of a file by type, for looking at the header and the tables.
std::map<std::string, Bytes> Chunks(const Bytes& file) {
  std::map<std::string, Bytes> chunks;
  for (std::size_t pos = 8; pos + 12 <= file.size();) {
    const std::size_t length = (std::size_t{file[pos]} << 24) | (std::size_t{file[pos + 1]} << 16) |
                               (std::size_t{file[pos + 2]} << 8) | file[pos + 3];
    const std::string type(file.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                           file.begin() + static_cast<std::ptrdiff_t>(pos + 8));
    Bytes& data = chunks[type];
    data.insert(data.end(), file.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                file.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
    pos += 12 + length;
  }
  return chunks;
}

// The smallest layout that keeps every pixel: palette pictures as palette
// PNGs of the fewest bits (their transparency in tRNS), opaque true colour as
// RGB, the rest as RGBA; each read back as the image the save leaves.
TEST_F(PngWriterTest, FileLayoutFitsThePicture) {
  struct Case {
    const char* name;
    int colours;    // 0: true colour
    int hasTrans;
    bool opaque;    // true colour: every T 0
    int colorType;
    int bitDepth;
    std::size_t trns;  // tRNS bytes
  };
  const Case cases[] = {
      {"2 entries", 2, 0, true, 3, 1, 0},        {"3 entries", 3, 0, true, 3, 2, 0},
      {"16 entries", 16, 0, true, 3, 4, 0},      {"19 entries", 19, 0, true, 3, 8, 0},
      {"transparent entry", 19, 1, true, 3, 8, 1}, {"opaque true colour", 0, 0, true, 2, 8, 0},
      {"true colour with T", 0, 0, false, 6, 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapPtr b = RandomImage(23, 7, c.colours, 8);
    if (c.colours != 0) {
      for (int i = 0; i < c.colours; ++i) Bitmap_SetPalColor(*b, i, Bitmap_GetPalColor(*b, i) & 0xFFFFFF);
    } else if (c.opaque) {
      for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 23; ++x) Bitmap_SetPixel(*b, x, y, Bitmap_GetPixel(*b, x, y) & 0xFFFFFF);
      }
    }
    b->HasTrans = static_cast<std::uint8_t>(c.hasTrans);
    const std::string path = dir_.File("l.png");
    BitmapPtr written = WriteTo(path, *b);
    ASSERT_NE(written, nullptr);
    const Bytes file = testing_support::ReadBytes(path);
    const std::map<std::string, Bytes> chunks = Chunks(file);
    ASSERT_EQ(chunks.count("IHDR"), 1u);
    EXPECT_EQ(chunks.at("IHDR")[8], c.bitDepth);
    EXPECT_EQ(chunks.at("IHDR")[9], c.colorType);
    EXPECT_EQ(chunks.count("tRNS") != 0 ? chunks.at("tRNS").size() : 0u, c.trns);
    if (c.trns != 0) {
      EXPECT_EQ(chunks.at("tRNS")[0], 0);
    }
    if (c.colours != 0) {
      EXPECT_EQ(chunks.at("PLTE").size(), 3u * static_cast<unsigned>(c.colours));
    }
    Rgba back;
    ASSERT_TRUE(DecodePng(file, back));
    EXPECT_EQ(back.pixels, ExpectedRgba(*written));
  }
}

// Indices past a palette read as black, as everywhere else; the file's
// table grows to cover them instead of holding indices libpng refuses.
TEST_F(PngWriterTest, IndicesPastThePaletteAreWrittenBlack) {
  BitmapPtr b = MakeBitmap(3, 1, 2);
  Bitmap_SetPalColor(*b, 0, 0x0000FF);
  Bitmap_SetPalColor(*b, 1, 0x00FF00);
  for (int x = 0; x < 3; ++x) Bitmap_SetPixel(*b, x, 0, x == 2 ? 6 : x);
  const std::string path = dir_.File("s.png");
  ASSERT_NE(WriteTo(path, *b), nullptr);
  Rgba back;
  ASSERT_TRUE(DecodePng(testing_support::ReadBytes(path), back));
  EXPECT_EQ(back.pixels, (Bytes{0xFF, 0, 0, 255, 0, 0xFF, 0, 255, 0, 0, 0, 255}));
  EXPECT_EQ(code_, sys::Code::kOk);
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
