// The preview's rules against a scripted player, because each case needs an
// exact sequence of reported positions; the ticks are called one by one.
// The application object gives the list, the run flags and the messages.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/Application.h"
#include "engine/Progress.h"
#include "support/Fixtures.h"

using pcm::EntryState;
using pcm::preview::PlayEnd;
using pcm::preview::PreviewControl;

namespace {

// Plays nothing: Play blocks until Stop (or fails at once when told to);
// positions are reported by the test.
class ScriptedPlayer : public pcm::preview::PreviewLibrary {
 public:
  bool InitPreviewWindow(pcm::preview::FrameSink*, int, int) override {
    std::lock_guard lock(mutex_);
    stopped_ = false;
    ++inits;
    return true;
  }
  void SetEventFuntion(EventFunction f) override { report_ = std::move(f); }
  void Seek(double seconds) override {
    std::lock_guard lock(mutex_);
    seeks.push_back(seconds);
  }
  PlayEnd Play(const std::string& path) override {
    std::unique_lock lock(mutex_);
    played.push_back(path);
    if (failPlays) return PlayEnd::Failed;
    ++playing;
    wake_.wait(lock, [this] { return stopped_ || mediaEnds_; });
    const bool ended = mediaEnds_ && !stopped_;
    mediaEnds_ = false;
    --playing;
    wake_.notify_all();
    return ended ? PlayEnd::Ended : PlayEnd::Stopped;
  }
  // The media runs out: Play returns as at the end of a file.
  void EndMedia() {
    std::lock_guard lock(mutex_);
    mediaEnds_ = true;
    wake_.notify_all();
  }
  void Pause() override { ++pauses; }
  void Stop() override {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    wake_.notify_all();
  }
  void DestroyPreviewWindow() override {
    Stop();
    // The real player waits for Play to return.
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::seconds(5), [this] { return playing == 0; });
  }
  void Report(double seconds) { report_(seconds); }
  std::vector<double> Seeks() {
    std::lock_guard lock(mutex_);
    return seeks;
  }
  std::vector<std::string> Played() {
    std::lock_guard lock(mutex_);
    return played;
  }

  bool failPlays = false;
  int inits = 0, pauses = 0, playing = 0;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  bool mediaEnds_ = false;
  std::vector<double> seeks;
  std::vector<std::string> played;
  EventFunction report_;
};

class PreviewControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    o.programPath = pcmtest::MakeProgramDir("preview-control");
    o.ui = &ui;
    app = std::make_unique<pcm::CoreApp>(o);
    playback = std::make_unique<pcm::WorkerPlayback>(player);
    session = std::make_unique<pcm::preview::PreviewSession>(*playback);
    control = std::make_unique<PreviewControl>(
        PreviewControl::Parts{app->list, app->run, *app, *session, app->sources});
    control->listClickedHook = [this] { app->listCommands.ListClicked(); };
    QObject::connect(control.get(), &PreviewControl::panelShown, [this](bool shown) { panelShown = shown; });
  }
  void TearDown() override {
    control.reset();
    session.reset();
    playback.reset();
  }

  int AddRow(const std::string& path, const std::string& time) {
    pcm::ListRow row;
    row.caption = pcm::ListCommands::EntryName(path);
    row.filePath = row.entry.sourcePath = path;
    row.time = time;
    row.entry.duration = time;
    row.trim.total = pcm::ParseClock(time);
    row.trim.end = row.trim.total;
    return app->list.Append(row);
  }
  std::string Status(int i) { return pcm::StatusText(app->list.Row(i)); }
  std::string PlayTime() { return app->display().Text("play_time"); }
  // Reports a position, then lets one position tick see it.
  void TickAt(double seconds) {
    player.Report(seconds);
    control->PositionTick();
  }
  bool WaitPlayed(size_t n) {
    return pcmtest::WaitUntil([&] { return player.Played().size() == n; }, 5000);
  }
  bool WaitStopped() {
    return pcmtest::WaitUntil([&] { return !app->run.previewing && player.playing == 0; }, 5000);
  }

  pcm::ScriptedUserInterface ui;
  pcm::CoreApp::Options o;
  std::unique_ptr<pcm::CoreApp> app;
  ScriptedPlayer player;
  std::unique_ptr<pcm::WorkerPlayback> playback;
  std::unique_ptr<pcm::preview::PreviewSession> session;
  std::unique_ptr<PreviewControl> control;
  bool panelShown = false;
};

