// The readers against public test suites: BMP Suite (good, questionable and
// bad files) and PngSuite, with libpng's simplified API as the PNG oracle.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ReaderTestSupport.h"
#include "TestSupport.h"
#include "readers/BmpReader.h"
#include "readers/PngReader.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

namespace fs = std::filesystem;
using testing_support::ExplainsFailure;
using testing_support::ReadRecorder;

std::vector<fs::path> FilesIn(const fs::path& dir, const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Reads the bytes from a buffer of exactly their size, so that the
// sanitizers catch any read past the data.
ReadResult ReadBmpExact(const std::vector<std::uint8_t>& bytes, sys::Context& ctx) {
  const auto exact = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), exact.get());
  return ReadBmpFile(std::span<const std::uint8_t>(exact.get(), bytes.size()), ReadOptions{}, ctx);
}

ReadResult ReadBmpExact(const fs::path& path, sys::Context& ctx) {
  return ReadBmpExact(testing_support::ReadBytes(path.string()), ctx);
}

std::uint32_t LE(const std::vector<std::uint8_t>& d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | d[at + i];
  return v;
}

// Width and height as the file's own header states them.
std::pair<int, int> HeaderSize(const fs::path& path) {
  const auto d = testing_support::ReadBytes(path.string());
  if (LE(d, 14, 4) == 12) return {static_cast<int>(LE(d, 18, 2)), static_cast<int>(LE(d, 20, 2))};
  const auto height = static_cast<std::int32_t>(LE(d, 22, 4));
  return {static_cast<int>(LE(d, 18, 4)), height < 0 ? -height : height};
}

struct Difference {
  int max = 0;
  double mean = 0;
};

// Channel difference of red, green and blue between two pictures of one size.
Difference Compare(const Bitmap& a, const Bitmap& b) {
  Difference d;
  double sum = 0;
  for (int y = 0; y < a.YSize; ++y) {
    for (int x = 0; x < a.XSize; ++x) {
      const Color ca = Bitmap_GetPixelColor(a, x, y);
      const Color cb = Bitmap_GetPixelColor(b, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const int diff = std::abs(static_cast<int>((ca >> shift) & 0xFF) - static_cast<int>((cb >> shift) & 0xFF));
        d.max = std::max(d.max, diff);
        sum += diff;
      }
    }
  }
  d.mean = sum / (3.0 * a.XSize * a.YSize);
  return d;
}

