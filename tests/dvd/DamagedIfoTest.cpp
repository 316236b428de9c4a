// Damaged IFO files: whole files cut short or overwritten, and program chains
// patched into impossible shapes. Each read must end (bounded by a timeout),
// must not crash, and may only give titles whose records make sense.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <thread>

#include "dvd/IfoReader.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

using namespace pcm::ifo;
namespace fs = std::filesystem;

namespace {

using ReadFunction = std::unique_ptr<IfoFile> (*)(const std::string&);

// Reads in a thread of its own; a read that does not end is a hang and ends
// the test program, since the thread cannot be stopped. The reading of
// chains the library accepts runs in this process, so that the sanitizers
// watch it; whole damaged files go through the child process.
std::unique_ptr<IfoFile> ReadBounded(const std::string& path, ReadFunction read = ReadIfoFile) {
  auto promise = std::make_shared<std::promise<std::unique_ptr<IfoFile>>>();
  auto result = promise->get_future();
  std::thread([promise, path, read] { promise->set_value(read(path)); }).detach();
  if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "reading %s did not end\n", path.c_str());
    std::_Exit(1);
  }
  return result.get();
}

// What every title given out must satisfy, whatever the input.
void ExpectSaneTitles(const IfoFile& file) {
  for (const TitleInfo& t : file.titles) {
    ASSERT_FALSE(t.chapters.empty());
    EXPECT_EQ(t.firstSector, t.chapters.front().firstSector);
    EXPECT_EQ(t.lastSector, t.chapters.back().lastSector);
    for (const ChapterInfo& c : t.chapters) {
      EXPECT_LE(c.firstSector, c.lastSector);
      EXPECT_LT(c.lastSector, 0xffffffu);
      EXPECT_LE(c.firstCell, c.lastCell);
    }
  }
  for (const auto* list : {&file.audio, &file.subpictures})
    for (const StreamInfo& s : *list)
      EXPECT_EQ(s.description.find(')'), s.description.size() - 1) << s.description;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

uint32_t Big(const std::string& b, size_t at, int size) {
  uint32_t v = 0;
  for (int i = 0; i < size; ++i) v = v << 8 | uint8_t(b.at(at + i));
  return v;
}

void PutBig(std::string& b, size_t at, int size, uint32_t v) {
  for (int i = size - 1; i >= 0; --i, v >>= 8) b.at(at + i) = char(v & 0xff);
}

// Offsets inside a title set IFO: program chain n (0-based) and its cells.
size_t ChainAt(const std::string& b, int n) {
  size_t table = size_t(Big(b, 0xcc, 4)) * 2048;
  return table + Big(b, table + 8 + 8 * n + 4, 4);
}
size_t CellAt(const std::string& b, size_t chain, int cell) {
  return chain + Big(b, chain + 0xe8, 2) + 24 * cell;
}

// A fresh copy of the standard disc whose title set `set` IFO (and its
// backup, so the fallback cannot repair it) was changed by `patch`.
std::string PatchedCopy(int set, const std::function<void(std::string&)>& patch, bool backupToo = true) {
  std::string dir = pcmtest::CopyVideoTs("patched");
  if (dir.empty()) return "";
  std::string base = dir + "/VTS_0" + std::to_string(set) + "_0.";
  std::string bytes = ReadAll(base + "IFO");
  patch(bytes);
  WriteAll(base + "IFO", bytes);
  if (backupToo) WriteAll(base + "BUP", bytes);
  return base + "IFO";
}

}  // namespace

