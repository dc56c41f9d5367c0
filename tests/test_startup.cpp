// A batch run loads no Qt: not when it needs no stored setting, and not when
// it reads the settings store either (it reads the store's file itself). What
// the dynamic loader opened tells.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"


namespace {

namespace fs = std::filesystem;

// The shared objects the program loaded during one run.
std::string LoadedObjects(const std::vector<std::string>& args, const testing_support::TempDir& dir) {
  const std::string trace = dir.File("loader");
  setenv("LD_DEBUG", "files", 1);
  setenv("LD_DEBUG_OUTPUT", trace.c_str(), 1);
  const testing_support::RunResult run = testing_support::RunRastra(args, dir.Path());
  unsetenv("LD_DEBUG");
  unsetenv("LD_DEBUG_OUTPUT");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::string all;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    if (entry.path().filename().string().rfind("loader", 0) == 0) {
      all += testing_support::ReadText(entry.path().string());
      fs::remove(entry.path());
    }
  }
  return all;
}

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef RASTRA_LOADS_MODULES
    GTEST_SKIP() << "this build links Qt into the program";
#endif
    fs::copy_file(fs::path(RASTRA_SOURCE_DIR) / "samples" / "logo.bmp", dir_.Path() / "logo.bmp");
    // A settings store of this test's own.
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
  testing_support::TempDir dir_;
};

TEST_F(Startup, ARunThatConvertsNothingLoadsNoQt) {
  const std::string loaded = LoadedObjects({"-exit"}, dir_);
  ASSERT_NE(loaded.find("libpng"), std::string::npos) << "the loader trace is empty";
  EXPECT_EQ(loaded.find("libQt6"), std::string::npos);
}

TEST_F(Startup, ARunWithItsOwnSettingsLoadsNoQt) {
  const std::string loaded =
      LoadedObjects({"logo.bmp", "-defaultsettings", "-convertinto565", "-saveasout,1,8,1", "-exit"}, dir_);
  EXPECT_TRUE(fs::exists(dir_.Path() / "out.c"));
  EXPECT_EQ(loaded.find("libQt6"), std::string::npos);
  // The output settings and the two read settings the store keeps.
  const std::string allFive = LoadedObjects({"logo.bmp", "-useargb1", "-bigendian0", "-preservetrans0", "-pnggamma1",
                                             "-smoothchroma0", "-convertinto8666", "-saveasout,1", "-exit"},
                                            dir_);
  EXPECT_EQ(allFive.find("libQt6"), std::string::npos);
}

// How an image is read is a stored setting too: a run that gives only the
// output settings still reads the store for its image, without Qt.
TEST_F(Startup, ARunThatReadsAnImageReadsTheStoredReadSettingsWithoutQt) {
  const std::string outputOnly = LoadedObjects(
      {"logo.bmp", "-useargb1", "-bigendian0", "-preservetrans0", "-convertinto8666", "-saveasout,1", "-exit"}, dir_);
  ASSERT_NE(outputOnly.find("libpng"), std::string::npos) << "the loader trace is empty";
  EXPECT_EQ(outputOnly.find("libQt6"), std::string::npos);
  EXPECT_EQ(outputOnly.find("librastra-settings"), std::string::npos);
}

// The stored settings are followed (the output changes with them) and still
// no Qt is loaded.
TEST_F(Startup, ARunThatNeedsTheStoredSettingsFollowsThemWithoutQt) {
  // The byte order of a stream follows BigEndianMode.
  const std::vector<std::string> args = {"logo.bmp", "-convertinto565", "-saveasout.dta,3,8,1", "-exit"};
  LoadedObjects(args, dir_);
  const std::string plain = testing_support::ReadText(dir_.File("out.dta"));
  fs::create_directories(dir_.Path() / "config" / "Vantor");
  const std::string ini = "[Settings]\nBigEndianMode=1\n";
  testing_support::WriteBytes(dir_.File("config/Vantor/Rastra.conf"), std::vector<std::uint8_t>(ini.begin(), ini.end()));
  const std::string loaded = LoadedObjects(args, dir_);
  EXPECT_TRUE(testing_support::ReadText(dir_.File("out.dta")) != plain) << "the stored byte order was not followed";
  EXPECT_EQ(loaded.find("librastra-settings"), std::string::npos);
  EXPECT_EQ(loaded.find("libQt6"), std::string::npos);
}

}  // namespace
