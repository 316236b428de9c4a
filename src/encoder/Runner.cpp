#include "Runner.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "DvdInput.h"
#include "DvdReader.h"
#include "OutputFilter.h"
#include "ProbeLoader.h"
#include "ResultCheck.h"
#include "base/HiddenOutput.h"
#include "base/ProgramStart.h"
#include "base/WriteAll.h"

namespace adapter {

namespace {

constexpr size_t kDvdSector = 2048;

// The programs we run, for the signal handler. pid_t fits sig_atomic_t here.
volatile sig_atomic_t g_children[2] = {0, 0};
volatile sig_atomic_t g_signal = 0;
// A new output file made here, removed at once on a stop request: nothing
// written after it can be wanted, and the adapter may not get to remove it
// later (the requests that follow end in SIGKILL).
const char* volatile g_newOutputPath = nullptr;
volatile sig_atomic_t g_newOutputFd = -1;
// Why results cannot be described, when the probe module cannot be loaded.
std::string g_describerError;

void ForwardSignal(int sig) {
  g_signal = sig;
  int saved = errno;
  pcm::RemoveHiddenOutput(g_newOutputPath, g_newOutputFd);
  for (auto pid : g_children)
    if (pid > 0) kill(pid, sig);
  errno = saved;
}

// The reader gone, the output is dropped.
void Say(const std::string& line) { pcm::WriteAll(STDOUT_FILENO, line.data(), line.size()); }

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return name;  // not found: exec reports it
}

std::string FfmpegProgram() {
  const char* env = getenv("POPCLIPMILL_FFMPEG");
  return FindProgram(env && *env ? env : "ffmpeg");
}

namespace {

struct Child {
  pid_t pid = -1;
  std::string error;  // why it could not start
};

// Starts program with args and the given standard descriptors (and fd3 as
// its descriptor 3 when set), in our process group, killed when the adapter
// dies; a failed exec is known at once.
Child Start(const std::string& program, const Args& args, int in, int out, int err, int slot, int fd3 = -1) {
  pcm::ProgramStart how;
  how.args.push_back(program);
  how.args.insert(how.args.end(), args.begin(), args.end());
  how.in = in;
  how.out = out;
  how.err = err;
  how.fd3 = fd3;
  how.dieWithCaller = true;
  // Held back until the pid is known, so a stop request reaches the child.
  sigset_t stops, old;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_BLOCK, &stops, &old);
  pcm::StartedProgram started = pcm::StartProgram(how);
  Child child;
  if (started.ok()) {
    child.pid = started.pid;
    g_children[slot] = started.pid;
    if (g_signal) kill(started.pid, g_signal);  // a stop came before the child existed
  } else {
    child.error = strerror(started.error);
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return child;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

// Passes everything from fd on to our output until every writer is gone,
// with `shown` where the lines say `written`. Returns the first write
// failure the lines tell of (WriteFailure), "" when none.
std::string Pump(int fd, const std::string& written = {}, const std::string& shown = {}) {
  OutputFilter filter([](const char* data, size_t size) { pcm::WriteAll(STDOUT_FILENO, data, size); });
  filter.ShowAs(written, shown);
  std::string failure;
  filter.Watch([&failure](const std::string& line) {
    if (failure.empty()) failure = WriteFailure(line);
  });
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      filter.Feed(buf, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  filter.Finish();
  return failure;
}

// A program that exited 0 although its output says the output was not
// written whole has failed.
int WithWriteFailure(int code, const std::string& failure) {
  if (code != 0 || failure.empty()) return code;
  Say("register.dat: the output was not written completely: " + failure + "\n");
  return 1;
}

int NullInput() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

}  // namespace

void SetUpLifetime() {
  pid_t parent = getppid();
  // Standard descriptors that came closed are opened on /dev/null, so no
  // pipe of ours takes their number and gets closed or replaced later.
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) < 0) open("/dev/null", O_RDWR);
  struct sigaction sa {};
  sa.sa_handler = ForwardSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  // A closed output must not kill us before ffmpeg is stopped.
  signal(SIGPIPE, SIG_IGN);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(128 + SIGTERM);  // the parent died before we asked
}

namespace {

// The path by which a program opens the file it was handed as descriptor 3.
constexpr const char* kHandedFile = "/proc/self/fd/3";

// Runs ffmpeg with the given arguments and standard input, passing its
// output on. in = -1 gives it /dev/null. A target's file replaces the
// output argument, whose name then goes into the messages in its place.
int RunFfmpeg(Args ffmpegArgs, int in, const OutputTarget& target) {
  std::string shownOutput;
  if (target.fd >= 0 && !ffmpegArgs.empty()) {
    shownOutput = ffmpegArgs.back();
    ffmpegArgs.back() = std::string("file:") + kHandedFile;
  }
  int progress[2];
  if (pipe2(progress, O_CLOEXEC) != 0) {
    Say(std::string("register.dat: cannot create a pipe: ") + strerror(errno) + "\n");
    return 1;
  }
  int null = in < 0 ? NullInput() : -1;
  Child ffmpeg =
      Start(FfmpegProgram(), ffmpegArgs, in < 0 ? null : in, progress[1], progress[1], 0, target.fd);
  close(progress[1]);
  if (null >= 0) close(null);
  if (ffmpeg.pid < 0) {
    close(progress[0]);
    Say("register.dat: cannot start ffmpeg: " + ffmpeg.error + "\n");
    return 127;
  }
  std::string failure = Pump(progress[0], shownOutput.empty() ? "" : ffmpegArgs.back(), shownOutput);
  close(progress[0]);
  int code = Wait(ffmpeg.pid);
  g_children[0] = 0;
  return WithWriteFailure(code, failure);
}

// ffmpeg decodes the input to WAV, sox encodes it to AMR. in as above; a
// target's file is sox's standard output.
int RunAmr(AmrPlan plan, int in, const OutputTarget& target) {
  if (target.fd >= 0) plan.sox.back() = "-";
  int progress[2], audio[2];
  if (pipe2(progress, O_CLOEXEC) != 0) {
    Say(std::string("register.dat: cannot create a pipe: ") + strerror(errno) + "\n");
    return 1;
  }
  if (pipe2(audio, O_CLOEXEC) != 0) {
    close(progress[0]);
    close(progress[1]);
    Say(std::string("register.dat: cannot create a pipe: ") + strerror(errno) + "\n");
    return 1;
  }
  // sox first, so a missing sox is known before ffmpeg decodes anything.
  Child sox =
      Start(FindProgram("sox"), plan.sox, audio[0], target.fd >= 0 ? target.fd : progress[1], progress[1], 1);
  close(audio[0]);
  if (sox.pid < 0) {
    close(audio[1]);
    close(progress[0]);
    close(progress[1]);
    Say("register.dat: cannot start sox: " + sox.error + "\n");
    return 127;
  }
  int null = in < 0 ? NullInput() : -1;
  Child ffmpeg = Start(FfmpegProgram(), plan.ffmpeg, in < 0 ? null : in, audio[1], progress[1], 0);
  close(audio[1]);  // sox sees the end of its input when ffmpeg is done
  close(progress[1]);
  if (null >= 0) close(null);
  if (ffmpeg.pid < 0) {
    Say("register.dat: cannot start ffmpeg: " + ffmpeg.error + "\n");
    kill(sox.pid, SIGTERM);
    Pump(progress[0]);
    close(progress[0]);
    Wait(sox.pid);
    g_children[1] = 0;
    return 127;
  }
  std::string failure = Pump(progress[0]);
  close(progress[0]);
  int decoded = Wait(ffmpeg.pid);
  g_children[0] = 0;
  int encoded = Wait(sox.pid);
  g_children[1] = 0;
  return WithWriteFailure(decoded != 0 ? decoded : encoded, failure);
}

}  // namespace

int RunConversion(const Args& args, const OutputTarget& target) {
  return RunFfmpeg(FfmpegArguments(args), -1, target);
}

int RunAmrConversion(const Args& args, const OutputTarget& target) {
  return RunAmr(PlanAmr(args), -1, target);
}

int RunDvdConversion(const Args& args, size_t at, const OutputTarget& target) {
  DvdPlan plan;
  std::string error;
  if (!PlanDvd(args, at, &plan, &error)) {
    Say("register.dat: " + error + "\n");
    return 1;
  }
  if (at + 1 >= args.size()) {
    Say("register.dat: a DVD input is converted, not described: no output given\n");
    return 1;
  }
  DvdReader reader;
  if (!reader.Open(plan.form, &error)) {
    Say("register.dat: " + error + "\n");
    return 1;
  }
  std::string leadIn;
  const bool video = std::find(plan.args.begin(), plan.args.end(), "-vn") == plan.args.end();
  if (plan.form.subtitleId != 0 && video) {
    std::vector<unsigned char> first(kDvdSector);
    uint64_t scr = 0, pts = 0;
    if (reader.ReadFirstSector(first.data()) && !ReadVobuStart(first.data(), &scr, &pts)) pts = scr;
    leadIn = LeadInPack(plan.form.subtitleId, scr, pts);
    // The disc's own subtitle colours, given to the decoder of the input.
    std::string palette = reader.SubtitlePalette();
    if (!palette.empty()) plan.args.insert(plan.args.begin() + plan.inputAt, {"-palette", palette});
  }

  int feed[2];
  if (pipe2(feed, O_CLOEXEC) != 0) {
    Say(std::string("register.dat: cannot create a pipe: ") + strerror(errno) + "\n");
    return 1;
  }
  // The writer feeds ffmpeg's input; it ends at the row's end, or quietly
  // when ffmpeg closes its input early (it has read what -t asked for).
  std::atomic<bool> written{false};
  bool readOk = true;
  std::string readError;
  std::thread writer([&] {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);  // stop requests are the main thread's
    readOk = reader.Stream(feed[1], leadIn, &readError);
    close(feed[1]);
    written = true;
  });
  int code = IsAmrOutput(plan.args) ? RunAmr(PlanAmr(plan.args), feed[0], target)
                                    : RunFfmpeg(FfmpegArguments(plan.args), feed[0], target);
  close(feed[0]);  // a writer still busy now fails at once on the closed pipe
  // A writer stuck in a read of the disc must not keep the adapter alive.
  for (int i = 0; i < 500 && !written; ++i) usleep(10000);
  if (!written) {
    pcm::RemoveHiddenOutput(g_newOutputPath, g_newOutputFd);
    _exit(code != 0 ? code : 1);
  }
  writer.join();
  if (reader.skipped() > 0)
    Say("register.dat: " + std::to_string(reader.skipped()) + " unreadable DVD sectors were left out\n");
  if (!readOk) {
    Say("register.dat: " + readError + "\n");
    if (code == 0) code = 1;
  }
  return code;
}

