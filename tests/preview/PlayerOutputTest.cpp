// What the player reads and draws: media read through a stream protocol of
// ours instead of a file, and pictures handed to a frame sink (the software
// renderer needs no display).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "PlayThread.h"
#include "preview/Player.h"
#include "support/Fixtures.h"

using pcm::preview::ByteSource;
using pcm::preview::FrameSink;
using pcm::preview::PlayEnd;
using pcm::preview::Player;

namespace {

// The bytes of a plain file, read at offsets; counts what it served.
class FileSource : public ByteSource {
 public:
  FileSource(const std::string& path, std::atomic<int>& open, std::atomic<int64_t>& served, bool failing)
      : file_(path, std::ios::binary), open_(open), served_(served), failing_(failing) {
    file_.seekg(0, std::ios::end);
    size_ = file_.tellg();
    ++open_;
  }
  ~FileSource() override { --open_; }
  int64_t ReadAt(uint64_t offset, char* buffer, uint64_t size) override {
    if (failing_) return -1;
    if (offset >= uint64_t(size_)) return 0;
    file_.clear();
    file_.seekg(std::streamoff(offset));
    file_.read(buffer, std::streamsize(std::min<uint64_t>(size, size_ - offset)));
    served_ += file_.gcount();
    return file_.gcount();
  }
  int64_t Size() override { return size_; }

 private:
  std::ifstream file_;
  int64_t size_ = 0;
  std::atomic<int>& open_;
  std::atomic<int64_t>& served_;
  bool failing_;
};

// Holds every read until the test opens the gate or libmpv cancels the
// stream, like a device that is slow to deliver. Waits at most 10 s.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false, cancelled = false;
  std::atomic<bool> waiting{false};
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
};

class GatedSource : public FileSource {
 public:
  GatedSource(const std::string& path, Gate& gate, std::atomic<int>& open, std::atomic<int64_t>& served)
      : FileSource(path, open, served, false), gate_(gate) {}
  int64_t ReadAt(uint64_t offset, char* buffer, uint64_t size) override {
    {
      std::unique_lock lock(gate_.mutex);
      gate_.waiting = true;
      gate_.changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate_.open || gate_.cancelled; });
      if (gate_.cancelled) return -1;
    }
    return FileSource::ReadAt(offset, buffer, size);
  }
  void Cancel() override {
    {
      std::lock_guard lock(gate_.mutex);
      gate_.cancelled = true;
      gate_.changed.notify_all();
    }
    // A slow cancel lets the stream close meanwhile: libmpv may cancel it
    // again after the close.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

 private:
  Gate& gate_;
};

class RecordingSink : public FrameSink {
 public:
  void ShowFrame(int width, int height, int stride, const uint8_t* pixels) override {
    std::lock_guard lock(mutex);
    ++frames;
    lastWidth = width;
    lastHeight = height;
    if (stride < width * 4) badStride = true;
    const uint8_t* first = pixels;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint8_t* pixel = pixels + y * stride + x * 4;
        if (pixel[3] != 0xFF) opaque = false;
        if (pixel[0] != first[0] || pixel[1] != first[1] || pixel[2] != first[2]) uniform = false;
      }
    if (cleared) afterClear = true;
  }
  void ClearFrame() override {
    std::lock_guard lock(mutex);
    cleared = true;
  }
  int Frames() {
    std::lock_guard lock(mutex);
    return frames;
  }

  std::mutex mutex;
  int frames = 0, lastWidth = 0, lastHeight = 0;
  bool badStride = false, opaque = true, uniform = true, cleared = false, afterClear = false;
};

PlayEnd PlayBounded(Player& player, const std::string& path, int timeoutMs) {
  pcmtest::PlayThread play(player, path);
  EXPECT_TRUE(play.WaitDone(timeoutMs)) << path << " did not return in time";
  return play.End();
}

}  // namespace

TEST(PlayerOutputTest, StreamProtocolPlaysTheBytesOfASource) {
  std::atomic<int> open{0};
  std::atomic<int64_t> served{0};
  Player player(Player::Options{{{"speed", "4"}}});
  // The DVD reader is an MPEG program stream read at offsets, like this one.
  const std::string clip = pcmtest::MakeMedia("mpg", 3);
  player.AddStreamProtocol("pcmtest", [&](const std::string& uri) -> std::unique_ptr<ByteSource> {
    if (uri == "pcmtest://clip") return std::make_unique<FileSource>(clip, open, served, false);
    if (uri == "pcmtest://broken") return std::make_unique<FileSource>(clip, open, served, true);
    if (uri == "pcmtest://throws") throw std::runtime_error("no such title");
    return nullptr;
  });

  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  player.Seek(1.0);
  EXPECT_EQ(PlayBounded(player, "pcmtest://clip", 20000), PlayEnd::Ended);
  EXPECT_GT(player.Position(), 2.5);
  EXPECT_GT(served.load(), 0);
  EXPECT_EQ(open.load(), 0) << "the source was not closed";

  // Refused, failing and throwing sources end the play with a failure.
  for (const char* uri : {"pcmtest://other", "pcmtest://broken", "pcmtest://throws"}) {
    SCOPED_TRACE(uri);
    ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
    EXPECT_EQ(PlayBounded(player, uri, 10000), PlayEnd::Failed);
    EXPECT_EQ(player.Position(), 0.0);
  }
  EXPECT_EQ(open.load(), 0);
}

