#pragma once
#include <optional>
#include <string>
#include <vector>

namespace pcm {

// The job file of `--export-jobs`: one shell command line per entry, which
// GNU parallel runs as it is, here or on machines that share the folders.

// The text as one shell word: in single quotes, a quote inside written as
// '\''. Every byte but the quote means itself there, names that are not
// UTF-8 included.
std::string ShellWord(const std::string& text);

// The command a conversion with these adapter arguments runs (ffmpeg's, or
// the adapter's own for a DVD row), asked of the adapter at `encoderPath`.
// Nothing, with the reason in `error`, when it cannot say.
std::optional<std::vector<std::string>> EncoderCommand(const std::string& encoderPath,
                                                       const std::vector<std::string>& args,
                                                       std::string& error);

// A hidden name beside finalPath of the form the batch reserves (another
// run's unfinished output, never taken as an input), that nothing has and
// `taken` does not hold. Empty when none was found.
std::string UnusedTemporaryName(const std::string& finalPath, const std::vector<std::string>& taken);

// The job line: the command writes to temp; only when it succeeded does
// temp get the final name, and never in place of a file that has it. On any
// failure temp is removed and the line exits with status 1.
std::string JobLine(const std::vector<std::string>& command, const std::string& temp,
                    const std::string& finalPath);

// Writes text to a new file at path, never replacing one: it is written
// under a hidden name first and linked to its name only when complete.
// "-" is standard output. False with the reason in `error`.
bool WriteNewFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace pcm
