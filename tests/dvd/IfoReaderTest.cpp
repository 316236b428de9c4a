// The IFO reader on DVD-Video folders made by dvdauthor: titles, chapters,
// sectors, times and stream descriptions, through the records and through
// the call contracts the listing uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "dvd/IfoLines.h"
#include "dvd/IfoReader.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using namespace pcm::ifo;
namespace fs = std::filesystem;

namespace {

std::string VideoTs() {
  std::string disc = pcmtest::StandardDvd();
  return disc.empty() ? "" : disc + "/VIDEO_TS";
}

// The stream id a caller takes from a description: the four characters
// before the first ")".
std::string IdFromText(const std::string& text) {
  size_t close = text.find(')');
  return close == std::string::npos || close < 4 ? "0" : text.substr(close - 4, 4);
}

uint32_t LittleEndian(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t(at[3]) << 24; }

// Every field but the path, one line per record, so that two readings
// compare in one assertion that shows the difference.
std::string Dump(const IfoFile& f) {
  std::string out = std::to_string(f.titleSet) + " " + f.videoDescription + " " + std::to_string(f.width) +
                    "x" + std::to_string(f.height) + "\n";
  auto streams = [&out](const std::vector<StreamInfo>& list) {
    for (const StreamInfo& s : list)
      out += "  " + std::to_string(s.number) + " " + std::to_string(s.id) + " " + s.language + " " +
             s.coding + " " + std::to_string(s.channels) + " " + s.description + "\n";
  };
  streams(f.audio);
  streams(f.subpictures);
  for (const TitleInfo& t : f.titles) {
    out += "title";
    for (int64_t v : {int64_t(t.titleSet), int64_t(t.programChain), t.milliseconds, int64_t(t.hours),
                      int64_t(t.minutes), int64_t(t.seconds), int64_t(t.firstSector), int64_t(t.lastSector)})
      out += " " + std::to_string(v);
    out += "\n";
    for (const ChapterInfo& c : t.chapters)
      out += " chapter " + std::to_string(c.program) + " " + std::to_string(c.firstCell) + "-" +
             std::to_string(c.lastCell) + " " + std::to_string(c.firstSector) + "-" +
             std::to_string(c.lastSector) + " " + std::to_string(c.milliseconds) + "\n";
    streams(t.audio);
    streams(t.subpictures);
  }
  return out;
}

}  // namespace

TEST(IfoReader, TitleSetWithChaptersAndStreams) {
  std::string dir = VideoTs();
  ASSERT_FALSE(dir.empty()) << "the DVD fixture could not be made";
  auto file = ReadIfoFile(dir + "/VTS_01_0.IFO");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->titleSet, 1);
  EXPECT_EQ(file->videoDescription, "MPEG-2 720x576 PAL 4:3");
  ASSERT_EQ(file->titles.size(), 2u);

  // The main title: three chapters of about 3 s that join without gap or
  // overlap and add up to the title's time; each is over 1000 sectors.
  const TitleInfo& main = file->titles[0];
  EXPECT_EQ(main.titleSet, 1);
  EXPECT_EQ(main.programChain, 1);
  EXPECT_EQ(SecondsFromTime(main.hours, main.minutes, main.seconds), pcmtest::kMainTitleSeconds);
  ASSERT_EQ(main.chapters.size(), 3u);
  int64_t sum = 0;
  for (size_t i = 0; i < 3; ++i) {
    const ChapterInfo& c = main.chapters[i];
    EXPECT_EQ(c.program, int(i) + 1);
    EXPECT_EQ(c.firstCell, c.lastCell);
    EXPECT_NEAR(c.milliseconds, 3000, 250) << "chapter " << i + 1;
    EXPECT_GE(c.lastSector - c.firstSector, 1000u) << "chapter " << i + 1;
    if (i > 0) {
      EXPECT_EQ(c.firstSector, main.chapters[i - 1].lastSector + 1);
    }
    sum += c.milliseconds;
  }
  EXPECT_NEAR(sum, main.milliseconds, 120);
  EXPECT_EQ(main.firstSector, main.chapters.front().firstSector);
  EXPECT_EQ(main.lastSector, main.chapters.back().lastSector);

  // The short title follows it on the disc and covers under 1000 sectors.
  const TitleInfo& brief = file->titles[1];
  EXPECT_EQ(brief.programChain, 2);
  EXPECT_EQ(SecondsFromTime(brief.hours, brief.minutes, brief.seconds), pcmtest::kShortTitleSeconds);
  EXPECT_EQ(brief.firstSector, main.lastSector + 1);
  EXPECT_LT(brief.lastSector - brief.firstSector, 1000u);

  // Streams of the title set and of the main title, with the ids the
  // encoder maps.
  ASSERT_EQ(file->audio.size(), 2u);
  EXPECT_EQ(file->audio[0].description, "1: en AC3 2ch (0x80)");
  EXPECT_EQ(file->audio[1].description, "2: de AC3 2ch (0x81)");
  EXPECT_EQ(file->audio[1].id, 0x81);
  ASSERT_EQ(file->subpictures.size(), 1u);
  EXPECT_EQ(file->subpictures[0].id, 0x20);
  EXPECT_EQ(file->subpictures[0].language, "en");
  EXPECT_EQ(IdFromText(file->subpictures[0].description), "0x20");
  ASSERT_EQ(main.audio.size(), 2u);
  EXPECT_EQ(main.audio[1].id, 0x81);
  ASSERT_EQ(main.subpictures.size(), 1u);
  EXPECT_EQ(main.subpictures[0].id, 0x20);
}

