// What a save keeps of the file it replaces, and what it leaves behind when it
// fails or the process is stopped: the mode, owner and group of the old file,
// refusal of a file the user may not write, writing through symbolic links,
// temporary names that nothing blocks, and no temporary file after SIGINT,
// SIGTERM or SIGXFSZ. The checks that need a user without privileges run in a
// child process that becomes "nobody" when the tests run as root.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "SaveFaultSupport.h"
#include "TestSupport.h"
#include "sys/File.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
namespace fs = std::filesystem;
using testing_support::NamesIn;
using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Names = std::vector<std::string>;

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Saves text to path; the reason of a refusal, or "" when it was saved.
std::string Save(const std::string& path, const std::string& text) {
  std::string reason;
  auto out = sys::SafeOutputFile::Create(path, &reason);
  if (!out) return reason.empty() ? "refused without a reason" : reason;
  out->Output().Write(text.data(), text.size());
  return out->Commit() ? "" : "commit failed: " + out->FailureReason();
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Runs check in a child process as a user without privileges ("nobody" when
// the tests run as root) and returns what the check found wrong, "" for
// nothing. dir is made writable for that user first.
std::string AsUnprivilegedUser(const fs::path& dir, const std::function<std::string()>& check) {
  const passwd* nobody = getpwnam("nobody");
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
  if (geteuid() == 0) fs::permissions(dir, fs::perms::all);
  int channel[2];
  if (pipe(channel) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    std::string found;
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) {
      found = "could not become nobody";
    } else {
      found = check();
    }
    static_cast<void>(write(channel[1], found.data(), found.size()) >= 0);
    _exit(0);
  }
  close(channel[1]);
  std::string found;
  char buffer[256];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) found.append(buffer, static_cast<std::size_t>(n));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return found;
}

TEST(FileSafety, AReplacedFileKeepsItsModeAndANewFileGetsTheUsualOne) {
  TempDir dir;
  for (const mode_t mode : {0600, 0640, 0755, 0444}) {
    SCOPED_TRACE(mode);
    const std::string target = dir.File("kept" + std::to_string(mode) + ".c");
    WriteText(target, "old");
    chmod(target.c_str(), mode);
    if (mode == 0444 && geteuid() != 0) continue;  // refused below, as it must be
    EXPECT_EQ(Save(target, "new"), "");
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(ModeOf(target), mode);
  }
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(Save(dir.File("fresh.c"), "new"), "");
  EXPECT_EQ(ModeOf(dir.File("fresh.c")), 0666 & ~mask);
}

TEST(FileSafety, AUserWithoutPrivilegesIsRefusedWhatHeMayNotWriteAndKeepsHisOwnFilesPrivate) {
  TempDir dir;
  const std::string readOnly = dir.File("read-only.c");
  WriteText(readOnly, "old");
  chmod(readOnly.c_str(), 0444);
  fs::create_directory(dir.Path() / "locked");
  fs::permissions(dir.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const std::string inLocked = (dir.Path() / "locked" / "out.c").string();
  const std::string privateFile = dir.File("private.c");
  const std::string found = AsUnprivilegedUser(dir.Path(), [&]() -> std::string {
    if (Save(readOnly, "new") != "Permission denied") return "a read-only file was not refused";
    if (ReadText(readOnly) != "old") return "the read-only file changed";
    if (Save(inLocked, "new") != "Permission denied") return "a folder without write access was not refused";
    WriteText(privateFile, "secret");
    chmod(privateFile.c_str(), 0600);
    if (!Save(privateFile, "new secret").empty()) return "the user's own file was refused";
    if (ModeOf(privateFile) != 0600) return "a private file became readable by others";
    return "";
  });
  EXPECT_EQ(found, "");
  EXPECT_EQ(NamesIn(dir.Path()), (Names{"locked", "private.c", "read-only.c"}));
}

TEST(FileSafety, OwnerAndGroupAreKeptWhereTheUserMaySetThem) {
  if (geteuid() != 0) GTEST_SKIP() << "only a privileged user may give a file another owner";
  TempDir dir;
  const std::string target = dir.File("owned.c");
  WriteText(target, "old");
  ASSERT_EQ(chown(target.c_str(), 12345, 23456), 0);
  EXPECT_EQ(Save(target, "new"), "");
  struct stat status {};
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 12345u);
  EXPECT_EQ(status.st_gid, 23456u);
}

