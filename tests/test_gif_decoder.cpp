// The GIF walker, the one-pass frame reader, the frame decoder, the LZW
// decoder and the post-processing of decoded frames, on hand-made files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "GifTestFiles.h"
#include "TestSupport.h"
#include "ReaderTestSupport.h"
#include "readers/GifDecoder.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using gif_test::Bytes;
using gif_test::CodeWriter;
using gif_test::GifBuilder;
using gif_test::Rgb;
using sys::Code;
using testing_support::FailsWith;
using testing_support::Recorded;
using testing_support::TextsOf;

const std::vector<Rgb> kTable4 = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
const std::vector<Rgb> kTable8 = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0x00FFFF, 0xFFFF00, 0x123456};

// Each walk below has a context of its own, which keeps what it said.
struct Scan {
  int result = -1;
  GifInfo info;
  sys::Context ctx;
};

Scan ScanGif(const Bytes& bytes, const ReadLimits& limits = {}) {
  Scan scan;
  scan.info.DataSize = static_cast<std::uint32_t>(bytes.size());
  scan.result = ParseGif(bytes, scan.info, nullptr, 0, scan.ctx, limits);
  return scan;
}

struct Decoded {
  int result = -1;
  GifInfo info;
  GifFrame frame;
  sys::Context ctx;
};

Decoded DecodeRaw(const Bytes& bytes, int frameNumber, const ReadLimits& limits = {}) {
  Decoded d;
  d.info.DataSize = static_cast<std::uint32_t>(bytes.size());
  d.info.NumFrames = 1;
  d.result = ParseGifFrameRaw(bytes, d.info, d.frame, frameNumber, d.ctx, limits);
  return d;
}

Decoded DecodeAnimationFrame(const Bytes& bytes, int frameNumber) {
  Decoded d;
  d.info.DataSize = static_cast<std::uint32_t>(bytes.size());
  EXPECT_EQ(ParseGif(bytes, d.info, nullptr, 0, d.ctx), 0);
  d.info.FirstGlobalFrame = -1;
  d.result = ParseGif(bytes, d.info, &d.frame, frameNumber, d.ctx);
  return d;
}

// A whole file loaded as one picture, with the context of the load.
struct Loaded {
  ReadResult result;
  sys::Context ctx;
};

Loaded ReadGif(const Bytes& bytes, const ReadOptions& options = {}) {
  Loaded loaded;
  loaded.result = ReadGifFile(bytes, options, loaded.ctx);
  return loaded;
}

std::vector<std::uint8_t> Row(const Bitmap& b, int y) {
  std::vector<std::uint8_t> row;
  for (int x = 0; x < b.XSize; ++x) row.push_back(static_cast<std::uint8_t>(Bitmap_GetPixel(b, x, y)));
  return row;
}

std::vector<std::uint8_t> Sequence(int count, int modulo) {
  std::vector<std::uint8_t> v;
  for (int i = 0; i < count; ++i) v.push_back(static_cast<std::uint8_t>(i % modulo));
  return v;
}

// One frame of w x h pixels covering a screen of the same size.
Bytes SingleFrame(int w, int h, const std::vector<std::uint8_t>& pixels, int transIndex = -1) {
  GifBuilder b;
  b.Header().ScreenWithTable(w, h, kTable8);
  if (transIndex >= 0) b.GraphicControl(10, transIndex);
  b.Image(0, 0, w, h).Pixels(pixels, 3).Trailer();
  return b.Get();
}

// ---- Walker ----

TEST(GifWalker, AcceptsBothVersionsAndRejectsOtherHeaders) {
  for (const char* good : {"GIF87a", "GIF89a"}) {
    GifBuilder b;
    b.Header(good).ScreenWithTable(2, 1, kTable4).Image(0, 0, 2, 1).Pixels({1, 2}, 2).Trailer();
    EXPECT_EQ(ScanGif(b.Get()).result, 0) << good;
  }
  for (const char* bad : {"GIF88a", "GIF89b", "GIF7?a", "PNG89a"}) {
    GifBuilder b;
    b.Header(bad).ScreenWithTable(2, 1, kTable4).Image(0, 0, 2, 1).Pixels({1, 2}, 2).Trailer();
    const Scan scan = ScanGif(b.Get());
    EXPECT_NE(scan.result, 0) << bad;
    EXPECT_TRUE(Recorded(scan.ctx, Code::kNotRecognised)) << bad;
    EXPECT_TRUE(FailsWith(ReadGif(b.Get()).result, Code::kNotRecognised)) << bad;
  }
  const Scan cut = ScanGif(Bytes{'G', 'I', 'F', '8', '9'});
  EXPECT_NE(cut.result, 0);
  EXPECT_TRUE(Recorded(cut.ctx, Code::kTruncated));
  EXPECT_NE(ScanGif(Bytes{}).result, 0);
}

// The screen size a read accepts is its limits' (here 2000 x 2000 pixels);
// beyond it the walk fails with the size in the message.
TEST(GifWalker, LogicalScreenUpToTheLimitsEachWay) {
  ReadLimits limits;
  limits.maxWidth = 2000;
  limits.maxHeight = 2000;
  auto scan = [&limits](int w, int h) {
    GifBuilder b;
    b.Header().Screen(w, h).Trailer();
    return ScanGif(b.Get(), limits);
  };
  const Scan wide = scan(2001, 10);
  EXPECT_NE(wide.result, 0);
  EXPECT_TRUE(Recorded(wide.ctx, Code::kLimit));
  EXPECT_EQ(TextsOf(wide.ctx),
            std::vector<std::string>{"Illegal image size (2001 x 10): GIF images may be at most 2000 x 2000 pixels"});
  const Scan high = scan(10, 2001);
  EXPECT_NE(high.result, 0);
  EXPECT_EQ(TextsOf(high.ctx),
            std::vector<std::string>{"Illegal image size (10 x 2001): GIF images may be at most 2000 x 2000 pixels"});
  const Scan ok = scan(2000, 2000);
  ASSERT_EQ(ok.result, 0);
  EXPECT_EQ(ok.info.XSize, 2000);
  EXPECT_EQ(ok.info.YSize, 2000);
  EXPECT_EQ(ok.info.NumFrames, 0);

  // The default limits leave the format's own: 65535 pixels each way.
  GifBuilder widest;
  widest.Header().Screen(65535, 65535).Trailer();
  EXPECT_EQ(ScanGif(widest.Get()).result, 0);

  GifBuilder big;
  big.Header().ScreenWithTable(2000, 2000, kTable4).Image(1998, 1999, 2, 1).Pixels({3, 2}, 2).Trailer();
  const Decoded d = DecodeRaw(big.Get(), 0, limits);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap->XSize, 2000);
  EXPECT_EQ(d.frame.pBitmap->YSize, 2000);
  EXPECT_EQ(Bitmap_GetPixel(*d.frame.pBitmap, 1998, 1999), 3u);
  EXPECT_EQ(Bitmap_GetPixel(*d.frame.pBitmap, 1999, 1999), 2u);
}

