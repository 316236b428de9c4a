#include "dvd/IfoReader.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace pcm::ifo {

namespace {

// Sector addresses at or above this are placeholders, never real positions.
constexpr uint32_t kBadSector = 0xffffff;

void SwallowLog(void*, dvd_logger_level_t, const char*, va_list) {}

// Closes what libdvdread opened, in the order it requires.
struct DvdReader {
  dvd_reader_t* dvd = nullptr;
  ifo_handle_t* ifo = nullptr;
  ~DvdReader() {
    if (ifo) ::ifoClose(ifo);
    if (dvd) DVDClose(dvd);
  }
};

// Binary value of a BCD byte; -1 when a nibble is not a decimal digit.
int FromBcd(uint8_t b) {
  int hi = b >> 4, lo = b & 0x0f;
  if (hi > 9 || lo > 9) return -1;
  return hi * 10 + lo;
}

struct Clock {
  bool ok = false;
  int hours = 0, minutes = 0, seconds = 0;
  int64_t milliseconds = 0;
};

Clock FromDvdTime(const dvd_time_t& t) {
  Clock c;
  int h = FromBcd(t.hour), m = FromBcd(t.minute), s = FromBcd(t.second), f = FromBcd(t.frame_u & 0x3f);
  if (h < 0 || m < 0 || s < 0 || f < 0 || m > 59 || s > 59) return c;
  int rate = t.frame_u >> 6;
  int fps = rate == 1 ? 25 : rate == 3 ? 30 : 0;
  c.ok = true;
  c.hours = h;
  c.minutes = m;
  c.seconds = s;
  c.milliseconds = int64_t(SecondsFromTime(h, m, s)) * 1000 + (fps ? std::min(f, fps - 1) * 1000 / fps : 0);
  return c;
}

// Two lower-case letters, or empty: a language code is only shown when it is
// plain text, so a damaged attribute never puts ")" into a description.
std::string Language(uint16_t code) {
  char a = char(code >> 8), b = char(code & 0xff);
  if (!std::isalpha(static_cast<unsigned char>(a)) || !std::isalpha(static_cast<unsigned char>(b))) return {};
  return {char(std::tolower(static_cast<unsigned char>(a))),
          char(std::tolower(static_cast<unsigned char>(b)))};
}

// An audio stream from its attributes and the physical stream number; false
// for codings that have no program-stream id.
bool MakeAudio(const audio_attr_t& attr, int index, int physical, StreamInfo* out) {
  int base;
  switch (attr.audio_format) {
    case 0:
      base = 0x80, out->coding = "AC3";
      break;
    case 2:
      base = 0xc0, out->coding = "MPEG1";
      break;
    case 3:
      base = 0xc0, out->coding = "MPEG2";
      break;
    case 4:
      base = 0xa0, out->coding = "LPCM";
      break;
    case 6:
      base = 0x88, out->coding = "DTS";
      break;
    default:
      return false;
  }
  out->number = index + 1;
  out->id = base + physical;
  out->language = Language(attr.lang_code);
  out->channels = attr.channels + 1;
  out->description = DescribeStream(*out);
  return true;
}

StreamInfo MakeSubpicture(const subp_attr_t& attr, int index, int physical) {
  StreamInfo s;
  s.number = index + 1;
  s.id = 0x20 + physical;
  s.language = Language(attr.lang_code);
  s.coding = "Subtitle";
  s.description = DescribeStream(s);
  return s;
}

int AudioPhysical(const pgc_t* pgc, int i) {
  return (pgc && (pgc->audio_control[i] & 0x8000)) ? (pgc->audio_control[i] >> 8) & 0x07 : -1;
}

int SubpicturePhysical(const pgc_t* pgc, int i) {
  return (pgc && (pgc->subp_control[i] & 0x80000000u)) ? (pgc->subp_control[i] >> 24) & 0x1f : -1;
}

void DescribeVideo(const video_attr_t& v, IfoFile* file) {
  bool pal = v.video_format == 1;
  int height = pal ? 576 : 480;
  static const int widths[4] = {720, 704, 352, 352};
  file->width = widths[v.picture_size & 3];
  file->height = v.picture_size == 3 ? height / 2 : height;
  file->videoDescription = std::string(v.mpeg_version == 0 ? "MPEG-1" : "MPEG-2") + " " +
                           std::to_string(file->width) + "x" + std::to_string(file->height) + " " +
                           (pal ? "PAL" : "NTSC") + " " + (v.display_aspect_ratio == 3 ? "16:9" : "4:3");
}

// The chapters of one program chain; false when the chain is damaged.
bool ReadChapters(const pgc_t* pgc, TitleInfo* title) {
  int cells = pgc->nr_of_cells, programs = pgc->nr_of_programs;
  if (cells == 0 || programs == 0 || !pgc->cell_playback || !pgc->program_map) return false;
  for (int p = 0; p < programs; ++p) {
    int entry = pgc->program_map[p];
    int next = p + 1 < programs ? pgc->program_map[p + 1] : cells + 1;
    if (entry < 1 || next <= entry || next > cells + 1) return false;
    ChapterInfo chapter;
    chapter.program = p + 1;
    bool any = false;
    for (int c = entry - 1; c < next - 1; ++c) {
      const cell_playback_t& cell = pgc->cell_playback[c];
      // Cells of the other angles of an angle block repeat the first angle.
      if (cell.block_type == BLOCK_TYPE_ANGLE_BLOCK && cell.block_mode != BLOCK_MODE_FIRST_CELL &&
          cell.block_mode != BLOCK_MODE_NOT_IN_BLOCK)
        continue;
      if (cell.first_sector > cell.last_sector || cell.first_sector >= kBadSector ||
          cell.last_sector >= kBadSector)
        return false;
      // A chapter is read as one run of sectors, from its first cell's first
      // to its last cell's last: its cells must follow each other on the disc.
      if (any && cell.first_sector <= chapter.lastSector) return false;
      Clock time = FromDvdTime(cell.playback_time);
      if (!time.ok) return false;
      if (!any) {
        chapter.firstCell = c + 1;
        chapter.firstSector = cell.first_sector;
      }
      any = true;
      chapter.lastCell = c + 1;
      chapter.lastSector = cell.last_sector;
      chapter.milliseconds += time.milliseconds;
    }
    if (any) title->chapters.push_back(chapter);
  }
  return !title->chapters.empty();
}

void ReadTitles(const ifo_handle_t* ifo, IfoFile* file) {
  const vtsi_mat_t* mat = ifo->vtsi_mat;
  const pgcit_t* pgcit = ifo->vts_pgcit;
  if (!mat || !pgcit || !pgcit->pgci_srp) return;
  int audioCount = std::min<int>(mat->nr_of_vts_audio_streams, 8);
  int subpCount = std::min<int>(mat->nr_of_vts_subp_streams, 32);
  const pgc_t* first = pgcit->nr_of_pgci_srp > 0 ? pgcit->pgci_srp[0].pgc : nullptr;

  // The title set's streams, with the stream numbers its first chain uses.
  for (int i = 0; i < audioCount; ++i) {
    StreamInfo s;
    int physical = AudioPhysical(first, i);
    if (MakeAudio(mat->vts_audio_attr[i], i, physical < 0 ? i : physical, &s)) file->audio.push_back(s);
  }
  for (int i = 0; i < subpCount; ++i) {
    int physical = SubpicturePhysical(first, i);
    file->subpictures.push_back(MakeSubpicture(mat->vts_subp_attr[i], i, physical < 0 ? i : physical));
  }

  // Chains are taken by index and never followed through their next-chain
  // links, so a chain that links back to itself cannot loop the reader.
  for (int n = 0; n < pgcit->nr_of_pgci_srp; ++n) {
    const pgc_t* pgc = pgcit->pgci_srp[n].pgc;
    TitleInfo title;
    title.titleSet = file->titleSet;
    title.programChain = n + 1;
    if (!pgc || !FromDvdTime(pgc->playback_time).ok || !ReadChapters(pgc, &title)) {
      file->damagedChains.push_back(n + 1);
      continue;
    }
    Clock time = FromDvdTime(pgc->playback_time);
    title.hours = time.hours;
    title.minutes = time.minutes;
    title.seconds = time.seconds;
    title.milliseconds = time.milliseconds;
    title.firstSector = title.chapters.front().firstSector;
    title.lastSector = title.chapters.back().lastSector;
    for (int i = 0; i < audioCount; ++i) {
      StreamInfo s;
      int physical = AudioPhysical(pgc, i);
      if (physical >= 0 && MakeAudio(mat->vts_audio_attr[i], i, physical, &s)) title.audio.push_back(s);
    }
    for (int i = 0; i < subpCount; ++i) {
      int physical = SubpicturePhysical(pgc, i);
      if (physical >= 0) title.subpictures.push_back(MakeSubpicture(mat->vts_subp_attr[i], i, physical));
    }
    file->titles.push_back(std::move(title));
  }
}

const TitleInfo* TitleAt(const IfoFile* handle, int32_t title) {
  if (!handle || title < 0 || title >= int32_t(handle->titles.size())) return nullptr;
  return &handle->titles[title];
}

void PutLittleEndian(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

}  // namespace

std::string DescribeStream(const StreamInfo& s) {
  char id[8];
  std::snprintf(id, sizeof id, "0x%02x", s.id & 0xff);
  std::string text = std::to_string(s.number) + ":";
  if (!s.language.empty()) text += " " + s.language;
  text += " " + s.coding;
  if (s.channels > 0) text += " " + std::to_string(s.channels) + "ch";
  return text + " (" + id + ")";
}

int TitleSetFromName(const std::string& fileName) {
  std::string name;
  for (char c : fileName) name += char(std::toupper(static_cast<unsigned char>(c)));
  if (name == "VIDEO_TS.IFO") return 0;
  if (name.size() != 12 || name.compare(0, 4, "VTS_") != 0 || name.compare(6, 6, "_0.IFO") != 0) return -1;
  if (!std::isdigit(static_cast<unsigned char>(name[4])) ||
      !std::isdigit(static_cast<unsigned char>(name[5])))
    return -1;
  int n = (name[4] - '0') * 10 + (name[5] - '0');
  return n >= 1 && n <= 99 ? n : -1;
}

bool TripsTheLibrary(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (TitleSetFromName(slash == std::string::npos ? path : path.substr(slash + 1)) != 0) return false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  unsigned char head[0xc8];
  bool read =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && pread(fd, head, sizeof head, 0) == ssize_t(sizeof head);
  close(fd);
  if (!read || std::memcmp(head, "DVDVIDEO-VMG", 12) != 0) return false;
  // The menu's title table: libdvdread 6.1 seeks to its sector, and when
  // that is the file's end (the library counts whole sectors only) the read
  // after it fails and the table is freed twice.
  uint32_t table =
      uint32_t(head[0xc4]) << 24 | uint32_t(head[0xc5]) << 16 | uint32_t(head[0xc6]) << 8 | head[0xc7];
  return table != 0 && uint64_t(table) >= uint64_t(st.st_size) / 2048;
}

std::unique_ptr<IfoFile> ReadIfoFileInProcess(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int titleSet = TitleSetFromName(slash == std::string::npos ? path : path.substr(slash + 1));
  if (titleSet < 0 || TripsTheLibrary(path)) return nullptr;

  static const dvd_logger_cb logger = {SwallowLog};
  DvdReader reader;
  reader.dvd = DVDOpen2(nullptr, &logger, folder.c_str());
  if (!reader.dvd) return nullptr;
  reader.ifo = ::ifoOpen(reader.dvd, titleSet);
  if (!reader.ifo) return nullptr;

  auto file = std::make_unique<IfoFile>();
  file->path = path;
  file->folder = folder;
  file->titleSet = titleSet;
  if (titleSet == 0) {
    if (reader.ifo->vmgi_mat) DescribeVideo(reader.ifo->vmgi_mat->vmgm_video_attr, file.get());
  } else {
    if (!reader.ifo->vtsi_mat) return nullptr;
    DescribeVideo(reader.ifo->vtsi_mat->vts_video_attr, file.get());
    ReadTitles(reader.ifo, file.get());
  }
  return file;
}

int32_t ifoGetNumPGCI(const IfoFile* handle) { return handle ? int32_t(handle->titles.size()) : 0; }

int32_t ifoGetPGCIInfo(const IfoFile* handle, int32_t title, uint8_t time[4]) {
  const TitleInfo* t = TitleAt(handle, title);
  time[0] = uint8_t(t ? t->hours : 0);
  time[1] = uint8_t(t ? t->minutes : 0);
  time[2] = uint8_t(t ? t->seconds : 0);
  time[3] = 0;
  return t ? int32_t(t->chapters.size()) : 0;
}

void ifoGetPGCICells(const IfoFile* handle, int32_t title, uint8_t* cells) {
  const TitleInfo* t = TitleAt(handle, title);
  if (!t) return;
  for (const ChapterInfo& c : t->chapters) {
    std::fill(cells, cells + kCellRecordSize, 0);
    PutLittleEndian(cells, c.firstSector);
    PutLittleEndian(cells + 4, c.lastSector);
    int64_t seconds = c.milliseconds / 1000;
    cells[13] = uint8_t(std::min<int64_t>(seconds / 3600, 255));
    cells[14] = uint8_t(seconds / 60 % 60);
    cells[15] = uint8_t(seconds % 60);
    cells += kCellRecordSize;
  }
}

std::string ifoGetVideoDesc(const IfoFile* handle) {
  return handle ? handle->videoDescription : std::string();
}

int32_t ifoGetNumAudio(const IfoFile* handle) { return handle ? int32_t(handle->audio.size()) : 0; }

std::string ifoGetAudioDesc(const IfoFile* handle, int32_t index) {
  if (!handle || index < 0 || index >= int32_t(handle->audio.size())) return {};
  return handle->audio[index].description;
}

int32_t ifoGetNumSubPic(const IfoFile* handle) { return handle ? int32_t(handle->subpictures.size()) : 0; }

std::string ifoGetSubPicDesc(const IfoFile* handle, int32_t index) {
  if (!handle || index < 0 || index >= int32_t(handle->subpictures.size())) return {};
  return handle->subpictures[index].description;
}

}  // namespace pcm::ifo
