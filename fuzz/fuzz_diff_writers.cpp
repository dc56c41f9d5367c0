// Differential harness of the BMP, PNG and GIF writers. The input chooses a
// picture: its size, a palette of 1 to 256 entries or true colour, the
// transparency bytes of its colours, HasAlpha and HasTrans. Each writer's
// file is read back by an independent library (libpng for PNG, giflib for
// GIF) and by our own reader, and every pixel must come back as the format
// keeps it:
//   BMP  red, green and blue; the transparency byte too when HasAlpha makes it
//        a 32-bit file (a file whose alpha is 0 everywhere reads as opaque);
//   PNG  RGBA with alpha = 255 - T, palette pictures through their entries,
//        the pixels of entry 0 fully transparent with HasTrans;
//   GIF  red, green and blue exactly (the pictures have at most 256 colours,
//        so the best palette holds them all, and our reader keeps the 255
//        opaque colours of a transparent one); transparent are the pixels of
//        entry 0 of a palette picture with HasTrans, the fully transparent
//        pixels of a true-colour one with HasAlpha, and no others, whatever
//        their colour.
#include <fuzzer/FuzzedDataProvider.h>
#include <png.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

#include "FuzzSupport.h"
#include "image/OutputOptions.h"
#include "readers/ImageReaders.h"
#include "tests/GifTestFiles.h"
#include "writers/ImageWriters.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int kMaxSide = 64;
// Small pictures (up to 256 pixels) map their colours entry by entry, larger
// ones through the palette search's tables. Every picture goes through three
// writers, four readers and two best palettes, so large ones come seldom.
constexpr int kSmallSide = 16;
constexpr int kLargeOneIn = 16;
constexpr Color kRgbMask = 0xFFFFFF;

std::uint32_t NextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// A colour whose transparency byte is 0, 255 or anything, as the input says.
Color MakeColor(std::uint32_t& state, int transparencyKind) {
  const Color rgb = NextRandom(state) & kRgbMask;
  const Color t = transparencyKind == 0 ? 0 : transparencyKind == 1 ? 255 : (NextRandom(state) & 0xFF);
  return rgb | (t << 24);
}

BitmapPtr MakePicture(FuzzedDataProvider& input, sys::Context& ctx) {
  std::uint32_t state = input.ConsumeIntegral<std::uint32_t>();
  const auto [width, height] = ConsumePictureSize(input, kSmallSide, kMaxSide, kLargeOneIn);
  const bool palette = input.ConsumeBool();
  const int colours = input.ConsumeIntegralInRange(1, 256);
  const int transparencyKind = input.ConsumeIntegralInRange(0, 3);
  // True colour: pixels drawn from a set of at most 256 colours.
  std::vector<Color> set(static_cast<std::size_t>(colours));
  for (Color& c : set) c = MakeColor(state, transparencyKind);
  BitmapPtr b = Bitmap_Create(width, height, palette ? colours : 0, ctx);
  if (!b) return nullptr;
  if (palette) {
    for (int i = 0; i < colours; ++i) Bitmap_SetPalColor(*b, i, set[static_cast<std::size_t>(i)]);
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = b->Row(y);
    for (int x = 0; x < width; ++x) {
      const auto index = NextRandom(state) % static_cast<std::uint32_t>(colours);
      if (palette) {
        row[x] = static_cast<std::uint8_t>(index);
      } else {
        Bitmap_StoreColor(row + 4 * x, set[index]);
      }
    }
  }
  b->HasAlpha = input.ConsumeBool() ? 1 : 0;
  b->HasTrans = input.ConsumeBool() ? 1 : 0;
  return b;
}

[[noreturn]] void Finding(const char* format, const char* what, int x, int y, Color got, Color expected) {
  std::fprintf(stderr, "%s finding: %s at (%d, %d): 0x%08X, expected 0x%08X\n", format, what, x, y, got, expected);
  __builtin_trap();
}

std::vector<std::uint8_t> Write(const Bitmap& picture, int type) {
  sys::MemorySink sink;
  sys::Context ctx = FuzzContext();
  const WriteResult result = WriteImageFile(&picture, sink, "out", OutputSpec{}, type, OutputOptions{}, ctx);
  if (!result.Ok()) {
    std::fprintf(stderr, "writer of type %d failed: %s\n", type, result.text.c_str());
    __builtin_trap();
  }
  return sink.Bytes();
}

