// Files as the rest of the program sees them.
//
// Inputs must exist and are read whole; outputs are created together with the
// missing directories of their path. Writes go through a stdio buffer, and every
// failed write is visible to the caller.
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
  // Creates the missing directories (up to 128 levels) and the file; an existing
  // file is replaced, or with kNew the creation fails.
  enum class Existing { kReplace, kNew };
  static std::optional<File> Create(const std::string& path, Existing existing = Existing::kReplace);

  bool IsOpen() const override { return handle_ != nullptr; }
  const std::string& Path() const { return path_; }
  std::int64_t Size();
  // Reads the whole file from its start; nullopt when reading failed.
  std::optional<std::vector<std::uint8_t>> ReadAll();
  bool Write(const void* bytes, std::size_t count) override;
  // Flushes and closes; false when any write or the flush failed.
  bool Close();
  // True once a write has failed on this file.
  bool Failed() const override { return failed_; }

 private:
  File(std::FILE* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  std::FILE* handle_ = nullptr;
  std::unique_ptr<char[]> buffer_;  // the stdio buffer of an output file; outlives the handle
  std::string path_;
  bool failed_ = false;
};

// A file written through a temporary sibling that replaces the target only
// when Commit() is called and every write succeeded, so a failed save never
// loses the file that was there before. Without Commit() the temporary file
// is removed again.
class SafeOutputFile {
 public:
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;
  SafeOutputFile(SafeOutputFile&& other) noexcept;
  SafeOutputFile& operator=(SafeOutputFile&&) = delete;
  ~SafeOutputFile();

  // Creates the missing directories of path and the temporary file.
  static std::optional<SafeOutputFile> Create(const std::string& path);
  File& Output() { return file_; }
  const std::string& Target() const { return target_; }
  // Closes the file and moves it over the target; false (and nothing
  // replaced) when a write, the close or the rename failed.
  bool Commit();

 private:
  SafeOutputFile(File file, std::string target) : file_(std::move(file)), target_(std::move(target)) {}
  void Discard();
  File file_;
  std::string target_;
  bool done_ = false;
};

bool FileExists(const std::string& path);
bool DeleteFile(const std::string& path);
// Creates every missing directory of the directory part of path.
bool CreateDirectoriesFor(const std::string& path);
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

}  // namespace sys

}  // namespace rastra
