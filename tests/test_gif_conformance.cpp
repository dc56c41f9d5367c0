// The GIF decoder against giflib's decode of the same bytes, and against the
// GIF test-suite corpus.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "GifTestFiles.h"
#include "ReaderTestSupport.h"
#include "TestSupport.h"
#include "readers/GifDecoder.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using gif_test::Bytes;
using gif_test::Rgb;

// Frame count and playing time, from a walk to the trailer.
int Scan(const Bytes& bytes, GifInfo& info) {
  info.DataSize = static_cast<std::uint32_t>(bytes.size());
  sys::Context ctx;
  return ParseGif(bytes, info, nullptr, 0, ctx);
}

int DecodeRaw(const Bytes& bytes, GifInfo& info, GifFrame& frame, int frameNumber) {
  sys::Context ctx;
  return ParseGifFrameRaw(bytes, info, frame, frameNumber, ctx);
}

ReadResult ReadGif(const Bytes& bytes) {
  sys::Context ctx;
  return ReadGifFile(bytes, ReadOptions{}, ctx);
}

// Playing time of one graphic control delay, in ms.
std::uint32_t DelayMs(int centiseconds) {
  return centiseconds == 0 ? 100u : (10u * static_cast<std::uint32_t>(centiseconds)) & 0xFFFFu;
}

#ifdef RASTRA_HAVE_GIFLIB

using gif_test::OracleFrame;
using gif_test::OracleGif;

std::vector<Rgb> RandomTable(std::mt19937& rng, int bits) {
  std::vector<Rgb> table(static_cast<std::size_t>(1) << bits);
  for (Rgb& c : table) c = rng() & 0xFFFFFF;
  return table;
}

// Smooth bands with noise and flat patches, so the encoder builds long
// strings and runs its table full.
std::vector<std::uint8_t> RandomPicture(std::mt19937& rng, int w, int h, int colors) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h);
  const int flatColor = static_cast<int>(rng() % static_cast<unsigned>(colors));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int v = (x * 3 + y * 2) / 5 + static_cast<int>(rng() % 3);
      if ((x / 16 + y / 16) % 3 == 0) v = flatColor;
      pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(v % colors);
    }
  }
  return pixels;
}

OracleGif RandomGif(std::mt19937& rng, int w, int h, int bits, int frameCount, bool interlaced) {
  OracleGif gif;
  gif.width = w;
  gif.height = h;
  gif.globalTable = RandomTable(rng, bits);
  for (int i = 0; i < frameCount; ++i) {
    OracleFrame frame;
    int colors = 1 << bits;
    if (i > 0) {
      frame.width = 1 + static_cast<int>(rng() % static_cast<unsigned>(w));
      frame.height = 1 + static_cast<int>(rng() % static_cast<unsigned>(h));
      frame.left = static_cast<int>(rng() % static_cast<unsigned>(w - frame.width + 1));
      frame.top = static_cast<int>(rng() % static_cast<unsigned>(h - frame.height + 1));
      if (i % 2 == 1) {
        const int localBits = 1 + static_cast<int>(rng() % 8);
        frame.localTable = RandomTable(rng, localBits);
        colors = 1 << localBits;
      }
    } else {
      frame.width = w;
      frame.height = h;
    }
    frame.interlaced = interlaced != (i == 2);
    frame.pixels = RandomPicture(rng, frame.width, frame.height, colors);
    if (rng() % 2 == 0) frame.transIndex = static_cast<int>(rng() % static_cast<unsigned>(colors));
    if (rng() % 3 != 0) frame.delayCs = static_cast<int>(rng() % 9000);
    gif.frames.push_back(std::move(frame));
  }
  return gif;
}

