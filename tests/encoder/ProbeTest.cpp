// The probe form "register.dat -i PATH" on real files made with ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "AdapterHarness.h"
#include "support/Fixtures.h"

using namespace adaptertest;
using pcmtest::ShellQuote;

namespace {

// The text of the first line that contains key, without its CR LF.
std::string LineWith(const std::string& text, const std::string& key) {
  size_t k = text.find(key);
  if (k == std::string::npos) return {};
  size_t begin = text.rfind('\n', k);
  begin = begin == std::string::npos ? 0 : begin + 1;
  size_t end = text.find('\r', k);
  return text.substr(begin, end - begin);
}

bool AllLinesCrLf(const std::string& text) {
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

std::string CopyAs(const std::string& from, const std::string& name) {
  std::string dir = pcmtest::MakeTempDir("probe-names");
  std::string to = dir + "/" + name;
  std::filesystem::copy_file(from, to);
  return to;
}

struct Kind {
  const char* kind;
  const char* audioCodec;
  const char* videoCodec;  // nullptr for audio files
};

}  // namespace

TEST(Probe, DescribesEachKindInTheClassicForm) {
  for (Kind k :
       {Kind{"mp3", "mp3", nullptr}, Kind{"wav", "pcm_s16le", nullptr}, Kind{"ogg", "vorbis", nullptr},
        Kind{"m4a", "aac", nullptr}, Kind{"avi", "mp3", "mpeg4"}, Kind{"mp4", "aac", "h264"}}) {
    SCOPED_TRACE(k.kind);
    std::string path = pcmtest::MakeMedia(k.kind, 2);
    AdapterRun r = RunAdapter("-i " + ShellQuote(path));
    EXPECT_EQ(r.code, 1);  // an encoder run without an output
    EXPECT_EQ(r.out.rfind("Input #0, ", 0), 0u) << r.out;
    EXPECT_TRUE(AllLinesCrLf(r.out)) << r.out;

    std::string duration = LineWith(r.out, "Duration:");
    EXPECT_EQ(duration.rfind("  Duration: 00:00:02.", 0), 0u) << duration;
    std::string total = LineWith(r.out, "bitrate:");
    EXPECT_EQ(total, duration);
    ASSERT_NE(total.find(" kb/s"), std::string::npos) << total;
    EXPECT_GT(std::stoi(total.substr(total.find("bitrate: ") + 9)), 0);

    std::string audio = LineWith(r.out, "Audio:");
    EXPECT_NE(audio.find(std::string("Audio: ") + k.audioCodec + ", 44100 Hz, stereo, "), std::string::npos)
        << audio;
    EXPECT_NE(audio.find(" kb/s"), std::string::npos) << audio;

    std::string video = LineWith(r.out, "Video:");
    if (k.videoCodec) {
      EXPECT_NE(video.find(std::string("Video: ") + k.videoCodec + ", "), std::string::npos) << video;
      // The reader takes the first 'x' after "Video:" as the frame size's.
      std::string after = video.substr(video.find("Video:"));
      EXPECT_EQ(after.substr(after.find('x') - 3, 7), "320x240") << video;
      EXPECT_LT(video.find("Video:"), audio.empty() ? 0 : r.out.find(audio));
    } else {
      EXPECT_EQ(video, "");
    }
  }
}

TEST(Probe, RatesAndLayoutsAsMade) {
  AdapterRun mp3 = RunAdapter("-i " + ShellQuote(pcmtest::MakeMedia("mp3", 2)));
  EXPECT_NE(LineWith(mp3.out, "Audio:").find(", 128 kb/s"), std::string::npos) << mp3.out;
  // Plain WAV states a channel count only; it still reads as a layout.
  AdapterRun wav = RunAdapter("-i " + ShellQuote(pcmtest::MakeMedia("wav", 2)));
  EXPECT_NE(LineWith(wav.out, "Audio:").find(", stereo, s16, 1411 kb/s"), std::string::npos) << wav.out;
  std::string mono = pcmtest::MakeTempDir("probe-mono") + "/mono.wav";
  pcmtest::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=1 -ac 1 " +
                    ShellQuote(mono));
  AdapterRun m = RunAdapter("-i " + ShellQuote(mono));
  EXPECT_NE(LineWith(m.out, "Audio:").find(", mono, "), std::string::npos) << m.out;
}

