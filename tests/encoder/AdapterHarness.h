#pragma once
// Runs the built register.dat and looks at the processes it leaves.
#include <sys/types.h>

#include <string>
#include <vector>

namespace adaptertest {

std::string Adapter();

struct AdapterRun {
  int code = -1;
  std::string out;  // stdout and stderr together, as the program reads them
};
// Runs the adapter with arguments already quoted for the shell; env is put
// in front of the command ("VAR=value ...").
AdapterRun RunAdapter(const std::string& quotedArgs, const std::string& env = "");

// Writes an executable shell script into dir and returns its path.
std::string WriteScript(const std::string& dir, const std::string& name, const std::string& body);

// The first child process of pid, or -1 when none shows up in time.
pid_t WaitForChild(pid_t pid);
// True once pid is gone (or only a zombie waiting for its reaper).
bool Gone(pid_t pid);
bool WaitGone(pid_t pid);

// The environment setting that makes the adapter run a scripted ffmpeg which
// prints each argument it gets on a line of its own, in brackets.
std::string EchoFfmpeg();
// The arguments such a script printed, in order.
std::vector<std::string> EchoedArgs(const std::string& out);

}  // namespace adaptertest
