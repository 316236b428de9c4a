#include "engine/JobRunner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QThread>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "engine/EventPump.h"
#include "engine/OutputFiles.h"
#include "engine/Spawn.h"

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

// Workers hand over through this object rather than the runner: a worker
// left running at shutdown keeps it alive, and finds the runner gone.
class HandOverRelay : public QObject {
 public:
  JobRunner* runner = nullptr;  // main thread only
};

EncoderJob::~EncoderJob() { JoinWorkers(); }

void EncoderJob::JoinWorkers() {
  for (std::thread* t : {&reader_, &waiter_}) {
    if (!t->joinable()) continue;
    // The last owner may be a worker itself, which is at its end.
    if (t->get_id() == std::this_thread::get_id())
      t->detach();
    else
      t->join();
  }
}

void EncoderJob::DetachUnfinishedWorkers() {
  if (WorkersFinished()) {
    JoinWorkers();
    return;
  }
  // A worker left running may be the job's last owner: what the main thread
  // made goes here, on the main thread, not with the job on the worker.
  parser.reset();
  onEnd = nullptr;
  if (reader_.joinable() && !readerFinished_) reader_.detach();
  if (waiter_.joinable() && !waiterFinished_) waiter_.detach();
  JoinWorkers();
}

void EncoderJob::Signal(int sig, bool group) {
  std::lock_guard<std::mutex> l(processMutex_);
  if (pid > 0 && !reaped) kill(group ? -pid : pid, sig);
}

void EncoderJob::KeepTail(const char* data, size_t n) {
  constexpr size_t kTail = 8192;
  std::lock_guard<std::mutex> l(tailMutex_);
  tail_.append(data, n);
  if (tail_.size() > 2 * kTail) tail_.erase(0, tail_.size() - kTail);
}

std::vector<std::string> SplitOutputLines(const std::string& text) {
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
  return lines;
}

std::vector<std::string> EncoderJob::TailLines(size_t maxLines) const {
  std::string text;
  {
    std::lock_guard<std::mutex> l(tailMutex_);
    text = tail_;
  }
  std::vector<std::string> lines = SplitOutputLines(text);
  if (lines.size() > maxLines) lines.erase(lines.begin(), lines.end() - long(maxLines));
  return lines;
}

void EncoderJob::ReadLoop(size_t chunk, const std::function<void()>& handOverChunk) {
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
    if (accumulated.size() > JobRunner::kMaxAccumulated)
      accumulated.erase(0, accumulated.size() - JobRunner::kMaxAccumulated / 16);
    gate.Pass();
    handOverChunk();
    if (n == 0) break;
  }
  outFd.reset();
  {
    std::lock_guard<std::mutex> l(readerMutex_);
    readerDone = true;
  }
  readerCv_.notify_all();
}

void EncoderJob::WaitLoop(const std::function<void()>& handOverEnd) {
  // The exit is seen without collecting the process, so its pid and group
  // id cannot be given to another process until it is collected below.
  siginfo_t info{};
  int r;
  do {
    r = waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
  } while (r < 0 && errno == EINTR);
  {
    std::lock_guard<std::mutex> l(processMutex_);
    if (r == 0) {
      if (info.si_code == CLD_EXITED) {
        outcome.exited = true;
        outcome.exitCode = info.si_status;
      } else if (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED) {
        outcome.termSignal = info.si_status;
      }
      // Nothing of the job may outlive it: whatever is left of its group goes.
      kill(-pid, SIGKILL);
    }
    reaped = true;
  }
  if (r == 0) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  gate.Pass();
  // Let the reader deliver the last output first, so that the end step sees
  // the program's final lines.
  {
    std::unique_lock<std::mutex> l(readerMutex_);
    readerCv_.wait_for(l, std::chrono::seconds(3), [this] { return readerDone.load(); });
  }
  handOverEnd();
}

void EncoderJob::Release() {
  inFd.reset();
  if (wakeFd.valid()) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t w = write(wakeFd.get(), &one, sizeof one);
  }
}

void EncoderJob::DiscardTemporaryOutput() {
  RemoveTemporaryOutput(record.TempFile);
  record.TempFile.clear();
}

JobRunner::JobRunner()
    : relay_(new HandOverRelay, [](HandOverRelay* relay) {
        // The last owner may be a worker; the object goes on its own thread.
        if (QThread::currentThread() == relay->thread())
          delete relay;
        else
          relay->deleteLater();
      }) {
  relay_->runner = this;
}

JobRunner::~JobRunner() {
  Shutdown();
  relay_->runner = nullptr;
}

std::shared_ptr<EncoderJob> JobRunner::Find(const EncoderJob* job) const {
  for (auto& j : jobs_)
    if (j.get() == job) return j;
  return nullptr;
}

void JobRunner::DropFinished() {
  std::erase_if(jobs_, [](const std::shared_ptr<EncoderJob>& j) {
    if (!j->ended || !j->WorkersFinished()) return false;
    // Joined here, so the workers' share of the job is gone and the job is
    // freed on the main thread.
    j->JoinWorkers();
    return true;
  });
}