TEST(Probe, CoverArtIsNotVideo) {
  std::string dir = pcmtest::MakeTempDir("probe-cover");
  std::string out = dir + "/cover.mp3";
  pcmtest::RunShell(
      "ffmpeg -nostdin -loglevel error -y -i " + ShellQuote(pcmtest::MakeMedia("mp3", 2)) +
      " -f lavfi -i color=red:size=64x64:duration=0.04 -frames:v 1 -map 0:a -map 1:v -c:a copy -c:v png"
      " -disposition:v attached_pic -id3v2_version 3 " +
      ShellQuote(out));
  ASSERT_EQ(pcmtest::FfprobeFile(out).audioStreams, 1);
  AdapterRun r = RunAdapter("-i " + ShellQuote(out));
  EXPECT_EQ(LineWith(r.out, "Video:"), "") << r.out;
  EXPECT_NE(LineWith(r.out, "Audio:").find("Audio: mp3, 44100 Hz"), std::string::npos) << r.out;
}

TEST(Probe, UnreadableFilesGiveOneErrorLineAndNoMarkers) {
  std::string dir = pcmtest::MakeTempDir("probe-bad");
  pcmtest::RunShell("head -c 65536 /dev/urandom > " + ShellQuote(dir + "/noise.mp3") + "; : > " +
                    ShellQuote(dir + "/empty.mp3") + "; mkfifo " + ShellQuote(dir + "/fifo.mp3"));
  struct Case {
    std::string path, message;
  };
  // The text file is named .mp3, so a guess from the name alone picks mp3.
  for (const Case& c :
       {Case{pcmtest::MakeMedia("txt.mp3"), "Invalid data found when processing input"},
        Case{dir + "/noise.mp3", "Invalid data found when processing input"},
        Case{dir + "/empty.mp3", "Invalid data found when processing input"},
        // A pipe nobody writes must not hang the probe.
        Case{dir + "/fifo.mp3", "Invalid data found when processing input"},
        Case{"/dev/zero", "Invalid data found when processing input"},
        Case{dir + "/missing.mp3", "No such file or directory"}, Case{dir, "Is a directory"}}) {
    SCOPED_TRACE(c.path);
    AdapterRun r = RunAdapter("-i " + ShellQuote(c.path));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, c.path + ": " + c.message + "\r\n");
  }
}

TEST(Probe, OddNamesAreTakenLiterally) {
  std::string mp3 = pcmtest::MakeMedia("mp3", 2);
  for (const char* name :
       {"-leading dash.mp3", "pipe:colon.mp3", "blank \"quote\" Ünïcødé.mp3", "it's.mp3"}) {
    SCOPED_TRACE(name);
    std::string path = CopyAs(mp3, name);
    AdapterRun r = RunAdapter("-i " + ShellQuote(path));
    EXPECT_NE(r.out.find("from '" + path + "':\r\n"), std::string::npos) << r.out;
    EXPECT_NE(LineWith(r.out, "Audio:").find("44100 Hz"), std::string::npos) << r.out;
  }
}

TEST(Probe, MarkersInTheFileNameDoNotPassForTheFilesOwn) {
  // The reader takes the first "Duration:" and the first line with each
  // marker; a name holding them must not shadow the real lines.
  std::string mp3 = pcmtest::MakeMedia("mp3", 2);
  std::string path = CopyAs(mp3, "Duration: 09:09:09 Video: 1x1 Audio: x, 8 Hz, mono, bitrate: 9 kb\rs.mp3");
  AdapterRun r = RunAdapter("-i " + ShellQuote(path));
  EXPECT_EQ(r.out.substr(r.out.find("Duration:"), 20), "Duration: 00:00:02.0") << r.out;
  EXPECT_EQ(LineWith(r.out, "Audio:").rfind("    Stream #0.0: Audio: mp3", 0), 0u) << r.out;
  EXPECT_EQ(LineWith(r.out, "bitrate:").rfind("  Duration: 00:00:02", 0), 0u) << r.out;
  EXPECT_EQ(LineWith(r.out, "Video:"), "");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\r'), 3);  // the CR in the name is shown as '?'

  // The same for the error line of a file that is not media.
  std::string bad = CopyAs(pcmtest::MakeMedia("txt.mp3"), "x Duration: 00:00:10, bitrate: 5 kb.mp3");
  AdapterRun e = RunAdapter("-i " + ShellQuote(bad));
  EXPECT_EQ(e.out.find("Duration:"), std::string::npos) << e.out;
  EXPECT_EQ(e.out.find("bitrate:"), std::string::npos) << e.out;
}

