#pragma once
#include <string>
#include <vector>

namespace pcm {

// The job file of `--export-jobs`: one shell command line per entry, which
// GNU parallel runs as it is, here or on machines that share the folders.

// The text as one shell word: in single quotes, a quote inside written as
// '\''. Every byte but the quote means itself there, names that are not
// UTF-8 included.
std::string ShellWord(const std::string& text);

// The words as one shell command line: a word of letters, digits and
// "_@%+=:,./-" alone stands bare, any other is a ShellWord, so the line
// runs the command it shows and nothing else.
std::string ShellLine(const std::vector<std::string>& words);

// The job line of a conversion: the adapter's command (the adapter's path,
// then the conversion's arguments, whose last is the final output name),
// run so that the adapter writes into a new hidden file beside the final
// name and gives it that name only when the conversion succeeded, never in
// place of a file that has it. A failure or a stop removes the hidden file
// and ends the line with a non-zero status.
std::string JobLine(const std::vector<std::string>& adapterCommand);

// Writes text to a new file at path, never replacing one: it is written
// under a hidden name first and linked to its name only when complete.
// "-" is standard output. False with the reason in `error`.
bool WriteNewFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace pcm
