#include "engine/EncoderEngine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "engine/EventPump.h"
#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "engine/Spawn.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

void PauseGate::Close() {
  std::lock_guard<std::mutex> l(m_);
  closed_ = true;
}

void PauseGate::Open() {
  {
    std::lock_guard<std::mutex> l(m_);
    closed_ = false;
  }
  cv_.notify_all();
}

bool PauseGate::IsClosed() const {
  std::lock_guard<std::mutex> l(m_);
  return closed_;
}

void PauseGate::Pass() {
  std::unique_lock<std::mutex> l(m_);
  cv_.wait(l, [this] { return !closed_; });
}

WorkerThread::~WorkerThread() { Join(); }

void WorkerThread::Start() {
  thread_ = std::thread([this] {
    Execute();
    finished_ = true;
  });
}

void WorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TProcessor::Execute() { job_->ReadLoop(EncoderEngine::kReadChunk); }
void TClientWaitThread::Execute() { job_->WaitLoop(); }

EncoderJob::~EncoderJob() {
  reader.reset();
  waiter.reset();
}

void EncoderJob::KeepTail(const char* data, size_t n) {
  constexpr size_t kTail = 8192;
  std::lock_guard<std::mutex> l(tailMutex_);
  tail_.append(data, n);
  if (tail_.size() > 2 * kTail) tail_.erase(0, tail_.size() - kTail);
}

std::vector<std::string> EncoderJob::TailLines(size_t maxLines) const {
  std::string text;
  {
    std::lock_guard<std::mutex> l(tailMutex_);
    text = tail_;
  }
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!cur.empty()) lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  if (lines.size() > maxLines) lines.erase(lines.begin(), lines.end() - long(maxLines));
  return lines;
}

