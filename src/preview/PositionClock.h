#pragma once
#include <cstdint>

namespace pcm::preview {

// The elapsed time a preview shows, worked out once a second from the
// positions the player reports. Shared by the main window's preview and the
// trim window, so both start, hold after a seek, end and give up on a
// stalled input the same way. Plain values, main thread only.
class PositionClock {
 public:
  // What a tick tells the caller to do.
  enum class Step {
    Hold,     // show nothing new (stall grace, or below the seek floor)
    Show,     // show ShownElapsed()
    Stalled,  // the position has not moved for three ticks: stop
  };
  struct Tick {
    Step step = Step::Hold;
    // The shown elapsed time reached the entry's end (less one second) at
    // the previous tick: the caller stops the preview shortly.
    bool atEnd = false;
  };

  // A new play: the start offset is taken again, nothing shown, no seek.
  void Start();
  // After a seek the display holds until the position passes target.
  void Seeked(double target) { seekFloor_ = target; }

  // One tick. reported: the latest position; first: the first position
  // above 0 the player reported in this play (0 when none yet); end: the
  // entry's length in whole seconds, 0 when unknown (then no end).
  Tick Advance(double reported, double first, int32_t end);

  int32_t StartOffset() const { return startOffset_; }
  int32_t ShownElapsed() const { return shownElapsed_; }

 private:
  bool awaitingStart_ = false;
  int32_t startOffset_ = 0;
  double lastElapsed_ = -1.0;
  int32_t shownElapsed_ = 0;
  double seekFloor_ = 0.0;
  int stallCount_ = 0;
};

// Seconds rounded to the nearest whole one, halves to the even neighbour;
// 0 for a value that is not a number.
int32_t RoundSeconds(double seconds);

}  // namespace pcm::preview
