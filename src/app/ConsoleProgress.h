#pragma once
#include <map>
#include <set>
#include <string>

#include "queue/BatchEstimate.h"
#include "queue/ConversionList.h"

namespace pcm {

// Shows what the list's "Status" column shows: a bar per entry on a
// terminal, with the place in the batch and the time left for all of it;
// otherwise a line when an entry starts and when it ends.
class ProgressPrinter {
 public:
  // `jobs`: how many entries the batch converts at once.
  ProgressPrinter(const ConversionList& list, bool terminal, bool quiet, int jobs)
      : list_(list), terminal_(terminal), quiet_(quiet) {
    estimate_.Start(list, jobs);
  }

  void RowChanged(int i);
  // Ends a bar line before other text is printed.
  void EndBar();
  // While files are still being added, the changes are kept and shown at
  // Release, in row order: an entry's label names the number of entries,
  // which is known only then.
  void Hold() { held_ = true; }
  void Release();

 private:
  struct Seen {
    EntryState state = EntryState::Waiting;
    int32_t progress = 0;
    std::string output;
  };
  std::string Label(int i) const;
  void DrawBar(int i, const ListRow& r);

  const ConversionList& list_;
  bool terminal_;
  bool quiet_;
  bool barShown_ = false;
  std::map<int, Seen> seen_;
  bool held_ = false;
  std::set<int> changed_;                   // rows changed while held
  std::map<int, std::string> heldOutputs_;  // ... and the output each started with
  BatchEstimate estimate_;
};

}  // namespace pcm
