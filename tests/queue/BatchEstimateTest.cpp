// The place in a batch and the time left, over a list driven by hand and a
// clock the test moves.
#include <gtest/gtest.h>

#include "base/ClockText.h"
#include "queue/BatchEstimate.h"
#include "queue/ConversionList.h"

using pcm::BatchEstimate;
using pcm::ConversionList;
using pcm::EntryState;

namespace {

struct Batch {
  ConversionList list;
  double now = 1000;
  BatchEstimate estimate{[this] { return now; }};

  void Add(const std::string& duration, EntryState state = EntryState::Waiting, bool checked = true) {
    pcm::ListRow r;
    r.caption = "entry" + std::to_string(list.Count());
    r.entry.duration = duration;
    r.state = state;
    r.checked = checked;
    list.Append(r);
  }
  // The entry at pos converts up to progress (0..10000 and past it).
  void Convert(int pos, int32_t progress, bool paused = false) {
    list.currentPosition = pos;
    list.ShowCurrentProgress(progress);
    estimate.Observe(list, paused);
  }
  // Entry pos converts up to progress beside others.
  void Beside(int pos, int32_t progress) {
    list.ShowProgress(pos, progress);
    Observe();
  }
  // Entry pos reports `seconds` of its media converted.
  void Media(int pos, double seconds) {
    Beside(pos, int32_t(seconds * 10000 / pcm::ParseClock(list.Row(pos).entry.duration) + 0.5));
  }
  void End(int pos, EntryState state) {
    list.SetState(pos, state);
    list.currentPosition = pos + 1;
    Observe();
  }
  // The rows whose jobs run, as the batch driver tells them.
  std::vector<int> running;
  void Observe() { estimate.Observe(list, false, running); }
  std::string Text() const { return pcm::BatchPlaceText(estimate.Place(list)); }
};

}  // namespace

// Three entries of 100 s; the first converts at twice real time, is paused
// for a long while in the middle, then the second fails half way and the
// third is unchecked while the batch runs. The pause, the gap before an
// entry and the failure do not bend the speed; the unchecked entry leaves
// the count and the time left.
TEST(BatchEstimate, PausesGapsFailuresAndUncheckingKeepTheEstimateSane) {
  Batch b;
  for (int i = 0; i < 3; ++i) b.Add("00:01:40");
  b.list.currentPosition = 0;
  b.estimate.Start(b.list);
  EXPECT_EQ(b.Text(), "entry 1 of 3");  // nothing measured yet

  b.Convert(0, 0);
  b.now += 0.5;
  b.Convert(0, 2500);  // 25 s of media in half a second: too early to tell
  EXPECT_EQ(b.Text(), "entry 1 of 3");
  b.now += 4.5;
  b.Convert(0, 2500);
  // 25 media seconds in 5 s: 275 left at 5 media seconds a second.
  EXPECT_EQ(b.Text(), "entry 1 of 3, 00:00:55 left");

  b.Convert(0, 2500, /*paused=*/true);
  b.now += 3600;  // an hour's pause
  EXPECT_EQ(b.Text(), "entry 1 of 3, 00:00:55 left");
  EXPECT_EQ(pcm::BatchPausedText(b.estimate.Place(b.list)),
            "Paused at entry 1 of 3, 00:00:55 left. Choose Continue to go on.");
  b.Convert(0, 2500);
  b.now += 15;
  b.Convert(0, 10000);
  b.End(0, EntryState::Finished);
  b.now += 30;  // the gap before the next entry is not converting time
  b.Convert(1, 0);
  EXPECT_EQ(b.Text(), "entry 2 of 3, 00:00:40 left");  // 200 s at 5 a second

  b.now += 10;
  b.Convert(1, 5000);
  b.End(1, EntryState::Failed);
  // The failed entry counts the 50 s it reached: 150 s in 30 s.
  EXPECT_EQ(b.Text(), "entry 3 of 3, 00:00:20 left");

  b.list.SetChecked(2, false);
  b.estimate.Observe(b.list, false);
  EXPECT_EQ(b.Text(), "entry 2 of 2, 00:00:00 left");
  pcm::BatchTally t = b.estimate.Tally(b.list);
  EXPECT_EQ(pcm::BatchSummaryText(t), "Conversion over: 1 finished, 1 failed, 0 stopped.");
  // The countdown to a shutdown after it says how the batch ended.
  EXPECT_EQ(pcm::BatchEndHeading(b.list), "The conversions are over; 1 of 2 failed.");
  b.list.SetState(0, EntryState::Failed);
  EXPECT_EQ(pcm::BatchEndHeading(b.list), "All conversions failed.");
}

