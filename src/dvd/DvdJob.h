#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/JobRecord.h"

namespace pcm {

class OptionAssembly;
struct ListRow;

// The job record of a DVD row: the output named after the row's caption
// (leading blanks and any folder part removed, for the numbered alternatives
// too), the options of the current profile as for a file (the profile's own
// option line included, or the encoder would get no codec), the row's
// playing time as the duration, no start or length options, and as input the
// adapter's DVD form: folder, title set, program chain, the row's sectors,
// the chosen streams and the trim within the row. `base` gives the encoder
// path and working directory; `reserved` names taken by entries planned
// before it. Throws CommandError for a row without DVD data.
intputrec DvdJobRecord(const intputrec& base, OptionAssembly& options, const ListRow& row,
                       const std::function<bool(const std::string&)>& reserved = {});

// What a row plays from in a preview: for a DVD row the adapter's DVD form
// of its sectors with its audio stream (whole, no subtitle, no trim), for
// any other row the source its conversion reads.
std::string PlayInputOf(const ListRow& row);
// What a still of a row is taken from: for a DVD row its DVD form with its
// subtitle and without sound (a picture file holds no sound), for any other
// row its source path. The still's position counts from the row's start.
std::string StillInputOf(const ListRow& row);

// Trims a row to begin..end seconds counted from the row's own start: for a
// DVD chapter the trim record counts within the title, so the chapter's
// start is added; other rows are trimmed as the trim window does. False
// (row unchanged) when the row ends at or before `begin`.
bool ApplyRowTrim(ListRow& row, int32_t begin, int32_t end);

}  // namespace pcm
