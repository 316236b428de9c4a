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
class Notifier;
class Progress;
struct RunState;

// How a job ended. A job that could not start, or whose encoder exited
// non-zero or was killed, did not succeed.
struct JobOutcome {
  bool started = false;
  bool exited = false;  // ended by itself (exitCode valid)
  int exitCode = -1;
  int termSignal = 0;  // signal that killed the encoder, 0 if none
  bool stoppedByUser = false;
  std::string error;                   // why the encoder could not be started
  std::vector<std::string> lastLines;  // the encoder's last output lines
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

// Base of the job's worker threads: each overrides only its body.
class WorkerThread {
 public:
  virtual ~WorkerThread();
  void Start();
  void Join();
  bool Finished() const { return finished_.load(); }

 protected:
  virtual void Execute() = 0;

 private:
  std::thread thread_;
  std::atomic<bool> finished_{false};
};

// Reads the encoder's merged output in 256-byte chunks and hands each chunk
// to the main thread.
class TProcessor : public WorkerThread {
 public:
  explicit TProcessor(EncoderJob* job) : job_(job) {}

 protected:
  void Execute() override;

 private:
  EncoderJob* job_;
};

// Waits for the encoder to end, then runs the job-end step on the main thread.
class TClientWaitThread : public WorkerThread {
 public:
  explicit TClientWaitThread(EncoderJob* job) : job_(job) {}

 protected:
  void Execute() override;

 private:
  EncoderJob* job_;
};

// One encoder run: its record, process, pipe ends and workers.
//
// Threads: the main thread creates the job, sets record, pid, the hooks and
// the pipe ends before the workers start, runs every hand-over and the end
// step (ended, outcome.lastLines, outcome.reportedSeconds, accumulated
// between chunks) and closes inFd. The reader owns outFd and appends to
// accumulated, then passes the gate and hands the chunk over, waiting until
// the main thread has parsed it (a blocking hand-over). The waiter owns the wait for pid and writes
// outcome's exit fields before handing the end step over. ended, reaped and
// readerDone are atomics read by both sides; the tail has its own mutex.
class EncoderJob {
 public:
  ~EncoderJob();
  uint64_t id = 0;
  intputrec record;
  pid_t pid = -1;   // also the process group of the encoder and its children
  UniqueFd outFd;   // parent's read end of the merged output pipe
  UniqueFd inFd;    // parent's write end of the input pipe; nothing is written
  UniqueFd wakeFd;  // wakes the reader when the job ends
  // Text the reader accumulated and the parser has not consumed yet.
  std::string accumulated;
  std::atomic<bool> ended{false};   // the end step has run
  std::atomic<bool> reaped{false};  // the waiter has collected the process
  std::atomic<bool> readerDone{false};
  PauseGate gate;
  JobOutcome outcome;
  std::unique_ptr<WorkerThread> reader;
  std::unique_ptr<WorkerThread> waiter;

  // The workers' bodies, shared by conversion jobs and probes: read the
  // merged output in chunks of `chunk` bytes and hand each one over; wait for
  // the process, record how it ended and hand the end step over.
  void ReadLoop(size_t chunk);
  void WaitLoop();
  // Stops the reader and releases the parent's input pipe end.
  void Release();
  // Starts the process; false (with the reason kept) when it cannot start.
  bool Spawn(const std::vector<std::string>& args, const std::string& workDir);
  // Starts the waiter, then the reader.
  void StartWorkers(std::unique_ptr<WorkerThread> waiterThread, std::unique_ptr<WorkerThread> readerThread);
  bool WorkersFinished() const;
  // Removes the job's reserved output file unless it was given its name.
  void DiscardTemporaryOutput();

  // The last output bytes, kept to report why a job failed.
  void KeepTail(const char* data, size_t n);
  std::vector<std::string> TailLines(size_t maxLines) const;

  // Hand-over targets, set by the engine.
  std::function<void()> onChunk;
  std::function<void()> onEnd;

  std::mutex readerMutex;
  std::condition_variable readerCv;

 private:
  mutable std::mutex tailMutex_;
  std::string tail_;
};

// Starts encoder jobs and ends them. One job runs at a time; a new job may be
// started before an older job's end step has run, and that end step then
// leaves the new job untouched.
// Kills what is left of the jobs and waits for their workers.
void ShutdownJobs(std::vector<std::shared_ptr<EncoderJob>>& jobs);
// Forgets ended jobs whose workers have finished.
void DropFinishedJobs(std::vector<std::shared_ptr<EncoderJob>>& jobs);

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
  // returns at once. A job that cannot start ends at once (queued) through
  // the end step with a failed outcome.
  std::shared_ptr<EncoderJob> StartEncoderJob(const intputrec& rec);

  std::shared_ptr<EncoderJob> CurrentJob() const { return current_; }
  bool Running() const { return current_ && !current_->ended; }

  // Pause: workers stop handing over and the encoder's process group is
  // stopped; resume continues both.
  void Pause();
  void Resume();
  bool IsPaused() const;
  // The user's stop: one SIGTERM to the encoder, which passes it on to the
  // programs it runs (a second request would make them abort their work
  // half-written); SIGKILL to the group after a grace period.
  void Terminate();

  // Called after the end step of every job, with that job (the batch driver
  // decides whether it is its current entry's job).
  std::function<void(EncoderJob&)> entryEndedHook;

  // Ends every job and waits for the workers; used at exit.
  void Shutdown();

  static constexpr size_t kReadChunk = 256;
  // The parser's unconsumed text never grows beyond this; an encoder that
  // prints without line ends loses the oldest part.
  static constexpr size_t kMaxAccumulated = 64 * 1024;
  static constexpr int kKillGraceMs = 2000;

 private:
  void EncoderJobEnded(std::shared_ptr<EncoderJob> job);  // by value: the end step may replace current_
  Progress& progress_;
  Notifier& notifier_;
  const RunState& run_;
  std::shared_ptr<EncoderJob> current_;
  std::vector<std::shared_ptr<EncoderJob>> retired_;
  uint64_t nextId_ = 1;
};

}  // namespace pcm
