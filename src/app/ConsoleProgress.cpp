#include "app/ConsoleProgress.h"

#include <algorithm>

#include "app/ConsoleOutput.h"

namespace pcm {

bool Ended(EntryState s) {
  return s == EntryState::Finished || s == EntryState::Failed || s == EntryState::Stopped;
}

void ProgressPrinter::RowChanged(int i) {
  if (quiet_ || !list_.Valid(i)) return;
  const ListRow& r = list_.Row(i);
  Seen& seen = seen_[i];
  if (r.outputFile != seen.output && !r.outputFile.empty()) {
    seen.output = r.outputFile;
    EndBar();
    Out(Label(i) + " converting to " + Printable(r.outputFile) + "\n");
  }
  if (r.state == seen.state && r.progress == seen.progress) return;
  seen.state = r.state;
  seen.progress = r.progress;
  if (r.state == EntryState::Converting) {
    if (terminal_) DrawBar(i, r);
  } else if (Ended(r.state)) {
    EndBar();
    Out(Label(i) + " " + StatusText(r) + "\n");
  }
}

void ProgressPrinter::EndBar() {
  if (!barShown_) return;
  Out("\r\033[K");
  barShown_ = false;
}

std::string ProgressPrinter::Label(int i) const {
  return "[" + std::to_string(i + 1) + "/" + std::to_string(list_.Count()) + "] " +
         Printable(list_.Row(i).caption) + ":";
}

void ProgressPrinter::DrawBar(int i, const ListRow& r) {
  constexpr int kWidth = 30;
  double pct = r.progress / 100.0;
  int filled = std::clamp(int(pct * kWidth / 100.0 + 0.5), 0, kWidth);
  std::string bar(size_t(filled), '#');
  bar.append(size_t(kWidth - filled), '-');
  Out("\r\033[K" + Label(i) + " [" + bar + "] " + StatusText(r));
  barShown_ = true;
}

}  // namespace pcm
