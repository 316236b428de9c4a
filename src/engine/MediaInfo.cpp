#include "engine/MediaInfo.h"

#include <algorithm>

#include "engine/MediaLimits.h"
#include "base/WholeNumber.h"

namespace pcm {

namespace {

bool UsableAudio(const StreamInfo& s) {
  return s.kind == StreamInfo::Kind::Audio && s.sampleRate > 0 && s.channels > 0 && s.codec != "none";
}

int32_t Even(int64_t v) { return int32_t(std::max<int64_t>(2, (v + 1) / 2 * 2)); }

// A whole number within [0, limit], else 0: a value beyond any real medium
// counts as not stated.
template <class T>
T Bounded(std::string_view text, long long limit) {
  auto v = ReadSignedWholeNumber<long long>(text);
  return v && *v >= 0 && *v <= limit ? T(*v) : T(0);
}

StreamInfo::Kind KindNamed(std::string_view v) {
  if (v == "video") return StreamInfo::Kind::Video;
  if (v == "audio") return StreamInfo::Kind::Audio;
  if (v == "subtitle") return StreamInfo::Kind::Subtitle;
  return StreamInfo::Kind::Other;
}

// "num/den" into two numbers, both 0 unless both are whole and positive.
void Ratio(std::string_view v, int32_t& num, int32_t& den) {
  size_t slash = v.find('/');
  num = den = 0;
  if (slash == std::string_view::npos) return;
  int32_t n = Bounded<int32_t>(v.substr(0, slash), 1'000'000);
  int32_t d = Bounded<int32_t>(v.substr(slash + 1), 1'000'000);
  if (n > 0 && d > 0) num = n, den = d;
}

// A name as a word: codec and language names are letters, digits and a
// few marks; anything else would not be one.
std::string Word(std::string_view v) {
  std::string w;
  for (char c : v.substr(0, 32))
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
        c == '.' || c == ',')
      w += c;
  return w;
}

void ReadStreamField(StreamInfo& s, std::string_view key, std::string_view v) {
  if (key == "index")
    s.index = Bounded<int32_t>(v, 1 << 20);
  else if (key == "kind")
    s.kind = KindNamed(v);
  else if (key == "codec")
    s.codec = Word(v);
  else if (key == "language")
    s.language = Word(v);
  else if (key == "default")
    s.isDefault = v == "1";
  else if (key == "attached_pic")
    s.attachedPicture = v == "1";
  else if (key == "tagged")
    s.tagged = v == "1";
  else if (key == "channels")
    s.channels = Bounded<int32_t>(v, 255);
  else if (key == "sample_rate")
    s.sampleRate = Bounded<int32_t>(v, 10'000'000);
  else if (key == "bit_rate")
    s.kbps = int32_t(Bounded<long long>(v, kMaxKbps * 1000) / 1000);
  else if (key == "width")
    s.width = Bounded<int32_t>(v, kMaxFrameSide);
  else if (key == "height")
    s.height = Bounded<int32_t>(v, kMaxFrameSide);
  else if (key == "sar")
    Ratio(v, s.sarNum, s.sarDen);
  else if (key == "rotation") {
    int32_t r = Bounded<int32_t>(v, 359);
    s.rotation = r % 90 == 0 ? r : 0;
  } else if (key == "fps")
    Ratio(v, s.fpsNum, s.fpsDen);
}

void ReadMediaField(MediaInfo& m, std::string_view key, std::string_view v) {
  // About 32 years: beyond that a length is not a real one.
  constexpr long long kMaxMs = 1'000'000'000'000LL;
  if (key == "format")
    m.container = Word(v);
  else if (key == "duration_ms")
    m.durationMs = v == "-1" ? -1 : Bounded<int64_t>(v, kMaxMs);
  else if (key == "bit_rate")
    m.kbps = Bounded<int64_t>(v, kMaxKbps * 1000) / 1000;
  else if (key == "size")
    m.bytes = Bounded<int64_t>(v, 1LL << 50);
  else if (key == "tagged")
    m.tagged = v == "1";
}

}  // namespace

const StreamInfo* MainVideo(const std::vector<StreamInfo>& streams) {
  for (const StreamInfo& s : streams)
    if (s.kind == StreamInfo::Kind::Video && !s.attachedPicture && s.width > 0 && s.height > 0 &&
        s.codec != "none")
      return &s;
  return nullptr;
}

const StreamInfo* ChosenAudio(const std::vector<StreamInfo>& streams) {
  const StreamInfo* first = nullptr;
  for (const StreamInfo& s : streams) {
    if (!UsableAudio(s)) continue;
    if (s.isDefault) return &s;
    if (!first) first = &s;
  }
  return first;
}

