#include "app/Settings.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include "sys/File.h"

namespace {
Settings settings;
RecentFileList recentFiles;

// Read and written without an application object, so batch runs can use it.
QSettings OpenStore() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }

void ReadValue(QSettings& store, const char* name, std::uint32_t& value) {
  const QVariant v = store.value(name);
  bool ok = false;
  const qulonglong read = v.toULongLong(&ok);
  if (v.isValid() && ok) value = static_cast<std::uint32_t>(read);
}

constexpr std::size_t kMaxPathLength = 255;
}  // namespace

Settings& GetSettings() { return settings; }

OutputOptions OutputOptionsFrom(const Settings& values) {
  OutputOptions options;
  options.useArgb = values.UseARGB != 0;
  options.bigEndian = values.BigEndianMode != 0;
  options.preserveTrans = values.PreserveTrans != 0;
  return options;
}
RecentFileList& GetRecentFiles() { return recentFiles; }

void LoadSettings() {
  QSettings store = OpenStore();
  store.beginGroup("Settings");
  ReadValue(store, "BigEndianMode", settings.BigEndianMode);
  ReadValue(store, "BkColor", settings.BkColor);
  ReadValue(store, "PreserveTrans", settings.PreserveTrans);
  ReadValue(store, "UseARGB", settings.UseARGB);
  ReadValue(store, "ViewOption", settings.ViewOption);
  store.endGroup();
}

void SaveSettings() {
  QSettings store = OpenStore();
  store.beginGroup("Settings");
  store.setValue("BigEndianMode", settings.BigEndianMode);
  store.setValue("BkColor", settings.BkColor);
  store.setValue("PreserveTrans", settings.PreserveTrans);
  store.setValue("UseARGB", settings.UseARGB);
  store.setValue("ViewOption", settings.ViewOption);
  store.endGroup();
  store.sync();
}

void LoadRecentFiles() {
  recentFiles = {};
  QSettings store = OpenStore();
  store.beginGroup("RecentFileList");
  std::size_t next = 0;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const std::string path = store.value(QString("File%1").arg(i)).toString().toStdString().substr(0, kMaxPathLength);
    if (sys::FileExists(path)) recentFiles[next++] = path;
  }
  store.endGroup();
}

void SaveRecentFiles() {
  QSettings store = OpenStore();
  store.beginGroup("RecentFileList");
  for (int k = 0; k < kRecentFileCount; ++k) {
    if (!recentFiles[k].empty()) store.setValue(QString("File%1").arg(k + 1), QString::fromStdString(recentFiles[k]));
  }
  store.endGroup();
  store.sync();
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
  recentFiles[0] = path.substr(0, kMaxPathLength);
  SaveRecentFiles();
}
