#pragma once
#include <string>

#include "Arguments.h"

namespace adapter {

// Whether a line of ffmpeg's output says that the output was not written
// whole. ffmpeg 5.1 still exits 0 when writing fails at the very end (a
// disk that fills while the trailer is written or the file is closed).
// Returns the system's reason ("No space left on device") or the line.
std::string WriteFailure(const std::string& line);

// What the check of a result found, for the "result" line the adapter
// prints: key=value words made for reading back.
struct ResultCheck {
  std::string fault;  // why the result is no result; "" when it is good
  std::string line;   // "result bytes=... duration_ms=... planned_ms=... video=N audio=N\n"
};

// Checks the result written to `path` before it gets its final name: it
// must be a readable media file holding a stream, and its length must not
// fall more than half a second short of the span the arguments plan: the
// input's length (its picture's and converted sound's, or for a result of
// sound alone the length of the sound track converted), less a seek before
// the input, at most the length asked for with "-t". A length that is not
// known is not judged.
ResultCheck CheckResult(const Args& args, const std::string& path);

}  // namespace adapter
