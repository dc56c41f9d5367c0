// The per-user store the settings and the recent-file list live in: QSettings
// in its native format (organisation "Vantor", application "Rastra", groups
// "Settings" and "RecentFileList"). The application reaches it through this
// table, which a batch run loads only when it needs the stored settings, so
// that a run that converts with its own settings never loads Qt.
#pragma once

#include "app/Settings.h"

namespace rastra {

struct SettingsStore {
  // Values missing from the store leave their field as it is.
  void (*load)(Settings& settings);
  void (*save)(const Settings& settings);
  // The list as stored, each path whole; slot 0 the newest.
  void (*loadRecentFiles)(RecentFileList& files);
  void (*saveRecentFiles)(const RecentFileList& files);
};

// The store, or null when it cannot be reached (the defaults then hold, and
// nothing is saved).
const SettingsStore* GetSettingsStore();

}  // namespace rastra
