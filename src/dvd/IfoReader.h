#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Reading the titles, chapters and streams of a DVD-Video title set from its
// IFO file. Everything is read at open time and libdvdread's handles are
// closed before the open returns, so the records below own no resources.
namespace pcm::ifo {

// One audio or subpicture stream of a title set or title.
struct StreamInfo {
  int number = 0;           // 1-based position in the title set's attribute table
  int id = 0;               // MPEG-PS stream id: 0x80 AC-3, 0x88 DTS, 0xA0 LPCM, 0xC0 MPEG, 0x20 subpicture
  std::string language;     // two lower-case letters, empty when unknown
  std::string coding;       // "AC3", "MPEG1", "MPEG2", "LPCM", "DTS", "SDDS" or "Subtitle"
  int channels = 0;         // audio only
  std::string description;  // "1: en AC3 2ch (0x80)"; the id is the four characters before ")"
};

// A chapter (program) of a title: one or more consecutive cells of the first
// angle, from the first sector of its first cell to the last sector of its
// last cell (inclusive, 2048-byte blocks from the start of the title set's
// VOBs).
struct ChapterInfo {
  int program = 0;    // 1-based program number within the program chain
  int firstCell = 0;  // 1-based cell numbers covered
  int lastCell = 0;
  uint32_t firstSector = 0;
  uint32_t lastSector = 0;
  int64_t milliseconds = 0;  // summed playing time of its cells
};

// A title: one program chain of the title set.
struct TitleInfo {
  int titleSet = 0;
  int programChain = 0;  // 1-based program chain number
  int64_t milliseconds = 0;
  int hours = 0, minutes = 0, seconds = 0;  // the chain's playing time, whole seconds
  uint32_t firstSector = 0;
  uint32_t lastSector = 0;
  std::vector<ChapterInfo> chapters;
  std::vector<StreamInfo> audio;        // the streams this chain plays
  std::vector<StreamInfo> subpictures;  // likewise
};

// One IFO file: its title set and every usable title.
struct IfoFile {
  std::string path;
  std::string folder;            // the folder libdvdread was opened on: the one holding the file
  int titleSet = 0;              // 0 for the menu file
  std::string videoDescription;  // "MPEG-2 720x576 PAL 4:3": the frame size is the second word
  int width = 0, height = 0;
  std::vector<StreamInfo> audio;
  std::vector<StreamInfo> subpictures;
  std::vector<TitleInfo> titles;
  // Program chains (1-based) left out as damaged, in order.
  std::vector<int> damagedChains;
};

// Title set number from an IFO file name: 0 for VIDEO_TS.IFO, N for
// VTS_NN_0.IFO (any letter case), -1 for any other name.
int TitleSetFromName(const std::string& fileName);

// Reads one IFO file (a damaged one falls back to its .BUP). Returns null
// when the file cannot be read. Titles that are damaged (no cells, no
// program map, impossible sector addresses) are left out and their chains
// named in damagedChains. A file that differs from its backup is read from
// both, and the copy with fewer damaged chains (then more titles) is
// taken: libdvdread turns to the backup only for a file it cannot open,
// not for one whose chains are broken. libdvdread can
// crash on some damaged files, so the reading runs in a short-lived child
// process, the adapter, which prints the records for this process to read
// back; when the file kills it, or keeps it busy past a few seconds, its
// .BUP is read the same way, and when that fails too the result is null.
std::unique_ptr<IfoFile> ReadIfoFile(const std::string& path);
// The same reading done in this process; null also for a file that
// TripsTheLibrary.
std::unique_ptr<IfoFile> ReadIfoFileInProcess(const std::string& path);
// Whether the file holds damage that corrupts libdvdread's memory when it
// is read (a table freed twice), so it must not be handed to the library.
bool TripsTheLibrary(const std::string& path);

// The program that reads IFO files for ReadIfoFile: the encoder adapter,
// run as "PROGRAM --describe-dvd PATH". Set once at start; by default the
// adapter beside the running program.
void SetIfoReaderProgram(const std::string& path);

// "1: en AC3 2ch (0x80)" from a stream's numbers and words.
std::string DescribeStream(const StreamInfo& s);

// Seconds from hours, minutes and seconds.
inline int SecondsFromTime(int hours, int minutes, int seconds) {
  return hours * 3600 + minutes * 60 + seconds;
}

// The file as a handle, which the listing opens and then reads as the
// records above; the calls after ifoOpen are the older call contracts over
// the same records. A handle is closed by dropping it.
using Handle = std::unique_ptr<const IfoFile>;
constexpr int kCellRecordSize = 17;

// Null when the file cannot be read. The second argument is always 0.
Handle ifoOpen(const std::string& path, int32_t reserved = 0);
// Number of titles; they are addressed by index 0..count-1.
int32_t ifoGetNumPGCI(const IfoFile* handle);
// Fills time with hours, minutes, seconds (plain binary) and a zero byte;
// returns the number of cell records (chapters) of the title.
int32_t ifoGetPGCIInfo(const IfoFile* handle, int32_t title, uint8_t time[4]);
// Fills count * kCellRecordSize bytes: start sector (4 bytes, little-endian),
// end sector (4), five zero bytes, hours, minutes, seconds, a zero byte.
void ifoGetPGCICells(const IfoFile* handle, int32_t title, uint8_t* cells);
std::string ifoGetVideoDesc(const IfoFile* handle);
int32_t ifoGetNumAudio(const IfoFile* handle);
std::string ifoGetAudioDesc(const IfoFile* handle, int32_t index);
int32_t ifoGetNumSubPic(const IfoFile* handle);
std::string ifoGetSubPicDesc(const IfoFile* handle, int32_t index);

}  // namespace pcm::ifo