TEST(IfoReader, CallContracts) {
  std::string dir = VideoTs();
  ASSERT_FALSE(dir.empty());
  Handle h = ifoOpen(dir + "/VTS_01_0.IFO", 0);
  ASSERT_TRUE(h);
  ASSERT_EQ(ifoGetNumPGCI(h.get()), 2);

  uint8_t time[4] = {9, 9, 9, 9};
  int32_t count = ifoGetPGCIInfo(h.get(), 0, time);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(time[0], 0);
  EXPECT_EQ(time[1], 0);
  EXPECT_EQ(time[2], pcmtest::kMainTitleSeconds);
  EXPECT_EQ(time[3], 0);

  // Cell records: sectors little-endian, times in plain binary, padding
  // zero; one guard record after the area must stay untouched.
  std::vector<uint8_t> cells((count + 1) * kCellRecordSize, 0xAA);
  ifoGetPGCICells(h.get(), 0, cells.data());
  for (int i = 0; i < count; ++i) {
    const uint8_t* r = cells.data() + i * kCellRecordSize;
    EXPECT_EQ(LittleEndian(r), h->titles[0].chapters[i].firstSector);
    EXPECT_EQ(LittleEndian(r + 4), h->titles[0].chapters[i].lastSector);
    for (int b : {8, 9, 10, 11, 12, 16}) EXPECT_EQ(r[b], 0) << "byte " << b;
    EXPECT_EQ(SecondsFromTime(r[13], r[14], r[15]), h->titles[0].chapters[i].milliseconds / 1000);
  }
  EXPECT_EQ(cells[count * kCellRecordSize], 0xAA);

  // The frame size is the second word of the video description.
  std::string video = ifoGetVideoDesc(h.get());
  size_t first = video.find(' '), second = video.find(' ', first + 1);
  EXPECT_EQ(video.substr(first + 1, second - first - 1), "720x576");

  ASSERT_EQ(ifoGetNumAudio(h.get()), 2);
  EXPECT_EQ(IdFromText(ifoGetAudioDesc(h.get(), 0)), "0x80");
  EXPECT_EQ(IdFromText(ifoGetAudioDesc(h.get(), 1)), "0x81");
  ASSERT_EQ(ifoGetNumSubPic(h.get()), 1);
  EXPECT_EQ(IdFromText(ifoGetSubPicDesc(h.get(), 0)), "0x20");

  // Indexes out of range give nothing; a null handle counts nothing.
  EXPECT_EQ(ifoGetPGCIInfo(h.get(), 2, time), 0);
  EXPECT_EQ(time[2], 0);
  EXPECT_EQ(ifoGetPGCIInfo(h.get(), -1, time), 0);
  EXPECT_EQ(ifoGetAudioDesc(h.get(), 2), "");
  EXPECT_EQ(ifoGetSubPicDesc(h.get(), -1), "");
  EXPECT_EQ(ifoGetNumPGCI(nullptr), 0);
  EXPECT_EQ(ifoGetNumAudio(nullptr), 0);
}

TEST(IfoReader, ChapterOfSeveralCellsIsOneRecord) {
  std::string dir = VideoTs();
  ASSERT_FALSE(dir.empty());
  auto file = ReadIfoFile(dir + "/VTS_02_0.IFO");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->titleSet, 2);
  ASSERT_EQ(file->titles.size(), 1u);
  const TitleInfo& t = file->titles[0];
  EXPECT_EQ(t.titleSet, 2);
  EXPECT_EQ(SecondsFromTime(t.hours, t.minutes, t.seconds), pcmtest::kSecondSetSeconds);
  ASSERT_EQ(t.chapters.size(), 2u);
  EXPECT_EQ(t.chapters[0].firstCell, 1);
  EXPECT_EQ(t.chapters[0].lastCell, 2);
  EXPECT_NEAR(t.chapters[0].milliseconds, 3000, 250);
  EXPECT_EQ(t.chapters[1].firstCell, 3);
  EXPECT_NEAR(t.chapters[1].milliseconds, 3000, 250);
  EXPECT_EQ(t.chapters[1].firstSector, t.chapters[0].lastSector + 1);
  ASSERT_EQ(file->audio.size(), 1u);
  EXPECT_EQ(file->audio[0].id, 0xc0);
  EXPECT_EQ(file->audio[0].language, "fr");
  EXPECT_EQ(IdFromText(file->audio[0].description), "0xc0");
  EXPECT_TRUE(file->subpictures.empty());
}

