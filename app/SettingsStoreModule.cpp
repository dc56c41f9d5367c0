// The settings store loaded as a module the first time the stored settings
// are needed.
#include <cstdio>
#include <string>

#include "app/ModuleExport.h"
#include "app/Modules.h"
#include "app/SettingsStore.h"
#include "sys/Context.h"

namespace rastra {

const SettingsStore* GetSettingsStore() {
  static const SettingsStore* const store = [] {
    std::string error;
    using Entry = const SettingsStore* (*)();
    auto entry = reinterpret_cast<Entry>(LoadModuleEntry(kSettingsModuleName, kSettingsModuleEntry, error));
    if (entry == nullptr) {
      std::fprintf(stderr, "rastra: the stored settings cannot be read (%s); the defaults apply\n",
                   sys::OneLine(error).c_str());
      return static_cast<const SettingsStore*>(nullptr);
    }
    return entry();
  }();
  return store;
}

}  // namespace rastra
