#pragma once
#include <cstdint>
#include <string>

#include "queue/ListRow.h"

namespace pcm {

// The one trim rule, used by the trim window and by the front end's --trim.
// Only times within the entry are taken, so an end past it becomes its end.
// A range that would leave nothing to convert (the begin at or after the
// end, or at or after the entry's end) is refused and the record left as it
// is: its encoder would write an empty file, or one of a negative length,
// and report success. An entry of no known whole second is trimmed as asked.
// Returns "" when the range was taken, else the reason, for a message.
std::string SetTrimRange(TrimRecord& trim, int32_t begin, int32_t end);

// The length of the trim, end - begin, becomes the entry's duration text
// and its "Time" column: what the conversion passes as the length.
void WriteTrimLength(ListRow& row);

// Trims an entry to begin..end seconds as the trim window's close does:
// SetTrimRange, then WriteTrimLength. False when the range was refused.
bool ApplyTrim(ListRow& row, int32_t begin, int32_t end);

}  // namespace pcm
