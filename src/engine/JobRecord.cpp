#include "engine/JobRecord.h"

#include <utility>

namespace pcm {

std::string QuoteIfSpaced(const std::string& text) {
  if (text.find(' ') == std::string::npos) return text;
  return "\"" + text + "\"";
}

OptionField::OptionField(std::vector<std::string> args, std::string_view tail) : args_(std::move(args)) {
  for (const std::string& a : args_) text_ += " " + QuoteIfSpaced(a);
  text_ += tail;
}

OptionField OptionField::Written(std::vector<std::string> args, std::string text) {
  OptionField f;
  f.args_ = std::move(args);
  f.text_ = std::move(text);
  return f;
}

bool OptionField::Has(std::string_view arg) const {
  for (const std::string& a : args_)
    if (a == arg) return true;
  return false;
}

std::string OptionField::ValueOf(std::string_view name) const {
  std::string value;
  for (size_t i = 0; i + 1 < args_.size(); ++i)
    if (args_[i] == name) value = args_[i + 1];
  return value;
}

std::string BuildCommandLine(const intputrec& r) {
  std::string s;
  s += QuoteIfSpaced(r.EncoderPath);
  s += r.StartOpt.Text();
  s += " -y ";
  s += " -i ";
  s += QuoteIfSpaced(r.InputFile);
  s += r.VideoRateOpt.Text();
  s += r.AudioRateOpt.Text();
  s += r.ChannelsOpt.Text();
  s += r.AspectOpt.Text();
  s += r.LengthOpt.Text();
  s += r.SizeOpt.Text();
  s += " ";
  s += r.SampleRateOpt.Text();
  s += r.TargetOpt.Text();
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
  auto add = [&](const OptionField& field) {
    args.insert(args.end(), field.Args().begin(), field.Args().end());
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
