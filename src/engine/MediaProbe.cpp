#include "engine/MediaProbe.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <csignal>

#include "engine/EventPump.h"
#include "ui/WholeNumber.h"

namespace pcm {

namespace {

// The lines of the text for the extraction rules: cut at CR only, each line
// keeping its CR; text after the last CR is not a line.
std::vector<std::string_view> CrLines(std::string_view t) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = t.find('\r'); i != std::string_view::npos; i = t.find('\r', i + 1)) {
    lines.push_back(t.substr(start, i + 1 - start));
    start = i + 1;
  }
  return lines;
}

const std::string_view* LineWith(const std::vector<std::string_view>& lines, std::string_view key) {
  for (auto& l : lines)
    if (l.find(key) != std::string_view::npos) return &l;
  return nullptr;
}

// The number before " kb/s" on the line: back from " kb/s" to a blank, at most
// 10 characters.
std::string RateOnLine(std::string_view line) {
  size_t p = line.find(" kb/s");
  if (p == std::string_view::npos) return {};
  size_t steps = 0;
  size_t k = p;
  while (steps < 10 && k > 0) {
    --k;
    ++steps;
    if (line[k] == ' ') return std::string(line.substr(k + 1, p - k - 1));
  }
  return std::string(line.substr(p >= 10 ? p - 10 : 0, p >= 10 ? 10 : p));
}

std::string FrameSizeOnLine(std::string_view line) {
  size_t v = line.find("Video:");
  std::string_view part = line.substr(v);
  if (!part.empty()) part.remove_suffix(1);  // the CR
  size_t x = part.find('x');
  if (x == std::string_view::npos) return {};
  // Back from the "x" to a blank (i steps, 11 when none within 10).
  size_t i = 1;
  while (i <= 10 && !(x >= i && part[x - i] == ' ')) ++i;
  // Forward while digits (j steps to the first non-digit, 11 at the limit).
  size_t j = 1;
  while (j <= 10 && x + j < part.size() && part[x + j] >= '0' && part[x + j] <= '9') ++j;
  if (i > x) return {};  // no room before the "x"
  size_t begin = x - i + 1;
  return std::string(part.substr(begin, i + j - 1));
}

void AudioOnLine(std::string_view line, ProbeResult& r) {
  r.ProbeAudioCodec.clear();
  r.ProbeSampleRate.clear();
  r.ProbeChannels.clear();
  size_t a = line.find("Audio:");
  size_t comma = line.find(',');
  size_t from = a + 7;
  if (comma == std::string_view::npos || comma < from) {
    r.ProbeAudioCodec = from < line.size() ? std::string(line.substr(from)) : std::string();
    if (!r.ProbeAudioCodec.empty() && r.ProbeAudioCodec.back() == '\r') r.ProbeAudioCodec.pop_back();
    return;
  }
  r.ProbeAudioCodec = line.substr(from, comma - from);
  std::string_view rest = line.substr(comma + 1);
  if (!rest.empty()) rest.remove_suffix(1);  // the CR
  size_t c2 = rest.find(',');
  if (c2 == std::string_view::npos) {
    r.ProbeSampleRate = rest;
    return;
  }
  r.ProbeSampleRate = rest.substr(0, c2);
  rest = rest.substr(c2 + 1);
  size_t c3 = rest.find(',');
  if (c3 != std::string_view::npos) r.ProbeChannels = rest.substr(0, c3);
}

// The duration after "Duration:" and a blank: the clock with as many hour
// digits as it has, without its fraction and the fields after it ("N/A"
// stays "N/A"). A clock beyond the longest plausible medium is dropped.
std::string DurationAt(const std::string& t, size_t d) {
  size_t from = std::min(d + 10, t.size());
  size_t end = std::min(t.find_first_of(".,; \r\n", from), t.size());
  std::string value = t.substr(from, end - from);
  size_t colon = value.find(':');
  if (value.size() > kMaxDurationText || (colon != std::string::npos && colon > kMaxHourDigits)) return {};
  return value;
}

// Rates beyond any real medium (or below zero) are dropped, as if the
// description had given none; other texts stay as printed.
std::string BoundedRate(std::string rate) {
  auto kbps = ReadWholeNumber<long long>(rate);
  if (kbps && (*kbps < 0 || *kbps > kMaxKbps)) return {};
  return rate;
}

