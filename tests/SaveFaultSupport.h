// Faults for the save tests: a file size limit that makes writes fail the way
// a full disk does, sinks that give out part-way, and the checks that a
// failed save left the old file as it was and nothing beside it.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sys/File.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace testing_support {

// Lowers this process's file size limit with SIGXFSZ ignored, so that a write
// beyond the limit fails (EFBIG) instead of ending the process. Only the soft
// limit is lowered, so it is raised again at the end of the scope. Child
// processes started inside the scope inherit both.
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

// Takes the first `room` bytes, then fails every write.
class ShortSink final : public sys::ByteSink {
 public:
  explicit ShortSink(std::size_t room) : room_(room) {}
  bool Write(const void* bytes, std::size_t count) override {
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    const std::size_t taken = count <= room_ - kept_.size() ? count : room_ - kept_.size();
    kept_.insert(kept_.end(), first, first + taken);
    failed_ = failed_ || taken != count;
    return !failed_;
  }
  bool Failed() const override { return failed_; }
  const std::vector<std::uint8_t>& Kept() const { return kept_; }

 private:
  std::size_t room_;
  std::vector<std::uint8_t> kept_;
  bool failed_ = false;
};

// The names in dir, so that a test can tell a failed save left nothing behind.
inline std::vector<std::string> NamesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testing_support
