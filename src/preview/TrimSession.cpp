#include "preview/TrimSession.h"

#include <algorithm>
#include <cmath>

#include "engine/Progress.h"
#include "preview/PlaySource.h"
#include "preview/PreviewSession.h"
#include "queue/ConversionList.h"
#include "queue/OptionAssembly.h"
#include "queue/Trim.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

constexpr int kJumpSeconds = 30;

}  // namespace

TrimSession::TrimSession(const Parts& parts) : parts_(parts) {
  connect(&parts_.session, &preview::PreviewSession::shown, this, [this](int32_t seconds) {
    if (Owns()) ShowPosition(seconds);
  });
  connect(&parts_.session, &preview::PreviewSession::ended, this, [this](preview::PlayEnd) {
    if (Owns() && parts_.run.previewing) PlayEnded();
  });
}

TrimSession::~TrimSession() {
  if (Previewing() && Owns()) parts_.session.Stop();
}

bool TrimSession::Owns() const { return parts_.session.Owner() == this; }

bool TrimSession::PositionTimerActive() const { return Owns() && parts_.session.PositionTimerActive(); }

bool TrimSession::EndTimerActive() const { return Owns() && parts_.session.EndTimerActive(); }

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
  // The length under the list is the selected entry's, trimmed now.
  if (const int i = parts_.list.FirstSelected(); i >= 0)
    parts_.notifier.display().SetText("alltime", parts_.list.Row(i).entry.duration);
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
  parts_.session.SetShown(0);
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
  // The whole entry, whatever its trim: the begin and the end are chosen
  // in it. A DVD row plays its sectors through the DVD protocol, with the
  // row's audio stream.
  preview::PlaySource source = preview::PlaySourceOf(parts_.sources, parts_.list.Row(previewed_));
  source.begin = 0;
  source.length = BarSpan(previewed_);
  if (!parts_.session.Start(this, source, {0, source.length}, sink, panelWidth, panelHeight)) {
    PlayEnded();
    return;
  }
  parts_.notifier.UpdateCommandStates();
  emit playStateChanged();
}

void TrimSession::Stop() {
  if (!parts_.run.previewing) return;
  if (Owns()) parts_.session.Stop();
  PlayEnded();
}

void TrimSession::PlayEnded() {
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
  parts_.session.TogglePause();
  parts_.run.paused = parts_.session.Paused();
  emit playStateChanged();
}

void TrimSession::SetBegin() {
  if (!IsOpen() || !parts_.list.Valid(previewed_)) return;
  ListRow& row = parts_.list.Row(previewed_);
  std::string refusal = SetTrimRange(row.trim, parts_.session.Shown(), row.trim.end);
  if (!refusal.empty()) {
    parts_.notifier.ui().Warning("The begin was not set. " + refusal);
    return;
  }
  parts_.notifier.display().SetText("cut_begin_time", FormatClock(row.trim.begin));
  emit rowChanged(previewed_);
}

void TrimSession::SetEnd() {
  if (!IsOpen() || !parts_.list.Valid(previewed_)) return;
  ListRow& row = parts_.list.Row(previewed_);
  std::string refusal = SetTrimRange(row.trim, row.trim.begin, parts_.session.Shown());
  if (!refusal.empty()) {
    parts_.notifier.ui().Warning("The end was not set. " + refusal);
    return;
  }
  parts_.notifier.display().SetText("cut_end_time", FormatClock(row.trim.end));
  emit rowChanged(previewed_);
}

void TrimSession::JumpBack() {
  if (!Previewing() || !Owns()) return;
  const int32_t t = parts_.session.Shown();
  if (t - kJumpSeconds >= 1) parts_.session.SeekTo(t - kJumpSeconds);
}

void TrimSession::JumpForward() {
  if (!Previewing() || !Owns() || !parts_.list.Valid(previewed_)) return;
  const int32_t t = parts_.session.Shown();
  if (t + kJumpSeconds < BarSpan(previewed_)) parts_.session.SeekTo(t + kJumpSeconds);
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
  if (parts_.run.previewing && Owns()) parts_.session.Press();
}

void TrimSession::BarTracked(int position) {
  if (!IsOpen() || !parts_.run.dragging || parts_.list.Count() == 0) return;
  SetBar(std::min(position, 10000));
  const int32_t t = int32_t(int64_t(bar_) * BarSpan(previewed_) / 10000);
  parts_.notifier.display().SetText("cut_play_time", FormatClock(t));
  ShowStrip(parts_.notifier.display(), "cutplaypos", kCutPlayStripWidth, bar_);
  if (parts_.run.previewing && Owns())
    parts_.session.DragTo(t);
  else
    parts_.session.SetShown(t);
}

void TrimSession::BarReleased(int position) {
  if (!IsOpen() || parts_.run.converting) return;
  if (parts_.run.previewing && Owns()) {
    const int p = std::clamp(position, 0, 10000);
    parts_.session.SeekTo(int32_t(int64_t(p) * BarSpan(previewed_) / 10000));
    ShowStrip(parts_.notifier.display(), "cutplaypos", kCutPlayStripWidth, p);
  }
  parts_.run.dragging = false;
}

void TrimSession::PositionTick() {
  if (Previewing() && Owns()) parts_.session.Tick();
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
