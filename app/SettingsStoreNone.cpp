// A program built without the window has no store to write to: its batch runs
// read the stored settings with the reader of their own (see LoadSettings)
// and save nothing.
#include "app/SettingsStore.h"

namespace rastra {

const SettingsStore* GetSettingsStore() { return nullptr; }

}  // namespace rastra
