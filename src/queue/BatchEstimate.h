#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "queue/ConversionList.h"

namespace pcm {

// Whether the entry's conversion is over, one way or another.
bool Ended(EntryState s);

// Where a running batch stands: the places of the entries converting among
// the entries of the batch, and the seconds left when they can be told.
struct BatchPlace {
  int place = 0;  // 1-based; 0 when the batch has no entry
  int count = 0;
  // The places of the entries converting now, in list order, when more than
  // one converts; `place` is the first of them.
  std::vector<int> converting;
  std::optional<int32_t> secondsLeft;
};

// How the entries of a batch ended.
struct BatchTally {
  int finished = 0;
  int failed = 0;
  int stopped = 0;
  int skipped = 0;     // their output file existed
  int notReached = 0;  // checked entries the batch never started
};

// Follows one batch over the list to tell the place in the batch and the
// time left for all of it. The speed is media seconds converted per second
// spent converting: the clock runs only while an entry converts and the
// batch is not paused, since gaps between entries and pauses say nothing
// about the speed. It is measured apart for each number of entries
// converting at once, per entry: an entry alone at the end of a batch of
// two at a time does not convert at the speed of two. The time left plays
// the rest of the batch out as the batch driver runs it: the entries still
// to do take the first free of `jobs` places, top to bottom, each at the
// speed measured for as many entries at once. A number not measured yet
// converts at the speed of more entries at once measured, which fewer share
// (an entry alone at the end of a batch of two at a time gets the
// processors the two shared), else at the speed per entry of the whole
// batch so far. An entry converts from when its job starts: the time
// before its first report belongs to as many entries as run then.
//
// An entry belongs to the batch's work once it converts, its state moves
// away from what it was when the batch started, or the batch has passed it;
// a "Finish" left from an earlier batch is not work done, since a checked
// entry converts again. Entries are told apart by their index: rows are
// neither added nor removed while a batch runs.
class BatchEstimate {
 public:
  // Seconds on a steady clock; tests script it.
  using Clock = std::function<double()>;
  explicit BatchEstimate(Clock clock = {});

  // A new batch converting up to `jobs` entries at once: the list as it
  // stands is the starting point.
  void Start(const ConversionList& list, int jobs = 1);
  // Notes the list after a change, whether the batch is paused and the rows
  // whose jobs run (the batch driver's; a job runs before its first report
  // shows on its row); once more when the batch is over, before its tally.
  // Without `running`, the rows converting are those showing a progress.
  void Observe(const ConversionList& list, bool paused, const std::vector<int>& running = {});

  // Entries done in this batch plus the checked ones still to do. The place
  // is that of the first entry converting, else the number done plus one,
  // never beyond the count. The time left: none before a second of
  // converting or while nothing was converted.
  BatchPlace Place(const ConversionList& list) const;
  BatchTally Tally(const ConversionList& list) const;

 private:
  bool Worked(const ConversionList& list, int i) const;
  // The row's job runs: it shows a progress, or the batch driver said so.
  bool Running(const ConversionList& list, int i) const;
  // The row's job runs and has not reported yet: the row still shows what
  // it showed when the batch started.
  bool Unreported(const ConversionList& list, int i) const;
  // Media seconds converted in this batch so far.
  double Converted(const ConversionList& list) const;
  // Seconds and media seconds measured while k entries converted at once,
  // at index k; Measures adds the stretch since the last observation.
  struct Measured {
    std::vector<double> seconds, media;
  };
  Measured Measures(const ConversionList& list) const;
  // Seconds the rest of the batch takes at the measured speeds; none when
  // no speed is known.
  std::optional<double> SecondsLeft(const ConversionList& list, const Measured& m) const;

  Clock clock_;
  int jobs_ = 1;
  std::vector<EntryState> startStates_;
  std::vector<bool> worked_;
  std::vector<int> running_;  // as last observed
  int startPosition_ = 0;     // the batch's current position when it started
  Measured measured_;
  int timingWith_ = 0;  // entries converting unpaused at the last observation
  double since_ = 0;    // when it was made
  double convertedThen_ = 0;
};

// "entry 2 of 5, 00:03:10 left", "entries 1 and 4 of 5, ..." while several
// convert; without the time when it cannot be told.
std::string BatchPlaceText(const BatchPlace& place);
// "Paused at entry 2 of 5, 00:03:10 left. Choose Continue to go on."
std::string BatchPausedText(const BatchPlace& place);
// "Conversion over: 3 finished, 1 failed, 0 stopped." with the entries
// skipped and those never started when there are any.
std::string BatchSummaryText(const BatchTally& tally);

// The heading of the countdown to a shutdown after a batch, by the checked
// entries: "All conversions are finished." only when none of them failed.
std::string BatchEndHeading(const ConversionList& list);

}  // namespace pcm