TEST(GifWalker, ScanFillsScreenFieldsFrameCountAndTotalDelay) {
  GifBuilder g;
  g.Header().ScreenWithTable(7, 3, kTable8);
  g.GraphicControl(0).Image(0, 0, 1, 1).Pixels({1}, 3);       // 0 plays as 100 ms
  g.GraphicControl(7000).Image(0, 0, 1, 1).Pixels({2}, 3);    // 70000 ms wraps to 4464
  g.GraphicControl(25).Image(0, 0, 1, 1).Pixels({3}, 3);      // 250 ms
  g.Image(0, 0, 1, 1).Pixels({4}, 3).Trailer();               // no extension, no delay
  const Scan scan = ScanGif(g.Get());
  ASSERT_EQ(scan.result, 0);
  EXPECT_EQ(scan.info.NumFrames, 4);
  EXPECT_EQ(scan.info.TotalDelay, 100u + 4464u + 250u);
  EXPECT_EQ(scan.info.XSize, 7);
  EXPECT_EQ(scan.info.YSize, 3);
  EXPECT_EQ(scan.info.ScreenFlags, 0x82);
  EXPECT_EQ(scan.info.NumGlobalColors, 8);
}

TEST(GifWalker, NumGlobalColorsComesFromTheFlagsEvenWithoutATable) {
  GifBuilder b;
  b.Header().Screen(4, 4, 0x05).Trailer();
  const Scan scan = ScanGif(b.Get());
  ASSERT_EQ(scan.result, 0);
  EXPECT_EQ(scan.info.NumGlobalColors, 64);
}

TEST(GifWalker, FrameWithoutGraphicControlCarriesTheLastOne) {
  GifBuilder g;
  g.Header().ScreenWithTable(2, 2, kTable8);
  g.GraphicControl(20, 3).Image(0, 0, 2, 2).Pixels({1, 1, 1, 1}, 3);
  g.Image(0, 0, 2, 2).Pixels({2, 2, 2, 2}, 3);
  g.GraphicControl(5).Image(0, 0, 2, 2).Pixels({4, 4, 4, 4}, 3).Trailer();
  const Decoded first = DecodeRaw(g.Get(), 0);
  EXPECT_EQ(first.frame.Delay, 200u);
  EXPECT_EQ(first.frame.TransIndex, 3);
  const Decoded second = DecodeRaw(g.Get(), 1);
  ASSERT_EQ(second.result, 0);
  EXPECT_EQ(second.frame.Delay, 200u);
  EXPECT_EQ(second.frame.TransIndex, 3);
  EXPECT_EQ(Bitmap_GetPalColor(*second.frame.pBitmap, 3), 0xFFFFFFFFu);
  // An extension without the transparency bit leaves the index alone.
  const Decoded third = DecodeRaw(g.Get(), 2);
  ASSERT_EQ(third.result, 0);
  EXPECT_EQ(third.frame.Delay, 50u);
  EXPECT_EQ(third.frame.TransIndex, 3);
  EXPECT_EQ(Row(*third.frame.pBitmap, 1), (std::vector<std::uint8_t>{4, 4}));
}

TEST(GifWalker, SkipsCommentApplicationPlainTextAndStrayBytes) {
  GifBuilder g;
  g.Header().ScreenWithTable(3, 1, kTable4);
  g.Extension(0xFE, "a comment");
  g.Extension(0xFF, std::string("NETSCAPE2.0\x03\x01\x00\x00", 15));  // the loop count block, zeros included
  g.Extension(0x01, std::string(13, 'p'));
  g.Raw({0x00, 0x00, 0x17});  // stray bytes between blocks
  g.Image(0, 0, 3, 1).Pixels({1, 2, 3}, 2).Raw({0x00});
  g.Image(0, 0, 3, 1).Pixels({3, 3, 1}, 2).Raw({0x00, 0x99}).Trailer();
  const Scan scan = ScanGif(g.Get());
  ASSERT_EQ(scan.result, 0);
  EXPECT_EQ(scan.info.NumFrames, 2);
  const Decoded d = DecodeRaw(g.Get(), 1);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{3, 3, 1}));
}

// GIF89a asks decoders to skip the extensions they do not know.
TEST(GifWalker, UnknownExtensionsAreSkipped) {
  GifBuilder unknown;
  unknown.Header().ScreenWithTable(2, 1, kTable4).Extension(0x2A, std::string(300, 'u')).Extension(0x02, "x");
  unknown.Image(0, 0, 2, 1).Pixels({2, 1}, 2).Trailer();
  const Scan scan = ScanGif(unknown.Get());
  ASSERT_EQ(scan.result, 0);
  EXPECT_EQ(scan.info.NumFrames, 1u);
  const Decoded d = DecodeRaw(unknown.Get(), 0);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{2, 1}));
  EXPECT_TRUE(d.ctx.Messages().empty());
  // One whose sub-blocks run past the data still ends the walk.
  GifBuilder cut;
  cut.Header().ScreenWithTable(1, 1, kTable4).Raw({0x21, 0x2A, 9, 'a'});
  EXPECT_NE(ScanGif(cut.Get()).result, 0);
}

TEST(GifWalker, MalformedGraphicControlFails) {

  GifBuilder longControl;
  longControl.Header().ScreenWithTable(1, 1, kTable4).Raw({0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0}).Trailer();
  const Scan longScan = ScanGif(longControl.Get());
  EXPECT_NE(longScan.result, 0);
  EXPECT_TRUE(Recorded(longScan.ctx, Code::kCorrupt));
}

