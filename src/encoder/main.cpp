// register.dat: the encoder behind PopClipMill. "-i PATH" alone describes a
// media file, "--describe-each PATH..." several files in one run, and
// "--describe-dvd IFO" the titles of a DVD's title set; anything else is a
// conversion run by ffmpeg, or printed with "--print-command" first, or
// written into a new file beside its final name with "--new-output"; a
// result written under a hidden name is checked before it is named. An
// input in the adapter's DVD form is read from the DVD and piped into ffmpeg.
// "--sandbox-status" says how far the adapter confines itself: it does so
// before it reads any media, in every mode.
#include <unistd.h>

#include <string>
#include <vector>

#include "Arguments.h"
#include "DvdDescribe.h"
#include "DvdInput.h"
#include "InputFormat.h"
#include "ProbeLoader.h"
#include "Runner.h"
#include "Sandbox.h"

namespace {

// What a conversion with these arguments may write: where its output goes.
// ffmpeg opens the last argument as its output (a plain path as "file:"),
// sox an AMR output's name as it stands.
adapter::Writable ConversionWritable(const adapter::Args& args, bool amr) {
  if (args.size() < 2) return adapter::ConversionWritable("");
  if (amr) return adapter::ConversionWritable(args.back());
  std::string opened = adapter::LiteralPath(args.back());
  const std::string file = "file:";
  return adapter::ConversionWritable(opened.compare(0, file.size(), file) == 0 ? opened.substr(file.size())
                                                                               : std::string());
}

void SayLine(const std::string& text) {
  std::string line = "register.dat: " + text + "\n";
  (void)!write(STDOUT_FILENO, line.data(), line.size());
}

// Confines the adapter before it reads anything; a kernel without Landlock
// lets it run as before. A confinement that fails on a kernel that has
// Landlock is refused with one line: the run would not be what it claims.
bool ConfineOrSay(const adapter::Writable& writable, const adapter::Readable& readable,
                  const std::vector<std::string>& programs = {}) {
  adapter::Confinement c = adapter::Confine(writable, readable, programs);
  if (c.error.empty()) return true;
  SayLine("cannot confine the encoder: " + c.error);
  return false;
}

// A conversion reads its inputs and runs ffmpeg, or sox for AMR.
bool ConfineConversionOrSay(const adapter::Writable& writable, const adapter::Args& args) {
  return ConfineOrSay(writable, adapter::ConversionReadable(args),
                      {adapter::FfmpegProgram(), adapter::FindProgram("sox")});
}

// Pins the formats of the conversion's file inputs; a refused input is
// named with the reason.
bool PinOrSay(adapter::Args& args) {
  std::string refusal;
  if (adapter::PinInputFormats(args, &refusal)) return true;
  SayLine(refusal);
  return false;
}

}  // namespace

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
        "       register.dat --new-output [OPTIONS] -i INPUT [OPTIONS] OUTPUT\n"
        "       register.dat --sandbox-status\n";
    (void)!write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
    return 2;
  }
  adapter::Args args(argv + 1, argv + argc);
  adapter::Writable nothing;
  adapter::Readable noInput;
  // Confined as a probe is, so the line tells what the kernel really did.
  if (args.size() == 1 && args[0] == "--sandbox-status") {
    std::string line = adapter::DescribeConfinement(adapter::Confine(nothing, noInput));
    return write(STDOUT_FILENO, line.data(), line.size()) == ssize_t(line.size()) ? 0 : 1;
  }
  // "--print-command" before a conversion's arguments: the command it would
  // run, for running it elsewhere (a job file for several machines).
  if (args[0] == "--print-command") {
    adapter::Args command(args.begin() + 1, args.end());
    if (!ConfineOrSay(nothing, adapter::ConversionReadable(command)) || !PinOrSay(command)) return 1;
    return adapter::PrintCommand(command);
  }
  // Every argument after "--describe-each" is a path, whatever it looks like.
  if (args[0] == adapter::kDescribeEachOption) {
    const std::vector<std::string> paths(args.begin() + 1, args.end());
    if (!ConfineOrSay(nothing, adapter::FilesReadable(paths))) return 1;
    return adapter::LoadAndRunProbes(paths, true, parent);
  }
  adapter::Writable dvd;
  dvd.dvdDrive = true;
  if (args.size() == 2 && args[0] == adapter::kDescribeDvdOption) {
    // The title set's files lie beside its IFO file.
    adapter::Readable disc;
    const size_t slash = args[1].rfind('/');
    disc.folders.push_back(slash == std::string::npos ? "." : slash == 0 ? "/" : args[1].substr(0, slash));
    if (!ConfineOrSay(dvd, disc)) return 1;
    return adapter::DescribeDvd(args[1], parent);
  }
  // "--new-output" before a conversion's arguments: a job line's conversion
  // into a new file beside the final name it is given, which it makes and
  // renames in the output folder.
  if (args[0] == adapter::kNewOutputOption) {
    adapter::Args rest(args.begin() + 1, args.end());
    adapter::PrepareResultCheck();
    if (!ConfineConversionOrSay(ConversionWritable(rest, adapter::IsAmrOutput(rest)), rest) ||
        !PinOrSay(rest))
      return 1;
    return adapter::ConvertIntoNewFile(rest);
  }
  const size_t dvdAt = adapter::FindDvdInput(args);
  if (args.size() == 2 && args[0] == "-i" && !dvdAt) {
    if (!ConfineOrSay(nothing, adapter::FilesReadable({args[1]}))) return 1;
    return adapter::LoadAndRunProbes({args[1]}, false, parent);
  }
  // A DVD input without an output after it writes nothing.
  adapter::Writable writable;
  if (!dvdAt || dvdAt + 1 < args.size()) writable = ConversionWritable(args, adapter::IsAmrOutput(args));
  writable.dvdDrive = dvdAt != 0;
  if (adapter::ChecksResult(args)) adapter::PrepareResultCheck();
  if (!ConfineConversionOrSay(writable, args) || !PinOrSay(args)) return 1;
  adapter::OutputTarget target;
  if (!adapter::OpenReservedOutput(args, target)) return 1;
  return adapter::Convert(args, target);
}
