#include "queue/OpenedPaths.h"

#include <sys/stat.h>

#include <QByteArray>

#include "queue/ListCommands.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

int OpenedPaths::Add(const std::vector<std::string>& paths) {
  if (paths.empty()) return 0;
  if (notifier_.Refused(false, true)) return -1;
  // A probe of an add in progress runs events; a second add would start a
  // probe inside it.
  if (commands_.AddingFiles()) {
    notifier_.ui().Information(ListCommands::kStillAdding);
    return -1;
  }
  int failed = 0;
  // Files named next to each other are added together, so their probes run
  // at the same time; each one not added counts, those a stop or a fault of
  // the profile file left untried too.
  std::vector<std::string> files;
  auto addFiles = [&] {
    size_t tried = 0;
    failed += commands_.AddFileList(files, &tried) + int(files.size() - tried);
    files.clear();
  };
  for (const std::string& path : paths) {
    struct stat st;
    const bool found = !path.empty() && stat(path.c_str(), &st) == 0;
    if (found && !S_ISDIR(st.st_mode)) {
      files.push_back(path);
      continue;
    }
    addFiles();
    if (!found) {
      notifier_.ui().Information(path + " cannot be added: there is no such file or folder");
      ++failed;
    } else if (program_.DvdMode() && openDvdFolderHook) {
      openDvdFolderHook(path);
    } else {
      failed += commands_.AddFolderPath(path);
    }
  }
  addFiles();
  notifier_.UpdateCommandStates();
  return failed;
}

}  // namespace pcm

namespace pcm {

namespace {
constexpr const char kOpenHeader[] = "popclipmill-open ";
}

std::vector<std::string> LocalPathsOfUriList(const std::string& list) {
  std::vector<std::string> paths;
  size_t at = 0;
  while (at < list.size()) {
    size_t end = list.find('\n', at);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    // file:///path, file://localhost/path, or file:/path.
    std::string rest;
    if (line.rfind("file://", 0) == 0) {
      rest = line.substr(7);
      size_t slash = rest.find('/');
      std::string host = rest.substr(0, slash);
      if (slash == std::string::npos || !(host.empty() || host == "localhost")) continue;
      rest = rest.substr(slash);
    } else if (line.rfind("file:/", 0) == 0) {
      rest = line.substr(5);
    } else {
      continue;
    }
    const std::string path = QByteArray::fromPercentEncoding(QByteArray::fromStdString(rest)).toStdString();
    // A NUL cannot be in a name; such a URI names nothing.
    if (path.find('\0') == std::string::npos) paths.push_back(path);
  }
  return paths;
}

std::string OpenMessage(const std::vector<std::string>& paths) {
  std::string m = kOpenHeader + std::to_string(paths.size()) + "\n";
  for (const std::string& p : paths) {
    m += p;
    m += '\0';
  }
  return m;
}

OpenMessageRead ReadOpenMessage(const std::string& bytes) {
  OpenMessageRead r;
  const std::string header = kOpenHeader;
  auto bad = [&r] {
    r.kind = OpenMessageRead::Bad;
    r.paths.clear();
    return r;
  };
  if (bytes.size() > kMaxOpenMessage) return bad();
  // The header so far must agree with what has arrived.
  if (bytes.compare(0, std::min(bytes.size(), header.size()), header, 0,
                    std::min(bytes.size(), header.size())) != 0)
    return bad();
  size_t eol = bytes.find('\n');
  if (eol == std::string::npos) {
    // Still the header: only digits may follow it, and not many.
    for (size_t i = header.size(); i < bytes.size(); ++i)
      if (bytes[i] < '0' || bytes[i] > '9' || i - header.size() >= 6) return bad();
    return r;
  }
  std::string count = bytes.substr(header.size(), eol - header.size());
  if (count.empty() || count.size() > 6 || count.find_first_not_of("0123456789") != std::string::npos)
    return bad();
  size_t n = std::stoul(count);
  if (n > kMaxOpenPaths) return bad();
  size_t at = eol + 1;
  while (r.paths.size() < n) {
    size_t end = bytes.find('\0', at);
    if (end == std::string::npos) {
      // A path still arriving must already look like one.
      if (at < bytes.size() && bytes[at] != '/') return bad();
      r.paths.clear();
      return r;
    }
    std::string path = bytes.substr(at, end - at);
    if (path.empty() || path[0] != '/') return bad();
    r.paths.push_back(std::move(path));
    at = end + 1;
  }
  if (at != bytes.size()) return bad();
  r.kind = OpenMessageRead::Complete;
  return r;
}

}  // namespace pcm
