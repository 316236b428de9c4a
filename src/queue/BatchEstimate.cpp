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

void BatchEstimate::Start(const ConversionList& list, int jobs) {
  jobs_ = std::max(1, jobs);
  startStates_.clear();
  for (const ListRow& r : list.Rows()) startStates_.push_back(r.state);
  worked_.assign(startStates_.size(), false);
  running_.clear();
  startPosition_ = list.currentPosition;
  measured_ = {};
  timingWith_ = 0;
  Observe(list, false);
}

bool BatchEstimate::Running(const ConversionList& list, int i) const {
  return list.Row(i).state == EntryState::Converting || Unreported(list, i);
}

bool BatchEstimate::Unreported(const ConversionList& list, int i) const {
  const EntryState start = size_t(i) < startStates_.size() ? startStates_[size_t(i)] : EntryState::Waiting;
  return list.Row(i).state == start && std::find(running_.begin(), running_.end(), i) != running_.end();
}

bool BatchEstimate::Worked(const ConversionList& list, int i) const {
  const EntryState s = list.Row(i).state;
  if (Running(list, i)) return true;
  if (size_t(i) < worked_.size() && worked_[size_t(i)]) return true;
  // A row the batch has not seen before counts from a waiting state.
  const EntryState start = size_t(i) < startStates_.size() ? startStates_[size_t(i)] : EntryState::Waiting;
  return s != start;
}

namespace {

double Length(const ListRow& r) { return std::max(0, ParseClock(r.entry.duration)); }

// A progress past the end (an entry longer than its probe said) is a whole
// entry, not more.
double Reached(const ListRow& r) { return Length(r) * std::clamp(r.progress / 10000.0, 0.0, 1.0); }

}  // namespace

double BatchEstimate::Converted(const ConversionList& list) const {
  double converted = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const ListRow& r = list.Row(i);
    // A failed or stopped entry counts the part it reached; one whose job
    // has not reported yet still shows what an earlier batch left.
    if (r.state == EntryState::Converting)
      converted += Reached(r);
    else if (Ended(r.state) && Worked(list, i) && !Unreported(list, i))
      converted += r.state == EntryState::Finished ? Length(r) : Reached(r);
  }
  return converted;
}

void BatchEstimate::Observe(const ConversionList& list, bool paused, const std::vector<int>& running) {
  running_ = running;
  int converting = 0;
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
    if (Running(list, i)) ++converting;
  }
  // What was converted since the last observation belongs to as many
  // entries at once as were converting then; what an entry converted before
  // its first report (when it did not count as converting yet) to as many
  // as convert now.
  measured_ = Measures(list);
  if (timingWith_ == 0 && converting > 0) {
    const double gained = Converted(list) - convertedThen_;
    if (measured_.media.size() <= size_t(converting)) {
      measured_.seconds.resize(size_t(converting) + 1, 0);
      measured_.media.resize(size_t(converting) + 1, 0);
    }
    measured_.media[size_t(converting)] += std::max(0.0, gained);
  }
  timingWith_ = paused ? 0 : converting;
  since_ = clock_();
  convertedThen_ = Converted(list);
}

BatchEstimate::Measured BatchEstimate::Measures(const ConversionList& list) const {
  Measured m = measured_;
  if (timingWith_ == 0) return m;
  if (m.seconds.size() <= size_t(timingWith_)) {
    m.seconds.resize(size_t(timingWith_) + 1, 0);
    m.media.resize(size_t(timingWith_) + 1, 0);
  }
  m.seconds[size_t(timingWith_)] += std::max(0.0, clock_() - since_);
  m.media[size_t(timingWith_)] += std::max(0.0, Converted(list) - convertedThen_);
  return m;
}

std::optional<double> BatchEstimate::SecondsLeft(const ConversionList& list, const Measured& m) const {
  // The speed per entry over the whole batch, for a number of entries at
  // once not measured yet.
  double seconds = 0, entrySeconds = 0, media = 0;
  for (size_t k = 1; k < m.seconds.size(); ++k) {
    seconds += m.seconds[k];
    entrySeconds += m.seconds[k] * double(k);
    media += m.media[k];
  }
  if (seconds < 1 || media <= 0) return std::nullopt;
  auto measured = [&](size_t k) { return k < m.seconds.size() && m.seconds[k] >= 1 && m.media[k] > 0; };
  auto speed = [&](size_t k) {
    if (measured(k)) return m.media[k] / m.seconds[k] / double(k);
    // Fewer entries than were measured together share what those made: an
    // encoder that used the processors with another has them alone now.
    for (size_t more = k + 1; more < m.seconds.size(); ++more)
      if (measured(more)) return m.media[more] / m.seconds[more] / double(k);
    return media / entrySeconds;
  };
  // What each entry converting has left, then the entries still to do in
  // the order the batch takes them.
  std::vector<double> places, waiting;
  for (int i = 0; i < list.Count(); ++i) {
    const ListRow& r = list.Row(i);
    if (r.state == EntryState::Converting)
      places.push_back(Length(r) - Reached(r));
    else if (Unreported(list, i))
      places.push_back(Length(r));
    else if (r.checked && !Worked(list, i))
      waiting.push_back(Length(r));
  }
  double left = 0;
  size_t next = 0;
  for (;;) {
    while (places.size() < size_t(jobs_) && next < waiting.size()) places.push_back(waiting[next++]);
    if (places.empty()) break;
    // Every entry converting gains at the same speed until the first of
    // them ends.
    const double step = *std::min_element(places.begin(), places.end());
    left += step / speed(places.size());
    for (double& p : places) p -= step;
    places.erase(std::remove_if(places.begin(), places.end(), [](double p) { return p <= 1e-9; }),
                 places.end());
  }
  return left;
}

BatchPlace BatchEstimate::Place(const ConversionList& list) const {
  BatchPlace place;
  int done = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const ListRow& r = list.Row(i);
    const bool running = Running(list, i);
    const bool ended = Worked(list, i) && Ended(r.state) && !running;
    if (!r.checked && !ended && !running) continue;
    ++place.count;
    if (ended) ++done;
    if (running) place.converting.push_back(place.count);
  }
  place.place = place.converting.empty() ? std::min(done + 1, place.count) : place.converting.front();
  if (place.converting.size() < 2) place.converting.clear();
  if (std::optional<double> left = SecondsLeft(list, Measures(list)))
    place.secondsLeft = int32_t(*left + 0.5);
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
  std::string text;
  if (place.converting.size() > 1) {
    text = "entries ";
    for (size_t i = 0; i < place.converting.size(); ++i) {
      if (i > 0) text += i + 1 == place.converting.size() ? " and " : ", ";
      text += std::to_string(place.converting[i]);
    }
  } else {
    text = "entry " + std::to_string(place.place);
  }
  text += " of " + std::to_string(place.count);
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

std::string BatchEndHeading(const ConversionList& list) {
  int failed = 0, ended = 0;
  for (const ListRow& r : list.Rows()) {
    if (!r.checked) continue;
    failed += r.state == EntryState::Failed;
    ended +=
        r.state == EntryState::Failed || r.state == EntryState::Finished || r.state == EntryState::Skipped;
  }
  if (failed == 0) return "All conversions are finished.";
  if (failed == ended) return failed == 1 ? "The conversion failed." : "All conversions failed.";
  return "The conversions are over; " + std::to_string(failed) + " of " + std::to_string(ended) + " failed.";
}

}  // namespace pcm
