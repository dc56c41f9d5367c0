// BMP, DIB and SBMP decoding from files built byte by byte, and the choice of
// reader by file name.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ReaderTestSupport.h"
#include "TestSupport.h"
#include "readers/BmpReader.h"
#include "readers/ImageReaders.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using sys::Code;
using testing_support::FailsWith;
using testing_support::PutLE16;
using testing_support::PutLE32;
using testing_support::ReadRecorder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3;

// Colours of palettes below: red | green << 8 | blue << 16.
struct Dib {
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bits = 8;
  std::uint32_t compression = kRgb;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  std::vector<Color> palette;
  std::vector<std::uint32_t> masks;  // written right after the 40-byte header
  Bytes pixels;
};

Bytes InfoBlock(const Dib& d) {
  Bytes out;
  PutLE32(out, 40);
  PutLE32(out, static_cast<std::uint32_t>(d.width));
  PutLE32(out, static_cast<std::uint32_t>(d.height));
  PutLE16(out, 1);
  PutLE16(out, d.bits);
  PutLE32(out, d.compression);
  PutLE32(out, d.sizeImage);
  PutLE32(out, 0);
  PutLE32(out, 0);
  PutLE32(out, d.clrUsed);
  PutLE32(out, 0);
  for (std::uint32_t m : d.masks) PutLE32(out, m);
  for (Color c : d.palette) {
    out.push_back(static_cast<std::uint8_t>(c >> 16));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

Bytes BmpFile(const Dib& d) {
  const Bytes info = InfoBlock(d);
  Bytes out = {'B', 'M'};
  PutLE32(out, static_cast<std::uint32_t>(14 + info.size() + d.pixels.size()));
  PutLE32(out, 0);
  PutLE32(out, static_cast<std::uint32_t>(14 + info.size()));
  out.insert(out.end(), info.begin(), info.end());
  out.insert(out.end(), d.pixels.begin(), d.pixels.end());
  return out;
}

std::vector<Color> GreyPalette(int n) {
  std::vector<Color> p;
  for (int i = 0; i < n; ++i) p.push_back(static_cast<Color>(i * 0x010101));
  return p;
}

// Every read of a test goes into one context, so that what the reads said
// (messages and progress notes) can be looked at together.
class BmpReaderTest : public ::testing::Test {
 protected:
  ReadResult ReadFile(const Bytes& file, const ReadOptions& options = {}) {
    return ReadBmpFile(file, options, rec.Ctx());
  }
  ReadResult Read(const Dib& d) { return ReadFile(BmpFile(d)); }
  ReadResult ReadSbmp(const Bytes& file, const ReadOptions& options = {}) {
    return ReadSbmpFile(file, options, rec.Ctx());
  }
  ReadResult Decode(const Bytes& info, std::optional<std::span<const std::uint8_t>> pixels) {
    return DecodeDib(info, pixels, ReadOptions{}, rec.Ctx());
  }
  ReadRecorder rec;
};

// ---------------------------------------------------------------------------

TEST(FileTypeFromExtension, ComparesPrefixesCaseSensitivelyAndLastMatchWins) {
  EXPECT_EQ(FileTypeFromExtension("a.bmp"), kFileTypeBmp);
  EXPECT_EQ(FileTypeFromExtension("a.BMP"), kFileTypeBmp);
  EXPECT_EQ(FileTypeFromExtension("a.bmpx"), kFileTypeBmp);
  EXPECT_EQ(FileTypeFromExtension("a.Bmp"), kFileTypeNone);
  EXPECT_EQ(FileTypeFromExtension("a.sbmp"), kFileTypeSbmp);
  EXPECT_EQ(FileTypeFromExtension("a.gif"), kFileTypeGif);
  EXPECT_EQ(FileTypeFromExtension("a.giff"), kFileTypeGif);
  EXPECT_EQ(FileTypeFromExtension("a.GIF"), kFileTypeGif);
  EXPECT_EQ(FileTypeFromExtension("a.GIFF"), kFileTypeNone);
  EXPECT_EQ(FileTypeFromExtension("a.png"), kFileTypePng);
  EXPECT_EQ(FileTypeFromExtension("a.PNG"), kFileTypePng);
  EXPECT_EQ(FileTypeFromExtension("a.PNGs"), kFileTypeNone);
  EXPECT_EQ(FileTypeFromExtension("photo.jpx"), kFileTypeJpeg);
  EXPECT_EQ(FileTypeFromExtension("photo.jpeg"), kFileTypeJpeg);
  EXPECT_EQ(FileTypeFromExtension("photo.JPG"), kFileTypeJpeg);
  EXPECT_EQ(FileTypeFromExtension("photo.JPEG"), kFileTypeJpeg);
  EXPECT_EQ(FileTypeFromExtension("archive.tar.png"), kFileTypePng);
  EXPECT_EQ(FileTypeFromExtension("dir.old/file"), kFileTypeNone);
  EXPECT_EQ(FileTypeFromExtension("noextension"), kFileTypeNone);
}

TEST(FileTypeFromExtension, LooksOnlyAtTheFirst255Characters) {
  const std::string longName = std::string(251, 'x') + ".bmp";  // 255 characters
  EXPECT_EQ(FileTypeFromExtension(longName), kFileTypeBmp);
  EXPECT_EQ(FileTypeFromExtension(std::string(252, 'x') + ".bmp"), kFileTypeNone);  // cut to ".bm"
}

TEST_F(BmpReaderTest, LoadImageFileRefusesAnUnknownTypeAndDispatchesBmp) {
  testing_support::TempDir dir;
  const std::string path = dir.File("a.Bmp");
  Dib d;
  d.clrUsed = 2;
  d.palette = GreyPalette(2);
  d.pixels = {1, 0, 0, 0};
  // Neither the name nor the content says what the file is.
  const std::string unknown = dir.File("a.Bmq");
  Bytes notAnImage = BmpFile(d);
  notAnImage[0] = 'X';
  testing_support::WriteBytes(unknown, notAnImage);
  auto file = sys::File::OpenRead(unknown);
  ASSERT_TRUE(file);
  EXPECT_TRUE(FailsWith(LoadImageFile(*file, FileTypeFromExtension(unknown), {}, rec.Ctx()), Code::kUnknownType,
                        "Unsupported file type"));
  testing_support::WriteBytes(path, BmpFile(d));
  auto again = sys::File::OpenRead(path);
  BitmapPtr b = LoadImageFile(*again, kFileTypeBmp, {}, rec.Ctx()).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 1u);
}

// ---------------------------------------------------------------------------
// Failure table

TEST_F(BmpReaderTest, HeaderFailures) {
  EXPECT_TRUE(FailsWith(ReadFile(Bytes(13, 'B')), Code::kTruncated, "File too short (truncated ?)"));
  Bytes mb = {'M', 'B'};
  mb.resize(14, 0);
  EXPECT_TRUE(FailsWith(ReadFile(mb), Code::kNotRecognised, "Illegal file header !"));

  Dib jpeg;
  jpeg.bits = 0;
  EXPECT_TRUE(FailsWith(Read(jpeg), Code::kUnsupported,
                        "BITMAPINFOHEADER: biBitCount = 0 (JPEG format) not supported. Please convert image !"));
  for (std::uint16_t bits : {2, 3, 12, 64}) {
    rec.Clear();
    Dib odd;
    odd.bits = bits;
    odd.pixels = Bytes(16, 0);
    EXPECT_TRUE(FailsWith(Read(odd), Code::kUnsupported,
                          "Error in BITMAPINFOHEADER: biBitCount should be 0, 1, 4, 8, 16, 24 or 32"))
        << bits;
    EXPECT_EQ(rec.Texts().size(), 1u) << bits;
  }
}

TEST_F(BmpReaderTest, CompressionFailuresByDepth) {
  struct Case {
    std::uint16_t bits;
    std::uint32_t compression;
    const char* text;
  };
  const Case cases[] = {
      {4, kRle8, "4 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE4)"},
      {4, kBitfields, "4 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE4)"},
      {8, kRle4, "8 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)"},
      {16, kRle8, "16 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)"},
      {32, kRle4, "32 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)"},
      {32, 7, "32 BPP bitmap - Unknown compression format (should be BI_RGB or BI_RLE8)"},
  };
  for (const Case& c : cases) {
    rec.Clear();
    Dib d;
    d.bits = c.bits;
    d.compression = c.compression;
    d.sizeImage = 4;
    d.palette = GreyPalette(c.bits <= 8 ? 1 << c.bits : 0);
    d.pixels = Bytes(4, 0);
    EXPECT_TRUE(FailsWith(Read(d), Code::kUnsupported)) << c.text;
    EXPECT_EQ(rec.Texts(), std::vector<std::string>{c.text});
  }
}

TEST_F(BmpReaderTest, BitfieldMasksMustBeNonZero) {
  Dib d16;
  d16.bits = 16;
  d16.compression = kBitfields;
  d16.masks = {0xF800, 0x07E0, 0xFFFF0000};  // blue has no bit in the low 16
  d16.pixels = Bytes(4, 0);
  EXPECT_TRUE(FailsWith(Read(d16), Code::kCorrupt, "16 BPP bitmap - Invalid bitmask!"));

  Dib d32;
  d32.bits = 32;
  d32.compression = kBitfields;
  d32.masks = {0xFF0000, 0, 0xFF};
  d32.pixels = Bytes(4, 0);
  EXPECT_TRUE(FailsWith(Read(d32), Code::kCorrupt, "32 BPP bitmap - Unknown compression format"));
}

// ---------------------------------------------------------------------------
// Depths

TEST_F(BmpReaderTest, OneBitRowsAreBottomUpAndMsbFirst) {
  Dib d;
  d.width = 10;
  d.height = 2;
  d.bits = 1;
  d.palette = {0x000000, 0x0000FF};  // black, red
  // Stored row 0 is the bottom picture row.
  d.pixels = {0b10000000, 0b01000000, 0, 0, 0b01010101, 0b11000000, 0, 0};
  BitmapPtr b = Read(d).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 2);
  EXPECT_EQ(Bitmap_GetPalColor(*b, 1), 0x0000FFu);
  const std::vector<int> top = {0, 1, 0, 1, 0, 1, 0, 1, 1, 1};
  const std::vector<int> bottom = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(Bitmap_GetPixel(*b, x, 0), static_cast<std::uint32_t>(top[x])) << x;
    EXPECT_EQ(Bitmap_GetPixel(*b, x, 1), static_cast<std::uint32_t>(bottom[x])) << x;
  }
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded 1 bpp bitmap"});
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(BmpReaderTest, FourBitHighNibbleFirst) {
  Dib d;
  d.width = 3;
  d.height = 1;
  d.bits = 4;
  d.palette = GreyPalette(16);
  d.pixels = {0xAB, 0xC0, 0, 0};
  BitmapPtr b = Read(d).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 16);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0xAu);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0xBu);
  EXPECT_EQ(Bitmap_GetPixel(*b, 2, 0), 0xCu);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 2, 0), 0x0C0C0Cu);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded uncompressed 4 bpp bitmap"});
}

