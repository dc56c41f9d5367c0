// Animations read in one pass: the frame iterator gives every frame exactly
// as decoding that frame alone does, counts frames beyond 16 bits, keeps to
// the frame limit, and owns the colour tables it hands out.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "BitmapTestHelpers.h"
#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "readers/GifDecoder.h"
#include "writers/GifWriter.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::PaletteOf;
using testing_support::RawPixels;

struct FrameSpec {
  int transIndex = -1;  // -1: the graphic control marks none
  bool localTable = false;
  std::uint8_t left = 0;
  std::uint8_t top = 0;
  std::uint8_t width = 2;
  std::uint8_t height = 2;
  std::uint8_t delay = 3;
};

// A 4 x 3 screen with a global table of four colours; frames of two-bit
// indices counting up from the frame number.
Bytes MakeGif(const std::vector<FrameSpec>& frames, bool withControls = true) {
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 3, 0, 0x81, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 210, 220};
  int number = 0;
  for (const FrameSpec& f : frames) {
    if (withControls) {
      const auto flags = static_cast<std::uint8_t>(f.transIndex >= 0 ? 1 : 0);
      const auto index = static_cast<std::uint8_t>(f.transIndex >= 0 ? f.transIndex : 0);
      for (std::uint8_t b : {std::uint8_t{0x21}, std::uint8_t{0xF9}, std::uint8_t{4}, flags, f.delay, std::uint8_t{0},
                             index, std::uint8_t{0}}) {
        gif.push_back(b);
      }
    }
    for (std::uint8_t b : {std::uint8_t{0x2C}, f.left, std::uint8_t{0}, f.top, std::uint8_t{0}, f.width,
                           std::uint8_t{0}, f.height, std::uint8_t{0}}) {
      gif.push_back(b);
    }
    gif.push_back(f.localTable ? 0x81 : 0);
    if (f.localTable) {
      for (int i = 0; i < 12; ++i) gif.push_back(static_cast<std::uint8_t>(number * 16 + i));
    }
    Bytes indices;
    for (int i = 0; i < f.width * f.height; ++i) indices.push_back(static_cast<std::uint8_t>((number + i) % 4));
    GifLzwEncoder encoder(2, [&gif](const std::uint8_t* bytes, std::size_t n) {
      gif.insert(gif.end(), bytes, bytes + n);
      return true;
    });
    encoder.Begin();
    encoder.Add(indices.data(), indices.size());
    encoder.Finish();
    gif.push_back(0);
    ++number;
  }
  gif.push_back(0x3B);
  return gif;
}

void ExpectSameFrame(const GifFrame& alone, const GifFrame& walked, std::uint32_t number) {
  SCOPED_TRACE("frame " + std::to_string(number));
  ASSERT_TRUE(alone.pBitmap);
  ASSERT_TRUE(walked.pBitmap);
  EXPECT_EQ(RawPixels(*walked.pBitmap), RawPixels(*alone.pBitmap));
  EXPECT_EQ(PaletteOf(*walked.pBitmap), PaletteOf(*alone.pBitmap));
  EXPECT_EQ(walked.pBitmap->HasTrans, alone.pBitmap->HasTrans);
  EXPECT_EQ(walked.Delay, alone.Delay);
  EXPECT_EQ(walked.TransIndex, alone.TransIndex);
  EXPECT_EQ(walked.LocalTableFrame, alone.LocalTableFrame);
  EXPECT_EQ(walked.NumColors, alone.NumColors);
  EXPECT_EQ(walked.ColorTable, alone.ColorTable);
}

// Every frame of the walk against the same frame decoded on its own, in both
// the displayed and the raw form.
void ExpectWalkEqualsSingleFrames(const Bytes& data) {
  for (const auto mode : {GifFrameReader::Mode::kDecode, GifFrameReader::Mode::kRaw}) {
    sys::Context ctx;
    GifInfo scanned;
    scanned.DataSize = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(ParseGif(data, scanned, nullptr, 0, ctx), 0);
    ASSERT_GT(scanned.NumFrames, 0u);
    GifInfo info = scanned;
    info.FirstGlobalFrame = -1;
    GifFrameReader reader(data, info, ReadLimits{}, ctx);
    ASSERT_TRUE(reader.ReadScreen());
    for (std::uint32_t i = 0; i < scanned.NumFrames; ++i) {
      GifFrame walked;
      ASSERT_EQ(reader.Next(walked, mode), GifFrameReader::Step::kFrame) << i;
      GifInfo single = scanned;
      single.FirstGlobalFrame = -1;
      GifFrame alone;
      const int result = mode == GifFrameReader::Mode::kDecode
                             ? ParseGif(data, single, &alone, static_cast<int>(i), ctx)
                             : ParseGifFrameRaw(data, single, alone, static_cast<int>(i), ctx);
      ASSERT_EQ(result, 0) << i;
      ExpectSameFrame(alone, walked, i);
    }
    GifFrame after;
    EXPECT_EQ(reader.Next(after, mode), GifFrameReader::Step::kEnd);
    EXPECT_EQ(info.NumFrames, scanned.NumFrames);
    EXPECT_EQ(info.TotalDelay, scanned.TotalDelay);
    EXPECT_TRUE(ctx.Messages().empty());
  }
}

