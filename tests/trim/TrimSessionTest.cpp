// The trim window's rules against a scripted player: the positions a real
// player reports cannot be made exact.
#include "TrimFixture.h"
#include "engine/EventPump.h"
#include "queue/Trim.h"

using trimtest::TrimApp;

// A 100-second entry trimmed from 10 to 70 in the window: the times are
// taken from the playing position, written back as the length on close,
// and the file step converts exactly that part. The untouched entry keeps
// its whole length; the preview is stopped by the close.
TEST(TrimSession, BeginAndEndFromThePositionReachTheConversion) {
  TrimApp t("trim-range");
  t.AddEntry("film", 100);
  t.AddEntry("other", 42);
  t.app->list.Row(1).entry.duration = t.app->list.Row(1).time = "00:00:07";  // an older trim
  t.app->list.SelectOnly(0);

  ASSERT_TRUE(t.session->Open());
  EXPECT_TRUE(t.app->run.trimWindowOpen);
  EXPECT_EQ(t.session->RowCount(), 2);
  EXPECT_EQ(t.session->RowEnd(0), "00:01:40");
  EXPECT_EQ(t.Shown("cut_end_time"), "00:01:40");
  EXPECT_EQ(t.Shown("cut_play_time"), "00:00:00");

  t.session->Play();
  ASSERT_EQ(t.playback.started, std::vector<std::string>{"/media/film.avi"});
  EXPECT_TRUE(t.app->run.previewing);
  EXPECT_TRUE(t.session->PositionTimerActive());
  t.TickAt(0.04);  // the first frame: the start offset is 0
  t.TickAt(10.3);
  EXPECT_EQ(t.Shown("cut_play_time"), "00:00:10");
  EXPECT_EQ(t.session->BarPosition(), 1000);
  t.session->SetBegin();
  t.TickAt(70.4);
  t.session->SetEnd();
  EXPECT_EQ(t.Shown("cut_begin_time"), "00:00:10");
  EXPECT_EQ(t.Shown("cut_end_time"), "00:01:10");
  EXPECT_EQ(t.session->RowBegin(0), "00:00:10");
  EXPECT_EQ(t.session->RowEnd(0), "00:01:10");
  // Nothing is written back before the close.
  EXPECT_EQ(t.app->list.Row(0).time, "00:01:40");

  t.session->Close();
  EXPECT_FALSE(t.app->run.previewing);
  EXPECT_FALSE(t.app->run.trimWindowOpen);
  EXPECT_FALSE(t.playback.playing);
  EXPECT_FALSE(t.session->PositionTimerActive());
  EXPECT_TRUE(t.ui.boxes.empty());
  const pcm::ListRow& film = t.app->list.Row(0);
  EXPECT_EQ(film.entry.duration, "00:01:00");
  EXPECT_EQ(film.time, "00:01:00");
  EXPECT_EQ(t.Shown("alltime"), "00:01:00");  // the length under the list
  EXPECT_EQ(film.outputSize, t.app->options.EstimateOutputSize(film));
  EXPECT_EQ(t.app->list.Row(1).time, "00:00:42");

  pcm::intputrec rec = t.app->batch.JobRecordOf(film);
  EXPECT_EQ(rec.StartOpt.Text(), " -ss 00:00:10");
  EXPECT_EQ(rec.LengthOpt.Text(), " -t 00:01:00");
  std::string line = pcm::BuildCommandLine(rec);
  EXPECT_NE(line.find(" -ss 00:00:10 -y  -i /media/film.avi "), std::string::npos) << line;
  EXPECT_NE(line.find(" -t 00:01:00 "), std::string::npos) << line;
}

// A begin after the end, an end before the begin and an empty range are
// refused with a warning and change nothing, so no negative or empty length
// ever reaches the encoder. "begin" while nothing plays takes the shown
// 00:00:00. The same rule serves the front end's --trim.
TEST(TrimSession, ARangeWithNothingToConvertIsRefused) {
  TrimApp t("trim-refuse");
  t.AddEntry("film", 100);
  ASSERT_TRUE(t.session->Open());
  t.session->SetBegin();  // 00:00:00 after the row selection
  EXPECT_TRUE(t.ui.boxes.empty());
  EXPECT_EQ(t.app->list.Row(0).trim.begin, 0);

  t.session->Play();
  t.TickAt(0.2);
  t.TickAt(40.0);
  t.session->SetEnd();
  t.TickAt(41.0);
  t.session->SetBegin();  // after the end
  t.TickAt(40.0);
  t.session->SetBegin();  // at the end
  t.TickAt(0.0);          // a seek back to the start: the display holds
  t.session->Stop();
  t.app->display().SetText("cut_play_time", "00:00:00");
  t.session->SetEnd();  // at the begin

  ASSERT_EQ(t.ui.boxes.size(), 3u);
  for (const auto& box : t.ui.boxes) {
    EXPECT_EQ(box.kind, "warning");
    EXPECT_NE(box.text.find("must lie before the end"), std::string::npos) << box.text;
  }
  EXPECT_NE(t.ui.boxes[0].text.find("begin was not set"), std::string::npos);
  EXPECT_NE(t.ui.boxes[2].text.find("end was not set"), std::string::npos);
  EXPECT_EQ(t.app->list.Row(0).trim.begin, 0);
  EXPECT_EQ(t.app->list.Row(0).trim.end, 40);
  EXPECT_EQ(t.Shown("cut_end_time"), "00:00:40");
  t.session->Close();
  EXPECT_EQ(t.app->list.Row(0).time, "00:00:40");

  pcm::ListRow row = t.app->list.Row(0);
  EXPECT_FALSE(pcm::ApplyTrim(row, 50, 40));
  EXPECT_FALSE(pcm::ApplyTrim(row, 30, 30));
  EXPECT_EQ(row.time, "00:00:40");
}

