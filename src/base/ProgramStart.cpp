#include "base/ProgramStart.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace pcm {

namespace {

StartedProgram Failed(const std::string& program, int error) {
  StartedProgram r;
  r.error = error;
  r.what = "cannot start " + program + ": " + std::strerror(error);
  return r;
}

std::vector<char*> ArgumentVector(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

StartedProgram Spawn(const ProgramStart& how) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  const int from[3] = {how.in, how.out, how.err};
  // A descriptor mapped onto its own number loses close-on-exec here.
  for (int target = 0; target < 3; ++target)
    if (from[target] >= 0) posix_spawn_file_actions_adddup2(&fa, from[target], target);
  if (how.fd3 >= 0) posix_spawn_file_actions_adddup2(&fa, how.fd3, 3);
  posix_spawn_file_actions_addclosefrom_np(&fa, how.fd3 >= 0 ? 4 : 3);
  if (!how.workDir.empty()) posix_spawn_file_actions_addchdir_np(&fa, how.workDir.c_str());

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (how.ownGroup) {
    posix_spawnattr_setpgroup(&attr, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attr, flags);

  std::vector<char*> argv = ArgumentVector(how.args);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return Failed(how.args[0], rc);
  StartedProgram r;
  r.pid = pid;
  return r;
}

// Between fork and exec only async-signal-safe calls: the caller may have
// other threads.
[[noreturn]] void RunChild(const ProgramStart& how, char* const* argv, pid_t parent, int report) {
  auto fail = [report] {
    int e = errno;
    (void)!write(report, &e, sizeof e);
    _exit(127);
  };
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
  if (how.dieWithCaller) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the caller died before we asked
  }
  if (how.ownGroup && setpgid(0, 0) != 0) fail();
  const int from[3] = {how.in, how.out, how.err};
  for (int target = 0; target < 3; ++target) {
    if (from[target] < 0) continue;
    if (from[target] == target ? fcntl(target, F_SETFD, 0) != 0 : dup2(from[target], target) < 0) fail();
  }
  // The report pipe lies above 3 (ForkAndExec sees to it).
  if (how.fd3 >= 0 && (how.fd3 == 3 ? fcntl(3, F_SETFD, 0) != 0 : dup2(how.fd3, 3) < 0)) fail();
  if (!how.workDir.empty() && chdir(how.workDir.c_str()) != 0) fail();
  // Everything above closes at exec; the report pipe stays usable until then.
  const unsigned first = how.fd3 >= 0 ? 4 : 3;
  if (syscall(SYS_close_range, first, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    rlimit limit{};
    int top = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? int(limit.rlim_cur) : 65536;
    for (int fd = int(first); fd < top; ++fd)
      if (fd != report) close(fd);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(argv[0], argv);
  fail();
  _exit(127);
}

StartedProgram ForkAndExec(const ProgramStart& how) {
  std::vector<char*> argv = ArgumentVector(how.args);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return Failed(how.args[0], errno);
  // The child's descriptor 3 may be taken by the file it is handed.
  if (how.fd3 >= 0 && report[1] <= 3) {
    int moved = fcntl(report[1], F_DUPFD_CLOEXEC, 4);
    close(report[1]);
    if (moved < 0) {
      close(report[0]);
      return Failed(how.args[0], errno);
    }
    report[1] = moved;
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) RunChild(how, argv.data(), parent, report[1]);
  int forkError = errno;
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return Failed(how.args[0], forkError);
  }
  int e = 0;
  ssize_t n;
  do {
    n = read(report[0], &e, sizeof e);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == ssize_t(sizeof e)) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return Failed(how.args[0], e);
  }
  StartedProgram r;
  r.pid = pid;
  return r;
}

}  // namespace

StartedProgram StartProgram(const ProgramStart& how) {
  if (how.args.empty() || how.args[0].empty()) {
    StartedProgram r;
    r.error = EINVAL;
    r.what = "cannot start a program: none was given";
    return r;
  }
  return how.dieWithCaller ? ForkAndExec(how) : Spawn(how);
}

bool FinishedProgram::succeeded() const {
  return start.ok() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

FinishedProgram RunToEnd(ProgramStart how) {
  FinishedProgram r;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    r.start = Failed(how.args.empty() ? std::string("a program") : how.args[0], errno);
    return r;
  }
  how.out = out[1];
  r.start = StartProgram(how);
  close(out[1]);
  char buffer[4096];
  for (;;) {
    ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.out.append(buffer, size_t(n));
  }
  close(out[0]);
  while (r.start.ok() && waitpid(r.start.pid, &r.status, 0) < 0 && errno == EINTR) {
  }
  return r;
}

}  // namespace pcm