TEST_F(PreviewControlTest, FiveSecondEntryPlaysToTheTickThatShowsFourThenStopsEverything) {
  AddRow("/media/a.avi", "00:00:05");
  control->StartPreview();  // nothing selected: nothing happens
  EXPECT_FALSE(app->run.previewing);
  EXPECT_TRUE(player.Played().empty());

  app->list.SelectOnly(0);
  control->StartPreview();
  ASSERT_TRUE(app->run.previewing);
  EXPECT_TRUE(panelShown);
  EXPECT_EQ(Status(0), "Play");
  EXPECT_TRUE(control->PositionTimerActive());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return player.playing == 1; }, 5000));
  EXPECT_EQ(player.Played(), std::vector<std::string>{"/media/a.avi"});
  EXPECT_EQ(player.Seeks(), std::vector<double>{0});

  // The first position above 0 (0.5 rounds to the even 0) is the start.
  TickAt(0.5);
  for (int s = 1; s <= 4; ++s) {
    TickAt(s);
    EXPECT_EQ(PlayTime(), pcm::FormatClock(s));
    EXPECT_EQ(control->BarPosition(), s * 2000);
    EXPECT_FALSE(control->EndTimerActive()) << s;
  }
  EXPECT_EQ(app->display().StripWidth("playpos"), 168);  // 8000 of 210 pixels
  // The tick that finds 4 shown ends the preview 10 ms later.
  TickAt(4.9);
  EXPECT_TRUE(control->EndTimerActive());
  ASSERT_TRUE(WaitStopped());
  EXPECT_EQ(Status(0), "Stop");
  EXPECT_FALSE(panelShown);
  EXPECT_EQ(PlayTime(), "00:00:00");
  EXPECT_EQ(control->BarPosition(), 0);
  EXPECT_EQ(app->display().StripWidth("playpos"), 0);
  EXPECT_FALSE(control->PositionTimerActive());
  // The play's own end, arriving after the stop, changes nothing more.
  pcmtest::WaitUntil([] { return false; }, 50);
  EXPECT_EQ(Status(0), "Stop");
  EXPECT_FALSE(app->run.previewing);
}

TEST_F(PreviewControlTest, ReleaseSeeksWithTheStartOffsetAndTheDisplayHoldsUntilThere) {
  AddRow("/media/long.mp4", "00:01:40");
  app->list.SelectOnly(0);
  control->StartPreview();
  // The start is the first position reported, not the one the first tick
  // finds a second later.
  player.Report(0.04);
  TickAt(1.0);
  EXPECT_EQ(PlayTime(), "00:00:01");
  TickAt(10);
  ASSERT_EQ(PlayTime(), "00:00:10");

  control->PressBar("play_bar");
  EXPECT_TRUE(app->run.dragging);
  EXPECT_FALSE(control->PositionTimerActive());
  control->TrackBar("play_bar", 2500);
  EXPECT_EQ(PlayTime(), "00:00:25");
  EXPECT_EQ(player.Seeks().back(), 25);
  control->TrackBar("play_bar", 12000);  // beyond the bar: its end
  EXPECT_EQ(PlayTime(), "00:01:40");
  EXPECT_EQ(app->display().StripWidth("playpos"), 210);
  control->ReleaseBar("play_bar", 5000);
  EXPECT_FALSE(app->run.dragging);
  EXPECT_EQ(player.Seeks().back(), 50);
  EXPECT_TRUE(control->PositionTimerActive());
  EXPECT_EQ(app->display().StripWidth("playpos"), 105);

  // The seek has not landed yet: the old positions are not shown.
  TickAt(11);
  TickAt(12);
  EXPECT_EQ(PlayTime(), "00:01:40");
  EXPECT_EQ(control->BarPosition(), 5000);
  TickAt(50.2);
  EXPECT_EQ(PlayTime(), "00:00:50");
  TickAt(51);
  EXPECT_EQ(PlayTime(), "00:00:51");
  EXPECT_EQ(control->BarPosition(), 5100);

  // Paused, a drag moves the picture and the preview stays paused: no tick
  // runs, so the still picture is not taken for a stall.
  control->TogglePause();
  control->PressBar("play_bar");
  control->TrackBar("play_bar", 6000);
  control->ReleaseBar("play_bar", 6000);
  EXPECT_EQ(player.Seeks().back(), 60);
  EXPECT_FALSE(control->PositionTimerActive());
  EXPECT_TRUE(app->run.paused);
  EXPECT_EQ(Status(0), "Pause");
  control->TogglePause();
  EXPECT_TRUE(control->PositionTimerActive());

  // A stop during a drag leaves nothing playing; tracking afterwards with
  // the list cleared changes nothing.
  control->StopPreview();
  ASSERT_TRUE(WaitStopped());
  app->list.Clear();
  control->PressBar("play_bar");
  control->TrackBar("play_bar", 7000);
  EXPECT_EQ(PlayTime(), "00:00:00");
  EXPECT_EQ(app->display().StripWidth("playpos"), 0);
}

