// The preview with the real player, headless, on clips made by ffmpeg: the
// position timer, the end, the stall test and the seek run as in the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>
#include <vector>

#include "core/Application.h"
#include "engine/Progress.h"
#include "support/Fixtures.h"

using pcm::preview::PlayEnd;
using pcm::preview::Player;
using pcm::preview::PreviewControl;

namespace {

class PreviewRunTest : public ::testing::Test {
 protected:
  void Make(Player::Options options = {}) {
    o.programPath = pcmtest::MakeProgramDir("preview-run");
    o.ui = &ui;
    app = std::make_unique<pcm::CoreApp>(o);
    player = std::make_unique<Player>(std::move(options));
    playback = std::make_unique<pcm::WorkerPlayback>(*player);
    session = std::make_unique<pcm::preview::PreviewSession>(*playback);
    control = std::make_unique<PreviewControl>(
        PreviewControl::Parts{app->list, app->run, *app, *session, app->sources});
    QObject::connect(control.get(), &PreviewControl::playReturned,
                     [this](PlayEnd end) { ends.push_back(end); });
  }
  void TearDown() override {
    control.reset();
    session.reset();
    playback.reset();
    player.reset();
  }
  int AddRow(const std::string& path, int seconds) {
    pcm::ListRow row;
    row.caption = "clip";
    row.filePath = row.entry.sourcePath = path;
    row.time = pcm::FormatClock(seconds);
    row.entry.duration = row.time;
    row.trim.total = seconds;
    row.trim.end = seconds;
    return app->list.Append(row);
  }
  // The position once it stays put for a while.
  double Settled() {
    double last = -1;
    pcmtest::WaitUntil(
        [&] {
          const double now = control->PositionSeconds();
          pcmtest::WaitUntil([] { return false; }, 200);
          const bool same = now == control->PositionSeconds() && now == last;
          last = now;
          return same;
        },
        8000);
    return control->PositionSeconds();
  }
  std::string Status(int i) { return pcm::StatusText(app->list.Row(i)); }

  pcm::ScriptedUserInterface ui;
  pcm::CoreApp::Options o;
  std::unique_ptr<pcm::CoreApp> app;
  std::unique_ptr<Player> player;
  std::unique_ptr<pcm::WorkerPlayback> playback;
  std::unique_ptr<pcm::preview::PreviewSession> session;
  std::unique_ptr<PreviewControl> control;
  std::vector<PlayEnd> ends;
};

TEST_F(PreviewRunTest, ClipPlaysPausesSeeksAndItsEndStopsThePreview) {
  Make();
  const std::string clip = pcmtest::MakeMedia("mp4", 4);
  AddRow(clip, 4);
  app->list.SelectOnly(0);
  control->StartPreview();
  ASSERT_TRUE(app->run.previewing);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return control->PositionSeconds() > 0.3; }, 10000));

  control->TogglePause();
  EXPECT_EQ(Status(0), "Pause");
  const double held = Settled();
  pcmtest::WaitUntil([] { return false; }, 400);
  EXPECT_EQ(control->PositionSeconds(), held);

  // Release on the bar while paused: the picture moves there and stays.
  control->PressBar("play_bar");
  control->ReleaseBar("play_bar", 5000);
  EXPECT_NEAR(Settled(), 2.0, 0.1);

  control->TogglePause();
  EXPECT_EQ(Status(0), "Play");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app->run.previewing; }, 15000));
  EXPECT_EQ(Status(0), "Stop");
  EXPECT_EQ(app->display().Text("play_time"), "00:00:00");
  EXPECT_FALSE(player->Playing());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !ends.empty(); }, 5000));
}

TEST_F(PreviewRunTest, FileThatCannotPlayStopsAtOnce) {
  Make();
  const std::string dir = pcmtest::MakeTempDir("preview-bad");
  const std::string bad = dir + "/not media.mp4";
  std::ofstream(bad) << "this is text, not a video\n";
  AddRow(bad, 10);
  app->list.SelectOnly(0);
  control->StartPreview();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !ends.empty(); }, 10000));
  EXPECT_EQ(ends[0], PlayEnd::Failed);
  EXPECT_FALSE(app->run.previewing);
  EXPECT_EQ(Status(0), "Stop");
  // The hint names the entry and libmpv's reason.
  const std::string hint = app->display().Text("hint");
  EXPECT_EQ(hint.rfind("The preview of clip could not be played: ", 0), 0u) << hint;
  // Nothing waits on the failed play: the next preview starts as usual.
  control->StartPreview();
  EXPECT_TRUE(app->run.previewing);
  control->StopPreview();
}

TEST_F(PreviewRunTest, InputThatStopsDeliveringIsStoppedByTheStallTest) {
  // Fast, so that the part before the stall passes quickly.
  Make(Player::Options{{{"speed", "4"}}});
  // Long enough that what comes through the pipe is more than the player
  // reads before it starts.
  const std::string clip = pcmtest::MakeMedia("mpg", 30);
  const std::string dir = pcmtest::MakeTempDir("preview-fifo");
  const std::string fifo = dir + "/stalled.mpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> release{false};
  // Writes the first 60 % of the clip, then keeps the pipe open without
  // writing until the test lets go.
  std::thread writer([&] {
    const int fd = open(fifo.c_str(), O_WRONLY);
    if (fd < 0) return;
    std::ifstream in(clip, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), {});
    size_t half = data.size() * 6 / 10, done = 0;
    while (done < half) {
      const ssize_t n = write(fd, data.data() + done, half - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    // Let go after a while even if the test is stuck, so it fails instead.
    for (int i = 0; i < 1500 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    close(fd);
  });
  AddRow(fifo, 30);
  app->list.SelectOnly(0);
  control->StartPreview();
  const bool stopped = pcmtest::WaitUntil([&] { return !app->run.previewing; }, 20000);
  release = true;
  writer.join();
  ASSERT_TRUE(stopped);
  EXPECT_EQ(Status(0), "Stop");
  // It stopped while data was missing, well before the clip's end.
  EXPECT_GT(control->PositionSeconds(), 1.0);
  EXPECT_LT(control->PositionSeconds(), 25.0);
}

}  // namespace
