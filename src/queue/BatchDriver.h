#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/JobRecord.h"
#include "queue/ListRow.h"
#include "queue/RowSource.h"

namespace pcm {

class ConversionList;
class EncoderEngine;
class EncoderJob;
class Notifier;
class OptionAssembly;
class ProgramInfo;
class Progress;
class Settings;
struct JobOutcome;
struct RunState;

// Converts the checked entries top to bottom, up to the settings' number of
// encoder jobs at once (one by default); pause, continue, stop, the entry
// statuses and the finish action after the last entry.
class BatchDriver {
 public:
  // What a batch uses: the list it converts, the job runner and its progress
  // parser, the option assembly, the settings (output folder, finish
  // action), the run flags and program variant, and the notifier for
  // refusals, messages, command states and the strip; the row sources
  // build each row's job.
  struct Parts {
    ConversionList& list;
    EncoderEngine& engine;
    Progress& progress;
    OptionAssembly& options;
    Settings& settings;
    RunState& run;
    const ProgramInfo& program;
    Notifier& notifier;
    const RowSources& sources;
  };
  explicit BatchDriver(const Parts& parts);

  // "converter", "Convert", bt_start. While paused it continues instead.
  void StartBatch();
  // A batch over a list still being filled (files converted as soon as
  // each is described): ExpectRows before StartBatch makes the batch wait
  // for more rows when it has run out, instead of ending; RowsAdded starts
  // new rows as places are free; RowsComplete lets the batch end after the
  // rows there. Rows are only appended meanwhile, so every entry takes its
  // output name in list order as in a batch over a full list.
  void ExpectRows();
  void RowsAdded();
  void RowsComplete();
  // Whether `path` is an output name this batch planned or gave.
  bool OwnOutputName(const std::string& path) const { return batchNames_.count(path) > 0; }
  // The actions menu's Pause1; `pauseCaption` is its caption.
  void PauseOrContinue();
  // "stopconverter", "Stop", Bt_Convertstop.
  void StopBatch();
  // Called after the end step of every job while converting; acts only on
  // the jobs started for the batch's entries.
  void EntryEnded(EncoderJob& job);
  // How many entries this batch converts at once: the setting, one per
  // processor for 0, always one for DVD rows.
  int JobsAtOnce() const;
  // The rows whose jobs run now, oldest first: also those that have not
  // reported a time yet.
  std::vector<int> RunningEntries() const;

  // The job record of a row as its source builds it (output path chosen,
  // options filled), without reserving anything. `taken` names are planned
  // for entries before it. Throws CommandError like the option assembly.
  intputrec JobRecordOf(const ListRow& row, const NameTaken& taken = {}) const;
  // The row's output path before any "_1": by the caption its source names
  // outputs by, in its subfolder.
  std::string FirstOutputPathOf(const ListRow& row) const;
  // The file that makes the batch skip the row, or "" when the row is
  // converted: the settings ask to skip an entry whose output exists, and
  // its first output path is taken on disk, by anything but a name of the
  // same run (`ownNames`: names planned or written for earlier entries,
  // which get "_1" as without the setting). Needs no probe: a row holding
  // only its caption and subfolder is enough. Throws CommandError like the
  // option assembly does.
  std::string SkippedOutput(const ListRow& row, const NameTaken& ownNames = {}) const;
  // Marks row `pos` skipped, with the file that is there as its output,
  // when SkippedOutput names one; false when it is to be converted.
  bool SkipEntry(int pos, const NameTaken& ownNames);

  // Why a job's end means the entry failed, or "" when it succeeded: not
  // started, a non-zero exit, killed other than by the user's stop, no or an
  // empty output, or an output clearly shorter than the entry (more than a
  // second and a tenth short, by the encoder's last reported time).
  // `writtenFile` is where the encoder wrote, `shownName` the name shown.
  static std::string FailureReason(const JobOutcome& outcome, const std::string& writtenFile,
                                   const std::string& shownName, int32_t expectedSeconds);
  // The part of FailureReason that leaves nothing worth keeping: the job
  // failed or wrote nothing.
  static std::string NoOutputReason(const JobOutcome& outcome, const std::string& writtenFile,
                                    const std::string& shownName);
  // The part that judges a complete output by its length only.
  static std::string ShortOutputReason(const JobOutcome& outcome, int32_t expectedSeconds);
  // The part that judges the streams of a complete output by the encoder's
  // closing lines: none at all, or no sound where sound was expected (for
  // an entry of two seconds or more, whose sound cannot round to 0 kB).
  static std::string MissingStreamReason(const std::vector<std::string>& lines, bool expectSound,
                                         int32_t seconds);
  // The line that says how the encoder ended, "" when it exited with 0.
  static std::string EndLine(const JobOutcome& outcome);

  // Caption of the Pause1 menu item: "Pause" or "Continue".
  std::string pauseCaption = "Pause";

  // Called when a batch has run out of entries, after the finish action, and
  // after a stop.
  std::function<void()> batchOverHook;
  // Called when a batch has run out of entries (before the finish action,
  // which may end the session) and after a stop: the list's changes are
  // complete and are written now.
  std::function<void()> listSettledHook;

 private:
  // An entry being converted: its row, its job and its caption then, for
  // the numbered names.
  struct Running {
    int pos;
    std::shared_ptr<EncoderJob> job;
    std::string caption;
    uint64_t serial;  // tells a late progress report of a stopped entry apart
  };
  // Starts checked entries after `after` until as many run as allowed; an
  // entry that cannot start fails and the next is taken. Ends the batch
  // when nothing runs and none is left.
  void RunFrom(int after);
  std::shared_ptr<EncoderJob> StartEntry(int pos);
  int NextChecked(int after) const;
  void MarkFailed(int pos, std::vector<std::string> lines);
  void BatchOver();
  // The strip while several entries run: the entries done and the running
  // ones' progress, over those plus the checked ones still to come.
  void ShowBatchProgress();

  Parts parts_;
  // Gives the finished job's output its final name (updating the row) or
  // says why it could not.
  std::string NameOutput(EncoderJob& job, const Running& entry);

  std::vector<Running> running_;  // oldest first
  // Output names planned and given by this batch: a later entry of the
  // same name is numbered, not skipped.
  std::set<std::string> batchNames_;
  int lastStarted_ = -1;  // the row the next start searches after
  int doneCount_ = 0;     // entries of this batch that have ended
  int jobsAtOnce_ = 1;
  bool rowsToCome_ = false;  // the list is still being filled
  uint64_t nextSerial_ = 1;
  std::set<std::string> cleanedFolders_;  // output folders this batch has cleaned
};

}  // namespace pcm
