#pragma once

namespace pcm {

// Starts the desktop program: builds the main window from the executable's
// name (argv[0]) and runs the event loop until it closes. Returns the exit
// code; a skin that cannot be used is reported in a message box.
int RunMainWindow(int argc, char** argv);

}  // namespace pcm
