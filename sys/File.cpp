#include "sys/File.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>
#include <version>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#else
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// The program's own DeleteFile (File.h), not the system's macro.
#undef DeleteFile

#include <atomic>
#endif

#include "sys/Platform.h"
#include "sys/Sha256.h"

namespace rastra {

namespace sys {
namespace fs = std::filesystem;

namespace {
constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;
constexpr int kMaxTemporaryAttempts = 100;
constexpr char kTemporaryMark[] = ".rastra-";
constexpr std::size_t kRandomLength = 6;

std::string SystemText(int error) { return std::generic_category().message(error); }

void SetReason(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
}

// Sets *reason when the caller asked for it; for `return Refuse(...)`.
std::nullopt_t Refuse(std::string* reason, std::string text) {
  SetReason(reason, std::move(text));
  return std::nullopt;
}

// Letters and digits that make a temporary name no other save guesses.
std::string RandomPart() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  std::string text(kRandomLength, 'x');
  for (char& c : text) c = kChars[pick(generator)];
  return text;
}

// Splits path after its last separator: the folder (with the separator, or
// "") and the name.
std::pair<std::string, std::string> SplitLast(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The name of a temporary sibling of name: hidden, marked as ours, and within
// the longest name a folder takes (255 bytes), however long name is.
std::string TemporaryName(const std::string& name) {
  constexpr std::size_t kMaxName = 255;
  constexpr std::size_t kAdded = 1 + sizeof kTemporaryMark - 1 + kRandomLength;
  // Cut between two characters, so that a UTF-8 name stays one.
  std::size_t kept = std::min(name.size(), kMaxName - kAdded);
  while (kept > 0 && kept < name.size() && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) --kept;
  std::string temporary = ".";
  temporary.append(name, 0, kept);
  temporary += kTemporaryMark;
  temporary += RandomPart();
  return temporary;
}

#ifndef _WIN32
// ------------------------------------------------------------ pending temporary files
//
// A signal handler may only use what is async-signal-safe, so the paths of
// the temporary files in progress live in a fixed table, not in the objects
// that own them: a slot is claimed, filled and then armed; the handler
// unlinks the armed ones. This is the one piece of process-wide state here,
// and it exists because a dying process has no other way to clean up.
constexpr int kPendingSlots = 128;
enum SlotState : int { kFree = 0, kFilling = 1, kArmed = 2 };

struct PendingSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};

PendingSlot pendingSlots[kPendingSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slot states");

#ifdef SIGXFSZ
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGXFSZ};
#else
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM};
#endif

void RemoveTemporariesAndRaise(int signal) {
  const int savedErrno = errno;
  RemovePendingTemporaries();
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  sigaction(signal, &defaultAction, nullptr);
  // Blocked while this handler runs: delivered, with the default action, as
  // soon as it returns.
  raise(signal);
  errno = savedErrno;
}

// Only signals nobody else handles or ignores: a SIGXFSZ that is ignored
// makes writes fail instead, which the save sees and cleans up after.
void InstallCleanupHandlers() {
  for (const int signal : kCleanupSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0) continue;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction ours {};
    ours.sa_handler = RemoveTemporariesAndRaise;
    sigemptyset(&ours.sa_mask);
    sigaction(signal, &ours, nullptr);
  }
}

// The slot of path, or -1 when the path is too long or every slot is taken
// (the file is then removed on every path but a signal).
int ArmPending(const std::string& path) {
  InstallCleanupHandlers();
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kPendingSlots; ++i) {
    int expected = kFree;
    PendingSlot& slot = pendingSlots[i];
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state.store(kArmed);
    return i;
  }
  return -1;
}

void DisarmPending(int slot) {
  if (slot >= 0 && slot < kPendingSlots) pendingSlots[slot].state.store(kFree);
}

// Moves a finished temporary file over its destination; false with the
// reason when the system refused.
bool MoveOver(const std::string& from, const std::string& to, std::string& failure) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  failure = SystemText(errno);
  return false;
}

void RemovePath(const std::string& path) { unlink(path.c_str()); }

struct Temporary {
  int fd = -1;
  std::string path;
  int slot = -1;
};