TEST_F(BmpReaderTest, EightBitPaletteSizeFollowsClrUsed) {
  Dib full;
  full.width = 2;
  full.palette = GreyPalette(256);
  full.pixels = {7, 200, 0, 0};
  BitmapPtr b = Read(full).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 256);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 1, 0), 200u * 0x010101u);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded uncompressed 8 bpp bitmap"});

  Dib sixteen;
  sixteen.clrUsed = 16;
  sixteen.palette = GreyPalette(16);
  sixteen.pixels = {15, 0, 0, 0};
  b = Read(sixteen).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 16);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0x0F0F0Fu);

  // A count beyond what 8 bits can index is cut to 256 entries.
  Dib oversized;
  oversized.clrUsed = 300;
  oversized.palette = GreyPalette(256);
  oversized.palette.resize(300, 0xFFFFFF);
  oversized.pixels = {255, 0, 0, 0};
  b = Read(oversized).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 256);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0xFFFFFFu);
}

TEST_F(BmpReaderTest, SixteenBitDefaultAndBitfieldMasks) {
  Dib rgb;
  rgb.width = 2;
  rgb.bits = 16;
  rgb.pixels = {0x00, 0x7C, 0x1F, 0x00};  // 0x7C00 pure red, 0x001F pure blue
  BitmapPtr b = Read(rgb).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 0);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x0000FFu);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0xFF0000u);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded 16 bpp bitmap (RGB)"});

  rec.Clear();
  Dib bf;
  bf.width = 2;
  bf.bits = 16;
  bf.compression = kBitfields;
  bf.masks = {0xF800, 0x07E0, 0x001F};
  bf.pixels = {0x10, 0x84, 0xFF, 0xFF};
  b = Read(bf).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00838183u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0x00FFFFFFu);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded 16 bpp bitmap (Bitfields)"});
}

