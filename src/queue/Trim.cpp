#include "queue/Trim.h"

#include <algorithm>

#include "engine/Progress.h"

namespace pcm {

bool ApplyTrim(ListRow& row, int32_t begin, int32_t end) {
  if (row.trim.total > 0 && begin >= row.trim.total) return false;
  row.trim.begin = begin;
  row.trim.end = row.trim.total > 0 ? std::min(end, row.trim.total) : end;
  row.entry.duration = FormatClock(row.trim.end - row.trim.begin);
  row.time = row.entry.duration;
  return true;
}

}  // namespace pcm
