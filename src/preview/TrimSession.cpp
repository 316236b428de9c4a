#include "preview/TrimSession.h"

#include <algorithm>
#include <cmath>

#include "engine/Progress.h"
#include "preview/PlaySource.h"
#include "preview/TrimPlayback.h"
#include "queue/OptionAssembly.h"
#include "queue/ConversionList.h"
#include "queue/Trim.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

constexpr int kJumpSeconds = 30;

}  // namespace

TrimSession::TrimSession(const Parts& parts) : parts_(parts) {
  positionTimer.setInterval(1000);
  connect(&positionTimer, &QTimer::timeout, this, [this] { PositionTick(); });
  endTimer.setInterval(10);
  endTimer.setSingleShot(true);
  connect(&endTimer, &QTimer::timeout, this, [this] { Stop(); });
  parts_.playback.endedHook = [this] { PlayEnded(); };
}

TrimSession::~TrimSession() {
  parts_.playback.endedHook = nullptr;
  if (Previewing()) parts_.playback.Stop();
}

bool TrimSession::IsOpen() const { return parts_.run.trimWindowOpen; }

bool TrimSession::Previewing() const { return IsOpen() && parts_.run.previewing; }

bool TrimSession::Open() {
  if (parts_.notifier.Refused(true, true)) return false;
  if (!parts_.run.titleView) {
    parts_.notifier.ui().Warning(parts_.notifier.LoadMessage(28));
    return false;
  }
  parts_.run.trimWindowOpen = true;
  selected_ = -1;
  previewed_ = 0;
  emit rowsReset();
  if (RowCount() > 0) SelectRow(0);
  emit opened();
  return true;
}

void TrimSession::Close() {
  if (!IsOpen()) return;
  if (parts_.run.previewing) Stop();
  for (int i = 0; i < parts_.list.Count(); ++i) {
    WriteTrimLength(parts_.list.Row(i));
    parts_.list.NotifyRowChanged(i);
  }
  parts_.options.RefreshSizeEstimates();
  parts_.run.trimWindowOpen = false;
  parts_.notifier.UpdateCommandStates();
  emit closed();
}

void TrimSession::SelectRow(int row) {
  if (!IsOpen() || !parts_.list.Valid(row) || parts_.run.previewing) return;
  selected_ = row;
  previewed_ = row;
  const TrimRecord& t = parts_.list.Row(row).trim;
  SetBar(0);
  Display& d = parts_.notifier.display();
  d.SetText("cut_begin_time", FormatClock(t.begin));
  d.SetText("cut_end_time", FormatClock(t.end));
  d.SetText("cut_play_time", FormatClock(0));
}

void TrimSession::Play() {
  if (!IsOpen() || !parts_.list.Valid(selected_)) return;
  if (parts_.run.converting) {
    parts_.notifier.ui().Warning(parts_.notifier.LoadMessage(26));
    return;
  }
  if (parts_.run.paused) TogglePause();
  if (parts_.run.previewing) return;
  previewed_ = selected_;
  parts_.run.previewing = true;
  clock_.Start();
  // A DVD row plays its sectors through the DVD protocol that the trim
  // window's player registers, with the row's audio stream.
  if (!parts_.playback.Start(preview::PlaySourceOf(parts_.sources, parts_.list.Row(previewed_)), sink, panelWidth,
                             panelHeight)) {
    PlayEnded();
    return;
  }
  positionTimer.start();
  parts_.notifier.UpdateCommandStates();
  emit playStateChanged();
}

void TrimSession::Stop() {
  endTimer.stop();
  if (!parts_.run.previewing) return;
  parts_.playback.Stop();
  PlayEnded();
}

void TrimSession::PlayEnded() {
  endTimer.stop();
  positionTimer.stop();
  Display& d = parts_.notifier.display();
  ShowStrip(d, "cutplaypos", kCutPlayStripWidth, 0);
  ShowStrip(d, "playpos", kPlayStripWidth, 0);
  d.SetText("play_time", FormatClock(0));
  SetBar(0);
  parts_.run.previewing = false;
  parts_.run.paused = false;
  parts_.notifier.UpdateCommandStates();
  emit playStateChanged();
}

void TrimSession::TogglePause() {
  if (!parts_.run.previewing) return;
  parts_.run.paused = !parts_.run.paused;
  parts_.playback.Pause();
  if (parts_.run.paused)
    positionTimer.stop();
  else
    positionTimer.start();
  emit playStateChanged();
}

void TrimSession::SetBegin() {
  if (!IsOpen() || !parts_.list.Valid(previewed_)) return;
  const std::string text = parts_.notifier.display().Text("cut_play_time");
  ListRow& row = parts_.list.Row(previewed_);
  std::string refusal = SetTrimRange(row.trim, ParseClock(text), row.trim.end);
  if (!refusal.empty()) {
    parts_.notifier.ui().Warning("The begin was not set. " + refusal);
    return;
  }
  parts_.notifier.display().SetText("cut_begin_time", FormatClock(row.trim.begin));
  emit rowChanged(previewed_);
}

