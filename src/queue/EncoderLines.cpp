#include "queue/EncoderLines.h"

namespace pcm {

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "frame=  12 fps=0.0 ... time=00:00:01.00 bitrate= ..." and the audio form
// "size=  20kB time=00:00:01.25 bitrate= ...".
bool IsProgressReport(const std::string& line) {
  return line.find("time=") != std::string::npos &&
         (line.find("bitrate=") != std::string::npos || line.find("speed=") != std::string::npos);
}

bool IsNoise(const std::string& line) {
  // Stream descriptions, tags and the banner's details are indented; the
  // encoder's complaints are not.
  if (line.empty() || line[0] == ' ' || line[0] == '\t') return true;
  for (const char* prefix : {"ffmpeg version", "Input #", "Stream mapping:", "Press [q]", "Duration:"})
    if (StartsWith(line, prefix)) return true;
  // The closing summary: "video:0kB audio:157kB subtitle:0kB ..." (with or
  // without the output's tag in front).
  if (line.find("video:") != std::string::npos && line.find("audio:") != std::string::npos &&
      line.find("muxing overhead") != std::string::npos)
    return true;
  return IsProgressReport(line);
}

std::vector<std::string> Last(std::vector<std::string> lines, size_t maxLines) {
  if (lines.size() > maxLines) lines.erase(lines.begin(), lines.end() - long(maxLines));
  return lines;
}

}  // namespace

std::vector<std::string> MeaningfulLines(const std::vector<std::string>& lines, size_t maxLines) {
  std::vector<std::string> kept;
  for (const std::string& line : lines)
    if (!IsNoise(line)) kept.push_back(line);
  return Last(kept.empty() ? lines : kept, maxLines);
}

std::vector<std::string> KeptOutput(const std::vector<std::string>& lines, size_t maxLines) {
  size_t lastReport = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (IsProgressReport(lines[i])) lastReport = i;
  std::vector<std::string> kept;
  for (size_t i = 0; i < lines.size(); ++i)
    if (i == lastReport || !IsProgressReport(lines[i])) kept.push_back(lines[i]);
  return Last(kept, maxLines);
}

}  // namespace pcm