bool ChecksResult(const Args& args) {
  if (args.size() < 2) return false;
  const std::string& output = args.back();
  return pcm::IsReservedOutputName(output.substr(output.rfind('/') + 1));
}

bool PrepareResultCheck() { return LoadResultDescriber(&g_describerError); }

int Convert(const Args& args, const OutputTarget& target) {
  int code;
  if (size_t at = FindDvdInput(args))
    code = RunDvdConversion(args, at, target);
  else if (IsAmrOutput(args))
    code = RunAmrConversion(args, target);
  else
    code = RunConversion(args, target);
  if (code != 0 || g_signal || !ChecksResult(args)) return code;
  // The result is looked at through the descriptor it was written through
  // where there is one, so it is the file written that is judged.
  const std::string written = target.fd >= 0 ? "/proc/self/fd/" + std::to_string(target.fd) : args.back();
  ResultCheck check;
  if (!PrepareResultCheck())
    check.fault = "the output cannot be checked: " + g_describerError;
  else
    check = CheckResult(args, written);
  Say(check.line);
  if (check.fault.empty()) return 0;
  Say("register.dat: " + check.fault + "\n");
  return 1;
}

bool OpenReservedOutput(const Args& args, OutputTarget& target) {
  if (args.size() < 2) return true;
  const std::string& output = args.back();
  if (!pcm::IsReservedOutputName(output.substr(output.rfind('/') + 1))) return true;
  if (!IsAmrOutput(args) && !NamesOutputFormat(args)) return true;
  int fd = open(output.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  int error = errno;
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) {
    target.fd = fd;
    return true;
  }
  Say("register.dat: the output " + output + " is not the file reserved for it" +
      (fd < 0 ? std::string(": ") + strerror(error) : std::string()) + "\n");
  if (fd >= 0) close(fd);
  return false;
}

