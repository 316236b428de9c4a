#pragma once
#include <cctype>
#include <cstring>
#include <string>

// Formats whose files name other files that the library then opens (a
// playlist's segments, a list's entries, the parts of a split recording).
// Such a file is read only when the person named it for what it is, by the
// format's own extension: without one, a text file called "holiday.avi"
// could pull any file it names into a result. A format listed without an
// extension is never read. The adapter lets such a file's folder be read
// (its entries lie there); the probe module refuses the others.
namespace adapter {

struct OpenerFormat {
  const char* format;     // the library's name
  const char* extension;  // its own extension, lower case, or null
  const char* what;       // what the file is, for the refusal
};

inline constexpr OpenerFormat kOpenerFormats[] = {
    {"hls", "m3u8", "an HLS playlist"},        {"concat", "ffconcat", "a concat list"},
    {"dash", "mpd", "a DASH manifest"},        {"mlv", "mlv", "a recording split over several files"},
    {"imf", nullptr, "an IMF composition"},    {"vobsub", nullptr, "a VobSub index"},
    {"avisynth", nullptr, "a script"},         {"vapoursynth", nullptr, "a script"},
    {"sdp", nullptr, "a session description"}, {"rtsp", nullptr, "a stream address"},
    {"rtp", nullptr, "a stream address"},
};

// The file name's extension after its last dot, lower case; "" without one.
inline std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// Whether the path's name has the own extension of a format that opens
// other files: the person means it as such a file.
inline bool NamedAsOpener(const std::string& path) {
  const std::string ext = LowerExtension(path);
  for (const OpenerFormat& f : kOpenerFormats)
    if (f.extension && ext == f.extension) return true;
  return false;
}

}  // namespace adapter