void EncoderJob::ReadLoop(size_t chunk) {
  accumulated.clear();
  std::vector<char> buf(chunk + 1);
  for (;;) {
    pollfd fds[2] = {{outFd.get(), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
    int r = poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;  // the job has ended: unread output is dropped
    ssize_t n = read(outFd.get(), buf.data(), chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    buf[size_t(n)] = 0;
    size_t len = std::strlen(buf.data());  // text up to the first zero byte
    KeepTail(buf.data(), len);
    accumulated.append(buf.data(), len);
    if (accumulated.size() > EncoderEngine::kMaxAccumulated)
      accumulated.erase(0, accumulated.size() - EncoderEngine::kMaxAccumulated / 16);
    gate.Pass();
    if (onChunk) onChunk();
    if (n == 0) break;
  }
  outFd.reset();
  {
    std::lock_guard<std::mutex> l(readerMutex);
    readerDone = true;
  }
  readerCv.notify_all();
}

void EncoderJob::WaitLoop() {
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  if (r == pid) {
    if (WIFEXITED(status)) {
      outcome.exited = true;
      outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      outcome.termSignal = WTERMSIG(status);
    }
  }
  reaped = true;
  // Nothing of the job may outlive it: whatever is left of its group goes.
  kill(-pid, SIGKILL);
  gate.Pass();
  // Let the reader deliver the last output first, so that the end step sees
  // the encoder's final lines.
  {
    std::unique_lock<std::mutex> l(readerMutex);
    readerCv.wait_for(l, std::chrono::seconds(3), [this] { return readerDone.load(); });
  }
  if (onEnd) onEnd();
}

void EncoderJob::Release() {
  inFd.reset();
  if (wakeFd.valid()) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t w = write(wakeFd.get(), &one, sizeof one);
  }
}

bool EncoderJob::Spawn(const std::vector<std::string>& args, const std::string& workDir) {
  SpawnResult sp = SpawnEncoder(args, workDir);
  if (!sp.ok()) {
    outcome.error = sp.error;
    KeepTail(sp.error.data(), sp.error.size());
    return false;
  }
  pid = sp.pid;
  outFd.reset(sp.outFd);
  inFd.reset(sp.inFd);
  outcome.started = true;
  return true;
}

void EncoderJob::StartWorkers(std::unique_ptr<WorkerThread> waiterThread,
                              std::unique_ptr<WorkerThread> readerThread) {
  waiter = std::move(waiterThread);
  reader = std::move(readerThread);
  waiter->Start();
  reader->Start();
}

void EncoderJob::DiscardTemporaryOutput() {
  RemoveTemporaryOutput(record.TempFile);
  record.TempFile.clear();
}

bool EncoderJob::WorkersFinished() const {
  return (!reader || reader->Finished()) && (!waiter || waiter->Finished());
}

EncoderEngine::EncoderEngine(Progress& progress, Notifier& notifier, const RunState& run)
    : progress_(progress), notifier_(notifier), run_(run) {}

EncoderEngine::~EncoderEngine() { Shutdown(); }

std::shared_ptr<EncoderJob> EncoderEngine::StartEncoderJob(const intputrec& rec) {
  DropFinishedJobs(retired_);
  if (current_) retired_.push_back(current_);
  auto job = std::make_shared<EncoderJob>();
  job->id = nextId_++;
  job->record = rec;
  job->wakeFd.reset(eventfd(0, EFD_CLOEXEC));
  current_ = job;

  if (!job->Spawn(BuildArgumentVector(rec), rec.WorkDir)) {
    // The job ends at once, after the caller has returned, like an encoder
    // that ended without output.
    QMetaObject::invokeMethod(
        this, [this, job] { EncoderJobEnded(job); }, Qt::QueuedConnection);
    return job;
  }

  EncoderJob* j = job.get();
  job->onChunk = [this, j] {
    HandOver(*this, [this, j] {
      // Output of an ended or superseded job changes nothing.
      if (j->ended || current_.get() != j) return;
      progress_.ParseEncoderOutput(j->accumulated, j->record.DurationSecs, &j->outcome.reportedSeconds);
    });
  };
  job->onEnd = [this, j] {
    HandOver(*this, [this, j] {
      for (auto& k : retired_)
        if (k.get() == j) return EncoderJobEnded(k);
      if (current_.get() == j) EncoderJobEnded(current_);
    });
  };
  job->StartWorkers(std::make_unique<TClientWaitThread>(j), std::make_unique<TProcessor>(j));
  return job;
}

void EncoderEngine::EncoderJobEnded(std::shared_ptr<EncoderJob> job) {
  if (job->ended) return;
  job->ended = true;
  job->Release();
  job->outcome.lastLines = job->TailLines(12);
  // A report on the last line without a line end still counts (the text is
  // only the reader's until it is done).
  double last = job->readerDone ? LastReportedTime(job->accumulated) : -1;
  if (last >= 0) job->outcome.reportedSeconds = last;
  // Only the current job owns the display; an older job's end leaves a job
  // started after it untouched.
  if (job == current_) {
    progress_.StopCreep();
    notifier_.ShowConvertProgress(0);
    progress_.statusLine.clear();
  }
  if (run_.converting && entryEndedHook) entryEndedHook(*job);
  // What the hook did not give a name (a failure, a stop, an older job's
  // end) leaves nothing behind.
  job->DiscardTemporaryOutput();
}

void EncoderEngine::Pause() {
  if (!Running() || current_->gate.IsClosed()) return;
  current_->gate.Close();
  if (current_->pid > 0 && !current_->reaped) kill(-current_->pid, SIGSTOP);
}

void EncoderEngine::Resume() {
  if (!current_ || !current_->gate.IsClosed()) return;
  if (current_->pid > 0 && !current_->reaped) kill(-current_->pid, SIGCONT);
  current_->gate.Open();
}

bool EncoderEngine::IsPaused() const { return Running() && current_->gate.IsClosed(); }

void EncoderEngine::Terminate() {
  if (!Running()) return;
  auto job = current_;
  job->outcome.stoppedByUser = true;
  if (job->pid > 0 && !job->reaped) {
    kill(job->pid, SIGTERM);
    kill(-job->pid, SIGCONT);  // a stopped group must run to act on the signal
    QTimer::singleShot(kKillGraceMs, this, [job] {
      if (!job->reaped) kill(-job->pid, SIGKILL);
    });
  }
  job->gate.Open();
}

void DropFinishedJobs(std::vector<std::shared_ptr<EncoderJob>>& jobs) {
  std::erase_if(jobs, [](const std::shared_ptr<EncoderJob>& j) { return j->ended && j->WorkersFinished(); });
}

// Ends every job, then lets pending hand-overs run (they change nothing for
// ended jobs) until the workers have finished.
void ShutdownJobs(std::vector<std::shared_ptr<EncoderJob>>& jobs) {
  for (auto& j : jobs) {
    if (j->pid > 0 && !j->reaped) {
      kill(-j->pid, SIGKILL);
      kill(-j->pid, SIGCONT);
    }
    j->ended = true;
    j->gate.Open();
    j->Release();
  }
  auto allDone = [&] {
    for (auto& j : jobs)
      if (!j->WorkersFinished()) return false;
    return true;
  };
  // Safe: every job is marked ended, so the hand-overs that run here change
  // nothing; the wait only lets the workers' blocked hand-overs return.
  PumpEventsUntil(allDone, 10000);
  for (auto& j : jobs) j->DiscardTemporaryOutput();
  jobs.clear();
}

void EncoderEngine::Shutdown() {
  if (current_) retired_.push_back(current_);
  current_.reset();
  ShutdownJobs(retired_);
}

}  // namespace pcm
