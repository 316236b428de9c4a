#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace pcm {

// The lines of an encoder's output that say what went wrong, at most
// maxLines of them. The version banner, the input and stream descriptions
// with their tags, the stream mapping, the progress reports and the
// encoders' reports on their own work (x264's set-up and statistics) are
// left out; a line that names the output file stays. When more are left
// than fit, the last error lines are kept first, then the last of the
// others, in their order. When nothing is left, the last lines as they were.
std::vector<std::string> MeaningfulLines(const std::vector<std::string>& lines, size_t maxLines);

// The encoder output kept with an entry for the properties window: every
// line, except that the progress reports are reduced to the last one; at
// most maxLines of the last ones.
std::vector<std::string> KeptOutput(const std::vector<std::string>& lines, size_t maxLines);

}  // namespace pcm
