#include "preview/DvdByteSource.h"

#include <dvdread/dvd_reader.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace pcm::preview {
namespace {

constexpr uint64_t kChunkSectors = 64;  // read ahead: 128 KiB

void SwallowLog(void*, dvd_logger_level_t, const char*, va_list) {}

}  // namespace

DvdByteSource::~DvdByteSource() {
  if (file_) DVDCloseFile(file_);
  if (dvd_) DVDClose(dvd_);
}

std::unique_ptr<DvdByteSource> DvdByteSource::Open(const DvdInputForm& form, std::string* error) {
  struct stat st;
  if (stat(form.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the DVD folder " + form.folder + " does not exist";
    return nullptr;
  }
  std::unique_ptr<DvdByteSource> source(new DvdByteSource);
  // Plain DVDOpen prints to standard output; this logger keeps it quiet.
  static const dvd_logger_cb logger = {SwallowLog};
  source->dvd_ = DVDOpen2(nullptr, &logger, form.folder.c_str());
  if (!source->dvd_) {
    *error = "the DVD folder " + form.folder + " cannot be opened";
    return nullptr;
  }
  source->file_ = DVDOpenFile(source->dvd_, form.titleSet, DVD_READ_TITLE_VOBS);
  if (!source->file_) {
    *error = "title set " + std::to_string(form.titleSet) + " has no video files";
    return nullptr;
  }
  const ssize_t size = DVDFileSize(source->file_);
  for (const DvdSectorRange& r : form.sectors) {
    if (size < 0 || r.first > r.last || r.last >= uint64_t(size)) {
      *error = "the row's sectors lie outside title set " + std::to_string(form.titleSet);
      return nullptr;
    }
    source->ranges_.push_back(r);
    source->totalSectors_ += uint64_t(r.last - r.first) + 1;
  }
  if (source->totalSectors_ == 0) {
    *error = "the row has no sectors";
    return nullptr;
  }
  return source;
}

void DvdByteSource::Fill(uint64_t index) {
  cacheFirst_ = index;
  cacheCount_ = 0;
  // Find the range holding the sector and how far it goes on.
  uint64_t base = 0;
  for (const DvdSectorRange& r : ranges_) {
    const uint64_t length = uint64_t(r.last - r.first) + 1;
    if (index < base + length) {
      const uint64_t at = r.first + (index - base);
      const uint64_t count = std::min(kChunkSectors, length - (index - base));
      cache_.assign(count * kSectorSize, 0);
      if (DVDReadBlocks(file_, int(at), size_t(count), cache_.data()) != ssize_t(count)) {
        // Sector by sector; what cannot be read stays zero.
        for (uint64_t i = 0; i < count; ++i)
          DVDReadBlocks(file_, int(at + i), 1, cache_.data() + i * kSectorSize);
      }
      cacheCount_ = count;
      return;
    }
    base += length;
  }
}

int64_t DvdByteSource::ReadAt(uint64_t offset, char* buffer, uint64_t size) {
  const uint64_t total = totalSectors_ * kSectorSize;
  if (offset >= total || size == 0) return 0;
  size = std::min(size, total - offset);
  uint64_t done = 0;
  while (done < size) {
    const uint64_t at = offset + done;
    const uint64_t sector = at / kSectorSize;
    if (sector < cacheFirst_ || sector >= cacheFirst_ + cacheCount_) Fill(sector);
    if (cacheCount_ == 0) break;
    const uint64_t from = at - cacheFirst_ * kSectorSize;
    const uint64_t n = std::min(size - done, cacheCount_ * kSectorSize - from);
    std::memcpy(buffer + done, cache_.data() + from, n);
    done += n;
  }
  return done > 0 ? int64_t(done) : -1;
}

std::string PlayPathFor(const std::string& input) {
  if (!IsDvdInput(input)) return input;
  return std::string(kDvdProtocol) + "://" + input;
}

std::unique_ptr<ByteSource> OpenDvdStream(const std::string& uri) {
  const std::string prefix = std::string(kDvdProtocol) + "://";
  if (uri.compare(0, prefix.size(), prefix) != 0) return nullptr;
  DvdInputForm form;
  std::string error;
  if (!DecodeDvdInput(uri.substr(prefix.size()), &form, &error)) return nullptr;
  return DvdByteSource::Open(form, &error);
}

}  // namespace pcm::preview
