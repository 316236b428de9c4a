// The sector ranges the reader gives are what a conversion reads: the
// blocks of a chapter or title read with libdvdread and piped into ffmpeg
// decode to the expected length, with the expected streams. Also: reading
// frees everything libdvdread allocated.
#include <dvdread/dvd_reader.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <vector>

#include "dvd/IfoReader.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace pcm::ifo;

namespace {

void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}

// Sends blocks first..last (inclusive) of a title set's VOBs into `command`'s
// standard input; returns the command's exit status, or -1 when the blocks
// could not all be read.
int PipeSectors(const std::string& folder, int titleSet, uint32_t first, uint32_t last,
                const std::string& command) {
  static const dvd_logger_cb logger = {Quiet};
  std::signal(SIGPIPE, SIG_IGN);
  dvd_reader_t* dvd = DVDOpen2(nullptr, &logger, folder.c_str());
  if (!dvd) return -1;
  dvd_file_t* vobs = DVDOpenFile(dvd, titleSet, DVD_READ_TITLE_VOBS);
  if (!vobs) {
    DVDClose(dvd);
    return -1;
  }
  FILE* out = popen(command.c_str(), "w");
  std::vector<unsigned char> buf(64 * DVD_VIDEO_LB_LEN);
  bool complete = out != nullptr;
  for (uint32_t at = first; complete && at <= last;) {
    size_t count = std::min<uint32_t>(64, last - at + 1);
    ssize_t got = DVDReadBlocks(vobs, int(at), count, buf.data());
    complete = got == ssize_t(count) && fwrite(buf.data(), DVD_VIDEO_LB_LEN, count, out) == count;
    at += count;
  }
  int status = out ? pclose(out) : -1;
  DVDCloseFile(vobs);
  DVDClose(dvd);
  if (!complete) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Ffmpeg(const std::string& args) {
  return "ffmpeg -nostdin -v fatal -y -f mpeg -i pipe:0 " + args;
}

}  // namespace

TEST(SectorRange, ChaptersAndTitlesDecodeToTheirLength) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty()) << "the DVD fixture could not be made";
  std::string folder = disc + "/VIDEO_TS";
  auto set1 = ReadIfoFile(folder + "/VTS_01_0.IFO");
  auto set2 = ReadIfoFile(folder + "/VTS_02_0.IFO");
  ASSERT_TRUE(set1 && set2);
  ASSERT_EQ(set1->titles.size(), 2u);
  ASSERT_EQ(set1->titles[0].chapters.size(), 3u);
  std::string dir = pcmtest::MakeTempDir("sectors");

  // The middle chapter with the second audio stream: its length, and the
  // tone that tells the two audio streams apart.
  const ChapterInfo& middle = set1->titles[0].chapters[1];
  std::string mkv = dir + "/middle.mkv", raw = dir + "/middle.raw";
  ASSERT_EQ(PipeSectors(disc, 1, middle.firstSector, middle.lastSector,
                        Ffmpeg("-map 0:v -map 0:i:0x81 -c copy " + pcmtest::ShellQuote(mkv) +
                               " -map 0:i:0x81 -ac 1 -ar 8000 -f s16le " + pcmtest::ShellQuote(raw))),
            0);
  pcmtest::ProbeInfo probe = pcmtest::FfprobeFile(mkv);
  ASSERT_TRUE(probe.ok);
  EXPECT_EQ(probe.videoStreams, 1);
  EXPECT_EQ(probe.audioStreams, 1);
  EXPECT_NEAR(probe.duration, middle.milliseconds / 1000.0, 0.5);
  EXPECT_NEAR(pcmtest::RawCrossingsPerSecond(raw, 8000), 2 * 880, 80);

  // The first audio stream of the same blocks is the lower tone.
  ASSERT_EQ(PipeSectors(disc, 1, middle.firstSector, middle.lastSector,
                        Ffmpeg("-map 0:i:0x80 -ac 1 -ar 8000 -f s16le " + pcmtest::ShellQuote(raw))),
            0);
  EXPECT_NEAR(pcmtest::RawCrossingsPerSecond(raw, 8000), 2 * 440, 80);

  // Subpicture packets lie in the first chapter, none in the middle one.
  std::string sub = dir + "/sub.mkv";
  EXPECT_EQ(
      PipeSectors(disc, 1, set1->titles[0].chapters[0].firstSector, set1->titles[0].chapters[0].lastSector,
                  Ffmpeg("-map 0:v -map 0:i:0x20 -c copy " + pcmtest::ShellQuote(sub) + " 2>/dev/null")),
      0);
  EXPECT_NE(
      PipeSectors(disc, 1, middle.firstSector, middle.lastSector,
                  Ffmpeg("-map 0:v -map 0:i:0x20 -c copy " + pcmtest::ShellQuote(sub) + " 2>/dev/null")),
      0);

  // The short title right after the main one, and a chapter of two cells in
  // the second title set, whose MPEG audio ffmpeg calls 0x1c0.
  const TitleInfo& brief = set1->titles[1];
  std::string shortMkv = dir + "/short.mkv";
  ASSERT_EQ(PipeSectors(disc, 1, brief.firstSector, brief.lastSector,
                        Ffmpeg("-map 0:v -c copy " + pcmtest::ShellQuote(shortMkv))),
            0);
  EXPECT_NEAR(pcmtest::FfprobeFile(shortMkv).duration, pcmtest::kShortTitleSeconds, 0.5);

  const ChapterInfo& twoCells = set2->titles[0].chapters[0];
  ASSERT_EQ(twoCells.lastCell, 2);
  std::string set2Mkv = dir + "/set2.mkv";
  ASSERT_EQ(PipeSectors(disc, 2, twoCells.firstSector, twoCells.lastSector,
                        Ffmpeg("-map 0:v -map 0:i:0x1c0 -c copy " + pcmtest::ShellQuote(set2Mkv))),
            0);
  probe = pcmtest::FfprobeFile(set2Mkv);
  EXPECT_EQ(probe.audioStreams, 1);
  EXPECT_NEAR(probe.duration, twoCells.milliseconds / 1000.0, 0.5);
}

#if defined(__SANITIZE_ADDRESS__)
TEST(SectorRange, ReadingLeavesNothingAllocated) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  std::string cut = pcmtest::CopyVideoTs("leak");
  pcmtest::TruncateFile(cut + "/VTS_01_0.IFO", 1000);  // read from the backup
  pcmtest::FillWithGarbage(cut + "/VTS_02_0.IFO", 5);
  pcmtest::FillWithGarbage(cut + "/VTS_02_0.BUP", 6);
  for (int round = 0; round < 5; ++round) {
    for (const std::string& path : {disc + "/VIDEO_TS/VTS_01_0.IFO", disc + "/VIDEO_TS/VIDEO_TS.IFO",
                                    cut + "/VTS_01_0.IFO", cut + "/VTS_02_0.IFO", cut + "/VTS_05_0.IFO"}) {
      ReadIfoFileInProcess(path);
      Handle h = ifoOpen(path, 0);
    }
  }
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
}
#endif