// What will be converted is what plays: a trimmed entry starts at its
// begin, and the time, the bar and a drag share the trimmed length.
TEST_F(PreviewControlTest, ATrimmedEntryPlaysItsPartWithBarAndTimeOnOneScale) {
  AddRow("/media/film.avi", "00:01:40");
  pcm::ListRow& row = app->list.Row(0);
  row.trim.begin = 20;
  row.trim.end = 50;
  row.entry.duration = row.time = "00:00:30";
  app->list.SelectOnly(0);
  control->StartPreview();
  ASSERT_TRUE(WaitPlayed(1));
  EXPECT_EQ(player.Seeks(), std::vector<double>{20});
  player.Report(20.04);
  TickAt(26.0);
  EXPECT_EQ(PlayTime(), "00:00:06");
  EXPECT_EQ(control->BarPosition(), 2000);
  EXPECT_DOUBLE_EQ(control->ShownSeconds(), 26.0);
  control->PressBar("play_bar");
  control->TrackBar("play_bar", 5000);
  EXPECT_EQ(PlayTime(), "00:00:15");
  EXPECT_EQ(player.Seeks().back(), 35);
  control->ReleaseBar("play_bar", 5000);
  EXPECT_EQ(player.Seeks().back(), 35);
  // The trimmed end ends the preview, not the source's.
  TickAt(35.0);
  TickAt(49.0);
  EXPECT_EQ(PlayTime(), "00:00:29");
  EXPECT_FALSE(control->EndTimerActive());
  TickAt(49.9);
  EXPECT_TRUE(control->EndTimerActive());
  ASSERT_TRUE(WaitStopped());
}

TEST_F(PreviewControlTest, PauseStepsAndRefusalsKeepOneEntryPlaying) {
  AddRow("/media/0.avi", "00:00:30");
  AddRow("/media/1.avi", "00:00:30");
  AddRow("/media/2.avi", "00:00:30");
  app->list.SelectOnly(0);
  app->run.converting = true;
  control->StartPreview();
  EXPECT_FALSE(app->run.previewing);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "warning");
  app->run.converting = false;

  control->StartPreview();
  ASSERT_TRUE(app->run.previewing);
  // Back on the first entry: every entry deselected, the preview goes on.
  control->StepBack();
  EXPECT_FALSE(app->list.AnySelected());
  EXPECT_TRUE(app->run.previewing);
  EXPECT_EQ(Status(0), "Play");
  EXPECT_TRUE(WaitPlayed(1));

  control->TogglePause();
  EXPECT_TRUE(app->run.paused);
  EXPECT_EQ(Status(0), "Pause");
  EXPECT_FALSE(control->PositionTimerActive());
  // Play while paused resumes the same preview.
  app->list.SelectOnly(0);
  control->StartPreview();
  EXPECT_FALSE(app->run.paused);
  EXPECT_EQ(Status(0), "Play");
  EXPECT_EQ(player.pauses, 2);
  EXPECT_EQ(player.inits, 1);

  control->StepForward();
  EXPECT_EQ(Status(0), "Stop");
  EXPECT_EQ(Status(1), "Play");
  EXPECT_EQ(app->list.previewedEntry, 1);
  EXPECT_EQ(app->list.FirstSelected(), 1);
  EXPECT_EQ(app->list.SelectedCount(), 1);
  ASSERT_TRUE(WaitPlayed(2));
  EXPECT_EQ(player.Played().back(), "/media/1.avi");
  control->StepForward();
  ASSERT_TRUE(WaitPlayed(3));
  EXPECT_EQ(player.Played().back(), "/media/2.avi");
  control->StepForward();  // the last entry: nothing further
  EXPECT_EQ(app->list.previewedEntry, 2);
  EXPECT_TRUE(app->run.previewing);
  EXPECT_EQ(player.inits, 3);

  // A paused preview that is stopped leaves nothing paused behind.
  control->TogglePause();
  control->StopPreview();
  EXPECT_FALSE(app->run.paused);
  EXPECT_EQ(Status(2), "Stop");
  app->list.SelectOnly(1);
  control->StartPreview();
  EXPECT_EQ(Status(1), "Play");
  control->TogglePause();
  EXPECT_EQ(Status(1), "Pause");
}

