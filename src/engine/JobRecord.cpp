#include "engine/JobRecord.h"

namespace pcm {

std::string QuoteIfSpaced(const std::string& text) {
  if (text.find(' ') == std::string::npos) return text;
  return "\"" + text + "\"";
}

std::string BuildCommandLine(const intputrec& r) {
  std::string s;
  s += QuoteIfSpaced(r.EncoderPath);
  s += r.StartOpt;
  s += " -y ";
  s += " -i ";
  s += QuoteIfSpaced(r.InputFile);
  s += r.VideoRateOpt;
  s += r.AudioRateOpt;
  s += r.ChannelsOpt;
  s += r.AspectOpt;
  s += r.LengthOpt;
  s += r.SizeOpt;
  s += " ";
  s += r.SampleRateOpt;
  s += r.TargetOpt;
  s += " ";
  s += QuoteIfSpaced(r.OutputFile);
  return s;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  bool inQuotes = false, have = false;
  for (char c : text) {
    if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (have) out.push_back(cur);
      cur.clear();
      have = false;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) out.push_back(cur);
  return out;
}

std::vector<std::string> BuildArgumentVector(const intputrec& r) {
  std::vector<std::string> args{r.EncoderPath};
  auto add = [&](const std::string& field) {
    for (auto& a : SplitCommandLine(field)) args.push_back(a);
  };
  add(r.StartOpt);
  args.push_back("-y");
  args.push_back("-i");
  args.push_back(r.InputFile);
  add(r.VideoRateOpt);
  add(r.AudioRateOpt);
  add(r.ChannelsOpt);
  add(r.AspectOpt);
  add(r.LengthOpt);
  add(r.SizeOpt);
  add(r.SampleRateOpt);
  add(r.TargetOpt);
  args.push_back(r.TempFile.empty() ? r.OutputFile : r.TempFile);
  return args;
}

}  // namespace pcm
