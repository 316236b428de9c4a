#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/DvdInputForm.h"
#include "preview/ByteSource.h"

struct dvd_reader_s;
struct dvd_file_s;

namespace pcm::preview {

// The sectors of a DVD row, read with libdvdread, as one run of bytes the
// player can read at any offset: the row's sector ranges one after another.
// A sector that cannot be read is given as zeros, so a scratch costs a
// moment of picture instead of the whole preview.
class DvdByteSource : public ByteSource {
 public:
  ~DvdByteSource() override;
  // Opens the form's title set; nullptr with *error (one line) when the
  // folder, the title set or a sector range is not there.
  static std::unique_ptr<DvdByteSource> Open(const DvdInputForm& form, std::string* error);

  int64_t ReadAt(uint64_t offset, char* buffer, uint64_t size) override;
  int64_t Size() override { return int64_t(totalSectors_) * kSectorSize; }

  static constexpr int kSectorSize = 2048;

 private:
  DvdByteSource() = default;
  // Reads sector `index` of the row (0-based) into cache_, with the sectors
  // after it up to the end of its range.
  void Fill(uint64_t index);

  dvd_reader_s* dvd_ = nullptr;
  dvd_file_s* file_ = nullptr;
  std::vector<DvdSectorRange> ranges_;
  uint64_t totalSectors_ = 0;
  std::vector<unsigned char> cache_;
  uint64_t cacheFirst_ = 0, cacheCount_ = 0;  // row sectors held in cache_
};

// The protocol name the player reads DVD rows through, and the play path
// for a list row's input: a DVD form becomes "<protocol>://<form>", any
// other input is played as it is.
inline constexpr const char* kDvdProtocol = "popclipmill-dvd";
std::string PlayPathFor(const std::string& input);
// The opener for the protocol: decodes the form after "<protocol>://".
std::unique_ptr<ByteSource> OpenDvdStream(const std::string& uri);

}  // namespace pcm::preview