TEST_F(PreviewControlTest, StallsEndAPreviewAndEachPreviewGetsItsOwnGrace) {
  AddRow("/media/pipe.ts", "00:10:00");
  app->list.SelectOnly(0);
  for (int run = 0; run < 2; ++run) {
    control->StartPreview();
    ASSERT_TRUE(app->run.previewing);
    TickAt(0.2);
    TickAt(1.2);
    TickAt(2.2);
    // Two stalled ticks are forgiven; the third ends the preview.
    TickAt(2.2);
    TickAt(2.2);
    EXPECT_TRUE(app->run.previewing) << run;
    TickAt(2.2);
    EXPECT_FALSE(app->run.previewing) << run;
    EXPECT_NE(app->display().Text("hint").find("the picture stopped coming"), std::string::npos);
    EXPECT_EQ(Status(0), "Stop");
    ASSERT_TRUE(WaitStopped());
  }
}

TEST_F(PreviewControlTest, UnplayableOrOddlyTimedEntriesStopCleanly) {
  // A duration text that does not read ("1:02:03" is 0) and a total of 0:
  // the preview is not ended at the first tick, and the bar stays put.
  AddRow("/media/odd.avi", "1:02:03");
  app->list.Row(0).trim.total = 0;
  app->list.SelectOnly(0);
  control->StartPreview();
  TickAt(0.5);
  TickAt(1.5);
  EXPECT_FALSE(control->EndTimerActive());
  EXPECT_EQ(PlayTime(), "00:00:02");
  EXPECT_EQ(control->BarPosition(), 0);
  control->StopPreview();
  ASSERT_TRUE(WaitStopped());

  // Times past 99 hours keep every digit.
  AddRow("/media/huge.avi", "100:00:00");
  app->list.SelectOnly(1);
  control->StartPreview();
  TickAt(0.4);
  TickAt(360000);
  EXPECT_EQ(PlayTime(), "100:00:00");
  control->StopPreview();
  ASSERT_TRUE(WaitStopped());

  // Play failing at once stops the preview on the main thread and says so:
  // what is wrong with the file when something is, else that it failed.
  player.failPlays = true;
  control->StartPreview();
  ASSERT_TRUE(WaitStopped());
  EXPECT_EQ(Status(1), "Stop");
  EXPECT_FALSE(panelShown);
  EXPECT_EQ(app->display().Text("hint"), "The preview of huge could not be played: the file is missing.");
  const std::string there = pcmtest::MakeTempDir("preview-there") + "/there.avi";
  pcmtest::RunShell("printf RIFF > " + pcmtest::ShellQuote(there));
  AddRow(there, "00:00:08");
  app->list.SelectOnly(2);
  control->StartPreview();
  ASSERT_TRUE(WaitStopped());
  EXPECT_EQ(app->display().Text("hint"), "The preview of there could not be played: it could not be opened.");

  // Media that runs out well before the entry's length (the file was cut
  // since it was added) says where it ends; one that ends within the last
  // seconds, as the length is whole seconds, says nothing.
  player.failPlays = false;
  for (double last : {2.4, 6.6}) {
    app->display().SetText("hint", "");
    control->StartPreview();
    TickAt(0.04);
    TickAt(last);
    player.EndMedia();
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(Status(2), "Stop");
    EXPECT_EQ(app->display().Text("hint"),
              last < 3 ? "The preview of there ended early: the file ends at 00:00:02, not at 00:00:08." : "")
        << last;
  }
}

}  // namespace
