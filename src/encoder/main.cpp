// register.dat: the encoder behind PopClipMill. "-i PATH" alone describes a
// media file, "--describe-each PATH..." several files in one run, and
// "--describe-dvd IFO" the titles of a DVD's title set; anything else is a
// conversion run by ffmpeg, or printed with "--print-command" first, or
// written into a new file beside its final name with "--new-output". An
// input in the adapter's DVD form is read from the DVD and piped into ffmpeg.
#include <unistd.h>

#include <string>

#include "Arguments.h"
#include "DvdDescribe.h"
#include "DvdInput.h"
#include "ProbeLoader.h"
#include "Runner.h"

int main(int argc, char** argv) {
  pid_t parent = getppid();
  adapter::SetUpLifetime();
  if (argc < 2) {
    static const char kUsage[] =
        "usage: register.dat -i INPUT\n"
        "       register.dat --describe-each INPUT...\n"
        "       register.dat --describe-dvd IFO-FILE\n"
        "       register.dat [OPTIONS] -i INPUT [OPTIONS] OUTPUT\n"
        "       register.dat --print-command [OPTIONS] -i INPUT [OPTIONS] OUTPUT\n"
        "       register.dat --new-output [OPTIONS] -i INPUT [OPTIONS] OUTPUT\n";
    (void)!write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
    return 2;
  }
  adapter::Args args(argv + 1, argv + argc);
  // "--print-command" before a conversion's arguments: the command it would
  // run, for running it elsewhere (a job file for several machines).
  if (args[0] == "--print-command") return adapter::PrintCommand({args.begin() + 1, args.end()});
  // Every argument after "--describe-each" is a path, whatever it looks like.
  if (args[0] == adapter::kDescribeEachOption)
    return adapter::LoadAndRunProbes({args.begin() + 1, args.end()}, true, parent);
  if (args.size() == 2 && args[0] == adapter::kDescribeDvdOption)
    return adapter::DescribeDvd(args[1], parent);
  // "--new-output" before a conversion's arguments: a job line's conversion
  // into a new file beside the final name it is given.
  if (args[0] == adapter::kNewOutputOption)
    return adapter::ConvertIntoNewFile({args.begin() + 1, args.end()});
  if (args.size() == 2 && args[0] == "-i" && !adapter::FindDvdInput(args))
    return adapter::LoadAndRunProbes({args[1]}, false, parent);
  adapter::OutputTarget target;
  if (!adapter::OpenReservedOutput(args, target)) return 1;
  return adapter::Convert(args, target);
}
