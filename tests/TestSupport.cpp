#include "TestSupport.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "sys/Platform.h"
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>


namespace testing_support {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = fs::temp_directory_path() / ("rastra-test-" + std::to_string(rd()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::optional<fs::path> CorpusDir(const std::string& sub) {
  const char* env = std::getenv("RASTRA_CORPUS");
  fs::path dir = env != nullptr ? fs::path(env) : fs::path(RASTRA_CORPUS_DIR);
  if (!sub.empty()) dir /= sub;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return std::nullopt;
  return dir;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ReadLog(const std::string& path) {
  std::string text = ReadText(path);
#ifdef _WIN32
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
#endif
  return text;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutLE16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutLE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutLE16(out, v & 0xFFFF);
  PutLE16(out, v >> 16);
}

#ifdef _WIN32
namespace {
// One argument as CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

HANDLE InheritableOutput(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(rastra::sys::WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

// The memory ceiling (addressSpace) has no counterpart here; Display does not
// matter: the Windows program has no window.
RunResult RunRastra(const std::vector<std::string>& args, const fs::path& cwd, Display /*display*/,
                    const RunSetting& setting) {
  TempDir capture;
  const std::string outPath = capture.File("stdout");
  const std::string errPath = capture.File("stderr");
  std::wstring commandLine = QuoteArgument(rastra::sys::WideFromUtf8(RASTRA_BINARY));
  for (const std::string& arg : args) commandLine += L" " + QuoteArgument(rastra::sys::WideFromUtf8(arg));
  for (const auto& [name, value] : setting.environment) {
    SetEnvironmentVariableW(rastra::sys::WideFromUtf8(name).c_str(), rastra::sys::WideFromUtf8(value).c_str());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = InheritableOutput(outPath);
  startup.hStdError = InheritableOutput(errPath);
  PROCESS_INFORMATION process{};
  RunResult result;
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.wstring().c_str(),
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    result.exitCode = 127;
  }
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  for (const auto& [name, value] : setting.environment) {
    SetEnvironmentVariableW(rastra::sys::WideFromUtf8(name).c_str(), nullptr);
  }
  // The console streams end lines in CR LF, as text does on Windows.
  result.out = ReadLog(outPath);
  result.err = ReadLog(errPath);
  return result;
}
#else
RunResult RunRastra(const std::vector<std::string>& args, const fs::path& cwd, Display display,
                    const RunSetting& setting) {
  TempDir capture;
  const std::string outPath = capture.File("stdout");
  const std::string errPath = capture.File("stderr");
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) _exit(127);
    if (display == Display::Offscreen) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else {
      for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    }
    for (const auto& [name, value] : setting.environment) setenv(name.c_str(), value.c_str(), 1);
    if (setting.addressSpace != 0) {
      const struct rlimit limit { setting.addressSpace, setting.addressSpace };
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    std::vector<char*> argv;
    std::string program = RASTRA_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  RunResult result;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  result.maxRssKb = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(outPath);
  result.err = ReadText(errPath);
  return result;
}
#endif

}  // namespace testing_support
