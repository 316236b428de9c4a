#include "app/JobExport.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "app/ConsoleOutput.h"
#include "base/HiddenOutput.h"
#include "base/WriteAll.h"
#include "engine/OutputFiles.h"

namespace pcm {

std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) {
    if (c == '\'')
      word += "'\\''";
    else
      word += c;
  }
  return word + "'";
}

std::string ShellLine(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& w : words) {
    const bool bare = !w.empty() && std::all_of(w.begin(), w.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_@%+=:,./-", c);
    });
    line += (line.empty() ? "" : " ") + (bare ? w : ShellWord(w));
  }
  return line;
}

std::string JobLine(const std::vector<std::string>& adapterCommand) {
  std::string line;
  for (size_t i = 0; i < adapterCommand.size(); ++i) {
    line += (i == 0 ? "" : " ") + ShellWord(adapterCommand[i]);
    // The output is opened by the adapter only, as a new file.
    if (i == 0) line += " '--new-output'";
  }
  return line;
}

bool WriteNewFile(const std::string& path, const std::string& text, std::string& error) {
  if (path == "-") {
    Out(text);
    if (OutError() == 0) return true;
    error = std::strerror(OutError());
    return false;
  }
  if (PathTaken(path)) {
    error = "it exists already";
    return false;
  }
  HiddenOutput temp = CreateHiddenOutput(path);
  if (temp.fd < 0) {
    error = std::strerror(temp.error);
    return false;
  }
  errno = 0;
  bool ok = WriteAll(temp.fd, text.data(), text.size()) && fsync(temp.fd) == 0;
  if (!ok) error = std::strerror(errno ? errno : EIO);
  // A link never replaces a file that took the name meanwhile.
  if (ok) UnmarkHiddenOutput(temp.fd);
  if (ok && link(temp.path.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno == EEXIST ? "it exists already" : std::strerror(errno);
  }
  RemoveHiddenOutput(temp.path.c_str(), temp.fd);
  close(temp.fd);
  return ok;
}

}  // namespace pcm
