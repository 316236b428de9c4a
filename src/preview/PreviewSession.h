#pragma once
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <string>

#include "preview/PlaySource.h"
#include "preview/PositionClock.h"
#include "preview/PreviewLibrary.h"

namespace pcm {

class Playback;

namespace preview {

// One play of a list entry: the player started at the span's begin, the
// position clock ticked once a second, the stall test, seeks, pause and the
// end. The main window's preview and the trim window both play through the
// one session, one at a time; the one that started the play is its owner,
// and the signals are for it. Positions are seconds within the span, as
// numbers. Main thread only.
class PreviewSession : public QObject {
  Q_OBJECT
 public:
  // The part of the source a play covers: from `begin` seconds, `length`
  // seconds long (0: to the media's end, its length not known).
  struct Span {
    int32_t begin = 0;
    int32_t length = 0;
  };

  explicit PreviewSession(Playback& playback);
  ~PreviewSession() override;

  // Plays the source's span into sink (headless without one). False, and
  // nothing plays, when the player cannot start.
  bool Start(const void* owner, const PlaySource& source, Span span, FrameSink* sink, int width, int height);
  // Ends the play; `ended` is not emitted for it. The shown position stays.
  void Stop();
  bool Playing() const { return playing_; }
  bool Paused() const { return paused_; }
  // Who started the current or last play.
  const void* Owner() const { return owner_; }
  Span CurrentSpan() const { return span_; }

  void TogglePause();
  // A bar is pressed: the clock holds until the release.
  void Press();
  // The bar is dragged to `seconds`: the picture follows, the shown
  // position is that second.
  void DragTo(int32_t seconds);
  // The bar is released at `seconds`, or a jump goes there: the play
  // continues from it (paused stays paused) and the shown time holds until
  // the play has passed it.
  void SeekTo(int32_t seconds);
  // Sets the shown position while nothing plays (a new entry, a bar moved).
  void SetShown(int32_t seconds) { shown_ = seconds; }

  // The position shown, in whole seconds within the span.
  int32_t Shown() const { return shown_; }
  // The position the player reported last, within the span, to the frame;
  // the shown position when nothing plays.
  double ExactSeconds() const;
  // The position the player reported last, in its own seconds.
  double Reported() const;
  // Where the last play got to, in seconds within the span: the player's
  // last report, also once the play has ended.
  double Reached() const;
  // The media's own time at the player's position 0.
  double MediaStart() const;
  // The last play ended because its picture stopped coming.
  bool Stalled() const { return !stallError_.empty(); }
  // Why the last play failed, for messages.
  std::string LastError() const;

  // One tick of the position timer, which ticks once a second (tests may
  // tick sooner; the rules are the same).
  void Tick();
  void SetTickInterval(int ms) { positionTimer_.setInterval(ms); }
  bool PositionTimerActive() const { return positionTimer_.isActive(); }
  bool EndTimerActive() const { return endTimer_.isActive(); }

 signals:
  // A tick moved the shown position (seconds within the span).
  void shown(int32_t seconds);
  // The play ended by itself: the media's or the span's end (Ended), a
  // failure or a stalled input (Failed). Emitted after the play stopped.
  void ended(PlayEnd end);

 private:
  // Where the span's second 0 lies in the player's positions.
  double Origin() const;
  void Finish(PlayEnd end);

  Playback& playback_;
  const void* owner_ = nullptr;
  Span span_;
  bool playing_ = false;
  bool paused_ = false;
  bool held_ = false;  // a bar is pressed
  int32_t shown_ = 0;
  std::string stallError_;
  PositionClock clock_;
  QTimer positionTimer_;
  QTimer endTimer_;
};

}  // namespace preview
}  // namespace pcm
