// Command-line syntax of the headless front end.
#include "app/BatchFrontEnd.h"
#include "ui/WholeNumber.h"

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
    if (a == "--dry-run") {
      r.dryRun = true;
      continue;
    }
    if (a == "--quiet") {
      r.quiet = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      r.help = true;
      return r;
    }
    // Options with a value: "--name value" or "--name=value".
    std::string name = a;
    std::string value;
    size_t eq = a.find('=');
    if (eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    static const char* const kValued[] = {"--profile",  "--size",   "--video-quality", "--audio-quality",
                                          "--channels", "--output", "--trim",          "--when-done"};
    bool known = false;
    for (const char* k : kValued) known = known || name == k;
    if (!known) {
      error = "unknown option " + a;
      return std::nullopt;
    }
    if (eq == std::string::npos) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    auto index = [&](std::optional<int>& into) {
      auto v = ReadWholeNumber<int>(value);
      if (!v || *v < 0) {
        error = name + " needs a list index (0, 1, 2, ...), not \"" + value + "\"";
        return false;
      }
      into = v;
      return true;
    };
    if (name == "--profile") {
      auto v = ReadWholeNumber<int>(value);
      if (!v) {
        error = "--profile needs a profile number, not \"" + value + "\"";
        return std::nullopt;
      }
      r.profile = v;
    } else if (name == "--size") {
      if (!index(r.size)) return std::nullopt;
    } else if (name == "--video-quality") {
      if (!index(r.videoQuality)) return std::nullopt;
    } else if (name == "--audio-quality") {
      if (!index(r.audioQuality)) return std::nullopt;
    } else if (name == "--channels") {
      if (value == "mono") {
        r.channels = 0;
      } else if (value == "stereo") {
        r.channels = 1;
      } else {
        error = "--channels takes mono or stereo, not \"" + value + "\"";
        return std::nullopt;
      }
    } else if (name == "--output") {
      if (value.empty()) {
        error = "--output needs a folder";
        return std::nullopt;
      }
      r.output = value;
    } else if (name == "--trim") {
      // BEGIN-END; the dash that splits them is the one after the begin.
      size_t dash = value.find('-');
      auto b = dash == std::string::npos ? std::nullopt : ParseTrimTime(value.substr(0, dash));
      auto e = dash == std::string::npos ? std::nullopt : ParseTrimTime(value.substr(dash + 1));
      if (!b || !e) {
        error = "--trim takes BEGIN-END (seconds or hh:mm:ss), not \"" + value + "\"";
        return std::nullopt;
      }
      if (*e <= *b) {
        error = "--trim: the end must lie after the begin";
        return std::nullopt;
      }
      r.trim = std::make_pair(*b, *e);
    } else if (name == "--when-done") {
      if (value == "nothing") {
        r.whenDone = WhenDone::Nothing;
      } else if (value == "open") {
        r.whenDone = WhenDone::OpenFolder;
      } else if (value == "shutdown") {
        r.whenDone = WhenDone::Shutdown;
      } else {
        error = "--when-done takes nothing, open or shutdown, not \"" + value + "\"";
        return std::nullopt;
      }
    }
  }
  if (r.paths.empty()) {
    error = "no file or folder to convert";
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
         "PATH is a media file or a folder; a folder adds its files ending in .mp3, .m4a,\n"
         ".aac, .ac3, .rm, .wav, .wma or .ogg (not its subfolders). Use -- before paths\n"
         "that begin with \"-\".\n"
         "\n"
         "Options:\n"
         "  --profile N           select output profile N (see --list-profiles)\n"
         "  --size I              select entry I (from 0) of the profile's frame sizes\n"
         "  --video-quality I     select video quality I: 0 Higher Quality, 1 High Quality,\n"
         "                        2 Normal, 3 Low Quality, 4 Lower Quality, 5 the source's\n"
         "                        quality where the profile offers it\n"
         "  --audio-quality I     select audio quality I, numbered as above\n"
         "  --channels mono|stereo\n"
         "  --output DIR          write the converted files to DIR (created when missing);\n"
         "                        a taken name gets _1, _2, ...\n"
         "  --trim BEGIN-END      convert only BEGIN to END of every entry; each is seconds\n"
         "                        or hh:mm:ss, e.g. --trim 10-70 or --trim 00:00:10-00:01:10\n"
         "  --dry-run             print each entry's encoder command line, start nothing\n"
         "  --quiet               no progress display, only the final report\n"
         "  --when-done nothing|open|shutdown\n"
         "                        after the last entry do nothing (the default), open the\n"
         "                        output folder, or shut the computer down after a\n"
         "                        60-second countdown that Ctrl-C cancels\n"
         "  --help                print this text and do nothing else\n"
         "\n"
         "On a terminal each entry shows a progress bar; otherwise one line is printed\n"
         "when an entry starts and when it ends. At the end every entry is listed with\n"
         "its status (Finish, Failed or Stop) and output file; a failed entry also shows\n"
         "the encoder's last lines. Ctrl-C stops the batch like the Stop button and\n"
         "leaves no encoder running. The finish action chosen in the settings dialog is\n"
         "not used here; only --when-done asks for one. A batch stopped with Ctrl-C\n"
         "does nothing after it.\n"
         "\n"
         "Exit status: 0 when every entry finished, 1 when an entry failed, was stopped\n"
         "or could not be added or the report could not be written, 2 for bad usage.\n"
         "A reader that stops reading the report early does not stop the conversions.\n";
}

}  // namespace pcm
