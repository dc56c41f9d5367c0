#include "sys/File.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <version>

namespace rastra {

namespace sys {
namespace fs = std::filesystem;

namespace {
constexpr int kMaxDirectoryDepth = 128;
constexpr int kMaxTemporaryAttempts = 1000;
constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;

// The buffer is written before it is read, so it need not be cleared; older
// standard libraries (the WebAssembly build's) only have the clearing form.
std::unique_ptr<char[]> NewWriteBuffer() {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
  return std::make_unique_for_overwrite<char[]>(kWriteBufferSize);
#else
  return std::make_unique<char[]>(kWriteBufferSize);
#endif
}
}  // namespace

bool MemorySink::Write(const void* bytes, std::size_t count) {
  if (keepBytes_ && count != 0) {
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), first, first + count);
  }
  count_ += count;
  return true;
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      buffer_(std::move(other.buffer_)),
      path_(std::move(other.path_)),
      failed_(other.failed_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    buffer_ = std::move(other.buffer_);
    path_ = std::move(other.path_);
    failed_ = other.failed_;
  }
  return *this;
}

File::~File() { Close(); }

std::optional<File> File::OpenRead(const std::string& path, std::string* reason) {
  const auto refuse = [reason](std::string why) -> std::optional<File> {
    if (reason != nullptr) *reason = std::move(why);
    return std::nullopt;
  };
  std::error_code ec;
  if (path.empty()) return refuse("the name is empty");
  if (fs::is_directory(path, ec)) return refuse("is a directory");
  std::FILE* handle = std::fopen(path.c_str(), "rb");
  if (handle == nullptr) return refuse(std::strerror(errno));
  return File(handle, path);
}

std::optional<File> File::Create(const std::string& path, Existing existing) {
  if (path.empty() || !CreateDirectoriesFor(path)) return std::nullopt;
  std::FILE* handle = std::fopen(path.c_str(), existing == Existing::kNew ? "wbx" : "wb");
  if (handle == nullptr) return std::nullopt;
  // The C library takes the size only together with a buffer of our own.
  auto buffer = NewWriteBuffer();
  std::setvbuf(handle, buffer.get(), _IOFBF, kWriteBufferSize);
  File file(handle, path);
  file.buffer_ = std::move(buffer);
  return file;
}

std::int64_t File::Size() {
  if (handle_ == nullptr) return -1;
  const long position = std::ftell(handle_);
  if (std::fseek(handle_, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(handle_);
  std::fseek(handle_, position, SEEK_SET);
  return size;
}

std::optional<std::vector<std::uint8_t>> File::ReadAll() {
  const std::int64_t size = Size();
  if (size < 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (std::fseek(handle_, 0, SEEK_SET) != 0) return std::nullopt;
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), handle_);
  bytes.resize(got);
  return bytes;
}

bool File::Write(const void* bytes, std::size_t count) {
  if (handle_ == nullptr) return false;
  if (count != 0 && std::fwrite(bytes, 1, count, handle_) != count) failed_ = true;
  return !failed_;
}

bool File::Close() {
  if (handle_ == nullptr) return !failed_;
  if (std::fclose(handle_) != 0) failed_ = true;
  handle_ = nullptr;
  return !failed_;
}

SafeOutputFile::SafeOutputFile(SafeOutputFile&& other) noexcept
    : file_(std::move(other.file_)), target_(std::move(other.target_)), done_(std::exchange(other.done_, true)) {}

SafeOutputFile::~SafeOutputFile() { Discard(); }

std::optional<SafeOutputFile> SafeOutputFile::Create(const std::string& path) {
  if (path.empty() || !CreateDirectoriesFor(path)) return std::nullopt;
  std::error_code ec;
  if (fs::is_directory(path, ec)) return std::nullopt;
  // Created only when it does not exist, so saves of one target running at
  // the same time (a command line converting images side by side) never
  // share a temporary file.
  for (int attempt = 0; attempt < kMaxTemporaryAttempts; ++attempt) {
    const std::string temporary = path + ".rastra-tmp" + std::to_string(attempt);
    if (fs::exists(temporary, ec)) continue;
    auto file = File::Create(temporary, File::Existing::kNew);
    if (file) return SafeOutputFile(std::move(*file), path);
    if (!fs::exists(temporary, ec)) return std::nullopt;  // not a lost race: the place is not writable
  }
  return std::nullopt;
}

bool SafeOutputFile::Commit() {
  if (done_) return false;
  const std::string temporary = file_.Path();
  if (!file_.Close()) {
    Discard();
    return false;
  }
  std::error_code ec;
  fs::rename(temporary, target_, ec);
  if (ec) {
    Discard();
    return false;
  }
  done_ = true;
  return true;
}

void SafeOutputFile::Discard() {
  if (done_) return;
  done_ = true;
  const std::string temporary = file_.Path();
  file_.Close();
  std::error_code ec;
  if (!temporary.empty()) fs::remove(temporary, ec);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

bool DeleteFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(path, ec);
}

bool CreateDirectoriesFor(const std::string& path) {
  const fs::path directory = fs::path(path).parent_path();
  if (directory.empty()) return true;
  if (std::distance(directory.begin(), directory.end()) > kMaxDirectoryDepth) return false;
  std::error_code ec;
  fs::create_directories(directory, ec);
  return fs::is_directory(directory, ec);
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
  auto file = File::OpenRead(path);
  if (!file) return std::nullopt;
  return file->ReadAll();
}

}  // namespace sys

}  // namespace rastra
