// The JPEG decoder on the shared corpus: every NAME.jpg with a reference decode
// ref_NAME.ppm agrees with it within rounding, in the first folder and in the
// one with the further kinds (arithmetic coding, unusual sampling, one scan per
// component, YCCK); the cut-short file gives no image.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "JpegTestSupport.h"
#include "TestSupport.h"
#include "readers/JpegDecoder.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace fs = std::filesystem;

namespace {

constexpr int kMaxAllowedDiff = 3;
constexpr double kMaxAllowedMean = 0.1;

void ExpectMatchesReference(const fs::path& file, const fs::path& reference) {
  SCOPED_TRACE(file.string());
  const jpeg_test::RgbImage expected = jpeg_test::ReadPpm(reference.string());
  ASSERT_FALSE(expected.rgb.empty()) << "unreadable reference " << reference;
  jpeg_test::Decoded read_decoded = jpeg_test::Decode(testing_support::ReadBytes(file.string()));
  BitmapPtr decoded = std::move(read_decoded.result.image);
  ASSERT_NE(decoded, nullptr) << read_decoded.All();
  const jpeg_test::Difference d = jpeg_test::Compare(*decoded, expected);
  ASSERT_TRUE(d.sizeMatches);
  EXPECT_LE(d.maxAbs, kMaxAllowedDiff);
  EXPECT_LE(d.meanAbs, kMaxAllowedMean);
  std::printf("%-28s %4d x %-4d max abs %d, mean abs %.4f\n", file.filename().string().c_str(), expected.width,
              expected.height, d.maxAbs, d.meanAbs);
}

// Every NAME.jpg in dir that has a ref_NAME.ppm beside it; the count compared.
int CompareFolder(const fs::path& dir) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const fs::path path = entry.path();
    if (path.extension() != ".jpg") continue;
    const fs::path reference = path.parent_path() / ("ref_" + path.stem().string() + ".ppm");
    if (!fs::exists(reference)) continue;
    ExpectMatchesReference(path, reference);
    ++compared;
  }
  return compared;
}

}  // namespace

TEST(JpegConformance, FilesWithReferenceDecodesAgree) {
  SKIP_WITHOUT_CORPUS(dir, "jpeg");
  EXPECT_GT(CompareFolder(*dir), 0) << "no reference decodes in " << dir->string();
}

TEST(JpegConformance, FurtherKindsAgreeWithTheirReferences) {
  SKIP_WITHOUT_CORPUS(dir, "jpeg-more");
  // arithmetic, arithmetic_progressive, cmyk, h3v1, h4v1, h4v2, mixed, noninterleaved
  EXPECT_GE(CompareFolder(*dir), 8) << "reference decodes missing in " << dir->string();
}

TEST(JpegConformance, FirstFolderArithmeticAndYcckFilesDecode) {
  SKIP_WITHOUT_CORPUS(dir, "jpeg");
  SKIP_WITHOUT_CORPUS(more, "jpeg-more");
  for (const char* name : {"arithmetic", "cmyk"}) {
    const fs::path file = *dir / (std::string(name) + ".jpg");
    const fs::path reference = *more / ("ref_" + std::string(name) + ".ppm");
    ASSERT_TRUE(fs::exists(file) && fs::exists(reference)) << name << " missing from the corpus";
    ExpectMatchesReference(file, reference);
  }
}

TEST(JpegConformance, CutShortFileGivesNoImage) {
  SKIP_WITHOUT_CORPUS(dir, "jpeg");
  const fs::path path = *dir / "truncated.jpg";
  ASSERT_TRUE(fs::exists(path)) << "truncated.jpg missing from the corpus";
  jpeg_test::Decoded read = jpeg_test::Decode(testing_support::ReadBytes(path.string()));
  EXPECT_EQ(read.Image(), nullptr);
  EXPECT_EQ(read.result.code, sys::Code::kTruncated) << read.All();
}
