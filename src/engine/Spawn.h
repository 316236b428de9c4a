#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace pcm {

struct SpawnResult {
  pid_t pid = -1;
  int outFd = -1;  // read end: the child's stdout and stderr merged
  int inFd = -1;   // write end of the child's stdin; never written
  std::string error;
  bool ok() const { return pid > 0; }
};

// Starts args[0] with args in its own process group, stdin a pipe nobody
// writes, stdout and stderr the same pipe, and workDir as its current
// directory. Every other descriptor is closed in the child.
SpawnResult SpawnEncoder(const std::vector<std::string>& args, const std::string& workDir);

}  // namespace pcm
