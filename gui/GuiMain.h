// Interactive use: the Qt application and the main window.
#pragma once

// False where the window could not be shown: on X11 and Wayland systems when
// neither a display nor a Qt platform is named in the environment. Decided
// without Qt, which aborts the process when it finds no display.
bool DisplayAvailable();

// Creates the application object and the main window, runs the event loop
// until the window closes.
int RunMainWindow(int& argc, char** argv);