TEST(GifWalker, DataEndingBeforeTheTrailerOrFrameFails) {
  GifBuilder g;
  g.Header().ScreenWithTable(4, 2, kTable4).Extension(0xFE, "hello");
  g.GraphicControl(3, 1).Image(0, 0, 4, 2).Pixels(Sequence(8, 4), 2);
  g.ImageWithTable(0, 0, 2, 2, kTable8).Pixels(Sequence(4, 8), 3);
  const std::size_t lastFrameDataEnd = g.Get().size() - 1;  // before its terminating sub-block
  g.Trailer();
  const Bytes& full = g.Get();
  ASSERT_EQ(ScanGif(full).result, 0);
  for (std::size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const Scan scan = ScanGif(cut);
    EXPECT_NE(scan.result, 0) << n;
    // The scan says why it failed, once.
    EXPECT_EQ(TextsOf(scan.ctx).size(), 1u) << n;
    Decoded d = DecodeRaw(cut, 1);
    // Decoding stops at the frame's last pixel; nothing after it is needed.
    if (n < lastFrameDataEnd) {
      EXPECT_NE(d.result, 0) << n;
      EXPECT_EQ(d.frame.pBitmap, nullptr) << n;
    } else {
      EXPECT_EQ(d.result, 0) << n;
    }
  }
  // DataSize bounds the walk even when more bytes are at hand.
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(full.size() - 1);
  sys::Context ctx;
  EXPECT_NE(ParseGif(full, info, nullptr, 0, ctx), 0);
  EXPECT_TRUE(Recorded(ctx, Code::kTruncated));
}

TEST(GifWalker, RequestingAFrameBeyondTheLastFails) {
  GifBuilder g;
  g.Header().ScreenWithTable(1, 1, kTable4).Image(0, 0, 1, 1).Pixels({1}, 2).Trailer();
  Decoded d = DecodeRaw(g.Get(), 1);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
  EXPECT_TRUE(Recorded(d.ctx, Code::kCorrupt));
}

// ---- One pass over every frame ----

// Three frames: on the global table with transparency, with a table of their
// own, and on the global table again, with comments between them.
Bytes ThreeFrames() {
  const std::vector<Rgb> local = {0x111111, 0x222222, 0x333333, 0x444444};
  GifBuilder g;
  g.Header().ScreenWithTable(4, 3, kTable8).Extension(0xFE, "first");
  g.GraphicControl(10, 5).Image(0, 0, 4, 3).Pixels(Sequence(12, 8), 3);
  g.GraphicControl(20).ImageWithTable(1, 1, 2, 2, local).Pixels({3, 2, 1, 0}, 2);
  g.Extension(0xFE, "between");
  g.GraphicControl(30).Image(2, 0, 2, 3).Pixels({7, 6, 5, 4, 3, 2}, 3).Trailer();
  return g.Get();
}

bool SameFrame(const GifFrame& a, const GifFrame& b) {
  return a.pBitmap && b.pBitmap && a.pBitmap->pData == b.pBitmap->pData && a.Delay == b.Delay &&
         a.TransIndex == b.TransIndex && a.NumColors == b.NumColors && a.LocalTableFrame == b.LocalTableFrame &&
         a.ColorTable == b.ColorTable && a.XPos == b.XPos && a.YPos == b.YPos && a.XSize == b.XSize &&
         a.YSize == b.YSize;
}

