#pragma once
#include <functional>
#include <map>

#include "ui/CommandMap.h"

namespace pcm {

// Which function runs each command. The piece that owns a command registers
// it once, in one line; a command nobody registered is not available in this
// build, and its menu items and buttons stay disabled.
class CommandTable {
 public:
  using Handler = std::function<void()>;

  // A later registration of the same command replaces the earlier one.
  void Register(Command c, Handler run);
  void Unregister(Command c);
  bool Available(Command c) const;
  // Runs the command's function; false when none is registered.
  bool Run(Command c) const;

 private:
  std::map<Command, Handler> handlers_;
};

}  // namespace pcm
