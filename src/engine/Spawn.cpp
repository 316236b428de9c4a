#include "engine/Spawn.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/ProgramStart.h"

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

  ProgramStart how;
  how.args = args;
  how.workDir = workDir;
  how.in = in[0];
  how.out = out[1];
  how.err = out[1];
  how.ownGroup = true;  // so stop and pause reach its children
  StartedProgram started = StartProgram(how);

  // The child holds the only write end now, so the reader sees the end of the
  // pipe when the child and its children are gone.
  close(out[1]);
  close(in[0]);
  if (!started.ok()) {
    close(out[0]);
    close(in[1]);
    r.error = "cannot start the encoder " + exe + ": " + std::strerror(started.error);
    return r;
  }
  r.pid = started.pid;
  r.outFd = out[0];
  r.inFd = in[1];
  return r;
}

}  // namespace pcm