// Our raw frame against giflib's: rectangle, palette, pixels, the canvas
// around the frame, and the graphic control values.
void ExpectFrameMatches(const GifFrame& ours, const OracleFrame& theirs, const std::vector<Rgb>& globalTable,
                        const std::string& what) {
  ASSERT_NE(ours.pBitmap, nullptr) << what;
  const Bitmap& b = *ours.pBitmap;
  EXPECT_EQ(ours.XPos, theirs.left) << what;
  EXPECT_EQ(ours.YPos, theirs.top) << what;
  EXPECT_EQ(ours.XSize, theirs.width) << what;
  EXPECT_EQ(ours.YSize, theirs.height) << what;
  const std::vector<Rgb>& table = theirs.localTable.empty() ? globalTable : theirs.localTable;
  // An index the table does not have is no transparency.
  const int transIndex = theirs.transIndex < static_cast<int>(table.size()) ? theirs.transIndex : -1;
  EXPECT_EQ(ours.TransIndex, transIndex) << what;
  if (theirs.delayCs >= 0) {
    EXPECT_EQ(ours.Delay, DelayMs(theirs.delayCs)) << what;
  }
  ASSERT_EQ(b.NumColors, static_cast<int>(table.size())) << what;
  for (int i = 0; i < b.NumColors; ++i) {
    const Color expected = i == transIndex ? 0xFFFFFFFFu : table[static_cast<std::size_t>(i)];
    ASSERT_EQ(Bitmap_GetPalColor(b, i), expected) << what << " entry " << i;
  }
  const int background = transIndex >= 0 ? transIndex : 0;
  for (int y = 0; y < b.YSize; ++y) {
    for (int x = 0; x < b.XSize; ++x) {
      const int fx = x - theirs.left;
      const int fy = y - theirs.top;
      const bool inside = fx >= 0 && fy >= 0 && fx < theirs.width && fy < theirs.height;
      const int expected =
          inside ? theirs.pixels[static_cast<std::size_t>(fy) * theirs.width + static_cast<std::size_t>(fx)]
                 : background;
      ASSERT_EQ(Bitmap_GetPixel(b, x, y), static_cast<std::uint32_t>(expected)) << what << " at " << x << "," << y;
    }
  }
}

// giflib's frame i with the transparent index it plays with: a frame without
// its own extension keeps the previous one's.
OracleFrame ExpectedFrame(const OracleGif& theirs, std::size_t i) {
  OracleFrame expected = theirs.frames[i];
  for (std::size_t k = i + 1; k-- > 0 && expected.transIndex < 0;) {
    if (theirs.frames[k].transIndex >= 0) expected.transIndex = theirs.frames[k].transIndex;
  }
  return expected;
}

void ExpectDecodeMatchesGiflib(const Bytes& bytes, const std::string& what) {
  const auto theirs = gif_test::DecodeWithGiflib(bytes);
  ASSERT_TRUE(theirs.has_value()) << what;
  GifInfo info;
  ASSERT_EQ(Scan(bytes, info), 0) << what;
  ASSERT_EQ(info.NumFrames, theirs->frames.size()) << what;
  std::uint32_t totalDelay = 0;
  for (const OracleFrame& f : theirs->frames) totalDelay += f.delayCs >= 0 ? DelayMs(f.delayCs) : 0;
  EXPECT_EQ(info.TotalDelay, totalDelay) << what;
  for (std::size_t i = 0; i < theirs->frames.size(); ++i) {
    GifFrame frame;
    ASSERT_EQ(DecodeRaw(bytes, info, frame, static_cast<int>(i)), 0) << what << " frame " << i;
    ExpectFrameMatches(frame, ExpectedFrame(*theirs, i), theirs->globalTable, what + " frame " + std::to_string(i));
  }

  // The one-pass walk gives the same frames.
  GifInfo walked;
  walked.DataSize = static_cast<std::uint32_t>(bytes.size());
  sys::Context ctx;
  const ReadLimits limits;
  GifFrameReader reader(bytes, walked, limits, ctx);
  ASSERT_TRUE(reader.ReadScreen()) << what;
  for (std::size_t i = 0; i < theirs->frames.size(); ++i) {
    GifFrame frame;
    ASSERT_EQ(reader.Next(frame, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kFrame) << what << " " << i;
    ExpectFrameMatches(frame, ExpectedFrame(*theirs, i), theirs->globalTable,
                       what + " walked frame " + std::to_string(i));
  }
  GifFrame end;
  EXPECT_EQ(reader.Next(end, GifFrameReader::Mode::kSkip), GifFrameReader::Step::kEnd) << what;
  EXPECT_EQ(walked.NumFrames, info.NumFrames) << what;
  EXPECT_EQ(walked.TotalDelay, info.TotalDelay) << what;
}

TEST(GifConformance, SingleFramesOfEverySizeAndDepthMatchGiflib) {
  std::mt19937 rng(20261207);
  const std::vector<std::pair<int, int>> sizes = {{1, 1},    {2, 3},    {17, 5},   {64, 64},  {100, 37},
                                                  {255, 3},  {3, 255},  {300, 200}, {640, 480}};
  for (const auto& [w, h] : sizes) {
    for (int bits = 1; bits <= 8; ++bits) {
      for (bool interlaced : {false, true}) {
        const OracleGif gif = RandomGif(rng, w, h, bits, 1, interlaced);
        const auto bytes = gif_test::EncodeWithGiflib(gif);
        ASSERT_TRUE(bytes.has_value());
        ExpectDecodeMatchesGiflib(*bytes, std::to_string(w) + "x" + std::to_string(h) + " " +
                                              std::to_string(1 << bits) + " colours" +
                                              (interlaced ? " interlaced" : ""));
        if (HasFailure()) return;
      }
    }
  }
}

TEST(GifConformance, AnimationsWithLocalTablesAndTransparencyMatchGiflib) {
  std::mt19937 rng(7);
  for (int round = 0; round < 24; ++round) {
    const int w = 1 + static_cast<int>(rng() % 200);
    const int h = 1 + static_cast<int>(rng() % 150);
    const int bits = 1 + round % 8;
    const OracleGif gif = RandomGif(rng, w, h, bits, 2 + round % 4, round % 3 == 0);
    const auto bytes = gif_test::EncodeWithGiflib(gif);
    ASSERT_TRUE(bytes.has_value());
    ExpectDecodeMatchesGiflib(*bytes, "animation " + std::to_string(round));
    if (HasFailure()) return;
  }
}

TEST(GifConformance, TruncatedAndCorruptedFilesNeverCrash) {
  std::mt19937 rng(99);
  const OracleGif gif = RandomGif(rng, 120, 80, 8, 3, true);
  const auto bytes = gif_test::EncodeWithGiflib(gif);
  ASSERT_TRUE(bytes.has_value());
  for (std::size_t n = 0; n < bytes->size(); n += 1 + n / 16) {
    const Bytes cut(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(n));
    GifInfo info;
    sys::Context ctx;
    info.DataSize = static_cast<std::uint32_t>(cut.size());
    EXPECT_NE(ParseGif(cut, info, nullptr, 0, ctx), 0) << n;
    EXPECT_FALSE(ctx.LastFailureText().empty()) << n;  // a failed scan says why
    for (int i = 0; i < 3; ++i) {
      GifFrame frame;
      const int result = DecodeRaw(cut, info, frame, i);
      EXPECT_EQ(result == 0, frame.pBitmap != nullptr) << n;
    }
  }
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = *bytes;
    const int flips = 1 + round % 8;
    for (int k = 0; k < flips; ++k) {
      damaged[rng() % damaged.size()] = static_cast<std::uint8_t>(rng());
    }
    GifInfo info;
    Scan(damaged, info);
    for (int i = 0; i < 3; ++i) {
      GifFrame frame;
      const int result = DecodeRaw(damaged, info, frame, i);
      EXPECT_EQ(result == 0, frame.pBitmap != nullptr);
    }
    sys::Context ctx;
    const ReadResult loaded = ReadGifFile(damaged, ReadOptions{}, ctx);
    EXPECT_TRUE(testing_support::ExplainsFailure(loaded, ctx)) << round;
  }
}

