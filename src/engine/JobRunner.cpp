#include "engine/JobRunner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

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

EncoderJob::~EncoderJob() { JoinWorkers(); }

void EncoderJob::JoinWorkers() {
  if (reader_.joinable()) reader_.join();
  if (waiter_.joinable()) waiter_.join();
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

JobRunner::~JobRunner() { Shutdown(); }

std::shared_ptr<EncoderJob> JobRunner::Find(const EncoderJob* job) const {
  for (auto& j : jobs_)
    if (j.get() == job) return j;
  return nullptr;
}

void JobRunner::DropFinished() {
  std::erase_if(jobs_, [](const std::shared_ptr<EncoderJob>& j) { return j->ended && j->WorkersFinished(); });
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

  EncoderJob* j = job.get();
  auto chunk = [this, j] {
    HandOver(*this, [j] {
      // Output that arrives after the end step changes nothing.
      if (j->ended || !j->parser) return;
      j->parser->Feed(j->accumulated);
    });
  };
  auto end = [this, j] {
    HandOver(*this, [this, j] {
      if (auto k = Find(j)) EndStep(k);
    });
  };
  // The waiter first: it reaps the process whatever the reader does.
  job->readerFinished_ = false;
  job->waiterFinished_ = false;
  job->waiter_ = std::thread([j, end] {
    j->WaitLoop(end);
    j->waiterFinished_ = true;
  });
  size_t size = launch.chunk;
  job->reader_ = std::thread([j, chunk, size] {
    j->ReadLoop(size, chunk);
    j->readerFinished_ = true;
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
  if (job.pid > 0 && !job.reaped) kill(-job.pid, SIGSTOP);
}

void JobRunner::Resume(EncoderJob& job) {
  if (!job.gate.IsClosed()) return;
  if (job.pid > 0 && !job.reaped) kill(-job.pid, SIGCONT);
  job.gate.Open();
}

void JobRunner::Stop(const std::shared_ptr<EncoderJob>& job) {
  if (job->ended) return;
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

void JobRunner::Kill(EncoderJob& job) {
  if (job.pid > 0 && !job.reaped) {
    kill(-job.pid, SIGKILL);
    kill(-job.pid, SIGCONT);
  }
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
void JobRunner::Shutdown() {
  for (auto& j : jobs_) Abandon(*j);
  auto allDone = [&] {
    for (auto& j : jobs_)
      if (!j->WorkersFinished()) return false;
    return true;
  };
  // Safe: every job is marked ended, so the hand-overs that run here change
  // nothing; the wait only lets the workers' blocked hand-overs return.
  PumpEventsUntil(allDone, 10000);
  for (auto& j : jobs_) j->DiscardTemporaryOutput();
  jobs_.clear();
}

}  // namespace pcm
