#pragma once
#include <atomic>
#include <string>

#include "engine/DvdInputForm.h"

struct dvd_reader_s;
struct dvd_file_s;

namespace adapter {

// Reads the sectors of a DVD row with libdvdread and writes them to a pipe.
class DvdReader {
 public:
  DvdReader() = default;
  DvdReader(const DvdReader&) = delete;
  DvdReader& operator=(const DvdReader&) = delete;
  ~DvdReader();

  // Opens the form's folder and title set and checks that every sector of
  // the row lies inside its VOB files. False with *error (one line) when not.
  bool Open(const pcm::DvdInputForm& form, std::string* error);

  // Writes leadIn, then every sector of the row in order, to fd. Returns
  // true when all was written or the reader of fd went away (ffmpeg stops
  // early when it has what it needs); false with *error when the DVD could
  // not be read. Unreadable single sectors are left out and counted.
  bool Stream(int fd, const std::string& leadIn, std::string* error);

  // The row's first sector; false when it cannot be read.
  bool ReadFirstSector(unsigned char* sector);

  // The subpicture colours of the row's program chain for ffmpeg's
  // "-palette", from the title set's IFO file or else its .BUP; "" when
  // neither holds them.
  std::string SubtitlePalette() const;

  // Sectors left out because they could not be read.
  long skipped() const { return skipped_; }

 private:
  bool ReadChunk(uint32_t first, int count, unsigned char* buffer, int* got);

  pcm::DvdInputForm form_;
  dvd_reader_s* dvd_ = nullptr;
  dvd_file_s* file_ = nullptr;
  std::atomic<long> skipped_{0};
};

}  // namespace adapter