TEST(FileSafety, ASymbolicLinkIsWrittenThroughBesideTheFileItPointsTo) {
  TempDir dir;
  fs::create_directories(dir.Path() / "real");
  fs::create_directories(dir.Path() / "links");
  const std::string real = (dir.Path() / "real" / "picture.c").string();
  WriteText(real, "old");
  chmod(real.c_str(), 0640);
  // A relative link to a relative link: each resolved from its own folder.
  fs::create_symlink("../real/picture.c", dir.Path() / "links" / "first.c");
  fs::create_symlink("first.c", dir.Path() / "links" / "second.c");
  EXPECT_EQ(Save((dir.Path() / "links" / "second.c").string(), "new"), "");
  EXPECT_EQ(ReadText(real), "new");
  EXPECT_EQ(ModeOf(real), 0640u);
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "links" / "second.c"));
  EXPECT_EQ(fs::read_symlink(dir.Path() / "links" / "first.c"), "../real/picture.c");
  EXPECT_EQ(NamesIn(dir.Path() / "real"), Names{"picture.c"});
  EXPECT_EQ(NamesIn(dir.Path() / "links"), (Names{"first.c", "second.c"}));
}

TEST(FileSafety, ALinkThatPointsNowhereIsRefusedAndCreatesNothing) {
  TempDir dir;
  fs::create_symlink(dir.Path() / "elsewhere" / "planted.c", dir.Path() / "out.c");
  EXPECT_EQ(Save(dir.File("out.c"), "new"), "Not writing through a symbolic link that points nowhere");
  EXPECT_FALSE(fs::exists(dir.Path() / "elsewhere"));
  EXPECT_EQ(NamesIn(dir.Path()), Names{"out.c"});
}

// The saved name gets the new content; another hard link keeps the old one.
TEST(FileSafety, AHardLinkedFileIsReplacedUnderTheSavedNameOnly) {
  TempDir dir;
  WriteText(dir.File("saved.c"), "old");
  fs::create_hard_link(dir.Path() / "saved.c", dir.Path() / "other.c");
  EXPECT_EQ(Save(dir.File("saved.c"), "new"), "");
  EXPECT_EQ(ReadText(dir.File("saved.c")), "new");
  EXPECT_EQ(ReadText(dir.File("other.c")), "old");
}

TEST(FileSafety, LeftoversUnderTemporaryNamesDoNotBlockASave) {
  TempDir dir;
  // What an earlier version, or a stopped run, may have left: files and
  // dangling links under the names of temporary files.
  for (int i = 0; i < 3; ++i) {
    fs::create_symlink(dir.Path() / "nowhere", dir.File("out.c.rastra-tmp" + std::to_string(i)));
  }
  WriteText(dir.File(".out.c.rastra-aaaaaa"), "stale");
  EXPECT_EQ(Save(dir.File("out.c"), "new"), "");
  EXPECT_EQ(ReadText(dir.File("out.c")), "new");
  EXPECT_EQ(NamesIn(dir.Path()).size(), 5u);
}

TEST(FileSafety, PathsOfAnyLengthTheSystemTakesAreUsedAsTheyAre) {
  TempDir dir;
  // A name of 250 bytes leaves no room for a suffix: the temporary name is
  // shortened instead. The folders take the path well past 260 characters.
  fs::path deep = dir.Path();
  for (int i = 0; i < 30; ++i) deep /= "folder" + std::to_string(i);
  const std::string target = (deep / (std::string(248, 'n') + ".c")).string();
  ASSERT_GT(target.size(), 500u);
  EXPECT_EQ(Save(target, "new"), "");
  EXPECT_EQ(ReadText(target), "new");
  EXPECT_EQ(NamesIn(deep).size(), 1u);
  // A name the system refuses fails with its reason.
  EXPECT_EQ(Save(dir.File(std::string(256, 'n')), "new"), "File name too long");
}