std::shared_ptr<EncoderJob> JobRunner::Start(Launch launch, std::shared_ptr<EncoderJob> job) {
  DropFinished();
  if (!job) job = std::make_shared<EncoderJob>();
  job->id = nextId_++;
  job->parser = std::move(launch.parser);
  job->onEnd = std::move(launch.onEnd);
  job->wakeFd.reset(eventfd(0, EFD_CLOEXEC));
  jobs_.push_back(job);

  SpawnResult sp = SpawnEncoder(launch.args, launch.workDir);
  if (!sp.ok()) {
    job->outcome.error = sp.error;
    job->KeepTail(sp.error.data(), sp.error.size());
    // The job ends after the caller has returned, like a program that ended
    // without output.
    QMetaObject::invokeMethod(
        this, [this, job] { EndStep(job); }, Qt::QueuedConnection);
    return job;
  }
  job->pid = sp.pid;
  job->outFd.reset(sp.outFd);
  job->inFd.reset(sp.inFd);
  job->outcome.started = true;

  // The workers own the job and the relay with the runner: either may
  // outlive the runner when a worker is left running at shutdown.
  std::shared_ptr<HandOverRelay> relay = relay_;
  auto chunk = [relay](const std::shared_ptr<EncoderJob>& j) {
    HandOver(*relay, [&j] {
      // Output that arrives after the end step changes nothing.
      if (j->ended || !j->parser) return;
      j->parser->Feed(j->accumulated);
    });
  };
  auto end = [relay](const std::shared_ptr<EncoderJob>& j) {
    HandOver(*relay, [&relay, &j] {
      if (!relay->runner) return;
      if (auto k = relay->runner->Find(j.get())) relay->runner->EndStep(k);
    });
  };
  // The waiter first: it reaps the process whatever the reader does.
  job->readerFinished_ = false;
  job->waiterFinished_ = false;
  job->waiter_ = std::thread([job, end] {
    job->WaitLoop([&] { end(job); });
    job->waiterFinished_ = true;
  });
  size_t size = launch.chunk;
  job->reader_ = std::thread([job, chunk, size] {
    job->ReadLoop(size, [&] { chunk(job); });
    job->readerFinished_ = true;
  });
  return job;
}

void JobRunner::EndStep(const std::shared_ptr<EncoderJob>& job) {
  if (job->ended) return;
  job->ended = true;
  job->Release();
  job->outcome.lastLines = job->TailLines(12);
  if (job->parser) {
    // The text is only the reader's until it is done.
    std::string rest = job->readerDone ? job->accumulated : std::string();
    job->parser->Finish(rest, job->outcome);
  }
  if (job->onEnd) job->onEnd(*job);
}

void JobRunner::Pause(EncoderJob& job) {
  if (job.ended || job.gate.IsClosed()) return;
  job.gate.Close();
  job.Signal(SIGSTOP, true);
}

void JobRunner::Resume(EncoderJob& job) {
  if (!job.gate.IsClosed()) return;
  job.Signal(SIGCONT, true);
  job.gate.Open();
}

void JobRunner::Stop(const std::shared_ptr<EncoderJob>& job) {
  if (job->ended) return;
  job->outcome.stoppedByUser = true;
  if (job->pid > 0 && !job->reaped) {
    job->Signal(SIGTERM, false);
    job->Signal(SIGCONT, true);  // a stopped group must run to act on the signal
    QTimer::singleShot(kKillGraceMs, this, [job] { job->Signal(SIGKILL, true); });
  }
  job->gate.Open();
}

void JobRunner::Kill(EncoderJob& job) {
  job.Signal(SIGKILL, true);
  job.Signal(SIGCONT, true);
  job.gate.Open();
}

void JobRunner::Abandon(EncoderJob& job) {
  Kill(job);
  job.ended = true;
  job.Release();
}

std::vector<std::shared_ptr<EncoderJob>> JobRunner::RunningJobs() const {
  std::vector<std::shared_ptr<EncoderJob>> running;
  for (auto& j : jobs_)
    if (!j->ended) running.push_back(j);
  return running;
}

// Ends every job, then lets pending hand-overs run (they change nothing for
// ended jobs) until the workers have finished.
void JobRunner::Shutdown(int waitMs) {
  for (auto& j : jobs_) Abandon(*j);
  auto allDone = [&] {
    for (auto& j : jobs_)
      if (!j->WorkersFinished()) return false;
    return true;
  };
  // Safe: every job is marked ended, so the hand-overs that run here change
  // nothing; the wait only lets the workers' blocked hand-overs return.
  PumpEventsUntil(allDone, waitMs);
  for (auto& j : jobs_) {
    j->DiscardTemporaryOutput();
    j->DetachUnfinishedWorkers();
  }
  jobs_.clear();
}

}  // namespace pcm
