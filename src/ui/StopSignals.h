#pragma once
#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <iterator>
#include <memory>

namespace pcm {

// While it lives, the signals that ask a program to end (Ctrl-C, a closed
// terminal, logout, kill) call onStop on the main thread instead of ending
// the program at once, so a running batch is stopped and its unfinished
// output removed first. One watch at a time.
class StopSignalWatch {
 public:
  explicit StopSignalWatch(std::function<void()> onStop);
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2};
  std::function<void()> onStop_;
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction old_[std::size(kSignals)] = {};
};

}  // namespace pcm