// Creates a new file beside destination, exclusively: a name that exists in
// any form (a file, a stale temporary, a dangling link) is passed over.
std::optional<Temporary> CreateTemporaryBeside(const std::string& destination, mode_t mode, std::string* reason) {
  const auto [folder, name] = SplitLast(destination);
  for (int attempt = 0; attempt < kMaxTemporaryAttempts; ++attempt) {
    Temporary temporary;
    temporary.path = folder + TemporaryName(name);
    temporary.fd = open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (temporary.fd >= 0) {
      temporary.slot = ArmPending(temporary.path);
      return temporary;
    }
    if (errno != EEXIST) return Refuse(reason, SystemText(errno));
  }
  return Refuse(reason, SystemText(EEXIST));
}

void RemoveTemporary(const Temporary& temporary) {
  unlink(temporary.path.c_str());
  DisarmPending(temporary.slot);
}

// What an existing destination keeps; nullopt (with the reason) when it may
// not be replaced.
std::optional<KeptAttributes> AttributesToKeep(const struct stat& status, const std::string& path,
                                               std::string* reason) {
  if (S_ISDIR(status.st_mode)) return Refuse(reason, SystemText(EISDIR));
  if (!S_ISREG(status.st_mode)) return Refuse(reason, "Not a regular file");
  if (access(path.c_str(), W_OK) != 0) return Refuse(reason, SystemText(errno));
  KeptAttributes kept;
  kept.replaces = true;
  kept.mode = status.st_mode & 07777;
  kept.owner = status.st_uid;
  kept.group = status.st_gid;
  return kept;
}

// Owner first: changing it clears the set-id bits the mode then sets again.
// A user who may not give the file its owner may still give it its group.
void ApplyKept(int fd, const KeptAttributes& kept) {
  if (!kept.replaces) return;
  const auto owner = static_cast<uid_t>(kept.owner);
  const auto group = static_cast<gid_t>(kept.group);
  if (fchown(fd, owner, group) != 0) static_cast<void>(fchown(fd, static_cast<uid_t>(-1), group) == 0);
  static_cast<void>(fchmod(fd, static_cast<mode_t>(kept.mode)) == 0);
}

// The same for a temporary file that is closed already: opened again without
// following a link, and only when it is still the file that was made.
void ApplyKeptByPath(const std::string& path, std::uint64_t device, std::uint64_t inode,
                     const KeptAttributes& kept) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && static_cast<std::uint64_t>(status.st_dev) == device &&
      static_cast<std::uint64_t>(status.st_ino) == inode) {
    ApplyKept(fd, kept);
  }
  close(fd);
}

// The file a save of path replaces: path itself, or the end of its chain of
// symbolic links. Links in the folders of the path need nothing: the
// temporary file is made through them too.
std::optional<std::string> ResolveDestination(const std::string& path, std::string* reason) {
  constexpr int kMaxLinks = 40;
  std::string current = path;
  for (int links = 0;; ++links) {
    struct stat status {};
    if (lstat(current.c_str(), &status) != 0) {
      const int error = errno;
      if (error == ENOENT && links == 0) return current;  // a new file
      if (error == ENOENT) return Refuse(reason, "Not writing through a symbolic link that points nowhere");
      return Refuse(reason, SystemText(error));
    }
    if (!S_ISLNK(status.st_mode)) return current;
    if (links == kMaxLinks) return Refuse(reason, SystemText(ELOOP));
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(current.c_str(), target.data(), target.size());
    if (length < 0) return Refuse(reason, SystemText(errno));
    target.resize(static_cast<std::size_t>(length));
    if (target.empty() || target[0] != '/') target = SplitLast(current).first + target;
    current = std::move(target);
  }
}
#else
// ------------------------------------------------------------ pending temporary files
//
// The console's control handler (Ctrl+C, Ctrl+Break, a closed console) runs
// on a thread of its own while the others go on; the table of temporary files
// in progress works as the POSIX one does, with wide paths.
constexpr int kPendingSlots = 128;
constexpr std::size_t kPendingPathMax = 2048;
enum SlotState : int { kFree = 0, kFilling = 1, kArmed = 2 };

struct PendingSlot {
  std::atomic<int> state{kFree};
  wchar_t path[kPendingPathMax];
};

PendingSlot pendingSlots[kPendingSlots];

BOOL WINAPI RemoveTemporariesOnControl(DWORD /*event*/) {
  RemovePendingTemporaries();
  return FALSE;  // the next handler (the system's) ends the process as it would have
}

