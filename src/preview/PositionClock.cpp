#include "preview/PositionClock.h"

#include <algorithm>
#include <cmath>

namespace pcm::preview {

int32_t RoundSeconds(double seconds) {
  if (!std::isfinite(seconds)) return 0;
  return int32_t(std::clamp(std::nearbyint(seconds), -2e9, 2e9));
}

void PositionClock::Start() {
  *this = PositionClock();
  awaitingStart_ = true;
}

PositionClock::Tick PositionClock::Advance(double reported, double first, int32_t end) {
  Tick tick;
  if (awaitingStart_ && reported > 0.0) {
    awaitingStart_ = false;
    // The first position above 0 is where the media starts; libmpv's first
    // tick comes only a second later, when playback has moved on.
    startOffset_ = RoundSeconds(first > 0.0 ? first : reported);
  }
  tick.atEnd = end > 0 && shownElapsed_ >= end - 1;

  const double elapsed = reported - startOffset_;
  // A position that stays put for three ticks in a row means the input
  // stalled: the preview ends rather than hang. A position that moves
  // again forgives the ticks it held.
  if (elapsed == lastElapsed_ && lastElapsed_ > 1.0) {
    if (stallCount_ < 2) {
      ++stallCount_;
      return tick;
    }
    tick.step = Step::Stalled;
    return tick;
  }
  stallCount_ = 0;
  lastElapsed_ = elapsed;
  shownElapsed_ = RoundSeconds(elapsed);
  if (shownElapsed_ < seekFloor_) return tick;
  tick.step = Step::Show;
  return tick;
}

}  // namespace pcm::preview