// The 30-second jumps: back does nothing at 00:00:30 and seeks to 1 at
// 00:00:31; forward stops short of the entry's end. Jumps, tracking and the
// release all seek in the player's positions (the media's start offset
// added), and the display holds below the seek target until playback gets
// there.
TEST(TrimSession, JumpsAndTheBarSeekWithinTheEntry) {
  TrimApp t("trim-seek");
  t.AddEntry("film", 100);
  ASSERT_TRUE(t.session->Open());
  t.session->JumpBack();  // nothing plays: nothing to seek
  t.session->Play();
  t.TickAt(2.0);  // the first position: start offset 2
  t.TickAt(32.0);
  ASSERT_EQ(t.Shown("cut_play_time"), "00:00:30");
  t.session->JumpBack();
  EXPECT_TRUE(t.playback.seeks.empty());
  t.TickAt(33.0);
  t.session->JumpBack();
  EXPECT_EQ(t.playback.seeks, std::vector<double>{3});  // the media starts at 2
  t.TickAt(72.0);                                       // 00:01:10: 100 is the end
  t.session->JumpForward();
  t.TickAt(71.0);  // 00:01:09: 99 is still inside
  t.session->JumpForward();
  EXPECT_EQ(t.playback.seeks, (std::vector<double>{3, 101}));

  t.playback.seeks.clear();
  t.session->BarPressed();
  EXPECT_FALSE(t.session->PositionTimerActive());
  t.session->BarTracked(12000);  // beyond the bar: its end
  EXPECT_EQ(t.Shown("cut_play_time"), "00:01:40");
  t.session->BarTracked(5000);
  EXPECT_EQ(t.Shown("cut_play_time"), "00:00:50");
  t.session->BarReleased(5000);
  EXPECT_FALSE(t.app->run.dragging);
  EXPECT_TRUE(t.session->PositionTimerActive());
  EXPECT_EQ(t.playback.seeks, (std::vector<double>{102, 52, 52}));
  t.TickAt(40.0);  // the old position, reported once more
  EXPECT_EQ(t.Shown("cut_play_time"), "00:00:50");
  t.TickAt(54.0);
  EXPECT_EQ(t.Shown("cut_play_time"), "00:00:52");
  EXPECT_EQ(t.session->BarPosition(), 5200);
}

