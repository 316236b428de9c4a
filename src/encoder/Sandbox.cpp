#include "Sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The system's header may be older than the kernel: what later ABIs added is
// defined here with the kernel's values.
#ifndef __NR_landlock_create_ruleset
#define __NR_landlock_create_ruleset 444
#define __NR_landlock_add_rule 445
#define __NR_landlock_restrict_self 446
#endif
#ifndef LANDLOCK_ACCESS_FS_REFER
#define LANDLOCK_ACCESS_FS_REFER (1ULL << 13)
#endif
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef LANDLOCK_ACCESS_FS_IOCTL_DEV
#define LANDLOCK_ACCESS_FS_IOCTL_DEV (1ULL << 15)
#endif
#ifndef LANDLOCK_ACCESS_NET_BIND_TCP
#define LANDLOCK_ACCESS_NET_BIND_TCP (1ULL << 0)
#define LANDLOCK_ACCESS_NET_CONNECT_TCP (1ULL << 1)
#endif
#ifndef LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET
#define LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET (1ULL << 0)
#define LANDLOCK_SCOPE_SIGNAL (1ULL << 1)
#endif

namespace adapter {

namespace {

// The ruleset's attributes as ABI 6 and later know them; older kernels are
// given only the fields they know.
struct RulesetAttributes {
  uint64_t handledFiles = 0;
  uint64_t handledNetwork = 0;
  uint64_t scoped = 0;
};

constexpr uint64_t kReadRights =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// The rights a rule for a single file (not a folder) may hold.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                 LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_TRUNCATE |
                                 LANDLOCK_ACCESS_FS_IOCTL_DEV;
constexpr uint64_t kWriteFileRights =
    LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE;

// Every file system right the kernel's ABI knows (ABI 1: bits 0-12, 2 adds
// REFER, 3 TRUNCATE, 5 IOCTL_DEV).
uint64_t FileRightsOf(int abi) {
  uint64_t rights = (1ULL << 13) - 1;
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  if (abi >= 5) rights |= LANDLOCK_ACCESS_FS_IOCTL_DEV;
  return rights;
}

// 0 or the errno of the failed step. A path that cannot be opened is
// reported too; the caller decides whether that matters.
int AllowBeneath(int ruleset, const std::string& path, uint64_t access, bool folder) {
  if (access == 0) return 0;
  int fd = open(path.c_str(), O_PATH | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
  if (fd < 0) return errno;
  landlock_path_beneath_attr rule{};
  rule.allowed_access = access;
  rule.parent_fd = fd;
  int error = syscall(__NR_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0 ? 0 : errno;
  close(fd);
  return error;
}

// A path gone or not what it was expected to be: nothing to allow there.
bool Absent(int error) { return error == ENOENT || error == ENOTDIR || error == EACCES || error == ELOOP; }

// The system's folders a program reads while it starts and runs: its
// libraries and their data, settings, fonts and fontconfig's cache, and what
// the kernel tells about processes and the machine.
constexpr const char* kSystemFolders[] = {"/usr",
                                          "/lib",
                                          "/lib32",
                                          "/lib64",
                                          "/libx32",
                                          "/bin",
                                          "/sbin",
                                          "/etc",
                                          "/proc",
                                          "/sys",
                                          "/var/cache/fontconfig"};

// The folder of a program's path (after links), or "" when it has none.
std::string ProgramFolder(const std::string& program) {
  char* real = realpath(program.c_str(), nullptr);
  if (!real) return {};
  std::string path = real;
  free(real);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The rules of a ruleset handling `handled`; false with *error when one
// could not be added for another reason than its path being absent.
bool AddRules(int ruleset, uint64_t handled, const Writable& writable, const Readable& readable,
              const std::vector<std::string>& programs, std::string* error) {
  for (const char* folder : kSystemFolders) {
    int failed = AllowBeneath(ruleset, folder, kReadRights & handled, true);
    if (failed && !Absent(failed)) {
      *error = std::string("reading from ") + folder + " cannot be allowed: " + strerror(failed);
      return false;
    }
  }
  // The adapter's own folder (the probe module) and those of the programs
  // it runs (ffmpeg may be a script beside its helpers).
  std::vector<std::string> runs = programs;
  runs.push_back("/proc/self/exe");
  for (const std::string& program : runs)
    if (std::string folder = ProgramFolder(program); !folder.empty())
      AllowBeneath(ruleset, folder, kReadRights & handled, true);
  // Inputs that are gone or no path cannot be read anyway.
  for (const std::string& file : readable.files)
    AllowBeneath(ruleset, file, LANDLOCK_ACCESS_FS_READ_FILE & handled, false);
  for (const std::string& folder : readable.folders)
    AllowBeneath(ruleset, folder, (LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR) & handled,
                 true);
  AllowBeneath(ruleset, "/dev/urandom", LANDLOCK_ACCESS_FS_READ_FILE & handled, false);
  if (!writable.folder.empty()) {
    int failed = AllowBeneath(ruleset, writable.folder, handled, true);
    if (failed && !Absent(failed)) {
      *error = "writing in " + writable.folder + " cannot be allowed: " + strerror(failed);
      return false;
    }
  }
  // A pipe reached through /proc, for one, is no path a rule can hold: it
  // then stays unwritable.
  if (!writable.file.empty()) AllowBeneath(ruleset, writable.file, kWriteFileRights & handled, false);
  if (writable.devNull) AllowBeneath(ruleset, "/dev/null", kWriteFileRights & handled, false);
  if (writable.dvdDrive && (handled & LANDLOCK_ACCESS_FS_IOCTL_DEV)) {
    glob_t drives{};
    if (glob("/dev/sr[0-9]*", 0, nullptr, &drives) == 0)
      for (size_t i = 0; i < drives.gl_pathc; ++i)
        AllowBeneath(ruleset, drives.gl_pathv[i], LANDLOCK_ACCESS_FS_IOCTL_DEV | LANDLOCK_ACCESS_FS_READ_FILE,
                     false);
    globfree(&drives);
  }
  return true;
}

// The threads of this process; 0 when /proc cannot tell.
int ThreadCount() {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return 0;
  int count = 0;
  while (const dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.') ++count;
  closedir(tasks);
  return count;
}

}  // namespace

Writable ConversionWritable(const std::string& output) {
  Writable writable;
  writable.devNull = true;
  if (output.empty() || output == "-") return writable;
  struct stat st;
  if (stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    writable.file = output;
    return writable;
  }
  size_t slash = output.rfind('/');
  writable.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
  return writable;
}

Confinement Confine(const Writable& writable, const Readable& readable,
                    const std::vector<std::string>& programs) {
  Confinement c;
  // Needed by an unprivileged process to confine itself, and wanted anyway:
  // nothing started from here gains rights through set-user-id or file
  // capabilities.
  c.noNewPrivileges = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
  int abi = int(syscall(__NR_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
  if (abi < 0) {
    c.unavailable = errno == ENOSYS       ? "the kernel has no Landlock"
                    : errno == EOPNOTSUPP ? "Landlock is turned off in this kernel"
                                          : std::string("Landlock cannot be used: ") + strerror(errno);
    return c;
  }
  c.abi = abi;
  RulesetAttributes attributes;
  attributes.handledFiles = FileRightsOf(abi);
  size_t size = sizeof attributes.handledFiles;
  if (abi >= 4) {
    attributes.handledNetwork = LANDLOCK_ACCESS_NET_BIND_TCP | LANDLOCK_ACCESS_NET_CONNECT_TCP;
    size += sizeof attributes.handledNetwork;
  }
  if (abi >= 6) {
    attributes.scoped = LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET | LANDLOCK_SCOPE_SIGNAL;
    size += sizeof attributes.scoped;
  }
  int ruleset = int(syscall(__NR_landlock_create_ruleset, &attributes, size, 0));
  if (ruleset < 0) {
    c.error = std::string("no ruleset: ") + strerror(errno);
    return c;
  }
  // No network rule is added: every TCP connect and bind is refused.
  bool ruled = AddRules(ruleset, attributes.handledFiles, writable, readable, programs, &c.error);
  if (ruled && !c.noNewPrivileges) c.error = "the process may still gain privileges";
  // Landlock confines the calling thread only: another one would stay free.
  if (ruled && c.error.empty() && ThreadCount() > 1) c.error = "more than one thread runs";
  if (ruled && c.error.empty() && syscall(__NR_landlock_restrict_self, ruleset, 0) != 0)
    c.error = std::string("restricting failed: ") + strerror(errno);
  close(ruleset);
  if (!c.error.empty()) return c;
  c.files = true;
  c.network = attributes.handledNetwork != 0;
  c.scoped = attributes.scoped != 0;
  return c;
}

std::string DescribeConfinement(const Confinement& c) {
  const std::string privileges = c.noNewPrivileges ? "no new privileges" : "new privileges possible";
  if (!c.error.empty())
    return "sandbox: Landlock ABI " + std::to_string(c.abi) + ", but the encoder cannot confine itself (" +
           c.error + "): it refuses to run\n";
  if (c.abi == 0)
    return "sandbox: none (" + c.unavailable + "): the encoder runs with the user's rights, " + privileges +
           "\n";
  std::string text = "sandbox: Landlock ABI " + std::to_string(c.abi) +
                     ": reads only its inputs and the system's files, writes only in the output folder";
  if (c.network) text += ", no TCP connect or bind";
  if (c.scoped) text += ", signals and abstract sockets kept inside";
  text += ", " + privileges;
  if (!c.network || !c.scoped) {
    text += "; not confined:";
    if (!c.network) text += " TCP (needs ABI 4)";
    if (!c.scoped) text += std::string(c.network ? "" : ",") + " signals and abstract sockets (need ABI 6)";
  }
  return text + "\n";
}

}  // namespace adapter
