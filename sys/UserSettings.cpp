#include "sys/UserSettings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "sys/File.h"
#include "sys/Platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace rastra {

namespace sys {

namespace {

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// A value as the INI writer stores it: bare, or in quotes with backslash
// escapes where it holds separators.
std::string UnquoteValue(std::string_view raw) {
  std::string value;
  bool quoted = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\\' && i + 1 < raw.size()) {
      const char next = raw[++i];
      value += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    } else if (c == ';' && !quoted) {
      break;
    } else {
      value += c;
    }
  }
  return std::string(Trim(value));
}

}  // namespace

std::map<std::string, std::string> ParseIniGroup(std::string_view text, std::string_view group) {
  std::map<std::string, std::string> values;
  std::string_view current = "General";
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      current = close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (current != group || equals == std::string_view::npos) continue;
    const std::string key(Trim(line.substr(0, equals)));
    // The first line of a key counts, as it does for the writer.
    values.emplace(key, UnquoteValue(Trim(line.substr(equals + 1))));
  }
  return values;
}

#ifndef _WIN32
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The folders the settings files live in, the user's first; only absolute
// ones count, as the XDG layout says.
std::vector<std::string> ConfigFolders() {
  std::vector<std::string> folders;
  std::string user = Environment("XDG_CONFIG_HOME");
  if (user.empty() || user.front() != '/') {
    const std::string home = Environment("HOME");
    user = home.empty() ? "" : home + "/.config";
  }
  if (!user.empty()) folders.push_back(user);
  std::string system = Environment("XDG_CONFIG_DIRS");
  if (system.empty()) system = "/etc/xdg";
  std::size_t start = 0;
  while (start <= system.size()) {
    const std::size_t colon = std::min(system.find(':', start), system.size());
    const std::string folder = system.substr(start, colon - start);
    if (!folder.empty() && folder.front() == '/') folders.push_back(folder);
    start = colon + 1;
  }
  return folders;
}

}  // namespace

std::map<std::string, std::string> ReadUserSettingsGroup(const std::string& organisation,
                                                         const std::string& application, const std::string& group) {
  std::map<std::string, std::string> values;
  for (const std::string& folder : ConfigFolders()) {
    for (const std::string& file : {folder + "/" + organisation + "/" + application + ".conf",
                                    folder + "/" + organisation + ".conf"}) {
      if (!FileExists(file)) continue;
      const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(file);
      if (!bytes) continue;
      const std::string text(bytes->begin(), bytes->end());
      // Earlier files win: merge keeps the values already there.
      values.merge(ParseIniGroup(text, group));
    }
  }
  return values;
}
#else
namespace {

// The values of one registry key as text: strings as they are, numbers in decimal.
void ReadKey(HKEY root, const std::wstring& path, std::map<std::string, std::string>& values) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    DWORD type = 0;
    BYTE data[1024];
    DWORD dataLength = sizeof data;
    const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    std::string text;
    if (type == REG_DWORD && dataLength >= 4) {
      DWORD number = 0;
      std::memcpy(&number, data, sizeof number);
      text = std::to_string(number);
    } else if (type == REG_QWORD && dataLength >= 8) {
      unsigned long long number = 0;
      std::memcpy(&number, data, sizeof number);
      text = std::to_string(number);
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wstring wide(reinterpret_cast<const wchar_t*>(data), dataLength / sizeof(wchar_t));
      while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
      text = Utf8FromWide(wide);
    } else {
      continue;
    }
    values.emplace(Utf8FromWide(std::wstring(name, nameLength)), std::move(text));
  }
  RegCloseKey(key);
}

}  // namespace

std::map<std::string, std::string> ReadUserSettingsGroup(const std::string& organisation,
                                                         const std::string& application, const std::string& group) {
  std::map<std::string, std::string> values;
  const std::wstring path = WideFromUtf8("Software\\" + organisation + "\\" + application + "\\" + group);
  ReadKey(HKEY_CURRENT_USER, path, values);
  ReadKey(HKEY_LOCAL_MACHINE, path, values);
  return values;
}
#endif

}  // namespace sys

}  // namespace rastra
