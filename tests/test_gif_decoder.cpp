// The GIF walker, the frame decoder, the LZW decoder and the post-processing
// of decoded frames, on hand-made files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GifTestFiles.h"
#include "app/Report.h"
#include "readers/GifDecoder.h"

namespace {

using gif_test::Bytes;
using gif_test::CodeWriter;
using gif_test::GifBuilder;
using gif_test::Rgb;

const std::vector<Rgb> kTable4 = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
const std::vector<Rgb> kTable8 = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0x00FFFF, 0xFFFF00, 0x123456};

// Collects the texts reports would show in a message box.
class ReportCapture {
 public:
  ReportCapture() {
    texts().clear();
    previous_ = GetMessageBoxHook();
    SetMessageBoxHook([](const std::string&, const std::string& text) { texts().push_back(text); });
  }
  ~ReportCapture() { SetMessageBoxHook(previous_); }
  static std::vector<std::string>& texts() {
    static std::vector<std::string> collected;
    return collected;
  }

 private:
  MessageBoxHook previous_;
};

struct Scan {
  int result = -1;
  GifInfo info;
};

Scan ScanGif(const Bytes& bytes) {
  Scan scan;
  scan.info.DataSize = static_cast<std::uint32_t>(bytes.size());
  scan.result = ParseGif(bytes, scan.info, nullptr, 0);
  return scan;
}

struct Decoded {
  int result = -1;
  GifInfo info;
  GifFrame frame;
};

Decoded DecodeRaw(const Bytes& bytes, int frameNumber) {
  Decoded d;
  d.info.DataSize = static_cast<std::uint32_t>(bytes.size());
  d.info.NumFrames = 1;
  d.result = ParseGifFrameRaw(bytes, d.info, d.frame, frameNumber);
  return d;
}

Decoded DecodeAnimationFrame(const Bytes& bytes, int frameNumber) {
  Decoded d;
  d.info.DataSize = static_cast<std::uint32_t>(bytes.size());
  EXPECT_EQ(ParseGif(bytes, d.info, nullptr, 0), 0);
  d.info.FirstGlobalFrame = -1;
  d.result = ParseGif(bytes, d.info, &d.frame, frameNumber);
  return d;
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
    EXPECT_NE(ScanGif(b.Get()).result, 0) << bad;
    EXPECT_EQ(ReadGifFile(b.Get()), nullptr) << bad;
  }
  EXPECT_NE(ScanGif(Bytes{'G', 'I', 'F', '8', '9'}).result, 0);
  EXPECT_NE(ScanGif(Bytes{}).result, 0);
}

