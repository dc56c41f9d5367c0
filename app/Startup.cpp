#include "app/Startup.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "app/Report.h"
#include "app/Settings.h"

StartupOutcome RunCommandLinePhase(const std::vector<std::string>& args) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  LoadSettings();
  VersionText();
  const bool parsed = ProcessCommandLine("Rastra", "Rastra.log", args);
  const RunState& state = GetRunState();
  // A script that asked for -exit must never be left waiting on a window
  // because one of its arguments was mistyped; -hide asks for no window at all.
  if (state.exitRequested || WindowHidden() || (!parsed && state.exitQueued)) return StartupOutcome::Exit;
  return StartupOutcome::OpenWindow;
}
