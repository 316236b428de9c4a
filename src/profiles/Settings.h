#pragma once

namespace pcm {

class CoreApp;

// The persisted settings: output directory, saved profile, finish action, page flags.
class Settings {
 public:
  explicit Settings(CoreApp& app) : app_(app) {}

 private:
  [[maybe_unused]] CoreApp& app_;
};

}  // namespace pcm
