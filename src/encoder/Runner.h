#pragma once
#include "Arguments.h"

namespace adapter {

// Makes the adapter die with its parent and forward SIGTERM and SIGINT to
// the programs it runs. Called once at start.
void SetUpLifetime();

// Runs ffmpeg with the arguments of one conversion or still image, passing
// its output on with times in seconds. Returns the exit code for the
// adapter: ffmpeg's own, 128 + signal when it was killed, 127 when it could
// not be started.
int RunConversion(const Args& args);

// An AMR narrow-band conversion: ffmpeg decodes, sox encodes. Non-zero when
// either fails.
int RunAmrConversion(const Args& args);

// A conversion of a DVD row given in the adapter's own form at args[at]: its
// sectors are read from the DVD and streamed into ffmpeg's standard input.
// A form that cannot be read or a DVD that cannot be opened gives one error
// line and exit code 1 before anything runs.
int RunDvdConversion(const Args& args, size_t at);

// Writes, instead of running it, the command a conversion with these
// arguments runs, each argument ended by a NUL byte: ffmpeg's path and
// arguments for a plain conversion; the adapter's own path and the
// arguments as given for a DVD row or an AMR output, which need the adapter
// around ffmpeg. Returns 0, or 1 when the command cannot be written.
int PrintCommand(const Args& args);

}  // namespace adapter