TEST_F(BmpReaderTest, TwentyFourBitRowsArePaddedToFourBytes) {
  Dib d;
  d.width = 1;
  d.height = 2;
  d.bits = 24;
  d.pixels = {0x01, 0x02, 0x03, 0, 0x30, 0x20, 0x10, 0};  // bottom row first
  BitmapPtr b = Read(d).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 1), 0x010203u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x302010u);
  EXPECT_EQ(b->HasAlpha, 0);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded 24 bpp bitmap"});
}

TEST_F(BmpReaderTest, ThirtyTwoBitAlphaBecomesTransparencyByte) {
  Dib opaque;
  opaque.width = 2;
  opaque.bits = 32;
  opaque.pixels = {0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00};
  BitmapPtr b = Read(opaque).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasAlpha, 0);
  // Alpha zero everywhere is no transparency: the pixels stay opaque.
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00010203u);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded 32 bpp bitmap (RGB)"});

  Dib alpha = opaque;
  alpha.pixels[7] = 0x80;
  b = Read(alpha).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasAlpha, 1);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0x7F040506u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0xFF010203u);
}

TEST_F(BmpReaderTest, ThirtyTwoBitBitfieldsUseFullWidthMasks) {
  Dib d;
  d.width = 2;
  d.bits = 32;
  d.compression = kBitfields;
  d.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
  d.pixels = {0x33, 0x22, 0x11, 0xEE, 0xFF, 0x00, 0x80, 0x00};
  BitmapPtr b = Read(d).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00332211u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0x00FF0080u);
  EXPECT_EQ(b->HasAlpha, 0);
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded 32 bpp bitmap (BITFIELDS)"});

  // 10-bit channels scale down to 8 bits: 1023 -> 255, 512 -> 127.
  Dib wide = d;
  wide.width = 1;
  wide.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  const std::uint32_t pixel = (1023u << 20) | (512u << 10) | 0u;
  wide.pixels.clear();
  PutLE32(wide.pixels, pixel);
  b = Read(wide).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x00007FFFu);
}

TEST_F(BmpReaderTest, NegativeHeightIsReadTopDown) {
  Dib d;
  d.width = 1;
  d.height = -2;
  d.palette = GreyPalette(256);
  d.pixels = {9, 0, 0, 0, 5, 0, 0, 0};  // first stored row is the top row
  BitmapPtr b = Read(d).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->YSize, 2);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 9u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 1), 5u);
}

// ---------------------------------------------------------------------------
// RLE

