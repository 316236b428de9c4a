#pragma once
#include "Arguments.h"

namespace adapter {

// Makes the adapter die with its parent and forward SIGTERM and SIGINT to
// the programs it runs. Called once at start.
void SetUpLifetime();

// The program to run: a name with a '/' as it is, else looked up on PATH
// (the name itself when it is not found there).
std::string FindProgram(const std::string& name);
// ffmpeg: $POPCLIPMILL_FFMPEG, else "ffmpeg", found as above.
std::string FfmpegProgram();

// Where a conversion's output goes. By default the output argument names
// the file. With fd set the file is open already: the program that writes
// it gets it as its descriptor 3 (sox as its standard output) instead of a
// name, so a link or file put in its place is never opened.
struct OutputTarget {
  int fd = -1;
};

// Runs ffmpeg with the arguments of one conversion or still image, passing
// its output on with times in seconds. Returns the exit code for the
// adapter: ffmpeg's own, 128 + signal when it was killed, 127 when it could
// not be started.
int RunConversion(const Args& args, const OutputTarget& target = {});

// An AMR narrow-band conversion: ffmpeg decodes, sox encodes. Non-zero when
// either fails.
int RunAmrConversion(const Args& args, const OutputTarget& target = {});

// A conversion of a DVD row given in the adapter's own form at args[at]: its
// sectors are read from the DVD and streamed into ffmpeg's standard input.
// A form that cannot be read or a DVD that cannot be opened gives one error
// line and exit code 1 before anything runs.
int RunDvdConversion(const Args& args, size_t at, const OutputTarget& target = {});

// Any conversion, by what its arguments ask for: a DVD row, an AMR output
// or a plain one. A conversion into a hidden output name (a batch's or a
// job line's) has its result checked before anyone gives it its final name
// (CheckResult): the "result" line tells what was written, and a result
// that falls short fails the conversion with exit code 1 and the reason.
int Convert(const Args& args, const OutputTarget& target = {});

// Whether a conversion with these arguments has its result checked: its
// output is a hidden output name.
bool ChecksResult(const Args& args);
// Loads what the check needs; called before the adapter confines itself,
// so the probe module beside the program is read wherever it lies. False
// when it cannot be loaded; the check then fails the conversion.
bool PrepareResultCheck();

// The batches hand over an output file they reserved and hold locked (a
// hidden output name): it is opened here without following a link, must be
// this user's regular file, and is written through its descriptor, so
// nothing another user put in its place meanwhile is written. An output
// whose format the arguments do not name (a still) is written by its name.
// False, with the error line said, when the file is not one reserved.
bool OpenReservedOutput(const Args& args, OutputTarget& target);

// The option before a conversion's arguments that writes its output into a
// new file: the job lines use it.
inline constexpr const char* kNewOutputOption = "--new-output";

// The conversion of a job line, whose output (the last argument) is a final
// name. Its result is written into a hidden file created beside it, never
// where anything exists, and locked while it is written; the file gets the
// final name only when the conversion succeeded and never in place of a
// file that has it. A failure or a stop request (SIGTERM, SIGINT, SIGHUP)
// removes it. Returns the conversion's exit code, 1 when the name was taken
// or could not be given, 128 + signal after a stop request.
int ConvertIntoNewFile(Args args);

// Writes, instead of running it, the command a conversion with these
// arguments runs, each argument ended by a NUL byte: ffmpeg's path and
// arguments for a plain conversion; the adapter's own path and the
// arguments as given for a DVD row or an AMR output, which need the adapter
// around ffmpeg. Returns 0, or 1 when the command cannot be written.
int PrintCommand(const Args& args);

}  // namespace adapter
