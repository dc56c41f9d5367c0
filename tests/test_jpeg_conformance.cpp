// The JPEG decoder on the shared corpus: every NAME.jpg with a reference decode
// ref_NAME.ppm agrees with it within rounding, and the files of kinds the
// decoder does not handle give no image.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "JpegTestSupport.h"
#include "ReaderTestSupport.h"
#include "TestSupport.h"
#include "readers/JpegDecoder.h"

namespace fs = std::filesystem;

namespace {
constexpr int kMaxAllowedDiff = 3;
constexpr double kMaxAllowedMean = 0.1;
}  // namespace

TEST(JpegConformance, FilesWithReferenceDecodesAgree) {
  SKIP_WITHOUT_CORPUS(dir, "jpeg");
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(*dir)) {
    const fs::path path = entry.path();
    if (path.extension() != ".jpg") continue;
    const fs::path reference = path.parent_path() / ("ref_" + path.stem().string() + ".ppm");
    if (!fs::exists(reference)) continue;
    SCOPED_TRACE(path.filename().string());
    const jpeg_test::RgbImage expected = jpeg_test::ReadPpm(reference.string());
    ASSERT_FALSE(expected.rgb.empty()) << "unreadable reference";
    const jpeg_test::Decoded read = jpeg_test::Decode(testing_support::ReadBytes(path.string()));
    const BitmapPtr& decoded = read.Image();
    ASSERT_NE(decoded, nullptr) << read.All();
    const jpeg_test::Difference d = jpeg_test::Compare(*decoded, expected);
    ASSERT_TRUE(d.sizeMatches);
    EXPECT_LE(d.maxAbs, kMaxAllowedDiff);
    EXPECT_LE(d.meanAbs, kMaxAllowedMean);
    std::printf("%-24s %4d x %-4d max abs %d, mean abs %.4f\n", path.filename().string().c_str(), expected.width,
                expected.height, d.maxAbs, d.meanAbs);
    ++compared;
  }
  EXPECT_GT(compared, 0) << "no reference decodes in " << dir->string();
}

TEST(JpegConformance, UnsupportedAndDamagedFilesGiveNoImage) {
  SKIP_WITHOUT_CORPUS(dir, "jpeg");
  for (const char* name : {"arithmetic.jpg", "cmyk.jpg", "truncated.jpg"}) {
    const fs::path path = *dir / name;
    if (!fs::exists(path)) {
      ADD_FAILURE() << name << " missing from the corpus";
      continue;
    }
    const jpeg_test::Decoded read = jpeg_test::Decode(testing_support::ReadBytes(path.string()));
    EXPECT_EQ(read.Image(), nullptr) << name;
    EXPECT_TRUE(testing_support::ExplainsFailure(read.result, read.ctx)) << name;
    std::printf("%-16s %s: %s", name, sys::CodeName(read.result.code), read.All().c_str());
  }
}
