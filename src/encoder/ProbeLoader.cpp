#include "ProbeLoader.h"

#include <dlfcn.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>

namespace adapter {

namespace {

// The directory of the running program, from /proc so that links and
// relative starts resolve to where the module really is.
std::string OwnDirectory() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

void SayError(const std::string& text) {
  std::string line = "register.dat: " + text + "\r\n";
  (void)!write(STDOUT_FILENO, line.data(), line.size());
}

using DescribeFn = char* (*)(const char*);
DescribeFn g_describe = nullptr;

}  // namespace

std::string OwnFolder() { return OwnDirectory(); }

void* ProbeModuleEntry(const char* entry, std::string* error) {
  std::string module = OwnDirectory() + kModuleName;
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    // The loader's reason names the path already in most cases.
    const char* why = dlerror();
    *error = std::string("the probe module ") + kModuleName + " cannot be loaded: " + (why ? why : module);
    return nullptr;
  }
  void* found = dlsym(handle, entry);
  if (!found)
    *error =
        std::string("the probe module ") + kModuleName + " cannot be used: " + module + " has no entry point";
  return found;
}

bool LoadResultDescriber(std::string* error) {
  if (!g_describe)
    g_describe = reinterpret_cast<DescribeFn>(ProbeModuleEntry("adapter_describe_media", error));
  return g_describe != nullptr;
}

std::string DescribeResult(const std::string& path) {
  if (!g_describe) return {};
  char* text = g_describe(path.c_str());
  if (!text) return {};
  std::string described = text;
  free(text);
  return described;
}

int LoadAndRunProbes(const std::vector<std::string>& paths, bool separated, pid_t parent) {
  // A probe runs no program to pass a stop request on to: it ends at once on
  // one, and with its parent whatever the probing is doing.
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(128 + SIGKILL);  // the parent is gone already

  std::string error;
  auto run = reinterpret_cast<int (*)(const char*)>(ProbeModuleEntry("adapter_run_probe", &error));
  if (!run) {
    SayError(error);
    return 1;
  }
  // Loading the media libraries is most of a probe's time, so one process
  // describes a whole group of files, each description ended by the record
  // separator byte 0x1E (a description never holds one: control bytes are
  // shown as '?'; the reader of the output stops a chunk at a NUL byte).
  int code = 1;
  for (const std::string& path : paths) {
    code = run(path.c_str());
    if (separated) {
      while (write(STDOUT_FILENO, "\x1e", 1) < 0 && errno == EINTR) {
      }
    }
  }
  return code;
}

}  // namespace adapter
