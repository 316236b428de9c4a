#pragma once
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "preview/PositionClock.h"
#include "preview/PreviewLibrary.h"

namespace pcm {

class ConversionList;
class Notifier;
class RowSources;
struct RunState;

namespace preview {

// The preview of one list entry inside the main window: starts and stops the
// player, follows the reported position on a one-second tick, decides when
// playback has ended or stalled, seeks with the position bars and keeps the
// entry's Status, "play_time", "play_bar" and "playpos" up to date. Lives on
// the main thread; Play runs on a worker of its own and its end comes back
// as a queued call.
class PreviewControl : public QObject {
  Q_OBJECT
 public:
  struct Parts {
    ConversionList& list;
    RunState& run;
    Notifier& notifier;
    PreviewLibrary& player;
    const RowSources& sources;
  };
  explicit PreviewControl(const Parts& parts);
  // Stops a running preview and waits for its worker.
  ~PreviewControl() override;
  PreviewControl(const PreviewControl&) = delete;
  PreviewControl& operator=(const PreviewControl&) = delete;

  // Where the picture goes; headless when sink is null. Set by the window.
  struct Surface {
    FrameSink* sink = nullptr;
    int width = 0;
    int height = 0;
  };
  void SetSurface(const Surface& surface) { surface_ = surface; }

  // The commands.
  void StartPreview();
  void StopPreview();
  void TogglePause();
  void StepBack();
  void StepForward();
  // The position bars ("play_bar", "cut_play_bar"): press, track while
  // dragging, release. Positions are on the 0..10000 scale.
  void PressBar(const std::string& bar);
  void TrackBar(const std::string& bar, int position);
  void ReleaseBar(const std::string& bar, int position);

  // One tick of the position timer; the timer calls it every second.
  void PositionTick();

  // For the trim window and the stills: whether a preview runs, which row
  // it plays (the last selected one when none runs, -1 before any) and the
  // position last reported by the player, in seconds of the media.
  bool Previewing() const;
  int PreviewedIndex() const;
  double PositionSeconds() const { return reported_.load(); }
  // The elapsed seconds last shown and the position of "play_bar".
  int ShownElapsed() const { return clock_.ShownElapsed(); }
  int BarPosition() const { return barPosition_; }
  // The position the preview shows, in whole seconds of the entry: the last
  // one its clock showed or the bar was dragged to; 0 when stopped. Taken
  // as a number, never read back from the shown text.
  int32_t ShownSeconds() const { return shownSeconds_; }
  bool PositionTimerActive() const { return positionTimer_.isActive(); }
  bool EndTimerActive() const { return endTimer_.isActive(); }

  // The list click that follows a step to another entry.
  std::function<void()> listClickedHook;

 signals:
  // The video panel is shown (a preview starts) or hidden (it stops).
  void panelShown(bool shown);
  // A bar's knob moved to position (0..10000).
  void barMoved(const QString& bar, int position);
  // A Play of this preview returned (after its end is handled).
  void playReturned(PlayEnd end);

 private:
  void PlayReturned(uint64_t generation, PlayEnd end);
  void SetRowState(int index, int state);
  int DurationOf(int index) const;
  int TotalOf(int index) const;
  void ShowBar(const std::string& bar, int position);
  void JoinWorker();

  Parts parts_;
  Surface surface_;
  QTimer positionTimer_;
  QTimer endTimer_;
  std::thread worker_;
  uint64_t generation_ = 0;  // counts starts; a stale play's end is ignored

  std::atomic<double> reported_{0};
  std::atomic<double> firstReported_{0};
  PositionClock clock_;
  int32_t shownSeconds_ = 0;
  int barPosition_ = 0;
};

}  // namespace preview
}  // namespace pcm