TEST(GifWalker, LogicalScreenUpTo2000PixelsEachWay) {
  auto scan = [](int w, int h) {
    GifBuilder b;
    b.Header().Screen(w, h).Trailer();
    return ScanGif(b.Get());
  };
  EXPECT_NE(scan(2001, 10).result, 0);
  EXPECT_NE(scan(10, 2001).result, 0);
  const Scan ok = scan(2000, 2000);
  ASSERT_EQ(ok.result, 0);
  EXPECT_EQ(ok.info.XSize, 2000);
  EXPECT_EQ(ok.info.YSize, 2000);
  EXPECT_EQ(ok.info.NumFrames, 0);

  GifBuilder big;
  big.Header().ScreenWithTable(2000, 2000, kTable4).Image(1998, 1999, 2, 1).Pixels({3, 2}, 2).Trailer();
  const Decoded d = DecodeRaw(big.Get(), 0);
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
  g.Extension(0xFF, "NETSCAPE2.0\x03\x01\x00\x00");
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

TEST(GifWalker, UnknownExtensionOrMalformedGraphicControlFails) {
  GifBuilder unknown;
  unknown.Header().ScreenWithTable(1, 1, kTable4).Extension(0x02, "x").Trailer();
  EXPECT_NE(ScanGif(unknown.Get()).result, 0);

  GifBuilder longControl;
  longControl.Header().ScreenWithTable(1, 1, kTable4).Raw({0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0}).Trailer();
  EXPECT_NE(ScanGif(longControl.Get()).result, 0);
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
    EXPECT_NE(ScanGif(cut).result, 0) << n;
    ReportCapture capture;
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
  EXPECT_NE(ParseGif(full, info, nullptr, 0), 0);
}

TEST(GifWalker, RequestingAFrameBeyondTheLastFails) {
  GifBuilder g;
  g.Header().ScreenWithTable(1, 1, kTable4).Image(0, 0, 1, 1).Pixels({1}, 2).Trailer();
  Decoded d = DecodeRaw(g.Get(), 1);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
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
  const Bytes& bytes = g.Get();
  ASSERT_NE(d.frame.pColorTable, nullptr);
  EXPECT_GE(d.frame.pColorTable, bytes.data());
  EXPECT_LE(d.frame.pColorTable + 12, bytes.data() + bytes.size());
  EXPECT_EQ(d.frame.pColorTable[0], 0x11);
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

TEST(GifFrameDecode, ValueOutsideTheTableFailsWithAMessage) {
  const std::vector<Rgb> two = {0x000000, 0xFFFFFF};
  GifBuilder g;
  g.Header().ScreenWithTable(3, 1, two).Image(0, 0, 3, 1).Pixels({1, 0, 2}, 2).Trailer();
  ReportCapture capture;
  Decoded d = DecodeRaw(g.Get(), 0);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
  EXPECT_EQ(ReportCapture::texts(), std::vector<std::string>{"Image could not be read"});
  EXPECT_EQ(ReadGifFile(g.Get()), nullptr);
}

TEST(GifFrameDecode, FrameWithoutAnyTableIsBlackAndWhite) {
  GifBuilder g;
  g.Header().Screen(3, 1).Image(0, 0, 3, 1).Pixels({1, 0, 1}, 2).Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.frame.NumColors, 2);
  EXPECT_EQ(d.frame.pColorTable, nullptr);
  EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, 0), 0x000000u);
  EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, 1), 0xFFFFFFu);
  EXPECT_EQ(Row(*d.frame.pBitmap, 0), (std::vector<std::uint8_t>{1, 0, 1}));

  // A frame record used for another file before starts afresh.
  GifBuilder withTable;
  withTable.Header().ScreenWithTable(3, 1, kTable4).Image(0, 0, 3, 1).Pixels({3, 3, 3}, 2).Trailer();
  GifFrame reused;
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(withTable.Get().size());
  ASSERT_EQ(ParseGifFrameRaw(withTable.Get(), info, reused, 0), 0);
  info.DataSize = static_cast<std::uint32_t>(g.Get().size());
  ASSERT_EQ(ParseGifFrameRaw(g.Get(), info, reused, 0), 0);
  EXPECT_EQ(reused.pColorTable, nullptr);
  EXPECT_EQ(Bitmap_GetPalColor(*reused.pBitmap, 1), 0xFFFFFFu);
  EXPECT_NE(ParseGifFrameRaw(Bytes{'G', 'I', 'F'}, info, reused, 0), 0);
  EXPECT_EQ(reused.pBitmap, nullptr);

  GifBuilder beyond;
  beyond.Header().Screen(3, 1).Image(0, 0, 3, 1).Pixels({1, 2, 1}, 2).Trailer();
  ReportCapture capture;
  EXPECT_NE(DecodeRaw(beyond.Get(), 0).result, 0);
}

TEST(GifFrameDecode, TransparentIndexBeyondTheTableIsIgnored) {
  GifBuilder g;
  g.Header().ScreenWithTable(2, 2, kTable4).GraphicControl(1, 200).Image(0, 0, 1, 1).Pixels({3}, 2).Trailer();
  Decoded d = DecodeRaw(g.Get(), 0);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.frame.TransIndex, -1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Bitmap_GetPalColor(*d.frame.pBitmap, i), kTable4[static_cast<std::size_t>(i)]);
  EXPECT_EQ(Row(*d.frame.pBitmap, 1), (std::vector<std::uint8_t>{0, 0}));
}

