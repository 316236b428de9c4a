#pragma once
#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "queue/ConversionList.h"

namespace pcm {

// Whether the entry's conversion is over, one way or another.
bool Ended(EntryState s);

// Shows what the list's "Status" column shows: a bar per entry on a
// terminal, with the place in the batch and the time left for all of it;
// otherwise a line when an entry starts and when it ends.
class ProgressPrinter {
 public:
  ProgressPrinter(const ConversionList& list, bool terminal, bool quiet)
      : list_(list), terminal_(terminal), quiet_(quiet) {}

  void RowChanged(int i);
  // Ends a bar line before other text is printed.
  void EndBar();

 private:
  struct Seen {
    EntryState state = EntryState::Waiting;
    int32_t progress = 0;
    std::string output;
  };
  std::string Label(int i) const;
  void DrawBar(int i, const ListRow& r);
  // Times only the stretches while an entry converts: the gaps between
  // entries convert nothing and say nothing about the speed.
  void UpdateClock();
  double ConvertingSeconds() const;
  // "entry n of N" and the time left, or "" when there is nothing to say.
  std::string BatchText() const;

  const ConversionList& list_;
  bool terminal_;
  bool quiet_;
  bool barShown_ = false;
  std::map<int, Seen> seen_;
  using Clock = std::chrono::steady_clock;
  bool timing_ = false;
  Clock::time_point since_;
  double timed_ = 0;  // seconds of earlier stretches
};

// Seconds left for the batch at the speed measured so far: the media
// seconds still to convert over the media seconds converted per second of
// converting. Every checked entry counts its trimmed length; a finished one
// all of it, a converting, failed or stopped one the part it reached. Nothing
// before a second of converting or while nothing was converted.
std::optional<double> BatchSecondsLeft(const ConversionList& list, double convertingSeconds);

}  // namespace pcm
