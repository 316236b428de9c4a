#include "support/RealMedia.h"

#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

#include "support/Fixtures.h"

#ifndef POPCLIPMILL_SOURCE_DIR
#define POPCLIPMILL_SOURCE_DIR "."
#endif

namespace pcmtest {
namespace {

// Qt sets the C locale from the environment, so strtod and to_string may
// use a decimal comma; from_chars and to_chars never do.
double Number(const std::string& text) {
  double value = 0;
  auto start = text.data() + (text.size() > 0 && text[0] == '+');
  auto [end, ec] = std::from_chars(start, text.data() + text.size(), value);
  return ec == std::errc() && std::isfinite(value) ? value : 0;
}

std::string Text(double value) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
  return ec == std::errc() ? std::string(buf, end) : "0";
}

// "64:45" or "64/45" as a number; 0 when absent or degenerate.
double Ratio(const std::string& text) {
  auto sep = text.find_first_of(":/");
  if (sep == std::string::npos) return 0;
  double num = Number(text.substr(0, sep)), den = Number(text.substr(sep + 1));
  return num > 0 && den > 0 ? num / den : 0;
}

// ffprobe's "flat" output as key -> value, keys lowercased, quotes removed.
using Flat = std::map<std::string, std::string>;
Flat Probe(const std::string& options, const std::string& path) {
  Flat flat;
  std::string out;
  if (RunShell("ffprobe -v error " + options + " -of flat " + ShellQuote(path) + " 2>/dev/null", &out) != 0)
    return flat;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), raw = line.substr(eq + 1), value;
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') raw = raw.substr(1, raw.size() - 2);
    for (size_t i = 0; i < raw.size(); ++i) value += raw[i] == '\\' && i + 1 < raw.size() ? raw[++i] : raw[i];
    flat[key] = value;
  }
  return flat;
}

std::string Get(const Flat& flat, const std::string& key) {
  auto it = flat.find(key);
  return it == flat.end() ? std::string() : it->second;
}

std::string ScratchFile(const std::string& suffix) {
  static const std::string dir = MakeTempDir("real-media");
  static std::atomic<int> counter{0};
  return dir + "/" + std::to_string(++counter) + suffix;
}

// The first frame as shown (rotation applied), 64x64 gray: 4096 bytes or "".
std::string GrayThumb(const std::string& path) {
  std::string pixels;
  RunShell("ffmpeg -nostdin -v error -i " + ShellQuote(path) +
               " -map 0:v:0 -frames:v 1 -vf scale=64:64,format=gray -f rawvideo - 2>/dev/null",
           &pixels);
  return pixels.size() == 64 * 64 ? pixels : std::string();
}

}  // namespace

std::string RealMediaDir(std::string* whyNot) {
  static const std::pair<std::string, std::string> result = [] {
    std::string cache;
    if (const char* env = std::getenv("POPCLIPMILL_MEDIA_CACHE"); env && *env)
      cache = env;
    else if (const char* home = std::getenv("HOME"); home && *home)
      cache = std::string(home) + "/.cache/popclipmill/real-media";
    else
      cache = "/tmp/popclipmill-real-media";
    std::string script = std::string(POPCLIPMILL_SOURCE_DIR) + "/tests/support/real-media.sh";
    std::string errors;
    int status =
        RunShell("bash " + ShellQuote(script) + " " + ShellQuote(cache) + " 2>&1 >/dev/null", &errors);
    if (status == 0 && std::ifstream(cache + "/ready")) return std::pair{cache, std::string()};
    // The last line the script printed says why.
    std::string reason;
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) reason = line;
    if (status != 3) reason = "real-media.sh failed with status " + std::to_string(status) + ": " + reason;
    return std::pair{std::string(), reason};
  }();
  if (whyNot) *whyNot = result.second;
  return result.first;
}

