// Transparency through reading, conversion and every file writer: GIFs made
// by giflib with each transparent index, read by our reader, written as GIF,
// PNG and BMP, and the images a PNG or GIF save leaves behind written again,
// each read back by giflib, libpng or our readers. Transparent are exactly
// the pixels of the file's transparent index, and every other pixel keeps
// its colour, even one of the transparent entry's colour.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "GifTestFiles.h"
#include "image/ColorConvert.h"
#include "readers/GifDecoder.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

#ifdef RASTRA_HAVE_GIFLIB

namespace {

using gif_test::Bytes;
using gif_test::Rgb;

constexpr Color kRgbMask = 0xFFFFFF;

// What a picture must show: per pixel its colour, or none where transparent.
using Expected = std::vector<std::optional<Rgb>>;

struct Written {
  Bytes file;
  BitmapPtr replacement;
};

Written Write(const Bitmap& image, int type) {
  sys::MemorySink sink;
  sys::Context ctx;
  WriteResult result = WriteImageFile(&image, sink, "out", OutputSpec{}, type, OutputOptions{}, ctx);
  EXPECT_TRUE(result.Ok()) << result.text;
  return {sink.Bytes(), std::move(result.replacement)};
}

BitmapPtr ReadOurs(const Bytes& file, int type) {
  sys::Context ctx;
  ReadResult result = LoadImageData(file, type, ReadOptions{}, ctx);
  EXPECT_TRUE(result.image) << result.text;
  return std::move(result.image);
}

// Our pictures: transparent are the pixels of entry 0 of a palette image with
// HasTrans, and the fully transparent pixels of a true-colour one with HasAlpha.
void ExpectPicture(const Bitmap& image, const Expected& expected, const std::string& what) {
  ASSERT_EQ(static_cast<std::size_t>(image.XSize) * image.YSize, expected.size()) << what;
  int wrong = 0;
  for (int y = 0; y < image.YSize; ++y) {
    for (int x = 0; x < image.XSize && wrong < 3; ++x) {
      const std::optional<Rgb>& want = expected[static_cast<std::size_t>(y) * image.XSize + x];
      const Color c = Bitmap_GetPixelColor(image, x, y);
      const bool transparent = image.NumColors != 0 ? image.HasTrans != 0 && Bitmap_GetPixel(image, x, y) == 0
                                                    : image.HasAlpha != 0 && (c >> 24) == 255;
      const bool ok = want ? !transparent && (c & kRgbMask) == *want : transparent;
      if (!ok) {
        ++wrong;
        ADD_FAILURE() << what << " at " << x << "," << y << ": 0x" << std::hex << c;
      }
    }
  }
}

void ExpectGiflibSees(const Bytes& file, const Expected& expected, const std::string& what) {
  const std::optional<gif_test::OracleGif> gif = gif_test::DecodeWithGiflib(file);
  ASSERT_TRUE(gif && gif->frames.size() == 1) << what;
  const gif_test::OracleFrame& frame = gif->frames.front();
  const std::vector<Rgb>& table = frame.localTable.empty() ? gif->globalTable : frame.localTable;
  ASSERT_EQ(frame.pixels.size(), expected.size()) << what;
  int wrong = 0;
  for (std::size_t i = 0; i < expected.size() && wrong < 3; ++i) {
    const int index = frame.pixels[i];
    const bool transparent = index == frame.transIndex;
    const bool ok = expected[i] ? !transparent && index < static_cast<int>(table.size()) &&
                                      table[static_cast<std::size_t>(index)] == *expected[i]
                                : transparent;
    if (!ok) {
      ++wrong;
      ADD_FAILURE() << what << " pixel " << i << ": index " << index << ", transparent index " << frame.transIndex;
    }
  }
}

void ExpectLibpngSees(const Bytes& file, const Expected& expected, const std::string& what) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_memory(&image, file.data(), file.size()), 0) << what;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr), 0) << what;
  ASSERT_EQ(rgba.size(), 4 * expected.size()) << what;
  int wrong = 0;
  for (std::size_t i = 0; i < expected.size() && wrong < 3; ++i) {
    const std::uint8_t* p = rgba.data() + 4 * i;
    const Rgb rgb = p[0] | (p[1] << 8) | (static_cast<Rgb>(p[2]) << 16);
    const bool ok = expected[i] ? p[3] == 255 && rgb == *expected[i] : p[3] == 0;
    if (!ok) {
      ++wrong;
      ADD_FAILURE() << what << " pixel " << i << ": 0x" << std::hex << rgb << " alpha " << std::dec << int{p[3]};
    }
  }
}

