#pragma once
#include <QObject>
#include <cstdint>
#include <string>

namespace pcm {

class ConversionList;
class Notifier;
class RowSources;
class OptionAssembly;
struct RunState;
namespace preview {
class FrameSink;
class PreviewSession;
}  // namespace preview

// The trim window's rules: its list (one row per entry of the conversion
// list), playing the selected entry whole in the window's own panel through
// the preview session, taking the begin and the end from the shown
// position, the 30-second jumps, the bar,
// and on close writing each entry's length back as its duration. Lives on
// the main thread; the window shows its state and forwards its clicks.
class TrimSession : public QObject {
  Q_OBJECT
 public:
  // The list it trims, the run flags (previewing, paused, dragging, the
  // trim window's flag, the chapter view), the notifier for refusals,
  // messages, command states and the display's texts, the option assembly
  // for the size estimates, the preview session and the row sources.
  struct Parts {
    ConversionList& list;
    RunState& run;
    Notifier& notifier;
    OptionAssembly& options;
    preview::PreviewSession& session;
    const RowSources& sources;
  };
  explicit TrimSession(const Parts& parts);
  ~TrimSession() override;

  // Opens the window's state: refused while previewing, converting, or when
  // DVD entries are listed as chapters. Selects the first row. True when the
  // window may be shown.
  bool Open();
  // Stops a preview, writes every entry's length (end - begin) back as its
  // duration text and "Time" column, refreshes the size estimates and marks
  // the window closed. Nothing when it is not open.
  void Close();
  bool IsOpen() const;

  // A click on a row; ignored while a preview plays.
  void SelectRow(int row);
  int SelectedRow() const { return selected_; }
  // The entry the begin and end apply to: the one last selected or played.
  int PreviewedIndex() const { return previewed_; }

  // "play": plays the selected row's entry, or resumes a paused one.
  void Play();
  // "stop": ends the preview; the shown position stays for "begin"/"end".
  void Stop();
  // "pause": toggles while previewing.
  void TogglePause();
  // "begin" / "end": take the shown position (the session's) as the
  // previewed entry's begin or end. A begin not before the end, or an end
  // not after the begin, is refused with a warning and changes nothing.
  void SetBegin();
  void SetEnd();
  // "hou" / "qian": 30 seconds back or forward while previewing, not before
  // second 1 and not to the entry's end or beyond.
  void JumpBack();
  void JumpForward();

  // The bar "cut_play_bar": press, track and release, positions 0..10000.
  void BarPressed();
  void BarTracked(int position);
  void BarReleased(int position);
  int BarPosition() const { return bar_; }

  // One tick of the position timer: follows the player's position into the
  // time field and the bar, ends the preview at the entry's end or when the
  // position stalls.
  void PositionTick();

  // Texts of the window's list: "Title", "Begin Time", "End Time".
  int RowCount() const;
  std::string RowTitle(int row) const;
  std::string RowBegin(int row) const;
  std::string RowEnd(int row) const;

  // Where the picture goes; set by the window (none: headless).
  preview::FrameSink* sink = nullptr;
  int panelWidth = 385;
  int panelHeight = 232;

  // The session's timers run for the trim window's play.
  bool PositionTimerActive() const;
  bool EndTimerActive() const;

 signals:
  // The rows were filled anew, or one row's times changed.
  void rowsReset();
  void rowChanged(int row);
  void barMoved(int position);
  // Previewing or paused changed.
  void playStateChanged();
  // Open let the window show; Close ended it.
  void opened();
  void closed();

 private:
  // The length the bar spans for an entry: its whole length when known, so
  // that a trimmed entry still plays and seeks over all of its source.
  int32_t BarSpan(int index) const;
  void SetBar(int position);
  void ShowPosition(int32_t seconds);
  // The clean-up after a play ended by itself or was stopped.
  void PlayEnded();
  bool Previewing() const;
  bool Owns() const;

  Parts parts_;
  int selected_ = -1;
  int previewed_ = 0;
  int bar_ = 0;
};

}  // namespace pcm
