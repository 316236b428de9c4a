#pragma once

namespace pcm {

class CoreApp;

// The selected profile, its four choice lists, rate steps and option line.
class ProfileState {
 public:
  explicit ProfileState(CoreApp& app) : app_(app) {}

 private:
  [[maybe_unused]] CoreApp& app_;
};

}  // namespace pcm
