#include "base/HiddenOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

namespace pcm {

namespace {

constexpr const char* kMarker = ".pcm-XXXXXX";
constexpr size_t kMarkerLength = 11;
// The extended attribute that marks a hidden output as this program's; its
// value names the writer ("pid 1234"), for whoever looks.
constexpr const char* kMarkAttribute = "user.popclipmill.unfinished-output";
constexpr const char* kMarkPrefix = "pid ";

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool StillNames(const char* path, int fd) {
  struct stat named, open;
  return lstat(path, &named) == 0 && fstat(fd, &open) == 0 && SameFile(named, open);
}

bool IsReservedOutputName(const std::string& fileName) {
  if (fileName.size() < 1 + kMarkerLength || fileName[0] != '.') return false;
  // The extension is what follows the last dot; without one the marker ends
  // the name.
  size_t dot = fileName.rfind('.');
  auto markerEndsAt = [&](size_t e) {
    if (e < 1 + kMarkerLength) return false;
    size_t start = e - kMarkerLength;
    if (fileName.compare(start, 5, ".pcm-") != 0) return false;
    for (size_t i = start + 5; i < e; ++i)
      if (!std::isalnum(static_cast<unsigned char>(fileName[i]))) return false;
    return true;
  };
  return markerEndsAt(fileName.size()) || (dot != std::string::npos && dot > 0 && markerEndsAt(dot));
}

HiddenOutput CreateHiddenOutput(const std::string& finalPath) {
  HiddenOutput out;
  size_t slash = finalPath.rfind('/');
  std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
  std::string name = finalPath.substr(folder.size());
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  std::string base = name.substr(0, name.size() - ext.size());
  // The hidden name must fit where the final name fits.
  if (ext.size() + kMarkerLength + 1 >= kOutputNameMax) {
    out.error = ENAMETOOLONG;
    return out;
  }
  size_t room = kOutputNameMax - 1 - kMarkerLength - ext.size();
  if (base.size() > room) base.resize(room);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string marker = kMarker;
    for (char& c : marker)
      if (c == 'X') c = kLetters[random() % (sizeof kLetters - 1)];
    std::string path = folder + "." + base + marker + ext;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      out.error = errno;
      return out;
    }
    // Another run's clean-up may have found the file before it was locked:
    // it holds the lock then, or has removed the name already. Another name
    // is tried; the clean-up removes this one.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      close(fd);
      continue;
    }
    if (!StillNames(path.c_str(), fd)) {
      close(fd);
      continue;
    }
    const std::string mark = kMarkPrefix + std::to_string(getpid());
    (void)fsetxattr(fd, kMarkAttribute, mark.data(), mark.size(), 0);
    out.path = path;
    out.fd = fd;
    return out;
  }
  out.error = EEXIST;
  return out;
}

bool MarkedHiddenOutput(int fd) {
  char value[32];
  const ssize_t n = fgetxattr(fd, kMarkAttribute, value, sizeof value);
  const size_t prefix = std::strlen(kMarkPrefix);
  return n > ssize_t(prefix) && std::memcmp(value, kMarkPrefix, prefix) == 0;
}

void RemoveHiddenOutput(const char* path, int fd) {
  if (path && *path && fd >= 0 && StillNames(path, fd)) unlink(path);
}

int RemoveAbandonedOutputs(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return 0;
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  int removed = 0;
  while (const dirent* e = readdir(dir)) {
    if (!IsReservedOutputName(e->d_name)) continue;
    const std::string path = base + e->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat open;
    // Only a file this program made, by its mark: a look-alike name is a
    // person's file. A writer holds the lock for as long as it writes; a
    // file system that cannot lock tells nothing, and the file stays.
    if (fstat(fd, &open) == 0 && SameFile(st, open) && MarkedHiddenOutput(fd) &&
        flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNames(path.c_str(), fd) && unlink(path.c_str()) == 0)
      ++removed;
    close(fd);
  }
  closedir(dir);
  return removed;
}

namespace {

NameMove MoveMarked(const std::string& from, const std::string& to, int& error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return NameMove::Done;
  error = errno;
  if (error == EEXIST) return NameMove::Taken;
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return NameMove::Failed;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return NameMove::Done;
  }
  error = errno;
  if (error == EEXIST) return NameMove::Taken;
  if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS) return NameMove::Failed;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return NameMove::Taken;
  if (rename(from.c_str(), to.c_str()) == 0) return NameMove::Done;
  error = errno;
  return NameMove::Failed;
}

}  // namespace

NameMove MoveWithoutReplacing(const std::string& from, const std::string& to, int& error) {
  NameMove moved = MoveMarked(from, to, error);
  // A finished output is the person's file: it carries no mark of ours.
  if (moved == NameMove::Done) (void)lremovexattr(to.c_str(), kMarkAttribute);
  return moved;
}

void UnmarkHiddenOutput(int fd) { (void)fremovexattr(fd, kMarkAttribute); }

}  // namespace pcm