TEST(GifFrameReader, RawWalkGivesEveryFrameAsTheFrameByNumberReadDoes) {
  const Bytes bytes = ThreeFrames();
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(bytes.size());
  sys::Context ctx;
  const ReadLimits limits;
  GifFrameReader reader(bytes, info, limits, ctx);
  ASSERT_TRUE(reader.ReadScreen());
  for (int i = 0; i < 3; ++i) {
    GifFrame walked;
    ASSERT_EQ(reader.Next(walked, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kFrame) << i;
    const Decoded alone = DecodeRaw(bytes, i);
    ASSERT_EQ(alone.result, 0) << i;
    EXPECT_TRUE(SameFrame(walked, alone.frame)) << i;
  }
  GifFrame end;
  EXPECT_EQ(reader.Next(end, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kEnd);
  EXPECT_EQ(info.NumFrames, 3u);
  EXPECT_EQ(info.TotalDelay, 600u);
  // The end stays the end.
  EXPECT_EQ(reader.Next(end, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kEnd);
  EXPECT_EQ(reader.Failure(), Code::kOk);
  EXPECT_TRUE(ctx.Messages().empty());
}

TEST(GifFrameReader, DecodeWalkAfterAScanGivesTheAnimationFrames) {
  const Bytes bytes = ThreeFrames();
  const Scan scan = ScanGif(bytes);
  ASSERT_EQ(scan.result, 0);
  GifInfo info = scan.info;
  info.FirstGlobalFrame = -1;
  sys::Context ctx;
  const ReadLimits limits;
  GifFrameReader reader(bytes, info, limits, ctx);
  ASSERT_TRUE(reader.ReadScreen());
  for (int i = 0; i < 3; ++i) {
    GifFrame walked;
    ASSERT_EQ(reader.Next(walked, GifFrameReader::Mode::kDecode), GifFrameReader::Step::kFrame) << i;
    const Decoded alone = DecodeAnimationFrame(bytes, i);
    ASSERT_EQ(alone.result, 0) << i;
    EXPECT_TRUE(SameFrame(walked, alone.frame)) << i;
    EXPECT_EQ(Bitmap_GetPalColor(*walked.pBitmap, 0), Bitmap_GetPalColor(*alone.frame.pBitmap, 0)) << i;
  }
  EXPECT_EQ(info.FirstGlobalFrame, 0);
}

TEST(GifFrameReader, SkipModeFillsTheRecordsWithoutPixels) {
  const Bytes bytes = ThreeFrames();
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(bytes.size());
  sys::Context ctx;
  const ReadLimits limits;
  GifFrameReader reader(bytes, info, limits, ctx);
  ASSERT_TRUE(reader.ReadScreen());
  GifFrame frame;
  ASSERT_EQ(reader.Next(frame, GifFrameReader::Mode::kSkip), GifFrameReader::Step::kFrame);
  EXPECT_EQ(frame.TransIndex, 5);
  ASSERT_EQ(reader.Next(frame, GifFrameReader::Mode::kSkip), GifFrameReader::Step::kFrame);
  EXPECT_EQ(frame.pBitmap, nullptr);
  EXPECT_EQ(frame.XPos, 1);
  EXPECT_EQ(frame.XSize, 2);
  EXPECT_EQ(frame.NumColors, 4);
  EXPECT_EQ(frame.Delay, 200u);
  // The last frame can still be decoded after skipping the others; the
  // transparent index of the first graphic control still holds for it.
  ASSERT_EQ(reader.Next(frame, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kFrame);
  ASSERT_NE(frame.pBitmap, nullptr);
  EXPECT_EQ(Row(*frame.pBitmap, 0), (std::vector<std::uint8_t>{5, 5, 7, 6}));
}

TEST(GifFrameReader, CallsOutOfOrderAndAfterAFailureFail) {
  const Bytes bytes = ThreeFrames();
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(bytes.size());
  sys::Context ctx;
  const ReadLimits limits;
  GifFrameReader early(bytes, info, limits, ctx);
  GifFrame frame;
  EXPECT_EQ(early.Next(frame, GifFrameReader::Mode::kRaw), GifFrameReader::Step::kFailed);

  const Bytes cut(bytes.begin(), bytes.begin() + 60);  // inside the first frame's data
  info.DataSize = static_cast<std::uint32_t>(cut.size());
  GifFrameReader reader(cut, info, limits, ctx);
  ASSERT_TRUE(reader.ReadScreen());
  EXPECT_EQ(reader.Next(frame, GifFrameReader::Mode::kSkip), GifFrameReader::Step::kFailed);
  EXPECT_EQ(reader.Failure(), Code::kTruncated);
  EXPECT_EQ(reader.Next(frame, GifFrameReader::Mode::kSkip), GifFrameReader::Step::kFailed);
  EXPECT_EQ(TextsOf(ctx), std::vector<std::string>{"Image could not be read"});
}

TEST(GifFrameReader, FramesBeyondTheFrameLimitFailTheWalk) {
  const Bytes bytes = ThreeFrames();
  ReadLimits twoFrames;
  twoFrames.maxFrames = 2;
  const Scan scan = ScanGif(bytes, twoFrames);
  EXPECT_NE(scan.result, 0);
  EXPECT_TRUE(Recorded(scan.ctx, Code::kLimit));
  EXPECT_EQ(TextsOf(scan.ctx),
            std::vector<std::string>{"Too many frames: GIF animations may have at most 2 frames"});
  // Frames within the limit still decode, and three frames are within the default.
  EXPECT_EQ(DecodeRaw(bytes, 1, twoFrames).result, 0);
  EXPECT_EQ(ScanGif(bytes).result, 0);
}

// ---- Frames on their canvas ----

TEST(GifFrameDecode, FrameSitsOnAScreenSizedCanvasOfIndex0) {
  GifBuilder g;
  g.Header().ScreenWithTable(20, 20, kTable8).Image(10, 10, 3, 2).Pixels({1, 2, 3, 4, 5, 6}, 3).Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  const Bitmap& b = *d.frame.pBitmap;
  EXPECT_EQ(b.XSize, 20);
  EXPECT_EQ(b.YSize, 20);
  EXPECT_EQ(b.NumColors, 8);
  EXPECT_EQ(d.frame.XPos, 10);
  EXPECT_EQ(d.frame.YPos, 10);
  EXPECT_EQ(d.frame.XSize, 3);
  EXPECT_EQ(d.frame.YSize, 2);
  EXPECT_EQ(d.frame.LocalTableFrame, -1);
  EXPECT_EQ(d.info.FirstGlobalFrame, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Bitmap_GetPalColor(b, i), kTable8[static_cast<std::size_t>(i)]);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 10 && x < 13 && y >= 10 && y < 12;
      const std::uint32_t expected = inside ? static_cast<std::uint32_t>((y - 10) * 3 + (x - 10) + 1) : 0;
      EXPECT_EQ(Bitmap_GetPixel(b, x, y), expected) << x << "," << y;
    }
  }
}

TEST(GifFrameDecode, TransparentIndexFillsTheCanvasAndMarksItsEntry) {
  GifBuilder g;
  g.Header().ScreenWithTable(6, 4, kTable8).GraphicControl(0, 5).Image(1, 1, 2, 2).Pixels({1, 5, 2, 3}, 3);
  g.Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  const Bitmap& b = *d.frame.pBitmap;
  EXPECT_EQ(Bitmap_GetPalColor(b, 5), 0xFFFFFFFFu);
  EXPECT_EQ(Bitmap_GetPalColor(b, 4), kTable8[4]);
  EXPECT_EQ(Row(b, 0), (std::vector<std::uint8_t>{5, 5, 5, 5, 5, 5}));
  EXPECT_EQ(Row(b, 1), (std::vector<std::uint8_t>{5, 1, 5, 5, 5, 5}));
  EXPECT_EQ(Row(b, 2), (std::vector<std::uint8_t>{5, 2, 3, 5, 5, 5}));
}

TEST(GifFrameDecode, FrameReachingBeyondTheCanvasIsClipped) {
  GifBuilder g;
  g.Header().ScreenWithTable(4, 3, kTable8).Image(2, 1, 4, 3).Pixels(Sequence(12, 8), 3).Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Row(*d.frame.pBitmap, 1), (std::vector<std::uint8_t>{0, 0, 0, 1}));
  EXPECT_EQ(Row(*d.frame.pBitmap, 2), (std::vector<std::uint8_t>{0, 0, 4, 5}));
}

TEST(GifFrameDecode, InterlacedRowsArriveInPassOrder) {
  // Picture rows in the order an interlaced frame stores them.
  const std::vector<std::vector<int>> orders = {
      {0}, {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 4, 2, 1, 3}, {0, 8, 4, 2, 6, 1, 3, 5, 7, 9}};
  for (const std::vector<int>& order : orders) {
    const int rows = static_cast<int>(order.size());
    std::vector<std::uint8_t> stored;  // stored row k holds the value k
    for (int k = 0; k < rows; ++k) stored.insert(stored.end(), {static_cast<std::uint8_t>(k), 0});
    GifBuilder g;
    std::vector<Rgb> table(16, 0);
    g.Header().Screen(2, rows).ImageWithTable(0, 0, 2, rows, table, true).Pixels(stored, 4).Trailer();
    Decoded d = DecodeRaw(g.Get(), 0);
    ASSERT_EQ(d.result, 0) << rows;
    for (int k = 0; k < rows; ++k) {
      EXPECT_EQ(Bitmap_GetPixel(*d.frame.pBitmap, 0, order[static_cast<std::size_t>(k)]),
                static_cast<std::uint32_t>(k))
          << rows << " rows, stored row " << k;
    }
  }
}

TEST(GifFrameDecode, LocalTableBelongsToItsFrame) {
  const std::vector<Rgb> local = {0x111111, 0x222222, 0x333333, 0x444444};
  GifBuilder g;
  g.Header().ScreenWithTable(2, 1, kTable8).Image(0, 0, 2, 1).Pixels({1, 2}, 3);
  g.ImageWithTable(0, 0, 2, 1, local).Pixels({3, 1}, 2).Trailer();
  Decoded d = DecodeRaw(g.Get(), 1);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.frame.LocalTableFrame, 1);
  EXPECT_EQ(d.frame.NumColors, 4);
  EXPECT_EQ(d.info.FirstGlobalFrame, -1);
  // The frame keeps its own copy of the table's red, green, blue triples.
  EXPECT_EQ(d.frame.ColorTable,
            (std::vector<std::uint8_t>{0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x33, 0x33, 0x33, 0x44, 0x44, 0x44}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, i), local[static_cast<std::size_t>(i)]);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{3, 1}));
}

