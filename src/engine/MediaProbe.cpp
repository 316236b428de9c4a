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
// separator, each read as a lone probe's output and handed on at once with
// its place in the run. A part that never ended (the run was killed or
// crashed) gives nothing.
class GroupParser : public OutputParser {
 public:
  explicit GroupParser(std::function<void(size_t, ProbeResult)> described)
      : described_(std::move(described)) {}
  void Feed(std::string& text) override {
    for (size_t end = text.find(kEndOfDescription); end != std::string::npos;
         end = text.find(kEndOfDescription)) {
      described_(done_++, DescriptionParser::Read(text.substr(0, end)));
      text.erase(0, end + 1);
    }
  }

 private:
  std::function<void(size_t, ProbeResult)> described_;
  size_t done_ = 0;
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

// The files of one StartAll, their results as they come, and the runs
// describing them.
struct MediaProbe::Group {
  struct Run {
    std::shared_ptr<EncoderJob> job;
    size_t from, count;  // the run's files
    QElapsedTimer clock;
    qint64 limitMs;
    bool killed = false;
  };
  std::vector<std::string> paths;
  std::vector<ProbeResult> results;
  std::vector<bool> ready;  // the result is in
  size_t places = 1, perRun = 1, next = 0;
  std::vector<Run> running;
  bool stopped = false;  // given up on a stop request
};

std::vector<ProbeResult> MediaProbe::ProbeAllAndWait(const std::vector<std::string>& paths, int atOnce) {
  busy_ = true;
  StartAll(paths, atOnce);
  std::vector<ProbeResult> results = WaitForAll();
  busy_ = false;
  return results;
}

void MediaProbe::StartAll(const std::vector<std::string>& paths, int atOnce) {
  GiveUpAll();
  auto group = std::make_shared<Group>();
  group->paths = paths;
  group->results.resize(paths.size());
  group->ready.assign(paths.size(), false);
  group->places = size_t(std::max(atOnce, 1));
  // Loading the media libraries is most of a probe's time, so each run
  // describes several files: the paths are spread evenly over the places.
  group->perRun = std::clamp((paths.size() + group->places - 1) / group->places, size_t(1), kMaxFilesPerRun);
  stopped_ = false;
  group_ = group;
  StartMore(group);
}

void MediaProbe::StartMore(const std::shared_ptr<Group>& group) {
  std::weak_ptr<Group> weak = group;
  while (group->running.size() < group->places && group->next < group->paths.size()) {
    const size_t from = group->next, count = std::min(group->perRun, group->paths.size() - group->next);
    group->next += count;
    JobRunner::Launch launch;
    // The end of a run comes with the events, whoever runs them; a group
    // given up or replaced meanwhile takes nothing.
    if (count == 1) {
      auto parser = std::make_shared<DescriptionParser>();
      launch = ProbeLaunch(group->paths[from], parser);
      launch.onEnd = [this, weak, from, parser](EncoderJob& job) {
        auto g = weak.lock();
        if (!g || g->stopped) return;
        g->results[from] = Described(job, parser->Result());
        g->ready[from] = true;
      };
    } else {
      auto parser = std::make_shared<GroupParser>([weak, from](size_t k, ProbeResult r) {
        auto g = weak.lock();
        if (!g || g->stopped || from + k >= g->ready.size() || g->ready[from + k]) return;
        g->results[from + k] = std::move(r);
        g->ready[from + k] = true;
      });
      launch = ProbeLaunch(group->paths[from], parser);
      launch.args = {encoderPath_, kDescribeEach};
      launch.args.insert(launch.args.end(), group->paths.begin() + long(from),
                         group->paths.begin() + long(from + count));
      launch.onEnd = [weak, from, count](EncoderJob& job) {
        auto g = weak.lock();
        if (!g || g->stopped) return;
        for (size_t k = from; k < from + count; ++k) {
          // An encoder that could not start says why for every file, as a
          // lone probe would.
          if (!job.outcome.started) g->results[k].ProbeFailure = job.outcome.error;
          g->ready[k] = true;
        }
      };
    }
    group->running.push_back(
        {runner_.Start(std::move(launch)), from, count, {}, qint64(timeoutMs) * qint64(count)});
    group->running.back().clock.start();
  }
}

void MediaProbe::PumpGroup(const std::function<bool()>& done) {
  std::shared_ptr<Group> group = group_;
  if (!group) return;
  // Events run while the probes are waited for. Safe for the same reason as
  // in ProbeAndWait: the list commands refuse a second add meanwhile. Each
  // round starts probes for the places that ended, kills a probe past the
  // limit (the time limit per file times its files) and gives up one that
  // does not end even then; a run that ended has given every result it
  // will give.
  PumpEventsUntil(
      [&] {
        if (!group->stopped && stopHook && stopHook()) group->stopped = stopped_ = true;
        for (Group::Run& p : group->running) {
          if (group->stopped || (!p.killed && p.clock.elapsed() > p.limitMs)) {
            runner_.Kill(*p.job);
            p.killed = true;
          }
          if (p.killed && p.clock.elapsed() > 2 * p.limitMs) runner_.Abandon(*p.job);
        }
        std::erase_if(group->running, [&](const Group::Run& p) {
          if (!p.job->ended.load()) return false;
          for (size_t k = p.from; k < p.from + p.count; ++k) group->ready[k] = true;
          return true;
        });
        if (!group->stopped) StartMore(group);
        return group->running.empty() || (!group->stopped && done());
      },
      -1);
}

ProbeResult MediaProbe::WaitFor(size_t k) {
  std::shared_ptr<Group> group = group_;
  if (!group || k >= group->results.size()) return {};
  PumpGroup([&] { return bool(group->ready[k]); });
  if (!group->stopped) return group->results[k];
  stopped_ = true;
  return {};
}

std::vector<ProbeResult> MediaProbe::WaitForAll() {
  std::shared_ptr<Group> group = group_;
  if (!group) return {};
  PumpGroup([] { return false; });
  if (group->stopped) return std::vector<ProbeResult>(group->results.size());
  return group->results;
}

void MediaProbe::GiveUpAll() {
  std::shared_ptr<Group> group = group_;
  if (!group) return;
  group->next = group->paths.size();
  for (Group::Run& p : group->running) {
    runner_.Kill(*p.job);
    p.killed = true;
  }
  PumpGroup([] { return false; });
  group_.reset();
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
  group_.reset();
  busy_ = false;
  runner_.Shutdown();
}

}  // namespace pcm
