// GIF writer: exact bytes of small files, read-back through giflib and our own
// decoder, and a strict check of the LZW code stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "readers/GifDecoder.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/GifWriter.h"

#ifdef RASTRA_HAVE_GIFLIB
#include <gif_lib.h>
#endif

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::MakeBitmap;

class GifWriterTest : public ::testing::Test {
 protected:
  // Writes bitmap and returns the converted image; the file's bytes land in
  // bytes, what the writer has to say in ctx_.
  BitmapPtr Write(const Bitmap& bitmap, Bytes& bytes) {
    const std::string path = dir_.File("out.gif");
    BitmapPtr result;
    {
      auto file = sys::File::Create(path);
      EXPECT_TRUE(file.has_value());
      EXPECT_EQ(WriteGifFile(&bitmap, *file, result, OutputOptions{}, ctx_), sys::Code::kOk);
      EXPECT_TRUE(file->Close());
    }
    bytes = testing_support::ReadBytes(path);
    return result;
  }

  testing_support::TempDir dir_;
  sys::Context ctx_;
};

// A true-colour picture using exactly `colors` distinct colours, each at least once.
BitmapPtr PictureWithColors(int w, int h, int colors, std::uint32_t seed) {
  std::mt19937 random(seed);
  BitmapPtr b = MakeBitmap(w, h, 0);
  for (int i = 0; i < w * h; ++i) {
    const int k = i < colors ? i : static_cast<int>(random() % colors);
    Bitmap_SetPixel(*b, i % w, i / w, 0x00010307u * static_cast<unsigned>(k + 1) & 0xFFFFFF);
  }
  return b;
}

// ---- a strict reading of the image data: every code, the end code at its
// exact place, nothing but zero bits after it.
struct LzwStream {
  bool ok = false;
  std::string error;
  Bytes indices;
  int clearCodes = 0;
  bool widthGrewBeforeEnd = false;
  std::vector<int> subBlockSizes;
};

LzwStream ReadLzwStream(const Bytes& data, std::size_t at) {
  LzwStream r;
  if (at >= data.size()) return r;
  const int m = data[at++];
  Bytes packed;
  for (;;) {
    if (at >= data.size()) {
      r.error = "data ends inside the sub-blocks";
      return r;
    }
    const int n = data[at++];
    if (n == 0) break;
    r.subBlockSizes.push_back(n);
    if (at + n > data.size()) {
      r.error = "sub-block too long";
      return r;
    }
    const auto from = data.begin() + static_cast<std::ptrdiff_t>(at);
    packed.insert(packed.end(), from, from + n);
    at += n;
  }
  const int clear = 1 << m;
  const int end = clear + 1;
  std::vector<int> prefix(4096), suffix(4096), length(4096);
  for (int i = 0; i < clear; ++i) {
    suffix[i] = i;
    length[i] = 1;
  }
  int width = m + 1, next = clear + 2, prev = -1;
  std::size_t bit = 0;
  const std::size_t totalBits = packed.size() * 8;
  bool grewOnLast = false;
  auto firstOf = [&](int code) {
    while (length[code] > 1) code = prefix[code];
    return suffix[code];
  };
  auto emit = [&](int code) {
    Bytes s(length[code]);
    for (int i = length[code] - 1; i >= 0; --i, code = prefix[code]) s[i] = static_cast<std::uint8_t>(suffix[code]);
    r.indices.insert(r.indices.end(), s.begin(), s.end());
  };
  for (;;) {
    if (bit + width > totalBits) {
      r.error = "no end code";
      return r;
    }
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((packed[bit / 8] >> (bit % 8)) & 1) << i;
    if (code == clear) {
      ++r.clearCodes;
      width = m + 1;
      next = clear + 2;
      prev = -1;
      grewOnLast = false;
      continue;
    }
    if (code == end) break;
    if (prev < 0) {
      if (code >= clear) {
        r.error = "first code is not a colour";
        return r;
      }
      emit(code);
      prev = code;
      grewOnLast = false;
      continue;
    }
    int first = 0;
    if (code < next) {
      first = firstOf(code);
    } else if (code == next) {
      first = firstOf(prev);
    } else {
      r.error = "code beyond the table";
      return r;
    }
    grewOnLast = false;
    if (next < 4096) {
      prefix[next] = prev;
      suffix[next] = first;
      length[next] = length[prev] + 1;
      ++next;
      if (next == (1 << width) && width < 12) {
        ++width;
        grewOnLast = true;
      }
    }
    emit(code);
    prev = code;
  }
  r.widthGrewBeforeEnd = grewOnLast;
  if (totalBits - bit >= 8) {
    r.error = "bytes after the end code";
    return r;
  }
  for (; bit < totalBits; ++bit) {
    if (((packed[bit / 8] >> (bit % 8)) & 1) != 0) {
      r.error = "fill bits are not zero";
      return r;
    }
  }
  if (at != data.size()) {
    r.error = "bytes after the block terminator";
    return r;
  }
  r.ok = true;
  return r;
}

