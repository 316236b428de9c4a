#pragma once
#include <string>

namespace pcmtest {

// Folder of real media taken from Debian packages plus awkward cases made
// from them (filled once per machine by tests/support/real-media.sh):
//   real-video.mp4 (H.264 + AAC camera footage), real-sound.oga,
//   real-sound-22k.oga, cover.jpg (352x288), rotated.mp4 (1280x720 stored,
//   quarter turn to portrait), anamorphic.mkv (720x576, SAR 64:45),
//   portrait.mp4 (480x854), wide.mp4 (854x480), two-tracks.mkv (440 Hz eng,
//   880 Hz deu default), cover.mp3 (cover art, tags "Cover Song",
//   "Test Artist", "Test Album", 3, 2019), stream-tags.ogg (stream tags
//   "Stream Song", "Stream Artist", "Stream Album", 5, 2021),
//   five-samples.wav, mpeg1.mpg (raw MPEG-1 video, 100 frames at 25 fps),
//   real-av.avi (MPEG-4 video + AC-3 sound).
// The cache is $POPCLIPMILL_MEDIA_CACHE, else ~/.cache/popclipmill/real-media.
// Returns "" when the media cannot be had, with the reason in *whyNot.
std::string RealMediaDir(std::string* whyNot = nullptr);

// What ffprobe says about a file; zeros and empty strings when unknown.
struct MediaFacts {
  bool ok = false;       // ffprobe could read the file
  double duration = 0;   // container duration, seconds
  long videoFrames = 0;  // packets of the first video stream
  int width = 0;         // stored size of the first video stream
  int height = 0;
  double sar = 0;            // its sample aspect ratio, 1 when unset
  int rotation = 0;          // display matrix rotation in degrees (ffprobe's sign)
  double displayAspect = 0;  // width * sar / height, inverted for a quarter turn
  int audioStreams = 0;
  bool hasCover = false;  // an attached picture stream exists
  int coverWidth = 0;     // and its size
  int coverHeight = 0;
  // Container tags; a tag missing there is taken from the first audio stream.
  std::string title, artist, album, track, date;
  double audioStart = 0;  // start time of the first audio stream
  double videoStart = 0;  // start time of the first video stream
};
MediaFacts MeasureMedia(const std::string& path);

// Aspect ratio of the picture as shown (rotation and pixel shape applied),
// near-black edges cropped off as bars; 0 when no picture can be decoded.
// Measures the first video stream, which is the cover in an audio file.
// `blackLimit` is the highest luma taken for a bar: 20 leaves room for an
// encoder's noise in the bars, 16 suits lossless pictures of dark footage.
double ShownAspect(const std::string& videoPath, int blackLimit = 20);

// Pitch in Hz of the given audio stream (zero crossings / 2); 0 on failure.
double DominantFrequency(const std::string& path, int audioStreamIndex = 0);

// md5 of the first video frame as shown, scaled to 64x64 gray; "" on failure.
std::string FirstFrameHash(const std::string& path);

// Mean absolute difference (0..255) of the first frames of two files, both
// as 64x64 gray; NaN when either cannot be decoded, so every comparison fails.
double FrameDifference(const std::string& a, const std::string& b);

}  // namespace pcmtest