// A picture and every save of it, and the saves of what the GIF and PNG saves
// leave behind, show the same pixels. BMP holds no transparency in a palette
// file: there the colours count.
void ExpectEverySaveKeeps(const Bitmap& picture, const Expected& expected, const std::string& what) {
  ExpectPicture(picture, expected, what + ", read");
  Written gif = Write(picture, kOutputGif);
  ExpectGiflibSees(gif.file, expected, what + ", GIF save");
  ExpectPicture(*ReadOurs(gif.file, kFileTypeGif), expected, what + ", GIF save read back");
  Written png = Write(picture, kOutputPng);
  ExpectLibpngSees(png.file, expected, what + ", PNG save");
  ExpectPicture(*ReadOurs(png.file, kFileTypePng), expected, what + ", PNG save read back");
  ASSERT_TRUE(gif.replacement && png.replacement);
  ExpectPicture(*gif.replacement, expected, what + ", image after the GIF save");
  ExpectPicture(*png.replacement, expected, what + ", image after the PNG save");
  ExpectLibpngSees(Write(*gif.replacement, kOutputPng).file, expected, what + ", PNG after the GIF save");
  ExpectGiflibSees(Write(*png.replacement, kOutputGif).file, expected, what + ", GIF after the PNG save");
  const BitmapPtr bmp = ReadOurs(Write(picture, kOutputBmp).file, kFileTypeBmp);
  Expected colours = expected;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    if (!colours[i]) colours[i] = Bitmap_GetPixelColor(*bmp, static_cast<int>(i % bmp->XSize),
                                                       static_cast<int>(i / bmp->XSize)) & kRgbMask;
  }
  ExpectPicture(*bmp, colours, what + ", BMP save");
}

// A table of `entries` colours, all different, or with the entry after the
// transparent one repeating its colour; every index used, in a 16-pixel-wide
// picture.
struct GeneratedGif {
  Bytes file;
  Expected expected;
};

GeneratedGif MakeGif(int entries, int transIndex, bool repeatTransparentColour) {
  gif_test::OracleGif gif;
  gif.width = 16;
  gif.height = (2 * entries + 15) / 16;
  for (int i = 0; i < entries; ++i) gif.globalTable.push_back(static_cast<Rgb>((i * 0x3A5F1D + 0x102030) & kRgbMask));
  if (repeatTransparentColour) {
    gif.globalTable[static_cast<std::size_t>((transIndex + 1) % entries)] =
        gif.globalTable[static_cast<std::size_t>(transIndex)];
  }
  gif_test::OracleFrame frame;
  frame.width = gif.width;
  frame.height = gif.height;
  frame.transIndex = transIndex;
  GeneratedGif made;
  for (int i = 0; i < frame.width * frame.height; ++i) {
    const int index = (i * 7 + i / entries) % entries;
    frame.pixels.push_back(static_cast<std::uint8_t>(index));
    made.expected.push_back(index == transIndex ? std::nullopt
                                                : std::optional<Rgb>(gif.globalTable[static_cast<std::size_t>(index)]));
  }
  gif.frames.push_back(frame);
  made.file = gif_test::EncodeWithGiflib(gif).value_or(Bytes{});
  return made;
}