Dib RleDib(std::uint16_t bits, int width, int height, Bytes stream) {
  Dib d;
  d.width = width;
  d.height = height;
  d.bits = bits;
  d.compression = bits == 8 ? kRle8 : kRle4;
  d.palette = GreyPalette(bits == 8 ? 256 : 16);
  d.sizeImage = static_cast<std::uint32_t>(stream.size());
  d.pixels = std::move(stream);
  return d;
}

std::vector<std::uint32_t> PictureRow(const Bitmap& b, int y) {
  std::vector<std::uint32_t> row;
  for (int x = 0; x < b.XSize; ++x) row.push_back(Bitmap_GetPixel(b, x, y));
  return row;
}

TEST_F(BmpReaderTest, Rle8RunsDeltaAndAbsoluteRunsWithPad) {
  // Bottom row: run of 2 x 7, absolute 3 pixels (1 2 3) + pad; next row after a
  // delta of 1 column: run of 1 x 9, then end of bitmap.
  const Bytes stream = {2, 7, 0, 3, 1, 2, 3, 0xEE, 0, 0, 0, 2, 1, 0, 1, 9, 0, 1};
  BitmapPtr b = Read(RleDib(8, 5, 3, stream)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 2), (std::vector<std::uint32_t>{7, 7, 1, 2, 3}));
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{0, 9, 0, 0, 0}));
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{0, 0, 0, 0, 0}));
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded compressed 8 bpp bitmap"});
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(BmpReaderTest, EndOfLineAtTheTopEndsRle8AndRle4Alike) {
  const Bytes rle8 = {2, 1, 0, 0, 2, 2, 0, 0, 0, 1};
  BitmapPtr eight = Read(RleDib(8, 2, 2, rle8)).image;
  ASSERT_NE(eight, nullptr);
  EXPECT_EQ(PictureRow(*eight, 0), (std::vector<std::uint32_t>{2, 2}));
  EXPECT_EQ(PictureRow(*eight, 1), (std::vector<std::uint32_t>{1, 1}));
  EXPECT_TRUE(rec.Texts().empty());

  rec.Clear();
  const Bytes rle4 = {2, 0x12, 0, 0, 2, 0x34, 0, 0, 0, 1};
  BitmapPtr b = Read(RleDib(4, 2, 2, rle4)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{3, 4}));
  EXPECT_EQ(rec.Notes(), std::vector<std::string>{"Loaded compressed 4 bpp bitmap."});
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(BmpReaderTest, Rle4AbsoluteRunsEndOnTwoByteBoundaries) {
  // 5 pixels: 3 bytes and a pad; 3 pixels: 2 bytes and none; then a run of 3
  // alternating nibbles.
  const Bytes stream = {0, 5, 0x12, 0x34, 0x5F, 0xEE, 0, 3, 0x67, 0x8F, 3, 0x9A, 0, 1};
  BitmapPtr b = Read(RleDib(4, 11, 1, stream)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 9}));
}

TEST_F(BmpReaderTest, RleByteCounts) {
  Dib negative = RleDib(8, 2, 1, {2, 1, 0, 1});
  negative.sizeImage = 0x80000000u;
  EXPECT_TRUE(FailsWith(Read(negative), Code::kCorrupt, "Can not decompress RLE8: File invalid: NumPixelBytes < 0"));
  negative = RleDib(4, 2, 1, {2, 0x11, 0, 1});
  negative.sizeImage = 0xFFFFFFFFu;
  EXPECT_TRUE(FailsWith(Read(negative), Code::kCorrupt, "Can not decompress RLE4: File invalid: NumPixelBytes < 0"));

  rec.Clear();
  Dib zero8 = RleDib(8, 2, 1, {2, 6, 0, 1});
  zero8.sizeImage = 0;
  BitmapPtr b = Read(zero8).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{6, 6}));
  EXPECT_EQ(rec.Texts(),
            std::vector<std::string>{"Illegal file format: 8 BPP, RLE8, NumPixelBytes == 0. Converting anyhow."});
  EXPECT_TRUE(rec.Warned(Code::kCorrupt));
  rec.Clear();
  Dib zero4 = RleDib(4, 2, 1, {2, 0x56, 0, 1});
  zero4.sizeImage = 0;
  b = Read(zero4).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{5, 6}));
  EXPECT_EQ(rec.Texts(),
            std::vector<std::string>{"Illegal file format: 4 BPP, RLE4, NumPixelBytes == 0. Converting anyhow."});
  EXPECT_TRUE(rec.Warned(Code::kCorrupt));
}

TEST_F(BmpReaderTest, RleDecodingStopsAtTheCountAndAtTheEndOfTheData) {
  // The count covers only the first record: the second is never read.
  Dib counted = RleDib(8, 4, 1, {2, 3, 2, 4});
  counted.sizeImage = 2;
  BitmapPtr b = Read(counted).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{3, 3, 0, 0}));

  // Cut inside an absolute run and before a delta's operands: the pixels that
  // are there arrive, nothing beyond the data is read.
  rec.Clear();
  Dib cut = RleDib(8, 6, 1, {1, 5, 0, 6, 1, 2});
  cut.sizeImage = 100;
  b = Read(cut).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{5, 1, 2, 0, 0, 0}));
  EXPECT_TRUE(rec.Warned(Code::kTruncated));

  Dib cutDelta = RleDib(4, 3, 2, {1, 0x70, 0, 2, 1});
  b = Read(cutDelta).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{7, 0, 0}));
}