TEST(DamagedIfo, CutShortOrOverwrittenFiles) {
  std::string original = pcmtest::StandardDvd();
  ASSERT_FALSE(original.empty()) << "the DVD fixture could not be made";
  auto intact = ReadBounded(original + "/VIDEO_TS/VTS_01_0.IFO");
  ASSERT_TRUE(intact);

  // A cut IFO is read from its backup.
  std::string dir = pcmtest::DamagedVideoTs(pcmtest::DvdDamage::CutIfo);
  auto fromBackup = ReadBounded(dir + "/VTS_01_0.IFO");
  ASSERT_TRUE(fromBackup);
  ASSERT_EQ(fromBackup->titles.size(), intact->titles.size());
  EXPECT_EQ(fromBackup->titles[0].lastSector, intact->titles[0].lastSector);

  // Without a usable backup nothing is read.
  dir = pcmtest::DamagedVideoTs(pcmtest::DvdDamage::CutIfoWithoutBackup);
  EXPECT_FALSE(ReadBounded(dir + "/VTS_01_0.IFO"));
  dir = pcmtest::CopyVideoTs("cut-both");
  pcmtest::TruncateFile(dir + "/VTS_01_0.IFO", 0);
  pcmtest::TruncateFile(dir + "/VTS_01_0.BUP", 300);
  EXPECT_FALSE(ReadBounded(dir + "/VTS_01_0.IFO"));

  // Garbage in place of both copies; a garbage menu file does not matter to
  // the title sets.
  dir = pcmtest::DamagedVideoTs(pcmtest::DvdDamage::Garbage);
  pcmtest::FillWithGarbage(dir + "/VIDEO_TS.IFO", 3);
  pcmtest::FillWithGarbage(dir + "/VIDEO_TS.BUP", 4);
  EXPECT_FALSE(ReadBounded(dir + "/VTS_01_0.IFO"));
  EXPECT_FALSE(ReadBounded(dir + "/VIDEO_TS.IFO"));
  auto second = ReadBounded(dir + "/VTS_02_0.IFO");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->titles.size(), 1u);

  // A menu file cut inside the sector of its title table: libdvdread 6.1
  // would free that table twice. It never gets the file (this process's
  // sanitizers would stop the test), and the child reads the backup.
  dir = pcmtest::CopyVideoTs("cut-menu");
  pcmtest::TruncateFile(dir + "/VIDEO_TS.IFO", 3000);
  EXPECT_TRUE(TripsTheLibrary(dir + "/VIDEO_TS.IFO"));
  EXPECT_FALSE(ReadBounded(dir + "/VIDEO_TS.IFO", ReadIfoFileInProcess));
  auto menu = ReadBounded(dir + "/VIDEO_TS.IFO");
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->titleSet, 0);
  EXPECT_EQ(menu->path, dir + "/VIDEO_TS.IFO");
}

TEST(DamagedIfo, BadChainSkipsOnlyItsTitle) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> patch;
  };
  // Each damages the first chain of title set 1; the short title must stay.
  std::vector<Case> cases = {
      {"start after end",
       [](std::string& b) {
         size_t cell = CellAt(b, ChainAt(b, 0), 1);
         PutBig(b, cell + 8, 4, Big(b, cell + 20, 4) + 5);
       }},
      {"placeholder end address",
       [](std::string& b) { PutBig(b, CellAt(b, ChainAt(b, 0), 2) + 20, 4, 0xffffff); }},
      {"placeholder start address",
       [](std::string& b) { PutBig(b, CellAt(b, ChainAt(b, 0), 0) + 8, 4, 0xffffffff); }},
      {"no cells", [](std::string& b) { b.at(ChainAt(b, 0) + 3) = 0; }},
      {"no programs", [](std::string& b) { b.at(ChainAt(b, 0) + 2) = 0; }},
      {"no program map", [](std::string& b) { PutBig(b, ChainAt(b, 0) + 0xe6, 2, 0); }},
      {"program entry beyond the cells",
       [](std::string& b) {
         size_t chain = ChainAt(b, 0);
         b.at(chain + Big(b, chain + 0xe6, 2) + 2) = 9;
       }},
      {"programs out of order",
       [](std::string& b) {
         size_t chain = ChainAt(b, 0);
         b.at(chain + Big(b, chain + 0xe6, 2) + 1) = 1;
       }},
      {"time not decimal", [](std::string& b) { b.at(ChainAt(b, 0) + 6) = char(0x5a); }},
      {"cells of a chapter going backwards",
       [](std::string& b) {
         // Two chapters, the first of cells 1 and 2, whose places are swapped.
         size_t chain = ChainAt(b, 0);
         b.at(chain + 2) = 2;
         b.at(chain + Big(b, chain + 0xe6, 2) + 1) = 3;
         size_t first = CellAt(b, chain, 0), second = CellAt(b, chain, 1);
         for (size_t at : {8, 20}) {
           uint32_t sector = Big(b, first + at, 4);
           PutBig(b, first + at, 4, Big(b, second + at, 4));
           PutBig(b, second + at, 4, sector);
         }
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = PatchedCopy(1, c.patch);
    ASSERT_FALSE(path.empty());
    auto file = ReadBounded(path, ReadIfoFileInProcess);
    ASSERT_TRUE(file);
    ExpectSaneTitles(*file);
    ASSERT_EQ(file->titles.size(), 1u);
    EXPECT_EQ(file->titles[0].programChain, 2);
  }
}

TEST(DamagedIfo, ChainsLinkedInALoopAreEachReadOnce) {
  std::string path = PatchedCopy(1, [](std::string& b) {
    PutBig(b, ChainAt(b, 0) + 0x9c, 2, 2);
    PutBig(b, ChainAt(b, 1) + 0x9c, 2, 1);
  });
  ASSERT_FALSE(path.empty());
  auto file = ReadBounded(path, ReadIfoFileInProcess);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->titles.size(), 2u);
  EXPECT_EQ(file->titles[0].chapters.size(), 3u);
}