int ArmPending(const std::wstring& path) {
  static const bool installed = SetConsoleCtrlHandler(RemoveTemporariesOnControl, TRUE) != 0;
  static_cast<void>(installed);
  if (path.size() >= kPendingPathMax) return -1;
  for (int i = 0; i < kPendingSlots; ++i) {
    int expected = kFree;
    PendingSlot& slot = pendingSlots[i];
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slot.path, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    slot.state.store(kArmed);
    return i;
  }
  return -1;
}

void DisarmPending(int slot) {
  if (slot >= 0 && slot < kPendingSlots) pendingSlots[slot].state.store(kFree);
}

// ReplaceFileW gives the new file the replaced one's attributes, security and
// creation time; where it cannot (a file system without them), the file is
// moved over the old one with write-through and its attributes set again.
bool MoveOver(const std::string& from, const std::string& to, std::string& failure) {
  const std::wstring source = SystemPath(from);
  const std::wstring target = SystemPath(to);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return true;
  }
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target.c_str(), attributes);
    return true;
  }
  failure = WindowsErrorText(GetLastError());
  return false;
}

void RemovePath(const std::string& path) { DeleteFileW(SystemPath(path).c_str()); }

// nullopt (with the system's reason) when an existing path may not be
// replaced: a folder, a read-only file, one the user may not write or one
// another program holds open without sharing.
std::optional<bool> CheckReplaceable(const std::string& path, std::string* reason) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    return Refuse(reason, WindowsErrorText(error));
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Refuse(reason, SystemText(EISDIR));
  // Refused as Windows refuses writing it, also where the open below would
  // pass (an administrator's process under some file systems).
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return Refuse(reason, WindowsErrorText(ERROR_ACCESS_DENIED));
  const HANDLE probe = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return Refuse(reason, WindowsErrorText(GetLastError()));
  CloseHandle(probe);
  return true;
}

struct Temporary {
  std::FILE* handle = nullptr;
  std::string path;
  int slot = -1;
};

// Creates a new file beside destination, exclusively.
std::optional<Temporary> CreateTemporaryBeside(const std::string& destination, std::string* reason) {
  const auto [folder, name] = SplitLast(destination);
  for (int attempt = 0; attempt < kMaxTemporaryAttempts; ++attempt) {
    Temporary temporary;
    temporary.path = folder + TemporaryName(name);
    const std::wstring wide = SystemPath(temporary.path);
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return Refuse(reason, WindowsErrorText(error));
    }
    temporary.slot = ArmPending(wide);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    temporary.handle = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (temporary.handle == nullptr) {
      if (fd < 0) {
        CloseHandle(handle);
      } else {
        _close(fd);
      }
      DeleteFileW(wide.c_str());
      DisarmPending(temporary.slot);
      return Refuse(reason, SystemText(EMFILE));
    }
    return temporary;
  }
  return Refuse(reason, SystemText(EEXIST));
}
#endif

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
      failed_(other.failed_),
      error_(other.error_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    buffer_ = std::move(other.buffer_);
    path_ = std::move(other.path_);
    failed_ = other.failed_;
    error_ = other.error_;
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
  if (fs::is_directory(PathFromUtf8(path), ec)) return refuse("is a directory");
  std::FILE* handle = OpenStdioFile(path, "rb");
  if (handle == nullptr) return refuse(std::strerror(errno));
  return File(handle, path);
}

File File::ForOutput(std::FILE* handle, std::string path) {
  // The C library takes the size only together with a buffer of our own.
  auto buffer = NewWriteBuffer();
  std::setvbuf(handle, buffer.get(), _IOFBF, kWriteBufferSize);
  File file(handle, std::move(path));
  file.buffer_ = std::move(buffer);
  return file;
}

std::optional<File> File::Create(const std::string& path, Existing existing, std::string* reason) {
  if (path.empty()) return Refuse(reason, SystemText(ENOENT));
  if (!CreateDirectoriesFor(path, reason)) return std::nullopt;
  errno = 0;
#ifdef _WIN32
  // The C library's fopen knows no "x" on every Windows.
  if (existing == Existing::kNew) {
    const HANDLE created = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) return Refuse(reason, WindowsErrorText(GetLastError()));
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(created), 0);
    std::FILE* handle = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (handle == nullptr) {
      if (fd < 0) CloseHandle(created);
      if (fd >= 0) _close(fd);
      return Refuse(reason, SystemText(EMFILE));
    }
    return ForOutput(handle, path);
  }
#endif
  std::FILE* handle = OpenStdioFile(path, existing == Existing::kNew ? "wbx" : "wb");
  if (handle == nullptr) return Refuse(reason, SystemText(errno != 0 ? errno : EIO));
  return ForOutput(handle, path);
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

