// The core library as a program of its own uses it: the public headers alone,
// one call per job, the specific cause of every failure, the source of every
// conversion left as it was, and the same bytes the command line writes.
#include <rastra/rastra.h>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using testing_support::ReadBytes;
using testing_support::RunRastra;
using testing_support::TempDir;

const std::string kSamples = std::string(RASTRA_SOURCE_DIR) + "/samples/";
const std::string kFirmwareImages = std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/";

std::vector<std::uint8_t> Noise(int width, int height, bool opaque) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    rgba[i] = static_cast<std::uint8_t>(state >> 24);
    if (opaque && i % 4 == 3) rgba[i] = 255;
  }
  return rgba;
}

rastra::Image Must(rastra::Result<rastra::Image> result) {
  EXPECT_TRUE(result) << result.text;
  return std::move(result.value);
}

std::string AsText(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A PNG of 256 x 48 pixels of noise, written by the library itself: large
// enough for several IDAT chunks, so a cut lands in the middle of the rows.
std::string NoisePng() {
  const std::vector<std::uint8_t> rgba = Noise(256, 48, true);
  rastra::WriteOptions png;
  png.type = rastra::kOutputPng;
  auto written = rastra::Write(Must(rastra::FromRgba(rgba.data(), 256, 48)), png);
  EXPECT_TRUE(written) << written.text;
  return written.value;
}

TEST(LibraryLoad, FailuresSayWhatIsWrongWithTheirCode) {
  TempDir dir;
  const std::string png = NoisePng();
  const std::string text = "This is a text file, not a picture at all.";
  const std::vector<std::uint8_t> bmp = ReadBytes(kSamples + "logo.bmp");
  rastra::ReadOptions narrow;
  narrow.limits.maxWidth = 8;
  struct Case {
    const char* what;
    rastra::Result<rastra::Image> result;
    rastra::Code code;
    const char* pattern;
  };
  Case cases[] = {
      {"missing file", rastra::Load(dir.File("missing.png")), rastra::Code::kIo,
       "input/output: cannot open .*missing\\.png: No such file or directory"},
      {"folder", rastra::Load(dir.Path().string()), rastra::Code::kIo, "input/output: cannot open .*: is a directory"},
      {"cut in the rows", rastra::LoadFromMemory(png.data(), png.size() / 2, "noise.png"), rastra::Code::kTruncated,
       "truncated: the data ends in row [0-9]+ of 48"},
      {"cut in the header", rastra::LoadFromMemory(png.data(), 30, "noise.png"), rastra::Code::kTruncated,
       "truncated: the data ends before the first row of the picture"},
      {"text named .png", rastra::LoadFromMemory(text.data(), text.size(), "x.png"), rastra::Code::kNotRecognised,
       "not recognised: the data does not begin with the PNG signature"},
      {"no type at all", rastra::LoadFromMemory(text.data(), text.size(), "notes.txt"), rastra::Code::kUnknownType,
       "unknown type: Unsupported file type"},
      {"too wide", rastra::LoadFromMemory(bmp.data(), bmp.size(), "logo.bmp", narrow), rastra::Code::kLimit, "limit: .*"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(c.result.code, c.code) << c.what << ": " << c.result.text;
    EXPECT_TRUE(std::regex_match(c.result.text, std::regex(c.pattern))) << c.what << ": " << c.result.text;
    EXPECT_TRUE(c.result.value.Empty()) << c.what;
    ASSERT_FALSE(c.result.messages.empty()) << c.what;
    for (const rastra::Message& m : c.result.messages) EXPECT_EQ(m.text.find('\n'), std::string::npos) << m.text;
  }
  // The row the data ends in lies inside the picture.
  std::smatch row;
  const std::string& cut = cases[2].result.text;
  ASSERT_TRUE(std::regex_search(cut, row, std::regex("row ([0-9]+)")));
  EXPECT_GT(std::stoi(row[1]), 1);
  EXPECT_LT(std::stoi(row[1]), 48);
}

TEST(LibraryLoad, TheContentDecidesAndTheNameIsAHint) {
  const std::vector<std::uint8_t> bmp = ReadBytes(kSamples + "logo.bmp");
  auto named = rastra::Load(kSamples + "logo.bmp");
  auto misnamed = rastra::LoadFromMemory(bmp.data(), bmp.size(), "photo.png");
  ASSERT_TRUE(named) << named.text;
  ASSERT_TRUE(misnamed) << misnamed.text;
  EXPECT_EQ(rastra::DetectFileType(bmp.data(), bmp.size(), "photo.png"), rastra::FileType::kBmp);
  EXPECT_EQ(misnamed.value.Width(), 96);
  EXPECT_EQ(misnamed.value.Height(), 48);
  for (int y = 0; y < 48; y += 7) {
    for (int x = 0; x < 96; x += 5) {
      const rastra::Rgba a = named.value.Pixel(x, y);
      const rastra::Rgba b = misnamed.value.Pixel(x, y);
      ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << x << "," << y;
    }
  }
}

TEST(LibraryPixels, RgbaGoesInAndComesOutWithItsStrideAndAlpha) {
  const int width = 5;
  const int height = 3;
  const std::ptrdiff_t stride = width * 4 + 3;  // rows with a gap
  for (const bool opaque : {true, false}) {
    const std::vector<std::uint8_t> tight = Noise(width, height, opaque);
    std::vector<std::uint8_t> padded(static_cast<std::size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y) std::copy_n(&tight[y * width * 4], width * 4, &padded[y * stride]);

    const rastra::Image image = Must(rastra::FromRgba(padded.data(), width, height, stride));
    EXPECT_EQ(image.HasAlpha(), !opaque);
    EXPECT_TRUE(image.IsTrueColor());
    const rastra::Rgba corner = image.Pixel(width - 1, 0);  // the top row comes first
    EXPECT_EQ(corner.r, tight[(width - 1) * 4]);
    auto back = rastra::ToRgba(image);
    ASSERT_TRUE(back) << back.text;
    EXPECT_EQ(back.value, tight);
    std::vector<std::uint8_t> out(padded.size(), 0xEE);
    ASSERT_TRUE(rastra::ToRgba(image, out.data(), stride));
    EXPECT_EQ(out, padded);  // the gaps are left alone
  }
  // A palette image's transparent entry exports as alpha 0.
  const std::vector<std::uint8_t> two = {255, 0, 0, 0, 0, 0, 255, 255};
  const rastra::Image red = Must(rastra::FromRgba(two.data(), 2, 1));
  const rastra::Image palette = Must(rastra::ToBestPaletteWithTransparency(red));
  ASSERT_TRUE(palette.HasTransparentEntry());
  auto exported = rastra::ToRgba(palette);
  ASSERT_TRUE(exported);
  EXPECT_EQ(exported.value[3], 0);
  EXPECT_EQ(exported.value[7], 255);
  EXPECT_EQ(rastra::FromRgba(nullptr, 2, 2).code, rastra::Code::kBadArgument);
  EXPECT_EQ(rastra::FromRgba(two.data(), 2, 1, 4).code, rastra::Code::kBadArgument);  // rows shorter than 2 pixels
}

// The library writes the bytes the command line writes for the same image
// and save: one way to do each job.
TEST(LibraryWrite, GivesTheCommandLinesBytes) {
  TempDir dir;
  const rastra::Image logo = Must(rastra::Load(kSamples + "logo.bmp"));
  const rastra::Image converted = Must(rastra::Convert(logo, rastra::kFormat565));
  struct Case {
    const char* save;  // the -saveas parameter after the file name
    const char* file;
    int type;
    int format;
    bool noPalette;
  };
  const Case cases[] = {
      {",1", "a.c", rastra::kOutputCBitmap, 0, false},       // FORMAT by the picture
      {",1,5", "b.c", rastra::kOutputCBitmap, 5, false},     // fitted to 8666 first
      {",3,12,1", "c.dta", rastra::kOutputCStream, 12, true},
      {",1,1,0", "d.c", rastra::kOutputCBitmap, 1, false},   // fitted to BW first
      {",2", "e.bmp", rastra::kOutputBmp, 0, false},
      {",4", "f.gif", rastra::kOutputGif, 0, false},
  };
  for (const Case& c : cases) {
    const auto run = RunRastra({kSamples + "logo.bmp", "-defaultsettings", "-convertinto565",
                                "-saveas" + dir.File(c.file) + c.save, "-exit"},
                               dir.Path(), testing_support::Display::None);
    ASSERT_EQ(run.exitCode, 0) << c.file << ": " << run.err;
    rastra::WriteOptions options;
    options.type = c.type;
    options.format = c.format;
    options.noPalette = c.noPalette;
    options.name = c.file;
    auto written = rastra::Write(converted, options);
    ASSERT_TRUE(written) << c.file << ": " << written.text;
    EXPECT_EQ(written.value, AsText(ReadBytes(dir.File(c.file)))) << c.file;
  }
  // The saves fitted copies: the image itself is still true colour.
  EXPECT_TRUE(converted.IsTrueColor());
}

TEST(LibraryWrite, RefusalsNameTheProblem) {
  const rastra::Image logo = Must(rastra::Load(kSamples + "logo.bmp"));
  struct Case {
    int type;
    int format;
    std::string name;
    rastra::Code code;
    const char* text;
  };
  const Case cases[] = {
      {rastra::kOutputCBitmap, 14, "x", rastra::Code::kBadFormat, "bad format: FORMAT does not match image."},
      {rastra::kOutputCBitmap, 30, "x", rastra::Code::kBadFormat, "bad format: FORMAT must be 1 to 29 or 99, not 30"},
      {9, 0, "x", rastra::Code::kBadType, "bad type: TYPE must be 1 to 7"},
      {rastra::kOutputCBitmap, 0, "---", rastra::Code::kBadName, "bad name: Illegal identifier"},
  };
  for (const Case& c : cases) {
    rastra::WriteOptions options;
    options.type = c.type;
    options.format = c.format;
    options.name = c.name;
    auto written = rastra::Write(logo, options);
    EXPECT_EQ(written.code, c.code) << written.text;
    EXPECT_EQ(written.text, c.text);
    EXPECT_TRUE(written.value.empty());
  }
  EXPECT_EQ(rastra::Write(rastra::Image{}, {}).code, rastra::Code::kNoImage);
  EXPECT_EQ(rastra::CIdentifierOf("icons/c\xC3\xB4ne-1.png"), "cne1");
}

TEST(LibraryConvert, AFailureLeavesTheSourceAndEveryCallANewImage) {
  const rastra::Image logo = Must(rastra::Load(kSamples + "logo.bmp"));
  auto before = rastra::ToRgba(logo);
  ASSERT_TRUE(before);
  auto tooLarge = rastra::Scale(logo, 100000, 10);
  EXPECT_EQ(tooLarge.code, rastra::Code::kBadArgument);
  EXPECT_EQ(rastra::ReduceColors(logo, 1).code, rastra::Code::kBadArgument);
  EXPECT_EQ(rastra::Convert(logo, static_cast<rastra::ColorFormatId>(40)).code, rastra::Code::kBadArgument);
  EXPECT_EQ(rastra::SetTransparentColor(logo, 0x123456).code, rastra::Code::kBadFormat);
  ASSERT_TRUE(rastra::FlipHorizontally(logo));
  ASSERT_TRUE(rastra::ToBestPalette(logo));
  ASSERT_TRUE(rastra::Scale(logo, 10, 10));
  ASSERT_TRUE(rastra::InvertIndices(logo));
  EXPECT_EQ(rastra::ToRgba(logo).value, before.value);

  const rastra::Image turned = Must(rastra::Rotate(logo, rastra::Rotation::kClockwise));
  EXPECT_EQ(turned.Width(), logo.Height());
  const rastra::Rgba topLeft = logo.Pixel(0, 0);
  const rastra::Rgba moved = turned.Pixel(turned.Width() - 1, 0);  // clockwise: top left goes top right
  EXPECT_TRUE(topLeft.r == moved.r && topLeft.g == moved.g && topLeft.b == moved.b);
}

// No exception leaves the library: a picture that does not fit in memory is a
// result with its code. A child under an address-space limit asks for 6.4 GB.
TEST(LibraryConvert, MemoryRunningOutIsAResult) {
  RASTRA_SKIP_UNDER_SANITIZER();
  const std::vector<std::uint8_t> pixel = Noise(1, 1, true);
  const rastra::Image image = Must(rastra::FromRgba(pixel.data(), 1, 1));
  const pid_t child = fork();
  if (child == 0) {
    const rlim_t limit = rlim_t{1} << 30;
    const struct rlimit rl { limit, limit };
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(2);
    const rastra::Result<rastra::Image> scaled = rastra::Scale(image, 40000, 40000);
    _exit(!scaled && scaled.code == rastra::Code::kOutOfMemory && !scaled.text.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(LibraryAnimation, GivesTheCommandLinesSpriteAndRefusesOneFrame) {
  TempDir dir;
  const std::vector<std::uint8_t> spin = ReadBytes(kFirmwareImages + "spin.gif");
  const auto run = RunRastra({kFirmwareImages + "spin.gif", "-defaultsettings", "-fliph",
                              "-saveas" + dir.File("spin.c") + ",6,4", "-exit"},
                             dir.Path(), testing_support::Display::None);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  rastra::WriteOptions sprite;
  sprite.type = rastra::kOutputAnimSprite;
  sprite.format = 4;
  sprite.name = "spin";
  sprite.editFrame = [](const rastra::Image& frame, int) { return rastra::FlipHorizontally(frame); };
  auto written = rastra::WriteAnimation(spin.data(), spin.size(), sprite);
  ASSERT_TRUE(written) << written.text;
  EXPECT_EQ(written.value, AsText(ReadBytes(dir.File("spin.c"))));

  const std::vector<std::uint8_t> flag = ReadBytes(kFirmwareImages + "flag.gif");
  auto single = rastra::WriteAnimation(flag.data(), flag.size(), sprite);
  EXPECT_EQ(single.code, rastra::Code::kBadArgument);
  EXPECT_EQ(single.text, "bad argument: GIF file is not animated.");
  const std::vector<std::uint8_t> logo = ReadBytes(kSamples + "logo.bmp");
  EXPECT_EQ(rastra::WriteAnimation(logo.data(), logo.size(), sprite).code, rastra::Code::kNotRecognised);
}

}  // namespace
