// Files other decoders open: RLE8 files that end every row, bit-field files
// with an alpha mask, files whose names do not say what they are, and GIF and
// SBMP files beyond the old fixed size limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "BitmapTestHelpers.h"
#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "readers/BmpReader.h"
#include "readers/GifDecoder.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"
#include "writers/GifWriter.h"
#include "writers/ImageWriters.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::PutLE16;
using testing_support::PutLE32;
using testing_support::RawPixels;

// A BMP file of headerSize bytes of info header (40, 56, 108 or 124), with
// the colour table or masks between it and the pixels as given.
Bytes BmpFile(std::uint32_t headerSize, int width, int height, int bits, std::uint32_t compression,
              const std::vector<std::uint32_t>& masksInHeader, const Bytes& between, const Bytes& pixels,
              std::uint32_t sizeImage = 0) {
  Bytes info;
  PutLE32(info, headerSize);
  PutLE32(info, static_cast<std::uint32_t>(width));
  PutLE32(info, static_cast<std::uint32_t>(height));
  PutLE16(info, 1);
  PutLE16(info, static_cast<std::uint32_t>(bits));
  PutLE32(info, compression);
  PutLE32(info, sizeImage);
  for (int i = 0; i < 4; ++i) PutLE32(info, 0);
  for (std::uint32_t mask : masksInHeader) PutLE32(info, mask);
  info.resize(headerSize, 0);
  Bytes file = {'B', 'M'};
  const auto offset = static_cast<std::uint32_t>(14 + info.size() + between.size());
  PutLE32(file, static_cast<std::uint32_t>(offset + pixels.size()));
  PutLE32(file, 0);
  PutLE32(file, offset);
  file.insert(file.end(), info.begin(), info.end());
  file.insert(file.end(), between.begin(), between.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

ReadResult Read(const Bytes& data, int type, sys::Context& ctx, const ReadOptions& options = ReadOptions{}) {
  return LoadImageData(data, type, options, ctx);
}

// --- RLE8 ------------------------------------------------------------------

// Two rows of two pixels, every row (the top one too) ended by an end of line,
// then an end of bitmap: what image editors write.
Bytes Rle8EndingEveryRow() {
  Bytes palette;
  for (std::uint32_t c : {0x000000u, 0x0000FFu, 0x00FF00u}) PutLE32(palette, c);
  palette.resize(4 * 256, 0);
  const Bytes records = {2, 1, 0, 0, 2, 2, 0, 0, 0, 1};
  return BmpFile(40, 2, 2, 8, 1, {}, palette, records, static_cast<std::uint32_t>(records.size()));
}

TEST(OpenAnyFile, Rle8FilesMayEndTheTopRowWithAnEndOfLine) {
  sys::Context ctx;
  ReadResult result = Read(Rle8EndingEveryRow(), kFileTypeBmp, ctx);
  ASSERT_TRUE(result) << testing::PrintToString(testing_support::TextsOf(ctx));
  EXPECT_EQ(RawPixels(*result.image), (std::vector<std::uint32_t>{2, 2, 1, 1}));  // bottom row first in the file
  EXPECT_TRUE(ctx.Messages().empty());
}

// --- alpha masks -----------------------------------------------------------

Bytes Pixels32(const std::vector<std::uint32_t>& values) {
  Bytes out;
  for (std::uint32_t v : values) PutLE32(out, v);
  return out;
}

TEST(OpenAnyFile, AlphaMasksOfBigHeadersAreRead) {
  // Bottom row first: (0, 1) half transparent red, (1, 1) opaque green,
  // (0, 0) fully transparent, (1, 0) opaque blue.
  const Bytes pixels = Pixels32({0x80FF0000, 0xFF00FF00, 0x00000000, 0xFF0000FF});
  const std::vector<std::uint32_t> argb = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  for (std::uint32_t header : {56u, 108u, 124u}) {
    SCOPED_TRACE(header);
    sys::Context ctx;
    ReadResult result = Read(BmpFile(header, 2, 2, 32, 3, argb, {}, pixels), kFileTypeBmp, ctx);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.image->HasAlpha, 1);
    // 0xTTBBGGRR with T = 255 - alpha.
    EXPECT_EQ(RawPixels(*result.image),
              (std::vector<std::uint32_t>{0xFF000000, 0x00FF0000, 0x7F0000FF, 0x0000FF00}));
  }
  // A 40-byte header has no room for it: the alpha bits are no colour.
  sys::Context ctx;
  ReadResult plain = Read(BmpFile(40, 2, 2, 32, 3, {}, Pixels32({0x00FF0000, 0x0000FF00, 0x000000FF}), pixels),
                          kFileTypeBmp, ctx);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain.image->HasAlpha, 0);
  EXPECT_EQ(RawPixels(*plain.image), (std::vector<std::uint32_t>{0x000000, 0xFF0000, 0x0000FF, 0x00FF00}));
}

