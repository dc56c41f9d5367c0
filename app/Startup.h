// Program start: settings, version text and the command line, before any window.
#pragma once

#include <string>
#include <vector>

#include "sys/Version.h"

namespace rastra {

using sys::DisplayName;
using sys::VersionText;

enum class StartupOutcome { Exit, OpenWindow };

// Steps up to the command line: reads the settings, forms the version text and
// processes args (without the program name). Exit means an exit command ran,
// or an exit was given on a command line that failed to parse; the process
// then returns GetRunState().exitCode.
StartupOutcome RunCommandLinePhase(const std::vector<std::string>& args);

// False where the window could not be shown: on X11 and Wayland systems when
// neither a display nor a Qt platform is named in the environment. Decided
// without Qt, which aborts the process when it finds no display.
bool DisplayAvailable();

}  // namespace rastra
