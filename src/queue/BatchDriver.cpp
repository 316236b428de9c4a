#include "queue/BatchDriver.h"

#include <QFileInfo>

#include "engine/Progress.h"
#include "ui/CoreApp.h"

namespace pcm {

BatchDriver::BatchDriver(CoreApp& app) : app_(app) {
  app_.engine.entryEndedHook = [this](EncoderJob& job) { EntryEnded(job); };
}

bool BatchDriver::EntryFailed(const JobOutcome& outcome, const std::string& outputFile) {
  if (!outcome.Succeeded()) return true;
  // An encoder that exits 0 without writing anything did not convert.
  QFileInfo out(QString::fromStdString(outputFile));
  return !out.isFile() || out.size() == 0;
}

int BatchDriver::NextChecked(int after) const {
  for (int i = after + 1; i < app_.list.Count(); ++i)
    if (app_.list.Row(i).checked) return i;
  return app_.list.Count();
}

void BatchDriver::StartBatch() {
  if (app_.Refused(true, false)) return;
  if (app_.run.converting) {
    if (app_.engine.IsPaused()) {
      app_.engine.Resume();
      pauseCaption = "Pause";
      return;
    }
    app_.ui().Warning(app_.LoadMessage(26));
    return;
  }
  if (app_.list.Count() == 0) return;
  int first = NextChecked(-1);
  if (first >= app_.list.Count()) {
    app_.ui().Information("Please select one file.");
    return;
  }
  app_.list.currentPosition = first;
  app_.progress.creep = 0;
  app_.run.converting = true;
  pauseCaption = "Pause";
  app_.UpdateCommandStates();
  RunFrom(first);
}

intputrec BatchDriver::FileJobRecord(const ListRow& row) {
  intputrec rec = app_.engine.record;  // keeps EncoderPath and WorkDir
  rec.OutputFile = app_.options.OutputFilePath(row);
  rec.InputFile = row.entry.sourcePath;
  app_.options.FillProfileOptions(rec, row);
  rec.DurationSecs = ParseClock(row.entry.duration);
  // Both are always given, also for an untrimmed entry.
  rec.StartOpt = " -ss " + FormatClock(row.trim.begin);
  rec.LengthOpt = " -t " + row.entry.duration;
  return rec;
}

std::shared_ptr<EncoderJob> BatchDriver::StartEntry(int pos) {
  if (app_.program.DvdMode()) {
    if (!dvdEntryStep) throw CommandError("DVD rows cannot be converted by this build");
    return dvdEntryStep(pos);
  }
  // What a previous batch left on the row no longer applies.
  app_.list.Row(pos).outputFile.clear();
  app_.list.Row(pos).failureLines.clear();
  intputrec rec = FileJobRecord(app_.list.Row(pos));
  app_.list.Row(pos).outputFile = rec.OutputFile;
  app_.list.NotifyRowChanged(pos);
  app_.engine.record = rec;
  return app_.engine.StartEncoderJob(rec);
}

void BatchDriver::RunFrom(int pos) {
  // An entry whose job cannot even be built fails here and the batch goes on
  // with the next checked entry; a loop, so many such entries cannot nest.
  while (app_.list.Valid(pos)) {
    app_.list.currentPosition = pos;
    try {
      job_ = StartEntry(pos);
      return;
    } catch (const std::exception& e) {
      job_.reset();
      MarkFailed(pos, {e.what()});
      pos = NextChecked(pos);
    }
  }
  app_.list.currentPosition = app_.list.Count();
  BatchOver();
}

void BatchDriver::MarkFailed(int pos, std::vector<std::string> lines) {
  if (!app_.list.Valid(pos)) return;
  app_.list.Row(pos).failureLines = std::move(lines);
  app_.list.SetStatus(pos, kFailed);
}

void BatchDriver::EntryEnded(EncoderJob& job) {
  if (!app_.run.converting || !job_ || job_.get() != &job) return;
  job_.reset();
  int pos = app_.list.currentPosition;
  if (app_.list.Valid(pos)) {
    ListRow& row = app_.list.Row(pos);
    const JobOutcome& o = job.outcome;
    bool failed = EntryFailed(o, row.outputFile);
    if (failed) {
      row.failureLines = o.lastLines;
      if (row.failureLines.empty() && !o.error.empty()) row.failureLines.push_back(o.error);
      if (o.Succeeded()) row.failureLines.push_back("No output was written to " + row.outputFile);
    }
    if (row.checked) app_.list.SetStatus(pos, failed ? kFailed : kFinish);
  }
  // Whether a later row is converted is decided by its check box now.
  RunFrom(NextChecked(pos));
}

void BatchDriver::BatchOver() {
  app_.run.converting = false;
  pauseCaption = "Pause";
  app_.UpdateCommandStates();
  app_.ShowConvertProgress(0);
  switch (app_.settings.finishAction) {
    case 1:
      app_.system().OpenFolder(app_.settings.outputDirectory);
      break;
    case 2:
      app_.system().Shutdown();
      break;
    default:
      break;
  }
  if (batchOverHook) batchOverHook();
}

void BatchDriver::PauseOrContinue() {
  if (!app_.run.converting) return;
  if (app_.engine.IsPaused()) {
    app_.engine.Resume();
  } else {
    app_.engine.Pause();
  }
  pauseCaption = app_.engine.IsPaused() ? "Continue" : "Pause";
}

void BatchDriver::StopBatch() {
  if (!app_.run.converting) return;
  app_.engine.Terminate();
  job_.reset();
  int pos = app_.list.currentPosition;
  if (app_.list.Valid(pos)) app_.list.SetStatus(pos, kStop);
  app_.ShowConvertProgress(0);
  app_.list.currentPosition = app_.list.Count() + 1;
  app_.run.converting = false;
  app_.progress.StopCreep();
  pauseCaption = "Pause";
  app_.UpdateCommandStates();
  if (batchOverHook) batchOverHook();
}

}  // namespace pcm