namespace {

// Arms or disarms the removal of the new output on a stop request, with the
// requests held back meanwhile so the handler sees both values or neither.
void WatchNewOutput(const char* path, int fd) {
  sigset_t stops, old;
  sigemptyset(&stops);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, sig);
  sigprocmask(SIG_BLOCK, &stops, &old);
  g_newOutputPath = path;
  g_newOutputFd = fd;
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

int ConvertIntoNewFile(Args args) {
  if (args.size() < 2) {
    Say("register.dat: " + std::string(kNewOutputOption) + " needs a conversion's arguments\n");
    return 2;
  }
  const std::string finalPath = args.back();
  if (!IsAmrOutput(args) && !NamesOutputFormat(args)) {
    Say("register.dat: the output's format is not named (-f): the new file " + finalPath +
        " is only written through its descriptor\n");
    return 1;
  }
  // A closed terminal ends a job line run from one.
  struct sigaction sa {};
  sa.sa_handler = ForwardSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGHUP, &sa, nullptr);
  pcm::HiddenOutput out = pcm::CreateHiddenOutput(finalPath);
  if (out.fd < 0) {
    Say("register.dat: cannot create a file beside " + finalPath + ": " + strerror(out.error) + "\n");
    return 1;
  }
  WatchNewOutput(out.path.c_str(), out.fd);
  args.back() = out.path;
  int code = g_signal ? 128 + g_signal : Convert(args, {out.fd});
  // What took the hidden file's place while it was written (a link another
  // user put there) is neither written through nor given the final name.
  if (code == 0 && !g_signal && !pcm::StillNames(out.path.c_str(), out.fd)) {
    Say("register.dat: the hidden file " + out.path +
        " was replaced while it was written; the result is dropped\n");
    code = 1;
  }
  if (code == 0 && !g_signal) {
    int error = 0;
    switch (pcm::MoveWithoutReplacing(out.path, finalPath, error)) {
      case pcm::NameMove::Done:
        WatchNewOutput(nullptr, -1);
        close(out.fd);
        return 0;
      case pcm::NameMove::Taken:
        Say("register.dat: " + finalPath + " exists; it is not replaced and the result is dropped\n");
        break;
      case pcm::NameMove::Failed:
        Say("register.dat: cannot give the output its name " + finalPath + ": " + strerror(error) + "\n");
        break;
    }
    code = 1;
  }
  WatchNewOutput(nullptr, -1);
  pcm::RemoveHiddenOutput(out.path.c_str(), out.fd);
  close(out.fd);
  return code != 0 ? code : 128 + g_signal;
}

int PrintCommand(const Args& args) {
  Args command;
  if (FindDvdInput(args) || IsAmrOutput(args)) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    command.emplace_back(self, size_t(n));
    command.insert(command.end(), args.begin(), args.end());
  } else {
    // The program as found now, made absolute, so the command runs from any
    // folder.
    std::string ffmpeg = FfmpegProgram();
    if (ffmpeg.find('/') != std::string::npos && ffmpeg[0] != '/')
      if (char* real = realpath(ffmpeg.c_str(), nullptr)) {
        ffmpeg = real;
        free(real);
      }
    command = FfmpegArguments(args);
    command.insert(command.begin(), ffmpeg);
  }
  std::string out;
  for (const std::string& a : command) out.append(a).push_back('\0');
  return pcm::WriteAll(STDOUT_FILENO, out.data(), out.size()) ? 0 : 1;
}

}  // namespace adapter
