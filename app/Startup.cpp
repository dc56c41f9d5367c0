#include "app/Startup.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "sys/Memory.h"

namespace {
constexpr int kVersionMajor = 5;
constexpr int kVersionMinor = 50;

std::string FormVersionText() {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%.2d", kVersionMajor, kVersionMinor);
  return text;
}
}  // namespace

const std::string& VersionText() {
  static const std::string text = FormVersionText();
  return text;
}

const char* DisplayName() { return "Rastra Bitmap Converter for Lumar"; }

StartupOutcome RunCommandLinePhase(const std::vector<std::string>& args) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  sys::SetAllocFailureHandler(ReportAllocationFailure);
  LoadSettings();
  VersionText();
  const bool parsed = ProcessCommandLine("Rastra", "Rastra.log", args);
  const RunState& state = GetRunState();
  // A script that asked for -exit must never be left waiting on a window
  // because one of its arguments was mistyped; -hide asks for no window at all.
  if (state.exitRequested || WindowHidden() || (!parsed && state.exitQueued)) return StartupOutcome::Exit;
  return StartupOutcome::OpenWindow;
}
