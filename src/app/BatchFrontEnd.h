#pragma once
#include <optional>
#include <string>
#include <vector>

namespace pcm {

// What a batch does after its last entry.
enum class WhenDone { Nothing, OpenFolder, Shutdown };

// A DVD stream asked for on the command line: by its id as the disc names
// it (0x80), or by its position in the window's selector (audio: 0 = the
// first stream; subtitle: 0 = no subtitle, 1 = the first stream).
struct StreamRequest {
  bool byId = false;
  int value = 0;
};

// Which DVD rows a batch converts: the rows the window would check, the
// longest row of each DVD given, every row, or rows by their numbers as
// --list shows them (from 1).
enum class TitlePick { Checked, Main, All, Rows };

// What `popclipmill --batch ...` asked for.
struct BatchRequest {
  std::optional<int> profile;
  std::optional<int> size;
  std::optional<int> videoQuality;
  std::optional<int> audioQuality;
  std::optional<int> channels;  // list index: 0 mono, 1 stereo
  std::optional<std::string> output;
  std::optional<std::pair<int, int>> trim;  // begin and end, seconds
  bool dryRun = false;
  std::optional<std::string> exportJobs;  // the job file to write instead of converting
  bool quiet = false;
  bool recursive = false;  // folders: their subfolders too
  // Folders: their subfolders too, each file written below the output
  // folder in its folder relative to the one given.
  bool keepFolders = false;
  // An entry whose output name (before any "_1") exists is skipped.
  bool skipExisting = false;
  int jobs = 1;       // entries converted at once; 0 = one per processor
  bool help = false;  // --help among the options: print the usage only
  WhenDone whenDone = WhenDone::Nothing;
  // DVDs given as paths: the chapter view, the rows picked, the streams
  // for every picked row, and listing instead of converting.
  bool chapters = false;
  TitlePick titles = TitlePick::Checked;
  std::vector<int> titleRows;  // for TitlePick::Rows, ascending, no repeats
  std::optional<StreamRequest> audio;
  std::optional<StreamRequest> subtitle;
  bool list = false;
  std::vector<std::string> paths;
};

// Exit statuses of the headless front end.
enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Parses the arguments after "--batch". On bad usage returns nothing and
// sets `error`.
std::optional<BatchRequest> ParseBatchArguments(const std::vector<std::string>& args, std::string& error);

// Seconds of "hh:mm:ss", "mm:ss" or a whole number of seconds; nothing for
// anything else.
std::optional<int> ParseTrimTime(const std::string& text);

// "0xID" (hexadecimal) or a position "N"; "none" for a subtitle is 0.
std::optional<StreamRequest> ParseStreamRequest(const std::string& text, bool subtitle);
// Row numbers "1,5-7" (from 1), ascending without repeats.
std::optional<std::vector<int>> ParseRowList(const std::string& text);

std::string UsageText(const std::string& programName);

// The first argument that looks like an option but is neither the front
// end's nor one the window's toolkit takes; empty when there is none.
std::string ForeignOption(const std::vector<std::string>& args);

// True when argv asks for the headless front end, or holds an option the
// window would not understand (which the front end then refuses).
bool IsHeadlessInvocation(int argc, char** argv);

// Why the window has nowhere to appear, empty when it has: a platform named
// by QT_QPA_PLATFORM or "-platform" (the offscreen one of the tests, for
// one) is taken as it is, but for the X one; a Wayland or X display must
// answer a connection. Qt would abort without one.
std::string WindowPlatformProblem(int argc, char** argv);

// What a start of the window without a display prints: the reason and how
// to convert without a window.
std::string NoDisplayText(const std::string& programName, const std::string& reason);

std::string VersionText(const std::string& programName);

// Runs the headless front end: --batch, --list-profiles, --help or
// --version, and refuses anything else. Needs a
// QCoreApplication. programPath selects the variant and the data directory.
int RunHeadless(const std::string& programPath, const std::vector<std::string>& args);

// Runs a batch request; prints progress and the per-entry report.
int RunBatch(const std::string& programPath, const BatchRequest& request);

// The demonstration batch of a build without the window: a clip made with
// ffmpeg, converted with the saved profile into a temporary folder.
int RunDemonstration(const std::string& programPath);

}  // namespace pcm