TEST_F(BmpReaderTest, RleRunsOutsideTheImageAreDropped) {
  // A run longer than the row and a delta far above the top.
  const Bytes stream = {255, 4, 0, 2, 255, 255, 0, 3, 1, 2, 3, 0, 0, 1};
  BitmapPtr b = Read(RleDib(8, 3, 2, stream)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{4, 4, 4}));
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{0, 0, 0}));
}

TEST_F(BmpReaderTest, TopDownRleIsRefused) {
  Dib d = RleDib(8, 2, -2, {2, 1, 0, 1});
  EXPECT_TRUE(FailsWith(Read(d), Code::kCorrupt));
  ASSERT_EQ(rec.Texts().size(), 1u);
}

// ---------------------------------------------------------------------------
// Files that claim more than they hold

TEST_F(BmpReaderTest, OffsetsBeyondTheDataAreRefused) {
  Dib d;
  d.palette = GreyPalette(256);
  d.pixels = {1, 0, 0, 0};
  Bytes file = BmpFile(d);
  file[10] = 0xFF;  // bfOffBits far beyond the end
  file[11] = 0xFF;
  EXPECT_TRUE(FailsWith(ReadFile(file), Code::kCorrupt));

  rec.Clear();
  file = BmpFile(d);
  file.resize(14 + 40 + 100);  // the 256-entry colour table is cut
  file[10] = 54;
  file[11] = 0;
  EXPECT_TRUE(FailsWith(ReadFile(file), Code::kTruncated, "File too short (Incomplete or missing color table)"));
}

TEST_F(BmpReaderTest, ColourTableBeyondTheData) {
  Dib d;
  d.clrUsed = 0;
  d.palette = GreyPalette(4);  // the header asks for 256
  d.pixels = {};
  Bytes file = BmpFile(d);
  file[10] = 14 + 40;  // pixel data overlaps the table
  file[11] = 0;
  EXPECT_TRUE(FailsWith(ReadFile(file), Code::kTruncated, "File too short (Incomplete or missing color table)"));
}

TEST_F(BmpReaderTest, CutPixelRowsLoadAsFarAsTheyGoWithAWarning) {
  Dib d;
  d.width = 4;
  d.height = 4;
  d.palette = GreyPalette(256);
  d.pixels = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3};  // two whole rows and a piece
  BitmapPtr b = Read(d).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PictureRow(*b, 3), (std::vector<std::uint32_t>{1, 1, 1, 1}));
  EXPECT_EQ(PictureRow(*b, 2), (std::vector<std::uint32_t>{2, 2, 2, 2}));
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{0, 0, 0, 0}));
  EXPECT_TRUE(rec.Warned(Code::kTruncated));
}

TEST_F(BmpReaderTest, DimensionsTheDataCannotHoldAreRefusedBeforeAllocating) {
  Dib huge;
  huge.width = 3000000;
  huge.height = 2000000;
  huge.bits = 24;
  huge.pixels = Bytes(64, 0);
  EXPECT_TRUE(FailsWith(Read(huge), Code::kTruncated));
  EXPECT_EQ(rec.Texts().size(), 1u);

  rec.Clear();
  Dib hugeRle = RleDib(8, 100000, 100000, {0, 1});
  EXPECT_TRUE(FailsWith(Read(hugeRle), Code::kTruncated));
  EXPECT_EQ(rec.Texts().size(), 1u);
}

// Beyond 2^20 pixels RLE records must set an eighth of the picture: what
// follows the end of the bitmap, end-of-line records and deltas set nothing,
// however many bytes they take. 2048 x 1024 needs 131072 pixels set.
TEST_F(BmpReaderTest, RlePaddingAndRecordsThatSetNothingDoNotCountAsData) {
  const auto rows = [](int fullRows, int extraPixels) {
    Bytes stream;
    for (int y = 0; y < fullRows; ++y) {
      for (int i = 0; i < 16; ++i) stream.insert(stream.end(), {128, 7});
      stream.insert(stream.end(), {0, 0});
    }
    if (extraPixels > 0) stream.insert(stream.end(), {static_cast<std::uint8_t>(extraPixels), 7});
    stream.insert(stream.end(), {0, 2, 255, 255, 0, 1});  // a delta, then the end of the bitmap
    return stream;
  };
  Bytes padded = {0, 1};
  padded.resize(300000, 0);  // end-of-line records, had the bitmap not ended
  Bytes lines(300000, 0);
  const std::vector<std::pair<Bytes, bool>> cases = {
      {padded, false}, {lines, false}, {rows(63, 127), false}, {rows(64, 0), true}};
  for (const auto& [stream, loads] : cases) {
    rec.Clear();
    const ReadResult result = Read(RleDib(8, 2048, 1024, stream));
    EXPECT_EQ(result.image != nullptr, loads) << stream.size();
    if (!loads) {
      EXPECT_TRUE(FailsWith(result, Code::kTruncated));
    }
  }
}

