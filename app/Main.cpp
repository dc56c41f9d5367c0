// Program entry. Batch runs that end in -exit never create the Qt application
// and need no display.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Report.h"
#include "app/Startup.h"
#include "gui/GuiMain.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    const std::string help = ComposeHelpText();
    std::printf("Usage: rastra [IMAGEFILE] [-COMMAND[PARAMETERS]]...\r\n\r\n%s", help.c_str());
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("rastra %s\n", VersionText().c_str());
    return 0;
  }
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (RunCommandLinePhase(args) == StartupOutcome::Exit) return GetRunState().exitCode;
  RunMainWindow(argc, argv);
  return GetRunState().exitCode;
}
