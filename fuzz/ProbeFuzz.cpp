// The encoder's description of a file, read in the probe's chunks of 2048
// bytes. Whatever it says, the values are within the plausible bounds.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "engine/MediaProbe.h"
#include "engine/MediaLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string pending, lines;
  for (size_t at = 0; at < text.size(); at += pcm::MediaProbe::kReadChunk) {
    pending.append(text, at, pcm::MediaProbe::kReadChunk);
    pcm::TakeDescriptionLines(pending, lines);
    if (pending.find('\n') != std::string::npos) fuzz::Fail("a line end left unconsumed");
  }
  pcm::MediaInfo m = pcm::ParseMediaDescription(lines);
  if (m.kbps < 0 || m.kbps > pcm::kMaxKbps) fuzz::Fail("a rate beyond the bounds");
  for (const pcm::StreamInfo& s : m.streams) {
    if (s.kbps < 0 || s.kbps > pcm::kMaxKbps) fuzz::Fail("a stream rate beyond the bounds");
    if (s.width < 0 || s.width > pcm::kMaxFrameSide || s.height < 0 || s.height > pcm::kMaxFrameSide)
      fuzz::Fail("a frame side beyond the bounds");
    if (s.rotation % 90 != 0) fuzz::Fail("a rotation that is no quarter turn");
    pcm::FrameSize shown = pcm::DisplayedSize(s);
    if (shown.width <= 0 || shown.height <= 0 || shown.width > pcm::kMaxFrameSide + 2)
      fuzz::Fail("a shown size beyond the bounds");
  }
  if (m.streams.size() > 256) fuzz::Fail("more streams than kept");
  return 0;
}