TEST(DamagedIfo, CellsOfOtherAnglesAreSkipped) {
  // Mark the two cells of the second set's first chapter as an angle block:
  // the second cell becomes another angle of the first.
  std::string path = PatchedCopy(2, [](std::string& b) {
    size_t chain = ChainAt(b, 0);
    b.at(CellAt(b, chain, 0)) = char((1 << 6) | (1 << 4));  // first cell, angle block
    b.at(CellAt(b, chain, 1)) = char((3 << 6) | (1 << 4));  // last cell, angle block
  });
  ASSERT_FALSE(path.empty());
  auto intact = ReadBounded(pcmtest::StandardDvd() + "/VIDEO_TS/VTS_02_0.IFO");
  auto file = ReadBounded(path, ReadIfoFileInProcess);
  ASSERT_TRUE(file && intact);
  ASSERT_EQ(file->titles.size(), 1u);
  const auto& chapters = file->titles[0].chapters;
  ASSERT_EQ(chapters.size(), 2u);
  EXPECT_EQ(chapters[0].firstCell, 1);
  EXPECT_EQ(chapters[0].lastCell, 1);
  EXPECT_LT(chapters[0].lastSector, intact->titles[0].chapters[0].lastSector);
  EXPECT_LT(chapters[0].milliseconds, intact->titles[0].chapters[0].milliseconds);
  EXPECT_EQ(chapters[1].firstSector, intact->titles[0].chapters[1].firstSector);
}

TEST(DamagedIfo, FileThatCrashesTheLibraryFallsBackToItsBackup) {
  // More chains announced than the table holds: libdvdread 6.1 dies with a
  // segmentation fault on this file, so only the child process may read it.
  auto tooManyChains = [](std::string& b) { b.at(size_t(Big(b, 0xcc, 4)) * 2048 + 1) = 16; };
  std::string path = PatchedCopy(1, tooManyChains, false);
  ASSERT_FALSE(path.empty());
  auto fromBackup = ReadBounded(path);
  ASSERT_TRUE(fromBackup);
  EXPECT_EQ(fromBackup->titles.size(), 2u);
  EXPECT_EQ(fromBackup->path, path);
  EXPECT_EQ(fromBackup->folder, fs::path(path).parent_path().string());

  path = PatchedCopy(1, tooManyChains);
  EXPECT_FALSE(ReadBounded(path));
  EXPECT_FALSE(ifoOpen(path, 0));
  auto other = ReadBounded(path.substr(0, path.size() - 12) + "VTS_02_0.IFO");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->titles.size(), 1u);
}

TEST(DamagedIfo, RandomBytesInTheChainTable) {
  // Bytes of the chain table overwritten at random places: whatever is read
  // must be sane, and stream descriptions must keep their id at the end.
  std::string original = pcmtest::StandardDvd();
  ASSERT_FALSE(original.empty());
  std::string clean = ReadAll(original + "/VIDEO_TS/VTS_01_0.IFO");
  size_t table = size_t(Big(clean, 0xcc, 4)) * 2048;
  std::string dir = pcmtest::CopyVideoTs("random");
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::string bytes = clean;
    // Attribute area (streams) in some rounds, chain table in all.
    if (round % 4 == 0)
      for (int i = 0; i < 16; ++i) bytes.at(0x200 + random() % 0x200) = char(random());
    for (int i = 0; i < 24; ++i)
      bytes.at(table + random() % std::min<size_t>(2048, bytes.size() - table)) = char(random());
    WriteAll(dir + "/VTS_01_0.IFO", bytes);
    WriteAll(dir + "/VTS_01_0.BUP", bytes);
    auto file = ReadBounded(dir + "/VTS_01_0.IFO");
    if (file) ExpectSaneTitles(*file);
  }
}

// A chain broken in the IFO file alone, which libdvdread opens without
// turning to the backup: the backup's titles are read, every one.
TEST(DamagedIfo, AChainBrokenOnlyInTheFileIsReadFromTheBackup) {
  const std::string path = pcmtest::CopyVideoTs("broken-chain") + "/VTS_01_0.IFO";
  pcmtest::BreakFirstChain(path);
  auto file = ReadBounded(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->titles.size(), 2u);
  EXPECT_TRUE(file->damagedChains.empty());
}