TEST(GifFrameDecode, SubBlockClaimingMoreThanRemainsFails) {
  GifBuilder g;
  g.Header().ScreenWithTable(4, 4, kTable4).Image(0, 0, 4, 4).Raw({2, 40, 1, 2, 3});
  ReportCapture capture;
  Decoded d = DecodeRaw(g.Get(), 0);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
  EXPECT_EQ(ReportCapture::texts(), std::vector<std::string>{"Image could not be read"});
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

TEST(GifLzw, StringsUpTo3000BytesExpandAndLongerOnesFail) {
  // Each code names the newest entry, so code 258 + k expands to k + 2 bytes.
  auto chain = [](int longest) {
    std::vector<int> codes = {256, 1};
    for (int length = 2; length <= longest; ++length) codes.push_back(256 + length);
    return codes;
  };
  std::vector<int> ok = chain(3000);
  ok.push_back(257);
  Decoded good = DecodeCodes(8, ok, 65535, 70, 10, 70);
  ASSERT_EQ(good.result, 0);
  // 1 + 2 + ... + 3000 = 4501500 pixels reach into row 68 of the 65535-pixel rows.
  EXPECT_EQ(Bitmap_GetPixel(*good.frame.pBitmap, 9, 68), 1u);
  EXPECT_EQ(Bitmap_GetPixel(*good.frame.pBitmap, 9, 69), 0u);

  std::vector<int> tooLong = chain(3001);
  tooLong.push_back(257);
  ReportCapture capture;
  Decoded bad = DecodeCodes(8, tooLong, 65535, 70, 10, 70);
  EXPECT_NE(bad.result, 0);
  EXPECT_EQ(ReportCapture::texts(), std::vector<std::string>{"Image could not be read"});
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
  ReportCapture capture;
  Decoded d = DecodeCodes(8, {256, 1, 259, 259, 259, 257}, 20, 1);
  EXPECT_NE(d.result, 0);
  EXPECT_EQ(d.frame.pBitmap, nullptr);
}

TEST(GifLzw, MinimumCodeSizeOf12OrMoreFails) {
  for (int size : {12, 13, 255}) {
    GifBuilder g;
    g.Header().ScreenWithTable(2, 1, kTable4).Image(0, 0, 2, 1).ImageData(size, {0xFF, 0xFF, 0xFF}).Trailer();
    ReportCapture capture;
    EXPECT_NE(DecodeRaw(g.Get(), 0).result, 0) << size;
  }
}

TEST(GifLzw, OnlySingleCharactersMayFollowAClearCode) {
  ReportCapture capture;
  EXPECT_NE(DecodeCodes(8, {256, 300, 257}, 4, 1).result, 0);
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
  BitmapPtr b = ReadGifFile(g.Get());
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
  BitmapPtr b = ReadGifFile(SingleFrame(3, 2, {7, 7, 2, 2, 7, 4}));
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

TEST(GifPostProcess, FileAbove8000000BytesIsRefused) {
  Bytes big = SingleFrame(1, 1, {1});
  big.resize(8000001, 0);
  ReportCapture capture;
  EXPECT_EQ(ReadGifFile(big), nullptr);
  EXPECT_EQ(ReportCapture::texts(), std::vector<std::string>{"File too long"});
}

TEST(GifPostProcess, ScreenWithoutPixelsGivesNoPicture) {
  GifBuilder g;
  g.Header().ScreenWithTable(0, 0, kTable4).Image(0, 0, 1, 1).Pixels({1}, 2).Trailer();
  ReportCapture capture;
  EXPECT_EQ(ReadGifFile(g.Get()), nullptr);
  EXPECT_EQ(ReportCapture::texts(), std::vector<std::string>{"Image could not be read"});
}

}  // namespace

namespace {

TEST(GifReadFile, HostileScreenSizeIsRefusedWithItsSizeBeforeAllocating) {
  GifBuilder g;
  g.Header().ScreenWithTable(60000, 60000, kTable4).Image(0, 0, 60000, 60000).Pixels({1}, 2).Trailer();
  ReportCapture capture;
  EXPECT_EQ(ReadGifFile(g.Get()), nullptr);
  EXPECT_EQ(ReportCapture::texts(),
            std::vector<std::string>{"Illegal image size (60000 x 60000): GIF images may be at most 2000 x 2000 pixels"});
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
    ReportCapture capture;
    EXPECT_EQ(ReadGifFile(bytes), nullptr);
    EXPECT_EQ(ReportCapture::texts(), std::vector<std::string>{"Image could not be read"}) << bytes.size();
  }
}

}  // namespace
