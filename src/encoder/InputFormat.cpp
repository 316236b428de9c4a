#include "InputFormat.h"

#include <sys/stat.h>

#include "OpenerFormats.h"
#include "ProbeLoader.h"
#include "engine/DvdInputForm.h"

namespace adapter {

namespace {

// Calls f(at, file, formatGiven) for each "-i" of args, at its position;
// `file` is "" for an input that names no file.
template <class F>
void ForEachInput(const Args& args, F f) {
  bool formatGiven = false;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "-f") {
      formatGiven = true;
      ++i;
    } else if (args[i] == "-i") {
      f(i, args[i + 1], formatGiven);
      formatGiven = false;
      ++i;
    }
  }
}

void AddFile(Readable& readable, const std::string& path) {
  readable.files.push_back(path);
  if (!NamedAsOpener(path)) return;
  const size_t slash = path.rfind('/');
  readable.folders.push_back(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace

std::string InputFile(const std::string& input) {
  if (pcm::IsDvdInput(input)) return {};
  const std::string opened = LiteralPath(input);
  return opened.compare(0, 5, "file:") == 0 ? opened.substr(5) : std::string();
}

Readable FilesReadable(const std::vector<std::string>& paths) {
  Readable readable;
  for (const std::string& path : paths) AddFile(readable, path);
  return readable;
}

Readable ConversionReadable(const Args& args) {
  Readable readable;
  ForEachInput(args, [&](size_t, const std::string& input, bool) {
    pcm::DvdInputForm form;
    std::string error;
    if (pcm::IsDvdInput(input)) {
      if (pcm::DecodeDvdInput(input, &form, &error)) readable.folders.push_back(form.folder);
    } else if (std::string file = InputFile(input); !file.empty()) {
      AddFile(readable, file);
    }
  });
  return readable;
}

bool PinInputFormats(Args& args, std::string* refusal) {
  struct Pin {
    size_t at;
    Args options;
  };
  std::vector<Pin> pins;
  bool refused = false;
  ForEachInput(args, [&](size_t at, const std::string& input, bool formatGiven) {
    const std::string file = InputFile(input);
    // A file that is not there is not read: it got no rule to be read by,
    // and ffmpeg says it is missing.
    struct stat st;
    if (refused || formatGiven || file.empty() || stat(file.c_str(), &st) != 0) return;
    using FindFormat = int (*)(const char*, char*, size_t, char*, size_t);
    std::string error;
    auto find = reinterpret_cast<FindFormat>(ProbeModuleEntry("adapter_input_format", &error));
    if (!find) {
      *refusal = error;
      refused = true;
      return;
    }
    char name[64], why[512];
    const int found = find(file.c_str(), name, sizeof name, why, sizeof why);
    if (found == 0) {
      *refusal = "the input " + file + " is not read: " + why;
      refused = true;
      return;
    }
    Pin pin{at, {"-f", name}};
    if (found == 2) pin.options.insert(pin.options.end(), {"-pattern_type", "none"});
    pins.push_back(pin);
  });
  if (refused) return false;
  // From the last, so the earlier positions still hold.
  for (auto p = pins.rbegin(); p != pins.rend(); ++p)
    args.insert(args.begin() + std::ptrdiff_t(p->at), p->options.begin(), p->options.end());
  return true;
}

}  // namespace adapter
