#include "engine/Progress.h"

#include <climits>
#include <cstdio>

#include "ui/MulDiv.h"
#include "base/WholeNumber.h"

namespace pcm {

int32_t ParseTimeSeconds(const std::string& text) {
  size_t p = text.find("time=");
  if (p == std::string::npos) return 0;
  size_t q = text.find("bitrate=");
  if (q == std::string::npos || q <= p) return 0;
  size_t start = p + 5;
  size_t dot = text.find('.', start);
  if (dot == std::string::npos || dot > q) return 0;
  long long v;
  if (!ReadPaddedInteger(text.substr(start, dot - start), v)) return 0;
  // Negative times say nothing about progress.
  if (v < 0 || v > 100000) return 0;
  return int32_t(v);
}

double LastReportedTime(std::string_view text) {
  double last = -1;
  for (size_t p = text.find("time="); p != std::string_view::npos; p = text.find("time=", p + 5)) {
    size_t q = text.find("bitrate=", p);
    if (q == std::string_view::npos) break;
    size_t i = p + 5;
    while (i < q && text[i] == ' ') ++i;
    double whole = 0, scale = 1, fraction = 0;
    size_t digits = 0;
    for (; i < q && text[i] >= '0' && text[i] <= '9' && digits < 12; ++i, ++digits)
      whole = whole * 10 + (text[i] - '0');
    if (digits == 0) {
      // ffmpeg's "N/A": nothing written yet, or at all when it is the last.
      if (text.substr(i, 3) == "N/A") last = 0;
      continue;
    }
    if (i < q && text[i] == '.')
      for (++i; i < q && text[i] >= '0' && text[i] <= '9'; ++i) fraction += (text[i] - '0') * (scale /= 10);
    last = whole + fraction;
  }
  return last;
}

std::string ProgressPercentText(int32_t value) {
  if (value < 0) value = 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d.%02d%%", value / 100, value % 100);
  return buf;
}

Progress::Progress(Sink sink) : sink_(std::move(sink)) {
  Timer2.setInterval(1000);
  connect(&Timer2, &QTimer::timeout, this, &Progress::CreepTick);
}

void Progress::ParseEncoderOutput(std::string& text, int32_t durationSecs, double* reportedSeconds) {
  size_t n = text.size();
  size_t c = 0;  // characters consumed
  // Jump from line end to line end: the unconsumed text before a new chunk
  // holds none, so a long line without an end is not rescanned char by char.
  for (size_t i = text.find_first_of("\r\n"); i < n; i = text.find_first_of("\r\n", i + 1)) {
    if (i < c) continue;
    char ch = text[i];
    // What the encoder has written so far, for the check at the job's end.
    double reported = LastReportedTime(std::string_view(text).substr(c, i - c));
    if (reported >= 0 && reportedSeconds) *reportedSeconds = reported;
    int32_t t = ParseTimeSeconds(text);
    if (t != 0) {
      Timer2.stop();
      remainingSpan = 10000 - creep;
      int32_t duration = durationSecs;
      // Without a duration there is no fraction to show: the entry stays at
      // its creep value while the status line still shows the encoder's time.
      int32_t v = duration > 0 ? MulDiv(t, remainingSpan, duration) : 0;
      if (v < 0) v = 0;
      ShowEntryProgress(v);
      if (t < 11)
        statusLine.clear();
      else
        statusLine = text;
    }
    c = i + 1;
    if (ch == '\r' && i + 1 < n && text[i + 1] == '\n') c = i + 2;
  }
  text.erase(0, c);
}

void Progress::ShowEntryProgress(int32_t v) {
  if (!Timer2.isActive()) v += creep;
  if (sink_) sink_(v);
}

void Progress::CreepTick() {
  if (creepHeld && creepHeld()) return;
  ++creep;
  ShowEntryProgress(creep);
}

}  // namespace pcm
