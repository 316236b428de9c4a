#include "preview/PreviewControl.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "engine/Progress.h"
#include "preview/PlaySource.h"
#include "queue/ConversionList.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm::preview {
namespace {

bool IsCutBar(const std::string& bar) { return bar == "cut_play_bar"; }

}  // namespace

PreviewControl::PreviewControl(const Parts& parts) : parts_(parts) {
  positionTimer_.setInterval(1000);
  connect(&positionTimer_, &QTimer::timeout, this, &PreviewControl::PositionTick);
  endTimer_.setInterval(10);
  endTimer_.setSingleShot(true);
  connect(&endTimer_, &QTimer::timeout, this, &PreviewControl::StopPreview);
}

PreviewControl::~PreviewControl() {
  if (parts_.run.previewing) {
    parts_.run.previewing = false;
    parts_.player.Stop();
    parts_.player.DestroyPreviewWindow();
  }
  JoinWorker();
}

bool PreviewControl::Previewing() const { return parts_.run.previewing; }

int PreviewControl::PreviewedIndex() const { return parts_.list.previewedEntry; }

void PreviewControl::SetRowState(int index, int state) {
  if (parts_.list.Valid(index)) parts_.list.SetState(index, EntryState(state));
}

int PreviewControl::DurationOf(int index) const {
  return parts_.list.Valid(index) ? ParseClock(parts_.list.Row(index).time) : 0;
}

int PreviewControl::TotalOf(int index) const {
  if (!parts_.list.Valid(index)) return 0;
  const ListRow& row = parts_.list.Row(index);
  return row.trim.total > 0 ? row.trim.total : ParseClock(row.entry.duration);
}

void PreviewControl::ShowBar(const std::string& bar, int position) {
  barPosition_ = position;
  emit barMoved(QString::fromStdString(bar), position);
}

