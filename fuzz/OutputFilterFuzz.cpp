// The adapter's time rewriting: ffmpeg's output fed in arbitrary pieces
// gives exactly what rewriting each whole line gives, however long the
// lines are.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "OutputFilter.h"

namespace {

std::string LineByLine(const std::string& text) {
  std::string out, line;
  for (char c : text) {
    line += c;
    if (c == '\r' || c == '\n') {
      adapter::RewriteTimes(line);
      out += line;
      line.clear();
    }
  }
  adapter::RewriteTimes(line);
  return out + line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte sets the piece sizes; short inputs are stretched so that
  // lines reach the length at which they are sent on in parts.
  unsigned seed = data[0];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (!text.empty() && (seed & 1))
    while (text.size() < 3 * adapter::OutputFilter::kMaxPending) text += text;
  std::string out;
  adapter::OutputFilter filter([&](const char* p, size_t n) { out.append(p, n); });
  for (size_t at = 0; at < text.size();) {
    seed = seed * 1103515245u + 12345u;
    size_t piece = 1 + (seed >> 8) % 9000;
    filter.Feed(text.data() + at, std::min(piece, text.size() - at));
    at += piece;
  }
  filter.Finish();
  if (out != LineByLine(text)) fuzz::Fail("a time rewritten differently when sent in parts");
  return 0;
}
