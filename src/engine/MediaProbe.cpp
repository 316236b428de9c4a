#include "engine/MediaProbe.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <csignal>

#include "engine/EventPump.h"

namespace pcm {

void TakeDescriptionLines(std::string& text, std::string& described) {
  constexpr size_t kMaxDescription = 1 << 20;
  size_t last = text.rfind('\n');
  if (last == std::string::npos) {
    // A line longer than any description: dropped rather than kept growing.
    if (text.size() > kMaxDescription) text.clear();
    return;
  }
  if (described.size() + last + 1 <= kMaxDescription) described.append(text, 0, last + 1);
  text.erase(0, last + 1);
}

namespace {

// The description parser: the values of one probe's description.
class DescriptionParser : public OutputParser {
 public:
  void Feed(std::string& text) override { TakeDescriptionLines(text, lines); }
  void Finish(std::string& rest, JobOutcome&) override {
    rest += '\n';
    TakeDescriptionLines(rest, lines);
  }
  ProbeResult Result() const { return Read(lines); }
  static ProbeResult Read(const std::string& lines) {
    // A file the library cannot read is the file's fault, said as such by
    // the caller with the library's reason; only the encoder's own failures
    // are failures of the probe.
    ProbeResult r;
    r.media = ParseMediaDescription(lines, &r.fileError);
    return r;
  }
  std::string lines;
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
      if (done < described.size()) described[done] = DescriptionParser::Read(text.substr(0, end));
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
    if (job_.get() == &job) EndStep(job, parser->Result());
  };
  job_ = runner_.Start(std::move(launch));
}

void MediaProbe::EndStep(EncoderJob& job, const ProbeResult& described) {
  busy_ = false;
  result = Described(job, described);
}

ProbeResult MediaProbe::Described(const EncoderJob& job, const ProbeResult& described) const {
  ProbeResult r = described;
  if (r.media.described) return r;
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
          results[from] = stopped_ ? ProbeResult{} : Described(job, parser->Result());
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