LzwStream EncodeAndRead(int m, const Bytes& indices, std::size_t chunk) {
  Bytes out;
  GifLzwEncoder encoder(m, [&out](const std::uint8_t* b, std::size_t n) {
    out.insert(out.end(), b, b + n);
    return true;
  });
  EXPECT_TRUE(encoder.Begin());
  for (std::size_t i = 0; i < indices.size(); i += chunk) {
    EXPECT_TRUE(encoder.Add(indices.data() + i, std::min(chunk, indices.size() - i)));
  }
  EXPECT_TRUE(encoder.Finish());
  out.push_back(0);
  return ReadLzwStream(out, 0);
}

TEST(GifLzwEncoderTest, SinglePixelGivesTheKnownCodes) {
  Bytes out;
  GifLzwEncoder encoder(2, [&out](const std::uint8_t* b, std::size_t n) {
    out.insert(out.end(), b, b + n);
    return true;
  });
  const std::uint8_t pixel = 0;
  ASSERT_TRUE(encoder.Begin());
  ASSERT_TRUE(encoder.Add(&pixel, 1));
  ASSERT_TRUE(encoder.Finish());
  EXPECT_EQ(out, (Bytes{0x02, 0x02, 0x44, 0x01}));
}

// Every length from 1 to 600 over small alphabets: the stream decodes to the
// same indices with the end code in its place, also when the decoder's code
// width grows on the very last code.
TEST(GifLzwEncoderTest, StreamsDecodeStrictlyForManyLengths) {
  std::mt19937 random(11);
  int grewBeforeEnd = 0;
  for (int m : {2, 3, 8}) {
    for (int length = 1; length <= 600; ++length) {
      Bytes indices(length);
      const int alphabet = m == 8 ? 256 : 1 << m;
      for (auto& v : indices) v = static_cast<std::uint8_t>(random() % (length % 3 == 0 ? 2 : alphabet));
      const LzwStream r = EncodeAndRead(m, indices, 1 + length % 7);
      ASSERT_TRUE(r.ok) << "m " << m << " length " << length << ": " << r.error;
      ASSERT_EQ(r.indices, indices) << "m " << m << " length " << length;
      grewBeforeEnd += r.widthGrewBeforeEnd ? 1 : 0;
    }
  }
  EXPECT_GT(grewBeforeEnd, 0) << "no case exercised the wider end code";
}

// Incompressible data fills the table again and again: each time a clear code
// follows, and every sub-block but the last holds 255 bytes.
TEST(GifLzwEncoderTest, FullTableIsFollowedByAClearCode) {
  std::mt19937 random(12);
  Bytes indices(200000);
  for (auto& v : indices) v = static_cast<std::uint8_t>(random());
  const LzwStream r = EncodeAndRead(8, indices, 4096);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.indices, indices);
  EXPECT_GE(r.clearCodes, 1 + 200000 / 4096);
  ASSERT_GT(r.subBlockSizes.size(), 1u);
  for (std::size_t i = 0; i + 1 < r.subBlockSizes.size(); ++i) ASSERT_EQ(r.subBlockSizes[i], 255);
}

