#include "ResultCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "DvdInput.h"
#include "ProbeLoader.h"

namespace adapter {

namespace {

// How far a result may fall short of its planned span: encoders pad and
// trim a few frames, never half a second.
constexpr int64_t kShortfallMs = 500;

// One description as the probe module gives it, in the numbers used here.
struct Described {
  std::string error;
  int64_t durationMs = -1;
  int64_t bytes = 0;
  struct Stream {
    std::string kind;
    bool cover = false;
    int64_t ms = -1;
  };
  std::vector<Stream> streams;
};

int64_t Number(const std::string& text) {
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  return end && *end == '\0' && !text.empty() ? v : -1;
}

Described Parse(const std::string& text) {
  Described d;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.rfind("error ", 0) == 0) {
      size_t colon = line.rfind(": ");
      d.error = colon == std::string::npos ? line : line.substr(colon + 2);
      continue;
    }
    const bool media = line.rfind("media ", 0) == 0;
    if (!media && line.rfind("stream ", 0) != 0) continue;
    Described::Stream s;
    size_t at = line.find(' ');
    while (at != std::string::npos) {
      size_t next = line.find(' ', at + 1);
      std::string word = line.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
      at = next;
      size_t eq = word.find('=');
      if (eq == std::string::npos) continue;
      std::string key = word.substr(0, eq), value = word.substr(eq + 1);
      if (media && key == "duration_ms") d.durationMs = Number(value);
      if (media && key == "size") d.bytes = Number(value);
      if (!media && key == "kind") s.kind = value;
      if (!media && key == "attached_pic") s.cover = value == "1";
      if (!media && key == "duration_ms") s.ms = Number(value);
    }
    if (!media) d.streams.push_back(s);
  }
  return d;
}

// "hh:mm:ss[.f]", "mm:ss[.f]" or "s[.f]" in milliseconds; -1 when it is
// none of those.
int64_t ClockMs(const std::string& text) {
  double total = 0;
  size_t start = 0;
  for (int part = 0; part < 3; ++part) {
    size_t colon = text.find(':', start);
    std::string piece = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    char* end = nullptr;
    double v = std::strtod(piece.c_str(), &end);
    if (piece.empty() || !end || *end != '\0' || v < 0) return -1;
    total = total * 60 + v;
    if (colon == std::string::npos) return int64_t(total * 1000 + 0.5);
    start = colon + 1;
  }
  return -1;
}

const Described::Stream* Nth(const Described& d, const char* kind, int n, bool moving) {
  for (const Described::Stream& s : d.streams)
    if (s.kind == kind && !(moving && s.cover) && n-- == 0) return &s;
  return nullptr;
}

// The span the arguments plan for the result, in milliseconds; -1 when it
// is not known (a DVD row's input, an input that cannot be described).
int64_t PlannedMs(const Args& args, bool soundOnly) {
  if (FindDvdInput(args)) return -1;
  auto input = std::find(args.begin(), args.end(), "-i");
  if (input == args.end() || input + 1 == args.end()) return -1;
  int64_t seek = 0, length = -1;
  int audio = 0;
  for (auto a = args.begin(); a + 1 < args.end(); ++a) {
    if (*a == "-ss" && a < input) seek = std::max<int64_t>(0, ClockMs(a[1]));
    if (*a == "-t" && a > input) length = ClockMs(a[1]);
    // The sound converted, "-map 0:a:N" (optional with "?").
    if (*a == "-map" && a > input && a[1].rfind("0:a:", 0) == 0)
      audio = std::max<int>(0, std::atoi(a[1].c_str() + 4));
  }
  const Described source = Parse(DescribeResult(input[1]));
  if (!source.error.empty()) return -1;
  // The streams converted, where the file states their lengths: a longer
  // stream that is not converted (a subtitle, another sound track) does
  // not lengthen the result.
  const Described::Stream* sound = Nth(source, "audio", audio, false);
  const Described::Stream* picture = soundOnly ? nullptr : Nth(source, "video", 0, true);
  int64_t whole = std::max(sound ? sound->ms : -1, picture ? picture->ms : -1);
  if (whole <= 0) whole = source.durationMs;
  if (whole <= 0) return -1;
  int64_t planned = whole - seek;
  if (length > 0) planned = std::min(planned, length);
  return planned > 0 ? planned : -1;
}

std::string Seconds(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", double(ms) / 1000);
  return text;
}

}  // namespace

std::string WriteFailure(const std::string& line) {
  static const char* const kSigns[] = {
      "Error closing file",    "Error writing trailer",   "av_interleaved_write_frame()",
      "Error muxing a packet", "No space left on device", "Disk quota exceeded",
      "File too large"};
  for (const char* sign : kSigns) {
    if (line.find(sign) == std::string::npos) continue;
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    size_t colon = text.rfind(": ");
    return colon == std::string::npos ? text : text.substr(colon + 2);
  }
  return {};
}

ResultCheck CheckResult(const Args& args, const std::string& path) {
  ResultCheck check;
  const Described result = Parse(DescribeResult(path));
  if (!result.error.empty()) {
    check.fault = "the result holds no stream that can be read (" + result.error + ")";
    return check;
  }
  int video = 0, audio = 0;
  for (const Described::Stream& s : result.streams) {
    video += s.kind == "video" && !s.cover;
    audio += s.kind == "audio";
  }
  const int64_t planned = PlannedMs(args, video == 0);
  char line[160];
  std::snprintf(line, sizeof line,
                "result bytes=%" PRId64 " duration_ms=%" PRId64 " planned_ms=%" PRId64 " video=%d audio=%d\n",
                result.bytes, result.durationMs, planned, video, audio);
  check.line = line;
  if (video == 0 && audio == 0)
    check.fault = "the result holds no stream";
  else if (planned > 0 && result.durationMs >= 0 && result.durationMs + kShortfallMs < planned)
    check.fault = "the output is " + Seconds(result.durationMs) + " s of " + Seconds(planned) + " s";
  return check;
}

}  // namespace adapter
