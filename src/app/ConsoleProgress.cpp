#include "app/ConsoleProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "app/ConsoleOutput.h"
#include "engine/Progress.h"

namespace pcm {

void ProgressPrinter::RowChanged(int i) {
  if (quiet_ || !list_.Valid(i)) return;
  estimate_.Observe(list_, false);
  const ListRow& r = list_.Row(i);
  if (held_) {
    // The output named when the entry started: a stop clears it later.
    if (!r.outputFile.empty() && r.state != EntryState::Skipped && !heldOutputs_.count(i))
      heldOutputs_[i] = r.outputFile;
    changed_.insert(i);
    return;
  }
  Seen& seen = seen_[i];
  // A skipped entry's output is the file that was there already.
  if (r.outputFile != seen.output && !r.outputFile.empty() && r.state != EntryState::Skipped) {
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

void ProgressPrinter::Release() {
  held_ = false;
  std::set<int> changed;
  changed.swap(changed_);
  std::map<int, std::string> outputs;
  outputs.swap(heldOutputs_);
  for (int i : changed) {
    if (auto it = outputs.find(i); it != outputs.end()) {
      seen_[i].output = it->second;
      EndBar();
      Out(Label(i) + " converting to " + Printable(it->second) + "\n");
    }
    RowChanged(i);
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

namespace {

// Columns of the terminal on standard output; 0 when unknown.
int TerminalColumns() {
  struct winsize size = {};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

// Characters of UTF-8 text (a byte that starts no character counts as one).
size_t Columns(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// The text cut to at most `columns` characters, ending in "..." when cut.
std::string CutTo(const std::string& text, size_t columns) {
  if (Columns(text) <= columns) return text;
  if (columns < 3) return std::string(columns, '.');
  size_t keep = columns - 3, n = 0, i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && n++ == keep) break;
  }
  return text.substr(0, i) + "...";
}

}  // namespace

void ProgressPrinter::DrawBar(int i, const ListRow& r) {
  constexpr int kWidth = 30;
  double pct = r.progress / 100.0;
  int filled = std::clamp(int(pct * kWidth / 100.0 + 0.5), 0, kWidth);
  std::string bar(size_t(filled), '#');
  bar.append(size_t(kWidth - filled), '-');
  std::string label = Label(i);
  const std::string tail = " [" + bar + "] " + StatusText(r) + "  " + BatchPlaceText(estimate_.Place(list_));
  // A line wider than the terminal would wrap, and the next redraw would
  // return only to the start of its last part: the entry's name gives way
  // first, so the progress and the time left stay in sight.
  const int columns = TerminalColumns();
  if (columns > 1) {
    const size_t room = size_t(columns - 1);
    label = CutTo(label, room > Columns(tail) ? room - Columns(tail) : 0);
    Out("\r\033[K" + CutTo(label + tail, room));
  } else {
    Out("\r\033[K" + label + tail);
  }
  barShown_ = true;
}

}  // namespace pcm
