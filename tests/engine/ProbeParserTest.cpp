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

TEST(ProbeParser, DurationsAreReadWholeAndBounded) {
  struct Case {
    const char* line;
    const char* duration;
  };
  for (Case c : {Case{"  Duration: 101:00:00.00, start: 0.000000, bitrate: 64 kb/s\r\n", "101:00:00"},
                 Case{"  Duration: 999:59:59.99, start: 0.000000, bitrate: 64 kb/s\r\n", "999:59:59"},
                 Case{"  Duration: 00:00:05, bitrate: 64 kb/s\r\n", "00:00:05"},
                 Case{"  Duration: N/A, start: 0.000000, bitrate: 64 kb/s\r\n", "N/A"},
                 Case{"  Duration: N/A, bitrate: N/A\r\n", "N/A"},
                 // Beyond any medium: dropped, as a text that is no clock at all.
                 Case{"  Duration: 2562047788:00:54.78, bitrate: 64 kb/s\r\n", ""},
                 Case{"  Duration: 1000:00:00.00, bitrate: 64 kb/s\r\n", ""},
                 Case{"  Duration: 0000000000000000000000000000001\r\n", ""},
                 // A description cut right after the marker.
                 Case{"x\r  Duration:", ""}}) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Parse(c.line).ProbeDuration, c.duration);
  }
}

TEST(ProbeParser, AbsurdRatesAndFrameSizesAreDropped) {
  // An overall rate beyond any medium leaves no overall rate, so the file is
  // not taken; absurd stream values are dropped and their defaults apply.
  ProbeResult r = Parse(
      "  Duration: 00:00:10.00, start: 0.000000, bitrate: 2147483700 kb/s\r\n"
      "    Stream #0.0: Video: mpeg4, yuv420p, 320x999999999, 4294967296 kb/s, 25 fps\r\n"
      "    Stream #0.1: Audio: mp3, 44100 Hz, stereo, fltp, -128 kb/s\r\n");
  EXPECT_EQ(r.ProbeTotalKbps, "");
  EXPECT_EQ(r.ProbeVideoKbps, "");
  EXPECT_EQ(r.ProbeAudioKbps, "");
  EXPECT_EQ(r.ProbeFrameSize, "");
  EXPECT_EQ(r.ProbeAudioCodec, "mp3");

  // The largest plausible values stay; the first one past them goes.
  r = Parse(
      "  Duration: 00:00:10.00, bitrate: 1000000 kb/s\r\n"
      "    Stream #0.0: Video: h264, yuv420p, 16384x16384, 1000000 kb/s\r\n");
  EXPECT_EQ(r.ProbeTotalKbps, "1000000");
  EXPECT_EQ(r.ProbeVideoKbps, "1000000");
  EXPECT_EQ(r.ProbeFrameSize, "16384x16384");
  r = Parse(
      "  Duration: 00:00:10.00, bitrate: 1000001 kb/s\r\n"
      "    Stream #0.0: Video: h264, yuv420p, 16385x240, 1000001 kb/s\r\n");
  EXPECT_EQ(r.ProbeTotalKbps, "");
  EXPECT_EQ(r.ProbeVideoKbps, "");
  EXPECT_EQ(r.ProbeFrameSize, "");

  // Texts that are no numbers stay as printed for the list to judge.
  r = Parse("  Duration: 00:00:10.00, bitrate: N/A kb/s\r\n  Stream #0.0: Video: h264, 12ax34\r\n");
  EXPECT_EQ(r.ProbeTotalKbps, "N/A");
  EXPECT_EQ(r.ProbeFrameSize, "12ax34");
}

TEST(ProbeParser, ManyLineEndsInOneChunk) {
  // 64 KiB of bare CRs, then a description and more CRs: every line end is
  // consumed and the description's values are found among them.
  std::string text(64 * 1024, '\r');
  text += kDescription;
  text += std::string(64 * 1024, '\r') + "unfinished";
  ProbeResult r;
  ParseProbeOutput(text, r);
  EXPECT_EQ(text, "unfinished");
  EXPECT_EQ(r.ProbeDuration, "00:01:23");
  EXPECT_EQ(r.ProbeTotalKbps, "1152");
  EXPECT_EQ(r.ProbeFrameSize, "640x480");
  EXPECT_EQ(r.ProbeChannels, " stereo");

  // The same with line feeds between, as CR LF pairs and bare LFs.
  std::string mixed;
  for (int i = 0; i < 32 * 1024; ++i) mixed += i % 2 ? "\r\n" : "\n";
  ParseProbeOutput(mixed, r);
  EXPECT_EQ(mixed, "");
  EXPECT_EQ(r.ProbeTotalKbps, "1152");  // no line with the key: kept
}