// A frame size with a side beyond any real medium is dropped likewise.
std::string BoundedFrameSize(std::string size) {
  size_t x = size.find('x');
  if (x == std::string::npos) return size;
  for (const std::string& side : {size.substr(0, x), size.substr(x + 1)}) {
    auto pixels = ReadWholeNumber<long long>(side);
    if (pixels && *pixels > kMaxFrameSide) return {};
  }
  return size;
}

void Extract(const std::string& t, ProbeResult& r) {
  size_t d = t.find("Duration:");
  if (d != std::string::npos) r.ProbeDuration = DurationAt(t, d);
  auto lines = CrLines(t);
  if (auto l = LineWith(lines, "bitrate:")) r.ProbeTotalKbps = BoundedRate(RateOnLine(*l));
  if (auto l = LineWith(lines, "Video:")) {
    r.ProbeVideoKbps = BoundedRate(RateOnLine(*l));
    r.ProbeFrameSize = BoundedFrameSize(FrameSizeOnLine(*l));
  }
  if (auto l = LineWith(lines, "Audio:")) {
    r.ProbeAudioKbps = BoundedRate(RateOnLine(*l));
    AudioOnLine(*l, r);
  }
}

}  // namespace

void ParseProbeOutput(std::string& text, ProbeResult& result) {
  // Every line end extracts from the whole unconsumed text, so all of them
  // give the same values: one extraction stands for them all, and a chunk of
  // many line ends costs no more than its length.
  size_t last = text.find_last_of("\r\n");
  if (last == std::string::npos) return;
  Extract(text, result);
  text.erase(0, last + 1);
}

namespace {

// The description parser: the values of one probe's description.
class DescriptionParser : public OutputParser {
 public:
  void Feed(std::string& text) override { ParseProbeOutput(text, described); }
  ProbeResult described;
};

// The adapter's option that describes several files in one run, each
// description ended by a record separator byte (0x1E: a description never
// holds a control byte, and the job's reader stops a chunk at a NUL byte).
constexpr const char* kDescribeEach = "--describe-each";
constexpr char kEndOfDescription = '\x1e';

// The parser of such a run: one description per part ended by the
// separator, each read as a lone probe's output. A part that never ended
// (the run was killed or crashed) gives nothing.
class GroupParser : public OutputParser {
 public:
  explicit GroupParser(size_t files) : described(files) {}
  void Feed(std::string& text) override {
    for (size_t end = text.find(kEndOfDescription); end != std::string::npos;
         end = text.find(kEndOfDescription)) {
      std::string part = text.substr(0, end);
      if (done < described.size()) ParseProbeOutput(part, described[done]);
      ++done;
      text.erase(0, end + 1);
    }
  }
  std::vector<ProbeResult> described;
  size_t done = 0;
};

}  // namespace

MediaProbe::MediaProbe(std::string encoderPath, std::string workDir)
    : encoderPath_(std::move(encoderPath)), workDir_(std::move(workDir)) {}

MediaProbe::~MediaProbe() { Shutdown(); }

JobRunner::Launch MediaProbe::ProbeLaunch(const std::string& path,
                                          std::shared_ptr<OutputParser> parser) const {
  JobRunner::Launch launch;
  launch.args = {encoderPath_, "-i", path};
  launch.workDir = workDir_;
  launch.chunk = kReadChunk;
  launch.parser = std::move(parser);
  return launch;
}

void MediaProbe::ProbeMedia(const std::string& path) {
  result = ProbeResult{};
  busy_ = true;
  auto parser = std::make_shared<DescriptionParser>();
  JobRunner::Launch launch = ProbeLaunch(path, parser);
  // Only the probe started last gives its values; an older one's end
  // changes nothing.
  launch.onEnd = [this, parser](EncoderJob& job) {
    if (job_.get() == &job) EndStep(job, parser->described);
  };
  job_ = runner_.Start(std::move(launch));
}

void MediaProbe::EndStep(EncoderJob& job, const ProbeResult& described) {
  busy_ = false;
  result = Described(job, described);
}

ProbeResult MediaProbe::Described(const EncoderJob& job, const ProbeResult& described) const {
  ProbeResult r = described;
  if (!r.ProbeTotalKbps.empty()) return r;
  // A description of nothing: when the encoder could not start, or said in
  // its own name that it cannot describe files, that is the reason to show.
  if (!job.outcome.started) {
    r.ProbeFailure = job.outcome.error;
    return r;
  }
  const std::string& encoder = encoderPath_;
  std::string own = encoder.substr(encoder.rfind('/') + 1) + ": ";
  for (const std::string& line : job.TailLines(4))
    if (line.rfind(own, 0) == 0) r.ProbeFailure = line;
  return r;
}