MediaFacts MeasureMedia(const std::string& path) {
  MediaFacts facts;
  Flat flat = Probe(
      "-count_packets -show_entries format=duration:format_tags:stream=index,codec_type,width,height,"
      "sample_aspect_ratio,start_time,nb_read_packets:stream_disposition=attached_pic:stream_tags:"
      "stream_side_data=rotation",
      path);
  if (flat.empty()) return facts;
  facts.ok = true;
  facts.duration = Number(Get(flat, "format.duration"));
  const char* names[] = {"title", "artist", "album", "track", "date"};
  std::string* tags[] = {&facts.title, &facts.artist, &facts.album, &facts.track, &facts.date};
  for (int i = 0; i < 5; ++i) *tags[i] = Get(flat, std::string("format.tags.") + names[i]);
  bool videoSeen = false, audioSeen = false;
  for (int i = 0; flat.count("streams.stream." + std::to_string(i) + ".index"); ++i) {
    std::string s = "streams.stream." + std::to_string(i) + ".";
    std::string type = Get(flat, s + "codec_type");
    if (type == "video" && Get(flat, s + "disposition.attached_pic") == "1") {
      if (!facts.hasCover) {
        facts.coverWidth = int(Number(Get(flat, s + "width")));
        facts.coverHeight = int(Number(Get(flat, s + "height")));
      }
      facts.hasCover = true;
    } else if (type == "video" && !videoSeen) {
      videoSeen = true;
      facts.videoFrames = std::lround(Number(Get(flat, s + "nb_read_packets")));
      facts.width = int(Number(Get(flat, s + "width")));
      facts.height = int(Number(Get(flat, s + "height")));
      facts.sar = Ratio(Get(flat, s + "sample_aspect_ratio"));
      if (facts.sar <= 0) facts.sar = 1;
      for (int j = 0; j < 8; ++j) {
        std::string rotation = Get(flat, s + "side_data_list.side_data." + std::to_string(j) + ".rotation");
        if (!rotation.empty()) facts.rotation = int(std::lround(Number(rotation)));
      }
      facts.videoStart = Number(Get(flat, s + "start_time"));
    } else if (type == "audio") {
      ++facts.audioStreams;
      if (audioSeen) continue;
      audioSeen = true;
      facts.audioStart = Number(Get(flat, s + "start_time"));
      for (int t = 0; t < 5; ++t)
        if (tags[t]->empty()) *tags[t] = Get(flat, s + "tags." + names[t]);
    }
  }
  if (facts.height > 0) {
    facts.displayAspect = facts.width * facts.sar / facts.height;
    if (std::abs(facts.rotation) % 180 == 90) facts.displayAspect = 1 / facts.displayAspect;
  }
  return facts;
}

double ShownAspect(const std::string& videoPath, int blackLimit) {
  // Start a third of the way in, where the picture is less likely black.
  double duration = Number(Get(Probe("-show_entries format=duration", videoPath), "format.duration"));
  for (double start : {duration > 2 ? duration / 3 : 0.0, 0.0}) {
    // ffmpeg turns frames upright before the filters, so cropdetect sees the
    // shown picture and showinfo its pixel shape (inverted by the turn).
    // cropdetect ignores the first two frames: the first one is repeated so
    // a still picture gets measured too. Bars are black (luma 16); the
    // threshold stays just above, so dark footage is not taken for bars.
    const std::string crop = "cropdetect=" + std::to_string(blackLimit) + ":2:0";
    std::string seek = start > 0 ? " -ss " + Text(start) : "", log;
    RunShell("ffmpeg -nostdin -hide_banner -loglevel info" + seek + " -i " + ShellQuote(videoPath) +
                 " -map 0:v:0 -vf loop=loop=2:size=1," + crop +
                 ",showinfo -frames:v 22"
                 " -f null - 2>&1 >/dev/null",
             &log);
    double sar = 1;
    int w = 0, h = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
      if (auto at = line.find(" sar:"); at != std::string::npos) {
        double r = Ratio(line.substr(at + 5, line.find(' ', at + 5) - at - 5));
        sar = r > 0 ? r : 1;
      }
      if (auto at = line.find("crop="); at != std::string::npos) {
        int x = 0, y = 0;
        if (std::sscanf(line.c_str() + at, "crop=%d:%d:%d:%d", &w, &h, &x, &y) != 4) w = h = 0;
      }
    }
    if (w > 0 && h > 0) return w * sar / h;
    if (start == 0) break;
  }
  return 0;
}

double DominantFrequency(const std::string& path, int audioStreamIndex) {
  std::string raw = ScratchFile(".raw");
  double hz = 0;
  if (RunShell("ffmpeg -nostdin -v error -y -i " + ShellQuote(path) +
               " -map 0:a:" + std::to_string(audioStreamIndex) + " -ac 1 -ar 48000 -c:a pcm_s16le -f s16le " +
               ShellQuote(raw) + " 2>/dev/null") == 0)
    hz = RawCrossingsPerSecond(raw, 48000) / 2;
  std::remove(raw.c_str());
  return hz;
}

std::string FirstFrameHash(const std::string& path) {
  std::string pixels = GrayThumb(path);
  if (pixels.empty()) return "";
  std::string file = ScratchFile(".gray");
  std::ofstream(file, std::ios::binary) << pixels;
  std::string out;
  RunShell("md5sum " + ShellQuote(file) + " 2>/dev/null", &out);
  std::remove(file.c_str());
  return out.size() >= 32 ? out.substr(0, 32) : "";
}

double FrameDifference(const std::string& a, const std::string& b) {
  std::string pa = GrayThumb(a), pb = GrayThumb(b);
  if (pa.empty() || pb.empty()) return std::numeric_limits<double>::quiet_NaN();
  double sum = 0;
  for (size_t i = 0; i < pa.size(); ++i)
    sum += std::abs(int(static_cast<unsigned char>(pa[i])) - int(static_cast<unsigned char>(pb[i])));
  return sum / double(pa.size());
}

}  // namespace pcmtest
