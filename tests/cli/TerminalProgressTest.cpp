// The front end's display on a terminal, read through a pseudo-terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <regex>

#include "cli/CliSupport.h"
#include "support/Fixtures.h"

using namespace clitest;
using pcmtest::ShellQuote;

namespace {

// Runs program with args on a new pseudo-terminal of 80 columns; returns
// what it wrote there and its exit status.
Result RunOnTerminal(const std::string& program, const std::vector<std::string>& args,
                     const std::string& config) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  Result r;
  int master = -1;
  struct winsize size = {};
  size.ws_row = 24;
  size.ws_col = 80;
  pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return r;
  if (pid == 0) {
    setenv("POPCLIPMILL_CONFIG_DIR", config.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO once the program has closed the terminal
    r.out.append(buffer, size_t(n));
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

// Three entries of four seconds, the second failing half way. The encoder is
// a script so its progress comes in known steps; probes are the real ones.
// Every redraw names the entry's place in the batch, and the time left falls
// from the first estimate to the last, the failure not throwing it off.
TEST(CliTerminal, PlaceInTheBatchAndTimeLeft) {
  std::string mp3 = pcmtest::MakeMedia("mp3", 4);
  std::string program = pcmtest::MakeProgramDir(
      "cli-terminal",
      "case \"$1\" in -i | --describe-each) exec " + ShellQuote(pcmtest::BinDir() + "/register.dat") +
          " \"$@\";; esac\n"
          "for a in \"$@\"; do last=\"$a\"; prev2=\"$prev\"; prev=\"$a\"; done\n"
          "for t in 1 2 3 4; do\n"
          "  printf 'frame= 1 time=%d.00 bitrate= 8.0kbits/s\\r' $t; sleep 0.5\n"
          "  case \"$*\" in *bad*) [ $t = 2 ] && { echo 'Conversion failed: scripted'; exit 1; };; esac\n"
          "done\n"
          "cat " +
          ShellQuote(mp3) + " > \"$last\"\n");
  ASSERT_TRUE(QFile::copy(QString::fromStdString(pcmtest::BinDir() + "/popclipmill"),
                          QString::fromStdString(program)));
  std::string src = pcmtest::MakeTempDir("cli-terminal-src");
  std::vector<std::string> args{"--batch", "--profile", "17", "--output",
                                pcmtest::MakeTempDir("cli-terminal-out")};
  // The last name is wider than the terminal.
  std::string wide = "/c";
  for (int k = 0; k < 60; ++k) wide += "\xC3\xBC";  // ü
  wide += std::string(80, 'x') + ".wav";
  for (const std::string& name : {std::string("/a.wav"), std::string("/bad.wav"), wide}) {
    ASSERT_TRUE(QFile::copy(QString::fromStdString(pcmtest::MakeMedia("wav", 4)),
                            QString::fromStdString(src + name)));
    args.push_back(src + name);
  }
  Result r = RunOnTerminal(program, args, pcmtest::MakeTempDir("cli-terminal-config"));
  EXPECT_EQ(r.status, 1) << r.out;  // the failed entry

  // The redraws, in order: place and, once measured, the time left.
  std::vector<int> places, left;
  static const std::regex kRedraw("entry ([0-9]+) of 3(, ([0-9]+):([0-9]+):([0-9]+) left)?");
  for (std::sregex_iterator m(r.out.begin(), r.out.end(), kRedraw), end; m != end; ++m) {
    places.push_back(std::stoi((*m)[1]));
    if ((*m)[2].matched)
      left.push_back(std::stoi((*m)[3]) * 3600 + std::stoi((*m)[4]) * 60 + std::stoi((*m)[5]));
  }
  ASSERT_FALSE(places.empty()) << r.out;
  EXPECT_TRUE(std::is_sorted(places.begin(), places.end())) << r.out;
  EXPECT_EQ(places.front(), 1) << r.out;
  EXPECT_EQ(places.back(), 3) << r.out;
  ASSERT_GE(left.size(), 3u) << r.out;
  EXPECT_GT(left.front(), left.back()) << r.out;
  EXPECT_LE(left.back(), 1) << r.out;
  for (int seconds : left) EXPECT_LE(seconds, left.front() + 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "Failed")) << r.out;

  // A redraw that wrapped would leave its first part on the screen: each
  // fits in a line, the wide name giving way to the progress.
  size_t redraws = 0;
  for (size_t at = r.out.find("\033[K["); at != std::string::npos; at = r.out.find("\033[K[", at + 1)) {
    std::string line = r.out.substr(at + 3, r.out.find_first_of("\r\n", at) - at - 3);
    if (!Contains(line, "%")) continue;  // an entry's end: a whole line of its own
    size_t columns = 0;
    for (unsigned char c : line) columns += (c & 0xC0) != 0x80;
    EXPECT_LE(columns, 79u) << line;
    if (Contains(line, "[3/3]")) {
      EXPECT_TRUE(Contains(line, "entry 3 of 3")) << line;
    }
    ++redraws;
  }
  EXPECT_GE(redraws, 8u) << r.out;
}