TEST(Transparency, EveryTransparentIndexOfAGifSurvivesEverySave) {
  for (const int entries : {2, 16, 256}) {
    for (const bool repeat : {false, true}) {
      for (int t = 0; t < entries; ++t) {
        const GeneratedGif gif = MakeGif(entries, t, repeat);
        ASSERT_FALSE(gif.file.empty());
        const BitmapPtr read = ReadOurs(gif.file, kFileTypeGif);
        ASSERT_TRUE(read);
        ExpectEverySaveKeeps(*read, gif.expected,
                             std::to_string(entries) + " entries, transparent " + std::to_string(t) +
                                 (repeat ? ", its colour repeated" : ""));
        if (HasFailure()) return;
      }
    }
  }
}

// Red transparent, green, blue and white: the reader makes the transparent
// entry white, and the white pixel used to turn transparent with it.
TEST(Transparency, OpaquePixelOfTheTransparentEntrysColourStaysOpaque) {
  gif_test::OracleGif gif;
  gif.width = gif.height = 2;
  gif.globalTable = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
  gif_test::OracleFrame frame;
  frame.width = frame.height = 2;
  frame.transIndex = 0;
  frame.pixels = {0, 1, 2, 3};
  gif.frames.push_back(frame);
  const Bytes file = gif_test::EncodeWithGiflib(gif).value_or(Bytes{});
  const BitmapPtr read = ReadOurs(file, kFileTypeGif);
  ASSERT_TRUE(read);
  EXPECT_EQ(Bitmap_GetPalColor(*read, 0) & kRgbMask, 0xFFFFFFu);
  ExpectEverySaveKeeps(*read, {std::nullopt, 0x00FF00, 0xFF0000, 0xFFFFFF}, "2 x 2");
}

// A true-colour picture with alpha (a PNG's, say): its fully transparent
// pixels, and no others, become the GIF's transparent ones; partly
// transparent pixels are opaque in a GIF.
TEST(Transparency, FullyTransparentPixelsOfATrueColourPictureBecomeTheGifsTransparentOnes) {
  sys::Context ctx;
  BitmapPtr picture = Bitmap_Create(16, 8, 0, ctx);
  Expected expected;
  for (int i = 0; i < 16 * 8; ++i) {
    const Rgb rgb = i % 5 == 0 ? 0xFFFFFF : static_cast<Rgb>((i * 0x050301) & kRgbMask);
    const Color t = i % 3 == 0 ? 255 : i % 7 == 0 ? 0x80 : 0;
    Bitmap_SetPixel(*picture, i % 16, i / 16, rgb | (t << 24));
    expected.push_back(t == 255 ? std::nullopt : std::optional<Rgb>(rgb));
  }
  picture->HasAlpha = 1;
  Written gif = Write(*picture, kOutputGif);
  ExpectGiflibSees(gif.file, expected, "GIF save");
  ASSERT_TRUE(gif.replacement);
  ExpectPicture(*gif.replacement, expected, "image after the GIF save");
  ExpectPicture(*ReadOurs(gif.file, kFileTypeGif), expected, "GIF save read back");
}

// The best palette with a transparent entry keeps a palette image's
// transparent pixels (it used to drop them for want of HasAlpha), and keeps
// 255 opaque colours exactly when the transparent pixels' colour would have
// made them 256.
TEST(Transparency, TransparentPaletteConversionKeepsTransparencyAndColours) {
  const GeneratedGif gif = MakeGif(256, 9, false);
  BitmapPtr read = ReadOurs(gif.file, kFileTypeGif);
  ASSERT_TRUE(read);
  sys::Context ctx;
  BitmapPtr converted = ConvertToBestPaletteTrans(*read, 0xFFFFFF, OutputOptions{}, ctx);
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->HasTrans, 1);
  ExpectPicture(*converted, gif.expected, "converted");
}

}  // namespace

#endif  // RASTRA_HAVE_GIFLIB