int Grey(Color c) {
  const auto r = static_cast<int>(c & 0xFF);
  const auto g = static_cast<int>((c >> 8) & 0xFF);
  const auto b = static_cast<int>((c >> 16) & 0xFF);
  return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

// Grey level difference, for grey-scale renderings of a colour picture.
Difference CompareGrey(const Bitmap& grey, const Bitmap& colour) {
  Difference d;
  double sum = 0;
  for (int y = 0; y < grey.YSize; ++y) {
    for (int x = 0; x < grey.XSize; ++x) {
      const int diff = std::abs(static_cast<int>(Bitmap_GetPixelColor(grey, x, y) & 0xFF) -
                                Grey(Bitmap_GetPixelColor(colour, x, y)));
      d.max = std::max(d.max, diff);
      sum += diff;
    }
  }
  d.mean = sum / (static_cast<double>(grey.XSize) * grey.YSize);
  return d;
}

class BmpSuiteGood : public ::testing::Test {
 protected:
  void SetUp() override {
    auto dir = testing_support::CorpusDir("bmp/g");
    if (!dir) {
      GTEST_SKIP() << "corpus folder 'bmp/g' not found (set RASTRA_CORPUS)";
    }
    dir_ = *dir;
    reference_ = ReadBmpExact(dir_ / "rgb24.bmp", rec_.Ctx()).image;
    ASSERT_NE(reference_, nullptr);
  }
  BitmapPtr Load(const std::string& name) {
    BitmapPtr b = ReadBmpExact(dir_ / name, rec_.Ctx()).image;
    EXPECT_NE(b, nullptr) << name;
    return b;
  }
  fs::path dir_;
  BitmapPtr reference_;
  ReadRecorder rec_;
};

TEST_F(BmpSuiteGood, EveryFileLoadsWithItsSizeAndNoMessage) {
  for (const fs::path& path : FilesIn(dir_, ".bmp")) {
    rec_.Clear();
    const BitmapPtr b = ReadBmpExact(path, rec_.Ctx()).image;
    ASSERT_NE(b, nullptr) << path.filename() << ": " << testing_support::AllTexts(rec_.Ctx());
    const auto [w, h] = HeaderSize(path);
    EXPECT_EQ(b->XSize, w) << path.filename();
    EXPECT_EQ(b->YSize, h) << path.filename();
    EXPECT_TRUE(rec_.Texts().empty()) << path.filename() << ": " << testing_support::AllTexts(rec_.Ctx());
  }
}

TEST_F(BmpSuiteGood, TrueColourFilesEqualTheReferenceUpToTheirDepth) {
  for (const char* name : {"rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp"}) {
    const BitmapPtr b = Load(name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Compare(*b, *reference_).max, 0) << name;
  }
  // Five bits per channel: at most one step of 255 / 31.
  for (const char* name : {"rgb16.bmp", "rgb16bfdef.bmp", "rgb16-565.bmp", "rgb16-565pal.bmp"}) {
    const BitmapPtr b = Load(name);
    ASSERT_NE(b, nullptr);
    EXPECT_LE(Compare(*b, *reference_).max, 8) << name;
  }
}

TEST_F(BmpSuiteGood, EveryEncodingOfAPaletteImageDecodesAlike) {
  const BitmapPtr pal8 = Load("pal8.bmp");
  ASSERT_NE(pal8, nullptr);
  // 252 colours: small differences everywhere, never a wrong area.
  const Difference d = Compare(*pal8, *reference_);
  EXPECT_LE(d.mean, 16.0);
  EXPECT_LE(d.max, 64);
  for (const char* name : {"pal8-0.bmp", "pal8os2.bmp", "pal8rle.bmp", "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp"}) {
    const BitmapPtr b = Load(name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Compare(*b, *pal8).max, 0) << name;
  }
  const BitmapPtr pal4 = Load("pal4.bmp");
  const BitmapPtr pal4rle = Load("pal4rle.bmp");
  ASSERT_TRUE(pal4 && pal4rle);
  EXPECT_EQ(Compare(*pal4rle, *pal4).max, 0);
  EXPECT_LE(Compare(*pal4, *reference_).mean, 70.0);  // 12 colours
  const BitmapPtr pal1 = Load("pal1.bmp");
  const BitmapPtr pal1wb = Load("pal1wb.bmp");
  ASSERT_TRUE(pal1 && pal1wb);
  EXPECT_EQ(Compare(*pal1wb, *pal1).max, 0);
}

TEST_F(BmpSuiteGood, GreyFilesFollowTheReferenceBrightness) {
  for (const char* name : {"pal8gs.bmp", "pal4gs.bmp"}) {
    const BitmapPtr b = Load(name);
    ASSERT_NE(b, nullptr);
    // The luminance weights of the files' maker are unknown; the levels are not.
    EXPECT_LE(CompareGrey(*b, *reference_).mean, std::string(name) == "pal8gs.bmp" ? 10.0 : 16.0) << name;
  }
}

// Questionable and bad files: a picture, or no picture and a message; never a
// crash, a hang or a read past the data (the sanitizer build checks the last).
void LoadsOrExplains(const std::string& sub) {
  auto dir = testing_support::CorpusDir(sub);
  if (!dir) {
    GTEST_SKIP() << "corpus folder '" << sub << "' not found (set RASTRA_CORPUS)";
  }
  for (const fs::path& path : FilesIn(*dir, ".bmp")) {
    sys::Context ctx;
    const ReadResult read = ReadBmpExact(path, ctx);
    const BitmapPtr& b = read.image;
    std::string outcome = b ? "image " + std::to_string(b->XSize) + "x" + std::to_string(b->YSize)
                            : std::string("no image (") + sys::CodeName(read.code) + ")";
    for (const std::string& text : testing_support::TextsOf(ctx)) outcome += " | " + text;
    std::printf("  %-22s %s\n", path.filename().c_str(), outcome.c_str());
    EXPECT_TRUE(ExplainsFailure(read, ctx)) << path.filename() << " failed without saying why";
  }
}

TEST(BmpSuiteQuestionable, EveryFileGivesAPictureOrAMessage) { LoadsOrExplains("bmp/q"); }
TEST(BmpSuiteBad, EveryFileGivesAPictureOrAMessage) { LoadsOrExplains("bmp/b"); }

// ---------------------------------------------------------------------------
// PngSuite

std::vector<std::uint8_t> ReadBytesOf(const fs::path& path) { return testing_support::ReadBytes(path.string()); }

std::uint32_t BE32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return (static_cast<std::uint32_t>(d[at]) << 24) | (d[at + 1] << 16) | (d[at + 2] << 8) | d[at + 3];
}

