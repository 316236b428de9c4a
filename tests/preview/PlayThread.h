#pragma once
// Helpers of the preview tests: Play on a worker thread with bounded waits.
#include <atomic>
#include <string>
#include <thread>

#include "preview/Player.h"
#include "support/Fixtures.h"

namespace pcmtest {

using pcm::preview::PlayEnd;
using pcm::preview::Player;

// Runs Play on a thread of its own, as the preview's worker does. A test
// that gives up early stops the play rather than wait for the clip's end.
class PlayThread {
 public:
  PlayThread(Player& player, std::string path) : player_(&player) {
    thread_ = std::thread([this, &player, path] {
      end_ = player.Play(path);
      done_ = true;
    });
  }
  ~PlayThread() {
    if (!done_ && player_) player_->Stop();
    thread_.join();
  }
  bool WaitDone(int timeoutMs) {
    return WaitUntil([this] { return done_.load(); }, timeoutMs);
  }
  bool Done() const { return done_; }
  void ForgetPlayer() { player_ = nullptr; }
  PlayEnd End() const { return end_; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<PlayEnd> end_{PlayEnd::Failed};
  Player* player_;  // null once the test destroys the player itself
  std::thread thread_;
};

inline bool WaitPosition(const Player& player, double atLeast, int timeoutMs = 10000) {
  return WaitUntil([&] { return player.Position() >= atLeast; }, timeoutMs);
}

}  // namespace pcmtest
