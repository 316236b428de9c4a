#include "queue/EncoderLines.h"

#include <cctype>

namespace pcm {

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "frame=  12 fps=0.0 ... time=00:00:01.00 bitrate= ..." and the audio form
// "size=  20kB time=00:00:01.25 bitrate= ...".
bool IsProgressReport(const std::string& line) {
  return line.find("time=") != std::string::npos &&
         (line.find("bitrate=") != std::string::npos || line.find("speed=") != std::string::npos);
}

bool IsClosingSummary(const std::string& line) {
  return line.find("video:") != std::string::npos && line.find("audio:") != std::string::npos &&
         line.find("muxing overhead") != std::string::npos;
}

bool IsNoise(const std::string& line) {
  // Stream descriptions, tags and the banner's details are indented; the
  // encoder's complaints are not.
  if (line.empty() || line[0] == ' ' || line[0] == '\t') return true;
  // The adapter's account of a result it checked says nothing of a failure.
  for (const char* prefix :
       {"ffmpeg version", "Input #", "Stream mapping:", "Press [q]", "Duration:", "result "})
    if (StartsWith(line, prefix)) return true;
  // The closing summary: "video:0kB audio:157kB subtitle:0kB ..." (with or
  // without the output's tag in front).
  if (IsClosingSummary(line)) return true;
  return IsProgressReport(line);
}

// "[libx264 @ 0x55d0c1a2b3c0] ...": a line an encoder, decoder or muxer
// prints about itself; the text after the bracket in `text`.
bool IsComponentLine(const std::string& line, std::string* text) {
  if (line.empty() || line[0] != '[') return false;
  size_t at = line.find(" @ 0x");
  size_t close = line.find("] ");
  if (at == std::string::npos || close == std::string::npos || at > close) return false;
  *text = line.substr(close + 2);
  return true;
}

// A line that says something failed: the encoder's own words for it, or a
// system error such as a full disk or a denied permission.
bool IsErrorLine(const std::string& line) {
  static const char* const kWords[] = {"rror",      "ailed",         "No such",     "No space",     "denied",
                                       "nvalid",    "not supported", "nsupported",  "ould not",     "annot",
                                       "Unknown",   "not found",     "Too many",    "too large",    "quota",
                                       "Read-only", "Broken pipe",   "not allowed", "register.dat:"};
  for (const char* w : kWords)
    if (line.find(w) != std::string::npos) return true;
  return false;
}

// What an encoder reports on its own work, which says nothing about a
// failure: its set-up lines and its statistics after the closing summary
// (x264's frame and macroblock counts, the AAC encoder's average quantiser).
bool IsEncoderReport(const std::string& line, bool afterSummary) {
  std::string text;
  if (!IsComponentLine(line, &text) || IsErrorLine(text)) return false;
  if (afterSummary) return true;
  for (const char* prefix : {"using SAR", "using cpu capabilities", "profile ", "264 - core"})
    if (StartsWith(text, prefix)) return true;
  return false;
}

std::vector<std::string> Last(std::vector<std::string> lines, size_t maxLines) {
  if (lines.size() > maxLines) lines.erase(lines.begin(), lines.end() - long(maxLines));
  return lines;
}

}  // namespace

std::vector<std::string> MeaningfulLines(const std::vector<std::string>& lines, size_t maxLines) {
  std::vector<std::string> kept;
  bool afterSummary = false;
  for (const std::string& line : lines) {
    afterSummary = afterSummary || IsClosingSummary(line);
    if (!IsNoise(line) && !IsEncoderReport(line, afterSummary)) kept.push_back(line);
  }
  if (kept.empty()) return Last(lines, maxLines);
  if (kept.size() <= maxLines) return kept;
  // Too many: the last error lines first, then the last of the others, in
  // their order.
  std::vector<bool> shown(kept.size(), false);
  size_t left = maxLines;
  for (bool errors : {true, false})
    for (size_t i = kept.size(); i-- > 0 && left > 0;)
      if (!shown[i] && IsErrorLine(kept[i]) == errors) {
        shown[i] = true;
        --left;
      }
  std::vector<std::string> chosen;
  for (size_t i = 0; i < kept.size(); ++i)
    if (shown[i]) chosen.push_back(kept[i]);
  return chosen;
}

std::string FailureCause(const std::vector<std::string>& lines, size_t* from) {
  static const std::string kAdapter = "register.dat: ";
  for (size_t i = lines.size(); i-- > 0;) {
    if (lines[i].rfind(kAdapter, 0) != 0 || lines[i].size() == kAdapter.size()) continue;
    std::string cause = lines[i].substr(kAdapter.size());
    cause[0] = char(std::toupper(static_cast<unsigned char>(cause[0])));
    if (from) *from = i;
    return cause;
  }
  for (size_t i = lines.size(); i-- > 0;) {
    const std::string& line = lines[i];
    if (IsNoise(line) || !IsErrorLine(line) || line.find(": ") == std::string::npos) continue;
    if (from) *from = i;
    return line;
  }
  return {};
}

bool HasCheckedResult(const std::vector<std::string>& lines) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (StartsWith(*it, "result ")) return true;
  return false;
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
