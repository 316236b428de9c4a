#include "preview/PreviewControl.h"

#include <algorithm>

#include "base/ClockText.h"
#include "engine/Progress.h"
#include "preview/PlaySource.h"
#include "queue/ConversionList.h"
#include "queue/RowSource.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm::preview {

namespace {
// Seconds a play may end before the entry's length without a word: the
// length is in whole seconds and the last frame comes a little before it.
constexpr double kEarlyEnd = 2.0;
}  // namespace

PreviewControl::PreviewControl(const Parts& parts) : parts_(parts) {
  connect(&parts_.session, &PreviewSession::shown, this, [this](int32_t seconds) {
    if (Owns()) Shown(seconds);
  });
  connect(&parts_.session, &PreviewSession::ended, this, [this](PlayEnd end) {
    if (Owns()) Ended(end);
  });
}

PreviewControl::~PreviewControl() {
  if (parts_.run.previewing && Owns()) {
    parts_.run.previewing = false;
    parts_.session.Stop();
  }
}

bool PreviewControl::Owns() const { return parts_.session.Owner() == this; }

bool PreviewControl::Previewing() const { return parts_.run.previewing; }

int PreviewControl::PreviewedIndex() const { return parts_.list.previewedEntry; }

double PreviewControl::PositionSeconds() const { return Owns() ? parts_.session.Reported() : 0.0; }

double PreviewControl::ShownSeconds() const {
  if (!parts_.run.previewing || !Owns()) return 0.0;
  return span_.begin + parts_.session.ExactSeconds();
}

double PreviewControl::MediaStart() const {
  return parts_.run.previewing && Owns() ? parts_.session.MediaStart() : 0.0;
}

bool PreviewControl::PositionTimerActive() const { return Owns() && parts_.session.PositionTimerActive(); }

bool PreviewControl::EndTimerActive() const { return Owns() && parts_.session.EndTimerActive(); }

void PreviewControl::SetRowState(int index, EntryState state) {
  if (parts_.list.Valid(index)) parts_.list.SetState(index, state);
}

void PreviewControl::ShowBar(int position) {
  barPosition_ = position;
  emit barMoved(QStringLiteral("play_bar"), position);
  ShowStrip(parts_.notifier.display(), "playpos", kPlayStripWidth, position);
}

void PreviewControl::StartPreview() {
  const int selected = parts_.list.FirstSelected();
  if (selected < 0) return;
  if (parts_.notifier.Refused(false, true)) return;
  if (parts_.run.paused) TogglePause();
  if (parts_.run.previewing) return;

  parts_.run.previewing = true;
  parts_.notifier.UpdateCommandStates();
  emit panelShown(true);
  parts_.list.previewedEntry = selected;
  parts_.list.currentPosition = selected;
  SetRowState(selected, EntryState::Playing);

  // The part a conversion takes: a trimmed entry plays from its begin for
  // its length, and the bar spans that part. A DVD row plays its sectors
  // through the player's DVD protocol, with the row's audio stream.
  const PlaySource source = PlaySourceOf(parts_.sources, parts_.list.Row(selected));
  span_ = {source.begin, source.length};
  ShowBar(0);
  parts_.notifier.display().SetText("play_time", FormatClock(0));
  if (!parts_.session.Start(this, source, span_, surface_.sink, surface_.width, surface_.height))
    Ended(PlayEnd::Failed);
}

void PreviewControl::Ended(PlayEnd end) {
  const int index = parts_.list.previewedEntry;
  std::string reason = end == PlayEnd::Failed ? parts_.session.LastError() : std::string();
  const double reached = parts_.session.Reached();
  StopPreview();
  if (!parts_.list.Valid(index)) {
    emit playReturned(end);
    return;
  }
  const ListRow& row = parts_.list.Row(index);
  // A play that ran and stopped well before the entry's length: the media
  // was cut short since it was added, or its length was wrong. The player
  // may call that end a failure (a sound device it could not open is told
  // only then), but what the person needs to know is where it ends.
  const bool early = end != PlayEnd::Stopped && !parts_.session.Stalled() && Length() > 0 &&
                     reached + kEarlyEnd < Length() && (end == PlayEnd::Ended || reached > 0);
  // A stall is told as such: the input stopped delivering, whatever the file.
  const std::string fault = (end == PlayEnd::Failed && !parts_.session.Stalled()) || early
                                ? parts_.sources.Of(row).SourceFault(row)
                                : std::string();
  if (end == PlayEnd::Failed && (fault.empty() && early)) {
    parts_.notifier.display().SetText(
        "hint", "The preview of " + row.caption + " ended early: the file ends at " +
                    FormatClock(int32_t(reached)) + ", not at " + FormatClock(Length()) + ".");
  } else if (end == PlayEnd::Failed) {
    // A preview that cannot play says why instead of just closing: what is
    // wrong with the source when something is, else the player's reason.
    if (!fault.empty()) reason = fault;
    if (reason.empty()) reason = "it could not be opened";
    parts_.notifier.display().SetText(
        "hint", "The preview of " + row.caption + " could not be played: " + reason + ".");
  } else if (early) {
    parts_.notifier.display().SetText(
        "hint", "The preview of " + row.caption + " ended early: " +
                    (fault.empty() ? "the file ends at " + FormatClock(int32_t(reached)) + ", not at " +
                                         FormatClock(Length())
                                   : fault) +
                    ".");
  }
  emit playReturned(end);
}