TEST(OpenAnyFile, AlphaBitfieldCompressionBringsItsFourthMask) {
  const Bytes masks = Pixels32({0x0F00, 0x00F0, 0x000F, 0xF000});
  Bytes pixels;
  for (std::uint32_t v : {0xFF00u, 0x80F0u, 0x000Fu, 0xFFFFu}) PutLE16(pixels, v);
  sys::Context ctx;
  ReadResult result = Read(BmpFile(40, 2, 2, 16, 6, {}, masks, pixels), kFileTypeBmp, ctx);
  ASSERT_TRUE(result) << testing::PrintToString(testing_support::TextsOf(ctx));
  EXPECT_EQ(result.image->HasAlpha, 1);
  // 4-bit channels scale by 17; alpha 8 gives 136, so T = 119.
  EXPECT_EQ(RawPixels(*result.image), (std::vector<std::uint32_t>{0xFFFF0000, 0x00FFFFFF, 0x000000FF, 0x7700FF00}));
}

TEST(OpenAnyFile, ThirtyTwoBitFilesWithoutAlphaStayVisible) {
  const Bytes pixels = Pixels32({0x00102030, 0x00405060});
  sys::Context ctx;
  ReadResult result = Read(BmpFile(40, 2, 1, 32, 0, {}, {}, pixels), kFileTypeBmp, ctx);
  ASSERT_TRUE(result);
  EXPECT_EQ(result.image->HasAlpha, 0);
  EXPECT_EQ(RawPixels(*result.image), (std::vector<std::uint32_t>{0x302010, 0x605040}));
  // A PNG of it is opaque, not an empty picture.
  sys::MemorySink sink;
  WriteResult written = WriteImageFile(result.image.get(), sink, "out.png", OutputSpec{}, kOutputPng, {}, ctx);
  ASSERT_TRUE(written.Ok());
  ASSERT_TRUE(written.replacement);
  EXPECT_EQ(RawPixels(*written.replacement), (std::vector<std::uint32_t>{0x302010, 0x605040}));
}

TEST(OpenAnyFile, CorpusAlphaFilesKeepTheirAlpha) {
  SKIP_WITHOUT_CORPUS(corpus, "bmp/q");
  const auto read = [&](const char* name) {
    sys::Context ctx;
    const Bytes data = testing_support::ReadBytes((*corpus / name).string());
    return LoadImageData(data, kFileTypeBmp, ReadOptions{}, ctx).image;
  };
  const BitmapPtr reference = read("rgba32-1.bmp");
  ASSERT_TRUE(reference);
  EXPECT_EQ(reference->HasAlpha, 1);
  // The same picture with the channels in other places, a 56-byte header and
  // alpha bit-field compression.
  for (const char* name : {"rgba32-2.bmp", "rgba32h56.bmp", "rgba32abf.bmp"}) {
    SCOPED_TRACE(name);
    const BitmapPtr other = read(name);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->HasAlpha, 1);
    EXPECT_EQ(RawPixels(*other), RawPixels(*reference));
  }
  for (const char* name : {"rgba16-4444.bmp", "rgba16-5551.bmp", "rgba32-61754.bmp", "rgba32-81284.bmp"}) {
    SCOPED_TRACE(name);
    const BitmapPtr other = read(name);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->HasAlpha, 1);
  }
}

// --- the content decides ---------------------------------------------------

TEST(OpenAnyFile, NamesThatDoNotSayTheTypeAreReadByContent) {
  testing_support::TempDir dir;
  const Bytes bmp = Rle8EndingEveryRow();
  Bytes gif;
  {
    sys::Context ctx;
    BitmapPtr picture = testing_support::MakeBitmap(3, 2, 0);
    sys::MemorySink sink;
    BitmapPtr written;
    ASSERT_EQ(WriteGifFile(picture.get(), sink, written, {}, ctx), sys::Code::kOk);
    gif = sink.Bytes();
  }
  struct Case {
    std::string name;
    const Bytes* bytes;
    int width;
  };
  const std::vector<Case> cases = {
      {"Photo.Gif", &gif, 3}, {"logo.Bmp", &bmp, 2}, {"no_extension", &gif, 3},
      {"really_a_bitmap.png", &bmp, 2}, {"really_a_gif.jpg", &gif, 3}, {"picture.dat", &bmp, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    testing_support::WriteBytes(path, *c.bytes);
    auto file = sys::File::OpenRead(path);
    ASSERT_TRUE(file);
    sys::Context ctx;
    ReadResult result = LoadImageFile(*file, FileTypeFromExtension(path), ReadOptions{}, ctx);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.image->XSize, c.width);
    EXPECT_TRUE(ctx.Messages().empty());  // read by content without a word
  }
}

