#include "queue/BatchDriver.h"

#include <sys/stat.h>

#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/EncoderEngine.h"
#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "profiles/Settings.h"
#include "queue/ConversionList.h"
#include "queue/EncoderLines.h"
#include "queue/OptionAssembly.h"
#include "queue/RowSource.h"
#include "ui/CommandError.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

// What an entry keeps of its encoder's output: the lines shown for a
// failure, and the whole output (bounded; the runner keeps only its tail).
constexpr size_t kFailureLines = 12;
constexpr size_t kKeptOutputLines = 400;

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

std::string BatchDriver::MissingStreamReason(const std::vector<std::string>& lines, bool expectSound,
                                             int32_t seconds) {
  // The encoder's closing summary: "video:0kB audio:16kB subtitle:0kB ...".
  // Nothing muxed at all is said in a line of its own.
  for (const std::string& line : lines)
    if (line.find("Output file is empty, nothing was encoded") != std::string::npos ||
        (line.find("video:0kB audio:0kB subtitle:0kB other streams:0kB") != std::string::npos &&
         line.find("muxing overhead: unknown") != std::string::npos))
      return "The result holds no stream";
  if (!expectSound || seconds < 2) return {};
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->find("video:") == std::string::npos || it->find(" audio:") == std::string::npos) continue;
    // Two seconds of any sound the profiles make are well above 1 kB.
    if (it->find(" audio:0kB ") != std::string::npos) return "The result holds no sound";
    break;
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
  running_.clear();
  cleanedFolders_.clear();
  batchNames_.clear();
  doneCount_ = 0;
  jobsAtOnce_ = JobsAtOnce();
  parts_.notifier.UpdateCommandStates();
  RunFrom(first - 1);
}

void BatchDriver::ExpectRows() { rowsToCome_ = true; }

void BatchDriver::RowsAdded() {
  if (parts_.run.converting && rowsToCome_ && int(running_.size()) < jobsAtOnce_) RunFrom(lastStarted_);
}

void BatchDriver::RowsComplete() {
  if (!rowsToCome_) return;
  rowsToCome_ = false;
  if (parts_.run.converting && running_.empty()) RunFrom(lastStarted_);
}

std::shared_ptr<EncoderJob> BatchDriver::StartEntry(int pos) {
  // The output folder is made when a job is about to start; computing
  // names (a dry run) makes nothing. The field may have been edited since
  // the batch started: a name that cannot be a folder fails the entry.
  Settings::CheckFolderName(parts_.options.OutputFolder());
  parts_.options.MakeOutputFolder(parts_.settings);
  ListRow& row = parts_.list.Row(pos);
  // What a previous batch left on the row no longer applies.
  row.outputFile.clear();
  row.failureLines.clear();
  row.encoderOutput.clear();
  // A name planned for a running entry is taken: two jobs never write one
  // name, whichever ends first.
  auto planned = [this](const std::string& path) {
    return std::any_of(running_.begin(), running_.end(),
                       [&](const Running& r) { return r.job && r.job->record.OutputFile == path; });
  };
  const RowSource& source = parts_.sources.Of(row);
  intputrec rec = source.JobRecord(row, planned);
  batchNames_.insert(rec.OutputFile);
  // An entry kept in its subfolder gets the folders it needs below the
  // output folder.
  if (!row.outputSubfolder.empty()) {
    std::string error;
    if (!MakeFolders(rec.OutputFile.substr(0, rec.OutputFile.rfind('/') + 1), error))
      throw CommandError(error);
  }
  // Hidden files that a run killed outright left in the folder go, once in
  // each folder a batch writes to; a file another run is writing is locked
  // and stays.
  const std::string folder = rec.OutputFile.substr(0, rec.OutputFile.rfind('/') + 1);
  if (cleanedFolders_.insert(folder).second) RemoveAbandonedOutputs(folder);
  // The encoder writes to a reserved hidden file that gets the name only
  // when the job succeeded: no existing file is replaced, also when another
  // program takes the name meanwhile, and no broken file carries it.
  std::string error;
  rec.TempFile = ReserveTemporaryOutput(rec.OutputFile, error);
  if (rec.TempFile.empty()) throw CommandError(error);
  row.outputFile = rec.OutputFile;
  parts_.list.NotifyRowChanged(pos);
  if (source.ConvertsAlone()) {
    // Such a row (a DVD's) reports no time until the encoder has read its
    // stream; the creep shows that it is working meanwhile.
    parts_.notifier.ShowConvertProgress(0);
    auto job = parts_.engine.StartEncoderJob(rec);
    if (job && !job->ended) parts_.progress.StartCreep();
    return job;
  }
  if (jobsAtOnce_ == 1) return parts_.engine.StartEncoderJob(rec);
  // Beside others, the entry's progress goes to its own row only, while it
  // is one of the batch's running entries.
  uint64_t serial = nextSerial_;
  return parts_.engine.StartEncoderJob(rec, [this, pos, serial](int32_t v) {
    bool running =
        std::any_of(running_.begin(), running_.end(), [&](const Running& r) { return r.serial == serial; });
    if (!parts_.run.converting || !running || !parts_.list.Valid(pos)) return;
    parts_.list.ShowProgress(pos, v);
    ShowBatchProgress();
  });
}