// A second batch over rows that still show the first batch's "Finish" and
// "Failed": those are entries still to do, not work done; an unchecked
// finished row stays out of it. An entry that fails again at once, without
// its state changing, still moves the place on.
TEST(BatchEstimate, StatesLeftFromAnEarlierBatchAreStillToDo) {
  Batch b;
  b.Add("00:00:10", EntryState::Finished);
  b.Add("00:00:10", EntryState::Failed);
  b.Add("00:00:10", EntryState::Finished, /*checked=*/false);
  b.Add("00:00:10", EntryState::Finished);
  b.list.currentPosition = 0;
  b.estimate.Start(b.list);
  EXPECT_EQ(b.Text(), "entry 1 of 3");
  b.Convert(0, 0);
  b.now += 2;
  b.Convert(0, 10000);
  b.End(0, EntryState::Finished);
  EXPECT_EQ(b.Text(), "entry 2 of 3, 00:00:04 left");
  b.End(1, EntryState::Failed);  // fails before it converts
  b.list.currentPosition = 3;
  b.estimate.Observe(b.list, false);
  EXPECT_EQ(b.Text(), "entry 3 of 3, 00:00:02 left");
  b.Convert(3, 3000);
  b.list.SetState(3, EntryState::Stopped);
  b.estimate.Observe(b.list, false);
  pcm::BatchTally t = b.estimate.Tally(b.list);
  EXPECT_EQ(t.finished, 1);
  EXPECT_EQ(t.failed, 1);
  EXPECT_EQ(t.stopped, 1);
  EXPECT_EQ(t.notReached, 0);

  // Rows that end as they stood, the first before the batch is first
  // observed and the last as the batch runs out past it: skipped and failed
  // again, not left unstarted.
  Batch again;
  again.Add("00:00:10", EntryState::Skipped);
  again.Add("00:00:10", EntryState::Failed);
  again.list.currentPosition = 0;
  again.list.SetState(0, EntryState::Skipped);
  again.estimate.Start(again.list);
  again.list.currentPosition = 1;
  again.list.SetState(1, EntryState::Failed);
  again.list.currentPosition = again.list.Count();
  again.estimate.Observe(again.list, false);
  EXPECT_EQ(pcm::BatchSummaryText(again.estimate.Tally(again.list)),
            "Conversion over: 0 finished, 1 failed, 0 stopped, 1 skipped.");
}

// Entries of no length convert nothing to measure: no time is told until
// an entry with a length has converted, and then they add nothing to it.
// A progress past the end (the entry ran longer than its probe said) counts
// as the whole entry, so the time left never goes below zero. A stopped
// batch names the entries it never started, an old "Finish" among them.
TEST(BatchEstimate, ZeroLengthEntriesOverrunsAndAStop) {
  Batch b;
  b.Add("00:00:00");
  b.Add("");
  b.Add("00:00:20");
  b.Add("00:00:20");
  b.list.currentPosition = 0;
  b.estimate.Start(b.list);
  b.Convert(0, 0);
  b.now += 5;
  b.Convert(0, 400);
  b.End(0, EntryState::Finished);
  b.Convert(1, 0);
  b.now += 5;
  b.End(1, EntryState::Finished);
  EXPECT_EQ(b.Text(), "entry 3 of 4");
  b.Convert(2, 0);
  b.now += 10;
  b.Convert(2, 12000);                                 // 120 %
  EXPECT_EQ(b.Text(), "entry 3 of 4, 00:00:20 left");  // 20 s in 20 s
  b.End(2, EntryState::Finished);
  b.Convert(3, 500);
  // 21 media seconds in 20 s of converting, 19 to go.
  EXPECT_EQ(b.Text(), "entry 4 of 4, 00:00:18 left");
  b.list.SetState(3, EntryState::Stopped);
  b.estimate.Observe(b.list, false);
  EXPECT_EQ(b.Text(), "entry 4 of 4, 00:00:00 left");

  Batch empty;
  empty.estimate.Start(empty.list);
  EXPECT_EQ(empty.Text(), "entry 0 of 0");
  Batch stopped;
  stopped.Add("00:00:10");
  stopped.Add("00:00:10");
  stopped.Add("00:00:10", EntryState::Finished);  // from an earlier batch
  stopped.list.currentPosition = 0;
  stopped.estimate.Start(stopped.list);
  stopped.Convert(0, 100);
  stopped.list.SetState(0, EntryState::Stopped);
  stopped.list.currentPosition = 4;
  stopped.estimate.Observe(stopped.list, false);
  EXPECT_EQ(pcm::BatchSummaryText(stopped.estimate.Tally(stopped.list)),
            "Conversion over: 0 finished, 0 failed, 1 stopped, 2 not started.");
}