void PreviewControl::JoinWorker() {
  if (worker_.joinable()) worker_.join();
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

  // A stall seen in an earlier preview says nothing about this one.
  clock_.Start();
  reported_ = 0.0;
  // The worker of the previous preview has returned from Play by now.
  JoinWorker();
  parts_.player.InitPreviewWindow(surface_.sink, surface_.width, surface_.height);
  firstReported_ = 0.0;
  parts_.player.SetEventFuntion([this](double seconds) {
    reported_ = seconds;
    // The first position above 0 is where the media starts; a tick comes
    // only a second later, when playback has moved on.
    double none = 0.0;
    if (seconds > 0.0) firstReported_.compare_exchange_strong(none, seconds);
  });
  parts_.player.Seek(0);
  SetRowState(selected, int(EntryState::Playing));

  // A DVD row plays its sectors through the player's DVD protocol, with the
  // row's audio stream.
  const PlaySource source = PlaySourceOf(parts_.sources, parts_.list.Row(selected));
  const std::string path = source.path;
  parts_.player.SelectAudioStream(source.audioStream);
  const uint64_t generation = ++generation_;
  try {
    worker_ = std::thread([this, path, generation] {
      const PlayEnd end = parts_.player.Play(path);
      // Not a waiting hand-over: the main thread may be in StopPreview,
      // waiting for this Play to return.
      QMetaObject::invokeMethod(
          this, [this, generation, end] { PlayReturned(generation, end); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    // No worker: nothing plays, so nothing is left looking as if it did.
    StopPreview();
    return;
  }
  positionTimer_.start();
}

void PreviewControl::PlayReturned(uint64_t generation, PlayEnd end) {
  // A preview that was stopped (and maybe started again) meanwhile has
  // already been handled.
  if (generation == generation_ && parts_.run.previewing) StopPreview();
  emit playReturned(end);
}

void PreviewControl::StopPreview() {
  if (parts_.run.previewing) {
    parts_.run.previewing = false;
    parts_.player.Stop();
    parts_.player.DestroyPreviewWindow();
    JoinWorker();
  }
  // During a conversion the rows' Status belongs to the batch.
  if (!parts_.run.converting) SetRowState(parts_.list.previewedEntry, int(EntryState::Stopped));
  emit panelShown(false);
  positionTimer_.stop();
  endTimer_.stop();
  ShowBar("play_bar", 0);
  Display& display = parts_.notifier.display();
  ShowStrip(display, "playpos", kPlayStripWidth, 0);
  ShowStrip(display, "cutplaypos", kCutPlayStripWidth, 0);
  display.SetText("play_time", "00:00:00");
  shownSeconds_ = 0;
  parts_.run.previewing = false;
  // A paused preview that stops is not paused any more: the next one starts
  // playing and its pause command pauses it.
  parts_.run.paused = false;
  parts_.notifier.UpdateCommandStates();
}

void PreviewControl::TogglePause() {
  if (!parts_.run.previewing) return;
  parts_.run.paused = !parts_.run.paused;
  parts_.player.Pause();
  if (parts_.run.paused) {
    positionTimer_.stop();
    SetRowState(parts_.list.previewedEntry, int(EntryState::Paused));
  } else {
    positionTimer_.start();
    SetRowState(parts_.list.previewedEntry, int(EntryState::Playing));
  }
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
  if (parts_.run.previewing) positionTimer_.stop();
}

void PreviewControl::TrackBar(const std::string& bar, int position) {
  if (parts_.list.Count() == 0 || !parts_.run.dragging) return;
  barPosition_ = std::clamp(position, 0, 10000);
  const int64_t t = int64_t(barPosition_) * DurationOf(parts_.list.previewedEntry) / 10000;
  shownSeconds_ = int32_t(t);
  Display& display = parts_.notifier.display();
  if (IsCutBar(bar)) {
    display.SetText("cut_play_time", FormatClock(int32_t(t)));
    ShowStrip(display, "cutplaypos", kCutPlayStripWidth, barPosition_);
  } else {
    display.SetText("play_time", FormatClock(int32_t(t)));
    ShowStrip(display, "playpos", kPlayStripWidth, barPosition_);
  }
  if (parts_.run.previewing) parts_.player.Seek(double(t));
}

void PreviewControl::ReleaseBar(const std::string& bar, int position) {
  if (parts_.run.converting) return;
  const int p = std::clamp(position, 0, 10000);
  const int64_t target = int64_t(p) * DurationOf(parts_.list.previewedEntry) / 10000 + clock_.StartOffset();
  if (parts_.run.previewing) {
    parts_.player.Seek(double(target));
    clock_.Seeked(double(target));
    positionTimer_.start();
    Display& display = parts_.notifier.display();
    if (IsCutBar(bar))
      ShowStrip(display, "cutplaypos", kCutPlayStripWidth, p);
    else
      ShowStrip(display, "playpos", kPlayStripWidth, p);
  }
  barPosition_ = p;
  parts_.run.dragging = false;
}

void PreviewControl::PositionTick() {
  const int index = parts_.list.previewedEntry;
  // An entry whose length is not known ends with its media, not at once.
  const PositionClock::Tick tick = clock_.Advance(reported_.load(), firstReported_.load(), DurationOf(index));
  if (tick.atEnd) endTimer_.start();
  if (tick.step == PositionClock::Step::Stalled) {
    positionTimer_.stop();
    StopPreview();
    return;
  }
  if (tick.step != PositionClock::Step::Show) return;
  const int shown = clock_.ShownElapsed();
  shownSeconds_ = std::max(0, shown);

  const int total = TotalOf(index);
  // An entry of unknown length keeps its bar at the start.
  const int p = total > 0 ? int(std::clamp<int64_t>(int64_t(shown) * 10000 / total, 0, 10000)) : 0;
  Display& display = parts_.notifier.display();
  const bool trim = parts_.run.trimWindowOpen;
  display.SetText(trim ? "cut_play_time" : "play_time", FormatClock(std::max(0, shown)));
  if (parts_.run.dragging) return;
  if (trim) {
    ShowBar("cut_play_bar", p);
    ShowStrip(display, "cutplaypos", kCutPlayStripWidth, p);
  } else {
    ShowBar("play_bar", p);
    ShowStrip(display, "playpos", kPlayStripWidth, p);
  }
}

}  // namespace pcm::preview
