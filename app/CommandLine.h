// The command-line processor: parses every argument, queues the commands,
// opens the image arguments and runs the queue on each before any window
// exists.
#pragma once

#include <string>
#include <vector>

#include "app/CommandTable.h"

namespace rastra {

// args excludes the program name. Returns false after a parsing error (then
// nothing was opened and no command ran).
bool ProcessCommandLine(const std::string& appName, const std::string& logFileName,
                        const std::vector<std::string>& args);
// True after -hide: the run shows no window and ends after its commands.
bool WindowHidden();

// Shows the composed help text; prints it to stdout unless a host replaces it.
using HelpDisplay = void (*)(const std::string& text);
void SetHelpDisplay(HelpDisplay display);

}  // namespace rastra
