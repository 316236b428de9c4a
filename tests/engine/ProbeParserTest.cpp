// The probe parser: which markers it relies on and how a description split
// over several chunks keeps its values.
#include <gtest/gtest.h>

#include "engine/MediaProbe.h"

using namespace pcm;

namespace {

ProbeResult Parse(std::string text) {
  ProbeResult r;
  ParseProbeOutput(text, r);
  return r;
}

const char* kDescription =
    "Input #0, avi, from '/m/clip.avi':\r\n"
    "  Duration: 00:01:23.4, start: 0.000000, bitrate: 1152 kb/s\r\n"
    "  Stream #0.0: Video: mpeg4, yuv420p, 640x480, 1000 kb/s, 25.00 fps\r\n"
    "  Stream #0.1: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\r\n";

}  // namespace

TEST(ProbeParser, StreamLines) {
  ProbeResult r = Parse("  Stream #0.1: Audio: mp3, 44100 Hz, stereo, 128 kb/s\r\n");
  EXPECT_EQ(r.ProbeAudioCodec, "mp3");
  EXPECT_EQ(r.ProbeSampleRate, " 44100 Hz");
  EXPECT_EQ(r.ProbeChannels, " stereo");
  EXPECT_EQ(r.ProbeAudioKbps, "128");

  r = Parse("  Stream #0.0: Video: mpeg4, yuv420p, 640x480, 25.00 fps\r\n");
  EXPECT_EQ(r.ProbeFrameSize, "640x480");
  EXPECT_EQ(r.ProbeVideoKbps, "");

  r = Parse("  Duration: 00:01:23.4, start: 0.000000, bitrate: 1152 kb/s\r\n");
  EXPECT_EQ(r.ProbeDuration, "00:01:23");
  EXPECT_EQ(r.ProbeTotalKbps, "1152");

  r = Parse("  Stream #0.1: Audio: aac, 48000 Hz\r\n");
  EXPECT_EQ(r.ProbeAudioCodec, "aac");
  EXPECT_EQ(r.ProbeSampleRate, " 48000 Hz");
  EXPECT_EQ(r.ProbeChannels, "");
}

TEST(ProbeParser, WholeDescription) {
  ProbeResult r = Parse(kDescription);
  EXPECT_EQ(r.ProbeDuration, "00:01:23");
  EXPECT_EQ(r.ProbeTotalKbps, "1152");
  EXPECT_EQ(r.ProbeVideoKbps, "1000");
  EXPECT_EQ(r.ProbeAudioKbps, "128");
  EXPECT_EQ(r.ProbeFrameSize, "640x480");
  EXPECT_EQ(r.ProbeAudioCodec, "mp3");
}

TEST(ProbeParser, FirstXAfterVideoIsTaken) {
  // A lower-case x in the codec name comes first and wins; the adapter
  // upper-cases such names for that reason.
  ProbeResult r = Parse("Stream #0.0: Video: xvid, yuv420p, 640x480\r\n");
  EXPECT_NE(r.ProbeFrameSize, "640x480");
  r = Parse("Stream #0.0: Video: XVID, yuv420p, 1920x1080, 25 fps\r\n");
  EXPECT_EQ(r.ProbeFrameSize, "1920x1080");
}

TEST(ProbeParser, LineFeedsAloneAreNoLines) {
  std::string text =
      "  Duration: 00:00:05.00, start: 0.0, bitrate: 64 kb/s\n"
      "  Stream #0.0: Audio: mp3, 44100 Hz, mono, 64 kb/s\n";
  ProbeResult r = Parse(text);
  EXPECT_EQ(r.ProbeDuration, "00:00:05");  // found anywhere in the text
  EXPECT_EQ(r.ProbeTotalKbps, "");
  EXPECT_EQ(r.ProbeAudioCodec, "");
}

TEST(ProbeParser, ValuesSurviveADescriptionSplitIntoChunks) {
  // Every split point of the description, fed in two or three pieces, gives
  // the same values as the whole text.
  ProbeResult whole = Parse(kDescription);
  std::string all = kDescription;
  for (size_t cut = 1; cut < all.size(); cut += 7) {
    for (size_t cut2 = cut; cut2 <= all.size(); cut2 += 31) {
      ProbeResult r;
      std::string acc;
      for (auto piece : {all.substr(0, cut), all.substr(cut, cut2 - cut), all.substr(cut2)}) {
        acc += piece;
        ParseProbeOutput(acc, r);
      }
      ASSERT_EQ(r.ProbeTotalKbps, whole.ProbeTotalKbps) << cut << "/" << cut2;
      ASSERT_EQ(r.ProbeVideoKbps, whole.ProbeVideoKbps) << cut << "/" << cut2;
      ASSERT_EQ(r.ProbeAudioKbps, whole.ProbeAudioKbps) << cut << "/" << cut2;
      ASSERT_EQ(r.ProbeFrameSize, whole.ProbeFrameSize) << cut << "/" << cut2;
      ASSERT_EQ(r.ProbeSampleRate, whole.ProbeSampleRate) << cut << "/" << cut2;
      ASSERT_EQ(r.ProbeChannels, whole.ProbeChannels) << cut << "/" << cut2;
      ASSERT_EQ(r.ProbeDuration, whole.ProbeDuration) << cut << "/" << cut2;
    }
  }
}

TEST(ProbeParser, ErrorOutputLeavesEverythingEmpty) {
  ProbeResult r = Parse("/m/notes.mp3: Invalid data found when processing input\r\n");
  EXPECT_EQ(r.ProbeTotalKbps, "");
  EXPECT_EQ(r.ProbeDuration, "");
  EXPECT_EQ(r.ProbeFrameSize, "");
}
