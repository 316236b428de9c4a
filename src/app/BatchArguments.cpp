// Command-line syntax of the headless front end.
#include <algorithm>
#include <cstdlib>

#include "app/BatchFrontEnd.h"
#include "base/WholeNumber.h"
#include "profiles/Settings.h"

namespace pcm {

std::optional<int> ParseTrimTime(const std::string& text) {
  if (text.find(':') == std::string::npos) {
    auto v = ReadWholeNumber<int>(text);
    if (!v || *v < 0) return std::nullopt;
    return v;
  }
  // hh:mm:ss or mm:ss; minutes and seconds below 60.
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t c = text.find(':', start);
    fields.push_back(text.substr(start, c == std::string::npos ? std::string::npos : c - start));
    if (c == std::string::npos) break;
    start = c + 1;
  }
  if (fields.size() > 3) return std::nullopt;
  long long total = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    auto v = ReadWholeNumber<int>(fields[i]);
    if (!v || *v < 0) return std::nullopt;
    if (i > 0 && *v >= 60) return std::nullopt;
    total = total * 60 + *v;
  }
  if (total > 100000000) return std::nullopt;
  return int(total);
}

std::optional<StreamRequest> ParseStreamRequest(const std::string& text, bool subtitle) {
  if (subtitle && text == "none") return StreamRequest{false, 0};
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 6 || text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
      return std::nullopt;
    // 0x0 is a file's first stream; a DVD has no stream of that id.
    return StreamRequest{true, int(std::strtol(text.c_str() + 2, nullptr, 16))};
  }
  auto n = ReadWholeNumber<int>(text);
  if (!n || *n < 0) return std::nullopt;
  return StreamRequest{false, *n};
}

