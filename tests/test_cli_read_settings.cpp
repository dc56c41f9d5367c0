// The settings of a run that change how its pictures are read (-pnggamma,
// -smoothchroma, -autoorient): parsed as the other settings of a run, and
// reaching every read of it, whichever way the run takes its images.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "JpegTestSupport.h"
#include "PngTestFiles.h"
#include "TestSupport.h"
#include "readers/ImageReaders.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Pictures = std::map<std::string, BitmapPtr>;

// Stored samples 10, 128, 250 / 0, 64, 255 / 33, 77, 99, saved with gamma 1.0.
png_test::Bytes LinearPng() {
  png_test::Png png;
  png.width = 3;
  png.gamma = 100000;
  png.rows = {{10, 128, 250, 0, 64, 255, 33, 77, 99}};
  return png_test::Encode(png);
}

// 2 x 1 pixels stored turned: the tag says a quarter clockwise makes it upright.
png_test::Bytes TurnedPng() {
  png_test::Png png;
  png.width = 2;
  png.rows = {{1, 2, 3, 4, 5, 6}};
  png.exif = jpeg_test::ExifTiff(6, true);
  return png_test::Encode(png);
}

class CliReadSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    // A settings store of the test's own, empty unless a test stores some.
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldHome_ = old;
    setenv("XDG_CONFIG_HOME", home_.Path().c_str(), 1);
    WriteBytes(dir_.File("linear.png"), LinearPng());
    WriteBytes(dir_.File("turnedpng.png"), TurnedPng());
#ifdef RASTRA_HAVE_LIBJPEG
    jpeg_test::EncodeOptions encode;  // 4:2:0
    encode.quality = 85;
    chromaJpeg_ = jpeg_test::EncodeWithLibjpeg(jpeg_test::MakePhotoLike(40, 24), encode);
    WriteBytes(dir_.File("chroma.jpg"), chromaJpeg_);
    std::vector<std::uint8_t> turned = jpeg_test::EncodeWithLibjpeg(jpeg_test::MakePhotoLike(5, 3), encode);
    const std::vector<std::uint8_t> exif = jpeg_test::ExifSegment(6, false);
    turned.insert(turned.begin() + 2, exif.begin(), exif.end());
    WriteBytes(dir_.File("turnedjpg.jpg"), turned);
    images_ = {"linear.png", "turnedpng.png", "chroma.jpg", "turnedjpg.jpg"};
#else
    images_ = {"linear.png", "turnedpng.png"};
