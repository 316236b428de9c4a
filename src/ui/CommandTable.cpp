#include "ui/CommandTable.h"

namespace pcm {

void CommandTable::Register(Command c, Handler run) {
  if (c == Command::None || !run) return;
  handlers_[c] = std::move(run);
}

void CommandTable::Unregister(Command c) { handlers_.erase(c); }

bool CommandTable::Available(Command c) const { return handlers_.count(c) != 0; }

bool CommandTable::Run(Command c) const {
  auto it = handlers_.find(c);
  if (it == handlers_.end()) return false;
  // A copy: the command may replace its own registration while it runs.
  Handler run = it->second;
  run();
  return true;
}

}  // namespace pcm
