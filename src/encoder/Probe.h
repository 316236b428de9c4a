#pragma once
#include <string>

namespace adapter {

// Describes the media file at path as lines of "key=value" words made for
// reading back: a "media" line (container, length in milliseconds, overall
// bit rate, size, whether it holds tags), then a "stream" line for every
// stream (kind, codec, language, default and cover marks, channels, sample
// rate, bit rate, frame size, sample aspect ratio, rotation, frame rate,
// and the stream's own length where the file states it).
// A file that holds no usable stream gives one "error" line instead.
std::string DescribeMedia(const std::string& path);

// The format a conversion of the file at path pins its input to, found as
// the description finds it: 1 with its name as ffmpeg's "-f" takes it, 2
// when it is the image sequence format, which must then read the one file
// named ("-pattern_type none"), 0 with the reason when the file is refused
// (a playlist or list without its own extension, or no media at all).
int PinnedInputFormat(const std::string& path, std::string* name, std::string* refusal);

// The probe invocation: writes the description in one piece to standard
// output and returns the exit code, 1 like an encoder run without output.
int RunProbe(const std::string& path);

}  // namespace adapter
