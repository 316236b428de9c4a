// The encoder command lines of every profile, kept byte for byte: the dry run
// of each profile over the same sources (video, anamorphic video with two
// sound tracks, sound, sound with a cover, a name a shell would read, a DVD
// with chapters), with its default choices and with the extreme ones, plus
// trims and stream choices. A change to how a conversion is put together
// that changes any line fails here. POPCLIPMILL_UPDATE_GOLDEN=1 writes the
// file anew; the diff then shows what changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/CliSupport.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

const std::string kGolden = std::string(POPCLIPMILL_SOURCE_DIR) + "/tests/cli/golden/dry-run-lines.txt";

// Sources made with one thread, so their sizes (and so the rates the
// computed profiles derive from them) are the same on every machine.
std::string MakeSources(const std::string& dir) {
  const std::string ff = "ffmpeg -v error -nostdin -threads 1 ";
  const std::string clip = ff +
                           "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i "
                           "sine=f=440:duration=2 -c:v mpeg4 -c:a libmp3lame -ac 1 " +
                           ShellQuote(dir + "/clip.avi");
  const std::string wide = ff +
                           "-f lavfi -i testsrc=size=720x576:rate=25:duration=2 -f lavfi -i "
                           "sine=f=440:duration=2 -f lavfi -i sine=f=880:duration=2 -map 0 -map 1 -map 2 "
                           "-vf setsar=64/45 -c:v mpeg2video -c:a ac3 -ac 2 -metadata:s:a:0 language=eng "
                           "-metadata:s:a:1 language=deu " +
                           ShellQuote(dir + "/wide two.mkv");
  const std::string song =
      ff + "-f lavfi -i sine=f=440:duration=2 -c:a libmp3lame -b:a 128k " + ShellQuote(dir + "/song.mp3");
  const std::string cover =
      ff +
      "-f lavfi -i sine=f=330:duration=2 -f lavfi -i color=c=red:size=64x64:duration=0.04 -frames:v 1 "
      "-map 0 -map 1 -c:a libmp3lame -c:v mjpeg -disposition:v attached_pic " +
      ShellQuote(dir + "/cover.mp3");
  const std::string odd =
      ff + "-f lavfi -i sine=f=550:duration=2 " + ShellQuote(dir + "/we\"ird $(x) a;b.wav");
  for (const std::string& cmd : {clip, wide, song, cover, odd})
    if (pcmtest::RunShell(cmd) != 0) return "cannot make: " + cmd;
  return "";
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

}  // namespace

TEST(DryRunGolden, EveryProfileKeepsItsCommandLines) {
  const std::string root = pcmtest::MakeTempDir("golden");
  const std::string src = root + "/src", out = root + "/out", config = root + "/config";
  ASSERT_EQ(pcmtest::RunShell("mkdir -p " + ShellQuote(src) + " " + ShellQuote(config)), 0);
  ASSERT_EQ(MakeSources(src), "");
  const std::string dvd = pcmtest::StandardDvd();
  ASSERT_FALSE(dvd.empty()) << "dvdauthor could not make the disc";

  // The settings folder is fresh and the dry run saves nothing, so every
  // run starts from the same defaults.
  auto run = [&](const std::string& args, const std::string& paths, int* status = nullptr) {
    std::string output;
    int rc = pcmtest::RunShell("POPCLIPMILL_CONFIG_DIR=" + ShellQuote(config) + " " + ShellQuote(Program()) +
                                   " --batch --dry-run --output " + ShellQuote(out) + " " + args + " -- " +
                                   paths + " 2>&1",
                               &output);
    if (status) *status = rc;
    return "### " + args + " (exit " + std::to_string(rc) + ")\n" + output;
  };
  const std::string files = ShellQuote(src);
  // The profiles the program offers, as --list-profiles numbers them.
  std::string listed;
  ASSERT_EQ(pcmtest::RunShell(ShellQuote(Program()) + " --list-profiles", &listed), 0);
  std::istringstream rows(listed);
  std::string lines;
  for (int n; rows >> n; rows.ignore(1 << 20, '\n')) {
    const std::string p = "--profile " + std::to_string(n);
    lines += run(p, files);
    lines += run(p + " --size 0 --video-quality 0 --audio-quality 0 --channels mono", files);
    int status = 0;
    std::string low =
        run(p + " --size 2 --video-quality 4 --audio-quality 4 --channels stereo", files, &status);
    if (status == 2) low = run(p + " --video-quality 4 --audio-quality 4 --channels stereo", files);
    lines += low;
  }
  for (const char* p : {"--profile 5", "--profile 17", "--profile 114"}) {
    lines += run(std::string(p) + " --trim 1-2", files);
    lines += run(std::string(p) + " --audio 1", ShellQuote(src + "/wide two.mkv"));
    lines += run(std::string(p) + " --chapters --titles 1-4 --audio 1 --subtitle 1", ShellQuote(dvd));
    lines += run(std::string(p) + " --titles main --subtitle none --trim 1-3", ShellQuote(dvd));
  }
  Replace(lines, pcmtest::BinDir(), "<bin>");
  Replace(lines, dvd, "<dvd>");
  Replace(lines, root, "<tmp>");

  if (getenv("POPCLIPMILL_UPDATE_GOLDEN")) {
    WriteAll(kGolden, lines);
    GTEST_SKIP() << "wrote " << kGolden;
  }
  const std::string seen = root + "/seen.txt";
  WriteAll(seen, lines);
  std::string diff;
  pcmtest::RunShell("diff -u " + ShellQuote(kGolden) + " " + ShellQuote(seen) + " | head -60", &diff);
  EXPECT_TRUE(diff.empty()) << "command lines changed (POPCLIPMILL_UPDATE_GOLDEN=1 to accept):\n" << diff;
}
