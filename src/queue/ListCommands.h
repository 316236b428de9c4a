#pragma once

namespace pcm {

class CoreApp;

// The commands that fill and edit the conversion list.
class ListCommands {
 public:
  explicit ListCommands(CoreApp& app) : app_(app) {}

 private:
  [[maybe_unused]] CoreApp& app_;
};

}  // namespace pcm