void PreviewControl::StopPreview() {
  if (parts_.run.previewing) {
    parts_.run.previewing = false;
    if (Owns()) parts_.session.Stop();
  }
  // During a conversion the rows' Status belongs to the batch.
  if (!parts_.run.converting) SetRowState(parts_.list.previewedEntry, EntryState::Stopped);
  emit panelShown(false);
  ShowBar(0);
  Display& display = parts_.notifier.display();
  ShowStrip(display, "cutplaypos", kCutPlayStripWidth, 0);
  display.SetText("play_time", "00:00:00");
  parts_.run.previewing = false;
  // A paused preview that stops is not paused any more: the next one starts
  // playing and its pause command pauses it.
  parts_.run.paused = false;
  parts_.notifier.UpdateCommandStates();
}

void PreviewControl::TogglePause() {
  if (!parts_.run.previewing) return;
  parts_.session.TogglePause();
  parts_.run.paused = parts_.session.Paused();
  SetRowState(parts_.list.previewedEntry, parts_.run.paused ? EntryState::Paused : EntryState::Playing);
}

void PreviewControl::StepBack() {
  ConversionList& list = parts_.list;
  for (int i = 0; i < list.Count(); ++i) list.SetSelected(i, false);
  parts_.notifier.UpdateCommandStates();
  const int index = list.previewedEntry;
  if (index < 1 || index > list.Count()) return;
  StopPreview();
  list.previewedEntry = index - 1;
  list.SelectOnly(index - 1);
  if (listClickedHook) listClickedHook();
  StartPreview();
}

void PreviewControl::StepForward() {
  ConversionList& list = parts_.list;
  for (int i = 0; i < list.Count(); ++i) list.SetSelected(i, false);
  parts_.notifier.UpdateCommandStates();
  const int index = list.previewedEntry;
  if (index > list.Count() - 2) return;
  StopPreview();
  list.previewedEntry = index + 1;
  list.SelectOnly(index + 1);
  if (listClickedHook) listClickedHook();
  StartPreview();
}

void PreviewControl::PressBar(const std::string&) {
  if (parts_.run.converting) return;
  parts_.run.dragging = true;
  if (parts_.run.previewing && Owns()) parts_.session.Press();
}

void PreviewControl::TrackBar(const std::string&, int position) {
  if (parts_.list.Count() == 0 || !parts_.run.dragging) return;
  const int p = std::clamp(position, 0, 10000);
  const int32_t t = int32_t(int64_t(p) * Length() / 10000);
  parts_.notifier.display().SetText("play_time", FormatClock(t));
  ShowBar(p);
  if (parts_.run.previewing && Owns()) parts_.session.DragTo(t);
}

void PreviewControl::ReleaseBar(const std::string&, int position) {
  if (parts_.run.converting) return;
  const int p = std::clamp(position, 0, 10000);
  if (parts_.run.previewing && Owns()) {
    parts_.session.SeekTo(int32_t(int64_t(p) * Length() / 10000));
    ShowBar(p);
  }
  barPosition_ = p;
  parts_.run.dragging = false;
}

void PreviewControl::PositionTick() {
  if (Owns()) parts_.session.Tick();
}

void PreviewControl::Shown(int32_t seconds) {
  parts_.notifier.display().SetText("play_time", FormatClock(seconds));
  if (parts_.run.dragging) return;
  // An entry of unknown length keeps its bar at the start.
  const int32_t length = Length();
  ShowBar(length > 0 ? int(std::clamp<int64_t>(int64_t(seconds) * 10000 / length, 0, 10000)) : 0);
}

}  // namespace pcm::preview
