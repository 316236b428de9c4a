#include "DvdReader.h"

#include <dvdread/dvd_reader.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <vector>

#include "DvdInput.h"
#include "base/WriteAll.h"

namespace adapter {

namespace {

constexpr int kChunk = 256;          // sectors per read: half a megabyte
constexpr long kGiveUpAfter = 1024;  // unreadable sectors in a row that end the reading
// A pipe of 1 MiB (the usual limit for a process without privileges) holds
// two chunks: the reader reads ahead while ffmpeg drains it, and the two wait
// for each other about half as often as with the default 64 KiB. On a busy
// machine each wake-up may wait for a processor.
constexpr int kPipeBytes = 1 << 20;

void SwallowLog(void*, dvd_logger_level_t, const char*, va_list) {}


}  // namespace

DvdReader::~DvdReader() {
  if (file_) DVDCloseFile(file_);
  if (dvd_) DVDClose(dvd_);
}

bool DvdReader::Open(const pcm::DvdInputForm& form, std::string* error) {
  form_ = form;
  struct stat st;
  if (stat(form.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the DVD folder " + form.folder + " does not exist";
    return false;
  }
  static const dvd_logger_cb logger = {SwallowLog};
  dvd_ = DVDOpen2(nullptr, &logger, form.folder.c_str());
  if (!dvd_) {
    *error = "the DVD folder " + form.folder + " cannot be opened";
    return false;
  }
  file_ = DVDOpenFile(dvd_, form.titleSet, DVD_READ_TITLE_VOBS);
  if (!file_) {
    *error = "title set " + std::to_string(form.titleSet) + " has no video files in " + form.folder;
    return false;
  }
  ssize_t size = DVDFileSize(file_);
  for (const auto& r : form.sectors) {
    if (size < 0 || r.last >= static_cast<uint64_t>(size)) {
      *error = "sectors " + std::to_string(r.first) + "-" + std::to_string(r.last) + " lie beyond the " +
               std::to_string(size < 0 ? 0 : size) + " sectors of title set " + std::to_string(form.titleSet);
      return false;
    }
  }
  return true;
}

std::string DvdReader::SubtitlePalette() const {
  char name[16];
  for (const char* suffix : {"IFO", "BUP"}) {
    std::snprintf(name, sizeof name, "VTS_%02d_0.%s", form_.titleSet, suffix);
    for (bool lower : {false, true}) {
      std::string file = name;
      if (lower)
        for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      std::ifstream in(form_.folder + "/" + file, std::ios::binary);
      if (!in) continue;
      std::string bytes(4 << 20, '\0');  // far more than any IFO file holds
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.resize(static_cast<size_t>(in.gcount()));
      std::string palette = PaletteFromIfo(bytes, form_.programChain);
      if (!palette.empty()) return palette;
    }
  }
  return "";
}

bool DvdReader::ReadChunk(uint32_t first, int count, unsigned char* buffer, int* got) {
  ssize_t n = DVDReadBlocks(file_, static_cast<int>(first), static_cast<size_t>(count), buffer);
  if (n == count) {
    *got = count;
    return true;
  }
  // Sector by sector: what cannot be read is left out, as a player would.
  *got = 0;
  for (int i = 0; i < count; ++i) {
    if (DVDReadBlocks(file_, static_cast<int>(first) + i, 1, buffer + size_t(*got) * DVD_VIDEO_LB_LEN) == 1)
      ++*got;
    else
      ++skipped_;
  }
  return *got > 0;
}

bool DvdReader::ReadFirstSector(unsigned char* sector) {
  return !form_.sectors.empty() &&
         DVDReadBlocks(file_, static_cast<int>(form_.sectors[0].first), 1, sector) == 1;
}

bool DvdReader::Stream(int fd, const std::string& leadIn, std::string* error) {
  // Not a pipe, or a lower limit: the pipe stays as it is, which only costs time.
  (void)fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
  if (!leadIn.empty() && !pcm::WriteAll(fd, leadIn.data(), leadIn.size()))
    return true;
  std::vector<unsigned char> buffer(size_t(kChunk) * DVD_VIDEO_LB_LEN);
  long unreadable = 0;
  for (const auto& r : form_.sectors) {
    for (uint64_t at = r.first; at <= r.last;) {
      int count = static_cast<int>(std::min<uint64_t>(kChunk, r.last - at + 1));
      int got = 0;
      if (ReadChunk(static_cast<uint32_t>(at), count, buffer.data(), &got)) {
        unreadable = 0;
        if (!pcm::WriteAll(fd, buffer.data(), size_t(got) * DVD_VIDEO_LB_LEN)) return true;
      } else if ((unreadable += count) >= kGiveUpAfter) {
        *error = "the DVD cannot be read at sector " + std::to_string(at);
        return false;
      }
      at += static_cast<uint64_t>(count);
    }
  }
  return true;
}

}  // namespace adapter
