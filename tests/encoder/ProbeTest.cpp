// The probe form "register.dat -i PATH" on real files: media made with
// ffmpeg and media that others made, with the awkward cases derived from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "AdapterHarness.h"
#include "engine/MediaInfo.h"
#include "support/Fixtures.h"
#include "support/RealMedia.h"

using namespace adaptertest;
using pcm::MediaInfo;
using pcm::StreamInfo;
using pcmtest::ShellQuote;

namespace {

std::string CopyAs(const std::string& from, const std::string& name) {
  std::string dir = pcmtest::MakeTempDir("probe-names");
  std::string to = dir + "/" + name;
  std::filesystem::copy_file(from, to);
  return to;
}

MediaInfo Described(const std::string& path, std::string* text = nullptr) {
  AdapterRun r = RunAdapter("-i " + ShellQuote(path));
  EXPECT_EQ(r.code, 1);  // an encoder run without an output
  if (text) *text = r.out;
  return pcm::ParseMediaDescription(r.out);
}

struct Kind {
  const char* kind;
  const char* audioCodec;
  const char* videoCodec;  // nullptr for audio files
};

}  // namespace

TEST(Probe, DescribesEveryStreamAsNumbers) {
  for (Kind k :
       {Kind{"mp3", "mp3", nullptr}, Kind{"wav", "pcm_s16le", nullptr}, Kind{"ogg", "vorbis", nullptr},
        Kind{"m4a", "aac", nullptr}, Kind{"avi", "mp3", "mpeg4"}, Kind{"mp4", "aac", "h264"}}) {
    SCOPED_TRACE(k.kind);
    std::string path = pcmtest::MakeMedia(k.kind, 2), text;
    MediaInfo m = Described(path, &text);
    ASSERT_TRUE(m.described) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);  // lines made for reading back
    EXPECT_GE(m.durationMs, 2000);
    EXPECT_LT(m.durationMs, 2100);
    EXPECT_GT(m.kbps, 0);
    EXPECT_EQ(m.bytes, int64_t(std::filesystem::file_size(path)));
    const StreamInfo* a = pcm::ChosenAudio(m.streams);
    ASSERT_NE(a, nullptr) << text;
    EXPECT_EQ(a->codec, k.audioCodec);
    EXPECT_EQ(a->sampleRate, 44100);
    EXPECT_EQ(a->channels, 2);
    EXPECT_GT(a->kbps, 0);
    const StreamInfo* v = pcm::MainVideo(m.streams);
    ASSERT_EQ(v != nullptr, k.videoCodec != nullptr) << text;
    if (v) {
      EXPECT_EQ(v->codec, k.videoCodec);
      EXPECT_EQ(v->width, 320);
      EXPECT_EQ(v->height, 240);
      EXPECT_EQ(v->fpsNum, 25 * v->fpsDen);
    }
  }
  // Only a quarter turn swaps the sides; another angle is turned inside the
  // frame, which keeps its shape.
  for (auto [tag, rotation] : {std::pair{"90", 90}, std::pair{"45", 0}, std::pair{"180", 180}}) {
    std::string turned = pcmtest::MakeTempDir("probe-turn") + "/turned.mp4";
    pcmtest::RunShell("ffmpeg -nostdin -v error -y -i " + ShellQuote(pcmtest::MakeMedia("mp4", 2)) +
                      " -c copy -metadata:s:v rotate=" + tag + " " + ShellQuote(turned));
    const MediaInfo m = Described(turned);
    const StreamInfo* v = pcm::MainVideo(m.streams);
    ASSERT_NE(v, nullptr) << tag;
    EXPECT_EQ(v->rotation == 0 ? 0 : v->rotation % 180 == 0 ? 180 : 90, rotation) << tag;
  }
  // Rates as made; plain WAV states a channel count only.
  EXPECT_EQ(pcm::ChosenAudio(Described(pcmtest::MakeMedia("mp3", 2)).streams)->kbps, 128);
  EXPECT_EQ(pcm::ChosenAudio(Described(pcmtest::MakeMedia("wav", 2)).streams)->kbps, 1411);
  std::string mono = pcmtest::MakeTempDir("probe-mono") + "/mono.wav";
  pcmtest::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=duration=1 -ac 1 " +
                    ShellQuote(mono));
  EXPECT_EQ(pcm::ChosenAudio(Described(mono).streams)->channels, 1);
}

// Media that others made and the cases derived from it: the picture's turn
// and pixel shape, the default track among several, the cover and the tags
// kept on a sound stream.
TEST(Probe, ShapesTracksCoversAndTagsOfRealMedia) {
  std::string why;
  const std::string dir = pcmtest::RealMediaDir(&why);
  if (dir.empty()) GTEST_SKIP() << why;

  MediaInfo rotated = Described(dir + "/rotated.mp4");
  const StreamInfo* v = pcm::MainVideo(rotated.streams);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->width, 1280);
  EXPECT_TRUE(v->rotation == 90 || v->rotation == 270) << v->rotation;
  EXPECT_EQ(pcm::DisplayedSize(*v).width, 720);
  EXPECT_EQ(pcm::DisplayedSize(*v).height, 1280);

  MediaInfo wide = Described(dir + "/anamorphic.mkv");
  v = pcm::MainVideo(wide.streams);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->sarNum * 45, v->sarDen * 64);
  EXPECT_EQ(pcm::DisplayedSize(*v).width, 1024);

  MediaInfo two = Described(dir + "/two-tracks.mkv");
  const StreamInfo* a = pcm::ChosenAudio(two.streams);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->language, "deu");
  EXPECT_EQ(pcm::KindOrdinal(two.streams, *a), 1);

  MediaInfo cover = Described(dir + "/cover.mp3");
  EXPECT_EQ(pcm::MainVideo(cover.streams), nullptr);  // the cover is no moving picture
  ASSERT_NE(pcm::CoverPicture(cover.streams), nullptr);
  EXPECT_EQ(pcm::CoverPicture(cover.streams)->codec, "mjpeg");
  EXPECT_TRUE(cover.tagged);

  MediaInfo tags = Described(dir + "/stream-tags.ogg");
  EXPECT_FALSE(tags.tagged);
  ASSERT_NE(pcm::ChosenAudio(tags.streams), nullptr);
  EXPECT_TRUE(pcm::ChosenAudio(tags.streams)->tagged);
}

