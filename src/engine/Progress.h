#pragma once
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/ClockText.h"

namespace pcm {

// Seconds of the last "time=SECONDS[.FRACTION] ... bitrate=" report in the
// text, fractions kept ("time=N/A" counts as nothing written: 0), or -1 when
// it holds none.
double LastReportedTime(std::string_view text);

// Whole seconds of the first "time=... bitrate=" report in the text, or 0.
// Negative times and times above 100000 seconds are ignored (0).
int32_t ParseTimeSeconds(const std::string& text);

// "12.34%" style text of a 0..10000 progress value.
std::string ProgressPercentText(int32_t value);

// Turns the encoder's output into progress on the 0..10000 scale. Every new
// value of the entry being converted goes to the sink (the conversion strip
// and the entry's row); the parser knows neither. Lives on the main thread.
class Progress : public QObject {
  Q_OBJECT
 public:
  using Sink = std::function<void(int32_t value)>;
  explicit Progress(Sink sink);

  // Parses the unconsumed output of the current job at every line end and
  // removes the consumed lines from `text`. `durationSecs` is the entry's
  // length; the time the encoder last said it wrote goes to
  // `reportedSeconds` when given.
  void ParseEncoderOutput(std::string& text, int32_t durationSecs, double* reportedSeconds = nullptr);
  // Adds the creep (unless it is still running) and hands the value on.
  void ShowEntryProgress(int32_t v);

  // Start-up creep, used while a DVD entry has not reported a time yet.
  void StartCreep() { Timer2.start(); }
  void StopCreep() { Timer2.stop(); }
  bool CreepRunning() const { return Timer2.isActive(); }

  // The raw encoder output last kept for the "hint" line.
  std::string statusLine;
  // Creep in progress units; reset when a batch starts.
  int32_t creep = 0;
  // 10000 minus the creep at the moment a time value was applied.
  int32_t remainingSpan = 10000;
  QTimer Timer2;
  // One tick of the creep timer: the counter grows by 0.01 %, unless the
  // hold says the job is paused (a paused job makes no headway to show).
  void CreepTick();
  std::function<bool()> creepHeld;

 private:
  Sink sink_;
};

}  // namespace pcm
