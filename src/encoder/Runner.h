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

}  // namespace adapter