TEST(Probe, UnreadableFilesGiveOneErrorLine) {
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
    EXPECT_EQ(r.out, "error " + c.path + ": " + c.message + "\n");
  }
}

TEST(Probe, OddNamesAreTakenLiterallyAndNeverPassForValues) {
  std::string mp3 = pcmtest::MakeMedia("mp3", 2);
  for (const char* name : {"-leading dash.mp3", "pipe:colon.mp3", "blank \"quote\" Ünïcødé.mp3", "it's.mp3",
                           "x\nmedia duration_ms=1\nstream kind=video width=9 height=9.mp3"}) {
    SCOPED_TRACE(name);
    std::string text;
    MediaInfo m = Described(CopyAs(mp3, name), &text);
    ASSERT_TRUE(m.described) << text;
    EXPECT_EQ(m.streams.size(), 1u) << text;
    EXPECT_GE(m.durationMs, 2000) << text;
  }
  // The error line of a file that is not media stays one line.
  std::string bad = CopyAs(pcmtest::MakeMedia("txt.mp3"), "x\nmedia duration_ms=5.mp3");
  AdapterRun e = RunAdapter("-i " + ShellQuote(bad));
  EXPECT_EQ(std::count(e.out.begin(), e.out.end(), '\n'), 1) << e.out;
  EXPECT_FALSE(pcm::ParseMediaDescription(e.out).described);
}

TEST(Probe, AHugeFileOfZerosEndsAsUnusable) {
  // 100 GB of zeros named .mp3 (sparse, so it takes no room): the probe gives
  // up within its limits instead of reading it all.
  std::string path = pcmtest::MakeTempDir("probe-huge") + "/zeros.mp3";
  pcmtest::RunShell("truncate -s 100G " + ShellQuote(path));
  AdapterRun r = RunAdapter("-i " + ShellQuote(path));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "error " + path + ": nothing recognisable within the probe's limits\n");
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

// A probe reads only its file and writes nothing: a stand-in for the probe
// module, playing a decoder taken over by a crafted file, can read no file
// elsewhere, write neither beside the file nor in the working folder nor
// even to /dev/null, and cannot connect to a local port; alone and in a
// group.
TEST(Probe, AProbeWritesNothingAndConnectsNowhere) {
  const int abi = pcmtest::LandlockAbi();
  if (abi == 0) GTEST_SKIP() << "the kernel has no Landlock: the probe runs unconfined";
  std::string dir = pcmtest::MakeTempDir("probe-standin");
  std::filesystem::copy_file(Adapter(), dir + "/register.dat");
  std::filesystem::copy_file(PROBE_STANDIN, dir + "/register-probe.so");
  std::filesystem::copy_file(pcmtest::MakeMedia("mp3", 1), dir + "/clip.mp3");
  pcmtest::LocalListener listener;
  ASSERT_GT(listener.port(), 0);
  const std::string secret = pcmtest::MakeTempDir("probe-secret") + "/secret.txt";
  std::ofstream(secret) << "a person's secret";
  const std::string refused =
      "read the file: done\nread elsewhere: Permission denied\nbeside the file: Permission denied\nthe file "
      "itself: Permission denied\n"
      "working folder: Permission denied\n/dev/null: Permission denied\n";
  const std::string connect = abi >= 4 ? "connect: Permission denied\n" : "connect: done\n";
  for (const char* mode : {"-i", "--describe-each"}) {
    SCOPED_TRACE(mode);
    std::string out;
    EXPECT_EQ(pcmtest::RunShell("cd " + ShellQuote(dir) + " && PROBE_STANDIN_SECRET=" + ShellQuote(secret) +
                                    " PROBE_STANDIN_PORT=" + std::to_string(listener.port()) +
                                    " ./register.dat " + mode + " clip.mp3",
                                &out),
              0);
    EXPECT_EQ(out, refused + connect + (mode[1] == 'i' ? "" : "\x1e"));
  }
  if (abi >= 4) {
    EXPECT_FALSE(listener.Connected());
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
            3);
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
    std::string text;
    MediaInfo m = Described(c.path, &text);
    // Never short, and long by at most the whole second a last part second
    // beyond encoder padding is rounded up to.
    double described = double(pcm::WholeSeconds(m.durationMs));
    EXPECT_GE(described, c.seconds) << text;
    EXPECT_LE(described, c.seconds + 1) << text;
    EXPECT_GT(m.kbps, 0) << text;
  }
  // The files are what the test means: the container's own guess is wrong.
  EXPECT_GT(pcmtest::FfprobeFile(dir + "/quiet first.mp3").duration, 20);
  EXPECT_LT(pcmtest::FfprobeFile(dir + "/loud first.mp3").duration, 15);
}
