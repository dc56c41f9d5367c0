// Interactive use: the Qt application and the main window.
#pragma once

namespace rastra {

// Creates the application object and the main window, runs the event loop
// until the window closes.
int RunMainWindow(int& argc, char** argv);

}  // namespace rastra
