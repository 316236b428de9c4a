// A job started through the engine of a fresh application whose list holds
// one entry, with what its end step reported. Shared by the engine's tests.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/Application.h"
#include "support/Fixtures.h"

namespace enginetest {

using namespace pcm;

struct JobRun {
  explicit JobRun(const std::string& program) : app({program}) {
    ListRow row;
    row.caption = "clip";
    app.list.Append(row);
    app.list.currentPosition = 0;
    app.run.converting = true;  // so the end step reaches the hook
    app.engine.entryEndedHook = [this](EncoderJob& job) {
      endedIds.push_back(job.id);
      outcome = job.outcome;
      accumulatedAtEnd = job.accumulated.size();
    };
    QObject::connect(&app.list, &ConversionList::rowChanged,
                     [this](int i) { statuses.push_back(StatusText(app.list.Row(i))); });
  }
  std::shared_ptr<EncoderJob> Start(const std::string& input, const std::string& output, int duration,
                                    const std::vector<std::string>& extra = {},
                                    const std::vector<std::string>& start = {}) {
    intputrec r = app.engine.record;
    r.InputFile = input;
    r.OutputFile = output;
    r.DurationSecs = duration;
    r.TargetOpt = OptionField(extra);
    r.StartOpt = OptionField(start);
    return app.engine.StartEncoderJob(r);
  }
  bool WaitEnd(size_t count = 1, int ms = 60000) {
    return pcmtest::WaitUntil([&] { return endedIds.size() >= count; }, ms);
  }
  CoreApp app;
  std::vector<uint64_t> endedIds;
  std::vector<std::string> statuses;
  JobOutcome outcome;
  size_t accumulatedAtEnd = 0;
};

}  // namespace enginetest
