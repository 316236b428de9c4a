#include "Probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OpenerFormats.h"
#include "base/WriteAll.h"
#include "engine/MediaLimits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

namespace adapter {

namespace {

// A path as shown inside an error line: one line, whatever its name holds.
std::string Shown(const std::string& path) {
  std::string s = path;
  for (auto& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
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
  return "error " + Shown(path) + ": " + text + "\n";
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

bool Tagged(const AVDictionary* tags) {
  for (const char* key : {"title", "artist", "album"})
    if (av_dict_get(tags, key, nullptr, 0)) return true;
  return false;
}

// The file's own line: container, length, overall rate, size.
std::string MediaLine(AVFormatContext* ic) {
  int64_t duration = ic->duration;
  bool timed = duration != AV_NOPTS_VALUE && duration > 0;
  int64_t size = ic->pb ? avio_size(ic->pb) : -1;
  int64_t rate = ic->bit_rate;
  // The container states none: the file's size over its length.
  if (rate <= 0 && timed && size > 0) rate = av_rescale(size * 8, AV_TIME_BASE, duration);
  return Format("media format=%s duration_ms=%" PRId64 " bit_rate=%" PRId64 " size=%" PRId64 " tagged=%d\n",
                ic->iformat->name, timed ? (duration + 500) / 1000 : -1, rate > 0 ? rate : 0,
                size > 0 ? size : 0, Tagged(ic->metadata));
}

const char* KindName(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return "video";
    case AVMEDIA_TYPE_AUDIO:
      return "audio";
    case AVMEDIA_TYPE_SUBTITLE:
      return "subtitle";
    default:
      return "other";
  }
}

// How far the picture is turned when shown: 90, 180 or 270, or 0. Only a
// quarter turn (within a degree, as the encoder takes it) swaps the frame's
// sides; any other angle is turned inside the frame, which keeps its shape.
int Rotation(const AVStream* st) {
  size_t size = 0;
  const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!matrix || size < 9 * sizeof(int32_t)) return 0;
  double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(angle)) return 0;
  double turn = std::fmod(-angle, 360.0);
  if (turn < 0) turn += 360.0;
  long quarter = std::lround(turn / 90.0);
  if (std::fabs(turn - 90.0 * double(quarter)) >= 1.0) return 0;
  return static_cast<int>(quarter % 4) * 90;
}

// A tag value as one word: letters and digits only.
std::string Word(const char* text) {
  std::string w;
  for (const char* p = text; p && *p && w.size() < 16; ++p)
    if (std::isalnum(static_cast<unsigned char>(*p))) w += *p;
  return w;
}

// The stream's own length in milliseconds, -1 when the file does not state
// it: a length guessed from the bit rate is no statement. Matroska keeps
// each track's length in a tag its muxer wrote ("00:00:07.023000000").
int64_t StreamMilliseconds(const AVFormatContext* ic, const AVStream* st) {
  if (ic->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return -1;
  if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && st->time_base.den > 0)
    return av_rescale_q(st->duration, st->time_base, AVRational{1, 1000});
  const AVDictionaryEntry* tag = av_dict_get(st->metadata, "DURATION", nullptr, 0);
  unsigned hours = 0, minutes = 0;
  double seconds = 0;
  if (tag && std::sscanf(tag->value, "%u:%u:%lf", &hours, &minutes, &seconds) == 3 && minutes < 60 &&
      seconds >= 0 && seconds < 60 && hours < 100000)
    return int64_t(hours) * 3600000 + int64_t(minutes) * 60000 + std::llround(seconds * 1000);
  return -1;
}

std::string StreamLine(AVFormatContext* ic, AVStream* st) {
  const AVCodecParameters* par = st->codecpar;
  std::string line = Format("stream index=%d kind=%s codec=%s", st->index, KindName(par->codec_type),
                            avcodec_get_name(par->codec_id));
  if (const AVDictionaryEntry* lang = av_dict_get(st->metadata, "language", nullptr, 0))
    if (std::string w = Word(lang->value); !w.empty()) line += " language=" + w;
  line += Format(" default=%d attached_pic=%d tagged=%d", (st->disposition & AV_DISPOSITION_DEFAULT) != 0,
                 (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0, Tagged(st->metadata));
  if (int64_t ms = StreamMilliseconds(ic, st); ms > 0) line += Format(" duration_ms=%" PRId64, ms);
  if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
    line += Format(" channels=%d sample_rate=%d", par->ch_layout.nb_channels, par->sample_rate);
    if (int64_t rate = AudioBitRate(par); rate > 0) line += Format(" bit_rate=%" PRId64, rate);
  } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    line += Format(" width=%d height=%d", par->width, par->height);
    AVRational sar = av_guess_sample_aspect_ratio(ic, st, nullptr);
    if (sar.num > 0 && sar.den > 0) line += Format(" sar=%d/%d", sar.num, sar.den);
    line += Format(" rotation=%d", Rotation(st));
    AVRational rate =
        st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) line += Format(" fps=%d/%d", rate.num, rate.den);
    if (par->bit_rate > 0) line += Format(" bit_rate=%" PRId64, par->bit_rate);
  }
  return line + "\n";
}

struct InputFormat {
  const AVInputFormat* format = nullptr;
  // The image sequence format: it is told to read the one file named.
  bool literalName = false;
  bool reached = false;  // the probe's limits ended the search
  std::string refusal;   // why there is no format
};

