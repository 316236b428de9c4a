#include "queue/BatchEstimate.h"

#include <algorithm>
#include <chrono>

#include "engine/Progress.h"

namespace pcm {

bool Ended(EntryState s) {
  return s == EntryState::Finished || s == EntryState::Failed || s == EntryState::Stopped ||
         s == EntryState::Skipped;
}

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

BatchEstimate::BatchEstimate(Clock clock) : clock_(clock ? std::move(clock) : Clock(SteadySeconds)) {}

void BatchEstimate::Start(const ConversionList& list) {
  startStates_.clear();
  for (const ListRow& r : list.Rows()) startStates_.push_back(r.state);
  worked_.assign(startStates_.size(), false);
  startPosition_ = list.currentPosition;
  timing_ = false;
  timed_ = 0;
  Observe(list, false);
}

bool BatchEstimate::Worked(const ConversionList& list, int i) const {
  const EntryState s = list.Row(i).state;
  if (s == EntryState::Converting) return true;
  if (size_t(i) < worked_.size() && worked_[size_t(i)]) return true;
  // A row the batch has not seen before counts from a waiting state.
  const EntryState start = size_t(i) < startStates_.size() ? startStates_[size_t(i)] : EntryState::Waiting;
  return s != start;
}

void BatchEstimate::Observe(const ConversionList& list, bool paused) {
  bool converting = false;
  if (worked_.size() < size_t(list.Count())) worked_.resize(size_t(list.Count()), false);
  for (int i = 0; i < list.Count(); ++i) {
    // A checked entry the batch has passed was worked on even when it ended
    // as it stood before (failed or skipped again at once). A batch that ran
    // out of entries leaves its position just past the last row, having
    // passed them all; a stopped one sets it further: that passes nothing.
    const bool ranOut = list.currentPosition == list.Count();
    const bool passed = (list.Valid(list.currentPosition) || ranOut) && i >= startPosition_ &&
                        i < list.currentPosition && list.Row(i).checked;
    if (Worked(list, i) || (passed && Ended(list.Row(i).state))) worked_[size_t(i)] = true;
    converting = converting || list.Row(i).state == EntryState::Converting;
  }
  const bool timing = converting && !paused;
  if (timing == timing_) return;
  const double now = clock_();
  if (timing)
    since_ = now;
  else
    timed_ += now - since_;
  timing_ = timing;
}

double BatchEstimate::ConvertingSeconds() const { return timed_ + (timing_ ? clock_() - since_ : 0.0); }

BatchPlace BatchEstimate::Place(const ConversionList& list) const {
  BatchPlace place;
  int done = 0;
  double converted = 0, left = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const ListRow& r = list.Row(i);
    const double length = std::max(0, ParseClock(r.entry.duration));
    // A progress past the end (an entry longer than its probe said) is a
    // whole entry, not more.
    const double reached = length * std::clamp(r.progress / 10000.0, 0.0, 1.0);
    const bool worked = Worked(list, i);
    if (worked && Ended(r.state)) {
      ++done;
      // A failed or stopped entry counts the part it reached.
      converted += r.state == EntryState::Finished ? length : reached;
    } else if (r.state == EntryState::Converting) {
      converted += reached;
      if (r.checked) left += length - reached;
    } else if (r.checked) {
      left += length;
    }
    if (r.checked || (worked && Ended(r.state)) || r.state == EntryState::Converting) ++place.count;
  }
  place.place = std::min(done + 1, place.count);
  const double seconds = ConvertingSeconds();
  if (seconds >= 1 && converted > 0) place.secondsLeft = int32_t(left * seconds / converted + 0.5);
  return place;
}

BatchTally BatchEstimate::Tally(const ConversionList& list) const {
  BatchTally tally;
  for (int i = 0; i < list.Count(); ++i) {
    const ListRow& r = list.Row(i);
    if (!Worked(list, i)) {
      if (r.checked) ++tally.notReached;
      continue;
    }
    if (r.state == EntryState::Finished) ++tally.finished;
    if (r.state == EntryState::Failed) ++tally.failed;
    if (r.state == EntryState::Stopped) ++tally.stopped;
    if (r.state == EntryState::Skipped) ++tally.skipped;
  }
  return tally;
}

std::string BatchPlaceText(const BatchPlace& place) {
  std::string text = "entry " + std::to_string(place.place) + " of " + std::to_string(place.count);
  if (place.secondsLeft) text += ", " + FormatClock(*place.secondsLeft) + " left";
  return text;
}

std::string BatchPausedText(const BatchPlace& place) {
  return "Paused at " + BatchPlaceText(place) + ". Choose Continue to go on.";
}

std::string BatchSummaryText(const BatchTally& tally) {
  std::string text = "Conversion over: " + std::to_string(tally.finished) + " finished, " +
                     std::to_string(tally.failed) + " failed, " + std::to_string(tally.stopped) + " stopped";
  if (tally.skipped > 0) text += ", " + std::to_string(tally.skipped) + " skipped";
  if (tally.notReached > 0) text += ", " + std::to_string(tally.notReached) + " not started";
  return text + ".";
}

}  // namespace pcm