BitmapPtr ReadBack(const std::vector<std::uint8_t>& file, int fileType, const char* format) {
  sys::Context ctx = FuzzContext();
  ReadResult read = LoadImageData(file, fileType, FuzzReadOptions(), ctx);
  if (!read.image) {
    std::fprintf(stderr, "%s finding: our reader refuses the file: %s\n", format, read.text.c_str());
    __builtin_trap();
  }
  return std::move(read.image);
}

// The picture's pixel colours, row by row: worked out once, every check compares with them.
using Pixels = std::vector<Color>;

Pixels PixelColors(const Bitmap& picture) {
  Pixels pixels;
  pixels.reserve(static_cast<std::size_t>(picture.XSize) * picture.YSize);
  for (int y = 0; y < picture.YSize; ++y) {
    for (int x = 0; x < picture.XSize; ++x) pixels.push_back(Bitmap_GetPixelColor(picture, x, y));
  }
  return pixels;
}

Color At(const Pixels& pixels, const Bitmap& picture, int x, int y) {
  return pixels[static_cast<std::size_t>(y) * picture.XSize + x];
}

void CheckSize(const Bitmap& read, const Bitmap& picture, const char* format) {
  if (read.XSize != picture.XSize || read.YSize != picture.YSize) Finding(format, "the size differs", 0, 0, 0, 0);
}

// --- BMP ----------------------------------------------------------------------

void CheckBmp(const Bitmap& picture, const Pixels& pixels) {
  const BitmapPtr read = ReadBack(Write(picture, kOutputBmp), kFileTypeBmp, "BMP");
  CheckSize(*read, picture, "BMP");
  const bool keepsAlpha = picture.NumColors == 0 && picture.HasAlpha != 0;
  const bool anyVisible =
      keepsAlpha && std::any_of(pixels.begin(), pixels.end(), [](Color c) { return (c >> 24) != 255; });
  const Color mask = keepsAlpha && anyVisible ? 0xFFFFFFFF : kRgbMask;
  for (int y = 0; y < picture.YSize; ++y) {
    for (int x = 0; x < picture.XSize; ++x) {
      const Color expected = At(pixels, picture, x, y) & mask;
      const Color got = Bitmap_GetPixelColor(*read, x, y);
      if (got != expected) Finding("BMP", "a pixel differs", x, y, got, expected);
    }
  }
}

// --- PNG ----------------------------------------------------------------------

std::optional<std::vector<std::uint8_t>> DecodeWithLibpng(const std::vector<std::uint8_t>& file, int& width,
                                                          int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return std::nullopt;
  }
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return pixels;
}

// Whether the writers treat the pixel as transparent (see the top).
bool Transparent(const Bitmap& picture, const Pixels& pixels, int x, int y) {
  if (picture.NumColors != 0) return picture.HasTrans != 0 && Bitmap_GetPixel(picture, x, y) == 0;
  return picture.HasAlpha != 0 && (At(pixels, picture, x, y) >> 24) == 255;
}

void CheckPng(const Bitmap& picture, const Pixels& pixels) {
  const std::vector<std::uint8_t> file = Write(picture, kOutputPng);
  int width = 0;
  int height = 0;
  const auto rgba = DecodeWithLibpng(file, width, height);
  if (!rgba) Finding("PNG", "libpng refuses the file", 0, 0, 0, 0);
  if (width != picture.XSize || height != picture.YSize) Finding("PNG", "libpng sees another size", 0, 0, 0, 0);
  const BitmapPtr read = ReadBack(file, kFileTypePng, "PNG");
  CheckSize(*read, picture, "PNG");
  const bool entryZeroTransparent = picture.NumColors != 0 && picture.HasTrans != 0;
  for (int y = 0; y < picture.YSize; ++y) {
    for (int x = 0; x < picture.XSize; ++x) {
      Color expected = At(pixels, picture, x, y);
      if (entryZeroTransparent && Bitmap_GetPixel(picture, x, y) == 0) expected |= 0xFF000000u;
      const std::uint8_t* p = rgba->data() + (static_cast<std::size_t>(y) * width + x) * 4;
      const Color theirs = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<Color>(255 - p[3]) << 24);
      if (theirs != expected) Finding("PNG", "libpng reads another pixel", x, y, theirs, expected);
      const Color ours = Bitmap_GetPixelColor(*read, x, y);
      if (ours != expected) Finding("PNG", "our reader reads another pixel", x, y, ours, expected);
    }
  }
}

