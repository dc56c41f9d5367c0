// The user settings and the recent-file list, kept in the per-user settings
// store (organisation "Vantor", application "Rastra").
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/OutputOptions.h"

namespace rastra {

struct Settings {
  std::uint32_t BkColor = 0;  // 0x00RRGGBB, view option 2
  std::uint32_t ViewOption = 0;
  std::uint32_t PreserveTrans = 0;
  std::uint32_t BigEndianMode = 0;
  std::uint32_t UseARGB = 0;
  // How pictures are read: PNG files corrected by their gAMA chunk (as
  // Rastra always read them), JPEG chroma interpolated.
  std::uint32_t PngGamma = 1;
  std::uint32_t SmoothChroma = 0;
};

// The settings, read from the store the first time they are asked for.
Settings& GetSettings();
// The settings that change what conversions and writers produce.
OutputOptions OutputOptionsFrom(const Settings& settings);
inline OutputOptions CurrentOutputOptions() { return OutputOptionsFrom(GetSettings()); }
// The settings that change the pixels read from a file, within the job
// limits. EXIF orientation is no stored setting: the window asks per file.
ReadOptions ReadOptionsFrom(const Settings& settings);
inline ReadOptions CurrentReadOptions() { return ReadOptionsFrom(GetSettings()); }

// Reads the store again (the window does when it opens).
void LoadSettings();
void SaveSettings();

inline constexpr int kRecentFileCount = 10;
using RecentFileList = std::array<std::string, kRecentFileCount>;  // slot 0 the newest
RecentFileList& GetRecentFiles();

// Empties the list and reads it; files that no longer exist drop out.
void LoadRecentFiles();
void SaveRecentFiles();
// Moves or inserts path into slot 0 and saves the list.
void AddRecentFile(const std::string& path);
// Empties the list and saves it.
void ClearRecentFiles();
// Drops the files that no longer exist, keeping the order of the others, and
// saves the list when that changed it; returns whether it did.
bool DropMissingRecentFiles();

}  // namespace rastra