TEST(GifFrameDecode, ImageDataEndingEarlyKeepsTheCanvasValue) {
  for (bool withEndCode : {true, false}) {
    GifBuilder g;
    g.Header().ScreenWithTable(4, 2, kTable8).GraphicControl(1, 7).Image(0, 0, 4, 2);
    g.ImageData(3, gif_test::LiteralCodes({1, 2, 3, 4, 5}, 3, withEndCode)).Trailer();
    Decoded d = DecodeRaw(g.Get(), 0);
    ASSERT_EQ(d.result, 0) << withEndCode;
    EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(Row(*d.frame.pBitmap, 1), (std::vector<std::uint8_t>{5, 7, 7, 7}));
  }
}

TEST(GifFrameDecode, FrameWithoutAnyTableIsBlackAndWhite) {
  GifBuilder g;
  g.Header().Screen(3, 1).Image(0, 0, 3, 1).Pixels({1, 0, 1}, 2).Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.frame.NumColors, 2);
  EXPECT_TRUE(d.frame.ColorTable.empty());
  EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, 0), 0x000000u);
  EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, 1), 0xFFFFFFu);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{1, 0, 1}));

  // A frame record used for another file before starts afresh.
  GifBuilder withTable;
  withTable.Header().ScreenWithTable(3, 1, kTable4).Image(0, 0, 3, 1).Pixels({3, 3, 3}, 2).Trailer();
  GifFrame reused;
  GifInfo info;
  sys::Context ctx;
  info.DataSize = static_cast<std::uint32_t>(withTable.Get().size());
  ASSERT_EQ(ParseGifFrameRaw(withTable.Get(), info, reused, 0, ctx), 0);
  EXPECT_FALSE(reused.ColorTable.empty());
  info.DataSize = static_cast<std::uint32_t>(g.Get().size());
  ASSERT_EQ(ParseGifFrameRaw(g.Get(), info, reused, 0, ctx), 0);
  EXPECT_TRUE(reused.ColorTable.empty());
  EXPECT_EQ(Bitmap_GetPalColor(*reused.pBitmap, 1), 0xFFFFFFu);
  EXPECT_NE(ParseGifFrameRaw(Bytes{'G', 'I', 'F'}, info, reused, 0, ctx), 0);
  EXPECT_EQ(reused.pBitmap, nullptr);

}

// Browsers draw pixels whose index lies past the colour table; so do we, in
// black: the raw frame keeps the file's indices, the decoded one gives them
// an added black entry and warns. A whole picture reads the same way.
TEST(GifFrameDecode, IndicesPastTheTableAreDrawnBlack) {
  GifBuilder noTable;
  noTable.Header().Screen(3, 1).Image(0, 0, 3, 1).Pixels({1, 2, 1}, 2).Trailer();
  const Decoded raw = DecodeRaw(noTable.Get(), 0);
  ASSERT_EQ(raw.result, 0);
  EXPECT_EQ(Row(*raw.frame.pBitmap, 0), (std::vector<std::uint8_t>{1, 2, 1}));
  EXPECT_EQ(raw.frame.pBitmap->NumColors, 2);

  GifBuilder animation;
  animation.Header().ScreenWithTable(3, 1, kTable4);
  animation.Image(0, 0, 3, 1).Pixels({1, 7, 3}, 3).Image(0, 0, 3, 1).Pixels({6, 0, 0}, 3).Trailer();
  for (const int frame : {0, 1}) {
    SCOPED_TRACE(frame);
    const Decoded d = DecodeAnimationFrame(animation.Get(), frame);
    ASSERT_EQ(d.result, 0);
    const Bitmap& b = *d.frame.pBitmap;
    ASSERT_EQ(b.NumColors, 5);
    EXPECT_EQ(Bitmap_GetPalColor(b, 4), 0x000000u);
    EXPECT_EQ(Row(b, 0), frame == 0 ? (std::vector<std::uint8_t>{1, 4, 3}) : (std::vector<std::uint8_t>{4, 0, 0}));
    EXPECT_TRUE(Recorded(d.ctx, Code::kCorrupt, true));
  }

  const Loaded loaded = ReadGif(noTable.Get());
  ASSERT_TRUE(loaded.result.image) << loaded.result.text;
  const Bitmap& picture = *loaded.result.image;
  EXPECT_EQ(Bitmap_GetPixelColor(picture, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(Bitmap_GetPixelColor(picture, 1, 0), 0x000000u);
  EXPECT_EQ(testing_support::TextsOf(loaded.ctx),
            std::vector<std::string>{"Pixels with colors past the color table (1) are drawn black"});
}

TEST(GifFrameDecode, TransparentIndexBeyondTheTableIsIgnored) {
  // 4 is the first index past the table: the canvas around the frame must not
  // be filled with it, which no palette entry would colour.
  for (const int transIndex : {4, 200}) {
    SCOPED_TRACE(transIndex);
    GifBuilder g;
    g.Header().ScreenWithTable(2, 2, kTable4).GraphicControl(1, transIndex).Image(0, 0, 1, 1).Pixels({3}, 2).Trailer();
    Decoded d = DecodeRaw(g.Get(), 0);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.frame.TransIndex, -1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, i), kTable4[static_cast<std::size_t>(i)]);
    EXPECT_EQ(Row(*d.frame.pBitmap, 1), (std::vector<std::uint8_t>{0, 0}));
  }
}

