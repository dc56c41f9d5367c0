// The settings store linked into the program (the tests, and systems that do
// not load modules).
#include "app/SettingsStore.h"

namespace rastra {

extern "C" const SettingsStore* RastraSettingsStore();

const SettingsStore* GetSettingsStore() { return RastraSettingsStore(); }

}  // namespace rastra
