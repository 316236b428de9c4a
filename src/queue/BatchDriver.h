#pragma once

namespace pcm {

class CoreApp;

// Converts the checked entries one after another.
class BatchDriver {
 public:
  explicit BatchDriver(CoreApp& app) : app_(app) {}

 private:
  [[maybe_unused]] CoreApp& app_;
};

}  // namespace pcm
