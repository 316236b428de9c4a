#pragma once
#include <sys/types.h>

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/JobRecord.h"
#include "engine/UniqueFd.h"

namespace pcm {

class EncoderJob;
class HandOverRelay;

// How a job ended. A job that could not start, or whose program exited
// non-zero or was killed, did not succeed.
struct JobOutcome {
  bool started = false;
  bool exited = false;  // ended by itself (exitCode valid)
  int exitCode = -1;
  int termSignal = 0;  // signal that killed the program, 0 if none
  bool stoppedByUser = false;
  std::string error;                   // why the program could not be started
  std::vector<std::string> lastLines;  // the program's last output lines
  // The last time the encoder reported (seconds written), -1 if none.
  double reportedSeconds = -1;
  bool Succeeded() const { return started && exited && exitCode == 0 && !stoppedByUser; }
};

// A gate the workers pass before each hand-over to the main thread; closed
// while the job is paused.
class PauseGate {
 public:
  void Close();
  void Open();
  bool IsClosed() const;
  void Pass();  // blocks while closed

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool closed_ = false;
};

// What turns a job's output into values. Both calls run on the main thread.
class OutputParser {
 public:
  virtual ~OutputParser() = default;
  // Consumes what it can of the unconsumed output and removes that part.
  virtual void Feed(std::string& text) = 0;
  // Called once in the end step, before the end hook, with what is left of
  // the output (empty when the reader did not finish) and the outcome.
  virtual void Finish(std::string& rest, JobOutcome& outcome) {
    (void)rest;
    (void)outcome;
  }
};

// One run of an external program: its record, process, pipe ends, workers
// and outcome.
//
// Threads: the main thread creates the job and sets record, pid, parser,
// onEnd and the pipe ends before the workers start; it runs every hand-over
// and the end step (ended, outcome.lastLines, outcome.reportedSeconds) and
// closes inFd. The reader owns outFd and appends to accumulated, then passes
// the gate and hands the chunk over, waiting until the main thread has fed
// it to the parser (a blocking hand-over), so accumulated is never touched
// by both at once. The waiter owns the wait for pid and writes the outcome's
// exit fields before it hands the end step over. ended, reaped, readerDone
// and workersDone are atomics read by both sides; the tail has its own mutex.
// Signals go to the process only under the process mutex and only while it
// is not reaped: the waiter sees the exit without collecting it (the pid
// and group id stay taken), marks it reaped and kills what is left of the
// group under that mutex, and only then collects it. The workers hold the
// job by shared ownership, so one left running at shutdown touches nothing
// freed.
class EncoderJob {
 public:
  ~EncoderJob();
  uint64_t id = 0;
  intputrec record;
  pid_t pid = -1;   // also the process group of the program and its children
  UniqueFd outFd;   // parent's read end of the merged output pipe
  UniqueFd inFd;    // parent's write end of the input pipe; nothing is written
  UniqueFd wakeFd;  // wakes the reader when the job ends
  // Text the reader accumulated and the parser has not consumed yet.
  std::string accumulated;
  std::atomic<bool> ended{false};   // the end step has run
  std::atomic<bool> reaped{false};  // the process has ended; no signal goes to its id
  std::atomic<bool> readerDone{false};
  PauseGate gate;
  JobOutcome outcome;
  std::shared_ptr<OutputParser> parser;
  // The end step's own part, after the parser's Finish (main thread).
  std::function<void(EncoderJob&)> onEnd;

  bool Running() const { return !ended; }
  bool Paused() const { return !ended && gate.IsClosed(); }
  bool WorkersFinished() const { return readerFinished_ && waiterFinished_; }
  // Removes the job's reserved output file unless it was given its name.
  void DiscardTemporaryOutput();
  // The last output lines, kept to report why a job failed.
  std::vector<std::string> TailLines(size_t maxLines) const;

 private:
  friend class JobRunner;
  void KeepTail(const char* data, size_t n);
  void ReadLoop(size_t chunk, const std::function<void()>& handOverChunk);
  void WaitLoop(const std::function<void()>& handOverEnd);
  // Stops the reader and releases the parent's input pipe end.
  void Release();
  void JoinWorkers();
  // Joins the workers that have finished and lets the others run on alone.
  void DetachUnfinishedWorkers();
  // Sends sig to the process (group: to its whole group) unless it is reaped.
  void Signal(int sig, bool group);

  std::thread reader_;
  std::thread waiter_;
  std::atomic<bool> readerFinished_{true};
  std::atomic<bool> waiterFinished_{true};
  std::mutex processMutex_;
  std::mutex readerMutex_;
  std::condition_variable readerCv_;
  mutable std::mutex tailMutex_;
  std::string tail_;
};

// Runs external programs: spawns each in its own process group, reads its
// merged output in a reader worker and waits for it in a waiter worker,
// hands chunks to the job's parser and the end to the job's end step on the
// main thread, pauses, stops with grace then kill. Any number of jobs may
// run at once; each keeps its own state, and the runner only keeps the list
// of jobs whose workers have not finished. Lives on the main thread.
class JobRunner : public QObject {
  Q_OBJECT
 public:
  JobRunner();
  ~JobRunner() override;

  struct Launch {
    std::vector<std::string> args;  // args[0] is the program
    std::string workDir;
    size_t chunk = 256;  // bytes read at a time
    std::shared_ptr<OutputParser> parser;
    std::function<void(EncoderJob&)> onEnd;
  };
  // Starts the program and its workers and returns at once. `job` may come
  // with its record filled in. A program that cannot start ends at once
  // (queued, after the caller has returned) with a failed outcome.
  std::shared_ptr<EncoderJob> Start(Launch launch, std::shared_ptr<EncoderJob> job = nullptr);

  // Pause: the workers stop handing over and the process group is stopped;
  // resume continues both.
  void Pause(EncoderJob& job);
  void Resume(EncoderJob& job);
  // The user's stop: one SIGTERM to the program, which passes it on to the
  // programs it runs (a second request would make them abort their work
  // half-written); SIGKILL to the group after a grace period.
  void Stop(const std::shared_ptr<EncoderJob>& job);
  // SIGKILL to the job's group at once; the job ends through its waiter.
  void Kill(EncoderJob& job);
  // Ends the job now without waiting for its waiter (a program that does not
  // even end when killed); its end hook does not run.
  void Abandon(EncoderJob& job);

  // Jobs started and not ended yet, oldest first.
  std::vector<std::shared_ptr<EncoderJob>> RunningJobs() const;

  // Kills every job and waits up to waitMs for the workers; used at exit.
  // Workers still busy then (a process that does not die) are left running
  // on their own and change nothing any more.
  void Shutdown(int waitMs = kShutdownWaitMs);

  // The unconsumed text never grows beyond this; a program that prints
  // without line ends loses the oldest part.
  static constexpr size_t kMaxAccumulated = 64 * 1024;
  static constexpr int kKillGraceMs = 2000;
  static constexpr int kShutdownWaitMs = 10000;

 private:
  void EndStep(const std::shared_ptr<EncoderJob>& job);
  std::shared_ptr<EncoderJob> Find(const EncoderJob* job) const;
  void DropFinished();

  std::vector<std::shared_ptr<EncoderJob>> jobs_;
  uint64_t nextId_ = 1;
  // What the workers hand over through; shared with them, and it forgets
  // the runner when the runner goes.
  std::shared_ptr<HandOverRelay> relay_;
};

// Splits an encoder's output into its lines at CR and LF (progress lines
// end in CR), leaving out empty ones.
std::vector<std::string> SplitOutputLines(const std::string& text);

}  // namespace pcm
