#include "engine/Spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace pcm {

SpawnResult SpawnEncoder(const std::vector<std::string>& args, const std::string& workDir) {
  SpawnResult r;
  if (args.empty()) {
    r.error = "no encoder program given";
    return r;
  }
  const std::string& exe = args[0];
  if (access(exe.c_str(), X_OK) != 0) {
    r.error = "cannot start the encoder " + exe + ": " + std::strerror(errno);
    return r;
  }
  int out[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    r.error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return r;
  }
  if (pipe2(in, O_CLOEXEC) != 0) {
    r.error = std::string("cannot create a pipe: ") + std::strerror(errno);
    close(out[0]);
    close(out[1]);
    return r;
  }

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, out[1], 2);
  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&fa, workDir.c_str());

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setpgroup(&attr, 0);  // its own group, so stop and pause reach its children
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, exe.c_str(), &fa, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);

  // The child holds the only write end now, so the reader sees the end of the
  // pipe when the child and its children are gone.
  close(out[1]);
  close(in[0]);
  if (rc != 0) {
    close(out[0]);
    close(in[1]);
    r.error = "cannot start the encoder " + exe + ": " + std::strerror(rc);
    return r;
  }
  r.pid = pid;
  r.outFd = out[0];
  r.inFd = in[1];
  return r;
}

}  // namespace pcm
