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

// The line that says why a conversion failed, to head its reasons: the
// adapter's own verdict ("register.dat: the output is 3.0 s of 10.0 s",
// shown as "The output is 3.0 s of 10.0 s"), else the encoder's last error
// line that names a cause after a colon ("Error closing file x.mp3: No
// space left on device"). `from` is the index of the line it was made
// from. "" when no line says.
std::string FailureCause(const std::vector<std::string>& lines, size_t* from = nullptr);

// Whether the adapter reported the result it checked ("result ..."): the
// output's length was then judged against the planned span already.
bool HasCheckedResult(const std::vector<std::string>& lines);

// The encoder output kept with an entry for the properties window: every
// line, except that the progress reports are reduced to the last one; at
// most maxLines of the last ones.
std::vector<std::string> KeptOutput(const std::vector<std::string>& lines, size_t maxLines);

}  // namespace pcm
