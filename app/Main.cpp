// Program entry. Batch runs that end in -exit or -hide never create the Qt
// application and need no display; where the program loads its window as a
// module, they do not even load Qt's window libraries.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Report.h"
#include "app/Startup.h"
#include "sys/Context.h"
#include "sys/Platform.h"

#ifdef RASTRA_WINDOW_MODULE
#include "app/ModuleExport.h"
#include "app/Modules.h"
#elif !defined(RASTRA_NO_WINDOW)
#include "gui/GuiMain.h"
#endif

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
// The exit code of a run that would open the window where there is no display:
// outside the message codes 1 to 27, and sysexits' "service unavailable".
constexpr int kNoDisplayExitCode = 69;
// The window module is missing or broken: sysexits' "internal software error".
constexpr int kNoWindowExitCode = 70;

int RunWindow(int& argc, char** argv) {
#if defined(RASTRA_NO_WINDOW)
  static_cast<void>(argc);
  static_cast<void>(argv);
  std::fputs("rastra: this build has no window; add -exit for batch runs\n", stderr);
  return kNoDisplayExitCode;
#elif defined(RASTRA_WINDOW_MODULE)
  std::string error;
  using Entry = int (*)(int*, char**);
  auto entry = reinterpret_cast<Entry>(LoadModuleEntry(kWindowModuleName, kWindowModuleEntry, error));
  if (entry == nullptr) {
    std::fprintf(stderr, "rastra: the window cannot be opened (%s)\n", sys::OneLine(error).c_str());
    return kNoWindowExitCode;
  }
  entry(&argc, argv);
#else
  RunMainWindow(argc, argv);
#endif
  return GetRunState().exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  sys::PrepareConsole();
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::string help = ComposeHelpText();
    std::erase(help, '\r');  // the dialog's CR LF; a text stream writes "\n" as the platform's line end
    std::printf("Usage: rastra [IMAGEFILE]... [-COMMAND[PARAMETERS]]...\n\n%s", help.c_str());
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("rastra %s\n", VersionText().c_str());
    return 0;
  }
  const std::vector<std::string> args = sys::ProgramArguments(argc, argv);
  if (RunCommandLinePhase(args) == StartupOutcome::Exit) return GetRunState().exitCode;
  // Qt aborts when it finds no display; say what to do instead.
  if (!DisplayAvailable()) {
    std::fputs("rastra: no display to open the window on; add -exit for batch runs\n", stderr);
    return kNoDisplayExitCode;
  }
  return RunWindow(argc, argv);
}
