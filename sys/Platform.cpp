#include "sys/Platform.h"

#include <memory>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#endif

namespace rastra {

namespace sys {

namespace fs = std::filesystem;

#ifndef _WIN32
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void PrepareConsole() {}

fs::path PathFromUtf8(const std::string& path) { return fs::path(path); }

std::string Utf8FromPath(const fs::path& path) { return path.string(); }

std::FILE* OpenStdioFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }
#else
namespace {
// Below this length the plain form works on every Windows; the system's
// limit (MAX_PATH, 260) counts the terminating zero and leaves room for a
// file name below a folder.
constexpr std::size_t kPlainPathLimit = 248;

struct LocalFreeDeleter {
  void operator()(void* block) const { LocalFree(block); }
};
}  // namespace

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                      nullptr);
  return narrow;
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) args.push_back(Utf8FromWide(wide.get()[i]));
  return args;
}

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

fs::path PathFromUtf8(const std::string& path) { return fs::path(WideFromUtf8(path)); }

std::string Utf8FromPath(const fs::path& path) { return Utf8FromWide(path.wstring()); }

std::wstring SystemPath(const std::string& path) {
  std::wstring wide = WideFromUtf8(path);
  if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // What counts is the length of the full path: a short name in a deep
  // current folder passes the limit too. The long form takes no relative
  // parts and no forward slashes.
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return wide;
  full.resize(written);
  if (full.size() < kPlainPathLimit) return wide;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode) {
  return _wfopen(SystemPath(path).c_str(), WideFromUtf8(mode).c_str());
}

std::string WindowsErrorText(unsigned long error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::unique_ptr<wchar_t, LocalFreeDeleter> owned(buffer);
  if (length == 0 || buffer == nullptr) return "Windows error " + std::to_string(error);
  std::string text = Utf8FromWide(std::wstring(buffer, length));
  // The system ends its texts in ".\r\n"; the program's reasons end bare, as on POSIX systems.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}
#endif

}  // namespace sys

}  // namespace rastra