// The format of the file at path as the library finds it from the bytes it
// reads, without opening the file as that format.
InputFormat FindInputFormat(const std::string& path) {
  InputFormat found;
  Limits limits;
  limits.deadline = std::chrono::steady_clock::now() + kMaxProbeTime;
  AVIOInterruptCB interrupt{LimitReached, &limits};
  AVIOContext* pb = nullptr;
  const std::string url = "file:" + path;
  int rc = avio_open2(&pb, url.c_str(), AVIO_FLAG_READ, &interrupt, nullptr);
  if (rc >= 0) {
    rc = av_probe_input_buffer2(pb, &found.format, url.c_str(), nullptr, 0, kFormatProbeBytes);
    avio_closep(&pb);
  }
  if (rc < 0 || !found.format) {
    found.format = nullptr;
    found.reached = limits.reached;
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(rc < 0 && rc != AVERROR(EINVAL) ? rc : AVERROR_INVALIDDATA, text, sizeof text);
    found.refusal = text;
    return found;
  }
  found.literalName = av_match_name("image2", found.format->name);
  for (const OpenerFormat& opener : kOpenerFormats) {
    if (!av_match_name(opener.format, found.format->name)) continue;
    if (opener.extension && LowerExtension(path) == opener.extension) break;
    found.refusal = std::string("the file is ") + opener.what + " (" + opener.format +
                    "), which opens other files; it is not read" +
                    (opener.extension ? std::string(" unless its name ends in .") + opener.extension : "");
    found.format = nullptr;
    break;
  }
  return found;
}

}  // namespace

int PinnedInputFormat(const std::string& path, std::string* name, std::string* refusal) {
  av_log_set_level(AV_LOG_QUIET);
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode))) {
    *refusal = "not a file";
    return 0;
  }
  const InputFormat found = FindInputFormat(path);
  if (!found.format) {
    *refusal = found.reached ? "nothing recognisable within the probe's limits" : found.refusal;
    return 0;
  }
  // The first of the format's names is one ffmpeg's "-f" finds it by.
  *name = found.format->name;
  if (const size_t comma = name->find(','); comma != std::string::npos) name->resize(comma);
  return found.literalName ? 2 : 1;
}

std::string DescribeMedia(const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  // Opening a pipe or a device would wait for a writer that never comes.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode)))
    return ErrorLine(path, AVERROR_INVALIDDATA);
  // A folder is no media file; a probe could not even open it (its rule
  // lets it read files only).
  if (S_ISDIR(st.st_mode)) return ErrorLine(path, AVERROR(EISDIR));
  Limits limits;
  limits.deadline = std::chrono::steady_clock::now() + kMaxProbeTime;
  const std::string beyondLimits =
      "error " + Shown(path) + ": nothing recognisable within the probe's limits\n";
  AVFormatContext* ic = avformat_alloc_context();
  if (!ic) return ErrorLine(path, AVERROR(ENOMEM));
  limits.ic = ic;
  ic->interrupt_callback = {LimitReached, &limits};
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "formatprobesize", kFormatProbeBytes, 0);
  av_dict_set_int(&options, "probesize", kStreamProbeBytes, 0);
  av_dict_set_int(&options, "analyzeduration", kAnalyzeMicroseconds, 0);
  // The format is found from the file's bytes first and then pinned, so a
  // playlist or list is refused before anything it names is opened.
  const InputFormat found = FindInputFormat(path);
  if (!found.format) {
    avformat_free_context(ic);
    av_dict_free(&options);
    return found.reached ? beyondLimits : "error " + Shown(path) + ": " + found.refusal + "\n";
  }
  if (found.literalName) av_dict_set(&options, "pattern_type", "none", 0);
  // "file:" makes names with ':' or a leading '-' plain file names.
  std::string url = "file:" + path;
  int rc = avformat_open_input(&ic, url.c_str(), found.format, &options);
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
  std::string text = MediaLine(ic);
  for (unsigned i = 0; i < ic->nb_streams && i < pcm::kMaxStreams; ++i)
    text += StreamLine(ic, ic->streams[i]);
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
  pcm::WriteAll(STDOUT_FILENO, text.data(), text.size());
  return 1;
}

}  // namespace adapter

// Entry points of the probe module: register.dat loads it to describe a
// file, and after a conversion to describe its result, so a conversion
// starts without the media libraries.
extern "C" int adapter_run_probe(const char* path) { return adapter::RunProbe(path); }

// The format a conversion pins its input to: 1 with the format's name, 2
// when the format must also be told to read the one file named, 0 with the
// reason the input is refused. Both texts end in a NUL within their size.
extern "C" int adapter_input_format(const char* path, char* name, size_t nameSize, char* refusal,
                                    size_t refusalSize) {
  std::string found, why;
  const int rc = adapter::PinnedInputFormat(path, &found, &why);
  std::snprintf(name, nameSize, "%s", found.c_str());
  std::snprintf(refusal, refusalSize, "%s", why.c_str());
  return rc;
}

// The description of path as DescribeMedia gives it, in memory the caller
// frees with free(); null when none could be made.
extern "C" char* adapter_describe_media(const char* path) {
  return strdup(adapter::DescribeMedia(path).c_str());
}
