#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// Starting another program, the one way every part of the system does it:
// the program always replaces the child (exec), its signals are reset to
// their defaults and unmasked, and it holds no descriptor but 0, 1 and 2
// (and 3 where one is handed to it).
// Plain C++ without Qt, so the encoder adapter uses it too.
namespace pcm {

struct ProgramStart {
  std::vector<std::string> args;  // args[0] is the program's path; PATH is not searched
  std::string workDir;            // empty: the caller's
  // The descriptors that become the program's 0, 1 and 2; -1 passes the
  // caller's own on. Each is either above 2 or the number it maps to.
  int in = -1;
  int out = -1;
  int err = -1;
  // A descriptor that becomes the program's 3: a file it writes without
  // opening it by name. -1 for none.
  int fd3 = -1;
  // A process group of its own (its id is the pid), so that one signal to
  // the group reaches the programs it runs; else the caller's group.
  bool ownGroup = false;
  // SIGKILL to the program when the calling thread ends. The program is then
  // started by fork and exec, since only the child can ask for this.
  bool dieWithCaller = false;
};

struct StartedProgram {
  pid_t pid = -1;
  int error = 0;     // the errno of a failed start
  std::string what;  // "cannot start PROGRAM: REASON" when it failed
  bool ok() const { return pid > 0; }
};

// Starts the program and returns once it runs (exec has succeeded) or has
// failed to start; a program that cannot be run is reported here, never as
// an exit code later. The caller waits for the pid.
StartedProgram StartProgram(const ProgramStart& how);

// What a program that ran to its end wrote and how it ended.
struct FinishedProgram {
  StartedProgram start;
  std::string out;         // its standard output, all of it
  int status = 0;          // as waitpid gives it; meaningful when start.ok()
  bool succeeded() const;  // started, and exited with status 0
};

// Starts the program (how.out is replaced by a pipe of ours), collects its
// standard output until it closes it, and waits for the program's end.
FinishedProgram RunToEnd(ProgramStart how);

}  // namespace pcm
