// The preview player against real libmpv, headless unless a test gives a
// frame sink, on clips made by ffmpeg. Playback runs faster than real time
// where the test only needs the clip to pass by.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "PlayThread.h"
#include "preview/Player.h"
#include "support/Fixtures.h"

using pcm::preview::PlayEnd;
using pcm::preview::Player;
using pcmtest::PlayThread;
using pcmtest::WaitPosition;

namespace {

// The position once it has stopped moving (a pause or seek takes effect
// asynchronously).
double SettledPosition(const Player& player) {
  double last = -1;
  pcmtest::WaitUntil(
      [&] {
        const double now = player.Position();
        pcmtest::WaitUntil([] { return false; }, 150);
        const bool settled = now == player.Position() && now == last;
        last = now;
        return settled;
      },
      5000);
  return player.Position();
}

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    closedir(dir);
  }
  return count;
}

Player::Options Fast(const char* speed = "4") { return Player::Options{{{"speed", speed}}}; }

}  // namespace

TEST(PlayerTest, PlaysReportingRisingPositionsOnItsThreadUntilTheEnd) {
  Player player(Fast());
  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  std::mutex mutex;
  std::vector<double> reported;
  std::thread::id reportThread;
  player.SetEventFuntion([&](double seconds) {
    std::lock_guard lock(mutex);
    reported.push_back(seconds);
    reportThread = std::this_thread::get_id();
  });
  player.Seek(0);
  std::thread::id playThread;
  PlayEnd end = PlayEnd::Failed;
  std::thread worker([&] {
    playThread = std::this_thread::get_id();
    end = player.Play(pcmtest::MakeMedia("mp4", 2));
  });
  const bool returned = pcmtest::WaitUntil(
      [&] {
        std::lock_guard lock(mutex);
        return !player.Playing() && !reported.empty();
      },
      20000);
  if (!returned) player.Stop();
  worker.join();
  ASSERT_TRUE(returned) << "Play did not return at the end of the clip";
  EXPECT_EQ(end, PlayEnd::Ended);
  {
    std::lock_guard lock(mutex);
    ASSERT_GE(reported.size(), 5u);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_GT(reported.back(), 1.5);
    EXPECT_LE(reported.back(), 2.1);
    EXPECT_DOUBLE_EQ(player.Position(), reported.back());
    EXPECT_EQ(reportThread, playThread);
  }
  // Played again after a new start, the position begins from zero; a seek
  // past the end ends the play as the end does.
  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  EXPECT_EQ(player.Position(), 0.0);
  PlayThread again(player, pcmtest::MakeMedia("mp4", 10));
  ASSERT_TRUE(WaitPosition(player, 0.2));
  player.Seek(30);
  const bool ended = again.WaitDone(5000);
  if (!ended) player.Stop();
  ASSERT_TRUE(ended);
  EXPECT_EQ(again.End(), PlayEnd::Ended);
}

TEST(PlayerTest, PauseHoldsThePositionAndTheSameCallResumes) {
  Player player(Fast("2"));
  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  PlayThread play(player, pcmtest::MakeMedia("mp4", 10));
  ASSERT_TRUE(WaitPosition(player, 0.5));
  player.Pause();
  EXPECT_TRUE(player.Paused());
  const double held = SettledPosition(player);
  pcmtest::WaitUntil([] { return false; }, 500);
  EXPECT_EQ(player.Position(), held);
  EXPECT_FALSE(play.Done());
  player.Pause();
  EXPECT_FALSE(player.Paused());
  EXPECT_TRUE(WaitPosition(player, held + 0.5)) << "did not resume from " << held;
  player.Stop();
  ASSERT_TRUE(play.WaitDone(5000));
  EXPECT_EQ(play.End(), PlayEnd::Stopped);
}

// A seek before Play sets the start; seeks while paused land on the frame
// at the target, also in an MPEG program stream (a DVD title's format).
TEST(PlayerTest, SeeksLandWithinATenthOfASecond) {
  for (const char* kind : {"mp4", "mpg"}) {
    SCOPED_TRACE(kind);
    Player player;
    ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
    player.Pause();
    player.Seek(1.5);
    PlayThread play(player, pcmtest::MakeMedia(kind, 6));
    ASSERT_TRUE(WaitPosition(player, 1.0));
    EXPECT_NEAR(SettledPosition(player), 1.5, 0.1);
    // A negative target means the beginning.
    for (auto [seek, target] : {std::pair{4.0, 4.0}, {0.5, 0.5}, {-3.0, 0.0}, {3.2, 3.2}}) {
      player.Seek(seek);
      ASSERT_TRUE(pcmtest::WaitUntil([&] { return std::fabs(player.Position() - target) < 0.1; }, 5000))
          << "seek to " << target << " reached " << player.Position();
    }
    // Playing on from the last seek, not from where the clip began.
    player.Pause();
    ASSERT_TRUE(WaitPosition(player, 3.5));
    player.Stop();
    ASSERT_TRUE(play.WaitDone(5000));
    EXPECT_EQ(play.End(), PlayEnd::Stopped);
  }
}