TEST(PlayerOutputTest, FrameSinkGetsOpaquePicturesFittedIntoThePanel) {
  const std::string clip = pcmtest::MakeMedia("mp4", 2);  // 320x240
  Player::Options quiet{{{"ao", "null"}, {"speed", "2"}}};
  struct Case {
    int panelWidth, panelHeight, width, height;
  };
  // A larger panel gets the clip's own size; a smaller one a fitted picture
  // of the same shape; no panel size means no limit.
  for (Case c : {Case{640, 480, 320, 240}, Case{160, 100, 133, 100}, Case{0, 0, 320, 240}}) {
    SCOPED_TRACE(c.panelWidth);
    RecordingSink sink;
    Player player(quiet);
    ASSERT_TRUE(player.InitPreviewWindow(&sink, c.panelWidth, c.panelHeight));
    EXPECT_EQ(PlayBounded(player, clip, 20000), PlayEnd::Ended);
    player.DestroyPreviewWindow();
    std::lock_guard lock(sink.mutex);
    EXPECT_GE(sink.frames, 5);
    EXPECT_EQ(sink.lastWidth, c.width);
    EXPECT_EQ(sink.lastHeight, c.height);
    EXPECT_FALSE(sink.badStride);
    EXPECT_TRUE(sink.opaque);
    EXPECT_FALSE(sink.uniform) << "the test picture has colour bars";
    EXPECT_TRUE(sink.cleared);
    EXPECT_FALSE(sink.afterClear);
  }
}

TEST(PlayerOutputTest, HeadlessByEnvironmentDrawsNothingButStillPlays) {
  RecordingSink sink;
  Player player(Player::Options{{{"speed", "4"}}});
  pcmtest::ScopedEnv headless("POPCLIPMILL_HEADLESS_PREVIEW", "1");
  ASSERT_TRUE(player.InitPreviewWindow(&sink, 640, 480));
  const PlayEnd end = PlayBounded(player, pcmtest::MakeMedia("mp4", 2), 20000);
  EXPECT_EQ(end, PlayEnd::Ended);
  EXPECT_GT(player.Position(), 1.5);
  EXPECT_EQ(sink.Frames(), 0);
}

// Stopping while paused on a picture, with the sink attached, ends at once:
// the render thread is not left waiting.
TEST(PlayerOutputTest, StopWhilePausedWithASinkEndsPlay) {
  RecordingSink sink;
  Player player(Player::Options{{{"ao", "null"}}});
  ASSERT_TRUE(player.InitPreviewWindow(&sink, 320, 240));
  player.Pause();
  player.Seek(1.0);
  pcmtest::PlayThread play(player, pcmtest::MakeMedia("mp4", 10));
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return sink.Frames() > 0; }, 10000))
      << "a paused start shows its first picture";
  player.Stop();
  ASSERT_TRUE(play.WaitDone(5000));
  EXPECT_EQ(play.End(), PlayEnd::Stopped);
}

// A seek and a pause that come while the file is still loading (libmpv
// refuses seeks then) take effect once it has loaded.
TEST(PlayerOutputTest, SeekAndPauseWhileLoadingApplyOnceLoaded) {
  std::atomic<int> open{0};
  std::atomic<int64_t> served{0};
  Gate gate;
  const std::string clip = pcmtest::MakeMedia("mp4", 6);
  Player player;
  player.AddStreamProtocol("gated", [&](const std::string&) -> std::unique_ptr<ByteSource> {
    return std::make_unique<GatedSource>(clip, gate, open, served);
  });
  ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
  pcmtest::PlayThread play(player, "gated://clip");
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return gate.waiting.load(); }, 10000));
  player.Pause();
  player.Seek(2.0);
  gate.Open();
  EXPECT_TRUE(pcmtest::WaitPosition(player, 1.9)) << player.Position();
  // Paused: the position stays at the seek target.
  pcmtest::WaitUntil([] { return false; }, 500);
  EXPECT_NEAR(player.Position(), 2.0, 0.1);
  player.Stop();
  ASSERT_TRUE(play.WaitDone(5000));
  EXPECT_EQ(play.End(), PlayEnd::Stopped);
  EXPECT_EQ(open.load(), 0);
}

// A stop while a read waits for data cancels the read instead of waiting
// for the source; libmpv's late cancels after the close reach no freed
// stream (repeated, as that depends on timing).
TEST(PlayerOutputTest, StopCancelsAWaitingRead) {
  const std::string clip = pcmtest::MakeMedia("mp4", 6);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::atomic<int> open{0};
    std::atomic<int64_t> served{0};
    Gate gate;
    Player player;
    player.AddStreamProtocol("gated", [&](const std::string&) -> std::unique_ptr<ByteSource> {
      return std::make_unique<GatedSource>(clip, gate, open, served);
    });
    ASSERT_TRUE(player.InitPreviewWindow(nullptr, 0, 0));
    pcmtest::PlayThread play(player, "gated://clip");
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return gate.waiting.load(); }, 10000));
    player.Stop();
    ASSERT_TRUE(play.WaitDone(5000)) << "Play waited for the blocked read";
    EXPECT_EQ(play.End(), PlayEnd::Stopped);
    EXPECT_EQ(open.load(), 0);
    std::lock_guard lock(gate.mutex);
    EXPECT_TRUE(gate.cancelled);
    EXPECT_FALSE(gate.open);
  }
}
