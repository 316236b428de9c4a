#include "queue/BatchDriver.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "core/Application.h"

namespace pcm {

BatchDriver::BatchDriver(CoreApp& app) : app_(app) {
  app_.engine.entryEndedHook = [this](EncoderJob& job) { EntryEnded(job); };
}

std::string BatchDriver::EndLine(const JobOutcome& o) {
  if (!o.started || o.stoppedByUser) return {};
  if (o.termSignal != 0) {
    const char* name = strsignal(o.termSignal);
    return "The encoder was killed by signal " + std::to_string(o.termSignal) + " (" + (name ? name : "?") +
           ")";
  }
  if (!o.exited || o.exitCode == 0) return {};
  std::string line = "The encoder exited with code " + std::to_string(o.exitCode);
  // The adapter ends with 128 + N when a program it runs was killed by N.
  if (o.exitCode > 128 && o.exitCode < 128 + 32) {
    const char* name = strsignal(o.exitCode - 128);
    line += std::string(" (the program it ran was killed by signal ") + std::to_string(o.exitCode - 128) +
            ", " + (name ? name : "?") + ")";
  }
  return line;
}

std::string BatchDriver::FailureReason(const JobOutcome& outcome, const std::string& writtenFile,
                                       const std::string& shownName, int32_t expectedSeconds) {
  if (!outcome.Succeeded()) {
    std::string line = EndLine(outcome);
    return line.empty() ? (outcome.error.empty() ? std::string("The encoder did not finish") : outcome.error)
                        : line;
  }
  // An encoder that exits 0 without writing anything did not convert.
  struct stat st;
  if (stat(writtenFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
    return "No output was written to " + shownName;
  double written = outcome.reportedSeconds;
  if (written >= 0 && expectedSeconds - written > 1 && written < expectedSeconds * 0.9) {
    char text[96];
    std::snprintf(text, sizeof text, "The output is %.1f s of %.1f s", written, double(expectedSeconds));
    return text;
  }
  return {};
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

intputrec BatchDriver::FileJobRecord(const ListRow& row,
                                     const std::function<bool(const std::string&)>& reserved) {
  intputrec rec = app_.engine.record;  // keeps EncoderPath and WorkDir
  rec.TempFile.clear();                // reserved only when the entry starts
  rec.OutputFile = app_.options.OutputFilePath(row, reserved);
  rec.InputFile = row.entry.sourcePath;
  app_.options.FillProfileOptions(rec, row);
  rec.DurationSecs = ParseClock(row.entry.duration);
  // Both are given also for an untrimmed entry; but a length of nothing
  // (a clip shorter than a second, an unknown length) would make the
  // encoder write an empty file, so then the whole rest is converted.
  rec.StartOpt = " -ss " + FormatClock(row.trim.begin);
  bool someLength = row.entry.duration.find_first_of("123456789") != std::string::npos;
  rec.LengthOpt = someLength ? " -t " + row.entry.duration : std::string();
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
  // The encoder writes to a reserved hidden file that gets the name only
  // when the job succeeded: no existing file is replaced, also when another
  // program takes the name meanwhile, and no broken file carries it.
  std::string error;
  rec.TempFile = ReserveTemporaryOutput(rec.OutputFile, error);
  if (rec.TempFile.empty()) throw CommandError(error);
  caption_ = app_.list.Row(pos).caption;
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
    const std::string& written = job.record.TempFile.empty() ? job.record.OutputFile : job.record.TempFile;
    std::string reason = FailureReason(o, written, row.outputFile, job.record.DurationSecs);
    if (reason.empty() && !job.record.TempFile.empty()) reason = NameOutput(job, row);
    bool failed = !reason.empty();
    if (failed) {
      row.failureLines = o.lastLines;
      if (row.failureLines.empty() && !o.error.empty()) row.failureLines.push_back(o.error);
      // How the encoder ended heads its last lines; what is wrong with an
      // output it wrote follows them.
      if (!o.Succeeded()) {
        if (reason != o.error) row.failureLines.insert(row.failureLines.begin(), reason);
      } else {
        row.failureLines.push_back(reason);
      }
    }
    if (row.checked) app_.list.SetStatus(pos, failed ? kFailed : kFinish);
  }
  // Whether a later row is converted is decided by its check box now.
  RunFrom(NextChecked(pos));
}

std::string BatchDriver::NameOutput(EncoderJob& job, ListRow& row) {
  const intputrec& rec = job.record;
  size_t slash = rec.OutputFile.rfind('/');
  std::string dir = rec.OutputFile.substr(0, slash + 1);
  size_t dot = rec.OutputFile.rfind('.');
  std::string ext = dot == std::string::npos || dot < slash ? std::string() : rec.OutputFile.substr(dot);
  std::string caption = caption_;
  std::string error;
  std::string named = MoveToFinalName(
      rec.TempFile, rec.OutputFile,
      [&](int n) { return OptionAssembly::NumberedOutputPath(dir, caption, n, ext); }, error);
  if (named.empty()) return error;
  job.record.TempFile.clear();
  if (named != row.outputFile) {
    row.outputFile = named;
    app_.list.NotifyRowChanged(app_.list.currentPosition);
  }
  return {};
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
