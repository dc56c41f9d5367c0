// Files as the rest of the program sees them.
//
// Inputs must exist and are read whole; outputs are created together with the
// missing directories of their path. Writes go through a stdio buffer, and every
// failed write is visible to the caller. Paths are used as given, whatever
// their length: a path the system refuses fails with the system's reason
// ("File name too long").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rastra {

namespace sys {

// Where a writer's bytes go: a file, or memory for a caller that wants the
// bytes themselves (or only their number).
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when the bytes could not all be taken; a failure sticks.
  virtual bool Write(const void* bytes, std::size_t count) = 0;
  // False for a sink that can take nothing at all (a file that is not open).
  virtual bool IsOpen() const { return true; }
  // True once a write has failed.
  virtual bool Failed() const = 0;

 protected:
  ByteSink() = default;
  ByteSink(const ByteSink&) = default;
  ByteSink& operator=(const ByteSink&) = default;
};

// Keeps every byte written, or with keepBytes false only their number.
class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(bool keepBytes = true) : keepBytes_(keepBytes) {}
  bool Write(const void* bytes, std::size_t count) override;
  bool Failed() const override { return false; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::uint64_t Count() const { return count_; }

 private:
  bool keepBytes_;
  std::vector<std::uint8_t> bytes_;
  std::uint64_t count_ = 0;
};

class File final : public ByteSink {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();

  // Without a file, why not goes to reason when given ("No such file or
  // directory", "is a directory").
  static std::optional<File> OpenRead(const std::string& path, std::string* reason = nullptr);
  // Creates the missing directories and the file; an existing file is
  // replaced, or with kNew the creation fails. On failure *reason (when
  // given) says why.
  enum class Existing { kReplace, kNew };
  static std::optional<File> Create(const std::string& path, Existing existing = Existing::kReplace,
                                    std::string* reason = nullptr);

  bool IsOpen() const override { return handle_ != nullptr; }
  const std::string& Path() const { return path_; }
  std::int64_t Size();
  // Reads up to count bytes from where the file stands, as many as there are
  // (a pipe is read until its writer is done); fewer only at the end or on
  // a failure.
  std::size_t Read(void* bytes, std::size_t count);
  // Reads the whole file from its start; nullopt when reading failed.
  std::optional<std::vector<std::uint8_t>> ReadAll();
  // The SHA-256 of the file from its start, read a piece at a time; nullopt
  // (with the system's reason in *reason when given) when reading failed.
  std::optional<std::string> Sha256(std::string* reason = nullptr);
  bool Write(const void* bytes, std::size_t count) override;
  // Flushes and closes; false when any write or the flush failed.
  bool Close();
  // True once a write has failed on this file.
  bool Failed() const override { return failed_; }
  // The system's reason for the first failure ("No space left on device"),
  // or "" while nothing failed.
  std::string FailureReason() const;

 private:
  friend class SafeOutputFile;
  File(std::FILE* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  static File ForOutput(std::FILE* handle, std::string path);
  void NoteFailure();
  std::FILE* handle_ = nullptr;
  std::unique_ptr<char[]> buffer_;  // the stdio buffer of an output file; outlives the handle
  std::string path_;
  bool failed_ = false;
  int error_ = 0;  // errno of the first failure
};

// The attributes a replaced file keeps: its permission bits, and its owner
// and group where the user may set them.
struct KeptAttributes {
  bool replaces = false;  // false: a new file, made as any new file is (umask)
  std::uint32_t mode = 0;
  std::int64_t owner = -1;
  std::int64_t group = -1;
};

// A file written through a temporary sibling that replaces the target only
// when Commit() is called and every write succeeded, so a failed save never
// loses the file that was there before. Without Commit() the temporary file
// is removed again, also when the process ends on SIGINT, SIGTERM or SIGXFSZ
// (see RemovePendingTemporaries).
//
// What a save keeps of the file it replaces, the way cp does:
// - its permission bits, and its owner and group where the user may set them;
// - a target the user may not write is refused with the system's reason
//   ("Permission denied"), and nothing is created;
// - a symbolic link is written through: the file it points to is replaced,
//   atomically, by a temporary file made beside that file, and the link stays.
//   A link that points nowhere is refused, as cp refuses it, so that a link
//   planted in a shared folder cannot make a save create a file elsewhere;
// - a file with several hard links: the name saved to gets the new content
//   and the other names keep the old one (the replacement is a new file that
//   is moved into place, which is what makes a save atomic).
// Temporary names are made with exclusive creation and a random part, so a
// stale file or a dangling link under a temporary name never blocks a save.
class SafeOutputFile {
 public:
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;
  SafeOutputFile(SafeOutputFile&& other) noexcept;
  SafeOutputFile& operator=(SafeOutputFile&&) = delete;
  ~SafeOutputFile();

  // Creates the missing directories of path and the temporary file. On
  // failure *reason (when given) says why, in the system's words where the
  // system refused.
  static std::optional<SafeOutputFile> Create(const std::string& path, std::string* reason = nullptr);
  File& Output() { return file_; }
  // The path as given.
  const std::string& Target() const { return target_; }
  // The file that is replaced: the target, or the file its link points to.
  const std::string& Destination() const { return destination_; }
  // Finishes the file now: its bytes, and the mode, owner and group it keeps
  // of the file it replaces. A save held for a later Commit closes this way,
  // so that it holds no descriptor; false when a write or the close failed
  // (Commit then fails too, with the reason).
  bool Close();
  // Closes the file (when Close was not called) and moves it over the
  // destination; false (and nothing replaced) when a write, the close or the
  // rename failed. A file closed through Output() still gets what it keeps.
  bool Commit();
  // Why Commit failed, "" when it did not.
  const std::string& FailureReason() const { return failure_; }

 private:
  SafeOutputFile(File file, std::string target, std::string destination, KeptAttributes kept, int slot)
      : file_(std::move(file)),
        target_(std::move(target)),
        destination_(std::move(destination)),
        kept_(kept),
        slot_(slot) {}
  void Discard();
  // Gives the temporary file what it keeps of the file it replaces, once.
  void KeepAttributes();
  File file_;
  std::string target_;
  std::string destination_;
  KeptAttributes kept_;
  int slot_ = -1;  // in the table of pending temporary files, -1 for none
  std::uint64_t device_ = 0;  // the temporary file's identity, for KeepAttributes after a close
  std::uint64_t inode_ = 0;
  bool attributesKept_ = false;
  std::string failure_;
  bool done_ = false;
};

// Opens the log for writing from its start, replacing an earlier log the way
// a save replaces its target (permission bits, owner and group kept; a log
// the user may not write is refused), except that a symbolic link is never
// followed: the link itself is replaced by the new log, so a link planted
// under the log's name cannot make a run overwrite another file. Null on
// failure, with *reason (when given) saying why. The caller closes the file.
std::FILE* OpenLogFile(const std::string& path, std::string* reason = nullptr);

// Removes the temporary file of every save still in progress. It is
// async-signal-safe: the first save installs handlers for SIGINT, SIGTERM and
// SIGXFSZ that call it and then end the process as the signal would have,
// but only for signals whose action is still the default; a program with a
// handler of its own calls it from there.
void RemovePendingTemporaries();

bool FileExists(const std::string& path);
bool DeleteFile(const std::string& path);
// Creates every missing directory of the directory part of path. On failure
// *reason (when given) says why.
bool CreateDirectoriesFor(const std::string& path, std::string* reason = nullptr);
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

}  // namespace sys

}  // namespace rastra
