// Helpers shared by the tests: temporary directories, the conformance corpora
// and running the real rastra binary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <cstdlib>
// The POSIX calls the suites set the environment with, on the C library's own.
inline int setenv(const char* name, const char* value, int /*overwrite*/) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif


// Sanitizers reserve terabytes of address space for their shadow memory and
// stop the process when an allocation fails, so a test that limits the
// address space tests nothing under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RASTRA_TEST_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define RASTRA_TEST_UNDER_SANITIZER 1
#endif
#endif
#ifdef RASTRA_TEST_UNDER_SANITIZER
#define RASTRA_SKIP_UNDER_SANITIZER() GTEST_SKIP() << "address-space limits test nothing under a sanitizer"
#else
#define RASTRA_SKIP_UNDER_SANITIZER() static_cast<void>(0)
#endif

namespace testing_support {

// A fresh directory removed again when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The corpus folder (RASTRA_CORPUS overrides the default beside the project),
// or nullopt when it is absent.
std::optional<std::filesystem::path> CorpusDir(const std::string& sub = "");

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  long maxRssKb = 0;  // peak resident memory of the run
};

// Offscreen: Qt's offscreen platform, so a window opens without a screen.
// None: no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM, as on a build server.
enum class Display { Offscreen, None };

// What the process is given beyond its arguments: an address-space limit
// (RLIMIT_AS, 0 for none) and environment variables to set.
struct RunSetting {
  std::uint64_t addressSpace = 0;
  std::vector<std::pair<std::string, std::string>> environment;
};

// Runs the rastra binary with the arguments in directory cwd (no shell
// quoting problems: arguments are passed as they are).
RunResult RunRastra(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                    Display display = Display::Offscreen, const RunSetting& setting = {});

std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
// The log's text with "\n" line ends: it ends its lines as text files do on
// the system it runs on (CR LF on Windows).
std::string ReadLog(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Little-endian byte builders for hand-made files.
void PutLE16(std::vector<std::uint8_t>& out, std::uint32_t v);
void PutLE32(std::vector<std::uint8_t>& out, std::uint32_t v);

}  // namespace testing_support

#define SKIP_WITHOUT_CORPUS(var, sub)                                                     \
  auto var = ::testing_support::CorpusDir(sub);                                           \
  if (!var) GTEST_SKIP() << "corpus folder '" << (sub) << "' not found (set RASTRA_CORPUS)"
