#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pcm {

// One option field of a job record: the arguments it gives the encoder and
// the text the command line shows for them. The arguments are what is
// started; the text is made from them (or kept as a profile wrote it) and
// never split again.
class OptionField {
 public:
  OptionField() = default;
  // Each argument shown after a blank, quoted when it holds one; `tail` is
  // shown after them (some fields end in a blank on the shown line).
  explicit OptionField(std::vector<std::string> args, std::string_view tail = {});
  // Arguments with the text they were written as (a profile's line).
  static OptionField Written(std::vector<std::string> args, std::string text);

  const std::vector<std::string>& Args() const { return args_; }
  const std::string& Text() const { return text_; }
  bool empty() const { return args_.empty(); }
  bool Has(std::string_view arg) const;
  // The argument after the last `name`, "" when there is none.
  std::string ValueOf(std::string_view name) const;
  bool operator==(const OptionField&) const = default;

 private:
  std::vector<std::string> args_;
  std::string text_;
};

// The job record of one encoder run. An empty option field contributes
// nothing.
struct intputrec {
  std::string InputFile;
  std::string OutputFile;
  // Where the encoder actually writes when set: a reserved hidden file that
  // gets OutputFile's name (or a free alternative) once the job succeeded.
  std::string TempFile;
  std::string EncoderPath;
  std::string WorkDir;
  OptionField VideoRateOpt;
  OptionField AudioRateOpt;
  int32_t DurationSecs = 0;
  OptionField TargetOpt;
  OptionField SizeOpt;
  OptionField SampleRateOpt;
  OptionField ChannelsOpt;
  OptionField AspectOpt;
  OptionField StartOpt;
  OptionField LengthOpt;
};

// The text in double quotes when it holds a blank, else unchanged.
std::string QuoteIfSpaced(const std::string& text);

// The encoder's command line as one string, pieces concatenated in the fixed
// order. Kept exact for the log, the dry run and the tests.
std::string BuildCommandLine(const intputrec& rec);

// The argument vector actually started: paths taken whole from the record
// (the output is TempFile when one is reserved), then each field's
// arguments. Never produced by splitting the string above, so paths and
// values with quotes or blanks stay intact.
std::vector<std::string> BuildArgumentVector(const intputrec& rec);

// Splits a command-line text at blanks, keeping double-quoted stretches whole
// and dropping the quotes: for lines read from a file (a profile's options).
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace pcm
