#include "ui/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace pcm {

namespace {

// The handler writes into a pipe that is read on the main thread, where
// stopping a batch is safe.
int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  int saved = errno;
  char c = 1;
  [[maybe_unused]] ssize_t w = write(g_signalPipe[1], &c, 1);
  errno = saved;
}

}  // namespace

StopSignalWatch::StopSignalWatch(std::function<void()> onStop) : onStop_(std::move(onStop)) {
  if (g_signalPipe[0] >= 0 || pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction sa = {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &sa, &old_[i]);
  notifier_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char buf[16];
    while (read(g_signalPipe[0], buf, sizeof buf) > 0) {
    }
    onStop_();
  });
}

StopSignalWatch::~StopSignalWatch() {
  if (!notifier_) return;
  notifier_.reset();
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &old_[i], nullptr);
  close(g_signalPipe[0]);
  close(g_signalPipe[1]);
  g_signalPipe[0] = g_signalPipe[1] = -1;
}

}  // namespace pcm