// The preview ends at the tick that shows the entry's last second, when the
// position stays put for three ticks in a row, when the player ends by itself, and at
// once when the player cannot start. An entry of unknown length plays on.
// A trimmed entry still plays over its whole source.
TEST(TrimSession, ThePreviewEndsAtTheEndOnAStallAndOnFailure) {
  TrimApp t("trim-end");
  t.AddEntry("five", 5);
  t.AddEntry("unknown", 0);
  t.AddEntry("trimmed", 100);
  t.app->list.Row(2).entry.duration = "00:00:10";
  ASSERT_TRUE(t.session->Open());

  t.session->Play();
  t.TickAt(0.04);
  t.TickAt(3.0);
  t.TickAt(4.0);
  EXPECT_FALSE(t.session->EndTimerActive());
  t.TickAt(4.2);  // the shown elapsed was 4: the end timer runs
  EXPECT_TRUE(t.session->EndTimerActive());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !t.app->run.previewing; }, 5000));
  EXPECT_FALSE(t.playback.playing);
  EXPECT_EQ(t.session->BarPosition(), 0);

  t.session->SelectRow(1);
  t.session->Play();
  t.TickAt(0.0);
  t.TickAt(0.0);
  EXPECT_FALSE(t.session->EndTimerActive());
  t.TickAt(0.04);
  t.TickAt(3.5);
  for (int i = 0; i < 2; ++i) t.TickAt(3.5);
  EXPECT_TRUE(t.app->run.previewing);  // two stalled ticks are tolerated
  t.TickAt(3.7);                       // it moved: the count starts anew
  for (int i = 0; i < 2; ++i) t.TickAt(3.7);
  EXPECT_TRUE(t.app->run.previewing);
  t.TickAt(3.7);
  EXPECT_FALSE(t.app->run.previewing);

  t.session->SelectRow(2);
  t.session->Play();
  t.TickAt(0.04);
  t.TickAt(30.0);
  EXPECT_FALSE(t.session->EndTimerActive());
  EXPECT_EQ(t.session->BarPosition(), 3000);
  t.session->TogglePause();
  EXPECT_TRUE(t.app->run.paused);
  EXPECT_FALSE(t.session->PositionTimerActive());
  t.session->Play();  // resumes
  EXPECT_FALSE(t.app->run.paused);
  EXPECT_TRUE(t.session->PositionTimerActive());
  EXPECT_EQ(t.playback.started.size(), 3u);
  t.session->SelectRow(0);  // ignored while playing
  EXPECT_EQ(t.session->SelectedRow(), 2);
  t.playback.End();
  EXPECT_FALSE(t.app->run.previewing);
  EXPECT_FALSE(t.session->PositionTimerActive());
  EXPECT_EQ(t.Shown("cut_play_time"), "00:00:30");  // kept for "begin" and "end"

  t.playback.failStart = true;
  t.session->Play();
  EXPECT_FALSE(t.app->run.previewing);
  EXPECT_FALSE(t.session->PositionTimerActive());
}

// The window does not open while previewing (27), converting (26) or with
// DVD chapters listed (28), and its commands do nothing while it is closed.
TEST(TrimSession, OpeningIsRefusedInTheWrongState) {
  TrimApp t("trim-open");
  t.AddEntry("film", 100);
  t.app->run.previewing = true;
  EXPECT_FALSE(t.session->Open());
  t.app->run.previewing = false;
  t.app->run.converting = true;
  EXPECT_FALSE(t.session->Open());
  t.app->run.converting = false;
  t.app->run.titleView = false;
  EXPECT_FALSE(t.session->Open());
  ASSERT_EQ(t.ui.boxes.size(), 3u);
  EXPECT_EQ(t.ui.boxes[0].text, t.app->LoadMessage(27));
  EXPECT_EQ(t.ui.boxes[1].text, t.app->LoadMessage(26));
  EXPECT_EQ(t.ui.boxes[2].text, t.app->LoadMessage(28));
  EXPECT_FALSE(t.app->run.trimWindowOpen);
  t.session->Play();
  t.session->Close();
  EXPECT_TRUE(t.playback.started.empty());
  EXPECT_EQ(t.app->list.Row(0).time, "00:01:40");

  t.app->run.titleView = true;
  ASSERT_TRUE(t.session->Open());
  t.app->run.converting = true;  // a conversion cannot start meanwhile; the play says so anyway
  t.session->Play();
  EXPECT_EQ(t.ui.boxes.back().text, t.app->LoadMessage(26));
  EXPECT_TRUE(t.playback.started.empty());
}

// The real player, headless, on its worker: the play returns at once, the
// position timer shows the rising position meanwhile, "begin" takes it, and
// the end of the clip ends the preview on the main thread. A second play
// stopped midway ends without the end hook running later.
TEST(TrimSession, PlaysARealClipWithoutBlockingTheEventLoop) {
  TrimApp t("trim-real");
  // The application's own session: the one the main preview plays through.
  pcm::TrimSession session({t.app->list, t.app->run, *t.app, t.app->options, t.app->session, t.app->sources});
  int row = t.AddEntry("clip", 4);
  t.app->list.Row(row).entry.sourcePath = pcmtest::MakeMedia("avi", 4);
  ASSERT_TRUE(session.Open());
  t.app->session.SetTickInterval(200);  // ticks sooner; the rules are the same

  session.Play();
  EXPECT_TRUE(t.app->run.previewing);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return t.Shown("cut_play_time") >= "00:00:02"; }, 20000));
  session.SetBegin();
  EXPECT_GE(t.app->list.Row(row).trim.begin, 2);
  EXPECT_TRUE(t.ui.boxes.empty());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !t.app->run.previewing; }, 20000));
  EXPECT_FALSE(session.PositionTimerActive());

  session.Play();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return t.app->playback.Position() > 0.1; }, 20000));
  session.Stop();
  EXPECT_FALSE(t.app->run.previewing);
  session.Play();  // at once again after a stop
  EXPECT_TRUE(t.app->run.previewing);
  session.Close();
  pcm::ProcessPendingEvents();
  EXPECT_FALSE(t.app->run.previewing);
  EXPECT_EQ(t.app->list.Row(row).time, pcm::FormatClock(4 - t.app->list.Row(row).trim.begin));
}
