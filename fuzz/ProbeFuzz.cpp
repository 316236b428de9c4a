// The encoder's description of a file, read in the probe's chunks of 2048
// bytes. Whatever it says, the values are within the plausible bounds.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "engine/MediaProbe.h"
#include "ui/WholeNumber.h"

namespace {

void CheckRate(const std::string& rate) {
  auto kbps = pcm::ReadWholeNumber<long long>(rate);
  if (kbps && (*kbps < 0 || *kbps > pcm::kMaxKbps)) fuzz::Fail("a rate beyond the bounds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  pcm::ProbeResult result;
  std::string pending;
  for (size_t at = 0; at < text.size(); at += pcm::MediaProbe::kReadChunk) {
    pending.append(text, at, pcm::MediaProbe::kReadChunk);
    pcm::ParseProbeOutput(pending, result);
    if (pending.find_first_of("\r\n") != std::string::npos) fuzz::Fail("a line end left unconsumed");
  }
  CheckRate(result.ProbeTotalKbps);
  CheckRate(result.ProbeVideoKbps);
  CheckRate(result.ProbeAudioKbps);
  if (result.ProbeDuration.size() > pcm::kMaxDurationText) fuzz::Fail("a duration text beyond the bounds");
  size_t x = result.ProbeFrameSize.find('x');
  if (x != std::string::npos) {
    for (const std::string& side :
         {result.ProbeFrameSize.substr(0, x), result.ProbeFrameSize.substr(x + 1)}) {
      auto pixels = pcm::ReadWholeNumber<long long>(side);
      if (pixels && *pixels > pcm::kMaxFrameSide) fuzz::Fail("a frame side beyond the bounds");
    }
  }
  return 0;
}
