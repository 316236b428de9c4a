#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pcm {

// The job record of one encoder run. Every option field is a ready piece of
// command line with its own leading blank; an empty field contributes nothing.
struct intputrec {
  std::string InputFile;
  std::string OutputFile;
  // Where the encoder actually writes when set: a reserved hidden file that
  // gets OutputFile's name (or a free alternative) once the job succeeded.
  std::string TempFile;
  std::string EncoderPath;
  std::string WorkDir;
  std::string VideoRateOpt;
  std::string AudioRateOpt;
  int32_t DurationSecs = 0;
  std::string TargetOpt;
  std::string SizeOpt;
  std::string SampleRateOpt;
  std::string ChannelsOpt;
  std::string AspectOpt;
  std::string StartOpt;
  std::string LengthOpt;
};

// The text in double quotes when it holds a blank, else unchanged.
std::string QuoteIfSpaced(const std::string& text);

// The encoder's command line as one string, pieces concatenated in the fixed
// order. Kept exact for the log, the dry run and the tests.
std::string BuildCommandLine(const intputrec& rec);

// The argument vector actually started: paths taken whole from the record
// (the output is TempFile when one is reserved),
// option fields split by the command-line quoting rule. Never produced by
// re-splitting the string above, so paths with quotes or blanks stay intact.
std::vector<std::string> BuildArgumentVector(const intputrec& rec);

// Splits a command-line text at blanks, keeping double-quoted stretches whole
// and dropping the quotes.
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace pcm