std::optional<std::vector<int>> ParseRowList(const std::string& text) {
  std::vector<int> rows;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t dash = part.find('-');
    auto from = ReadWholeNumber<int>(part.substr(0, dash));
    auto to = dash == std::string::npos ? from : ReadWholeNumber<int>(part.substr(dash + 1));
    if (!from || !to || *from < 1 || *to < *from || *to - *from > 100000) return std::nullopt;
    for (int r = *from; r <= *to; ++r) rows.push_back(r);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

namespace {

// One option of "--batch": its name, the value it takes (none for a flag),
// its lines of the usage text, and what it does to the request. Adding an
// option is one row here and, where the batch acts on it, one step in
// BatchRun.cpp.
struct BatchOption {
  const char* name;
  const char* value;  // nullptr for a flag
  const char* help;   // lines after the first are indented to the help column
  // Takes the value ("" for a flag) into the request; false with `error` set
  // on a bad value.
  bool (*apply)(const std::string& value, BatchRequest& r, std::string& error);
};

bool ListIndex(const char* name, const std::string& value, std::optional<int>& into, std::string& error) {
  auto v = ReadWholeNumber<int>(value);
  if (!v || *v < 0) {
    error = std::string(name) + " needs a list index (0, 1, 2, ...), not \"" + value + "\"";
    return false;
  }
  into = v;
  return true;
}

bool NotEmpty(const char* name, const char* what, const std::string& value, std::optional<std::string>& into,
              std::string& error) {
  if (value.empty()) {
    error = std::string(name) + " needs " + what;
    return false;
  }
  into = value;
  return true;
}

const BatchOption kOptions[] = {
    {"--profile", "N", "select output profile N (see --list-profiles)",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       r.profile = ReadWholeNumber<int>(v);
       if (!r.profile) error = "--profile needs a profile number, not \"" + v + "\"";
       return r.profile.has_value();
     }},
    {"--size", "I", "select entry I (from 0) of the profile's frame sizes",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       return ListIndex("--size", v, r.size, error);
     }},
    {"--video-quality", "I",
     "select video quality I: 0 Higher Quality, 1 High Quality,\n"
     "2 Normal, 3 Low Quality, 4 Lower Quality, 5 the source's\n"
     "quality where the profile offers it",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       return ListIndex("--video-quality", v, r.videoQuality, error);
     }},
    {"--audio-quality", "I", "select audio quality I, numbered as above",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       return ListIndex("--audio-quality", v, r.audioQuality, error);
     }},
    {"--channels", "mono|stereo", "convert to one channel or two",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       if (v == "mono" || v == "stereo")
         r.channels = v == "mono" ? 0 : 1;
       else
         error = "--channels takes mono or stereo, not \"" + v + "\"";
       return r.channels.has_value();
     }},
    {"--output", "DIR",
     "write the converted files to DIR (created when missing);\n"
     "a taken name gets _1, _2, ...",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       // A line break in the name would reach the report and the encoder's
       // command line as further lines.
       try {
         Settings::CheckFolderName(v);
       } catch (const std::exception& e) {
         error = std::string("--output: ") + e.what();
         return false;
       }
       return NotEmpty("--output", "a folder", v, r.output, error);
     }},
    {"--trim", "BEGIN-END",
     "convert only BEGIN to END of every entry; each is seconds\n"
     "or hh:mm:ss, e.g. --trim 10-70 or --trim 00:00:10-00:01:10",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       // The dash that splits them is the one after the begin.
       size_t dash = v.find('-');
       auto b = dash == std::string::npos ? std::nullopt : ParseTrimTime(v.substr(0, dash));
       auto e = dash == std::string::npos ? std::nullopt : ParseTrimTime(v.substr(dash + 1));
       if (!b || !e) {
         error = "--trim takes BEGIN-END (seconds or hh:mm:ss), not \"" + v + "\"";
         return false;
       }
       if (*e <= *b) {
         error = "--trim: the end must lie after the begin";
         return false;
       }
       r.trim = std::make_pair(*b, *e);
       return true;
     }},
    {"--chapters", nullptr, "list DVDs with their chapters: each title, then a row\nper chapter",
     [](const std::string&, BatchRequest& r, std::string&) { return r.chapters = true; }},
    {"--titles", "main|all|LIST",
     "which DVD rows to convert: the longest title of each DVD,\n"
     "all rows, or row numbers as --list shows them, e.g. 1,5-7\n"
     "(default: every row, as the window checks them)",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       if (v == "main" || v == "all") {
         r.titles = v == "main" ? TitlePick::Main : TitlePick::All;
         return true;
       }
       auto rows = ParseRowList(v);
       if (!rows) {
         error = "--titles takes main, all or row numbers such as 1,5-7, not \"" + v + "\"";
         return false;
       }
       r.titles = TitlePick::Rows;
       r.titleRows = *rows;
       return true;
     }},
    {"--audio", "N|0xID",
     "the audio stream of every row (of the DVD rows when there are\n"
     "any): N-th of the row's audio streams (0 = the first) or the\n"
     "stream id as --list shows it, e.g. 0x81",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       r.audio = ParseStreamRequest(v, false);
       if (!r.audio) error = "--audio takes a number or a stream id such as 0x81, not \"" + v + "\"";
       return r.audio.has_value();
     }},
    {"--subtitle", "none|N|0xID",
     "the subtitle burned into every DVD row: none, the N-th of the\n"
     "row's subtitles (1 = the first) or the stream id, e.g. 0x20",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       r.subtitle = ParseStreamRequest(v, true);
       if (!r.subtitle)
         error = "--subtitle takes none, a number or a stream id such as 0x20, not \"" + v + "\"";
       return r.subtitle.has_value();
     }},
    {"--list", nullptr,
     "print every row (number, title, frame size, duration, size\n"
     "estimate, audio and subtitle) and convert nothing",
     [](const std::string&, BatchRequest& r, std::string&) { return r.list = true; }},
    {"--dry-run", nullptr, "print each entry's encoder command line, start nothing",
     [](const std::string&, BatchRequest& r, std::string&) { return r.dryRun = true; }},
    {"--jobs", "N", "convert N entries at once (default 1; 0 = one per processor)",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       auto n = ReadWholeNumber<int>(v);
       if (!n || *n < 0 || *n > Settings::kMaxJobs) {
         error =
             "--jobs takes a number from 0 to " + std::to_string(Settings::kMaxJobs) + ", not \"" + v + "\"";
         return false;
       }
       r.jobs = *n;
       return true;
     }},
    {"--recursive", nullptr, "take the files of a folder's subfolders too, at any depth",
     [](const std::string&, BatchRequest& r, std::string&) { return r.recursive = true; }},
    {"--keep-folders", nullptr,
     "take a folder's subfolders too (as --recursive) and write\n"
     "each file to its folder relative to the PATH it was found\n"
     "under, below the output folder (made as needed); files\n"
     "given by name go to the output folder itself",
     [](const std::string&, BatchRequest& r, std::string&) { return r.keepFolders = true; }},
    {"--skip-existing", nullptr,
     "skip an entry whose output name (before any _1) exists:\n"
     "it is reported Skipped and not converted; with\n"
     "--keep-folders a second run converts only what is new",
     [](const std::string&, BatchRequest& r, std::string&) { return r.skipExisting = true; }},
    {"--export-jobs", "FILE",
     "write one shell command line per entry to FILE (a new\n"
     "file; - for standard output) instead of converting, for\n"
     "parallel --jobs N < FILE, here or on machines that share\n"
     "the folders (see the README)",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       return NotEmpty("--export-jobs", "a file name", v, r.exportJobs, error);
     }},
    {"--quiet", nullptr, "no progress display, only the final report",
     [](const std::string&, BatchRequest& r, std::string&) { return r.quiet = true; }},
    {"--when-done", "nothing|open|shutdown",
     "after the last entry do nothing (the default), open the\n"
     "output folder, or shut the computer down after a\n"
     "60-second countdown that Ctrl-C cancels",
     [](const std::string& v, BatchRequest& r, std::string& error) {
       static const std::pair<const char*, WhenDone> kChoices[] = {
           {"nothing", WhenDone::Nothing}, {"open", WhenDone::OpenFolder}, {"shutdown", WhenDone::Shutdown}};
       for (const auto& [word, action] : kChoices)
         if (v == word) {
           r.whenDone = action;
           return true;
         }
       error = "--when-done takes nothing, open or shutdown, not \"" + v + "\"";
       return false;
     }},
    {"--help", nullptr, "print this text and do nothing else",
     [](const std::string&, BatchRequest& r, std::string&) { return r.help = true; }},
};

