// The list file: any bytes read without harm, and a list that was read is
// written and read back to the same text.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "queue/ListStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto rows = pcm::DecodeList(bytes, error);
  if (!rows) {
    if (error.empty()) fuzz::Fail("a refused list without a reason");
    return 0;
  }
  std::string text = pcm::EncodeList(*rows);
  auto again = pcm::DecodeList(text, error);
  if (!again) fuzz::Fail("a written list could not be read back");
  if (pcm::EncodeList(*again) != text) fuzz::Fail("a list changed when written and read back");
  return 0;
}
