#include "Probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

namespace adapter {

namespace {

const char* const kMarkers[] = {"Duration:", "bitrate:", "Video:", "Audio:"};

// A path as shown inside the description. The reader looks for its markers
// anywhere in a line, so a name holding one of them, or a line end, would
// pass for the file's own values: those are defused.
std::string Shown(const std::string& path) {
  std::string s = path;
  for (auto& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  for (const char* marker : kMarkers) {
    std::string m = marker;
    for (size_t p = s.find(m); p != std::string::npos; p = s.find(m, p + 1)) s[p + m.size() - 1] = ';';
  }
  return s;
}

// What one description may cost. The library's own probing limits are
// stated so they hold whatever its build defaults are; yet its stream
// analysis reads a huge file of zeros named .mp3 to its end, so the reading
// after the header (where a real file needs a few megabytes) and the whole
// probe's time are bounded too. The header itself (an index of a very long
// recording may be large) is bounded by the time only.
constexpr int64_t kFormatProbeBytes = 1 << 20;
constexpr int64_t kStreamProbeBytes = 5'000'000;
constexpr int64_t kAnalyzeMicroseconds = 5'000'000;
constexpr int64_t kMaxBytesRead = 64 << 20;  // in each step after the header
// Counting a guessed length reads the whole file; compressed audio runs to
// hours within these, and a file beyond them keeps the guess.
constexpr int64_t kMaxCountedBytes = 1LL << 30;
constexpr auto kMaxCountTime = std::chrono::seconds(5);
constexpr auto kMaxProbeTime = std::chrono::seconds(15);

struct Limits {
  AVFormatContext* ic = nullptr;
  std::chrono::steady_clock::time_point deadline;
  int64_t maxBytesRead = INT64_MAX;
  bool reached = false;
  // From here on, kMaxBytesRead more may be read.
  void AllowMore() {
    if (ic && ic->pb) maxBytesRead = ic->pb->bytes_read + kMaxBytesRead;
  }
};

// Asked by the library between reads: non-zero ends the probing.
int LimitReached(void* opaque) {
  auto* limits = static_cast<Limits*>(opaque);
  if (!limits->reached)
    limits->reached = (limits->ic && limits->ic->pb && limits->ic->pb->bytes_read > limits->maxBytesRead) ||
                      std::chrono::steady_clock::now() > limits->deadline;
  return limits->reached;
}

std::string ErrorLine(const std::string& path, int error) {
  // Probing gives "Invalid argument" for content it cannot place.
  if (error == AVERROR(EINVAL)) error = AVERROR_INVALIDDATA;
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(error, text, sizeof text);
  return Shown(path) + ": " + text + "\r\n";
}

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// The reader takes the first 'x' after "Video:" as the frame size's.
std::string NoLowerX(std::string s) {
  for (auto& c : s)
    if (c == 'x') c = 'X';
  return s;
}

std::string Fps(AVRational rate) {
  double fps = av_q2d(rate);
  long hundredths = std::lround(fps * 100);
  if (hundredths % 100) return Format("%.2f fps", fps);
  return Format("%.0f fps", fps);
}

int64_t AudioBitRate(const AVCodecParameters* par) {
  if (par->bit_rate > 0) return par->bit_rate;
  int bits = av_get_bits_per_sample(par->codec_id);
  if (bits > 0) return int64_t(bits) * par->sample_rate * par->ch_layout.nb_channels;
  return 0;
}

bool UsableVideo(const AVStream* st) {
  const AVCodecParameters* par = st->codecpar;
  return par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
         par->codec_id != AV_CODEC_ID_NONE && par->width > 0 && par->height > 0;
}

bool UsableAudio(const AVStream* st) {
  const AVCodecParameters* par = st->codecpar;
  return par->codec_type == AVMEDIA_TYPE_AUDIO && par->codec_id != AV_CODEC_ID_NONE && par->sample_rate > 0 &&
         par->ch_layout.nb_channels > 0;
}

// Whether the file has a packet for one of the chosen streams, for files
// that state no duration.
bool HasPacket(AVFormatContext* ic, int video, int audio) {
  AVPacket* pkt = av_packet_alloc();
  bool found = false;
  for (int tries = 0; !found && tries < 256 && av_read_frame(ic, pkt) >= 0; ++tries) {
    found = pkt->size > 0 && (pkt->stream_index == video || pkt->stream_index == audio);
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  return found;
}

// The length of the chosen streams, counted from their packets, for a file
// whose container states none and whose length the library only guessed
// from the bit rate (a variable-rate MP3 without a length header is off by
// a factor of several). The packets the stream analysis read are returned
// first, so the count starts at the file's beginning. Returns
// AV_NOPTS_VALUE if the file could not be read to its end within the
// probe's limits; the guess then stands.
int64_t CountedDuration(AVFormatContext* ic, Limits& limits, int video, int audio) {
  limits.maxBytesRead = ic->pb ? ic->pb->bytes_read + kMaxCountedBytes : INT64_MAX;
  limits.deadline = std::min(limits.deadline, std::chrono::steady_clock::now() + kMaxCountTime);
  int64_t first[2] = {AV_NOPTS_VALUE, AV_NOPTS_VALUE};
  int64_t end[2] = {AV_NOPTS_VALUE, AV_NOPTS_VALUE};
  int64_t summed[2] = {0, 0};
  AVPacket* pkt = av_packet_alloc();
  int rc = 0;
  while (pkt && (rc = av_read_frame(ic, pkt)) >= 0) {
    int which = pkt->stream_index == video ? 0 : pkt->stream_index == audio ? 1 : -1;
    if (which >= 0 && pkt->duration > 0) {
      AVRational tb = ic->streams[pkt->stream_index]->time_base;
      int64_t length = av_rescale_q(pkt->duration, tb, AV_TIME_BASE_Q);
      summed[which] += length;
      if (pkt->pts != AV_NOPTS_VALUE) {
        int64_t at = av_rescale_q(pkt->pts, tb, AV_TIME_BASE_Q);
        if (first[which] == AV_NOPTS_VALUE || at < first[which]) first[which] = at;
        if (end[which] == AV_NOPTS_VALUE || at + length > end[which]) end[which] = at + length;
      }
    }
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  if (rc != AVERROR_EOF || limits.reached) return AV_NOPTS_VALUE;
  int64_t longest = 0;
  for (int i = 0; i < 2; ++i) {
    // Timestamps span gaps that summed durations would miss.
    int64_t length = first[i] != AV_NOPTS_VALUE ? end[i] - first[i] : 0;
    longest = std::max({longest, length, summed[i]});
  }
  return longest > 0 ? longest : AV_NOPTS_VALUE;
}

int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

std::string DurationLine(AVFormatContext* ic) {
  std::string line = "  Duration: ";
  int64_t duration = ic->duration;
  if (duration != AV_NOPTS_VALUE && duration > 0) {
    // Rounded to hundredths as the classic form shows them.
    int64_t d = duration + (duration <= INT64_MAX - 5000 ? 5000 : 0);
    // The program reads whole seconds and limits every conversion to them, so
    // a last part second beyond encoder padding (0.05 s) counts as a whole
    // one: a 1.6 s clip is described as 2 s instead of losing its end.
    constexpr int64_t kPadding = AV_TIME_BASE / 20;
    if (d % AV_TIME_BASE > kPadding && d <= INT64_MAX - AV_TIME_BASE)
      d = (d / AV_TIME_BASE + 1) * AV_TIME_BASE;
    int64_t secs = d / AV_TIME_BASE, us = d % AV_TIME_BASE;
    int64_t mins = secs / 60;
    secs %= 60;
    int64_t hours = mins / 60;
    mins %= 60;
    line += Format("%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%02" PRId64, hours, mins, secs,
                   (100 * us) / AV_TIME_BASE);
  } else {
    line += "N/A";
  }
  if (ic->start_time != AV_NOPTS_VALUE) {
    int64_t start = ic->start_time;
    line += Format(", start: %s%" PRId64 ".%06" PRId64, start < 0 ? "-" : "", Abs(start / AV_TIME_BASE),
                   Abs(start % AV_TIME_BASE));
  }
  int64_t rate = ic->bit_rate;
  if (rate <= 0 && duration != AV_NOPTS_VALUE && duration > 0) {
    // The container states none: the file's size over its duration.
    int64_t size = ic->pb ? avio_size(ic->pb) : -1;
    if (size > 0) rate = av_rescale(size * 8, AV_TIME_BASE, duration);
  }
  if (rate > 0)
    line += Format(", bitrate: %" PRId64 " kb/s", rate / 1000);
  else
    line += ", bitrate: N/A";
  return line + "\r\n";
}

std::string VideoLine(const AVStream* st) {
  const AVCodecParameters* par = st->codecpar;
  std::string line = Format("    Stream #0.%d: Video: ", st->index);
  line += NoLowerX(avcodec_get_name(par->codec_id));
  if (const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format)))
    line += ", " + NoLowerX(pix);
  line += Format(", %dx%d", par->width, par->height);
  if (par->bit_rate > 0) line += Format(", %" PRId64 " kb/s", par->bit_rate / 1000);
  AVRational rate =
      st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) line += ", " + Fps(rate);
  return line + "\r\n";
}

std::string AudioLine(const AVStream* st) {
  const AVCodecParameters* par = st->codecpar;
  std::string line = Format("    Stream #0.%d: Audio: %s, %d Hz", st->index, avcodec_get_name(par->codec_id),
                            par->sample_rate);
  // A count without a layout (plain WAV) reads as the usual layout for it.
  AVChannelLayout known{};
  if (par->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&known, par->ch_layout.nb_channels);
  else
    av_channel_layout_copy(&known, &par->ch_layout);
  char layout[128] = {0};
  int described = av_channel_layout_describe(&known, layout, sizeof layout);
  av_channel_layout_uninit(&known);
  if (described < 0) snprintf(layout, sizeof layout, "%d channels", par->ch_layout.nb_channels);
  line += ", ";
  line += layout;
  // The sample format keeps its place so the channels stay the third field.
  const char* fmt = av_get_sample_fmt_name(static_cast<AVSampleFormat>(par->format));
  line += ", ";
  line += fmt ? fmt : "unknown";
  if (int64_t rate = AudioBitRate(par); rate > 0) line += Format(", %" PRId64 " kb/s", rate / 1000);
  return line + "\r\n";
}

}  // namespace

std::string DescribeMedia(const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  // Opening a pipe or a device would wait for a writer that never comes.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode)))
    return ErrorLine(path, AVERROR_INVALIDDATA);
  Limits limits;
  limits.deadline = std::chrono::steady_clock::now() + kMaxProbeTime;
  const std::string beyondLimits = Shown(path) + ": nothing recognisable within the probe's limits\r\n";
  AVFormatContext* ic = avformat_alloc_context();
  if (!ic) return ErrorLine(path, AVERROR(ENOMEM));
  limits.ic = ic;
  ic->interrupt_callback = {LimitReached, &limits};
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "formatprobesize", kFormatProbeBytes, 0);
  av_dict_set_int(&options, "probesize", kStreamProbeBytes, 0);
  av_dict_set_int(&options, "analyzeduration", kAnalyzeMicroseconds, 0);
  // "file:" makes names with ':' or a leading '-' plain file names.
  std::string url = "file:" + path;
  int rc = avformat_open_input(&ic, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (rc < 0) return limits.reached ? beyondLimits : ErrorLine(path, rc);
  limits.AllowMore();
  rc = avformat_find_stream_info(ic, nullptr);
  if (rc < 0 || limits.reached) {
    avformat_close_input(&ic);
    return limits.reached ? beyondLimits : ErrorLine(path, rc);
  }
  int video = -1, audio = -1;
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    if (video < 0 && UsableVideo(ic->streams[i])) video = static_cast<int>(i);
    if (audio < 0 && UsableAudio(ic->streams[i])) audio = static_cast<int>(i);
  }
  bool timed = ic->duration != AV_NOPTS_VALUE && ic->duration > 0;
  limits.AllowMore();
  // A guess from the name alone (a text file called .mp3) finds a stream
  // but nothing in it: such a file has no duration and no packets.
  if ((video < 0 && audio < 0) || (!timed && !HasPacket(ic, video, audio)) || limits.reached) {
    avformat_close_input(&ic);
    return limits.reached ? beyondLimits : ErrorLine(path, AVERROR_INVALIDDATA);
  }
  if (ic->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
    if (int64_t counted = CountedDuration(ic, limits, video, audio); counted != AV_NOPTS_VALUE) {
      ic->duration = counted;
      ic->bit_rate = 0;  // the first frame's rate: the size over the length is shown instead
    }
  }
  std::string text = Format("Input #0, %s, from '", ic->iformat->name) + Shown(path) + "':\r\n";
  text += DurationLine(ic);
  if (video >= 0) text += VideoLine(ic->streams[video]);
  if (audio >= 0) text += AudioLine(ic->streams[audio]);
  avformat_close_input(&ic);
  return text;
}

int RunProbe(const std::string& path) {
  // A last resort should the library spin without reading: the default
  // action of the alarm ends the probe, which then described nothing.
  alarm(2 * static_cast<unsigned>(kMaxProbeTime.count()));
  std::string text = DescribeMedia(path);
  // One write, so the reader gets the description whole; loop only for a
  // pipe that takes it in parts.
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(STDOUT_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return 1;
}

}  // namespace adapter

// Entry point of the probe module: register.dat loads it only to describe a
// file, so conversions start without loading the media libraries.
extern "C" int adapter_run_probe(const char* path) { return adapter::RunProbe(path); }