bool HasPngSignature(const std::vector<std::uint8_t>& d) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return d.size() >= 8 && std::equal(signature, signature + 8, d.begin());
}

// Chunk types in file order, walked independently of the reader.
std::vector<std::string> ChunkTypes(const std::vector<std::uint8_t>& d) {
  std::vector<std::string> types;
  for (std::size_t at = 8; at + 8 <= d.size();) {
    const std::uint32_t length = BE32(d, at);
    types.emplace_back(d.begin() + static_cast<std::ptrdiff_t>(at + 4), d.begin() + static_cast<std::ptrdiff_t>(at + 8));
    at += 12 + static_cast<std::size_t>(length);
  }
  return types;
}

bool Has(const std::vector<std::string>& types, const char* type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

ReadResult ReadPngExact(const std::vector<std::uint8_t>& bytes, sys::Context& ctx) {
  const auto exact = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), exact.get());
  return ReadPngFile(std::span<const std::uint8_t>(exact.get(), bytes.size()), ReadOptions{}, ctx);
}

BitmapPtr ReadPngExact(const std::vector<std::uint8_t>& bytes) {
  sys::Context ctx;
  return ReadPngExact(bytes, ctx).image;
}

// Every prefix of a good file, and its header with single bytes forced to
// extreme values: an image or a message, never a read past the data.
TEST(BmpSuiteDamaged, CutAndAlteredFilesGiveAPictureOrAMessage) {
  SKIP_WITHOUT_CORPUS(dir, "bmp/g");
  for (const char* name : {"pal1.bmp", "pal4rle.bmp", "pal8rle.bmp", "pal8os2.bmp", "rgb16-565.bmp", "rgb32bf.bmp",
                           "pal8v5.bmp"}) {
    const auto original = ReadBytesOf(*dir / name);
    std::vector<std::vector<std::uint8_t>> variants;
    for (std::size_t length = 0; length < original.size(); length += 7) {
      variants.emplace_back(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
    }
    for (std::size_t at = 0; at < 70 && at < original.size(); ++at) {
      for (std::uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
        variants.push_back(original);
        variants.back()[at] = value;
      }
    }
    for (const auto& bytes : variants) {
      sys::Context ctx;
      const ReadResult read = ReadBmpExact(bytes, ctx);
      ASSERT_TRUE(ExplainsFailure(read, ctx)) << name << ": a variant of " << bytes.size() << " bytes failed silently";
    }
  }
}

TEST(PngSuiteDamaged, CutFilesGiveNoBitmapAfterALibpngTextAndSayWhereTheyEnd) {
  SKIP_WITHOUT_CORPUS(dir, "png");
  for (const char* name : {"basn3p08.png", "basi6a16.png", "tbbn3p08.png"}) {
    const auto original = ReadBytesOf(*dir / name);
    for (std::size_t length = 14; length < original.size() - 12; length += 5) {  // IEND stays missing
      sys::Context ctx;
      const std::vector<std::uint8_t> cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
      const ReadResult read = ReadPngExact(cut, ctx);
      EXPECT_TRUE(testing_support::FailsWith(read, sys::Code::kTruncated, "No Bitmap")) << name << " cut to " << length;
      EXPECT_TRUE(read.cause.starts_with("the data ends ")) << read.cause;
      ASSERT_EQ(ctx.Messages().size(), 2u) << name << " cut to " << length;
      EXPECT_EQ(ctx.Messages()[0].code, sys::Code::kCorrupt);  // libpng's text
      EXPECT_EQ(ctx.Messages()[1].text, "No Bitmap");
    }
  }
}

// The oracle: libpng's simplified API, asked for 8-bit RGBA.
std::optional<std::vector<std::uint8_t>> OracleRgba(const std::vector<std::uint8_t>& bytes, png_uint_32& width,
                                                   png_uint_32& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return std::nullopt;
  }
  width = image.width;
  height = image.height;
  return pixels;
}

class PngSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    auto dir = testing_support::CorpusDir("png");
    if (!dir) {
      GTEST_SKIP() << "corpus folder 'png' not found (set RASTRA_CORPUS)";
    }
    files_ = FilesIn(*dir, ".png");
  }
  std::vector<fs::path> files_;
  ReadRecorder rec_;
};

