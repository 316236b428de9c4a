// An IFO file of a DVD read by the reading layer as the adapter's reading
// child does: the bytes become the title set's IFO file (the menu's when
// they start as one), read through libdvdread into our records. Whatever
// the file says, the records hold sound sectors and times, the calls the
// listing uses answer within them, and the lines that carry them to the
// program read back to the same records.
//
// libdvdread 6.1 dies on some damaged files. The program reads every IFO
// file in a child process for that reason and takes a file that kills the
// child as unreadable; the harness does the same: a child process first
// opens the file with libdvdread alone, and only a file it survives is read
// here, where the sanitizers and the coverage watch our own code.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/ProgramStart.h"
#include "dvd/IfoLines.h"
#include "dvd/IfoReader.h"

namespace {

constexpr uint32_t kBadSector = 0xffffff;

void CheckStream(const pcm::ifo::StreamInfo& s, bool subpicture) {
  if (s.number < 1 || s.number > (subpicture ? 32 : 8)) fuzz::Fail("a stream number beyond its table");
  if (s.id < 0 || s.id > 255) fuzz::Fail("a stream id beyond a byte");
  if (!s.language.empty() && (s.language.size() != 2 || s.language[0] < 'a' || s.language[0] > 'z' ||
                              s.language[1] < 'a' || s.language[1] > 'z'))
    fuzz::Fail("a language that is not two small letters");
  if (s.description.empty() || s.description.back() != ')') fuzz::Fail("a description without its id");
}

void CheckTitle(const pcm::ifo::IfoFile& file, int32_t index) {
  const pcm::ifo::TitleInfo& t = file.titles[size_t(index)];
  if (t.chapters.empty()) fuzz::Fail("a title without chapters");
  // A title is read chapter by chapter, in the chain's order, which need not
  // be the order of the sectors.
  if (t.firstSector != t.chapters.front().firstSector || t.lastSector != t.chapters.back().lastSector)
    fuzz::Fail("a title's sectors are not its chapters'");
  if (t.minutes > 59 || t.seconds > 59 || t.hours > 99 || t.milliseconds < 0)
    fuzz::Fail("an impossible time");
  uint32_t previous = 0;
  for (const pcm::ifo::ChapterInfo& c : t.chapters) {
    if (c.firstSector > c.lastSector || c.lastSector >= kBadSector) fuzz::Fail("a chapter's sectors unsound");
    if (c.firstCell < 1 || c.firstCell > c.lastCell || c.firstCell <= int(previous))
      fuzz::Fail("chapter cells out of order");
    if (c.milliseconds < 0) fuzz::Fail("a chapter of negative length");
    previous = uint32_t(c.lastCell);
  }
  for (const auto& s : t.audio) CheckStream(s, false);
  for (const auto& s : t.subpictures) CheckStream(s, true);

  // The call contracts the listing reads the titles through.
  uint8_t time[4] = {0xee, 0xee, 0xee, 0xee};
  int32_t count = pcm::ifo::ifoGetPGCIInfo(&file, index, time);
  if (count != int32_t(t.chapters.size()) || time[3] != 0) fuzz::Fail("a title's chapter count differs");
  std::vector<uint8_t> cells(size_t(count) * pcm::ifo::kCellRecordSize + 1, 0xee);
  pcm::ifo::ifoGetPGCICells(&file, index, cells.data());
  if (cells.back() != 0xee) fuzz::Fail("cell records written beyond their count");
}

// Whether libdvdread opens and closes the file without dying, tried by the
// plain helper beside the harness.
bool LibrarySurvives(const std::string& folder, int titleSet) {
  static const std::string helper = [] {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) fuzz::Fail("cannot find the harness's folder");
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + "ifo_open_check";
  }();
  pcm::ProgramStart how;
  how.args = {helper, folder, std::to_string(titleSet)};
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  how.out = how.err = null;
  pcm::StartedProgram started = pcm::StartProgram(how);
  close(null);
  if (!started.ok()) fuzz::Fail("cannot start ifo_open_check");
  int status = 0;
  while (waitpid(started.pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// A table's claimed length is allocated by libdvdread before it is read (up
// to 4 GiB, never touched when the read then fails): allowed here as the
// program's reading child allows it, and an impossible size gives null.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
// libdvdread 6.1 loses a few bytes on some damaged files: its own, in a
// child process that ends at once in the program.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdvdread.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<char*> args(*argv, *argv + *argc);
  static char limit[] = "-malloc_limit_mb=8192";
  for (char* a : args)
    if (std::strncmp(a, "-malloc_limit_mb=", 17) == 0) return 0;
  args.insert(args.begin() + 1, limit);
  args.push_back(nullptr);
  *argc += 1;
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    std::string dir = fuzz::ScratchDir() + "VIDEO_TS";
    mkdir(dir.c_str(), 0700);
    return dir + "/";
  }();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const bool menu = bytes.compare(0, 12, "DVDVIDEO-VMG") == 0;
  const std::string path = folder + (menu ? "VIDEO_TS.IFO" : "VTS_01_0.IFO");
  unlink((folder + "VIDEO_TS.IFO").c_str());
  unlink((folder + "VTS_01_0.IFO").c_str());
  fuzz::WriteFile(path, bytes);
  if (!LibrarySurvives(folder.substr(0, folder.size() - 1), menu ? 0 : 1)) return 0;

  auto file = pcm::ifo::ReadIfoFileInProcess(path);
  if (!file) return 0;
  if (file->titleSet != (menu ? 0 : 1)) fuzz::Fail("the title set is not the file's");
  if (file->audio.size() > 8 || file->subpictures.size() > 32)
    fuzz::Fail("more streams than a title set has");
  for (const auto& s : file->audio) CheckStream(s, false);
  for (const auto& s : file->subpictures) CheckStream(s, true);
  if (pcm::ifo::ifoGetNumPGCI(file.get()) != int32_t(file->titles.size()))
    fuzz::Fail("the title count differs");
  for (int32_t i = 0; i < int32_t(file->titles.size()); ++i) CheckTitle(*file, i);

  // The adapter's child prints the records; the program reads them back.
  const std::string text = pcm::ifo::IfoLines(*file);
  auto again = pcm::ifo::ParseIfoLines(text);
  if (!again) fuzz::Fail("the records' lines cannot be read back");
  if (pcm::ifo::IfoLines(*again) != text) fuzz::Fail("the records changed on their way through the lines");
  return 0;
}
