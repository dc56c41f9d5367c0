// The settings store on QSettings. Built into the window and the tests, and
// on Linux also as a module of its own that batch runs load on demand.
#include <QSettings>
#include <QString>
#include <QVariant>

#include "app/ModuleExport.h"
#include "app/SettingsStore.h"

namespace rastra {

namespace {

// Read and written without an application object, so batch runs can use it.
QSettings OpenStore() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }

void ReadValue(QSettings& store, const char* name, std::uint32_t& value) {
  const QVariant v = store.value(name);
  bool ok = false;
  const qulonglong read = v.toULongLong(&ok);
  if (v.isValid() && ok) value = static_cast<std::uint32_t>(read);
}

void Load(Settings& settings) {
  QSettings store = OpenStore();
  store.beginGroup("Settings");
  ReadValue(store, "BigEndianMode", settings.BigEndianMode);
  ReadValue(store, "BkColor", settings.BkColor);
  ReadValue(store, "PreserveTrans", settings.PreserveTrans);
  ReadValue(store, "UseARGB", settings.UseARGB);
  ReadValue(store, "ViewOption", settings.ViewOption);
  ReadValue(store, "PngGamma", settings.PngGamma);
  ReadValue(store, "SmoothChroma", settings.SmoothChroma);
  store.endGroup();
}

void Save(const Settings& settings) {
  QSettings store = OpenStore();
  store.beginGroup("Settings");
  store.setValue("BigEndianMode", settings.BigEndianMode);
  store.setValue("BkColor", settings.BkColor);
  store.setValue("PreserveTrans", settings.PreserveTrans);
  store.setValue("UseARGB", settings.UseARGB);
  store.setValue("ViewOption", settings.ViewOption);
  store.setValue("PngGamma", settings.PngGamma);
  store.setValue("SmoothChroma", settings.SmoothChroma);
  store.endGroup();
  store.sync();
}

void LoadRecentFiles(RecentFileList& files) {
  QSettings store = OpenStore();
  store.beginGroup("RecentFileList");
  for (int i = 1; i <= kRecentFileCount; ++i) {
    files[static_cast<std::size_t>(i - 1)] =
        store.value(QString("File%1").arg(i)).toString().toStdString();
  }
  store.endGroup();
}

void SaveRecentFiles(const RecentFileList& files) {
  QSettings store = OpenStore();
  store.beginGroup("RecentFileList");
  for (int k = 0; k < kRecentFileCount; ++k) {
    const QString key = QString("File%1").arg(k + 1);
    // An empty slot leaves no value behind: a cleared list, or one whose
    // files were deleted, stays so at the next start.
    if (files[k].empty()) {
      store.remove(key);
    } else {
      store.setValue(key, QString::fromStdString(files[k]));
    }
  }
  store.endGroup();
  store.sync();
}

constexpr SettingsStore kQtStore = {Load, Save, LoadRecentFiles, SaveRecentFiles};

}  // namespace

extern "C" RASTRA_MODULE_EXPORT const SettingsStore* RastraSettingsStore() { return &kQtStore; }

}  // namespace rastra