void TrimSession::SetEnd() {
  if (!IsOpen() || !parts_.list.Valid(previewed_)) return;
  const std::string text = parts_.notifier.display().Text("cut_play_time");
  ListRow& row = parts_.list.Row(previewed_);
  std::string refusal = SetTrimRange(row.trim, row.trim.begin, ParseClock(text));
  if (!refusal.empty()) {
    parts_.notifier.ui().Warning("The end was not set. " + refusal);
    return;
  }
  parts_.notifier.display().SetText("cut_end_time", FormatClock(row.trim.end));
  emit rowChanged(previewed_);
}

void TrimSession::JumpTo(int32_t target) {
  positionTimer.stop();
  parts_.playback.Seek(target);
  clock_.Seeked(target);
  positionTimer.start();
}

void TrimSession::JumpBack() {
  if (!Previewing()) return;
  int32_t t = ParseClock(parts_.notifier.display().Text("cut_play_time"));
  if (t - kJumpSeconds >= 1) JumpTo(t - kJumpSeconds);
}

void TrimSession::JumpForward() {
  if (!Previewing() || !parts_.list.Valid(previewed_)) return;
  int32_t t = ParseClock(parts_.notifier.display().Text("cut_play_time"));
  if (t + kJumpSeconds < BarSpan(previewed_)) JumpTo(t + kJumpSeconds);
}

int32_t TrimSession::BarSpan(int index) const {
  if (!parts_.list.Valid(index)) return 0;
  const ListRow& row = parts_.list.Row(index);
  return row.trim.total > 0 ? row.trim.total : ParseClock(row.entry.duration);
}

void TrimSession::SetBar(int position) {
  bar_ = std::clamp(position, 0, 10000);
  emit barMoved(bar_);
}

void TrimSession::BarPressed() {
  if (!IsOpen() || parts_.run.converting) return;
  parts_.run.dragging = true;
  if (parts_.run.previewing) positionTimer.stop();
}

void TrimSession::BarTracked(int position) {
  if (!IsOpen() || !parts_.run.dragging || parts_.list.Count() == 0) return;
  SetBar(std::min(position, 10000));
  int32_t t = int32_t(int64_t(bar_) * BarSpan(previewed_) / 10000);
  parts_.notifier.display().SetText("cut_play_time", FormatClock(t));
  ShowStrip(parts_.notifier.display(), "cutplaypos", kCutPlayStripWidth, bar_);
  if (parts_.run.previewing) parts_.playback.Seek(t);
}

void TrimSession::BarReleased(int position) {
  if (!IsOpen() || parts_.run.converting) return;
  if (parts_.run.previewing) {
    double target =
        double(int64_t(std::clamp(position, 0, 10000)) * BarSpan(previewed_) / 10000) + clock_.StartOffset();
    parts_.playback.Seek(target);
    clock_.Seeked(target);
    if (!parts_.run.paused) positionTimer.start();
    ShowStrip(parts_.notifier.display(), "cutplaypos", kCutPlayStripWidth, position);
  }
  parts_.run.dragging = false;
}

void TrimSession::PositionTick() {
  if (!Previewing()) return;
  // The end is the entry's whole length: an entry trimmed before still
  // plays all of its source here. Unknown length: it plays until the player
  // says it ended.
  const auto tick =
      clock_.Advance(parts_.playback.Position(), parts_.playback.FirstPosition(), BarSpan(previewed_));
  if (tick.atEnd) endTimer.start();
  if (tick.step == preview::PositionClock::Step::Stalled) {
    positionTimer.stop();
    Stop();
    return;
  }
  if (tick.step == preview::PositionClock::Step::Show) ShowPosition(clock_.ShownElapsed());
}

void TrimSession::ShowPosition(int32_t seconds) {
  Display& d = parts_.notifier.display();
  d.SetText("cut_play_time", FormatClock(seconds));
  if (parts_.run.dragging) return;
  int32_t span = BarSpan(previewed_);
  int p = span > 0 ? int(std::min<int64_t>(int64_t(seconds) * 10000 / span, 10000)) : 0;
  SetBar(p);
  ShowStrip(d, "cutplaypos", kCutPlayStripWidth, p);
}

int TrimSession::RowCount() const { return IsOpen() ? parts_.list.Count() : 0; }

std::string TrimSession::RowTitle(int row) const {
  return parts_.list.Valid(row) ? parts_.list.Row(row).caption : std::string();
}

std::string TrimSession::RowBegin(int row) const {
  return parts_.list.Valid(row) ? FormatClock(parts_.list.Row(row).trim.begin) : std::string();
}

std::string TrimSession::RowEnd(int row) const {
  return parts_.list.Valid(row) ? FormatClock(parts_.list.Row(row).trim.end) : std::string();
}

}  // namespace pcm
