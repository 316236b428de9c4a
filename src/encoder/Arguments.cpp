#include "Arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <initializer_list>

namespace adapter {

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool IsUrl(const std::string& s) {
  // scheme://... with a scheme of letters, digits, '+', '.', '-'.
  size_t sep = s.find("://");
  if (sep == std::string::npos || sep == 0 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (size_t i = 1; i < sep; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (!std::isalnum(c) && c != '+' && c != '.' && c != '-') return false;
  }
  return true;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string LiteralPath(const std::string& path) {
  if (path == "-" || StartsWith(path, "file:") || StartsWith(path, "pipe:") || IsUrl(path)) return path;
  return "file:" + path;
}

Args FfmpegArguments(const Args& in) {
  Args out{"-nostdin"};
  std::string format;  // the last "-f" value, for the input or the output after it
  bool update = false;
  const size_t n = in.size();
  for (size_t i = 0; i < n; ++i) {
    const std::string& a = in[i];
    if (a == "-i" && i + 1 < n) {
      // A lavfi "input" is a filter graph, not a file name.
      out.push_back(a);
      out.push_back(format == "lavfi" ? in[i + 1] : LiteralPath(in[i + 1]));
      format.clear();
      ++i;
    } else if (a == "-f" && i + 1 < n) {
      format = in[i + 1];
      out.push_back(a);
      out.push_back(format);
      ++i;
    } else if (i == n - 1 && n >= 2) {
      // The last argument is the output. image2 reads '%' in its name as a
      // frame number pattern; one still keeps its name as given.
      if (format == "image2" && !update) {
        out.push_back("-update");
        out.push_back("1");
      }
      out.push_back(LiteralPath(a));
    } else if (a == "-b") {
      out.push_back("-b:v");
    } else if (a == "-ab") {
      out.push_back("-b:a");
    } else {
      if (a == "-update") update = true;
      out.push_back(a);
    }
  }
  FitAudioRate(out);
  HoldVideoRate(out);
  return out;
}

bool NamesOutputFormat(const Args& args) {
  size_t from = 0;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "-i") from = i + 2;
  for (size_t i = from; i + 2 < args.size(); ++i)
    if (args[i] == "-f" || args[i] == "-target") return true;
  return false;
}

bool IsAmrOutput(const Args& in) {
  if (in.size() < 2) return false;
  std::string last = Lower(in.back());
  return last.size() > 4 && last.compare(last.size() - 4, 4, ".amr") == 0;
}

int AmrMode(const std::string& rate) {
  static const double kModes[] = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};
  if (rate.empty()) return 7;
  char* end = nullptr;
  double value = std::strtod(rate.c_str(), &end);
  if (end == rate.c_str()) return 7;
  if (*end == 'k' || *end == 'K') value *= 1000;
  int mode = 0;
  for (int m = 0; m < 8; ++m)
    if (kModes[m] <= value + 0.5) mode = m;
  return mode;
}

AmrPlan PlanAmr(const Args& in) {
  AmrPlan plan;
  plan.ffmpeg.push_back("-nostdin");
  std::string rate;
  std::string format;
  // Only the input, its streams and its time range pass to the decoder;
  // everything else (codec, rates, channels, sizes) was meant for the encoder.
  const size_t n = in.size();
  for (size_t i = 0; i + 1 < n; ++i) {
    const std::string& a = in[i];
    bool hasValue = i + 2 < n;  // the value must not be the output
    if (a == "-y") {
      plan.ffmpeg.push_back(a);
    } else if (a == "-f" && hasValue) {
      format = in[++i];
    } else if (a == "-i" && hasValue) {
      // A format given before the input is the input's own.
      if (!format.empty()) plan.ffmpeg.insert(plan.ffmpeg.end(), {"-f", format});
      plan.ffmpeg.push_back(a);
      plan.ffmpeg.push_back(format == "lavfi" ? in[i + 1] : LiteralPath(in[i + 1]));
      format.clear();
      ++i;
    } else if (a == "-re") {
      plan.ffmpeg.push_back(a);
    } else if ((a == "-ss" || a == "-t" || a == "-to") && hasValue) {
      plan.ffmpeg.push_back(a);
      plan.ffmpeg.push_back(in[++i]);
    } else if ((a == "-ab" || a == "-b:a") && hasValue) {
      rate = in[++i];
    } else if (a == "-map" && hasValue && in[i + 1].compare(0, 1, "[") != 0) {
      // Which input streams to decode; a filter graph's output is not decoded here.
      plan.ffmpeg.push_back(a);
      plan.ffmpeg.push_back(in[++i]);
    }
  }
  for (const char* a : {"-vn", "-sn", "-f", "wav", "-ar", "8000", "-ac", "1", "pipe:1"})
    plan.ffmpeg.push_back(a);

  // -V1: sox reports failures only, not the open length of piped WAV.
  // sox takes a name starting with '-' as an option: keep it a path.
  std::string output = n ? in.back() : std::string();
  if (!output.empty() && output[0] != '/') output = "./" + output;
  plan.sox = {"-V1", "-t", "wav", "-", "-t", "amr-nb", "-C", std::to_string(AmrMode(rate)), output};
  return plan;
}

namespace {

// The value after the last occurrence of any of the names, or "" with
// *at = 0 when none is given.
std::string LastValue(const Args& args, std::initializer_list<const char*> names, size_t* at = nullptr) {
  std::string value;
  if (at) *at = 0;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    for (const char* name : names)
      if (args[i] == name) {
        value = args[i + 1];
        if (at) *at = i + 1;
      }
  return value;
}

// A whole number with an optional "k" for thousands; -1 when not one.
long long ReadRate(const std::string& text) {
  if (text.empty() || text.size() > 12) return -1;
  long long v = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    v = v * 10 + (text[i] - '0');
  if (i == 0) return -1;
  if (i == text.size()) return v;
  if (i + 1 == text.size() && (text[i] == 'k' || text[i] == 'K')) return v * 1000;
  return -1;
}

}  // namespace

void HoldVideoRate(Args& args) {
  size_t at = 0;
  const std::string rate = LastValue(args, {"-b:v"}, &at);
  const std::string codec = LastValue(args, {"-vcodec", "-c:v", "-codec:v"});
  static const char* const kDrifting[] = {"mpeg4", "msmpeg4v2", "wmv2", "flv", "rv20", "h263"};
  if (at == 0 || ReadRate(rate) <= 0 || args.size() < 2 ||
      std::none_of(std::begin(kDrifting), std::end(kDrifting), [&](const char* c) { return codec == c; }))
    return;
  for (const char* own : {"-maxrate", "-bufsize", "-target", "-maxrate:v", "-bufsize:v"})
    if (std::find(args.begin(), args.end(), own) != args.end()) return;
  // Before the output, which is the last argument.
  args.insert(args.end() - 1,
              {"-maxrate", std::to_string(ReadRate(rate)), "-bufsize", std::to_string(ReadRate(rate))});
}

void FitAudioRate(Args& args) {
  size_t at = 0;
  long long rate = ReadRate(LastValue(args, {"-b:a", "-ab"}, &at));
  std::string codec = LastValue(args, {"-acodec", "-c:a", "-codec:a"});
  long long sampleRate = ReadRate(LastValue(args, {"-ar"}));
  long long channels = ReadRate(LastValue(args, {"-ac"}));
  if (rate < 0 || at == 0) return;
  long long fitted = rate;
  if (codec == "libvorbis" && (channels == 1 || channels == 2)) {
    // libvorbis's managed bit rates per channel count, measured for its two
    // sample-rate families; other rates are left to the encoder.
    bool wide = sampleRate == 44100 || sampleRate == 48000;
    bool narrow = sampleRate == 22050 || sampleRate == 24000;
    if (!wide && !narrow) return;
    static const long long kLow[2][2] = {{17000, 33000}, {31000, 46000}};
    static const long long kHigh[2][2] = {{89000, 239000}, {179000, 499000}};
    fitted = std::clamp(rate, kLow[channels - 1][wide], kHigh[channels - 1][wide]);
  } else if (codec == "mp2") {
    // MPEG audio layer II knows only the rates of its table: the highest
    // one not above the rate asked for, or the lowest.
    static const long long kMpeg1[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const long long kMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const long long* table;
    if (sampleRate == 32000 || sampleRate == 44100 || sampleRate == 48000)
      table = kMpeg1;
    else if (sampleRate == 16000 || sampleRate == 22050 || sampleRate == 24000)
      table = kMpeg2;
    else
      return;
    fitted = table[0] * 1000;
    for (int i = 0; i < 14; ++i)
      if (table[i] * 1000 <= rate) fitted = table[i] * 1000;
  }
  if (fitted != rate) args[at] = std::to_string(fitted);
}

}  // namespace adapter