TEST_F(BmpReaderTest, RleImageBeyondTheCeilingIsRefusedByTheAllocatorWithItsFullSize) {
  // 1.6 MB of runs fill 5000 rows, an eighth of 40000 x 40000 pixels, but
  // the 1.6 GB they need lie above the ceiling; the message names all of them.
  Bytes runs;
  for (int y = 0; y < 5000; ++y) {
    for (int i = 0; i < 156; ++i) runs.insert(runs.end(), {255, 0});
    runs.insert(runs.end(), {220, 0, 0, 0});  // the row's last 220 pixels, the end of the line
  }
  EXPECT_TRUE(FailsWith(Read(RleDib(8, 40000, 40000, runs)), Code::kOutOfMemory,
                        "Failed to allocate 0x5F5E1000 bytes of memory!"));
  ASSERT_EQ(rec.Ctx().Messages().size(), 1u);
  EXPECT_TRUE(rec.Ctx().Messages()[0].allocator);
}

TEST_F(BmpReaderTest, NonPositiveWidthAndZeroHeightAreRefused) {
  for (auto [w, h] : {std::pair{-127, 64}, std::pair{0, 1}, std::pair{1, 0}}) {
    rec.Clear();
    Dib d;
    d.width = w;
    d.height = h;
    d.palette = GreyPalette(256);
    d.pixels = Bytes(64, 0);
    EXPECT_TRUE(FailsWith(Read(d), Code::kCorrupt)) << w << " x " << h;
  }
}

TEST_F(BmpReaderTest, CompressedDataIsNotReadAsTwentyFourBitRows) {
  Dib d;
  d.bits = 24;
  d.compression = 4;
  d.pixels = Bytes(4, 0);
  EXPECT_TRUE(FailsWith(Read(d), Code::kUnsupported));
  EXPECT_EQ(rec.Texts().size(), 1u);
}

// ---------------------------------------------------------------------------
// Other header forms

TEST_F(BmpReaderTest, CoreHeaderUsesThreeByteTableEntries) {
  Bytes file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
  PutLE32(file, 14 + 12 + 3 * 3);  // a table of three entries only
  PutLE32(file, 12);
  PutLE16(file, 3);  // width
  PutLE16(file, 1);  // height
  PutLE16(file, 1);
  PutLE16(file, 8);
  const Bytes table = {0x30, 0x20, 0x10, 0x33, 0x22, 0x11, 0xCC, 0xBB, 0xAA};  // blue, green, red
  file.insert(file.end(), table.begin(), table.end());
  const Bytes pixels = {2, 0, 1, 0};
  file.insert(file.end(), pixels.begin(), pixels.end());
  BitmapPtr b = ReadFile(file).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 3);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0xCCBBAAu);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 1, 0), 0x302010u);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 2, 0), 0x332211u);
}

TEST_F(BmpReaderTest, ShortInfoHeaderLeavesMissingFieldsZero) {
  // A 16-byte header: the table starts right after the bit count, and the
  // palette bytes are not taken for a compression or a colour count.
  Bytes info;
  PutLE32(info, 16);
  PutLE32(info, 2);
  PutLE32(info, 1);
  PutLE16(info, 1);
  PutLE16(info, 1);
  const Bytes table = {0x01, 0x02, 0x03, 0x00, 0xFF, 0xFF, 0xFF, 0x00};
  info.insert(info.end(), table.begin(), table.end());
  info.insert(info.end(), {0x40, 0, 0, 0});
  BitmapPtr b = Decode(info, std::nullopt).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 2);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0x010203u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 1u);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 1, 0), 0xFFFFFFu);
}

TEST_F(BmpReaderTest, DecodeDibFindsPixelsAfterTableAndMasks) {
  Dib palette;
  palette.width = 2;
  palette.clrUsed = 2;
  palette.palette = {0x112233, 0x445566};
  palette.pixels = {1, 0, 0, 0};
  Bytes info = InfoBlock(palette);
  info.insert(info.end(), palette.pixels.begin(), palette.pixels.end());
  BitmapPtr b = Decode(info, std::nullopt).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0x445566u);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 1, 0), 0x112233u);

  Dib fields;
  fields.bits = 16;
  fields.compression = kBitfields;
  fields.masks = {0xF800, 0x07E0, 0x001F};
  info = InfoBlock(fields);
  info.insert(info.end(), {0x1F, 0x00, 0, 0});
  b = Decode(info, std::nullopt).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0xFF0000u);

  // Separate pixel data, and no pixel data at all.
  const Bytes separate = {0, 0xF8, 0, 0};
  b = Decode(InfoBlock(fields), std::span<const std::uint8_t>(separate)).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x0000FFu);
  rec.Clear();
  EXPECT_TRUE(FailsWith(Decode(InfoBlock(fields), std::nullopt), Code::kTruncated));
  EXPECT_EQ(rec.Texts().size(), 1u);
  EXPECT_TRUE(FailsWith(Decode(Bytes{40, 0}, std::nullopt), Code::kTruncated));
  EXPECT_EQ(rec.Texts().size(), 2u);
}