#endif  // RASTRA_HAVE_GIFLIB

// ---- Corpus ----

struct RgbaPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

std::optional<RgbaPicture> ReadPng(const std::filesystem::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.string().c_str()) == 0) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  RgbaPicture picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return std::nullopt;
  }
  return picture;
}

std::vector<std::filesystem::path> CorpusGifs(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".gif") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Composited frame pictures: NAME.png for a still, NAME-0.png, NAME-1.png ...
// for an animation.
std::vector<std::filesystem::path> FramePictures(const std::filesystem::path& dir, const std::string& stem) {
  std::vector<std::filesystem::path> pictures;
  if (std::filesystem::exists(dir / "frames" / (stem + ".png"))) return {dir / "frames" / (stem + ".png")};
  for (int i = 0; std::filesystem::exists(dir / "frames" / (stem + "-" + std::to_string(i) + ".png")); ++i) {
    pictures.push_back(dir / "frames" / (stem + "-" + std::to_string(i) + ".png"));
  }
  return pictures;
}

TEST(GifCorpus, EveryFileLoadsWithItsFrameCount) {
  SKIP_WITHOUT_CORPUS(dir, "gif");
  const auto files = CorpusGifs(*dir);
  ASSERT_FALSE(files.empty());
  for (const auto& path : files) {
    const Bytes bytes = testing_support::ReadBytes(path.string());
    const std::string name = path.filename().string();
    BitmapPtr picture = ReadGif(bytes).image;
    ASSERT_NE(picture, nullptr) << name;
    GifInfo info;
    ASSERT_EQ(Scan(bytes, info), 0) << name;
    EXPECT_EQ(picture->XSize, info.XSize) << name;
    EXPECT_EQ(picture->YSize, info.YSize) << name;
    EXPECT_EQ(info.NumFrames, FramePictures(*dir, path.stem().string()).size()) << name;
    // Every frame decodes the way the animation writer asks for it.
    info.FirstGlobalFrame = -1;
    for (int i = 0; i < static_cast<int>(info.NumFrames); ++i) {
      GifFrame frame;
      sys::Context ctx;
      ASSERT_EQ(ParseGif(bytes, info, &frame, i, ctx), 0) << name << " frame " << i;
      ASSERT_NE(frame.pBitmap, nullptr);
    }
    // And so does the one-pass walk the animation writer makes.
    info.FirstGlobalFrame = -1;
    sys::Context ctx;
    const ReadLimits limits;
    GifFrameReader reader(bytes, info, limits, ctx);
    ASSERT_TRUE(reader.ReadScreen()) << name;
    for (std::uint32_t i = 0; i < info.NumFrames; ++i) {
      GifFrame frame;
      ASSERT_EQ(reader.Next(frame, GifFrameReader::Mode::kDecode), GifFrameReader::Step::kFrame) << name << " " << i;
      ASSERT_NE(frame.pBitmap, nullptr);
    }
  }
}

