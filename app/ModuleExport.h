// The entry points of the modules the program loads on demand (the settings
// store and the window), and the names it looks them up by.
#pragma once

namespace rastra {

#if defined(_WIN32)
#define RASTRA_MODULE_EXPORT __declspec(dllexport)
#else
#define RASTRA_MODULE_EXPORT __attribute__((visibility("default")))
#endif

inline constexpr const char* kSettingsModuleName = "rastra-settings";
inline constexpr const char* kSettingsModuleEntry = "RastraSettingsStore";
inline constexpr const char* kWindowModuleName = "rastra-window";
inline constexpr const char* kWindowModuleEntry = "RastraRunMainWindow";

}  // namespace rastra