TEST(GifLzwEncoderTest, LongRunsOfOneIndex) {
  const Bytes indices(100000, 3);
  const LzwStream r = EncodeAndRead(2, indices, 1000);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.indices, indices);
}

TEST(GifLzwEncoderTest, FailedSinkIsReported) {
  const Bytes indices(5000, 1);
  GifLzwEncoder encoder(2, [](const std::uint8_t*, std::size_t) { return false; });
  encoder.Begin();
  encoder.Add(indices.data(), indices.size());
  EXPECT_FALSE(encoder.Finish());
}

TEST_F(GifWriterTest, OnePixelFileIsExact) {
  BitmapPtr b = MakeBitmap(1, 1, 0);
  Bitmap_SetPixel(*b, 0, 0, 0x000000FF);
  Bytes file;
  BitmapPtr result = Write(*b, file);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->NumColors, 1);
  const Bytes expected = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,  // screen
                          0xFF, 0, 0, 0xFF, 0xFF, 0xFF,                           // red, white fill
                          0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,                        // image descriptor
                          0x02, 0x02, 0x44, 0x01, 0x00,                           // data
                          0x3B};
  EXPECT_EQ(file, expected);
  EXPECT_TRUE(ctx_.Messages().empty());
}

TEST_F(GifWriterTest, ColourCountSetsPackedByteTableAndCodeSize) {
  struct Case {
    int colors, packed, tableEntries, codeSize;
  };
  for (const Case c : {Case{2, 0x80, 2, 2}, Case{3, 0x91, 4, 2}, Case{5, 0xA2, 8, 3}, Case{16, 0xB3, 16, 4},
                       Case{17, 0xC4, 32, 5}, Case{129, 0xF7, 256, 8}, Case{256, 0xF7, 256, 8}}) {
    SCOPED_TRACE(c.colors);
    Bytes file;
    BitmapPtr result = Write(*PictureWithColors(20, 20, c.colors, 3), file);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->NumColors, c.colors);
    ASSERT_GT(file.size(), 13u + 3u * c.tableEntries + 11u);
    EXPECT_EQ(file[10], c.packed);
    for (int i = 0; i < c.tableEntries; ++i) {
      const Color want = i < c.colors ? Bitmap_GetPalColor(*result, i) & 0xFFFFFF : 0xFFFFFF;
      const Color got = file[13 + 3 * i] | (file[14 + 3 * i] << 8) | (file[15 + 3 * i] << 16);
      ASSERT_EQ(got, want) << "entry " << i;
    }
    const std::size_t descriptor = 13 + 3 * c.tableEntries;
    EXPECT_EQ(file[descriptor], 0x2C);  // no graphic control extension
    EXPECT_EQ(file[descriptor + 10], c.codeSize);
    const LzwStream r = ReadLzwStream(Bytes(file.begin(), file.end() - 1), descriptor + 10);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(file.back(), 0x3B);
  }
}

// A palette image with a transparent entry keeps it through the conversion.
TEST_F(GifWriterTest, TransparentColourIsCarriedToIndexZero) {
  BitmapPtr b = MakeBitmap(4, 3, 3);
  Bitmap_SetPalColor(*b, 0, 0xFFFFFFFF);  // the transparent entry, as the GIF reader leaves it
  Bitmap_SetPalColor(*b, 1, 0x000000FF);
  Bitmap_SetPalColor(*b, 2, 0x0000FF00);
  b->HasTrans = 1;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) Bitmap_SetPixel(*b, x, y, x == 0 ? 0 : (x == 1 ? 2 : 1));  // entry 0 is rarest
  }
  Bytes file;
  BitmapPtr result = Write(*b, file);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->HasTrans, 1);
  EXPECT_EQ(Bitmap_GetPalColor(*result, 0) & 0xFFFFFF, 0xFFFFFFu);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(Bitmap_GetPixel(*result, 0, y), 0u);
  const Bytes gce = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00};
  ASSERT_GT(file.size(), 25u + gce.size());
  EXPECT_EQ(Bytes(file.begin() + 25, file.begin() + 33), gce);
  EXPECT_EQ(file[33], 0x2C);
}

