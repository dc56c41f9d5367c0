// Runs a build can trust, through the real binary: files a run replaces keep
// what their owner set however the run holds its saves, budgets and manifests
// count what is really on disk, and a run-wide step that fails writes nothing.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "PngTestFiles.h"
#include "TestSupport.h"
#include "sys/Sha256.h"

namespace {
using testing_support::ReadText;
using testing_support::RunRastra;
using testing_support::TempDir;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const std::string kImages = std::string(RASTRA_SOURCE_DIR) + "/examples/firmware/images/";

struct Owned {
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  bool operator==(const Owned& other) const {
    return mode == other.mode && owner == other.owner && group == other.group;
  }
};

std::ostream& operator<<(std::ostream& out, const Owned& o) {
  return out << std::oct << o.mode << std::dec << " " << o.owner << ":" << o.group;
}

Owned OwnedOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return {};
  return {status.st_mode & 07777, status.st_uid, status.st_gid};
}

// An RGB picture whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
void WritePng(const std::string& path, std::uint32_t width, std::uint32_t height,
              const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& colour) {
  png_test::Png png;
  png.width = width;
  png.height = height;
  for (std::uint32_t y = 0; y < height; ++y) {
    png_test::Bytes row;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      row.insert(row.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c)});
    }
    png.rows.push_back(row);
  }
  testing_support::WriteBytes(path, png_test::Encode(png));
}

// The number after "key": in a manifest, -1 when it is not there.
long long JsonNumber(const std::string& json, const std::string& key, std::size_t from = 0) {
  const std::size_t at = json.find("\"" + key + "\": ", from);
  if (at == std::string::npos) return -1;
  return std::atoll(json.c_str() + at + key.size() + 4);
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class TrustedRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"flag.gif", "badge.png", "ramp.bmp"}) fs::copy_file(kImages + name, dir_.File(name));
  }
  testing_support::RunResult Run(const Args& args) { return RunRastra(args, dir_.Path()); }
  std::string Text(const std::string& name) const { return ReadText(dir_.File(name)); }
  bool Exists(const std::string& name) const { return fs::exists(dir_.File(name)); }
  TempDir dir_;
};

// Every way a run holds its saves until the end replaces a file as a single
// save does: mode, and owner and group where the user may set them, stay.
TEST_F(TrustedRuns, AHeldSaveKeepsTheModeOwnerAndGroupOfTheFileItReplaces) {
  struct Case {
    const char* name;
    Args args;
    const char* replaced;
  };
  const std::vector<Case> cases = {
      {"one image", {"badge.png", "-saveas%n,1", "-exit"}, "badge.c"},
      {"a manifest", {"badge.png", "-saveas%n,1", "-manifestrun.json", "-exit"}, "badge.c"},
      {"a shared palette", {"badge.png", "flag.gif", "-sharedpalette", "-saveas%n,1", "-exit"}, "badge.c"},
      {"a flash budget", {"badge.png", "-saveas%n,1", "-flashbudget,1000000", "-exit"}, "badge.c"},
      {"two images", {"badge.png", "ramp.bmp", "-saveas%n,1", "-exit"}, "ramp.c"},
      {"an input a batch overwrites", {"badge.png", "ramp.bmp", "-saveas%n.png,5", "-exit"}, "badge.png"},
  };
  const bool root = geteuid() == 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = dir_.File(c.replaced);
    if (!Exists(c.replaced)) testing_support::WriteBytes(target, {'o', 'l', 'd'});
    ASSERT_EQ(chmod(target.c_str(), 0664), 0);
    if (root) {
      ASSERT_EQ(chown(target.c_str(), 1234, 2345), 0);
    }
    const Owned before = OwnedOf(target);
    ASSERT_EQ(Run(c.args).exitCode, 0);
    EXPECT_NE(Text(c.replaced), "old");
    EXPECT_EQ(OwnedOf(target), before);
  }
}

