// Command-line syntax of the headless front end.
#include <cstring>

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
    // Options with a value: "--name value" or "--name=value".
    std::string name = a;
    std::string value;
    size_t eq = a.find('=');
    if (eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    static const char* const kValued[] = {"--profile",  "--size",   "--video-quality", "--audio-quality",
                                          "--channels", "--output", "--trim"};
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
    }
  }
  if (r.paths.empty()) {
    error = "no file or folder to convert";
    return std::nullopt;
  }
  return r;
}

bool IsHeadlessInvocation(int argc, char** argv) {
  if (argc < 2) return false;
  const char* a = argv[1];
  // Anything else goes to the window, which may take toolkit options.
  return std::strcmp(a, "--batch") == 0 || std::strcmp(a, "--list-profiles") == 0 ||
         std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0;
}

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
         " --help\n"
         "\n"
         "Converts media files without a window. The saved settings are loaded and the\n"
         "saved profile is selected, as when the window starts; the options then change\n"
         "them for this run only (nothing is saved).\n"
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
         "\n"
         "On a terminal each entry shows a progress bar; otherwise one line is printed\n"
         "when an entry starts and when it ends. At the end every entry is listed with\n"
         "its status (Finish, Failed or Stop) and output file; a failed entry also shows\n"
         "the encoder's last lines. Ctrl-C stops the batch like the Stop button and\n"
         "leaves no encoder running. The finish action chosen in the settings dialog\n"
         "(open the output folder, or shut down) runs after the last entry.\n"
         "\n"
         "Exit status: 0 when every entry finished, 1 when an entry failed, was stopped\n"
         "or could not be added, 2 for bad usage.\n";
}

}  // namespace pcm
