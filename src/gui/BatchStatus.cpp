#include "gui/BatchStatus.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include "core/Application.h"

namespace pcm {

BatchStatus::BatchStatus(CoreApp& app, QSystemTrayIcon* tray, QWidget* window, QString restingTip)
    : app_(app), tray_(tray), window_(window), restingTip_(std::move(restingTip)) {
  connect(&tick_, &QTimer::timeout, this, &BatchStatus::Refresh);
  // A row change follows every progress report, which has just set the
  // hint line to the encoder's line: the batch's place goes back before it.
  connect(&app_.list, &ConversionList::rowChanged, this, &BatchStatus::Refresh);
  app_.batch.batchOverHook = [this] { BatchOver(); };
}

BatchStatus::~BatchStatus() { app_.batch.batchOverHook = nullptr; }

void BatchStatus::Refresh() {
  const bool converting = app_.run.converting;
  if (converting && !running_) {
    running_ = true;
    summary_.clear();
    summaryAfterEnd_ = false;
    estimate_.Start(app_.list, app_.batch.JobsAtOnce());
    tick_.start(1000);
  }
  if (summaryAfterEnd_ && !running_ && !app_.engine.Running()) {
    summaryAfterEnd_ = false;
    tick_.stop();
    app_.display().SetText("hint", summary_);
  }
  if (!running_) return;
  if (!converting) {
    // The batch driver's end step follows and reports the end.
    running_ = false;
    if (!summaryAfterEnd_) tick_.stop();
    tray_->setToolTip(restingTip_);
    return;
  }
  const bool paused = app_.engine.IsPaused();
  estimate_.Observe(app_.list, paused, app_.batch.RunningEntries());
  const BatchPlace place = estimate_.Place(app_.list);
  if (paused) {
    app_.display().SetText("hint", BatchPausedText(place));
    tray_->setToolTip(restingTip_ + "\nPaused at " + QString::fromStdString(BatchPlaceText(place)));
    return;
  }
  std::string hint = BatchPlaceText(place);
  if (!app_.progress.statusLine.empty()) hint += "  |  " + app_.progress.statusLine;
  app_.display().SetText("hint", hint);
  tray_->setToolTip(restingTip_ + "\nConverting " + QString::fromStdString(BatchPlaceText(place)));
}

void BatchStatus::BatchOver() {
  Refresh();
  // The batch's last step: the entries it passed at its end count too.
  estimate_.Observe(app_.list, false);
  summary_ = BatchSummaryText(estimate_.Tally(app_.list));
  app_.display().SetText("hint", summary_);
  if (app_.engine.Running()) {
    summaryAfterEnd_ = true;
    tick_.start(100);
  }
  if (!window_->isVisible() && tray_->isVisible())
    tray_->showMessage(window_->windowTitle(), QString::fromStdString(summary_));
}

}  // namespace pcm
