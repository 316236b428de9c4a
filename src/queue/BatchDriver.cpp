#include "queue/BatchDriver.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "engine/EncoderEngine.h"
#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "profiles/OptionAssembly.h"
#include "profiles/Settings.h"
#include "queue/ConversionList.h"
#include "ui/CommandError.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Writes the final path for the reserved one in a line, and the final file
// name for the reserved file name.
void ShowFinalName(std::string& line, const std::string& temp, const std::string& final) {
  ReplaceAll(line, temp, final);
  ReplaceAll(line, temp.substr(temp.rfind('/') + 1), final.substr(final.rfind('/') + 1));
}

}  // namespace

BatchDriver::BatchDriver(const Parts& parts) : parts_(parts) {
  parts_.engine.entryEndedHook = [this](EncoderJob& job) { EntryEnded(job); };
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

std::string BatchDriver::NoOutputReason(const JobOutcome& outcome, const std::string& writtenFile,
                                        const std::string& shownName) {
  if (!outcome.Succeeded()) {
    std::string line = EndLine(outcome);
    return line.empty() ? (outcome.error.empty() ? std::string("The encoder did not finish") : outcome.error)
                        : line;
  }
  // An encoder that exits 0 without writing anything did not convert.
  struct stat st;
  if (stat(writtenFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
    return "No output was written to " + shownName;
  return {};
}

std::string BatchDriver::ShortOutputReason(const JobOutcome& outcome, int32_t expectedSeconds) {
  double written = outcome.reportedSeconds;
  if (written >= 0 && expectedSeconds - written > 1 && written < expectedSeconds * 0.9) {
    char text[96];
    std::snprintf(text, sizeof text, "The output is %.1f s of %.1f s", written, double(expectedSeconds));
    return text;
  }
  return {};
}

std::string BatchDriver::FailureReason(const JobOutcome& outcome, const std::string& writtenFile,
                                       const std::string& shownName, int32_t expectedSeconds) {
  std::string reason = NoOutputReason(outcome, writtenFile, shownName);
  return reason.empty() ? ShortOutputReason(outcome, expectedSeconds) : reason;
}

int BatchDriver::NextChecked(int after) const {
  for (int i = after + 1; i < parts_.list.Count(); ++i)
    if (parts_.list.Row(i).checked) return i;
  return parts_.list.Count();
}

void BatchDriver::StartBatch() {
  if (parts_.notifier.Refused(true, false)) return;
  if (parts_.run.converting) {
    if (parts_.engine.IsPaused()) {
      parts_.engine.Resume();
      pauseCaption = "Pause";
      return;
    }
    parts_.notifier.ui().Warning(parts_.notifier.LoadMessage(26));
    return;
  }
  if (parts_.list.Count() == 0) return;
  int first = NextChecked(-1);
  if (first >= parts_.list.Count()) {
    parts_.notifier.ui().Information("Please select one file.");
    return;
  }
  parts_.list.currentPosition = first;
  parts_.progress.creep = 0;
  parts_.run.converting = true;
  pauseCaption = "Pause";
  parts_.notifier.UpdateCommandStates();
  RunFrom(first);
}

intputrec BatchDriver::FileJobRecord(const ListRow& row,
                                     const std::function<bool(const std::string&)>& reserved) {
  intputrec rec = parts_.engine.record;  // keeps EncoderPath and WorkDir
  rec.TempFile.clear();                  // reserved only when the entry starts
  // The field may have been edited since the batch started.
  Settings::CheckFolderName(parts_.options.OutputFolder());
  rec.OutputFile = parts_.options.OutputFilePath(row, reserved);
  rec.InputFile = row.entry.sourcePath;
  parts_.options.FillProfileOptions(rec, row);
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
  ListRow& row = parts_.list.Row(pos);
  // What a previous batch left on the row no longer applies.
  row.outputFile.clear();
  row.failureLines.clear();
  const bool dvd = row.dvd.has_value();
  if (dvd && !dvdJobRecord) throw CommandError("DVD rows cannot be converted by this build");
  intputrec rec = dvd ? dvdJobRecord(row, {}) : FileJobRecord(row);
  // The encoder writes to a reserved hidden file that gets the name only
  // when the job succeeded: no existing file is replaced, also when another
  // program takes the name meanwhile, and no broken file carries it.
  std::string error;
  rec.TempFile = ReserveTemporaryOutput(rec.OutputFile, error);
  if (rec.TempFile.empty()) throw CommandError(error);
  // A DVD row's numbered names drop the caption's leading blanks too.
  caption_ = dvd ? DvdOutputCaption(row.caption) : row.caption;
  row.outputFile = rec.OutputFile;
  parts_.list.NotifyRowChanged(pos);
  if (!dvd) return parts_.engine.StartEncoderJob(rec);
  // A DVD row reports no time until the encoder has probed its stream; the
  // creep shows that it is working meanwhile.
  parts_.notifier.ShowConvertProgress(0);
  auto job = parts_.engine.StartEncoderJob(rec);
  if (job && !job->ended) parts_.progress.StartCreep();
  return job;
}

void BatchDriver::RunFrom(int pos) {
  // An entry whose job cannot even be built fails here and the batch goes on
  // with the next checked entry; a loop, so many such entries cannot nest.
  while (parts_.list.Valid(pos)) {
    parts_.list.currentPosition = pos;
    try {
      job_ = StartEntry(pos);
      return;
    } catch (const std::exception& e) {
      job_.reset();
      MarkFailed(pos, {e.what()});
      pos = NextChecked(pos);
    }
  }
  parts_.list.currentPosition = parts_.list.Count();
  BatchOver();
}

void BatchDriver::MarkFailed(int pos, std::vector<std::string> lines) {
  if (!parts_.list.Valid(pos)) return;
  parts_.list.Row(pos).failureLines = std::move(lines);
  parts_.list.SetState(pos, EntryState::Failed);
}

void BatchDriver::EntryEnded(EncoderJob& job) {
  if (!parts_.run.converting || !job_ || job_.get() != &job) return;
  job_.reset();
  int pos = parts_.list.currentPosition;
  if (parts_.list.Valid(pos)) {
    ListRow& row = parts_.list.Row(pos);
    const JobOutcome& o = job.outcome;
    const std::string temp = job.record.TempFile;
    const std::string& written = temp.empty() ? job.record.OutputFile : temp;
    std::string reason = NoOutputReason(o, written, row.outputFile);
    // A complete output shorter than the entry promised keeps its name; the
    // entry still fails and says so.
    std::string shortNote = reason.empty() ? ShortOutputReason(o, job.record.DurationSecs) : std::string();
    if (reason.empty() && !temp.empty()) reason = NameOutput(job, row);
    if (reason.empty()) reason = shortNote;
    bool failed = !reason.empty();
    if (failed) {
      row.failureLines = o.lastLines;
      if (row.failureLines.empty() && !o.error.empty()) row.failureLines.push_back(o.error);
      // The encoder's lines name the reserved file; the person knows the
      // output by its final name.
      if (!temp.empty())
        for (std::string& line : row.failureLines) ShowFinalName(line, temp, row.outputFile);
      // How the encoder ended heads its last lines; what is wrong with an
      // output it wrote follows them.
      if (!o.Succeeded()) {
        if (reason != o.error) row.failureLines.insert(row.failureLines.begin(), reason);
      } else {
        row.failureLines.push_back(reason);
      }
    }
    if (row.checked) parts_.list.SetState(pos, failed ? EntryState::Failed : EntryState::Finished);
  }
  // Whether a later row is converted is decided by its check box now.
  RunFrom(NextChecked(pos));
}

std::string BatchDriver::NameOutput(EncoderJob& job, ListRow& row) {
  const intputrec& rec = job.record;
  std::string dir = rec.OutputFile.substr(0, rec.OutputFile.rfind('/') + 1);
  // The final path ends in the profile's extension, whose only dot is its
  // first character.
  std::string ext = rec.OutputFile.substr(rec.OutputFile.rfind('.'));
  std::string caption = caption_;
  std::string error;
  std::string named = MoveToFinalName(
      rec.TempFile, rec.OutputFile,
      [&](int n) { return OptionAssembly::NumberedOutputPath(dir, caption, n, ext); }, error);
  if (named.empty()) return error;
  job.record.TempFile.clear();
  if (named != row.outputFile) {
    row.outputFile = named;
    parts_.list.NotifyRowChanged(parts_.list.currentPosition);
  }
  return {};
}

void BatchDriver::BatchOver() {
  parts_.run.converting = false;
  pauseCaption = "Pause";
  parts_.notifier.UpdateCommandStates();
  parts_.notifier.ShowConvertProgress(0);
  switch (parts_.settings.finishAction) {
    case kFinishOpenFolder:
      parts_.notifier.system().OpenFolder(parts_.settings.outputDirectory);
      break;
    case kFinishShutdown:
      parts_.notifier.system().Shutdown();
      break;
    default:
      break;
  }
  if (batchOverHook) batchOverHook();
}

void BatchDriver::PauseOrContinue() {
  if (!parts_.run.converting) return;
  if (parts_.engine.IsPaused()) {
    parts_.engine.Resume();
  } else {
    parts_.engine.Pause();
  }
  pauseCaption = parts_.engine.IsPaused() ? "Continue" : "Pause";
}

void BatchDriver::StopBatch() {
  if (!parts_.run.converting) return;
  parts_.engine.Terminate();
  job_.reset();
  int pos = parts_.list.currentPosition;
  if (parts_.list.Valid(pos)) parts_.list.SetState(pos, EntryState::Stopped);
  parts_.notifier.ShowConvertProgress(0);
  parts_.list.currentPosition = parts_.list.Count() + 1;
  parts_.run.converting = false;
  parts_.progress.StopCreep();
  pauseCaption = "Pause";
  parts_.notifier.UpdateCommandStates();
  if (batchOverHook) batchOverHook();
}

}  // namespace pcm