#ifdef RASTRA_HAVE_GIFLIB
TEST(GifCorpus, TotalDelayAgreesWithGiflib) {
  SKIP_WITHOUT_CORPUS(dir, "gif");
  for (const auto& path : CorpusGifs(*dir)) {
    const Bytes bytes = testing_support::ReadBytes(path.string());
    const auto theirs = gif_test::DecodeWithGiflib(bytes);
    ASSERT_TRUE(theirs.has_value()) << path;
    std::uint32_t total = 0;
    for (const OracleFrame& f : theirs->frames) total += f.delayCs >= 0 ? DelayMs(f.delayCs) : 0;
    GifInfo info;
    ASSERT_EQ(Scan(bytes, info), 0);
    EXPECT_EQ(info.TotalDelay, total) << path.filename();
    EXPECT_EQ(info.NumFrames, theirs->frames.size()) << path.filename();
  }
}
#endif

// A still equals its picture everywhere; the first frame of an animation
// equals its composited picture inside the frame's rectangle.
TEST(GifCorpus, FirstFramesAgreeWithTheirPictures) {
  SKIP_WITHOUT_CORPUS(dir, "gif");
  int compared = 0;
  for (const auto& path : CorpusGifs(*dir)) {
    const std::string name = path.filename().string();
    const auto pictures = FramePictures(*dir, path.stem().string());
    ASSERT_FALSE(pictures.empty()) << name;
    const auto expected = ReadPng(pictures[0]);
    ASSERT_TRUE(expected.has_value()) << pictures[0];
    const Bytes bytes = testing_support::ReadBytes(path.string());
    GifInfo info;
    info.DataSize = static_cast<std::uint32_t>(bytes.size());
    GifFrame frame;
    ASSERT_EQ(DecodeRaw(bytes, info, frame, 0), 0) << name;
    const Bitmap& b = *frame.pBitmap;
    ASSERT_EQ(b.XSize, expected->width) << name;
    ASSERT_EQ(b.YSize, expected->height) << name;
    const bool still = pictures.size() == 1;
    BitmapPtr loaded = still ? ReadGif(bytes).image : nullptr;
    const int right = std::min<int>(b.XSize, frame.XPos + frame.XSize);
    const int bottom = std::min<int>(b.YSize, frame.YPos + frame.YSize);
    for (int y = frame.YPos; y < bottom; ++y) {
      for (int x = frame.XPos; x < right; ++x) {
        const std::uint8_t* px = expected->rgba.data() + 4 * (static_cast<std::size_t>(y) * expected->width + x);
        const Rgb rgb = px[0] | (px[1] << 8) | (static_cast<Rgb>(px[2]) << 16);
        const bool transparent = px[3] == 0;
        const std::uint32_t index = Bitmap_GetPixel(b, x, y);
        if (transparent) {
          ASSERT_EQ(static_cast<int>(index), frame.TransIndex) << name << " at " << x << "," << y;
        } else {
          ASSERT_EQ(Bitmap_GetPalColor(b, static_cast<int>(index)), rgb) << name << " at " << x << "," << y;
        }
        if (loaded) {
          // The loaded still: a palette of its own colours, transparency at 0.
          const std::uint32_t loadedIndex = Bitmap_GetPixel(*loaded, x, y);
          if (transparent) {
            ASSERT_TRUE(loaded->HasTrans == 1 && loadedIndex == 0) << name << " at " << x << "," << y;
          } else {
            ASSERT_FALSE(loaded->HasTrans == 1 && loadedIndex == 0) << name << " at " << x << "," << y;
            ASSERT_EQ(Bitmap_GetPixelColor(*loaded, x, y) & 0xFFFFFF, rgb) << name << " at " << x << "," << y;
          }
        }
      }
    }
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
