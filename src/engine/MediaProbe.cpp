#include "engine/MediaProbe.h"

#include <sys/eventfd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <csignal>

#include "engine/EventPump.h"
#include "ui/CoreApp.h"

namespace pcm {

namespace {

// The lines of the text for the extraction rules: cut at CR only, each line
// keeping its CR; text after the last CR is not a line.
std::vector<std::string> CrLines(const std::string& t) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\r') {
      lines.push_back(t.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  return lines;
}

const std::string* LineWith(const std::vector<std::string>& lines, const std::string& key) {
  for (auto& l : lines)
    if (l.find(key) != std::string::npos) return &l;
  return nullptr;
}

// The number before " kb/s" on the line: back from " kb/s" to a blank, at most
// 10 characters.
std::string RateOnLine(const std::string& line) {
  size_t p = line.find(" kb/s");
  if (p == std::string::npos) return {};
  size_t steps = 0;
  size_t k = p;
  while (steps < 10 && k > 0) {
    --k;
    ++steps;
    if (line[k] == ' ') return line.substr(k + 1, p - k - 1);
  }
  return line.substr(p >= 10 ? p - 10 : 0, p >= 10 ? 10 : p);
}

std::string FrameSizeOnLine(const std::string& line) {
  size_t v = line.find("Video:");
  std::string part = line.substr(v);
  if (!part.empty()) part.pop_back();  // the CR
  size_t x = part.find('x');
  if (x == std::string::npos) return {};
  // Back from the "x" to a blank (i steps, 11 when none within 10).
  size_t i = 1;
  while (i <= 10 && !(x >= i && part[x - i] == ' ')) ++i;
  // Forward while digits (j steps to the first non-digit, 11 at the limit).
  size_t j = 1;
  while (j <= 10 && x + j < part.size() && part[x + j] >= '0' && part[x + j] <= '9') ++j;
  if (i > x) return {};  // no room before the "x"
  size_t begin = x - i + 1;
  return part.substr(begin, i + j - 1);
}

void AudioOnLine(const std::string& line, ProbeResult& r) {
  r.ProbeAudioCodec.clear();
  r.ProbeSampleRate.clear();
  r.ProbeChannels.clear();
  size_t a = line.find("Audio:");
  size_t comma = line.find(',');
  size_t from = a + 7;
  if (comma == std::string::npos || comma < from) {
    r.ProbeAudioCodec = from < line.size() ? line.substr(from) : std::string();
    if (!r.ProbeAudioCodec.empty() && r.ProbeAudioCodec.back() == '\r') r.ProbeAudioCodec.pop_back();
    return;
  }
  r.ProbeAudioCodec = line.substr(from, comma - from);
  std::string rest = line.substr(comma + 1);
  if (!rest.empty()) rest.pop_back();  // the CR
  size_t c2 = rest.find(',');
  if (c2 == std::string::npos) {
    r.ProbeSampleRate = rest;
    return;
  }
  r.ProbeSampleRate = rest.substr(0, c2);
  rest = rest.substr(c2 + 1);
  size_t c3 = rest.find(',');
  if (c3 != std::string::npos) r.ProbeChannels = rest.substr(0, c3);
}

void Extract(const std::string& t, ProbeResult& r) {
  size_t d = t.find("Duration:");
  if (d != std::string::npos) r.ProbeDuration = t.substr(std::min(d + 10, t.size()), 8);
  auto lines = CrLines(t);
  if (auto l = LineWith(lines, "bitrate:")) r.ProbeTotalKbps = RateOnLine(*l);
  if (auto l = LineWith(lines, "Video:")) {
    r.ProbeVideoKbps = RateOnLine(*l);
    r.ProbeFrameSize = FrameSizeOnLine(*l);
  }
  if (auto l = LineWith(lines, "Audio:")) {
    r.ProbeAudioKbps = RateOnLine(*l);
    AudioOnLine(*l, r);
  }
}

}  // namespace

void ParseProbeOutput(std::string& text, ProbeResult& result) {
  size_t n = text.size();
  size_t c = 0;
  // Jump from line end to line end: the unconsumed text before a new chunk
  // holds none, so a long line without an end is not rescanned char by char.
  for (size_t i = text.find_first_of("\r\n"); i < n; i = text.find_first_of("\r\n", i + 1)) {
    if (i < c) continue;
    char ch = text[i];
    Extract(text, result);
    c = i + 1;
    if (ch == '\r' && i + 1 < n && text[i + 1] == '\n') c = i + 2;
  }
  text.erase(0, c);
}

void TtimeProcessor::Execute() { job_->ReadLoop(MediaProbe::kReadChunk); }
void TtimeClientWaitThread::Execute() { job_->WaitLoop(); }

MediaProbe::MediaProbe(CoreApp& app) : app_(app) {}

MediaProbe::~MediaProbe() { Shutdown(); }

void MediaProbe::ProbeMedia(const std::string& path) {
  DropFinishedJobs(retired_);
  if (job_) retired_.push_back(job_);
  result = ProbeResult{};
  busy_ = true;
  auto job = std::make_shared<EncoderJob>();
  job_ = job;
  job->wakeFd = eventfd(0, EFD_CLOEXEC);
  const std::string& encoder = app_.engine.record.EncoderPath;
  if (!job->Spawn({encoder, "-i", path}, app_.engine.record.WorkDir)) {
    QMetaObject::invokeMethod(
        this, [this, job] { EndStep(job); }, Qt::QueuedConnection);
    return;
  }
  EncoderJob* j = job.get();
  job->onChunk = [this, j] {
    app_.HandOver([this, j] {
      if (j->ended || job_.get() != j) return;
      ParseProbeOutput(j->accumulated, result);
    });
  };
  job->onEnd = [this, j] {
    app_.HandOver([this, j] {
      if (job_.get() == j) EndStep(job_);
    });
  };
  job->StartWorkers(std::make_unique<TtimeClientWaitThread>(j), std::make_unique<TtimeProcessor>(j));
}

void MediaProbe::EndStep(const std::shared_ptr<EncoderJob>& job) {
  if (job->ended) return;
  job->ended = true;
  job->Release();
  busy_ = false;
}

void MediaProbe::ProbeAndWait(const std::string& path) {
  ProbeMedia(path);
  auto job = job_;
  PumpEventsUntil([this] { return !busy_; }, timeoutMs,
                  [job] {
                    if (job && job->pid > 0 && !job->reaped) kill(-job->pid, SIGKILL);
                  });
  // The killed encoder ends through its waiter; should even that not come,
  // the probe is given up rather than waited for forever.
  if (busy_) {
    job->ended = true;
    job->Release();
    busy_ = false;
  }
}

void MediaProbe::Shutdown() {
  if (job_) retired_.push_back(job_);
  job_.reset();
  busy_ = false;
  ShutdownJobs(retired_);
}

}  // namespace pcm