TEST(OpenAnyFile, FilesNeitherNameNorContentIdentifyAreUnsupported) {
  testing_support::TempDir dir;
  const std::string path = dir.File("notes.txt");
  testing_support::WriteBytes(path, {'h', 'e', 'l', 'l', 'o'});
  auto file = sys::File::OpenRead(path);
  ASSERT_TRUE(file);
  sys::Context ctx;
  ReadResult result = LoadImageFile(*file, FileTypeFromExtension(path), ReadOptions{}, ctx);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.code, sys::Code::kUnknownType);
  EXPECT_EQ(result.text, "Unsupported file type");

  // A damaged file of the named type keeps the named reader's reason.
  EXPECT_EQ(FileTypeFromContent(Bytes{'x', 'y'}), kFileTypeNone);
  EXPECT_EQ(ChooseFileType(kFileTypePng, Bytes{'x', 'y'}), kFileTypePng);
  EXPECT_EQ(ChooseFileType(kFileTypePng, Bytes{0xFF, 0xD8, 0xFF, 0xE0}), kFileTypeJpeg);
  EXPECT_EQ(ChooseFileType(kFileTypeNone, Bytes{'S', 'B', 1, 0}), kFileTypeSbmp);
}

// --- sizes beyond the old fixed limits --------------------------------------

// A GIF banner of width x 1 pixels, one colour, made by our writer.
Bytes Banner(int width) {
  sys::Context ctx;
  BitmapPtr picture = testing_support::MakeBitmap(width, 1, 2);
  sys::MemorySink sink;
  BitmapPtr written;
  EXPECT_EQ(WriteGifFile(picture.get(), sink, written, {}, ctx), sys::Code::kOk);
  return sink.Bytes();
}

TEST(OpenAnyFile, WideGifBannersAndLargeFilesReadWithinTheLimitsInForce) {
  const Bytes banner = Banner(3000);
  sys::Context ctx;
  ReadResult wide = Read(banner, kFileTypeGif, ctx);
  ASSERT_TRUE(wide) << testing::PrintToString(testing_support::TextsOf(ctx));
  EXPECT_EQ(wide.image->XSize, 3000);

  // The old messages stay for files beyond the limits a caller sets.
  ReadOptions narrow;
  narrow.limits.maxWidth = 2000;
  narrow.limits.maxHeight = 2000;
  sys::Context refused;
  ReadResult tooWide = Read(banner, kFileTypeGif, refused, narrow);
  EXPECT_EQ(tooWide.code, sys::Code::kLimit);
  EXPECT_EQ(refused.LastFailureText(), "Illegal image size (3000 x 1): GIF images may be at most 2000 x 2000 pixels");

  ReadOptions small;
  small.limits.maxFileBytes = banner.size() - 1;
  sys::Context tooLong;
  EXPECT_EQ(Read(banner, kFileTypeGif, tooLong, small).code, sys::Code::kLimit);
  EXPECT_EQ(tooLong.LastFailureText(), "File too long");
}

TEST(OpenAnyFile, SbmpFilesAboveEightMillionBytesRead) {
  // 3000 x 1000 true-colour pixels in 3,000,000 one-pixel runs of 5 bytes.
  constexpr int kWidth = 3000;
  constexpr int kHeight = 1000;
  Bytes file = {'S', 'B'};
  PutLE16(file, kWidth);
  PutLE16(file, kHeight);
  PutLE16(file, 0);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    PutLE16(file, 1);
    file.push_back(static_cast<std::uint8_t>(i));
    file.push_back(2);
    file.push_back(3);
  }
  ASSERT_GT(file.size(), 8000000u);
  sys::Context ctx;
  ReadResult result = Read(file, kFileTypeSbmp, ctx);
  ASSERT_TRUE(result);
  EXPECT_EQ(Bitmap_GetPixel(*result.image, 5, 0), 0x030205u);
  ReadOptions small;
  small.limits.maxFileBytes = 8000000;
  sys::Context refused;
  EXPECT_EQ(Read(file, kFileTypeSbmp, refused, small).code, sys::Code::kLimit);
}

}  // namespace