std::size_t File::Read(void* bytes, std::size_t count) {
  if (handle_ == nullptr) return 0;
  auto* into = static_cast<char*>(bytes);
  std::size_t got = 0;
  while (got < count) {
    const std::size_t n = std::fread(into + got, 1, count - got, handle_);
    if (n == 0) break;
    got += n;
  }
  return got;
}

std::optional<std::string> File::Sha256(std::string* reason) {
  if (handle_ == nullptr || std::fseek(handle_, 0, SEEK_SET) != 0) return Refuse(reason, SystemText(EBADF));
  sys::Sha256 sum;
  std::vector<char> piece(kWriteBufferSize);
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), handle_);
    sum.Update(piece.data(), got);
    if (got < piece.size()) break;
  }
  if (std::ferror(handle_) != 0) return Refuse(reason, SystemText(errno != 0 ? errno : EIO));
  return sum.Hex();
}

void File::NoteFailure() {
  if (!failed_) error_ = errno != 0 ? errno : EIO;
  failed_ = true;
}

bool File::Write(const void* bytes, std::size_t count) {
  if (handle_ == nullptr) return false;
  errno = 0;
  if (count != 0 && std::fwrite(bytes, 1, count, handle_) != count) NoteFailure();
  return !failed_;
}

bool File::Close() {
  if (handle_ == nullptr) return !failed_;
  errno = 0;
  if (std::fclose(handle_) != 0) NoteFailure();
  handle_ = nullptr;
  return !failed_;
}

std::string File::FailureReason() const { return failed_ ? SystemText(error_) : std::string(); }

SafeOutputFile::SafeOutputFile(SafeOutputFile&& other) noexcept
    : file_(std::move(other.file_)),
      target_(std::move(other.target_)),
      destination_(std::move(other.destination_)),
      kept_(other.kept_),
      slot_(std::exchange(other.slot_, -1)),
      device_(other.device_),
      inode_(other.inode_),
      attributesKept_(other.attributesKept_),
      failure_(std::move(other.failure_)),
      done_(std::exchange(other.done_, true)) {}

SafeOutputFile::~SafeOutputFile() { Discard(); }

void SafeOutputFile::KeepAttributes() {
  if (attributesKept_ || done_ || file_.Failed()) return;
  attributesKept_ = true;
#ifndef _WIN32
  if (file_.IsOpen()) {
    ApplyKept(fileno(file_.handle_), kept_);
  } else if (kept_.replaces) {
    ApplyKeptByPath(file_.Path(), device_, inode_, kept_);
  }
#endif
}

bool SafeOutputFile::Close() {
  if (done_) return false;
  KeepAttributes();
  return file_.Close();
}

bool SafeOutputFile::Commit() {
  if (done_) return false;
  const std::string temporary = file_.Path();
  KeepAttributes();
  if (!file_.Close()) {
    failure_ = file_.FailureReason();
    Discard();
    return false;
  }
  if (!MoveOver(temporary, destination_, failure_)) {
    Discard();
    return false;
  }
  DisarmPending(std::exchange(slot_, -1));
  done_ = true;
  return true;
}

void SafeOutputFile::Discard() {
  if (done_) return;
  done_ = true;
  const std::string temporary = file_.Path();
  file_.Close();
  if (!temporary.empty()) RemovePath(temporary);
  DisarmPending(std::exchange(slot_, -1));
}

#ifndef _WIN32
std::optional<SafeOutputFile> SafeOutputFile::Create(const std::string& path, std::string* reason) {
  if (path.empty()) return Refuse(reason, SystemText(ENOENT));
  const std::optional<std::string> destination = ResolveDestination(path, reason);
  if (!destination || !CreateDirectoriesFor(*destination, reason)) return std::nullopt;
  KeptAttributes kept;
  struct stat status {};
  if (stat(destination->c_str(), &status) == 0) {
    const std::optional<KeptAttributes> existing = AttributesToKeep(status, *destination, reason);
    if (!existing) return std::nullopt;
    kept = *existing;
  } else if (errno != ENOENT) {
    return Refuse(reason, SystemText(errno));
  }
  // A replacement is private until it takes the old file's place, so its
  // content cannot be read through a mode the old file did not have. A new
  // file gets the mode every new file gets.
  const std::optional<Temporary> temporary = CreateTemporaryBeside(*destination, kept.replaces ? 0600 : 0666, reason);
  if (!temporary) return std::nullopt;
  std::FILE* handle = fdopen(temporary->fd, "wb");
  if (handle == nullptr) {
    const int error = errno;
    close(temporary->fd);
    RemoveTemporary(*temporary);
    return Refuse(reason, SystemText(error));
  }
  SafeOutputFile output(File::ForOutput(handle, temporary->path), path, *destination, kept, temporary->slot);
  struct stat made {};
  if (fstat(fileno(handle), &made) == 0) {
    output.device_ = static_cast<std::uint64_t>(made.st_dev);
    output.inode_ = static_cast<std::uint64_t>(made.st_ino);
  }
  return output;
}