// Two at a time: a long entry beside three short ones, each converting at
// 10 media seconds a second beside another and at 20 alone (the encoder's
// threads get the processors the two shared). A job reports its first time
// a second after it starts. The short ones pass the long one, which goes on
// alone: the place names the entries converting, not the number done, and
// the time left is the script's own at every step: the second before a
// job's first report is time of two at once, not of the one reporting, and
// the long entry alone gets the speed both places made together.
TEST(BatchEstimate, TwoAtATimeTellTheirPlacesAndTheTimeOfTheLongestAlone) {
  Batch b;
  b.Add("00:05:00");
  for (int i = 0; i < 3; ++i) b.Add("00:01:00");
  b.list.currentPosition = 1;
  b.estimate.Start(b.list, 2);
  b.running = {0, 1};
  b.Observe();
  EXPECT_EQ(b.Text(), "entries 1 and 2 of 4");
  b.now += 1;
  b.Media(0, 10);
  b.Media(1, 10);
  // 290 beside 50, 240 beside 60, 180 beside 60, 120 alone: 5 + 6 + 6 + 6.
  EXPECT_EQ(b.Text(), "entries 1 and 2 of 4, 00:00:23 left");
  for (int next = 2; next <= 3; ++next) {
    b.now += 5;
    b.Media(0, 60 * next - 60);
    b.Media(next - 1, 60);
    b.End(next - 1, EntryState::Finished);
    b.list.currentPosition = next;
    b.running = {0, next};
    b.Observe();
    EXPECT_EQ(b.Text(),
              next == 2 ? "entries 1 and 3 of 4, 00:00:18 left" : "entries 1 and 4 of 4, 00:00:12 left");
    b.now += 1;
    b.Media(0, 60 * next - 50);
    b.Media(next, 10);
  }
  EXPECT_EQ(b.Text(), "entries 1 and 4 of 4, 00:00:11 left");
  b.now += 5;
  b.Media(0, 180);
  b.Media(3, 60);
  b.End(3, EntryState::Finished);
  b.list.currentPosition = 4;
  b.running = {0};
  b.Observe();
  EXPECT_EQ(b.Text(), "entry 1 of 4, 00:00:06 left");
  b.now += 2;
  b.Media(0, 220);
  EXPECT_EQ(b.Text(), "entry 1 of 4, 00:00:04 left");
  b.now += 4;
  b.Media(0, 300);
  b.running = {};
  b.End(0, EntryState::Finished);
  EXPECT_EQ(b.Text(), "entry 4 of 4, 00:00:00 left");
  EXPECT_EQ(pcm::BatchSummaryText(b.estimate.Tally(b.list)),
            "Conversion over: 4 finished, 0 failed, 0 stopped.");
  pcm::BatchPlace three;
  three.place = 2;
  three.count = 9;
  three.converting = {2, 5, 7};
  EXPECT_EQ(pcm::BatchPlaceText(three), "entries 2, 5 and 7 of 9");
}
