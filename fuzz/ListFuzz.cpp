// The list file: any bytes read without harm, and a list that was read is
// written and read back to the same text, DVD rows and their shared file
// records too.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "queue/ListStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto stored = pcm::DecodeStoredList(bytes, error);
  if (!stored) {
    if (error.empty()) fuzz::Fail("a refused list without a reason");
    return 0;
  }
  std::string text = pcm::EncodeList(stored->rows, stored->dvdView);
  auto again = pcm::DecodeStoredList(text, error);
  if (!again) fuzz::Fail("a written list could not be read back");
  if (pcm::EncodeList(again->rows, again->dvdView) != text)
    fuzz::Fail("a list changed when written and read back");
  return 0;
}
