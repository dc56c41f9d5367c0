// Runs a build can trust, through the real binary: files a run replaces keep
// what their owner set however the run holds its saves, budgets and manifests
// count what is really on disk, and a run-wide step that fails writes nothing.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

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

}  // namespace