// Ends a child process with signal while a save is in progress and returns
// the names left in dir.
Names NamesAfterSignal(const TempDir& dir, int signal) {
  const pid_t child = fork();
  if (child == 0) {
    std::signal(signal, SIG_DFL);
    auto out = sys::SafeOutputFile::Create(dir.File("out.c"));
    if (!out) _exit(3);
    if (signal == SIGXFSZ) {
      rlimit limit{1000, RLIM_INFINITY};
      setrlimit(RLIMIT_FSIZE, &limit);
      const std::vector<char> bytes(256 * 1024, 'x');  // past the write buffer: written at once
      out->Output().Write(bytes.data(), bytes.size());
    } else {
      out->Output().Write("x", 1);
      raise(signal);
    }
    _exit(4);  // not reached when the signal ends the process
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
  return NamesIn(dir.Path());
}

TEST(FileSafety, NoTemporaryFileIsLeftWhenTheProcessIsStopped) {
  for (const int signal : {SIGINT, SIGTERM, SIGXFSZ}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    WriteText(dir.File("out.c"), "old");
    EXPECT_EQ(NamesAfterSignal(dir, signal), Names{"out.c"});
    EXPECT_EQ(ReadText(dir.File("out.c")), "old");
  }
}

void OwnHandler(int /*signal*/) {}

TEST(FileSafety, AHandlerOfTheProgramsOwnIsLeftInPlace) {
  TempDir dir;
  const auto previous = std::signal(SIGTERM, OwnHandler);
  { EXPECT_EQ(Save(dir.File("out.c"), "new"), ""); }
  EXPECT_EQ(std::signal(SIGTERM, previous), &OwnHandler);
}

TEST(FileSafety, ACommitTheDiskRefusesSaysWhy) {
  TempDir dir;
  auto out = sys::SafeOutputFile::Create(dir.File("out.c"));
  ASSERT_TRUE(out);
  const testing_support::FileSizeLimit limit(100);
  const std::vector<char> bytes(256 * 1024, 'x');
  out->Output().Write(bytes.data(), bytes.size());
  EXPECT_FALSE(out->Commit());
  EXPECT_EQ(out->FailureReason(), "File too large");
}

// ---------------------------------------------------------------- the log

TEST(LogFile, ALinkUnderTheLogsNameIsReplacedNotFollowed) {
  TempDir dir;
  WriteText(dir.File("victim"), "keep me");
  fs::create_symlink(dir.Path() / "victim", dir.Path() / "Rastra.log");
  std::FILE* log = sys::OpenLogFile(dir.File("Rastra.log"));
  ASSERT_NE(log, nullptr);
  std::fputs("report", log);
  std::fclose(log);
  EXPECT_EQ(ReadText(dir.File("victim")), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir.Path() / "Rastra.log"));
  EXPECT_EQ(ReadText(dir.File("Rastra.log")), "report");
  EXPECT_EQ(NamesIn(dir.Path()), (Names{"Rastra.log", "victim"}));
}

TEST(LogFile, AnEarlierLogKeepsItsModeAndItsHardLinksTheirContent) {
  TempDir dir;
  WriteText(dir.File("Rastra.log"), "earlier");
  chmod(dir.File("Rastra.log").c_str(), 0600);
  fs::create_hard_link(dir.Path() / "Rastra.log", dir.Path() / "linked");
  std::FILE* log = sys::OpenLogFile(dir.File("Rastra.log"));
  ASSERT_NE(log, nullptr);
  std::fclose(log);
  EXPECT_EQ(ReadText(dir.File("Rastra.log")), "");
  EXPECT_EQ(ModeOf(dir.File("Rastra.log")), 0600u);
  EXPECT_EQ(ReadText(dir.File("linked")), "earlier");
}

TEST(LogFile, ALogTheUserMayNotWriteIsRefused) {
  TempDir dir;
  WriteText(dir.File("Rastra.log"), "earlier");
  chmod(dir.File("Rastra.log").c_str(), 0444);
  const std::string found = AsUnprivilegedUser(dir.Path(), [&]() -> std::string {
    std::string reason;
    std::FILE* log = sys::OpenLogFile(dir.File("Rastra.log"), &reason);
    if (log != nullptr) {
      std::fclose(log);
      return "a read-only log was replaced";
    }
    return reason == "Permission denied" ? "" : "reason: " + reason;
  });
  EXPECT_EQ(found, "");
  EXPECT_EQ(ReadText(dir.File("Rastra.log")), "earlier");
}

}  // namespace

// A save held for a later commit is closed first; what it keeps must not
// depend on who closed it.
TEST(FileSafety, ASaveClosedBeforeItsCommitKeepsTheModeOwnerAndGroup) {
  TempDir dir;
  const bool root = geteuid() == 0;
  const std::vector<std::pair<const char*, std::function<void(sys::SafeOutputFile&)>>> closings = {
      {"closed by the save", [](sys::SafeOutputFile& out) { EXPECT_TRUE(out.Close()); }},
      {"closed through its file", [](sys::SafeOutputFile& out) { EXPECT_TRUE(out.Output().Close()); }},
  };
  for (const auto& [name, close] : closings) {
    SCOPED_TRACE(name);
    const std::string target = dir.File("held.c");
    WriteText(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0664), 0);
    if (root) {
      ASSERT_EQ(chown(target.c_str(), 1234, 2345), 0);
    }
    auto out = sys::SafeOutputFile::Create(target);
    ASSERT_TRUE(out);
    out->Output().Write("new", 3);
    close(*out);
    ASSERT_TRUE(out->Commit());
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(ModeOf(target), 0664u);
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    if (root) {
      EXPECT_EQ(status.st_uid, 1234u);
      EXPECT_EQ(status.st_gid, 2345u);
    }
  }
  EXPECT_EQ(NamesIn(dir.Path()), Names{"held.c"});
}
