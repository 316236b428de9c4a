#include "app/JobExport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/ConsoleOutput.h"
#include "base/ProgramStart.h"
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

std::optional<std::vector<std::string>> EncoderCommand(const std::string& encoderPath,
                                                       const std::vector<std::string>& args,
                                                       std::string& error) {
  // Started directly, not through a toolkit process: arguments are bytes,
  // and a name that is not UTF-8 must reach the adapter as it is.
  ProgramStart how;
  how.args = {encoderPath, "--print-command"};
  how.args.insert(how.args.end(), args.begin(), args.end());
  FinishedProgram run = RunToEnd(how);
  if (!run.start.ok()) {
    error = run.start.what;
    return std::nullopt;
  }
  if (!run.succeeded()) {
    error = "the encoder " + encoderPath + " could not tell its command";
    return std::nullopt;
  }
  const std::string& text = run.out;
  std::vector<std::string> command;
  size_t start = 0;
  for (size_t end = text.find('\0'); end != std::string::npos; start = end + 1, end = text.find('\0', start))
    command.push_back(text.substr(start, end - start));
  if (command.empty() || start != text.size()) {
    error = "the encoder's command came back incomplete";
    return std::nullopt;
  }
  return command;
}

std::string UnusedTemporaryName(const std::string& finalPath, const std::vector<std::string>& taken) {
  size_t slash = finalPath.rfind('/');
  std::string folder = finalPath.substr(0, slash + 1);
  std::string name = finalPath.substr(slash + 1);
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  std::string base = name.substr(0, name.size() - ext.size());
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string marker;
    for (int i = 0; i < 6; ++i)
      marker += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    std::string temp = folder + "." + base + ".pcm-" + marker + ext;
    if (!PathTaken(temp) && std::find(taken.begin(), taken.end(), temp) == taken.end()) return temp;
  }
  return {};
}

std::string JobLine(const std::vector<std::string>& command, const std::string& temp,
                    const std::string& finalPath) {
  std::string line;
  for (const std::string& a : command) line += (line.empty() ? "" : " ") + ShellWord(a);
  const std::string t = ShellWord(temp);
  // "mv -n" leaves temp where it is when the final name was taken meanwhile;
  // the test after it turns that into a failure.
  line += " && mv -n -- " + t + " " + ShellWord(finalPath) + " && test ! -e " + t + " || (rm -f -- " + t +
          "; exit 1)";
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
  std::string temp = ReserveTemporaryOutput(path, error);
  if (temp.empty()) return false;
  int fd = open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  bool ok = fd >= 0 && WriteAll(fd, text.data(), text.size());
  ok = ok && fsync(fd) == 0;
  if (!ok) error = std::strerror(errno ? errno : EIO);
  if (fd >= 0 && close(fd) != 0 && ok) {
    ok = false;
    error = std::strerror(errno);
  }
  // A link never replaces a file that took the name meanwhile.
  if (ok && link(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno == EEXIST ? "it exists already" : std::strerror(errno);
  }
  unlink(temp.c_str());
  return ok;
}

}  // namespace pcm
