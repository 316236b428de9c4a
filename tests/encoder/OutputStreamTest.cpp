// How ffmpeg's output reaches the reader. A scripted ffmpeg prints exactly
// the bytes under test.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "AdapterHarness.h"
#include "support/Fixtures.h"

using namespace adaptertest;
using pcmtest::ShellQuote;

namespace {

// Runs the adapter over a scripted ffmpeg with the given body, written into
// `dir` (the confined ffmpeg reads only its own folder's files besides the
// input and the system's).
AdapterRun Scripted(const std::string& body, const std::string& dir = pcmtest::MakeTempDir("scripted")) {
  std::string script = WriteScript(dir, "ffmpeg", body);
  return RunAdapter("-y -i in.mp3 out.mp3", "POPCLIPMILL_FFMPEG=" + ShellQuote(script));
}

}  // namespace

TEST(OutputStream, TimesBecomeSecondsAndEverythingElseStays) {
  AdapterRun r = Scripted(
      "printf 'Input #0\\nframe=  1 time=00:01:23.45 bitrate= 1.0kbits/s\\r'\n"
      "printf 'size=1kB time=01:00:00.00 bitrate=2\\rtime=N/A bitrate=N/A\\r'\n"
      "printf 'time=-00:00:00.04 bitrate=0\\r\\ntime=123:00:01.5 x\\rtime=00:1:00.00 time=00:00:07\\n'");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "Input #0\nframe=  1 time=83.45 bitrate= 1.0kbits/s\r"
            "size=1kB time=3600.00 bitrate=2\rtime=N/A bitrate=N/A\r"
            "time=-0.04 bitrate=0\r\ntime=442801.5 x\rtime=00:1:00.00 time=7\n");
}

TEST(OutputStream, TimeSplitAcrossWritesIsRewrittenWhole) {
  AdapterRun r = Scripted(
      "printf 'frame=1 time=00:0'; sleep 0.2; printf '1:23.45 bitrate=\\r'; sleep 0.2; printf 'end'");
  EXPECT_EQ(r.out, "frame=1 time=83.45 bitrate=\rend");
}

TEST(OutputStream, LongLineWithoutEndsKeepsEveryTime) {
  // A megabyte without a line end, with times at irregular distances so
  // that many of them straddle the points where a long line is sent on.
  std::mt19937 random(7);
  std::string raw, expected;
  while (raw.size() < (1u << 20)) {
    std::string filler(random() % 5000, 'a');
    int s = static_cast<int>(random() % 3600);
    char clock[32];
    snprintf(clock, sizeof clock, "time=%02d:%02d:%02d.%02d", s / 3600, s / 60 % 60, s % 60, s % 100);
    raw += filler + clock + " ";
    expected += filler + "time=" + std::to_string(s) + "." + (s % 100 < 10 ? "0" : "") +
                std::to_string(s % 100) + " ";
  }
  raw += "time=00:00:09.99";
  expected += "time=9.99";
  std::string dir = pcmtest::MakeTempDir("long-line");
  std::ofstream(dir + "/raw", std::ios::binary) << raw;
  AdapterRun r = Scripted("cat " + ShellQuote(dir + "/raw"), dir);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.size(), expected.size());
  EXPECT_TRUE(r.out == expected);
}

TEST(OutputStream, TimeAtTheLongLinePointIsRewrittenOnce) {
  // A line is sent on in pieces once it reaches 4096 bytes. A time that
  // straddles that point, wherever it starts, is rewritten once and whole:
  // the result is what rewriting the line at once gives.
  std::string raw = std::string(4084, 'x') + "time=1:00:00:00:00\r";
  std::string expected = std::string(4084, 'x') + "time=3600:00:00\r";
  for (size_t at = 4060; at <= 4100; ++at) {
    raw += std::string(at, 'y') + "time=12:34:56.78 bitrate=1\r";
    expected += std::string(at, 'y') + "time=45296.78 bitrate=1\r";
  }
  // Unfinished ones at the point stay as printed, once.
  raw += std::string(4091, 'z') + "time=\r" + std::string(4090, 'z') + "time=1:2\r";
  expected += std::string(4091, 'z') + "time=\r" + std::string(4090, 'z') + "time=1:2\r";
  std::string dir = pcmtest::MakeTempDir("split-time");
  std::ofstream(dir + "/raw", std::ios::binary) << raw;
  AdapterRun r = Scripted("cat " + ShellQuote(dir + "/raw"), dir);
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.out.size(), expected.size());
  EXPECT_TRUE(r.out == expected) << r.out.substr(0, r.out.find("time=") + 40).substr(4080);
}
