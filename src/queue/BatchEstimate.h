#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "queue/ConversionList.h"

namespace pcm {

// Whether the entry's conversion is over, one way or another.
bool Ended(EntryState s);

// Where a running batch stands: the place of the entry in work among the
// entries of the batch, and the seconds left when they can be told.
struct BatchPlace {
  int place = 0;  // 1-based; 0 when the batch has no entry
  int count = 0;
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
// about the speed.
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

  // A new batch: the list as it stands is the starting point.
  void Start(const ConversionList& list);
  // Notes the list after a change, and whether the batch is paused; once
  // more when the batch is over, before its tally.
  void Observe(const ConversionList& list, bool paused);

  double ConvertingSeconds() const;
  // Entries done in this batch plus the checked ones still to do; the place
  // is the number done plus one, never beyond the count. The time left is
  // the media seconds still to convert at the speed measured so far; none
  // before a second of converting or while nothing was converted.
  BatchPlace Place(const ConversionList& list) const;
  BatchTally Tally(const ConversionList& list) const;

 private:
  bool Worked(const ConversionList& list, int i) const;

  Clock clock_;
  std::vector<EntryState> startStates_;
  std::vector<bool> worked_;
  int startPosition_ = 0;  // the batch's current position when it started
  bool timing_ = false;
  double since_ = 0;
  double timed_ = 0;  // seconds of earlier stretches
};

// "entry 2 of 5, 00:03:10 left"; without the time when it cannot be told.
std::string BatchPlaceText(const BatchPlace& place);
// "Paused at entry 2 of 5, 00:03:10 left. Choose Continue to go on."
std::string BatchPausedText(const BatchPlace& place);
// "Conversion over: 3 finished, 1 failed, 0 stopped." with the entries
// skipped and those never started when there are any.
std::string BatchSummaryText(const BatchTally& tally);

}  // namespace pcm
