#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobRunner.h"
#include "engine/MediaInfo.h"

namespace pcm {

// What the encoder's description of a file said, as numbers.
struct ProbeResult {
  MediaInfo media;
  // Why the encoder could not describe the file: its error line, or why it
  // could not run at all; empty when it described the file.
  std::string ProbeFailure;
  // Why the library could not read the file (the file's own fault), as the
  // encoder's error record says it: "<path>: Invalid data found when
  // processing input"; empty when it said nothing.
  std::string fileError;
};

// Takes the complete lines of a description from the front of `text` into
// `described` (the partial last line stays for the next chunk), up to a
// bound no real description comes near.
void TakeDescriptionLines(std::string& text, std::string& described);

// Runs the encoder with only an input to have it describe the file, on its
// own job runner with the description parser.
// Threads: lives on the main thread; result, busy_ and job_ change only
// there (in the hand-overs and the end step). The job's workers follow the
// rules of EncoderJob.
class MediaProbe : public QObject {
  Q_OBJECT
 public:
  // `encoderPath` is the adapter that describes files; it runs in `workDir`.
  MediaProbe(std::string encoderPath, std::string workDir);
  ~MediaProbe() override;

  // Starts the probe and returns at once; Busy() is true until its end step
  // has run.
  void ProbeMedia(const std::string& path);
  bool Busy() const { return busy_; }
  // Starts a probe and processes events until it has ended. A probe that
  // takes longer than the limit is killed (an input that never answers, such
  // as a pipe, must not hang the program), and so is one for which stopHook
  // turns true while it runs; its result is then empty and Stopped() true.
  void ProbeAndWait(const std::string& path);
  bool Stopped() const { return stopped_; }
  // Probes the files, up to `atOnce` encoder runs at a time, and processes
  // events until every run has ended; the results are in the order of
  // `paths`, each as ProbeAndWait gives it. A run describes up to
  // kMaxFilesPerRun files one after another (the time limit is per file). A
  // file whose run ended before describing it (killed, crashed) gives an
  // empty result. When stopHook turns true every run is killed at once,
  // Stopped() is true and the files not yet described give empty results.
  std::vector<ProbeResult> ProbeAllAndWait(const std::vector<std::string>& paths, int atOnce);
  static constexpr size_t kMaxFilesPerRun = 16;
  // The same in steps, so that a file can be used as soon as it is
  // described while the others are still being described: StartAll starts
  // the runs and returns at once (it gives up a group still running);
  // WaitFor(k) processes events until the result of paths[k] is in, its
  // description written whole or its run ended, and returns it; WaitForAll
  // waits for every result, as ProbeAllAndWait. The time limit and stopHook
  // act while one of them waits. After a stop every result is empty.
  void StartAll(const std::vector<std::string>& paths, int atOnce);
  ProbeResult WaitFor(size_t k);
  std::vector<ProbeResult> WaitForAll();
  // Kills the runs of the group still under way and waits for their end:
  // what was not described yet is not needed any more.
  void GiveUpAll();

  ProbeResult result;
  int timeoutMs = 30000;
  // Asked while ProbeAndWait waits: true gives the probe up at once (the
  // front end's Ctrl-C).
  std::function<bool()> stopHook;

  static constexpr size_t kReadChunk = 2048;

  void Shutdown();

 private:
  struct Group;
  // Starts runs of the group while places are free.
  void StartMore(const std::shared_ptr<Group>& group);
  // Processes events until `done` holds or every run of the group has
  // ended, killing a run past its limit and every run on a stop.
  void PumpGroup(const std::function<bool()>& done);
  void EndStep(EncoderJob& job, const ProbeResult& described);
  // The result of an ended probe: what it described, or why nothing.
  ProbeResult Described(const EncoderJob& job, const ProbeResult& described) const;
  // The encoder run that describes `path`, read by `parser`.
  JobRunner::Launch ProbeLaunch(const std::string& path, std::shared_ptr<OutputParser> parser) const;
  std::string encoderPath_;
  std::string workDir_;
  bool busy_ = false;
  bool stopped_ = false;
  JobRunner runner_;
  std::shared_ptr<EncoderJob> job_;
  std::shared_ptr<Group> group_;  // the files of the last StartAll
};

}  // namespace pcm