// --- GIF ----------------------------------------------------------------------

// Whether the file should carry a transparent index: a palette picture's
// transparent entry needs a pixel of its colour for the best palette to hold
// it, a true-colour picture a fully transparent pixel.
bool HasTransparentIndex(const Bitmap& picture, const Pixels& pixels) {
  if (picture.NumColors != 0) {
    if (picture.HasTrans == 0) return false;
    const Color wanted = Bitmap_GetPalColor(picture, 0) & kRgbMask;
    return std::any_of(pixels.begin(), pixels.end(), [&](Color c) { return (c & kRgbMask) == wanted; });
  }
  return picture.HasAlpha != 0 && std::any_of(pixels.begin(), pixels.end(), [](Color c) { return (c >> 24) == 255; });
}

void CheckGif(const Bitmap& picture, const Pixels& pixels) {
  const std::vector<std::uint8_t> file = Write(picture, kOutputGif);
  const auto theirs = gif_test::DecodeWithGiflib(file);
  if (!theirs || theirs->frames.size() != 1) Finding("GIF", "giflib refuses the file", 0, 0, 0, 0);
  const gif_test::OracleFrame& frame = theirs->frames.front();
  if (frame.width != picture.XSize || frame.height != picture.YSize) Finding("GIF", "giflib sees another size", 0, 0, 0, 0);
  const bool transparentIndex = HasTransparentIndex(picture, pixels);
  if (frame.transIndex != (transparentIndex ? 0 : -1)) {
    Finding("GIF", "the transparent index differs", 0, 0, static_cast<Color>(frame.transIndex), transparentIndex ? 0 : -1);
  }
  const BitmapPtr read = ReadBack(file, kFileTypeGif, "GIF");
  CheckSize(*read, picture, "GIF");
  for (int y = 0; y < picture.YSize; ++y) {
    for (int x = 0; x < picture.XSize; ++x) {
      const Color expected = At(pixels, picture, x, y) & kRgbMask;
      const bool shouldBeTransparent = transparentIndex && Transparent(picture, pixels, x, y);
      const std::uint8_t index = frame.pixels[static_cast<std::size_t>(y) * frame.width + x];
      if (index >= theirs->globalTable.size()) Finding("GIF", "an index beyond the table", x, y, index, 0);
      if ((index == 0 && transparentIndex) != shouldBeTransparent) {
        Finding("GIF", "giflib sees another transparency", x, y, index, expected);
      }
      const Color table = theirs->globalTable[index];
      if (!shouldBeTransparent && table != expected) Finding("GIF", "giflib reads another colour", x, y, table, expected);
      const bool oursTransparent = read->HasTrans != 0 && Bitmap_GetPixel(*read, x, y) == 0;
      if (oursTransparent != shouldBeTransparent) Finding("GIF", "our reader sees another transparency", x, y, 0, 0);
      const Color ours = Bitmap_GetPixelColor(*read, x, y) & kRgbMask;
      if (!shouldBeTransparent && ours != expected) Finding("GIF", "our reader reads another colour", x, y, ours, expected);
    }
  }
}

// What was written, for reading a finding's log (RASTRA_FUZZ_DESCRIBE set).
void Describe(const Bitmap& picture) {
  std::set<Color> colours;
  for (int y = 0; y < picture.YSize; ++y) {
    for (int x = 0; x < picture.XSize; ++x) colours.insert(Bitmap_GetPixelColor(picture, x, y) & kRgbMask);
  }
  std::fprintf(stderr, "picture %d x %d, %d palette entries, %zu colours in use, HasAlpha %d, HasTrans %d\n",
               picture.XSize, picture.YSize, picture.NumColors, colours.size(), picture.HasAlpha, picture.HasTrans);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  sys::Context ctx = FuzzContext();
  const BitmapPtr picture = MakePicture(input, ctx);
  if (!picture) return 0;
  if (std::getenv("RASTRA_FUZZ_DESCRIBE") != nullptr) Describe(*picture);
  const Pixels pixels = PixelColors(*picture);
  CheckBmp(*picture, pixels);
  CheckPng(*picture, pixels);
  CheckGif(*picture, pixels);
  return 0;
}
