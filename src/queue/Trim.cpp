#include "queue/Trim.h"

#include <algorithm>

#include "engine/Progress.h"

namespace pcm {

std::string SetTrimRange(TrimRecord& trim, int32_t begin, int32_t end) {
  if (begin < 0 || end < 0) return "A trim time cannot be negative.";
  if (trim.total > 0 && begin >= trim.total)
    return "The begin " + FormatClock(begin) + " is not before the end of the entry (" +
           FormatClock(trim.total) + ").";
  int32_t last = trim.total > 0 ? std::min(end, trim.total) : end;
  if (begin >= last)
    return "The begin " + FormatClock(begin) + " must lie before the end " + FormatClock(last) +
           "; move the other time first.";
  trim.begin = begin;
  trim.end = last;
  return {};
}

void WriteTrimLength(ListRow& row) {
  row.entry.duration = FormatClock(row.trim.end - row.trim.begin);
  row.time = row.entry.duration;
}

bool ApplyTrim(ListRow& row, int32_t begin, int32_t end) {
  if (!SetTrimRange(row.trim, begin, end).empty()) return false;
  WriteTrimLength(row);
  return true;
}

}  // namespace pcm