// Indices past the colour table (bmpsuite's pal8badindex) draw black in
// every writer: they take one added black entry, with a warning. RLE data
// reaches them the same way as plain rows.
TEST_F(BmpReaderTest, IndicesPastTheColourTableTakeAnAddedBlackEntry) {
  struct Case {
    const char* name;
    Dib dib;
    int entries;                       // after the read
    std::vector<std::uint32_t> row;    // the bottom row's indices after the read
    const char* warning;               // nullptr: none
  };
  Dib eight;
  eight.width = 4;
  eight.clrUsed = 3;
  eight.palette = {0x0000FF, 0x00FF00, 0xFF0000};
  eight.pixels = {2, 3, 200, 0};
  Dib one;
  one.bits = 1;
  one.width = 3;
  one.clrUsed = 1;
  one.palette = {0xFFFFFF};
  one.pixels = {0x40, 0, 0, 0};  // 0, 1, 0
  Dib rle = RleDib(8, 3, 1, {3, 5, 0, 1});
  rle.clrUsed = 2;
  rle.palette = {0x112233, 0x445566};
  Dib full = eight;
  full.clrUsed = 4;
  full.palette.push_back(0x808080);
  full.pixels = {2, 3, 3, 0};
  const Case cases[] = {
      {"8 bit", eight, 4, {2, 3, 3, 0}, "Pixels with colors past the color table (2) are drawn black"},
      {"1 bit", one, 2, {0, 1, 0}, "Pixels with colors past the color table (1) are drawn black"},
      {"RLE8", rle, 3, {2, 2, 2}, "Pixels with colors past the color table (3) are drawn black"},
      {"within the table", full, 4, {2, 3, 3, 0}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.Clear();
    BitmapPtr b = Read(c.dib).image;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->NumColors, c.entries);
    EXPECT_EQ(PictureRow(*b, b->YSize - 1), c.row);
    if (c.warning != nullptr) {
      EXPECT_EQ(Bitmap_GetPalColor(*b, c.entries - 1), 0x000000u);
      EXPECT_EQ(rec.Texts(), std::vector<std::string>{c.warning});
      EXPECT_TRUE(rec.Warned(Code::kCorrupt));
    } else {
      EXPECT_TRUE(rec.Texts().empty());
    }
  }
}

// ---------------------------------------------------------------------------
// SBMP

Bytes Sbmp(int width, int height, const std::vector<Color>& palette) {
  Bytes out = {'S', 'B'};
  PutLE16(out, static_cast<std::uint32_t>(width));
  PutLE16(out, static_cast<std::uint32_t>(height));
  PutLE16(out, static_cast<std::uint32_t>(palette.size()));
  for (Color c : palette) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c >> 16));
  }
  return out;
}

void IndexRun(Bytes& out, std::uint16_t count, std::uint8_t index) {
  PutLE16(out, count);
  out.push_back(index);
}

void ColourRun(Bytes& out, std::uint16_t count, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  PutLE16(out, count);
  out.insert(out.end(), {r, g, b});
}

TEST_F(BmpReaderTest, SbmpPaletteRunsInReadingOrderIgnoringOverflow) {
  Bytes file = Sbmp(3, 2, {0x0000FF, 0x00FF00, 0xFF0000});
  IndexRun(file, 2, 1);
  IndexRun(file, 3, 2);  // wraps into the second row
  IndexRun(file, 100, 0);  // runs past the last pixel
  BitmapPtr b = ReadSbmp(file).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 3);
  EXPECT_EQ(Bitmap_GetPalColor(*b, 2), 0xFF0000u);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{1, 1, 2}));
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{2, 2, 0}));
  EXPECT_TRUE(rec.Texts().empty());
}

TEST_F(BmpReaderTest, SbmpIndicesPastThePaletteTakeAnAddedBlackEntry) {
  Bytes file = Sbmp(3, 1, {0x0000FF, 0x00FF00});
  IndexRun(file, 1, 1);
  IndexRun(file, 2, 7);
  BitmapPtr b = ReadSbmp(file).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 3);
  EXPECT_EQ(Bitmap_GetPalColor(*b, 2), 0x000000u);
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{1, 2, 2}));
  EXPECT_TRUE(rec.Warned(Code::kCorrupt));
}

TEST_F(BmpReaderTest, SbmpWithoutPaletteIsTrueColour) {
  Bytes file = Sbmp(2, 1, {});
  ColourRun(file, 1, 0x11, 0x22, 0x33);
  ColourRun(file, 1, 0xAA, 0xBB, 0xCC);
  BitmapPtr b = ReadSbmp(file).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->NumColors, 0);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x332211u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 1, 0), 0xCCBBAAu);
}

TEST_F(BmpReaderTest, SbmpCutInsideTheRunsReturnsThePartialImage) {
  Bytes file = Sbmp(2, 2, {0x000000, 0xFFFFFF});
  IndexRun(file, 3, 1);
  file.push_back(4);  // the last record is cut short
  BitmapPtr b = ReadSbmp(file).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"File too short (Missing data)"});
  EXPECT_TRUE(rec.Warned(Code::kTruncated));
  EXPECT_EQ(PictureRow(*b, 0), (std::vector<std::uint32_t>{1, 1}));
  EXPECT_EQ(PictureRow(*b, 1), (std::vector<std::uint32_t>{1, 0}));
}