TEST(GifFrameDecode, SubBlockClaimingMoreThanRemainsFails) {
  GifBuilder g;
  g.Header().ScreenWithTable(4, 4, kTable4).Image(0, 0, 4, 4).Raw({2, 40, 1, 2, 3});
  Decoded d = DecodeRaw(g.Get(), 0);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
  EXPECT_EQ(TextsOf(d.ctx), std::vector<std::string>{"Image could not be read"});
  EXPECT_TRUE(Recorded(d.ctx, Code::kCorrupt));
}

// ---- LZW ----

// Decodes one frame of width x height made from the given codes.
Decoded DecodeCodes(int minCodeSize, const std::vector<int>& codes, int width, int height,
                    int screenWidth = 0, int screenHeight = 0) {
  CodeWriter writer(minCodeSize);
  for (int code : codes) writer.Put(code);
  std::vector<Rgb> table(256, 0x010203);
  GifBuilder g;
  g.Header().ScreenWithTable(screenWidth > 0 ? screenWidth : width, screenHeight > 0 ? screenHeight : height, table);
  g.Image(0, 0, width, height).ImageData(minCodeSize, writer.Finish()).Trailer();
  return DecodeRaw(g.Get(), 0);
}

TEST(GifLzw, WidthGrowsTo12BitsAndAFullTableKeepsIt) {
  // After the clear code, alternating roots add one entry each until the
  // table is full; the width climbs from 3 to 12 bits on the way.
  std::vector<int> codes = {4};
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 4200; ++i) {
    codes.push_back(i % 3);
    expected.push_back(static_cast<std::uint8_t>(i % 3));
  }
  codes.push_back(4);  // a clear code brings the width back to 3 bits
  for (int i = 0; i < 5; ++i) {
    codes.push_back(3 - i % 2);
    expected.push_back(static_cast<std::uint8_t>(3 - i % 2));
  }
  codes.push_back(5);
  expected.resize(100 * 43, 0);
  Decoded d = DecodeCodes(2, codes, 100, 43);
  ASSERT_EQ(d.result, 0);
  std::vector<std::uint8_t> decoded;
  for (int y = 0; y < 43; ++y) {
    const std::vector<std::uint8_t> row = Row(*d.frame.pBitmap, y);
    decoded.insert(decoded.end(), row.begin(), row.end());
  }
  EXPECT_EQ(decoded, expected);
}

TEST(GifLzw, RepeatedStringCodesAndRowCrossingStrings) {
  // 4 = clear: 1, then codes naming the newest entry: 11, 111, 1111, 11111.
  Decoded d = DecodeCodes(2, {4, 1, 6, 7, 8, 9, 0, 5}, 4, 4);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{1, 1, 1, 1}));
  EXPECT_EQ(Row(*d.frame.pBitmap, 3), (std::vector<std::uint8_t>{1, 1, 1, 0}));
}

TEST(GifLzw, TheLongestStringOfAFullTableExpands) {
  // Each code names the newest entry, so after the clear code c code c + k
  // expands to k bytes; the last entry (4095) holds the longest string a
  // table can: 4091 bytes with 2-bit codes, 3839 with 8-bit ones.
  for (const int minCodeSize : {2, 8}) {
    SCOPED_TRACE(minCodeSize);
    const int clear = 1 << minCodeSize;
    std::vector<int> codes = {clear, 1};
    for (int code = clear + 2; code < 4096; ++code) codes.push_back(code);
    codes.push_back(clear + 1);
    const int longest = 4095 - clear;
    const std::int64_t pixels = std::int64_t{longest} * (longest + 1) / 2;
    const int rows = static_cast<int>(pixels / 65535);
    Decoded d = DecodeCodes(minCodeSize, codes, 65535, rows + 2, 10, rows + 2);
    ASSERT_EQ(d.result, 0) << TextsOf(d.ctx).front();
    EXPECT_EQ(Bitmap_GetPixel(*d.frame.pBitmap, 9, rows), 1u);  // the last string reaches the last row
    EXPECT_EQ(Bitmap_GetPixel(*d.frame.pBitmap, 9, rows + 1), 0u);
  }
}

// Flat pictures make each string one byte longer than the last until the
// table is full, so every encoder reaches the longest strings on them.
TEST(GifLzw, FlatPicturesOfOtherEncodersLoad) {
  testing_support::TempDir dir;
  const std::string imageMagick =
      "for c in convert-im6.q16 convert-im7.q16 convert; do command -v $c >/dev/null && exec $c \"$@\"; done; exit 127";
  const std::vector<std::pair<std::string, std::string>> encoders = {
      {"ImageMagick", "sh -c '" + imageMagick + "' sh -size 3000x2999 xc:white " + dir.File("im.gif")},
      {"Pillow", "/usr/bin/python3 -c 'import sys; from PIL import Image; "
                 "Image.new(\"L\", (3000, 2999), 255).save(sys.argv[1])' " + dir.File("pil.gif")},
  };
  int made = 0;
  for (const auto& [encoder, command] : encoders) {
    SCOPED_TRACE(encoder);
    const std::string path = dir.File(encoder == "Pillow" ? "pil.gif" : "im.gif");
    if (std::system((command + " 2>/dev/null").c_str()) != 0) continue;
    ++made;
    const Loaded loaded = ReadGif(testing_support::ReadBytes(path));
    ASSERT_TRUE(loaded.result) << TextsOf(loaded.ctx).front();
    const Bitmap& b = *loaded.result.image;
    ASSERT_EQ(b.XSize, 3000);
    ASSERT_EQ(b.YSize, 2999);
    std::int64_t white = 0;
    for (int y = 0; y < b.YSize; ++y) {
      for (int x = 0; x < b.XSize; ++x) white += (Bitmap_GetPixelColor(b, x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
    }
    EXPECT_EQ(white, std::int64_t{3000} * 2999);
  }
  if (made == 0) GTEST_SKIP() << "neither ImageMagick nor Pillow (/usr/bin/python3) is installed";
}

TEST(GifLzw, CodeBeyondTheNextFreeEntryIsTakenAsThatEntry) {
  // 300 arrives while 258 is the next free entry: it reads as "1 1" and
  // becomes the previous code, so entry 259 is 300 + "1"; 300 itself is empty
  // (prefix 0, suffix 0), which makes 259 expand to "0 0 1".
  Decoded d = DecodeCodes(8, {256, 1, 300, 258, 259, 257}, 8, 1);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 0, 0, 1}));
}

