#include "base/ClockText.h"

#include <climits>
#include <cstdio>

#include "base/WholeNumber.h"

namespace pcm {

int32_t ParseClock(const std::string& text) {
  size_t colon = text.find(':');
  size_t hours = colon == std::string::npos || colon < 2 ? 2 : colon;
  auto field = [&](size_t pos, size_t len, long long& v) {
    return ReadPaddedInteger(text.substr(std::min(pos, text.size()), len), v);
  };
  long long h, m, s;
  if (!field(0, hours, h) || !field(hours + 1, 2, m) || !field(hours + 4, 2, s)) return 0;
  long long total = h * 3600 + m * 60 + s;
  if (total > INT32_MAX || total < INT32_MIN) return 0;
  return int32_t(total);
}

std::string FormatClock(int32_t seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
  return buf;
}

}  // namespace pcm