std::vector<ProbeResult> MediaProbe::ProbeAllAndWait(const std::vector<std::string>& paths, int atOnce) {
  std::vector<ProbeResult> results(paths.size());
  const size_t places = size_t(std::max(atOnce, 1));
  // Loading the media libraries is most of a probe's time, so each run
  // describes several files: the paths are spread evenly over the places.
  const size_t perRun = std::clamp((paths.size() + places - 1) / places, size_t(1), kMaxFilesPerRun);
  struct Probe {
    std::shared_ptr<EncoderJob> job;
    QElapsedTimer clock;
    qint64 limitMs;
    bool killed = false;
  };
  std::vector<Probe> running;
  size_t next = 0;
  stopped_ = false;
  busy_ = true;
  auto startMore = [&] {
    while (running.size() < places && next < paths.size()) {
      const size_t from = next, count = std::min(perRun, paths.size() - next);
      next += count;
      JobRunner::Launch launch;
      if (count == 1) {
        auto parser = std::make_shared<DescriptionParser>();
        launch = ProbeLaunch(paths[from], parser);
        // Runs only while this call waits: a probe given up below is marked
        // ended first, so its end never comes here.
        launch.onEnd = [&, from, parser](EncoderJob& job) {
          results[from] = stopped_ ? ProbeResult{} : Described(job, parser->described);
          std::erase_if(running, [&](const Probe& p) { return p.job.get() == &job; });
        };
      } else {
        auto parser = std::make_shared<GroupParser>(count);
        launch = ProbeLaunch(paths[from], parser);
        launch.args = {encoderPath_, kDescribeEach};
        launch.args.insert(launch.args.end(), paths.begin() + long(from), paths.begin() + long(from + count));
        launch.onEnd = [&, from, count, parser](EncoderJob& job) {
          for (size_t k = 0; k < count && !stopped_; ++k) {
            results[from + k] = parser->described[k];
            // An encoder that could not start says why for every file, as
            // a lone probe would.
            if (!job.outcome.started) results[from + k].ProbeFailure = job.outcome.error;
          }
          std::erase_if(running, [&](const Probe& p) { return p.job.get() == &job; });
        };
      }
      running.push_back({runner_.Start(std::move(launch)), {}, qint64(timeoutMs) * qint64(count), false});
      running.back().clock.start();
    }
  };
  startMore();
  // Events run while the probes are waited for. Safe for the same reason as
  // in ProbeAndWait: the list commands refuse a second add meanwhile. Each
  // round starts probes for the places that ended, kills a probe past the
  // limit (the time limit per file times its files) and gives up one that
  // does not end even then.
  PumpEventsUntil(
      [&] {
        if (stopHook && stopHook()) stopped_ = true;
        for (Probe& p : running) {
          if (stopped_ || (!p.killed && p.clock.elapsed() > p.limitMs)) {
            runner_.Kill(*p.job);
            p.killed = true;
          }
          if (p.killed && p.clock.elapsed() > 2 * p.limitMs) runner_.Abandon(*p.job);
        }
        std::erase_if(running, [](const Probe& p) { return p.job->ended.load(); });
        if (!stopped_) startMore();
        return running.empty();
      },
      -1);
  busy_ = false;
  return results;
}

void MediaProbe::ProbeAndWait(const std::string& path) {
  ProbeMedia(path);
  auto job = job_;
  auto kill = [this, job] { runner_.Kill(*job); };
  stopped_ = false;
  // Events run while the probe is waited for (the window stays responsive).
  // Safe: the list commands refuse a second add while this one runs, so no
  // other probe replaces this one or its result.
  PumpEventsUntil(
      [&] {
        stopped_ = stopHook && busy_ && stopHook();
        return !busy_ || stopped_;
      },
      timeoutMs, kill);
  if (stopped_) {
    kill();
    result = ProbeResult{};
  }
  // The killed encoder ends through its waiter; should even that not come,
  // the probe is given up rather than waited for forever.
  if (busy_) {
    runner_.Abandon(*job);
    busy_ = false;
  }
}

void MediaProbe::Shutdown() {
  job_.reset();
  busy_ = false;
  runner_.Shutdown();
}

}  // namespace pcm