// The same as a user without privileges, whose own files are what a save
// replaces in practice. CI runs as root, so the run drops to "nobody".
TEST_F(TrustedRuns, AHeldSaveKeepsTheModeForAUserWithoutPrivileges) {
  if (geteuid() != 0) GTEST_SKIP() << "runs as root to become an unprivileged user; already one: see the case above";
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "no user 'nobody' on this machine";
  const std::string target = dir_.File("badge.c");
  testing_support::WriteBytes(target, {'o', 'l', 'd'});
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  for (const fs::path& p : {dir_.Path(), fs::path(target), fs::path(dir_.File("badge.png"))}) {
    ASSERT_EQ(chown(p.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir_.Path().c_str()) != 0 || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
        setuid(nobody->pw_uid) != 0) {
      _exit(126);
    }
    if (freopen("/dev/null", "w", stdout) == nullptr || freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    std::string program = RASTRA_BINARY;
    std::vector<std::string> args = {program, "badge.png", "-saveas%n,1", "-manifestrun.json", "-exit"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 126) << "could not become nobody";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(Text("badge.c"), "old");
  EXPECT_EQ(OwnedOf(target), (Owned{0640, nobody->pw_uid, nobody->pw_gid}));
}

// An image that reads an earlier image's output is converted again; what it
// saves then must pass the budget too, or it is not written.
TEST_F(TrustedRuns, AnImageConvertedAgainAfterReadingAnOutputStillMeetsTheBudget) {
  WritePng(dir_.File("a.png"), 64, 64, [](std::uint32_t x, std::uint32_t y) { return (x * 4) << 16 | (y * 4) << 8 | 128; });
  WritePng(dir_.File("b.png"), 2, 2, [](std::uint32_t, std::uint32_t) { return 0xFF0000u; });
  const auto result = Run({"a.png", "b.png", "-saveasb.png,5", "-saveasout/%n,1,8,1", "-flashbudget,9500",
                           "-manifestm.json", "-exit"});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.err.find("C flash budget exceeded"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("b.png: This image read an earlier image's output"), std::string::npos) << result.err;
  EXPECT_FALSE(Exists("out/b.c"));
  EXPECT_FALSE(Exists("m.json"));
}

// The manifest may not take the place of a file the run reads or writes.
TEST_F(TrustedRuns, AManifestNeverReplacesAnInputOrAnOutput) {
  struct Case {
    const char* name;
    Args args;
    const char* kept;
  };
  const std::vector<Case> cases = {
      {"an output", {"badge.png", "-saveasout.c,1", "-manifestout.c", "-exit"}, "out.c"},
      {"an output spelled otherwise", {"badge.png", "-saveasout.c,1", "-manifest./out.c", "-exit"}, "out.c"},
      {"an input", {"badge.png", "-saveasout.c,1", "-manifestbadge.png", "-exit"}, "badge.png"},
      {"the palette file", {"badge.png", "-sharedpalettepal.GUIPal", "-saveasout.c,1", "-manifestpal.GUIPal", "-exit"},
       "pal.GUIPal"},
  };
  ASSERT_EQ(Run({"flag.gif", "-saveaspal,G", "-exit"}).exitCode, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.kept) == "out.c") testing_support::WriteBytes(dir_.File("out.c"), {'o', 'l', 'd'});
    const std::string before = Text(c.kept);
    const auto result = Run(c.args);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find("The manifest"), std::string::npos) << result.err;
    EXPECT_EQ(Text(c.kept), before);
  }
}

// Two saves to one name leave one file: the manifest lists it once with its
// own checksum, and the budget counts it once.
TEST_F(TrustedRuns, ManifestAndBudgetCountEachFileOnce) {
  const Args twice = {"badge.png", "-saveasout,1", "-convertinto111", "-saveasout,1"};
  Args withManifest = twice;
  withManifest.insert(withManifest.end(), {"-manifestm.json", "-exit"});
  ASSERT_EQ(Run(withManifest).exitCode, 0);
  const std::string manifest = Text("m.json");
  EXPECT_EQ(Count(manifest, "\"output\": "), 1u) << manifest;
  const auto sum = rastra::sys::Sha256OfFile(dir_.File("out.c"));
  ASSERT_TRUE(sum);
  EXPECT_NE(manifest.find("\"sha256\": \"" + *sum + "\""), std::string::npos);
  const long long flash = JsonNumber(manifest, "c_flash_bytes");
  ASSERT_GT(flash, 0);
  EXPECT_EQ(JsonNumber(manifest, "c_flash_total"), flash);
  EXPECT_NE(manifest.find("-convertinto111"), std::string::npos) << "the record of the last save";
  const std::string budget = "-flashbudget," + std::to_string(flash);
  Args withBudget = twice;
  withBudget.insert(withBudget.end(), {budget, "-exit"});
  EXPECT_EQ(Run(withBudget).exitCode, 0);
}

