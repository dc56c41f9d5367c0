#include "app/Settings.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>

#include "app/Report.h"
#include "app/SettingsStore.h"
#include "sys/File.h"
#include "sys/UserSettings.h"

namespace rastra {

namespace {
Settings settings;
bool settingsLoaded = false;
RecentFileList recentFiles;
}  // namespace

// Read on first use: a run that brings its own output settings, or needs
// none, never opens the store.
Settings& GetSettings() {
  if (!settingsLoaded) LoadSettings();
  return settings;
}

OutputOptions OutputOptionsFrom(const Settings& values) {
  OutputOptions options;
  options.useArgb = values.UseARGB != 0;
  options.bigEndian = values.BigEndianMode != 0;
  options.preserveTrans = values.PreserveTrans != 0;
  return options;
}

ReadOptions ReadOptionsFrom(const Settings& values) {
  ReadOptions options = JobReadOptions();
  options.applyGamma = values.PngGamma != 0;
  options.smoothChroma = values.SmoothChroma != 0;
  return options;
}

RecentFileList& GetRecentFiles() { return recentFiles; }

namespace {
// Where the reader of our own knows the store's format, reading the settings
// loads nothing; elsewhere (macOS's property lists) the store does it.
#if defined(_WIN32) || (defined(__unix__) && !defined(__APPLE__))
constexpr bool kReadsStoreItself = true;
#else
constexpr bool kReadsStoreItself = false;
#endif

// A stored number as the store reads one back: decimal digits, blanks around
// them allowed; anything else leaves the setting as it is.
std::optional<std::uint32_t> StoredNumber(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos || text[first] == '-') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str() + first, &end, 10);
  if (errno != 0 || end == text.c_str() + first) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

void ReadStoredSettings(Settings& values) {
  const std::map<std::string, std::string> stored = sys::ReadUserSettingsGroup("Vantor", "Rastra", "Settings");
  const std::pair<const char*, std::uint32_t*> fields[] = {
      {"BigEndianMode", &values.BigEndianMode}, {"BkColor", &values.BkColor},
      {"PreserveTrans", &values.PreserveTrans}, {"UseARGB", &values.UseARGB},
      {"ViewOption", &values.ViewOption},       {"PngGamma", &values.PngGamma},
      {"SmoothChroma", &values.SmoothChroma}};
  for (const auto& [name, field] : fields) {
    const auto found = stored.find(name);
    if (found == stored.end()) continue;
    if (const std::optional<std::uint32_t> number = StoredNumber(found->second)) *field = *number;
  }
}
}  // namespace

void LoadSettings() {
  settingsLoaded = true;
  if (kReadsStoreItself) {
    ReadStoredSettings(settings);
  } else if (const SettingsStore* store = GetSettingsStore()) {
    store->load(settings);
  }
}

void SaveSettings() {
  if (const SettingsStore* store = GetSettingsStore()) store->save(settings);
}

void LoadRecentFiles() {
  recentFiles = {};
  RecentFileList stored;
  if (const SettingsStore* store = GetSettingsStore()) store->loadRecentFiles(stored);
  std::size_t next = 0;
  for (const std::string& path : stored) {
    if (sys::FileExists(path)) recentFiles[next++] = path;
  }
}

void SaveRecentFiles() {
  if (const SettingsStore* store = GetSettingsStore()) store->saveRecentFiles(recentFiles);
}

void AddRecentFile(const std::string& path) {
  int found = kRecentFileCount - 1;  // not found: the oldest drops out
  for (int k = 0; k < kRecentFileCount; ++k) {
    if (recentFiles[k] == path) {
      found = k;
      break;
    }
  }
  for (int k = found; k > 0; --k) recentFiles[k] = recentFiles[k - 1];
  recentFiles[0] = path;
  SaveRecentFiles();
}

void ClearRecentFiles() {
  recentFiles = {};
  SaveRecentFiles();
}

bool DropMissingRecentFiles() {
  RecentFileList kept;
  std::size_t next = 0;
  for (const std::string& path : recentFiles) {
    if (!path.empty() && sys::FileExists(path)) kept[next++] = path;
  }
  if (kept == recentFiles) return false;
  recentFiles = kept;
  SaveRecentFiles();
  return true;
}

}  // namespace rastra