#endif
  }
  void TearDown() override {
    if (oldHome_) {
      setenv("XDG_CONFIG_HOME", oldHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

  // Saves each image as out/<name>.bmp with the arguments in between and
  // reads the files back.
  Pictures Convert(const std::vector<std::string>& images, const std::vector<std::string>& arguments) {
    fs::remove_all(dir_.Path() / "out");
    std::vector<std::string> args = images;
    args.insert(args.end(), arguments.begin(), arguments.end());
    args.insert(args.end(), {"-saveasout/%n,2", "-exit"});
    const testing_support::RunResult run = RunRastra(args, dir_.Path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    Pictures pictures;
    for (const std::string& image : images) {
      const std::string name = fs::path(image).stem().string();
      sys::Context ctx;
      pictures[name] = LoadImagePath(dir_.File("out/" + name + ".bmp"), ReadOptions{}, ctx).image;
      EXPECT_NE(pictures[name], nullptr) << name << ": " << run.err;
    }
    return pictures;
  }
  Pictures ConvertAll(const std::vector<std::string>& arguments) { return Convert(images_, arguments); }

  void Store(const std::string& settings) const {
    fs::create_directories(home_.Path() / "Vantor");
    const std::string ini = "[Settings]\n" + settings;
    WriteBytes(StoreFile(), std::vector<std::uint8_t>(ini.begin(), ini.end()));
  }
  std::string StoreFile() const { return (home_.Path() / "Vantor" / "Rastra.conf").string(); }
  std::string Log() const { return ReadText(dir_.File("Rastra.log")); }

  TempDir home_;
  TempDir dir_;
  std::optional<std::string> oldHome_;
  std::vector<std::string> images_;
  std::vector<std::uint8_t> chromaJpeg_;
};

bool SamePixels(const BitmapPtr& a, const BitmapPtr& b) {
  return a && b && a->XSize == b->XSize && a->YSize == b->YSize && a->pData == b->pData;
}

// A picture turned a quarter clockwise: its (x, y) is the stored (y, h - 1 - x).
void ExpectTurnedQuarterClockwise(const Bitmap& upright, const Bitmap& stored) {
  ASSERT_EQ(upright.XSize, stored.YSize);
  ASSERT_EQ(upright.YSize, stored.XSize);
  for (int y = 0; y < upright.YSize; ++y) {
    for (int x = 0; x < upright.XSize; ++x) {
      EXPECT_EQ(Bitmap_GetPixel(upright, x, y), Bitmap_GetPixel(stored, y, stored.YSize - 1 - x)) << x << "," << y;
    }
  }
}

TEST_F(CliReadSettings, SettingsTakeZeroOrOneAndRefuseTheRest) {
  for (const std::string word : {"-pnggamma", "-smoothchroma", "-autoorient"}) {
    for (const char* value : {"0", "1"}) {
      EXPECT_EQ(RunRastra({"linear.png", word + value, "-saveascopy,2", "-exit"}, dir_.Path()).exitCode, 0)
          << word << value;
    }
    for (const char* value : {"", "2", "x", "01", "1 "}) {
      fs::remove(dir_.File("copy.bmp"));
      const auto run = RunRastra({"linear.png", word + value, "-saveascopy,2", "-exit"}, dir_.Path());
      EXPECT_EQ(run.exitCode, 3) << word << value;
      EXPECT_EQ(Log(), "Setting must be 0 or 1.\nError during command line parsing.\n") << word << value;
      EXPECT_EQ(run.err, "rastra: " + word + value + ": Setting must be 0 or 1. (" + word + "0 or " + word +
                             "1)\nrastra: " + word + value + ": Error during command line parsing. (nothing was run)\n");
      EXPECT_FALSE(fs::exists(dir_.File("copy.bmp"))) << word << value;
    }
  }
}

// Twenty commands fill the queue; the settings, wherever they stand, take
// none of its places.
TEST_F(CliReadSettings, SettingsTakeNoCommandPlace) {
  std::vector<std::string> args = {"turnedpng.png", "-pnggamma0"};
  for (int i = 0; i < 17; ++i) args.emplace_back(i == 9 ? "-autoorient1" : "-fliph");
  args.insert(args.end(), {"-fliph", "-smoothchroma1", "-fliph", "-saveascopy,2", "-exit"});
  const auto run = RunRastra(args, dir_.Path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  sys::Context ctx;
  const BitmapPtr copy = LoadImagePath(dir_.File("copy.bmp"), ReadOptions{}, ctx).image;
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->XSize, 1);  // turned upright, then flipped an even number of times
}

// Each setting changes exactly the pictures it is about; the last one given
// wins, and the defaults are the pictures Rastra has always read.
TEST_F(CliReadSettings, EachSettingChangesThePicturesItIsAbout) {
  const Pictures defaults = ConvertAll({});
  const struct {
    std::vector<std::string> settings;
    std::set<std::string> changed;
  } cases[] = {
      {{"-pnggamma1"}, {}},
      {{"-smoothchroma0"}, {}},
      {{"-autoorient0"}, {}},
      {{"-pnggamma0"}, {"linear"}},
      {{"-smoothchroma1"}, {"chroma", "turnedjpg"}},  // every JPEG decodes as libjpeg-turbo's default
      {{"-autoorient1"}, {"turnedpng", "turnedjpg"}},
      {{"-autoorient1", "-pnggamma0", "-autoorient0"}, {"linear"}},
      {{"-defaultsettings", "-smoothchroma1"}, {"chroma", "turnedjpg"}},
  };
  for (const auto& c : cases) {
    const Pictures pictures = ConvertAll(c.settings);
    for (const auto& [name, picture] : pictures) {
      EXPECT_EQ(!SamePixels(picture, defaults.at(name)), c.changed.contains(name))
          << name << " with " << ::testing::PrintToString(c.settings);
    }
  }
}

TEST_F(CliReadSettings, GammaOffKeepsTheStoredSamples) {
  const Pictures pictures = Convert({"linear.png"}, {"-pnggamma0"});
  const Bitmap& linear = *pictures.at("linear");
  EXPECT_EQ(Bitmap_GetPixel(linear, 0, 0), 0x00FA800Au);
  EXPECT_EQ(Bitmap_GetPixel(linear, 1, 0), 0x00FF4000u);
  EXPECT_EQ(Bitmap_GetPixel(linear, 2, 0), 0x00634D21u);
}

// The pictures are turned as their tags say whether the run has one image,
// several, or a shared palette made over them first.
TEST_F(CliReadSettings, OrientationReachesEveryWayOfRunningImages) {
  const Pictures stored = ConvertAll({});
  const Pictures severalUpright = ConvertAll({"-autoorient1"});
  for (const std::string name : {"turnedpng", "turnedjpg"}) {
    if (!stored.contains(name)) continue;
    SCOPED_TRACE(name);
    ExpectTurnedQuarterClockwise(*severalUpright.at(name), *stored.at(name));
  }
  const Pictures oneUpright = Convert({"turnedpng.png"}, {"-autoorient1"});
  ExpectTurnedQuarterClockwise(*oneUpright.at("turnedpng"), *stored.at("turnedpng"));
  const Pictures shared = Convert({"turnedpng.png"}, {"-autoorient1", "-sharedpalette"});
  EXPECT_EQ(shared.at("turnedpng")->XSize, 1);
  EXPECT_EQ(shared.at("turnedpng")->YSize, 2);
}

// The run's smoothing is djpeg's default decode, within a level.
TEST_F(CliReadSettings, SmoothChromaDecodesAsLibjpegTurbosDefault) {
#ifdef RASTRA_HAVE_LIBJPEG
  const Pictures smooth = Convert({"chroma.jpg"}, {"-smoothchroma1"});
  const jpeg_test::Difference d = jpeg_test::Compare(*smooth.at("chroma"), jpeg_test::DecodeWithLibjpeg(chromaJpeg_, true));
  ASSERT_TRUE(d.sizeMatches);
  EXPECT_LE(d.maxAbs, 1);
#else
  GTEST_SKIP() << "libjpeg-turbo is not available to make and decode the JPEG";
#endif
}

// The window's stored choices apply to runs that give none of their own;
// -defaultsettings and the run's own settings override them, and nothing
// is saved.
TEST_F(CliReadSettings, StoredSettingsApplyUnlessTheRunGivesItsOwn) {
  const Pictures defaults = ConvertAll({});
  const Pictures chosen = ConvertAll({"-pnggamma0", "-smoothchroma1"});
  Store("PngGamma=0\nSmoothChroma=1\n");
  const std::string stored = ReadText(StoreFile());
  const Pictures fromStore = ConvertAll({});
  const Pictures fromDefaults = ConvertAll({"-defaultsettings"});
  const Pictures overridden = ConvertAll({"-pnggamma1", "-smoothchroma0"});
  for (const auto& [name, picture] : defaults) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(SamePixels(fromStore.at(name), chosen.at(name)));
    EXPECT_TRUE(SamePixels(fromDefaults.at(name), picture));
    EXPECT_TRUE(SamePixels(overridden.at(name), picture));
  }
  EXPECT_EQ(ReadText(StoreFile()), stored);
}

}  // namespace