// A shared palette that cannot be made stops the run before it writes.
TEST_F(TrustedRuns, ARunWhoseSharedPaletteFailsWritesNothing) {
  testing_support::WriteBytes(dir_.File("short.GUIPal"), {'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l', 1, 0, 0, 0});
  fs::create_directory(dir_.Path() / "folder.GUIPal");
  struct Case {
    const char* file;
    const char* says;
  };
  for (const Case& c : std::vector<Case>{{"short.GUIPal", "short.GUIPal: "},
                                         {"folder.GUIPal", "folder.GUIPal: Invalid file handle. (is a directory)"},
                                         {"missing.GUIPal", "missing.GUIPal: Invalid file handle. (no such file)"}}) {
    SCOPED_TRACE(c.file);
    for (const char* out : {"badge.c", "flag.c"}) testing_support::WriteBytes(dir_.File(out), {'o', 'l', 'd'});
    const auto result = Run({"badge.png", "flag.gif", "-sharedpalette" + std::string(c.file), "-saveas%n,1", "-exit"});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
    EXPECT_EQ(Text("badge.c"), "old");
    EXPECT_EQ(Text("flag.c"), "old");
  }
}

// A pipe gives its bytes once: a palette read from one is opened once.
TEST_F(TrustedRuns, APaletteFileThatIsAPipeIsReadOnce) {
  ASSERT_EQ(Run({"flag.gif", "-saveaspal,G", "-exit"}).exitCode, 0);
  const std::vector<std::uint8_t> palette = testing_support::ReadBytes(dir_.File("pal.GUIPal"));
  const std::string pipe = dir_.File("pipe.GUIPal");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string command : {"-sharedpalette", "-convertintocustompalette"}) {
    SCOPED_TRACE(command);
    // The palette is written once; after that, any further opening of the
    // pipe is given an empty file at once, so a second open shows as a
    // failure instead of a hang.
    std::atomic<bool> done{false};
    std::thread writer([&] {
      const int fd = open(pipe.c_str(), O_WRONLY);
      if (fd >= 0) {
        static_cast<void>(write(fd, palette.data(), palette.size()) >= 0);
        close(fd);
      }
      while (!done) {
        const int again = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (again >= 0) close(again);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    const auto result = Run({"badge.png", command + "pipe.GUIPal", "-saveasout,1", "-exit"});
    done = true;
    writer.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Exists("out.c"));
    fs::remove(dir_.File("out.c"));
  }
}

// Every manifest parses, whatever bytes the file names hold: a byte that is
// no UTF-8 is escaped, well-formed UTF-8 stays as it is.
TEST_F(TrustedRuns, AManifestOfNamesThatAreNoUtf8IsStillJson) {
  fs::copy_file(dir_.File("badge.png"), dir_.File("caf\xE9.png"));     // Latin-1
  fs::copy_file(dir_.File("badge.png"), dir_.File("cr\xC3\xA8me.png"));  // UTF-8
  ASSERT_EQ(Run({"caf\xE9.png", "cr\xC3\xA8me.png", "-saveasout/%n,1", "-manifestm.json", "-exit"}).exitCode, 0);
  const std::string manifest = Text("m.json");
  EXPECT_NE(manifest.find("\"input\": \"caf\\u00e9.png\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("\"input\": \"cr\xC3\xA8me.png\""), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find('\xE9'), std::string::npos) << "a raw Latin-1 byte";
}

}  // namespace
