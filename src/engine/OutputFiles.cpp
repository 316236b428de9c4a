#include "engine/OutputFiles.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace pcm {

namespace {

// The reserved files of this process with the descriptors that hold their
// locks, by path.
std::mutex g_heldMutex;
std::map<std::string, int> g_held;

// Takes the descriptor of a reserved file out of the list; -1 when none.
int TakeHeld(const std::string& path) {
  std::lock_guard<std::mutex> l(g_heldMutex);
  auto it = g_held.find(path);
  if (it == g_held.end()) return -1;
  int fd = it->second;
  g_held.erase(it);
  return fd;
}

}  // namespace

bool PathTaken(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string ReserveTemporaryOutput(const std::string& finalPath, std::string& error) {
  HiddenOutput out = CreateHiddenOutput(finalPath);
  if (out.fd < 0) {
    size_t slash = finalPath.rfind('/');
    if (out.error == ENAMETOOLONG)
      error = "the output name " + finalPath.substr(slash + 1) + " is too long";
    else
      error = "cannot write in the output folder " +
              (slash == std::string::npos ? std::string(".") : finalPath.substr(0, slash + 1)) + ": " +
              std::strerror(out.error);
    return {};
  }
  std::lock_guard<std::mutex> l(g_heldMutex);
  g_held[out.path] = out.fd;
  return out.path;
}

std::string MoveToFinalName(const std::string& tempPath, const std::string& finalPath,
                            const std::function<std::string(int)>& numbered, std::string& error) {
  std::string candidate = finalPath;
  for (int i = 1;; ++i) {
    int err = 0;
    switch (MoveWithoutReplacing(tempPath, candidate, err)) {
      case NameMove::Done: {
        // The file has its name: no clean-up would take it for a leftover.
        int fd = TakeHeld(tempPath);
        if (fd >= 0) close(fd);
        return candidate;
      }
      case NameMove::Taken:
        break;
      case NameMove::Failed:
        error = "cannot give the output its name " + candidate + ": " + std::strerror(err);
        return {};
    }
    if (!numbered || i > 100000) {
      error = "the output name " + finalPath + " is taken";
      return {};
    }
    candidate = numbered(i);
  }
}

void RemoveTemporaryOutput(const std::string& tempPath) {
  if (tempPath.empty()) return;
  int fd = TakeHeld(tempPath);
  if (fd < 0) {
    unlink(tempPath.c_str());
    return;
  }
  // Only the file reserved: whatever took the name meanwhile stays.
  RemoveHiddenOutput(tempPath.c_str(), fd);
  close(fd);
}

bool MakeFolders(const std::string& path, std::string& error, std::vector<std::string>* made) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/') {
      struct stat st;
      if (stat(part.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
          error = part + " is not a folder";
          return false;
        }
      } else if (mkdir(part.c_str(), 0777) == 0) {
        if (made) made->push_back(part);
      } else if (errno != EEXIST) {
        error = "cannot create " + part + ": " + std::strerror(errno);
        return false;
      }
    }
    if (end == std::string::npos) return true;
  }
}

bool SystemFileSystem(const std::string& folder) {
  struct statfs fs;
  if (statfs(folder.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
      return true;
    default:
      return false;
  }
}

std::string FolderFault(const std::string& path, bool& exists) {
  std::string nearest = "/";
  exists = true;
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/') {
      struct stat st;
      if (stat(part.c_str(), &st) != 0) {
        exists = false;
        break;
      }
      if (!S_ISDIR(st.st_mode)) {
        exists = false;
        return part + " is not a folder";
      }
      nearest = part;
    }
    if (end == std::string::npos) break;
  }
  // Root may write anywhere by its rights, but not on a file system that is
  // read-only (access says so) or one the kernel makes up.
  int why = 0;
  if (SystemFileSystem(nearest))
    why = EPERM;
  else if (access(nearest.c_str(), W_OK | X_OK) != 0)
    why = errno;
  if (!why) return {};
  return (exists ? "cannot write in " : "cannot create a folder in ") + nearest + ": " + std::strerror(why);
}

}  // namespace pcm
