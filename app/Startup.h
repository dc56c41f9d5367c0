// Program start: settings, version text and the command line, before any window.
#pragma once

#include <string>
#include <vector>

// "5.50", formed once from the major and minor numbers.
const std::string& VersionText();
// The program's display name, shown in the window title, the about box and
// the banner of generated files.
const char* DisplayName();

enum class StartupOutcome { Exit, OpenWindow };

// Steps up to the command line: reads the settings, forms the version text and
// processes args (without the program name). Exit means an exit command ran,
// or an exit was given on a command line that failed to parse; the process
// then returns GetRunState().exitCode.
StartupOutcome RunCommandLinePhase(const std::vector<std::string>& args);
