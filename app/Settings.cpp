#include "app/Settings.h"

#include "app/Report.h"
#include "app/SettingsStore.h"
#include "sys/File.h"

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

void LoadSettings() {
  settingsLoaded = true;
  if (const SettingsStore* store = GetSettingsStore()) store->load(settings);
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