intputrec BatchDriver::JobRecordOf(const ListRow& row, const NameTaken& taken) const {
  return parts_.sources.Of(row).JobRecord(row, taken);
}

std::string BatchDriver::FirstOutputPathOf(const ListRow& row) const {
  Settings::CheckFolderName(parts_.options.OutputFolder());
  return parts_.options.FirstOutputPath(parts_.sources.Of(row).OutputCaption(row), row.outputSubfolder);
}

std::string BatchDriver::SkippedOutput(const ListRow& row, const NameTaken& ownNames) const {
  if (!parts_.settings.skipExisting) return {};
  std::string first = FirstOutputPathOf(row);
  // Anything of the name counts, as for the numbered names.
  if (!PathTaken(first) || (ownNames && ownNames(first))) return {};
  return first;
}

bool BatchDriver::SkipEntry(int pos, const NameTaken& ownNames) {
  ListRow& row = parts_.list.Row(pos);
  std::string existing = SkippedOutput(row, ownNames);
  if (existing.empty()) return false;
  // What a previous batch left on the row no longer applies.
  row.failureLines.clear();
  row.encoderOutput.clear();
  row.outputFile = existing;
  parts_.list.SetState(pos, EntryState::Skipped);
  return true;
}

int BatchDriver::JobsAtOnce() const {
  // A disc is read by one job at a time, and the creep of a row that
  // converts alone uses the shared progress display.
  if (parts_.program.DvdMode()) return 1;
  for (int i = 0; i < parts_.list.Count(); ++i)
    if (parts_.sources.Of(parts_.list.Row(i)).ConvertsAlone()) return 1;
  return parts_.settings.JobCount();
}

std::vector<int> BatchDriver::RunningEntries() const {
  std::vector<int> rows;
  for (const Running& r : running_) rows.push_back(r.pos);
  return rows;
}

void BatchDriver::RunFrom(int after) {
  // An entry whose job cannot even be built fails here and the batch goes on
  // with the next checked entry; a loop, so many such entries cannot nest.
  // Whether a row is converted is decided by its check box when its turn
  // comes.
  for (int pos = NextChecked(after); int(running_.size()) < jobsAtOnce_ && parts_.list.Valid(pos);
       pos = NextChecked(pos)) {
    parts_.list.currentPosition = pos;
    lastStarted_ = pos;
    try {
      if (SkipEntry(pos, [this](const std::string& path) { return batchNames_.count(path) > 0; })) {
        ++doneCount_;
        continue;
      }
      // Numbered names start from the caption the row's source names
      // outputs by (a DVD row's without its leading blanks).
      const ListRow& row = parts_.list.Row(pos);
      std::string caption = parts_.sources.Of(row).OutputCaption(row);
      auto job = StartEntry(pos);
      running_.push_back({pos, job, caption, nextSerial_++});
    } catch (const std::exception& e) {
      ++doneCount_;
      MarkFailed(pos, {e.what()});
    }
  }
  if (!running_.empty()) {
    if (jobsAtOnce_ > 1) ShowBatchProgress();
    return;
  }
  // More rows are coming: the batch goes on with them.
  if (rowsToCome_) return;
  parts_.list.currentPosition = parts_.list.Count();
  BatchOver();
}

void BatchDriver::ShowBatchProgress() {
  int64_t entries = doneCount_ + int64_t(running_.size());
  for (int i = NextChecked(lastStarted_); parts_.list.Valid(i); i = NextChecked(i)) ++entries;
  int64_t sum = int64_t(doneCount_) * 10000;
  for (const Running& r : running_)
    if (parts_.list.Valid(r.pos)) sum += std::clamp(parts_.list.Row(r.pos).progress, 0, 10000);
  // The strip alone: the hint line shows the batch's place, which no single
  // encoder's line would tell.
  ShowStrip(parts_.notifier.display(), "convertpos", kConvertStripWidth,
            entries > 0 ? int32_t(sum / entries) : 0);
}

void BatchDriver::MarkFailed(int pos, std::vector<std::string> lines) {
  if (!parts_.list.Valid(pos)) return;
  parts_.list.Row(pos).failureLines = std::move(lines);
  parts_.list.SetState(pos, EntryState::Failed);
}

