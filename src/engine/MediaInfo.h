#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pcm {

// One stream of a media file as the probe found it, in numbers. A value
// the file does not state is 0 (a rate, a size) or empty (a language).
struct StreamInfo {
  enum class Kind : int32_t { Other = 0, Video = 1, Audio = 2, Subtitle = 3 };
  Kind kind = Kind::Other;
  int32_t index = 0;  // the stream's number in the file
  std::string codec;
  std::string language;
  bool isDefault = false;
  bool attachedPicture = false;  // cover art, not a moving picture
  bool tagged = false;           // holds title, artist or album tags of its own
  int32_t channels = 0;
  int32_t sampleRate = 0;  // Hz
  int32_t kbps = 0;        // bit rate, kbit/s
  int32_t width = 0;       // stored frame size
  int32_t height = 0;
  int32_t sarNum = 0;  // sample aspect ratio; 0 when unknown (square)
  int32_t sarDen = 0;
  int32_t rotation = 0;  // 0, 90, 180 or 270: how far the picture is turned when shown
  int32_t fpsNum = 0;
  int32_t fpsDen = 0;
};

// What the probe found about a file: container, length, rates and every
// stream. `described` is false when the probe gave nothing usable.
struct MediaInfo {
  bool described = false;
  std::string container;
  int64_t durationMs = -1;  // -1 when the file states no length
  int64_t kbps = 0;         // overall bit rate, kbit/s
  int64_t bytes = 0;        // the file's size
  bool tagged = false;      // the container holds title, artist or album tags
  std::vector<StreamInfo> streams;
};

// The first moving picture (no cover art), or null.
const StreamInfo* MainVideo(const std::vector<StreamInfo>& streams);
// The sound converted: the first usable audio stream marked default, else
// the first usable one; null when there is none.
const StreamInfo* ChosenAudio(const std::vector<StreamInfo>& streams);
// The first cover picture, or null.
const StreamInfo* CoverPicture(const std::vector<StreamInfo>& streams);
// The stream's place among the streams of its kind, as "-map 0:a:N" counts.
int KindOrdinal(const std::vector<StreamInfo>& streams, const StreamInfo& s);

// The picture's size as shown: the sample aspect ratio applied to the
// width, the sides swapped for a quarter turn, both even.
struct FrameSize {
  int32_t width = 0;
  int32_t height = 0;
};
FrameSize DisplayedSize(const StreamInfo& video);
// The stored size turned as the decoder turns it (no pixel aspect applied).
FrameSize TurnedSize(const StreamInfo& video);

// The whole seconds of a length the list converts: a last part second
// beyond encoder padding (0.05 s) counts as a whole one, so a 1.6 s clip
// converts whole. -1 (unknown) gives 0.
int64_t WholeSeconds(int64_t durationMs);

// The highest overall rate a file of this size and length can have, in
// kbit/s; 0 when either is unknown.
int64_t RateBoundKbps(int64_t bytes, int64_t durationMs);

// The adapter's description of one file: lines of "key=value" words, a
// "media" line, then a "stream" line per stream, or an "error" line with
// the reason. Unknown keys and lines are skipped, values out of range are
// left at 0, so a later adapter can say more.
MediaInfo ParseMediaDescription(std::string_view text, std::string* error = nullptr);

// Texts shown for an audio stream: "44100 Hz", "stereo" (or "6 channels").
std::string SampleRateText(const StreamInfo& audio);
std::string ChannelsText(const StreamInfo& audio);
// One line for a stream in a listing: "aac, eng, 2 channels, default".
std::string StreamSummary(const StreamInfo& s);

}  // namespace pcm