TEST(GifLzw, EntryNamingItselfFails) {
  Decoded d = DecodeCodes(8, {256, 1, 259, 259, 259, 257}, 20, 1);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
  EXPECT_TRUE(Recorded(d.ctx, Code::kCorrupt));
}

TEST(GifLzw, MinimumCodeSizeOf12OrMoreFails) {
  for (int size : {12, 13, 255}) {
    GifBuilder g;
    g.Header().ScreenWithTable(2, 1, kTable4).Image(0, 0, 2, 1).ImageData(size, {0xFF, 0xFF, 0xFF}).Trailer();
    const Decoded d = DecodeRaw(g.Get(), 0);
    EXPECT_NE(d.result, 0) << size;
    EXPECT_TRUE(Recorded(d.ctx, Code::kCorrupt)) << size;
  }
}

TEST(GifLzw, OnlySingleCharactersMayFollowAClearCode) {
  const Decoded bad = DecodeCodes(8, {256, 300, 257}, 4, 1);
  EXPECT_NE(bad.result, 0);
  EXPECT_TRUE(Recorded(bad.ctx, Code::kCorrupt));
  // The end code right after a clear ends the frame.
  Decoded d = DecodeCodes(8, {256, 2, 256, 257}, 4, 1);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{2, 0, 0, 0}));
}

TEST(GifLzw, CodesSpanningTinySubBlocks) {
  CodeWriter writer(8);
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 60; ++i) {
    writer.Put(i % 20 == 0 ? 256 : i);
    if (i % 20 != 0) expected.push_back(static_cast<std::uint8_t>(i));
  }
  writer.Put(257);
  GifBuilder g;
  g.Header().ScreenWithTable(static_cast<int>(expected.size()), 1, std::vector<Rgb>(256, 0));
  g.Image(0, 0, static_cast<int>(expected.size()), 1).Raw({8}).SubBlocks(writer.Finish(), 1).Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), expected);
}

// ---- Post-processing ----

TEST(GifPostProcess, SinglePictureWithTransparencyHasItAtIndex0) {
  GifBuilder g;
  g.Header().ScreenWithTable(8, 6, kTable8).GraphicControl(0, 5);
  g.Image(2, 1, 3, 2).Pixels({1, 5, 2, 3, 3, 6}, 3).Trailer();
  BitmapPtr b = ReadGif(g.Get()).result.image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasTrans, 1);
  EXPECT_EQ(Bitmap_GetPalColor(*b, 0) & 0xFFFFFF, 0xFFFFFFu);
  const std::vector<std::uint8_t> frame = {1, 5, 2, 3, 3, 6};
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      const int value = inside ? frame[static_cast<std::size_t>((y - 1) * 3 + x - 2)] : 5;
      if (value == 5) {
        EXPECT_EQ(Bitmap_GetPixel(*b, x, y), 0u) << x << "," << y;
      } else {
        EXPECT_NE(Bitmap_GetPixel(*b, x, y), 0u) << x << "," << y;
        EXPECT_EQ(Bitmap_GetPixelColor(*b, x, y) & 0xFFFFFF, kTable8[static_cast<std::size_t>(value)]);
      }
    }
  }
}

TEST(GifPostProcess, SinglePictureGetsAPaletteOfItsColours) {
  BitmapPtr b = ReadGif(SingleFrame(3, 2, {7, 7, 2, 2, 7, 4})).result.image;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->HasTrans, 0);
  EXPECT_EQ(b->NumColors, 3);
  EXPECT_EQ(Bitmap_GetPalColor(*b, 0), kTable8[7]);  // most frequent first
  const std::vector<std::uint8_t> values = {7, 7, 2, 2, 7, 4};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(Bitmap_GetPixelColor(*b, i % 3, i / 3), kTable8[values[static_cast<std::size_t>(i)]]);
  }
}