TEST(Probe, AHugeFileOfZerosEndsAsUnusable) {
  // 100 GB of zeros named .mp3 (sparse, so it takes no room): the probe gives
  // up within its limits instead of reading it all.
  std::string path = pcmtest::MakeTempDir("probe-huge") + "/zeros.mp3";
  pcmtest::RunShell("truncate -s 100G " + ShellQuote(path));
  AdapterRun r = RunAdapter("-i " + ShellQuote(path));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, path + ": nothing recognisable within the probe's limits\r\n");
}

TEST(Probe, AMissingOrBrokenModuleIsNamed) {
  // A copy of the adapter in a folder of its own, first without the probe
  // module beside it, then with a damaged one.
  std::string dir = pcmtest::MakeTempDir("probe-module");
  std::filesystem::copy_file(Adapter(), dir + "/register.dat");
  std::string mp3 = ShellQuote(pcmtest::MakeMedia("mp3", 2));
  std::string command = ShellQuote(dir + "/register.dat") + " -i " + mp3 + " 2>&1";
  std::string out;
  EXPECT_EQ(pcmtest::RunShell(command, &out), 1);
  EXPECT_EQ(out.rfind("register.dat: the probe module register-probe.so cannot be loaded: ", 0), 0u) << out;
  EXPECT_NE(out.find("No such file"), std::string::npos) << out;

  pcmtest::RunShell("head -c 300 " + ShellQuote(Adapter()) + " > " + ShellQuote(dir + "/register-probe.so"));
  out.clear();
  EXPECT_EQ(pcmtest::RunShell(command, &out), 1);
  EXPECT_EQ(out.rfind("register.dat: the probe module register-probe.so cannot be loaded: ", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

namespace {

// A variable-rate MP3 without a length header, of silence then noise (or the
// reverse): its container length is a guess from the first frame's rate.
std::string MakeVbrWithoutHeader(const std::string& dir, const std::string& name, const std::string& first,
                                 const std::string& second) {
  std::string path = dir + "/" + name;
  pcmtest::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i " + first + " -f lavfi -i " + second +
                    " -filter_complex '[0][1]concat=n=2:v=0:a=1,aformat=channel_layouts=stereo'"
                    " -c:a libmp3lame -q:a 0 -write_xing 0 " +
                    ShellQuote(path));
  return path;
}

double DescribedSeconds(const std::string& description) {
  std::string line = LineWith(description, "Duration: ");
  size_t at = line.find("Duration: ");
  if (at == std::string::npos || line.size() < at + 21) return -1;
  std::string hms = line.substr(at + 10, 11);
  return std::stoi(hms.substr(0, 2)) * 3600 + std::stoi(hms.substr(3, 2)) * 60 + std::stod(hms.substr(6));
}

}  // namespace

TEST(Probe, AGuessedLengthIsCountedFromThePackets) {
  // Quiet first: the guess is several times too long. Loud first: far too
  // short, which would cut the conversion. Both are described at their real
  // length; a file with a length header keeps its stated one.
  std::string dir = pcmtest::MakeTempDir("probe-vbr");
  struct Case {
    std::string path;
    double seconds;
  };
  for (const Case& c : {Case{MakeVbrWithoutHeader(dir, "quiet first.mp3", "anullsrc=r=44100:cl=stereo:d=2",
                                                  "anoisesrc=d=10:r=44100"),
                             12},
                        Case{MakeVbrWithoutHeader(dir, "loud first.mp3", "anoisesrc=d=2:r=44100",
                                                  "anullsrc=r=44100:cl=mono:d=20"),
                             22},
                        Case{pcmtest::MakeMedia("mp3", 3), 3}}) {
    SCOPED_TRACE(c.path);
    AdapterRun r = RunAdapter("-i " + ShellQuote(c.path));
    // Never short, and long by at most the whole second a last part second
    // beyond encoder padding is rounded up to.
    double described = DescribedSeconds(r.out);
    EXPECT_GE(described, c.seconds) << r.out;
    EXPECT_LE(described, c.seconds + 1) << r.out;
    std::string total = LineWith(r.out, "bitrate: ");
    ASSERT_NE(total.find(" kb/s"), std::string::npos) << total;
    EXPECT_GT(std::stoi(total.substr(total.find("bitrate: ") + 9)), 0);
  }
  // The files are what the test means: the container's own guess is wrong.
  EXPECT_GT(pcmtest::FfprobeFile(dir + "/quiet first.mp3").duration, 20);
  EXPECT_LT(pcmtest::FfprobeFile(dir + "/loud first.mp3").duration, 15);
}
