#include "engine/OutputFiles.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace pcm {

namespace {

constexpr size_t kNameMax = kOutputNameMax;
constexpr const char* kMarker = ".pcm-XXXXXX";

enum class Move { Done, Taken, Failed };

// Moves from to to unless `to` exists. The kernel does it in one step where
// the file system allows it; otherwise a hard link claims the name; a file
// system with neither gets a last check right before the rename.
Move MoveNoReplace(const std::string& from, const std::string& to, int& err) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return Move::Done;
  err = errno;
  if (err == EEXIST) return Move::Taken;
  if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return Move::Failed;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return Move::Done;
  }
  err = errno;
  if (err == EEXIST) return Move::Taken;
  if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS) return Move::Failed;
  if (PathTaken(to)) return Move::Taken;
  if (rename(from.c_str(), to.c_str()) == 0) return Move::Done;
  err = errno;
  return Move::Failed;
}

}  // namespace

bool IsReservedOutputName(const std::string& fileName) {
  if (fileName.size() < 1 + 11 || fileName[0] != '.') return false;
  // The extension is what follows the last dot; without one the marker ends
  // the name.
  size_t end = fileName.size();
  size_t dot = fileName.rfind('.');
  size_t markerLen = std::strlen(kMarker);
  auto markerEndsAt = [&](size_t e) {
    if (e < 1 + markerLen) return false;
    size_t start = e - markerLen;
    if (fileName.compare(start, 5, ".pcm-") != 0) return false;
    for (size_t i = start + 5; i < e; ++i)
      if (!std::isalnum(static_cast<unsigned char>(fileName[i]))) return false;
    return true;
  };
  return markerEndsAt(end) || (dot != std::string::npos && dot > 0 && markerEndsAt(dot));
}

bool PathTaken(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string ReserveTemporaryOutput(const std::string& finalPath, std::string& error) {
  size_t slash = finalPath.rfind('/');
  std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
  std::string name = finalPath.substr(folder.size());
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  std::string base = name.substr(0, name.size() - ext.size());
  // The hidden name must fit where the final name fits.
  if (ext.size() + std::strlen(kMarker) + 1 >= kNameMax) {
    error = "the output name " + name + " is too long";
    return {};
  }
  size_t room = kNameMax - 1 - std::strlen(kMarker) - ext.size();
  if (base.size() > room) base.resize(room);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string marker = kMarker;
    for (char& c : marker)
      if (c == 'X') c = kLetters[random() % (sizeof kLetters - 1)];
    std::string path = folder + "." + base + marker + ext;
    // Created here and nowhere else; the mode as the encoder would give it.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      return path;
    }
    if (errno != EEXIST) break;
  }
  error = "cannot write in the output folder " + (folder.empty() ? std::string(".") : folder) + ": " +
          std::strerror(errno);
  return {};
}

std::string MoveToFinalName(const std::string& tempPath, const std::string& finalPath,
                            const std::function<std::string(int)>& numbered, std::string& error) {
  std::string candidate = finalPath;
  for (int i = 1;; ++i) {
    int err = 0;
    switch (MoveNoReplace(tempPath, candidate, err)) {
      case Move::Done:
        return candidate;
      case Move::Taken:
        break;
      case Move::Failed:
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
  if (!tempPath.empty()) unlink(tempPath.c_str());
}

bool MakeFolders(const std::string& path, std::string& error) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/') {
      struct stat st;
      if (stat(part.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
          error = part + " is not a folder";
          return false;
        }
      } else if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot create " + part + ": " + std::strerror(errno);
        return false;
      }
    }
    if (end == std::string::npos) return true;
  }
}

}  // namespace pcm
