// AMR narrow-band output: ffmpeg decodes, sox encodes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AdapterHarness.h"
#include "support/Fixtures.h"

using namespace adaptertest;
using pcmtest::ShellQuote;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(Amr, WritesAnAmrFileWithProgress) {
  std::string out = pcmtest::MakeTempDir("amr") + "/-my \"odd\" Ünï.amr";
  AdapterRun r =
      RunAdapter("-ss 00:00:00 -y -i " + ShellQuote(pcmtest::MakeMedia("mp3", 2)) +
                 " -ab 7400 -ar 8000 -ac 1  -t 00:00:02 -acodec libopencore_amrnb " + ShellQuote(out));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Read(out).substr(0, 6), "#!AMR\n");
  pcmtest::ProbeInfo info = pcmtest::FfprobeFile(out);
  ASSERT_TRUE(info.ok);
  EXPECT_EQ(info.audioCodec, "amr_nb");
  EXPECT_EQ(info.sampleRate, 8000);
  EXPECT_NEAR(info.duration, 2.0, 0.2);
  EXPECT_NE(r.out.find("time=2.0"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("time=00:"), std::string::npos) << r.out;
}

TEST(Amr, ModeFollowsTheRateAndEncoderOptionsStayAway) {
  // Scripted ffmpeg and sox that record their arguments beside themselves,
  // which is where the output goes: the adapter lets them write nowhere else.
  std::string dir = pcmtest::MakeTempDir("amr-args");
  WriteScript(dir, "ffmpeg", "printf '%s\\n' \"$@\" > \"$0.args\"");
  WriteScript(dir, "sox", "cat >/dev/null; printf '%s\\n' \"$@\" > \"$0.args\"");
  std::string env = "PATH=" + ShellQuote(dir) + ":\"$PATH\"";
  struct Case {
    const char* rate;
    const char* mode;
  };
  for (Case c : {Case{"4750", "0"}, Case{"5150", "1"}, Case{"5900", "2"}, Case{"6700", "3"},
                 Case{"7400", "4"}, Case{"7950", "5"}, Case{"10200", "6"}, Case{"12200", "7"},
                 Case{"12.2k", "7"}, Case{"10199", "5"}, Case{"3000", "0"}, Case{"64000", "7"}}) {
    SCOPED_TRACE(c.rate);
    AdapterRun r =
        RunAdapter(std::string("-ss 00:00:01 -y -i /in.mp3 -ab ") + c.rate +
                       " -ar 8000 -ac 1  -t 00:00:05 -acodec x -s 1x1 " + ShellQuote(dir + "/x.AMR"),
                   env);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(Read(dir + "/sox.args"),
              std::string("-V1\n-t\nwav\n-\n-t\namr-nb\n-C\n") + c.mode + "\n" + dir + "/x.AMR\n");
  }
  EXPECT_EQ(Read(dir + "/ffmpeg.args"),
            "-nostdin\n-ss\n00:00:01\n-y\n-i\nfile:/in.mp3\n-t\n00:00:05\n"
            "-vn\n-sn\n-f\nwav\n-ar\n8000\n-ac\n1\npipe:1\n");
  // A relative name starting with '-' stays a name for sox.
  RunAdapter("-i /in.mp3 -ab 12200 -x.amr", "cd " + ShellQuote(dir) + " && " + env);
  EXPECT_EQ(
      Read(dir + "/sox.args").substr(Read(dir + "/sox.args").rfind("\n", Read(dir + "/sox.args").size() - 2)),
      "\n./-x.amr\n");
}

TEST(Amr, FailuresAreNonZero) {
  std::string dir = pcmtest::MakeTempDir("amr-fail");
  // ffmpeg cannot read the input.
  AdapterRun r = RunAdapter("-y -i /nonexistent.mp3 -ab 12200 " + ShellQuote(dir + "/a.amr"));
  EXPECT_NE(r.code, 0);
  // sox cannot write the output.
  r = RunAdapter("-y -i " + ShellQuote(pcmtest::MakeMedia("mp3", 1)) + " -ab 12200 " +
                 ShellQuote(dir + "/missing/b.amr"));
  EXPECT_NE(r.code, 0) << r.out;
  // ffmpeg missing.
  r = RunAdapter("-y -i a.mp3 -ab 12200 " + ShellQuote(dir + "/c.amr"), "POPCLIPMILL_FFMPEG=/nonexistent");
  EXPECT_EQ(r.code, 127);
  EXPECT_NE(r.out.find("register.dat: cannot start ffmpeg: No such file or directory"), std::string::npos);
}
