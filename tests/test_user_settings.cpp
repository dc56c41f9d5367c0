// The reader of the stored settings that batch runs use instead of Qt: it
// must read what the window's store (QSettings) writes, find the files where
// QSettings looks for them, and take each value from the first that has it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "TestSupport.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "sys/UserSettings.h"

namespace {

namespace fs = std::filesystem;
using Values = std::map<std::string, std::string>;

struct IniCase {
  const char* what;
  const char* text;
  Values expected;
};

TEST(UserSettings, ReadsTheGroupOfAnIniText) {
  const IniCase cases[] = {
      {"plain", "[Settings]\nBkColor=255\nUseARGB=1\n", {{"BkColor", "255"}, {"UseARGB", "1"}}},
      {"other groups left out", "[RecentFileList]\nFile1=/a.png\n[Settings]\nViewOption=2\n[Other]\nX=1\n",
       {{"ViewOption", "2"}}},
      {"CR LF and blanks", "[Settings]\r\n  PngGamma = 0 \r\n", {{"PngGamma", "0"}}},
      {"comments and lines without =", "; note\n[Settings]\n# also\nnoise\nSmoothChroma=1\n", {{"SmoothChroma", "1"}}},
      {"quoted value with an escape", "[Settings]\nName=\"a, \\\"b\\\"\"\n", {{"Name", "a, \"b\""}}},
      {"the first line of a key counts", "[Settings]\nBkColor=1\nBkColor=2\n", {{"BkColor", "1"}}},
      {"keys before any group are General's", "BkColor=7\n[Settings]\n", {}},
      {"an unterminated group header", "[Settings\nBkColor=3\n", {{"BkColor", "3"}}},
      {"empty", "", {}},
  };
  for (const IniCase& c : cases) {
    EXPECT_EQ(rastra::sys::ParseIniGroup(c.text, "Settings"), c.expected) << c.what;
  }
  EXPECT_EQ(rastra::sys::ParseIniGroup("BkColor=7\n", "General"), (Values{{"BkColor", "7"}}));
}

#ifndef _WIN32
class UserSettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
      if (const char* old = std::getenv(name)) saved_[name] = old;
    }
    setenv("XDG_CONFIG_HOME", (dir_.Path() / "user").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", ((dir_.Path() / "site").string() + ":" + (dir_.Path() / "vendor").string()).c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
      const auto old = saved_.find(name);
      if (old == saved_.end()) {
        unsetenv(name);
      } else {
        setenv(name, old->second.c_str(), 1);
      }
    }
  }
  void Write(const std::string& relative, const std::string& text) const {
    const fs::path file = dir_.Path() / relative;
    fs::create_directories(file.parent_path());
    testing_support::WriteBytes(file.string(), std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  testing_support::TempDir dir_;
  std::map<std::string, std::string> saved_;
};

// The order QSettings reads in: the user's application file, the user's
// organisation file, then the same in each system folder.
TEST_F(UserSettingsFiles, TakesEachValueFromTheFirstFileThatHasIt) {
  Write("vendor/Vantor/Rastra.conf", "[Settings]\nA=vendor\nB=vendor\nC=vendor\nD=vendor\nE=vendor\n");
  Write("site/Vantor.conf", "[Settings]\nA=site-org\nB=site-org\nC=site-org\nD=site-org\n");
  Write("site/Vantor/Rastra.conf", "[Settings]\nA=site\nB=site\nC=site\n");
  Write("user/Vantor.conf", "[Settings]\nA=user-org\nB=user-org\n");
  Write("user/Vantor/Rastra.conf", "[Settings]\nA=user\n");
  const Values expected = {{"A", "user"}, {"B", "user-org"}, {"C", "site"}, {"D", "site-org"}, {"E", "vendor"}};
  EXPECT_EQ(rastra::sys::ReadUserSettingsGroup("Vantor", "Rastra", "Settings"), expected);
}

TEST_F(UserSettingsFiles, NoFileGivesNoValues) {
  EXPECT_TRUE(rastra::sys::ReadUserSettingsGroup("Vantor", "Rastra", "Settings").empty());
}

// What the window saves through QSettings is what a batch run reads back.
TEST_F(UserSettingsFiles, ReadsWhatTheWindowsStoreWrote) {
  const rastra::SettingsStore* store = rastra::GetSettingsStore();
  if (store == nullptr) GTEST_SKIP() << "this build has no settings store";
  rastra::Settings saved;
  saved.BkColor = 0xFFFFFFFFu;
  saved.ViewOption = 2;
  saved.PreserveTrans = 1;
  saved.BigEndianMode = 1;
  saved.UseARGB = 1;
  saved.PngGamma = 0;
  saved.SmoothChroma = 1;
  store->save(saved);
  rastra::LoadSettings();
  const rastra::Settings& read = rastra::GetSettings();
  EXPECT_EQ(read.BkColor, saved.BkColor);
  EXPECT_EQ(read.ViewOption, saved.ViewOption);
  EXPECT_EQ(read.PreserveTrans, saved.PreserveTrans);
  EXPECT_EQ(read.BigEndianMode, saved.BigEndianMode);
  EXPECT_EQ(read.UseARGB, saved.UseARGB);
  EXPECT_EQ(read.PngGamma, saved.PngGamma);
  EXPECT_EQ(read.SmoothChroma, saved.SmoothChroma);
}

// Values the store would not read as numbers leave their setting as it was.
TEST_F(UserSettingsFiles, ValuesThatAreNoNumbersAreIgnored) {
  Write("user/Vantor/Rastra.conf", "[Settings]\nBkColor=-1\nViewOption=two\nUseARGB= 1 \nPngGamma=0x0\n");
  rastra::GetSettings() = rastra::Settings{};
  rastra::LoadSettings();
  const rastra::Settings defaults;
  const rastra::Settings& read = rastra::GetSettings();
  EXPECT_EQ(read.BkColor, defaults.BkColor);
  EXPECT_EQ(read.ViewOption, defaults.ViewOption);
  EXPECT_EQ(read.UseARGB, 1u);
  EXPECT_EQ(read.PngGamma, defaults.PngGamma);
}
#endif

}  // namespace