const StreamInfo* CoverPicture(const std::vector<StreamInfo>& streams) {
  for (const StreamInfo& s : streams)
    if (s.kind == StreamInfo::Kind::Video && s.attachedPicture) return &s;
  return nullptr;
}

int KindOrdinal(const std::vector<StreamInfo>& streams, const StreamInfo& s) {
  int n = 0;
  for (const StreamInfo& o : streams) {
    if (&o == &s) return n;
    if (o.kind == s.kind) ++n;
  }
  return n;
}

FrameSize TurnedSize(const StreamInfo& v) {
  if (v.rotation == 90 || v.rotation == 270) return {v.height, v.width};
  return {v.width, v.height};
}

FrameSize DisplayedSize(const StreamInfo& v) {
  int64_t w = v.width, h = v.height;
  // Real pixels are at most a few times wider than high or the reverse; a
  // ratio beyond eight is a broken header, and the pixels count as square.
  const bool plausible = v.sarNum > 0 && v.sarDen > 0 && int64_t(v.sarNum) <= 8LL * v.sarDen &&
                         int64_t(v.sarDen) <= 8LL * v.sarNum;
  if (plausible && v.sarNum != v.sarDen) {
    // Widen or narrow the width only, as players do.
    w = (w * v.sarNum + v.sarDen / 2) / v.sarDen;
    w = std::clamp<int64_t>(w, 2, kMaxFrameSide);
  }
  FrameSize shown{Even(w), Even(h)};
  if (v.rotation == 90 || v.rotation == 270) std::swap(shown.width, shown.height);
  return shown;
}

int64_t WholeSeconds(int64_t durationMs) {
  if (durationMs <= 0) return 0;
  // Rounded to hundredths first, as a clock with hundredths shows it.
  int64_t cs = (durationMs + 5) / 10;
  int64_t secs = cs / 100;
  if (cs % 100 > 5) ++secs;
  return secs;
}

int64_t RateBoundKbps(int64_t bytes, int64_t durationMs) {
  if (bytes <= 0 || durationMs <= 0) return 0;
  // bits per millisecond are kbit/s; rounded up so a file's own rate fits.
  return (bytes * 8 + durationMs - 1) / durationMs;
}

MediaInfo ParseMediaDescription(std::string_view text, std::string* error) {
  MediaInfo m;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t blank = line.find(' ');
    std::string_view kind = line.substr(0, blank);
    std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    if (kind == "error") {
      if (error && error->empty()) *error = std::string(rest);
      continue;
    }
    if (kind != "media" && kind != "stream") continue;
    if (kind == "stream" && (!m.described || m.streams.size() >= kMaxStreams)) continue;
    StreamInfo s;
    while (!rest.empty()) {
      size_t sp = rest.find(' ');
      std::string_view word = rest.substr(0, sp);
      rest = sp == std::string_view::npos ? std::string_view() : rest.substr(sp + 1);
      size_t eq = word.find('=');
      if (eq == std::string_view::npos) continue;
      if (kind == "media")
        ReadMediaField(m, word.substr(0, eq), word.substr(eq + 1));
      else
        ReadStreamField(s, word.substr(0, eq), word.substr(eq + 1));
    }
    if (kind == "media")
      m.described = true;
    else
      m.streams.push_back(std::move(s));
  }
  return m;
}

std::string SampleRateText(const StreamInfo& a) {
  return a.sampleRate > 0 ? std::to_string(a.sampleRate) + " Hz" : std::string();
}

std::string ChannelsText(const StreamInfo& a) {
  if (a.channels == 1) return "mono";
  if (a.channels == 2) return "stereo";
  if (a.channels == 6) return "5.1";
  return a.channels > 0 ? std::to_string(a.channels) + " channels" : std::string();
}

std::string StreamSummary(const StreamInfo& s) {
  std::string t = s.codec.empty() ? "unknown" : s.codec;
  if (!s.language.empty() && s.language != "und") t += ", " + s.language;
  if (s.kind == StreamInfo::Kind::Audio) {
    if (s.channels > 0) t += ", " + ChannelsText(s);
    if (s.sampleRate > 0) t += ", " + SampleRateText(s);
  }
  if (s.kind == StreamInfo::Kind::Video && s.width > 0)
    t += ", " + std::to_string(s.width) + "x" + std::to_string(s.height);
  if (s.isDefault) t += ", default";
  return t;
}

}  // namespace pcm
