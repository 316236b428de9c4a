#pragma once
#include <string>

namespace adapter {

// Describes the media file at path in the classic text form (an "Input #0"
// line, the "Duration:" line and one "Stream" line each for the first video
// and the first audio stream, all ending in CR LF) or, for a file that holds
// no usable stream, one error line. Never both.
std::string DescribeMedia(const std::string& path);

// The probe invocation: writes the description in one piece to standard
// output and returns the exit code, 1 like an encoder run without output.
int RunProbe(const std::string& path);

}  // namespace adapter
