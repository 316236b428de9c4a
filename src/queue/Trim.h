#pragma once
#include <cstdint>

#include "queue/ListRow.h"

namespace pcm {

// Trims an entry to begin..end seconds as the trim window's close does: the
// trim record takes the times, and the entry's duration and "Time" column
// the length. Only times within the entry are taken, so an end past it
// becomes its end. An entry that ends at or before `begin` is left as it is
// and false returned: its encoder would write an empty file and report
// success. An entry of no known whole second is trimmed as asked.
bool ApplyTrim(ListRow& row, int32_t begin, int32_t end);

}  // namespace pcm
