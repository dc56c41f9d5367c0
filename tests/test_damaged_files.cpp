// Damaged files never pass as good: a JPEG whose image data is cut short
// says so, whatever its layout, and an intact one says nothing; what libpng
// leaves out of a PNG is reported about the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "JpegTestSupport.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kCutShort[] = "JPEG file damaged: the image data ends before the end of its scan";

// The file cut inside the image data of its last scan, at fraction of it,
// and ended with the end-of-image marker as a damaged copy often is.
Bytes CutInLastScan(const Bytes& file, double fraction) {
  std::size_t sos = 0;
  for (std::size_t i = 0; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xDA) sos = i;
  }
  const auto cut = sos + static_cast<std::size_t>(static_cast<double>(file.size() - sos) * fraction);
  Bytes damaged(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
  damaged.insert(damaged.end(), {0xFF, 0xD9});
  return damaged;
}

// The last count bytes of the image data left out, just before its
// end-of-image marker: the smallest damage, a few bits short.
Bytes ShortBy(const Bytes& file, std::size_t count) {
  Bytes damaged(file.begin(), file.end() - 2 - static_cast<std::ptrdiff_t>(count));
  damaged.insert(damaged.end(), {0xFF, 0xD9});
  return damaged;
}

// The file cut in the middle, so that whole scans are missing too.
Bytes CutInTheMiddle(const Bytes& file) {
  Bytes damaged(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
  damaged.insert(damaged.end(), {0xFF, 0xD9});
  return damaged;
}

TEST(DamagedJpeg, DataCutShortIsReportedAndIntactDataIsNot) {
  const jpeg_test::RgbImage picture = jpeg_test::MakePhotoLike(160, 120);
  const Bytes baseline = jpeg_test::EncodeWithLibjpeg(picture, {});
  const Bytes progressive = jpeg_test::TranscodeToProgressive(baseline);
  ASSERT_FALSE(baseline.empty());
  ASSERT_FALSE(progressive.empty());
  struct Case {
    const char* name;
    Bytes file;
    bool damaged;
  };
  const std::vector<Case> cases = {
      {"baseline, intact", baseline, false},
      {"progressive, intact", progressive, false},
      {"baseline cut at a third", CutInLastScan(baseline, 1.0 / 3), true},
      {"baseline cut just before its end", CutInLastScan(baseline, 0.97), true},
      {"baseline one byte short", ShortBy(baseline, 1), true},
      {"baseline two bytes short", ShortBy(baseline, 2), true},
      {"progressive cut in its last scan", CutInLastScan(progressive, 0.5), true},
      {"progressive cut in the middle", CutInTheMiddle(progressive), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const jpeg_test::Decoded decoded = jpeg_test::Decode(c.file);
    ASSERT_TRUE(decoded.Image()) << decoded.All();
    EXPECT_EQ(decoded.All().find(kCutShort) != std::string::npos, c.damaged) << decoded.All();
  }
}

// libpng's own warnings are reports about the file: with its name, through
// the log, never a bare line of libpng's.
TEST(DamagedPng, LibpngWarningsAreReportsAboutTheFile) {
  testing_support::TempDir dir;
  png_test::Png png;
  png.width = 2;
  png.height = 1;
  png.rows = {{255, 0, 0, 0, 0, 255}};
  png.gamma = 1;  // far below any real gamma: libpng leaves the chunk out
  testing_support::WriteBytes(dir.File("gamma.png"), png_test::Encode(png));
  png.gamma = 45455;
  testing_support::WriteBytes(dir.File("good.png"), png_test::Encode(png));
  const auto damaged = testing_support::RunRastra({"gamma.png", "-saveasout,1", "-exit"}, dir.Path());
  EXPECT_NE(damaged.err.find("rastra: gamma.png: libpng warning: gAMA: gamma value out of range"), std::string::npos)
      << damaged.err;
  EXPECT_EQ(damaged.err.rfind("libpng warning", 0), std::string::npos) << "a bare line: " << damaged.err;
  const auto good = testing_support::RunRastra({"good.png", "-saveasout,1", "-exit"}, dir.Path());
  EXPECT_EQ(good.exitCode, 0);
  EXPECT_EQ(good.err, "");
}

}  // namespace
