// The encoder's progress output, read as the reader hands it over: in
// chunks of 256 bytes, each parsed at once.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "core/Application.h"
#include "engine/EncoderEngine.h"
#include "engine/Progress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  pcm::ParseClock(text);
  int32_t t = pcm::ParseTimeSeconds(text);
  if (t < 0 || t > 100000) fuzz::Fail("a time outside 0..100000 seconds");
  pcm::ProgressPercentText(t);

  fuzz::App();  // the event loop's application object
  pcm::Progress progress{[](int32_t) {}};
  double written = -1;
  std::string pending;
  for (size_t at = 0; at < text.size(); at += pcm::EncoderEngine::kReadChunk) {
    pending.append(text, at, pcm::EncoderEngine::kReadChunk);
    progress.ParseEncoderOutput(pending, t, &written);
    if (pending.find_first_of("\r\n") != std::string::npos) fuzz::Fail("a line end left unconsumed");
  }
  return 0;
}
