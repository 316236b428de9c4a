#include "app/ConsoleProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "app/ConsoleOutput.h"
#include "engine/Progress.h"

namespace pcm {

bool Ended(EntryState s) {
  return s == EntryState::Finished || s == EntryState::Failed || s == EntryState::Stopped;
}

std::optional<double> BatchSecondsLeft(const ConversionList& list, double convertingSeconds) {
  double converted = 0, left = 0;
  for (const ListRow& r : list.Rows()) {
    if (!r.checked) continue;
    const double length = std::max(0, ParseClock(r.entry.duration));
    const double reached = length * std::clamp(r.progress / 10000.0, 0.0, 1.0);
    if (r.state == EntryState::Finished) {
      converted += length;
    } else if (Ended(r.state)) {
      converted += reached;
    } else if (r.state == EntryState::Converting) {
      converted += reached;
      left += length - reached;
    } else {
      left += length;
    }
  }
  if (convertingSeconds < 1 || converted <= 0) return std::nullopt;
  return left * convertingSeconds / converted;
}

void ProgressPrinter::UpdateClock() {
  bool converting = false;
  for (const ListRow& r : list_.Rows()) converting = converting || r.state == EntryState::Converting;
  if (converting == timing_) return;
  if (converting) {
    since_ = Clock::now();
  } else {
    timed_ += std::chrono::duration<double>(Clock::now() - since_).count();
  }
  timing_ = converting;
}

double ProgressPrinter::ConvertingSeconds() const {
  return timed_ + (timing_ ? std::chrono::duration<double>(Clock::now() - since_).count() : 0.0);
}

std::string ProgressPrinter::BatchText() const {
  int ended = 0, checked = 0;
  for (const ListRow& r : list_.Rows()) {
    if (!r.checked) continue;
    ++checked;
    if (Ended(r.state)) ++ended;
  }
  std::string text =
      "entry " + std::to_string(std::min(ended + 1, checked)) + " of " + std::to_string(checked);
  if (auto left = BatchSecondsLeft(list_, ConvertingSeconds()))
    text += ", " + FormatClock(int32_t(*left + 0.5)) + " left";
  return text;
}

void ProgressPrinter::RowChanged(int i) {
  if (quiet_ || !list_.Valid(i)) return;
  UpdateClock();
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
  const std::string tail = " [" + bar + "] " + StatusText(r) + "  " + BatchText();
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