TEST(IfoReader, MenuFileAndNamesThatAreNoIfo) {
  std::string dir = VideoTs();
  ASSERT_FALSE(dir.empty());
  // The menu file opens but holds no titles.
  auto menu = ReadIfoFile(dir + "/VIDEO_TS.IFO");
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->titleSet, 0);
  EXPECT_EQ(ifoGetNumPGCI(menu.get()), 0);

  EXPECT_FALSE(ReadIfoFile(dir + "/VTS_03_0.IFO"));  // no such file
  EXPECT_FALSE(ReadIfoFile(dir + "/VTS_01_1.VOB"));
  EXPECT_FALSE(ReadIfoFile(dir));  // a folder
  EXPECT_FALSE(ReadIfoFile(""));

  EXPECT_EQ(TitleSetFromName("vts_07_0.ifo"), 7);
  EXPECT_EQ(TitleSetFromName("Video_TS.ifo"), 0);
  EXPECT_EQ(TitleSetFromName("VTS_00_0.IFO"), -1);
  EXPECT_EQ(TitleSetFromName("VTS_1x_0.IFO"), -1);
  EXPECT_EQ(TitleSetFromName("VTS_01_0.IFO.bak"), -1);
}

TEST(IfoReader, LowerCaseBlankAndNonAsciiPathsReadTheSame) {
  std::string dir = VideoTs();
  ASSERT_FALSE(dir.empty());
  auto original = ReadIfoFile(dir + "/VTS_01_0.IFO");
  ASSERT_TRUE(original);

  std::string lower = pcmtest::CopyVideoTs("my disc \xc3\xa4", true);
  auto copy = ReadIfoFile(lower + "/vts_01_0.ifo");
  ASSERT_TRUE(copy);
  EXPECT_EQ(Dump(*original), Dump(*copy));
  EXPECT_EQ(ReadIfoFile(lower + "/vts_02_0.ifo")->titles.size(), 1u);

  // A title set's IFO alone in a folder, without the menu file.
  std::string alone = pcmtest::MakeTempDir("alone") + "/Some Folder";
  fs::create_directories(alone);
  fs::copy_file(dir + "/VTS_01_0.IFO", alone + "/VTS_01_0.IFO");
  auto lone = ReadIfoFile(alone + "/VTS_01_0.IFO");
  ASSERT_TRUE(lone);
  EXPECT_EQ(Dump(*original), Dump(*lone));

  // The menu file alone in a folder opens and lists nothing.
  std::string menuOnly = pcmtest::MakeTempDir("menu-only");
  fs::copy_file(dir + "/VIDEO_TS.IFO", menuOnly + "/video_ts.ifo");
  auto menu = ReadIfoFile(menuOnly + "/video_ts.ifo");
  ASSERT_TRUE(menu);
  EXPECT_TRUE(menu->titles.empty());
}

TEST(IfoReader, ChildProcessGivesWhatTheProcessReads) {
  std::string dir = VideoTs();
  ASSERT_FALSE(dir.empty());
  for (const char* name : {"VTS_01_0.IFO", "VTS_02_0.IFO", "VIDEO_TS.IFO"}) {
    SCOPED_TRACE(name);
    auto here = ReadIfoFileInProcess(dir + "/" + name);
    auto there = ReadIfoFile(dir + "/" + name);
    ASSERT_TRUE(here && there);
    EXPECT_EQ(Dump(*here), Dump(*there));
    EXPECT_EQ(here->path, there->path);
    EXPECT_EQ(there->folder, dir);
  }
  EXPECT_FALSE(ReadIfoFile(dir + "/VTS_09_0.IFO"));

  // The lines are taken only whole: a message cut anywhere, or a number out
  // of its range, gives no records rather than some.
  const std::string lines = IfoLines(*ReadIfoFileInProcess(dir + "/VTS_01_0.IFO"));
  ASSERT_TRUE(ParseIfoLines(lines));
  for (size_t cut = 0; cut < lines.size(); ++cut) ASSERT_FALSE(ParseIfoLines(lines.substr(0, cut))) << cut;
  std::string wrong = lines;
  wrong.replace(wrong.find("first_sector=") + 13, 1, "99999999");
  EXPECT_FALSE(ParseIfoLines(wrong));
  EXPECT_FALSE(ParseIfoLines("audio number=1 id=128\nifo set=1\nend\n"));  // no head first
}

TEST(IfoReader, ManyTitles) {
  std::string disc = pcmtest::DvdWithTitles(99);
  ASSERT_FALSE(disc.empty());
  auto file = ReadIfoFile(disc + "/VIDEO_TS/VTS_01_0.IFO");
  ASSERT_TRUE(file);
  ASSERT_EQ(file->titles.size(), 99u);
  // dvdauthor stores the shared clip once: every title plays the same sectors.
  for (size_t i = 0; i < file->titles.size(); ++i) {
    EXPECT_EQ(file->titles[i].programChain, int(i) + 1);
    ASSERT_EQ(file->titles[i].chapters.size(), 1u);
    EXPECT_EQ(file->titles[i].firstSector, file->titles[0].firstSector);
    EXPECT_EQ(file->titles[i].lastSector, file->titles[0].lastSector);
  }
}