TEST_F(GifWriterTest, TransparencyIsDroppedWhenItsColourIsNotUsed) {
  BitmapPtr b = MakeBitmap(2, 2, 2);
  Bitmap_SetPalColor(*b, 0, 0xFF00FF00);
  Bitmap_SetPalColor(*b, 1, 0x00123456);
  b->HasTrans = 1;
  for (int i = 0; i < 4; ++i) Bitmap_SetPixel(*b, i % 2, i / 2, 1);  // no pixel uses entry 0
  Bytes file;
  BitmapPtr result = Write(*b, file);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->HasTrans, 0);
  EXPECT_EQ(file[19], 0x2C);
}

TEST_F(GifWriterTest, TrueColourImageWithHasTransCarriesNoTransparency) {
  BitmapPtr b = PictureWithColors(5, 5, 4, 4);
  b->HasTrans = 1;
  Bytes file;
  BitmapPtr result = Write(*b, file);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->HasTrans, 0);
  EXPECT_EQ(file[13 + 3 * 4], 0x2C);
}

// A failed save says so and still gives the converted picture back, which
// the caller makes the current image; without a conversion there is none.
TEST_F(GifWriterTest, FailuresAreReportedAndKeepTheImage) {
  sys::File closed;
  BitmapPtr source = PictureWithColors(4, 4, 3, 5);
  BitmapPtr converted;
  EXPECT_EQ(WriteGifFile(source.get(), closed, converted, OutputOptions{}, ctx_), sys::Code::kIo);
  ASSERT_NE(converted, nullptr);
  EXPECT_EQ(converted->XSize, 4);
  BitmapPtr none;
  EXPECT_EQ(WriteGifFile(nullptr, closed, none, OutputOptions{}, ctx_), sys::Code::kNoImage);
  EXPECT_EQ(none, nullptr);
  BitmapPtr empty = MakeBitmap(0, 0, 0);
  BitmapPtr emptyWritten;
  EXPECT_NE(WriteGifFile(empty.get(), closed, emptyWritten, OutputOptions{}, ctx_), sys::Code::kOk);
  EXPECT_EQ(emptyWritten, nullptr);
  BitmapPtr broken = PictureWithColors(4, 4, 3, 5);
  broken->pData.resize(1);
  BitmapPtr brokenWritten;
  EXPECT_EQ(WriteGifFile(broken.get(), closed, brokenWritten, OutputOptions{}, ctx_), sys::Code::kInternal);
  EXPECT_EQ(brokenWritten, nullptr);
  const std::vector<sys::Message>& messages = ctx_.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].code, sys::Code::kIo);
  EXPECT_EQ(messages[1].code, sys::Code::kNoImage);
  EXPECT_EQ(messages[3].code, sys::Code::kInternal);
  for (const sys::Message& m : messages) EXPECT_FALSE(m.warning);

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto full = sys::File::Create("/dev/full");
  ASSERT_TRUE(full.has_value());
  sys::Context ctx;
  BitmapPtr large = PictureWithColors(400, 400, 256, 6);
  BitmapPtr written;
  EXPECT_EQ(WriteGifFile(large.get(), *full, written, OutputOptions{}, ctx), sys::Code::kIo);
  EXPECT_NE(written, nullptr);
  ASSERT_EQ(ctx.Messages().size(), 1u);
  EXPECT_EQ(ctx.Messages()[0].code, sys::Code::kIo);
}

struct Sample {
  int w, h, colors;
};
const Sample kSamples[] = {{1, 1, 1}, {3, 7, 2}, {17, 5, 3}, {64, 64, 16}, {33, 90, 100}, {300, 200, 256}};

