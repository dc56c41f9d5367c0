// Files when the disk refuses bytes: a write or the closing flush that fails
// must be seen, and a safe output file must then keep the file it would have
// replaced. The refusal comes from the process's file size limit, which makes
// the system fail writes beyond it as a full disk does.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "sys/File.h"

namespace {
using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

// Holds this process's file size limit at bytes for its lifetime. Writes past
// the limit fail with EFBIG instead of raising SIGXFSZ, which is ignored.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool Active() const { return active_; }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = SIG_DFL;
  bool active_ = false;
};

constexpr rlim_t kLimit = 1000;
// Fewer bytes than the write buffer holds: they reach the disk only when the
// file is closed. More than the limit, so that flush fails.
const std::vector<char> kBufferedBytes(4000, 'n');
// More than the write buffer: the write itself goes to the disk and fails.
const std::vector<char> kUnbufferedBytes(256 * 1024, 'n');

std::size_t EntriesIn(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(FileFaults, AWriteTheDiskRefusesIsReported) {
  TempDir dir;
  auto file = sys::File::Create(dir.File("out.bin"));
  ASSERT_TRUE(file);
  const FileSizeLimit limit(kLimit);
  ASSERT_TRUE(limit.Active());
  EXPECT_FALSE(file->Write(kUnbufferedBytes.data(), kUnbufferedBytes.size()));
  EXPECT_TRUE(file->Failed());
  EXPECT_FALSE(file->Close());
}

TEST(FileFaults, AFlushTheDiskRefusesFailsTheClose) {
  TempDir dir;
  auto file = sys::File::Create(dir.File("out.bin"));
  ASSERT_TRUE(file);
  const FileSizeLimit limit(kLimit);
  ASSERT_TRUE(limit.Active());
  EXPECT_TRUE(file->Write(kBufferedBytes.data(), kBufferedBytes.size()));  // still in the buffer
  EXPECT_FALSE(file->Close());
  EXPECT_TRUE(file->Failed());
}

// The save's last bytes are written by the close: when that fails, the old
// file must stay and no temporary file may be left behind.
TEST(FileFaults, ACommitWhoseCloseFailsKeepsTheOldFile) {
  TempDir dir;
  const std::string target = dir.File("picture.c");
  WriteBytes(target, {'o', 'l', 'd'});
  auto out = sys::SafeOutputFile::Create(target);
  ASSERT_TRUE(out);
  const FileSizeLimit limit(kLimit);
  ASSERT_TRUE(limit.Active());
  ASSERT_TRUE(out->Output().Write(kBufferedBytes.data(), kBufferedBytes.size()));
  EXPECT_FALSE(out->Commit());
  EXPECT_EQ(ReadText(target), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(FileFaults, ACommitAfterARefusedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string target = dir.File("picture.c");
  WriteBytes(target, {'o', 'l', 'd'});
  auto out = sys::SafeOutputFile::Create(target);
  ASSERT_TRUE(out);
  const FileSizeLimit limit(kLimit);
  ASSERT_TRUE(limit.Active());
  out->Output().Write(kUnbufferedBytes.data(), kUnbufferedBytes.size());
  EXPECT_FALSE(out->Commit());
  EXPECT_EQ(ReadText(target), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

}  // namespace