std::FILE* OpenLogFile(const std::string& path, std::string* reason) {
  if (path.empty()) {
    SetReason(reason, SystemText(ENOENT));
    return nullptr;
  }
  KeptAttributes kept;
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0) {
    // A link, or anything else that is no folder, is replaced, never followed.
    if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
      const std::optional<KeptAttributes> existing = AttributesToKeep(status, path, reason);
      if (!existing) return nullptr;
      kept = *existing;
    }
  } else if (errno != ENOENT) {
    SetReason(reason, SystemText(errno));
    return nullptr;
  }
  const std::optional<Temporary> temporary = CreateTemporaryBeside(path, kept.replaces ? 0600 : 0666, reason);
  if (!temporary) return nullptr;
  ApplyKept(temporary->fd, kept);
  std::FILE* handle = nullptr;
  if (rename(temporary->path.c_str(), path.c_str()) != 0) {
    SetReason(reason, SystemText(errno));
  } else {
    handle = fdopen(temporary->fd, "wb");
    if (handle == nullptr) SetReason(reason, SystemText(errno));
  }
  if (handle == nullptr) {
    close(temporary->fd);
    unlink(temporary->path.c_str());  // the name is still the temporary's when the rename failed
  }
  DisarmPending(temporary->slot);
  return handle;
}

void RemovePendingTemporaries() {
  for (PendingSlot& slot : pendingSlots) {
    if (slot.state.load() == kArmed) unlink(slot.path);
  }
}
#else
std::optional<SafeOutputFile> SafeOutputFile::Create(const std::string& path, std::string* reason) {
  if (path.empty()) return Refuse(reason, SystemText(ENOENT));
  if (!CreateDirectoriesFor(path, reason)) return std::nullopt;
  const std::optional<bool> replaces = CheckReplaceable(path, reason);
  if (!replaces) return std::nullopt;
  std::optional<Temporary> temporary = CreateTemporaryBeside(path, reason);
  if (!temporary) return std::nullopt;
  KeptAttributes kept;
  kept.replaces = *replaces;
  return SafeOutputFile(File::ForOutput(temporary->handle, temporary->path), path, path, kept, temporary->slot);
}

// The log is written in place: a read-only log, or one another program holds,
// is refused with the system's reason, and an existing log keeps its
// attributes.
std::FILE* OpenLogFile(const std::string& path, std::string* reason) {
  if (path.empty()) {
    SetReason(reason, SystemText(ENOENT));
    return nullptr;
  }
  if (!CheckReplaceable(path, reason)) return nullptr;
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetReason(reason, WindowsErrorText(GetLastError()));
    return nullptr;
  }
  SetEndOfFile(handle);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
  std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (file == nullptr) {
    if (fd < 0) {
      CloseHandle(handle);
    } else {
      _close(fd);
    }
    SetReason(reason, SystemText(EMFILE));
  }
  return file;
}

void RemovePendingTemporaries() {
  for (PendingSlot& slot : pendingSlots) {
    if (slot.state.load() == kArmed) DeleteFileW(slot.path);
  }
}
#endif

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(PathFromUtf8(path), ec);
}

bool DeleteFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(PathFromUtf8(path), ec);
}

bool CreateDirectoriesFor(const std::string& path, std::string* reason) {
  const fs::path directory = PathFromUtf8(path).parent_path();
  if (directory.empty()) return true;
  std::error_code created;
  fs::create_directories(directory, created);
  std::error_code ignored;
  if (fs::is_directory(directory, ignored)) return true;
  SetReason(reason, created ? created.message() : SystemText(ENOTDIR));
  return false;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
  auto file = File::OpenRead(path);
  if (!file) return std::nullopt;
  return file->ReadAll();
}

}  // namespace sys

}  // namespace rastra
