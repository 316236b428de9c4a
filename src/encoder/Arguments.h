#pragma once
#include <string>
#include <vector>

namespace adapter {

using Args = std::vector<std::string>;

// A path as ffmpeg should open it: plain paths get the "file:" protocol so
// names with ':' or a leading '-' are taken literally; URLs, "-" and
// already prefixed names stay as they are.
std::string LiteralPath(const std::string& path);

// The ffmpeg arguments for one invocation of ours: "-nostdin" first, the
// old "-b"/"-ab" spelled "-b:v"/"-b:a", the input and the output literal.
Args FfmpegArguments(const Args& in);

// Some audio encoders refuse rates that others take: libvorbis has a range
// per channel count and sample rate, mp2 only the rates of its table. The
// audio rate of ffmpeg arguments ("-b:a") is brought to the nearest rate the
// chosen encoder takes, so that no quality step, channel choice or source
// rate fails a job.
void FitAudioRate(Args& ffmpegArgs);

// The video encoders of the MPEG-4 part 2 and H.263 family start far from
// the rate asked for ("-b:v") and reach it only after minutes: a clip of
// seconds came out at twice its rate. A rate buffer of one second with the
// rate as its ceiling holds them to it (with two seconds a clip of a few
// seconds still came out a fifth over), unless the arguments set their own.
void HoldVideoRate(Args& ffmpegArgs);

// Whether the arguments name the output's format ("-f" or "-target" after
// the last input), so the output can be written without its name.
bool NamesOutputFormat(const Args& args);

// True when the output (the last argument) is an AMR narrow-band file,
// which ffmpeg cannot encode here and sox writes instead.
bool IsAmrOutput(const Args& in);

// The AMR narrow-band mode 0..7 for a bit rate such as "12200" or "12.2k":
// the highest mode at or below the rate; 0 below the lowest, 7 when the
// rate is missing or unreadable.
int AmrMode(const std::string& rate);

// The two commands of an AMR conversion: ffmpeg decodes to 8 kHz mono WAV on
// its standard output, sox encodes that into the output file.
struct AmrPlan {
  Args ffmpeg;
  Args sox;
};
AmrPlan PlanAmr(const Args& in);

}  // namespace adapter