TEST_F(BmpReaderTest, SbmpFailures) {
  struct Case {
    Bytes file;
    Code code;
    const char* text;
  };
  Bytes noTable = Sbmp(1, 1, {});
  noTable[6] = 2;  // two colours announced, none present
  Bytes tooMany = Sbmp(1, 1, std::vector<Color>(257, 0));
  Bytes wrong = Sbmp(1, 1, {});
  wrong[0] = 's';
  const Case cases[] = {
      {Bytes{'S', 'B', 1, 0, 1, 0, 0}, Code::kTruncated, "File too short (Incomplete header)"},
      {wrong, Code::kNotRecognised, "Illegal file header !"},
      {noTable, Code::kTruncated, "File too short (Incomplete or missing color table)"},
  };
  for (const Case& c : cases) {
    rec.Clear();
    EXPECT_TRUE(FailsWith(ReadSbmp(c.file), c.code)) << c.text;
    EXPECT_EQ(rec.Texts(), std::vector<std::string>{c.text});
  }
  rec.Clear();
  EXPECT_TRUE(FailsWith(ReadSbmp(tooMany), Code::kCorrupt));
  EXPECT_EQ(rec.Texts().size(), 1u);
}

TEST_F(BmpReaderTest, SbmpFileSizeLimitComesFromTheReadLimits) {
  // Beyond the limit in force the file is refused unread, whatever it holds.
  ReadOptions eightMillion;
  eightMillion.limits.maxFileBytes = 8000000;
  const Bytes zeros(8000001, 0);
  EXPECT_TRUE(FailsWith(ReadSbmp(zeros, eightMillion), Code::kLimit));
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"File too long"});

  // The default limits read such a file: these bytes then fail on their header.
  rec.Clear();
  EXPECT_TRUE(FailsWith(ReadSbmp(zeros), Code::kNotRecognised, "Illegal file header !"));

  // A good file exactly at the limit is read.
  Bytes atLimit = Sbmp(2, 1, {0x000000, 0xFFFFFF});
  IndexRun(atLimit, 2, 1);
  ReadOptions exact;
  exact.limits.maxFileBytes = atLimit.size();
  EXPECT_NE(ReadSbmp(atLimit, exact).image, nullptr);
  exact.limits.maxFileBytes = atLimit.size() - 1;
  EXPECT_TRUE(FailsWith(ReadSbmp(atLimit, exact), Code::kLimit, "File too long"));
}

TEST_F(BmpReaderTest, SbmpHeaderTheRunsCanNotFillIsRefusedBeforeAllocating) {
  // 60000 x 60000 would pass the allocator's ceiling in a palette image of
  // 3.6 GB only by failing; one run record can not justify even trying.
  Bytes hostile = Sbmp(60000, 60000, {0x000000, 0xFFFFFF});
  IndexRun(hostile, 0xFFFF, 1);
  EXPECT_TRUE(FailsWith(ReadSbmp(hostile), Code::kTruncated));
  EXPECT_EQ(rec.Texts(),
            std::vector<std::string>{"File too short: a 60000 x 60000 SBMP image can not be filled from 1 run records"});

  // Beyond 2^20 pixels the runs' own counts decide: records of nothing are
  // no data.
  rec.Clear();
  Bytes empty = Sbmp(4096, 512, {});
  for (int i = 0; i < 1000; ++i) ColourRun(empty, 0, 1, 2, 3);
  EXPECT_TRUE(FailsWith(ReadSbmp(empty), Code::kTruncated));
  rec.Clear();
  Bytes counted = Sbmp(4096, 512, {});
  for (int i = 0; i < 4; ++i) ColourRun(counted, 0xFFFF, 1, 2, 3);  // 262140 pixels, 4 short of an eighth
  EXPECT_TRUE(FailsWith(ReadSbmp(counted), Code::kTruncated));
  rec.Clear();
  ColourRun(counted, 4, 1, 2, 3);
  EXPECT_NE(ReadSbmp(counted).image, nullptr);

  // Runs for an eighth of the pixels still give the partial image.
  rec.Clear();
  Bytes eighth = Sbmp(1024, 511, {});
  ColourRun(eighth, 0xFFFF, 1, 2, 3);
  BitmapPtr b = ReadSbmp(eighth).image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"File too short (Missing data)"});
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x030201u);
}

}  // namespace

// A run longer than its row stops at the row's end, also where no padding
// hides a spilled byte (rows of 4 bytes): the next stored row keeps its own
// pixels, and a run on the top row writes nothing past the pixel block.
TEST_F(BmpReaderTest, Rle8RunsLongerThanTheRowStopAtItsEnd) {
  struct Case {
    const char* name;
    Bytes stream;
    std::vector<std::uint32_t> top;
    std::vector<std::uint32_t> bottom;
  };
  const std::vector<Case> cases = {
      {"bottom row", {6, 5, 0, 0, 1, 7, 0, 1}, {7, 0, 0, 0}, {5, 5, 5, 5}},
      {"top row", {4, 5, 0, 0, 9, 7, 0, 1}, {7, 7, 7, 7}, {5, 5, 5, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitmapPtr b = Read(RleDib(8, 4, 2, c.stream)).image;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(PictureRow(*b, 0), c.top);
    EXPECT_EQ(PictureRow(*b, 1), c.bottom);
  }
}