const BatchOption* FindOption(const std::string& name) {
  for (const BatchOption& o : kOptions)
    if (name == o.name) return &o;
  return name == "-h" ? FindOption("--help") : nullptr;
}

// The options' part of the usage text, made from the table: the name and
// its value, then the help at column 25 (on the next line when they do not
// fit before it).
std::string OptionsHelp() {
  constexpr size_t kColumn = 24;
  std::string text;
  for (const BatchOption& o : kOptions) {
    std::string head = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
    head +=
        head.size() < kColumn ? std::string(kColumn - head.size(), ' ') : "\n" + std::string(kColumn, ' ');
    std::string help = o.help;
    for (size_t nl = help.find('\n'); nl != std::string::npos; nl = help.find('\n', nl + 1 + kColumn))
      help.insert(nl + 1, kColumn, ' ');
    text += head + help + "\n";
  }
  return text;
}

}  // namespace

std::optional<BatchRequest> ParseBatchArguments(const std::vector<std::string>& args, std::string& error) {
  BatchRequest r;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      r.paths.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name value" or "--name=value" for an option with a value.
    size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const BatchOption* option = FindOption(name);
    if (!option || (!option->value && eq != std::string::npos)) {
      error = "unknown option " + a;
      return std::nullopt;
    }
    std::string value;
    if (option->value && eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else if (option->value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (!option->apply(value, r, error)) return std::nullopt;
    // --help prints the usage whatever follows it.
    if (r.help) return r;
  }
  if (r.paths.empty()) {
    error = "no file or folder to convert";
    return std::nullopt;
  }
  if (r.dryRun && r.exportJobs) {
    error = "--dry-run and --export-jobs exclude each other";
    return std::nullopt;
  }
  return r;
}

std::string ForeignOption(const std::vector<std::string>& args) {
  // The toolkit's own options, with one dash or two; the first group takes
  // a value (as the next argument or after "=").
  static const char* const kValued[] = {"platform",
                                        "platformpluginpath",
                                        "platformtheme",
                                        "plugin",
                                        "qmljsdebugger",
                                        "qwindowgeometry",
                                        "qwindowicon",
                                        "qwindowtitle",
                                        "session",
                                        "display",
                                        "geometry",
                                        "title",
                                        "name",
                                        "icon",
                                        "style",
                                        "stylesheet",
                                        "qdevicepixelratio"};
  static const char* const kFlags[] = {"reverse", "widgetcount", "sync", "nograb", "dograb", "testability"};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") break;  // plain names follow
    if (a.size() < 2 || a[0] != '-') continue;
    std::string name = a.substr(a.compare(0, 2, "--") == 0 ? 2 : 1);
    size_t eq = name.find('=');
    bool inlineValue = eq != std::string::npos;
    if (inlineValue) name.erase(eq);
    bool valued = false, flag = false;
    for (const char* k : kValued) valued = valued || name == k;
    for (const char* k : kFlags) flag = flag || name == k;
    if (valued) {
      if (!inlineValue) ++i;
    } else if (!flag || inlineValue) {
      return a;
    }
  }
  return {};
}

