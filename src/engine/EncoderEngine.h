#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/JobRecord.h"
#include "engine/JobRunner.h"
#include "engine/Progress.h"

namespace pcm {

class Notifier;
struct RunState;

// Starts conversion jobs on its own job runner and ends them: the parser is
// the progress parser, the end step resets the strip and calls the batch's
// hook. Several jobs may run at once; Pause, Resume and Terminate act on
// every running conversion.
//
// Threads: lives on the main thread; record, current_ and the hook change
// only there. Each job's fields follow the rules of EncoderJob.
class EncoderEngine : public QObject {
  Q_OBJECT
 public:
  // The parser gets the current job's output; the notifier shows the strip;
  // the run state says whether a batch is converting.
  EncoderEngine(Progress& progress, Notifier& notifier, const RunState& run);
  ~EncoderEngine() override;

  // The program-wide job record; EncoderPath and WorkDir are set once.
  intputrec record;

  // Builds the command line, starts the encoder and the two workers and
  // returns at once. Its progress goes through the shared parser and shows
  // on the strip; a job started later takes the strip over. A job that
  // cannot start ends at once (queued) through the end step with a failed
  // outcome.
  std::shared_ptr<EncoderJob> StartEncoderJob(const intputrec& rec);
  // The same for a job that runs beside others: it gets a parser of its own
  // whose values go to `sink` only, and leaves the strip alone.
  std::shared_ptr<EncoderJob> StartEncoderJob(const intputrec& rec, Progress::Sink sink);

  // The job started last.
  std::shared_ptr<EncoderJob> CurrentJob() const { return current_; }
  // Whether any conversion is running.
  bool Running() const { return !runner_.RunningJobs().empty(); }

  // Pause every running encoder (workers stop handing over and the process
  // groups are stopped); resume continues them all.
  void Pause();
  void Resume();
  bool IsPaused() const;
  // The user's stop, for every running encoder: one SIGTERM each, SIGKILL to
  // the group after a grace period.
  void Terminate();

  // Called after the end step of every job, with that job (the batch driver
  // decides whether it is one of its entries' jobs).
  std::function<void(EncoderJob&)> entryEndedHook;

  // Ends every job and waits for the workers; used at exit.
  void Shutdown();

  JobRunner& runner() { return runner_; }

  static constexpr size_t kReadChunk = 256;
  static constexpr size_t kMaxAccumulated = JobRunner::kMaxAccumulated;
  static constexpr int kKillGraceMs = JobRunner::kKillGraceMs;

 private:
  std::shared_ptr<EncoderJob> Start(const intputrec& rec, std::shared_ptr<OutputParser> parser, bool shared);
  void EndStep(EncoderJob& job, bool shared);
  Progress& progress_;
  Notifier& notifier_;
  const RunState& run_;
  JobRunner runner_;
  // The job started last through the shared parser; only its output and its
  // end touch the strip.
  std::shared_ptr<EncoderJob> current_;
  const EncoderJob* stripOwner_ = nullptr;
};

}  // namespace pcm
