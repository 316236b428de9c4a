#pragma once
#include <string>

#include "ui/SystemActions.h"

namespace pcm {

// The actions of a run without a window. Opening a folder is the desktop's;
// shutting down runs the power-off command, which the environment variable
// POPCLIPMILL_POWEROFF_COMMAND replaces by a program of its own (tests put a
// recorder there, so no test can power the machine off).
class ConsoleSystemActions : public DesktopSystemActions {
 public:
  void Shutdown() override;
  // Why the last power-off request could not be made; empty when it was.
  std::string shutdownError;
};

// Seconds of the countdown before a power-off: 60, or what
// POPCLIPMILL_SHUTDOWN_COUNTDOWN says (0 to 3600; tests use it).
int ShutdownCountdownSeconds();

// Counts the seconds down on standard error while the event loop runs.
// Returns false, with a notice, as soon as `cancelled` holds.
bool CountDownToShutdown(const std::string& prog, int seconds, const bool& cancelled);

}  // namespace pcm