bool IsHeadlessInvocation(int argc, char** argv) {
  if (argc < 2) return false;
  std::string a = argv[1];
  if (a == "--batch" || a == "--list-profiles" || a == "--help" || a == "-h" || a == "--version") return true;
  // Plain names and the toolkit's options go to the window.
  return !ForeignOption({argv + 1, argv + argc}).empty();
}

std::string NoDisplayText(const std::string& p, const std::string& reason) {
  return p + ": there is no display to show the window on (" + reason + ").\n" +
         "To convert without a window: " + p + " --batch [OPTIONS] PATH...  (see " + p + " --help)\n";
}

std::string VersionText(const std::string& p) { return p + " " POPCLIPMILL_VERSION "\n"; }

std::string UsageText(const std::string& p) {
  return "Usage:\n"
         "  " +
         p +
         "                   start the window\n"
         "  " +
         p +
         " --batch [OPTIONS] PATH...\n"
         "  " +
         p +
         " --list-profiles\n"
         "  " +
         p +
         " --help | --version\n"
         "\n"
         "Converts media files without a window. The saved settings are loaded and the\n"
         "saved profile is selected, as when the window starts; the options then change\n"
         "them for this run only. Nothing is saved: no option, not even --dry-run, writes\n"
         "the settings or the per-profile choices.\n"
         "\n"
         "PATH is a media file or a folder. A folder adds its files with a common audio or\n"
         "video extension (.mp3, .flac, .ogg, .opus, .wav, .m4a, .aiff, .mka, .mp4, .mkv,\n"
         ".avi, .mov, .webm, .mpg, .vob, .ts, .wmv, ...), sorted by name; its subfolders\n"
         "only with --recursive or --keep-folders. Use -- before paths that begin with\n"
         "\"-\". Nothing is ever written over: a taken output name gets _1, _2, ...,\n"
         "or with --skip-existing the entry is skipped. Converting a library again with\n"
         "--keep-folders --skip-existing converts only the files added since.\n"
         "\n"
         "PATH may also be a DVD: a folder holding VIDEO_TS, the VIDEO_TS folder itself\n"
         "(any letter case) or one IFO file. Its titles become rows (with --chapters\n"
         "also its chapters), converted with the chosen profile like files; --titles,\n"
         "--audio and --subtitle choose what is converted, --list shows the rows.\n"
         "\n"
         "Options:\n" +
         OptionsHelp() +
         "\n"
         "On a terminal each entry shows a progress bar, \"entry n of N\" and the time left\n"
         "for the whole batch at the speed measured so far; otherwise one line is printed\n"
         "when an entry starts and when it ends. At the end every entry is listed with\n"
         "its status (Finish, Failed, Stop or Skipped) and output file (for a skipped\n"
         "one the file that was there), then how many ended each way; a failed entry\n"
         "also shows the encoder's last lines. Ctrl-C stops the batch like the Stop\n"
         "button and leaves no encoder running. The finish action chosen in the\n"
         "settings dialog is not used here; only --when-done asks for one. A batch\n"
         "stopped with Ctrl-C does nothing after it.\n"
         "\n"
         "Exit status: 0 when every entry finished or was skipped, 1 when an entry\n"
         "failed, was stopped or could not be added or the report could not be\n"
         "written, 2 for bad usage.\n"
         "A reader that stops reading the report early does not stop the conversions.\n";
}

}  // namespace pcm
