#include "app/Startup.h"

#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/Report.h"
#include "app/Settings.h"

namespace rastra {

StartupOutcome RunCommandLinePhase(const std::vector<std::string>& args) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // The stored settings are read when a command first needs them: a run that
  // brings its own, or converts nothing, never opens the settings store.
  VersionText();
  const bool parsed = ProcessCommandLine("Rastra", "Rastra.log", args);
  const RunState& state = GetRunState();
  // A script that asked for -exit must never be left waiting on a window
  // because one of its arguments was mistyped; -hide asks for no window at all.
  if (state.exitRequested || WindowHidden() || (!parsed && state.exitQueued)) return StartupOutcome::Exit;
  return StartupOutcome::OpenWindow;
}

namespace {
#if defined(__unix__) && !defined(__APPLE__)
bool EnvironmentHas(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}
#endif
}  // namespace

bool DisplayAvailable() {
#if defined(__unix__) && !defined(__APPLE__)
  // A named platform (offscreen, vnc, eglfs) is the user's choice and needs no display server.
  return EnvironmentHas("QT_QPA_PLATFORM") || EnvironmentHas("DISPLAY") || EnvironmentHas("WAYLAND_DISPLAY");
#else
  return true;
#endif
}

}  // namespace rastra