TEST(PlayerTest, FilesThatCannotPlayFailAtOnceWithAReason) {
  const std::string dir = pcmtest::MakeTempDir("preview_bad");
  const std::string text = dir + "/notes.mp4";
  std::ofstream(text) << "This is a shopping list, not a film.\nmilk\nbread\n";
  for (const std::string& path : {text, dir + "/missing.mp4", dir, std::string()}) {
    SCOPED_TRACE(path);
    Player player;
    ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
    PlayThread play(player, path);
    const bool returned = play.WaitDone(10000);
    if (!returned) player.Stop();
    ASSERT_TRUE(returned);
    EXPECT_EQ(play.End(), PlayEnd::Failed);
    EXPECT_FALSE(player.LastError().empty());
  }
}

// Out of sequence: Play without an open preview fails, a second Play while
// one runs fails without disturbing it, and a Stop that comes before the
// worker reaches Play makes that Play return instead of playing unseen.
TEST(PlayerTest, PlayOutOfSequenceReturnsAtOnce) {
  const std::string clip = pcmtest::MakeMedia("mp4", 10);
  Player player;
  EXPECT_EQ(player.Play(clip), PlayEnd::Failed);

  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  player.Stop();
  EXPECT_EQ(player.Play(clip), PlayEnd::Stopped);
  EXPECT_FALSE(player.Playing());

  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  PlayThread play(player, clip);
  ASSERT_TRUE(WaitPosition(player, 0.2));
  EXPECT_EQ(player.Play(clip), PlayEnd::Failed);
  EXPECT_FALSE(player.InitPreviewWindow(nullptr, 0, 0));
  EXPECT_FALSE(play.Done());
  player.Stop();
  ASSERT_TRUE(play.WaitDone(5000));
  EXPECT_EQ(play.End(), PlayEnd::Stopped);
}

TEST(PlayerTest, StopOrDestroyFromAnotherThreadEndsPlayAndLeavesNoThread) {
  const std::string clip = pcmtest::MakeMedia("mp4", 10);
  const int before = ThreadCount();
  {
    Player player;
    ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
    PlayThread play(player, clip);
    ASSERT_TRUE(WaitPosition(player, 0.3));
    EXPECT_GT(ThreadCount(), before + 1);
    std::thread([&] { player.Stop(); }).join();
    ASSERT_TRUE(play.WaitDone(5000));
    EXPECT_EQ(play.End(), PlayEnd::Stopped);
  }
  {
    Player player;
    ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
    PlayThread play(player, clip);
    ASSERT_TRUE(WaitPosition(player, 0.3));
    // Returns only after Play has returned and libmpv is gone.
    player.DestroyPreviewWindow();
    EXPECT_FALSE(player.Playing());
    ASSERT_TRUE(play.WaitDone(1000));
    EXPECT_EQ(play.End(), PlayEnd::Stopped);
  }
  {
    auto player = std::make_unique<Player>();
    ASSERT_TRUE(player->InitPreviewWindow(nullptr, 0, 0));
    PlayThread play(*player, clip);
    ASSERT_TRUE(WaitPosition(*player, 0.3));
    play.ForgetPlayer();
    player.reset();
    EXPECT_TRUE(play.WaitDone(1000));
  }
  // Only the test's own worker threads may still be exiting.
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return ThreadCount() <= before; }, 5000))
      << ThreadCount() << " threads, " << before << " before";
}

// On the main thread Play keeps the Qt event loop running: timers fire, a
// nested Play is refused, and a destroy from a timer ends the Play without
// waiting for itself.
TEST(PlayerTest, PlayOnTheMainThreadKeepsEventsFlowing) {
  const std::string clip = pcmtest::MakeMedia("mp4", 10), other = pcmtest::MakeMedia("mp4", 2);
  Player player;
  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(50);
  PlayEnd nested = PlayEnd::Ended;
  QTimer::singleShot(300, [&] { nested = player.Play(other); });
  QTimer::singleShot(600, [&] { player.DestroyPreviewWindow(); });
  EXPECT_EQ(player.Play(clip), PlayEnd::Stopped);
  EXPECT_EQ(nested, PlayEnd::Failed);
  EXPECT_GE(ticks, 5);
  EXPECT_FALSE(player.Playing());
}
