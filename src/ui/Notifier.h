#pragma once
#include <cstdint>
#include <string>

#include "ui/Display.h"
#include "ui/SystemActions.h"
#include "ui/UserInterface.h"

namespace pcm {

// What the core's pieces need of the program around them: its messages, the
// refusal convention, the command states, the conversion strip and the
// person's display, questions and system actions. The application object
// implements it; a piece is given it instead of the whole application.
class Notifier {
 public:
  virtual ~Notifier() = default;

  // Message n of "language.info"; throws CommandError when it cannot be read.
  virtual std::string LoadMessage(int n) = 0;
  // Message 27 while previewing, then 26 while converting, in a warning box;
  // true when the command must not run.
  virtual bool Refused(bool whilePreviewing, bool whileConverting) = 0;
  // Re-evaluates which commands are enabled.
  virtual void UpdateCommandStates() = 0;
  // The conversion strip (0..10000) and the "hint" line.
  virtual void ShowConvertProgress(int32_t p) = 0;

  virtual Display& display() = 0;
  virtual UserInterface& ui() = 0;
  virtual SystemActions& system() = 0;
};

}  // namespace pcm
