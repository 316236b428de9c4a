#include "AdapterHarness.h"

#include <sys/stat.h>

#include <QThread>
#include <csignal>
#include <fstream>
#include <sstream>

#include "support/Fixtures.h"

namespace adaptertest {

std::string Adapter() { return pcmtest::BinDir() + "/register.dat"; }

AdapterRun RunAdapter(const std::string& quotedArgs, const std::string& env) {
  AdapterRun r;
  // A bound so that a hanging adapter fails the test instead of stalling it.
  r.code = pcmtest::RunShell(env + " /usr/bin/timeout -k 5 120 " + pcmtest::ShellQuote(Adapter()) + " " +
                                 quotedArgs + " 2>&1 </dev/null",
                             &r.out);
  return r;
}

std::string WriteScript(const std::string& dir, const std::string& name, const std::string& body) {
  std::string path = dir + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
  return path;
}

pid_t WaitForChild(pid_t pid) {
  pid_t child = -1;
  pcmtest::WaitUntil(
      [&] {
        std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
        return static_cast<bool>(in >> child);
      },
      20000);
  return child;
}

bool Gone(pid_t pid) {
  if (kill(pid, 0) != 0) return true;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  size_t close = line.rfind(')');
  return close == std::string::npos || (close + 2 < line.size() && line[close + 2] == 'Z');
}

bool WaitGone(pid_t pid) {
  return pcmtest::WaitUntil([&] { return Gone(pid); }, 20000);
}

std::string EchoFfmpeg() {
  static std::string path = WriteScript(pcmtest::MakeTempDir("echo-ffmpeg"), "ffmpeg",
                                        "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done");
  return "POPCLIPMILL_FFMPEG=" + pcmtest::ShellQuote(path);
}

std::vector<std::string> EchoedArgs(const std::string& out) {
  std::vector<std::string> args;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      args.push_back(line.substr(1, line.size() - 2));
  return args;
}

}  // namespace adaptertest