void BatchDriver::EntryEnded(EncoderJob& job) {
  if (!parts_.run.converting) return;
  auto it =
      std::find_if(running_.begin(), running_.end(), [&](const Running& r) { return r.job.get() == &job; });
  if (it == running_.end()) return;
  const Running entry = std::move(*it);
  running_.erase(it);
  ++doneCount_;
  int pos = entry.pos;
  if (parts_.list.Valid(pos)) {
    ListRow& row = parts_.list.Row(pos);
    const JobOutcome& o = job.outcome;
    const std::string temp = job.record.TempFile;
    const std::string& written = temp.empty() ? job.record.OutputFile : temp;
    std::vector<std::string> output = job.TailLines(kKeptOutputLines);
    std::string reason = NoOutputReason(o, written, row.outputFile);
    // A file without the streams it was made for is no result: the sound
    // of a source that has some, in a profile that makes sound.
    const bool expectSound =
        ConvertedAudio(row.entry) && !job.record.AudioRateOpt.empty() && !job.record.TargetOpt.Has("-an");
    if (reason.empty()) reason = MissingStreamReason(output, expectSound, job.record.DurationSecs);
    // An output shorter than the entry gets no name. The adapter judges the
    // result it checked by its real length against the span converted (a
    // sound track shorter than the file included); the encoder's last
    // reported time is the measure only where no such check was made.
    if (reason.empty() && !HasCheckedResult(output)) reason = ShortOutputReason(o, job.record.DurationSecs);
    if (reason.empty() && !temp.empty()) reason = NameOutput(job, entry);
    bool failed = !reason.empty();
    // The encoder's lines name the reserved file; the person knows the
    // output by its final name.
    if (!temp.empty())
      for (std::string& line : output) ShowFinalName(line, temp, row.outputFile);
    row.encoderOutput = KeptOutput(output, kKeptOutputLines);
    if (failed) {
      // What went wrong, without the descriptions printed before it.
      row.failureLines = MeaningfulLines(output, kFailureLines);
      if (row.failureLines.empty() && !o.error.empty()) row.failureLines.push_back(o.error);
      // The reason heads the lines: what is wrong with the output, or the
      // cause the encoder's lines give for its end (a full disk), then how
      // it ended.
      std::vector<std::string> head;
      size_t causeAt = output.size();
      const std::string cause = o.Succeeded() ? std::string() : FailureCause(output, &causeAt);
      if (!cause.empty()) head.push_back(cause);
      head.push_back(reason);
      std::erase_if(row.failureLines, [&](const std::string& line) {
        return std::find(head.begin(), head.end(), line) != head.end() ||
               (causeAt < output.size() && line == output[causeAt]);
      });
      row.failureLines.insert(row.failureLines.begin(), head.begin(), head.end());
    }
    // A written file shows its real size in place of the estimate.
    struct stat st;
    if (!failed && stat(row.outputFile.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      row.outputSize = OptionAssembly::FormatMegabytes(double(st.st_size) / 1024 / 1024, QLocale()) + "MB";
    // A source read to the end is there: a row restored while its file or
    // disc was away is missing no more.
    if (!failed) row.sourceMissing = false;
    if (row.checked) parts_.list.SetState(pos, failed ? EntryState::Failed : EntryState::Finished);
  }
  RunFrom(lastStarted_);
}

std::string BatchDriver::NameOutput(EncoderJob& job, const Running& entry) {
  ListRow& row = parts_.list.Row(entry.pos);
  const intputrec& rec = job.record;
  std::string dir = rec.OutputFile.substr(0, rec.OutputFile.rfind('/') + 1);
  // The final path ends in the profile's extension, whose only dot is its
  // first character.
  std::string ext = rec.OutputFile.substr(rec.OutputFile.rfind('.'));
  const std::string& caption = entry.caption;
  std::string error;
  std::string named = MoveToFinalName(
      rec.TempFile, rec.OutputFile,
      [&](int n) { return OptionAssembly::NumberedOutputPath(dir, caption, n, ext); }, error);
  if (named.empty()) return error;
  batchNames_.insert(named);
  job.record.TempFile.clear();
  if (named != row.outputFile) {
    row.outputFile = named;
    parts_.list.NotifyRowChanged(entry.pos);
  }
  return {};
}

void BatchDriver::BatchOver() {
  parts_.run.converting = false;
  rowsToCome_ = false;
  pauseCaption = "Pause";
  parts_.notifier.UpdateCommandStates();
  parts_.notifier.ShowConvertProgress(0);
  if (listSettledHook) listSettledHook();
  switch (parts_.settings.finishAction) {
    case kFinishOpenFolder:
      OpenOutputFolder(parts_.notifier.system(), parts_.notifier.ui(), parts_.settings.outputDirectory);
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
  // A batch waiting for rows to come has no entry under way.
  if (running_.empty() && !rowsToCome_) running_.push_back({parts_.list.currentPosition, nullptr, {}, 0});
  // A stopped entry's unfinished output is removed: it names no file.
  for (const Running& r : running_) {
    if (!parts_.list.Valid(r.pos)) continue;
    parts_.list.Row(r.pos).outputFile.clear();
    parts_.list.SetState(r.pos, EntryState::Stopped);
  }
  running_.clear();
  parts_.notifier.ShowConvertProgress(0);
  parts_.list.currentPosition = parts_.list.Count() + 1;
  parts_.run.converting = false;
  rowsToCome_ = false;
  parts_.progress.StopCreep();
  pauseCaption = "Pause";
  parts_.notifier.UpdateCommandStates();
  if (listSettledHook) listSettledHook();
  if (batchOverHook) batchOverHook();
}

}  // namespace pcm