TEST_F(PngSuite, CorruptFilesGiveTheLibpngTextAndNoBitmap) {
  int corrupt = 0;
  for (const fs::path& path : files_) {
    if (path.filename().string()[0] != 'x') continue;
    ++corrupt;
    rec_.Clear();
    const auto bytes = ReadBytesOf(path);
    const ReadResult read = ReadPngExact(bytes, rec_.Ctx());
    EXPECT_EQ(read.image, nullptr) << path.filename();
    // libpng's warnings on the way (an invalid colour type) come first.
    std::vector<std::string> texts;
    for (const sys::Message& m : rec_.Ctx().Messages()) {
      if (!m.warning) texts.push_back(m.text);
    }
    ASSERT_FALSE(texts.empty()) << path.filename();
    EXPECT_EQ(texts.back(), "No Bitmap") << path.filename();
    if (HasPngSignature(bytes)) {
      ASSERT_EQ(texts.size(), 2u) << path.filename();
      EXPECT_EQ(read.code, sys::Code::kCorrupt) << path.filename() << ": " << texts[0];
      EXPECT_EQ(rec_.Ctx().Messages()[0].code, sys::Code::kCorrupt) << path.filename();  // libpng's text
    } else {
      // A damaged signature is no PNG: libpng is never asked.
      EXPECT_EQ(texts.size(), 1u) << path.filename();
      EXPECT_EQ(read.code, sys::Code::kNotRecognised) << path.filename();
    }
  }
  EXPECT_GT(corrupt, 0);
}

TEST_F(PngSuite, EveryOtherFileLoadsAsTrueColourOfItsSize) {
  int compared = 0;
  for (const fs::path& path : files_) {
    if (path.filename().string()[0] == 'x') continue;
    rec_.Clear();
    const auto bytes = ReadBytesOf(path);
    const BitmapPtr b = ReadPngExact(bytes, rec_.Ctx()).image;
    ASSERT_NE(b, nullptr) << path.filename() << ": " << testing_support::AllTexts(rec_.Ctx());
    EXPECT_TRUE(rec_.Texts().empty()) << path.filename();
    EXPECT_EQ(b->BitsPerPixel, 32) << path.filename();
    EXPECT_EQ(b->NumColors, 0) << path.filename();
    EXPECT_EQ(static_cast<std::uint32_t>(b->XSize), BE32(bytes, 16)) << path.filename();
    EXPECT_EQ(static_cast<std::uint32_t>(b->YSize), BE32(bytes, 20)) << path.filename();
    const std::vector<std::string> chunks = ChunkTypes(bytes);
    const bool transparent = (bytes[25] & 4) != 0 || Has(chunks, "tRNS");
    EXPECT_EQ(b->HasAlpha, transparent ? 1 : 0) << path.filename();
    if (Has(chunks, "gAMA") || Has(chunks, "bKGD")) continue;

    png_uint_32 width = 0, height = 0;
    const auto rgba = OracleRgba(bytes, width, height);
    ASSERT_TRUE(rgba) << path.filename();
    ASSERT_EQ(width, static_cast<png_uint_32>(b->XSize));
    int mismatches = 0;
    for (int y = 0; y < b->YSize; ++y) {
      for (int x = 0; x < b->XSize; ++x) {
        const std::uint8_t* p = rgba->data() + (static_cast<std::size_t>(y) * width + x) * 4;
        const Color expected = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<Color>(255 - p[3]) << 24);
        mismatches += Bitmap_GetPixel(*b, x, y) != expected ? 1 : 0;
      }
    }
    EXPECT_EQ(mismatches, 0) << path.filename();
    ++compared;
  }
  std::printf("  compared %d files pixel by pixel\n", compared);
  EXPECT_GT(compared, 0);
}

// Interlaced files carry the same picture and chunks as their progressive
// twins, so both must decode alike (the oracle cannot judge them: they carry gAMA).
TEST_F(PngSuite, InterlacedFilesDecodeLikeTheirProgressiveTwins) {
  int pairs = 0;
  for (const fs::path& path : files_) {
    std::string twin = path.filename().string();
    const std::size_t mark = twin.rfind("i", 4);
    if (twin[0] == 'x' || mark == std::string::npos || mark < 3 || twin.size() < 12) continue;
    twin[mark] = 'n';
    const fs::path twinPath = path.parent_path() / twin;
    if (!fs::exists(twinPath)) continue;
    const BitmapPtr interlaced = ReadPngExact(ReadBytesOf(path));
    const BitmapPtr progressive = ReadPngExact(ReadBytesOf(twinPath));
    ASSERT_TRUE(interlaced && progressive) << path.filename();
    ASSERT_EQ(interlaced->XSize, progressive->XSize);
    ASSERT_EQ(interlaced->YSize, progressive->YSize);
    EXPECT_EQ(interlaced->pData, progressive->pData) << path.filename() << " vs " << twin;
    ++pairs;
  }
  EXPECT_GE(pairs, 20);
}

}  // namespace
