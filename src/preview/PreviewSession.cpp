#include "preview/PreviewSession.h"

#include <algorithm>

#include "preview/Playback.h"

namespace pcm::preview {

PreviewSession::PreviewSession(Playback& playback) : playback_(playback) {
  positionTimer_.setInterval(1000);
  connect(&positionTimer_, &QTimer::timeout, this, &PreviewSession::Tick);
  // The end is taken a moment after the tick that saw it, so that the last
  // second is shown first.
  endTimer_.setInterval(10);
  endTimer_.setSingleShot(true);
  connect(&endTimer_, &QTimer::timeout, this, [this] {
    if (!playing_) return;
    playback_.Stop();
    Finish(PlayEnd::Ended);
  });
  playback_.endedHook = [this](PlayEnd end) {
    if (playing_) Finish(end);
  };
}

PreviewSession::~PreviewSession() {
  playback_.endedHook = nullptr;
  if (playing_) playback_.Stop();
}

bool PreviewSession::Start(const void* owner, const PlaySource& source, Span span, FrameSink* sink, int width,
                           int height) {
  Stop();
  owner_ = owner;
  span_ = span;
  shown_ = 0;
  paused_ = false;
  held_ = false;
  stallError_.clear();
  clock_.Start();
  if (!playback_.Start(source, double(span.begin), sink, width, height)) return false;
  playing_ = true;
  positionTimer_.start();
  return true;
}

void PreviewSession::Stop() {
  positionTimer_.stop();
  endTimer_.stop();
  if (!playing_) return;
  playing_ = false;
  paused_ = false;
  playback_.Stop();
}

void PreviewSession::Finish(PlayEnd end) {
  positionTimer_.stop();
  endTimer_.stop();
  playing_ = false;
  paused_ = false;
  held_ = false;
  emit ended(end);
}

void PreviewSession::TogglePause() {
  if (!playing_) return;
  paused_ = !paused_;
  playback_.Pause();
  // A paused picture does not move: ticks would take it for a stall.
  if (paused_)
    positionTimer_.stop();
  else if (!held_)
    positionTimer_.start();
}

void PreviewSession::Press() {
  held_ = true;
  positionTimer_.stop();
}

double PreviewSession::Origin() const {
  // Before the player's first report the span's begin is where it starts.
  return clock_.StartOffset() > 0 ? double(clock_.StartOffset()) : double(span_.begin);
}

void PreviewSession::DragTo(int32_t seconds) {
  shown_ = std::max(0, seconds);
  if (playing_) playback_.Seek(Origin() + shown_);
}

void PreviewSession::SeekTo(int32_t seconds) {
  held_ = false;
  shown_ = std::max(0, seconds);
  if (!playing_) return;
  playback_.Seek(Origin() + shown_);
  clock_.Seeked(double(shown_));
  if (!paused_) positionTimer_.start();
}

double PreviewSession::ExactSeconds() const {
  if (!playing_) return shown_;
  const double reported = playback_.Position();
  // No report yet, or one from before the seek the display holds for.
  if (reported <= 0.0) return shown_;
  return std::max(0.0, reported - Origin());
}

double PreviewSession::Reported() const { return playback_.Position(); }

double PreviewSession::MediaStart() const { return playback_.MediaStart(); }

double PreviewSession::Reached() const { return std::max(0.0, playback_.Position() - Origin()); }

std::string PreviewSession::LastError() const {
  return stallError_.empty() ? playback_.LastError() : stallError_;
}

void PreviewSession::Tick() {
  if (!playing_) return;
  const PositionClock::Tick tick =
      clock_.Advance(playback_.Position(), playback_.FirstPosition(), span_.length);
  if (tick.atEnd) endTimer_.start();
  if (tick.step == PositionClock::Step::Stalled) {
    stallError_ = "the picture stopped coming";
    playback_.Stop();
    Finish(PlayEnd::Failed);
    return;
  }
  if (tick.step != PositionClock::Step::Show) return;
  shown_ = std::max(0, clock_.ShownElapsed());
  emit shown(shown_);
}

}  // namespace pcm::preview