TEST(GifFrames, TheWalkGivesEachFrameAsDecodingItAloneDoes) {
  // Transparency and delay carry over from one graphic control to the frames
  // after it; local tables, offsets and frames reaching past the screen.
  ExpectWalkEqualsSingleFrames(MakeGif({{-1}, {2}, {-1, true}, {1, false, 3, 2, 2, 2, 9}, {0, true, 1, 1, 3, 2, 0}}));
  ExpectWalkEqualsSingleFrames(MakeGif({{}, {}, {}}, false));
}

TEST(GifFrames, CorpusAnimationsWalkAsTheirSingleFramesDecode) {
  SKIP_WITHOUT_CORPUS(corpus, "gif");
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(*corpus)) {
    if (entry.path().extension() != ".gif") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ExpectWalkEqualsSingleFrames(testing_support::ReadBytes(entry.path().string()));
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

// The walk must leave a frame exactly after its last sub-block, whether or
// not its rows used all of its data: here a frame mostly below the screen.
TEST(GifFrames, AFrameOnlyPartlyOnTheScreenLeavesTheWalkInStep) {
  const Bytes data = MakeGif({{-1, false, 0, 2, 4, 200}, {1}, {-1, false, 1, 0, 3, 3}});
  ExpectWalkEqualsSingleFrames(data);
}

TEST(GifFrames, FrameCountsGoBeyondSixteenBits) {
  const Bytes data = MakeGif(std::vector<FrameSpec>(65537, FrameSpec{-1, false, 0, 0, 1, 1, 1}));
  sys::Context ctx;
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data.size());
  ASSERT_EQ(ParseGif(data, info, nullptr, 0, ctx), 0);
  EXPECT_EQ(info.NumFrames, 65537u);
  EXPECT_EQ(info.TotalDelay, 65537u * 10u);
}

TEST(GifFrames, FramesBeyondTheLimitEndTheWalkWithAReason) {
  const Bytes data = MakeGif(std::vector<FrameSpec>(20));
  ReadLimits limits;
  limits.maxFrames = 12;
  sys::Context ctx;
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data.size());
  EXPECT_NE(ParseGif(data, info, nullptr, 0, ctx, limits), 0);
  ASSERT_EQ(ctx.LastFailure(), sys::Code::kLimit);
  EXPECT_EQ(ctx.LastFailureText(), "Too many frames: GIF animations may have at most 12 frames");

  // The first frame alone is still within the limit.
  sys::Context first;
  EXPECT_TRUE(ReadGifFile(data, ReadOptions{limits}, first));
}

TEST(GifFrames, ColourTablesAreTheFramesOwn) {
  GifFrame frame;
  {
    Bytes data = MakeGif({{}, {-1, true}});
    sys::Context ctx;
    GifInfo info;
    info.DataSize = static_cast<std::uint32_t>(data.size());
    info.NumFrames = 2;
    ASSERT_EQ(ParseGifFrameRaw(data, info, frame, 1, ctx), 0);
    std::fill(data.begin(), data.end(), std::uint8_t{0xEE});  // the file's bytes are gone
  }
  ASSERT_EQ(frame.ColorTable.size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(frame.ColorTable[i], 16 + i);
}

// Image data cut after a frame's last data byte, before its terminating
// sub-block: the frame has all its pixels, and the walk then ends instead of
// reading on into whatever follows.
TEST(GifFrames, DataCutAfterAFramesPixelsEndsTheWalk) {
  const FrameSpec whole{-1, false, 0, 0, 4, 3};
  const std::size_t terminator = MakeGif({whole}).size() - 2;  // the 0 before the trailer
  Bytes data = MakeGif({whole, {}});
  data.resize(terminator);
  sys::Context ctx;
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data.size());
  info.NumFrames = 2;
  GifFrameReader reader(data, info, ReadLimits{}, ctx);
  ASSERT_TRUE(reader.ReadScreen());
  GifFrame frame;
  ASSERT_EQ(reader.Next(frame, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kFrame)
      << testing::PrintToString(testing_support::TextsOf(ctx));
  EXPECT_EQ(RawPixels(*frame.pBitmap), (std::vector<std::uint32_t>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}));
  EXPECT_EQ(reader.Next(frame, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kFailed);
  EXPECT_EQ(reader.Failure(), sys::Code::kTruncated);
  EXPECT_EQ(ctx.LastFailureText(), "Image could not be read");
}

}  // namespace