// Our decoder, taking the frame as it lies in the file, sees the indices and
// palette of the converted image.
TEST_F(GifWriterTest, OurDecoderReadsBackIndicesAndPalette) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h << " colours " << s.colors);
    Bytes file;
    BitmapPtr result = Write(*PictureWithColors(s.w, s.h, s.colors, 8), file);
    ASSERT_NE(result, nullptr);
    GifInfo info;
    info.DataSize = static_cast<std::uint32_t>(file.size());
    GifFrame frame;
    sys::Context ctx;
    ASSERT_EQ(ParseGifFrameRaw(file, info, frame, 0, ctx), 0) << ctx.LastFailureText();
    ASSERT_NE(frame.pBitmap, nullptr);
    const Bitmap& back = *frame.pBitmap;
    ASSERT_EQ(back.XSize, s.w);
    ASSERT_EQ(back.YSize, s.h);
    ASSERT_GE(back.NumColors, result->NumColors);
    for (int i = 0; i < back.NumColors; ++i) {
      const Color want = i < result->NumColors ? Bitmap_GetPalColor(*result, i) : 0xFFFFFF;
      ASSERT_EQ(Bitmap_GetPalColor(back, i) & 0xFFFFFF, want & 0xFFFFFF) << "entry " << i;
    }
    for (int y = 0; y < s.h; ++y) {
      for (int x = 0; x < s.w; ++x) ASSERT_EQ(Bitmap_GetPixel(back, x, y), Bitmap_GetPixel(*result, x, y));
    }
  }
}

#ifdef RASTRA_HAVE_GIFLIB
struct MemoryReader {
  const Bytes* data;
  std::size_t at = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int n) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), reader->data->size() - reader->at);
  std::memcpy(out, reader->data->data() + reader->at, take);
  reader->at += take;
  return static_cast<int>(take);
}

TEST_F(GifWriterTest, GiflibReadsBackIndicesPaletteAndTransparency) {
  for (const Sample& s : kSamples) {
    for (int transparent : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h << " colours " << s.colors << " trans " << transparent);
      BitmapPtr source = PictureWithColors(s.w, s.h, s.colors, 9);
      if (transparent != 0) {
        // Through a palette image whose entry 0 is transparent.
        BitmapPtr pal = MakeBitmap(s.w, s.h, s.colors);
        for (int i = 0; i < s.colors; ++i) Bitmap_SetPalColor(*pal, i, 0x00010307u * static_cast<unsigned>(i + 1) & 0xFFFFFF);
        for (int y = 0; y < s.h; ++y) {
          for (int x = 0; x < s.w; ++x) {
            const Color c = Bitmap_GetPixel(*source, x, y);
            Bitmap_SetPixel(*pal, x, y, (c / 0x00010307u - 1) % static_cast<unsigned>(s.colors));
          }
        }
        pal->HasTrans = 1;
        source = std::move(pal);
      }
      Bytes file;
      BitmapPtr result = Write(*source, file);
      ASSERT_NE(result, nullptr);
      MemoryReader reader{&file};
      int error = 0;
      GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
      ASSERT_NE(gif, nullptr) << error;
      ASSERT_EQ(DGifSlurp(gif), GIF_OK) << gif->Error;
      ASSERT_EQ(gif->ImageCount, 1);
      EXPECT_EQ(gif->SWidth, s.w);
      EXPECT_EQ(gif->SHeight, s.h);
      ASSERT_NE(gif->SColorMap, nullptr);
      for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
        const GifColorType& c = gif->SColorMap->Colors[i];
        const Color got = c.Red | (c.Green << 8) | (c.Blue << 16);
        const Color want = i < result->NumColors ? Bitmap_GetPalColor(*result, i) & 0xFFFFFF : 0xFFFFFF;
        ASSERT_EQ(got, want) << "entry " << i;
      }
      const SavedImage& image = gif->SavedImages[0];
      for (int y = 0; y < s.h; ++y) {
        for (int x = 0; x < s.w; ++x) {
          ASSERT_EQ(image.RasterBits[y * s.w + x], Bitmap_GetPixel(*result, x, y)) << x << "," << y;
        }
      }
      GraphicsControlBlock gcb;
      const bool hasGcb = DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK;
      EXPECT_EQ(hasGcb, result->HasTrans != 0);
      if (hasGcb) {
        EXPECT_EQ(gcb.TransparentColor, 0);
      }
      EXPECT_EQ(result->HasTrans, transparent);
      DGifCloseFile(gif, &error);
    }
  }
}
#endif

}  // namespace
