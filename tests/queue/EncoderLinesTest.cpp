// What a failed entry shows of the encoder's output, checked on the real
// encoder's output for real failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "engine/JobRunner.h"
#include "queue/EncoderLines.h"
#include "support/Fixtures.h"

namespace pcmtest {
namespace {

// The real encoder's merged output, split into lines at CR and LF as the
// job runner splits it.
std::vector<std::string> EncoderLines(const std::string& arguments) {
  std::string out;
  RunShell("ffmpeg -nostdin " + arguments + " 2>&1", &out);
  return pcm::SplitOutputLines(out);
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST(EncoderLines, RealFailuresShowTheirReasonNotTheDescriptions) {
  const std::string dir = MakeTempDir("lines");
  // A tagged source, so the description carries metadata lines.
  const std::string tagged = dir + "/tagged.mp3";
  ASSERT_EQ(RunShell("ffmpeg -nostdin -v error -f lavfi -i sine=d=2 -metadata title=TaggedTitle -metadata "
                     "artist=SomeArtist -c:a libmp3lame " +
                     ShellQuote(tagged)),
            0);

  // An encoder that does not exist: the reason comes after the description.
  auto unknown =
      EncoderLines("-i " + ShellQuote(tagged) + " -c:a no_such_encoder " + ShellQuote(dir + "/o.mp3"));
  ASSERT_TRUE(Has(unknown, "TaggedTitle"));  // the raw output does describe the input
  auto shown = pcm::MeaningfulLines(unknown, 12);
  ASSERT_FALSE(shown.empty());
  EXPECT_TRUE(Has(shown, "no_such_encoder")) << shown.front();
  for (const char* noise :
       {"TaggedTitle", "SomeArtist", "Stream #", "Duration:", "Input #", "ffmpeg version", "configuration:"})
    EXPECT_FALSE(Has(shown, noise)) << noise;
  // The lines keep their order and are the output's own.
  auto at = unknown.begin();
  for (const auto& line : shown) {
    at = std::find(at, unknown.end(), line);
    ASSERT_NE(at, unknown.end()) << line;
  }

  // A damaged input says so: a real MP4 cut before its index (random bytes
  // were now and then taken for some stream of another format).
  const std::string whole = dir + "/whole.mp4";
  const std::string damaged = dir + "/damaged.mp4";
  ASSERT_EQ(RunShell("ffmpeg -nostdin -v error -f lavfi -i sine=d=2 -c:a aac " + ShellQuote(whole) +
                     " && head -c 3000 " + ShellQuote(whole) + " > " + ShellQuote(damaged)),
            0);
  auto bad =
      pcm::MeaningfulLines(EncoderLines("-i " + ShellQuote(damaged) + " " + ShellQuote(dir + "/b.mp3")), 12);
  EXPECT_TRUE(Has(bad, "Invalid data") || Has(bad, "moov atom not found")) << (bad.empty() ? "" : bad.back());

  // Only descriptions: shown as they are rather than nothing at all. The
  // limit keeps the last lines.
  std::vector<std::string> onlyNoise = {"Input #0, wav, from 'x':", "  Duration: 00:00:01.00",
                                        "  Stream #0:0"};
  EXPECT_EQ(pcm::MeaningfulLines(onlyNoise, 12), onlyNoise);
  EXPECT_EQ(pcm::MeaningfulLines(onlyNoise, 2), (std::vector<std::string>{onlyNoise[1], onlyNoise[2]}));
  EXPECT_TRUE(pcm::MeaningfulLines({}, 12).empty());

  // More lines than fit: the error lines stay, before the last of the
  // others; an encoder's report on its own work is no reason at all.
  std::vector<std::string> many = {"[libx264 @ 0x55] using cpu capabilities: MMX2 SSE2Fast",
                                   "av_interleaved_write_frame(): No space left on device"};
  for (int i = 0; i < 20; ++i) many.push_back("[mp3 @ 0x1] warning " + std::to_string(i));
  many.push_back(
      "video:452kB audio:87kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: unknown");
  many.push_back("[libx264 @ 0x55] frame I:1     Avg QP:14.07  size:  4714");
  many.push_back("[aac @ 0x56] Qavg: 129.658");
  many.push_back("[mp4 @ 0x57] Error closing the file");
  EXPECT_EQ(pcm::MeaningfulLines(many, 3),
            (std::vector<std::string>{"av_interleaved_write_frame(): No space left on device",
                                      "[mp3 @ 0x1] warning 19", "[mp4 @ 0x57] Error closing the file"}));
}

TEST(EncoderLines, KeptOutputOfARealConversionHasOneProgressReport) {
  const std::string dir = MakeTempDir("kept");
  auto lines = EncoderLines("-stats -f lavfi -i sine=d=30 -c:a pcm_s16le " + ShellQuote(dir + "/long.wav"));
  auto kept = pcm::KeptOutput(lines, 400);
  auto reports = std::count_if(kept.begin(), kept.end(), [](const std::string& l) {
    return l.find("time=") != std::string::npos && l.find("bitrate=") != std::string::npos;
  });
  EXPECT_EQ(reports, 1);
  EXPECT_TRUE(Has(kept, "Output #0"));
  // The report kept is the last one, at the end of the conversion.
  EXPECT_TRUE(Has(kept, "time=00:00:30"));
  EXPECT_LE(pcm::KeptOutput(lines, 3).size(), 3u);
}

}  // namespace
}  // namespace pcmtest
