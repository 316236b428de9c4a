#include "engine/EncoderEngine.h"

#include "engine/Progress.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

// Progress of one conversion: the encoder's reports on the entry's scale,
// and the time it last said it wrote for the check at the end.
class ConversionParser : public OutputParser {
 public:
  ConversionParser(Progress& progress, int32_t durationSecs, std::function<bool()> owns)
      : progress_(progress), durationSecs_(durationSecs), owns_(std::move(owns)) {}
  // A parser with a progress of its own, for a job beside others.
  ConversionParser(Progress::Sink sink, int32_t durationSecs)
      : own_(std::make_unique<Progress>(std::move(sink))), progress_(*own_), durationSecs_(durationSecs) {}

  void Feed(std::string& text) override {
    // Output of a job another one has superseded changes nothing.
    if (owns_ && !owns_()) return;
    progress_.ParseEncoderOutput(text, durationSecs_, &reported_);
  }
  void Finish(std::string& rest, JobOutcome& outcome) override {
    outcome.reportedSeconds = reported_;
    // A report on the last line without a line end still counts.
    double last = LastReportedTime(rest);
    if (last >= 0) outcome.reportedSeconds = last;
  }

 private:
  std::unique_ptr<Progress> own_;
  Progress& progress_;
  int32_t durationSecs_;
  std::function<bool()> owns_;
  double reported_ = -1;
};

}  // namespace

EncoderEngine::EncoderEngine(Progress& progress, Notifier& notifier, const RunState& run)
    : progress_(progress), notifier_(notifier), run_(run) {}

EncoderEngine::~EncoderEngine() { Shutdown(); }

std::shared_ptr<EncoderJob> EncoderEngine::StartEncoderJob(const intputrec& rec) {
  return Start(rec, nullptr, true);
}

std::shared_ptr<EncoderJob> EncoderEngine::StartEncoderJob(const intputrec& rec, Progress::Sink sink) {
  return Start(rec, std::make_shared<ConversionParser>(std::move(sink), rec.DurationSecs), false);
}

std::shared_ptr<EncoderJob> EncoderEngine::Start(const intputrec& rec, std::shared_ptr<OutputParser> parser,
                                                 bool shared) {
  auto job = std::make_shared<EncoderJob>();
  job->record = rec;
  if (shared) {
    // Only the job started last through the shared parser moves the strip.
    const EncoderJob* self = job.get();
    parser = std::make_shared<ConversionParser>(progress_, rec.DurationSecs,
                                                [this, self] { return stripOwner_ == self; });
    stripOwner_ = self;
  }
  current_ = job;
  JobRunner::Launch launch;
  launch.args = BuildArgumentVector(rec);
  launch.workDir = rec.WorkDir;
  launch.chunk = kReadChunk;
  launch.parser = std::move(parser);
  launch.onEnd = [this, shared](EncoderJob& j) { EndStep(j, shared); };
  return runner_.Start(std::move(launch), job);
}

void EncoderEngine::EndStep(EncoderJob& job, bool shared) {
  // Only the job that owns the strip resets it; an older job's end leaves a
  // job started after it untouched.
  if (shared && stripOwner_ == &job) {
    stripOwner_ = nullptr;
    progress_.StopCreep();
    notifier_.ShowConvertProgress(0);
    progress_.statusLine.clear();
  }
  if (run_.converting && entryEndedHook) entryEndedHook(job);
  // What the hook did not give a name (a failure, a stop, an older job's
  // end) leaves nothing behind.
  job.DiscardTemporaryOutput();
}

void EncoderEngine::Pause() {
  for (auto& j : runner_.RunningJobs()) runner_.Pause(*j);
}

void EncoderEngine::Resume() {
  for (auto& j : runner_.RunningJobs()) runner_.Resume(*j);
}

bool EncoderEngine::IsPaused() const {
  for (auto& j : runner_.RunningJobs())
    if (j->Paused()) return true;
  return false;
}

void EncoderEngine::Terminate() {
  for (auto& j : runner_.RunningJobs()) runner_.Stop(j);
}

void EncoderEngine::Shutdown() {
  current_.reset();
  stripOwner_ = nullptr;
  runner_.Shutdown();
}

}  // namespace pcm
