#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "preview/PreviewLibrary.h"
#include "preview/PreviewSession.h"
#include "queue/ListRow.h"

namespace pcm {

class ConversionList;
class Notifier;
class RowSources;
struct RunState;

namespace preview {

// The preview of one list entry inside the main window: plays the part of
// the entry that will be converted (from its begin, for its length) through
// the preview session, with the bar and the time on that one scale, seeks
// with the position bar and keeps the entry's Status, "play_time",
// "play_bar" and "playpos" up to date. Lives on the main thread.
class PreviewControl : public QObject {
  Q_OBJECT
 public:
  struct Parts {
    ConversionList& list;
    RunState& run;
    Notifier& notifier;
    PreviewSession& session;
    const RowSources& sources;
  };
  explicit PreviewControl(const Parts& parts);
  // Stops a running preview.
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
  // The position bar "play_bar": press, track while dragging, release.
  // Positions are on the 0..10000 scale of the previewed part.
  void PressBar(const std::string& bar);
  void TrackBar(const std::string& bar, int position);
  void ReleaseBar(const std::string& bar, int position);

  // One tick of the position timer (the session's timer calls it).
  void PositionTick();

  // For the stills: whether a preview runs and which row it plays (the
  // last selected one when none runs, -1 before any).
  bool Previewing() const;
  int PreviewedIndex() const;
  // The position last reported by the player, in seconds of the media (it
  // stays after the preview ends).
  double PositionSeconds() const;
  int BarPosition() const { return barPosition_; }
  // The position the preview shows, in seconds from the entry's start (its
  // begin added), to the frame: where a still is taken. 0 when stopped.
  double ShownSeconds() const;
  // The media's own time at position 0 of the play (see ShownSeconds).
  double MediaStart() const;
  bool PositionTimerActive() const;
  bool EndTimerActive() const;

  // The list click that follows a step to another entry.
  std::function<void()> listClickedHook;

 signals:
  // The video panel is shown (a preview starts) or hidden (it stops).
  void panelShown(bool shown);
  // A bar's knob moved to position (0..10000).
  void barMoved(const QString& bar, int position);
  // A play of this preview ended by itself (after its end is handled).
  void playReturned(PlayEnd end);

 private:
  bool Owns() const;
  void Shown(int32_t seconds);
  void Ended(PlayEnd end);
  void SetRowState(int index, EntryState state);
  int32_t Length() const { return span_.length; }
  void ShowBar(int position);

  Parts parts_;
  Surface surface_;
  PreviewSession::Span span_;
  int barPosition_ = 0;
};

}  // namespace preview
}  // namespace pcm