TEST(GifPostProcess, AnimationFrameOnTheGlobalTableKeepsItsIndices) {
  GifBuilder g;
  g.Header().ScreenWithTable(3, 1, kTable8).GraphicControl(4, 5).Image(0, 0, 3, 1).Pixels({0, 5, 6}, 3);
  g.Image(0, 0, 1, 1).Pixels({1}, 3).Trailer();
  Decoded d = DecodeAnimationFrame(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  const Bitmap& b = *d.frame.pBitmap;
  EXPECT_EQ(d.frame.NumColors, 8);
  EXPECT_EQ(b.NumColors, 8);
  EXPECT_EQ(b.HasTrans, 1);
  EXPECT_EQ(d.info.FirstGlobalFrame, 0);
  // The transparent entry 5 and entry 0 changed places, pixels too.
  EXPECT_EQ(Bitmap_GetPalColor(b, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Bitmap_GetPalColor(b, 5), kTable8[0]);
  EXPECT_EQ(Row(b, 0), (std::vector<std::uint8_t>{5, 0, 6}));
}

TEST(GifPostProcess, AnimationFrameWithALocalTableGetsATransparentEntry0) {
  const std::vector<Rgb> local = {0x111111, 0x222222, 0x333333, 0x444444};
  GifBuilder g;
  g.Header().ScreenWithTable(3, 1, kTable8).Image(0, 0, 3, 1).Pixels({1, 2, 3}, 3);
  g.ImageWithTable(0, 0, 3, 1, local).Pixels({2, 3, 3}, 2).Trailer();
  Decoded d = DecodeAnimationFrame(g.Get(), 1);
  ASSERT_EQ(d.result, 0);
  const Bitmap& b = *d.frame.pBitmap;
  EXPECT_EQ(b.HasTrans, 1);
  EXPECT_EQ(Bitmap_GetPalColor(b, 0) & 0xFFFFFF, 0xFFFFFFu);
  for (int x = 0; x < 3; ++x) EXPECT_NE(Bitmap_GetPixel(b, x, 0), 0u);
  EXPECT_EQ(Bitmap_GetPixelColor(b, 0, 0), local[2]);
  EXPECT_EQ(Bitmap_GetPixelColor(b, 2, 0), local[3]);
}

TEST(GifPostProcess, FileAboveTheFileSizeLimitIsRefused) {
  Bytes big = SingleFrame(1, 1, {1});
  big.resize(8000001, 0);
  ReadOptions eightMillion;
  eightMillion.limits.maxFileBytes = 8000000;
  const Loaded refused = ReadGif(big, eightMillion);
  EXPECT_TRUE(FailsWith(refused.result, Code::kLimit));
  EXPECT_EQ(TextsOf(refused.ctx), std::vector<std::string>{"File too long"});
  // The default limits read it: the bytes after the trailer are never looked at.
  const Loaded read = ReadGif(big);
  ASSERT_NE(read.result.image, nullptr);
  EXPECT_TRUE(TextsOf(read.ctx).empty());
}

TEST(GifPostProcess, ScreenWithoutPixelsGivesNoPicture) {
  GifBuilder g;
  g.Header().ScreenWithTable(0, 0, kTable4).Image(0, 0, 1, 1).Pixels({1}, 2).Trailer();
  const Loaded loaded = ReadGif(g.Get());
  EXPECT_FALSE(loaded.result);
  EXPECT_EQ(TextsOf(loaded.ctx), std::vector<std::string>{"Image could not be read"});
}

}  // namespace

namespace {

TEST(GifReadFile, HostileScreenSizeIsRefusedWithItsSizeBeforeAllocating) {
  GifBuilder g;
  g.Header().ScreenWithTable(60000, 60000, kTable4).Image(0, 0, 60000, 60000).Pixels({1}, 2).Trailer();
  ReadOptions screenLimits;
  screenLimits.limits.maxWidth = 2000;
  screenLimits.limits.maxHeight = 2000;
  const Loaded limited = ReadGif(g.Get(), screenLimits);
  EXPECT_TRUE(FailsWith(limited.result, Code::kLimit));
  EXPECT_EQ(TextsOf(limited.ctx),
            std::vector<std::string>{"Illegal image size (60000 x 60000): GIF images may be at most 2000 x 2000 pixels"});

  // Without a size limit, two bytes of image data (five codes) cannot fill
  // the canvas of 3.6 GB; with data that could, the allocator refuses the canvas with its
  // full size. Neither takes anything.
  const Loaded unlimited = ReadGif(g.Get());
  EXPECT_TRUE(FailsWith(unlimited.result, Code::kCorrupt,
                        "Illegal image size (60000 x 60000): no frame of this GIF can fill more than 15 of its pixels"));
  GifBuilder large;
  large.Header().ScreenWithTable(60000, 60000, kTable4).Image(0, 0, 60000, 60000).ImageData(8, Bytes(100000, 0));
  const Loaded allocating = ReadGif(large.Trailer().Get());
  EXPECT_TRUE(FailsWith(allocating.result, Code::kOutOfMemory, "Failed to allocate 0xD693A400 bytes of memory!"));
  ASSERT_EQ(allocating.ctx.Messages().size(), 1u);
  EXPECT_TRUE(allocating.ctx.Messages()[0].allocator);
}

// A screen far larger than what any frame can fill gets no canvas, whatever
// frame is asked for; one frame that can fill a sixteenth of it is enough,
// wherever it stands in the file. Screens of 2048 x 2048 pixels and less
// always pass.
TEST(GifReadFile, ACanvasIsMadeOnlyWhenSomeFrameCanFillAFairShareOfIt) {
  const auto build = [](int screen, std::vector<int> frameSides, bool enoughData, int left) {
    GifBuilder g;
    g.Header().ScreenWithTable(screen, screen, kTable4);
    for (const int side : frameSides) {
      g.Image(left, 0, side, side);
      if (enoughData) {
        g.ImageData(2, Bytes(static_cast<std::size_t>(side) * side / 1000 + 10, 0));
      } else {
        g.Pixels({1}, 2);
      }
    }
    return g.Trailer().Get();
  };
  struct Case {
    int screen;
    std::vector<int> frames;
    bool enoughData;
    int frameRead;
    bool canvas;
    int left = 0;
  };
  const Case cases[] = {
      {2048, {1}, false, 0, true},            // small screens always pass
      {2100, {1}, false, 0, false},           // a one-pixel frame on a large screen
      {2100, {524, 1}, true, 1, false},       // a pixel row and column short of a sixteenth
      {2100, {525, 1}, true, 1, true},        // a sixteenth, read while skipping to frame 1
      {2100, {1, 525}, true, 0, true},        // a sixteenth later in the file
      {2100, {2100}, false, 0, false},        // a full frame whose data fills 15 pixels
      {2100, {2100}, true, 0, false, 2099},   // a full frame of which one column is on the screen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.screen << " screen, frame " << c.frameRead << " of " << c.frames.size());
    Decoded d = DecodeRaw(build(c.screen, c.frames, c.enoughData, c.left), c.frameRead);
    EXPECT_EQ(d.frame.pBitmap != nullptr, c.canvas);
    if (!c.canvas) {
      EXPECT_TRUE(Recorded(d.ctx, Code::kCorrupt));
    }
  }
}

TEST(GifReadFile, EveryQuietWalkFailureIsReportedOnce) {
  GifBuilder good;
  good.Header().ScreenWithTable(2, 1, kTable4).Image(0, 0, 2, 1).Pixels({1, 2}, 2).Trailer();
  const Bytes whole = good.Get();
  Bytes badHeader = whole;
  badHeader[3] = '7';
  badHeader[4] = '7';
  const Bytes cases[] = {badHeader, Bytes(whole.begin(), whole.begin() + 9), Bytes(whole.begin(), whole.begin() + 30)};
  for (const Bytes& bytes : cases) {
    const Loaded loaded = ReadGif(bytes);
    EXPECT_FALSE(loaded.result) << bytes.size();
    EXPECT_TRUE(testing_support::ExplainsFailure(loaded.result, loaded.ctx)) << bytes.size();
    EXPECT_EQ(TextsOf(loaded.ctx), std::vector<std::string>{"Image could not be read"}) << bytes.size();
  }
}

}  // namespace
