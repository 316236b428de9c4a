#include "app/FolderWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "engine/OutputFiles.h"

namespace pcm {

bool IsMediaFileName(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string ext = fileName.substr(dot + 1);
  for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  static const char* const kTaken[] = {
      // audio
      "mp3", "m4a", "m4b", "aac", "ac3", "eac3", "dts", "rm", "ra", "wav", "wma", "ogg", "oga", "opus",
      "flac", "aif", "aiff", "aifc", "mka", "mp2", "mpa", "wv", "ape", "amr", "au", "snd", "caf", "tta",
      // video
      "mp4", "m4v", "mkv", "webm", "avi", "mov", "qt", "mpg", "mpeg", "m2v", "vob", "ts", "m2ts", "mts",
      "3gp", "3g2", "flv", "f4v", "wmv", "asf", "ogv", "rmvb", "dv", "divx", "mxf"};
  for (const char* t : kTaken)
    if (ext == t) return true;
  return false;
}

namespace {

class Walk {
 public:
  Walk(bool recursive, std::vector<std::string>& files,
       const std::function<void(const std::string&, const std::string&)>& problem)
      : recursive_(recursive), files_(files), problem_(problem) {}

  void Folder(const std::string& folder, const struct stat& st) {
    // A folder is known by its device and inode, whatever path leads to it.
    if (!seen_.insert({st.st_dev, st.st_ino}).second) {
      problem_(folder, "already listed (a link back into the tree); not followed");
      return;
    }
    // Without search permission its entries could be named but not opened.
    DIR* d = access(folder.c_str(), R_OK | X_OK) == 0 ? opendir(folder.c_str()) : nullptr;
    if (!d) {
      problem_(folder, std::string("the folder cannot be read: ") + std::strerror(errno));
      ++unreadable_;
      return;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    for (const std::string& n : names) {
      const std::string path = base + n;
      struct stat entry;
      // Links are followed; a dangling one is no media file. A path longer
      // than the system takes cannot be converted: it is named.
      if (stat(path.c_str(), &entry) != 0) {
        if (errno == ENAMETOOLONG && Wanted(folder, n)) {
          problem_(path, "the path is longer than the system takes; not added");
          ++unreadable_;
        }
        continue;
      }
      if (S_ISDIR(entry.st_mode)) {
        if (recursive_) Folder(path, entry);
      } else if (S_ISREG(entry.st_mode) && IsMediaFileName(n) && !IsReservedOutputName(n)) {
        // Pipes and devices are left out: probing one would wait forever.
        // Another run's unfinished output is not media to convert.
        files_.push_back(path);
      }
    }
  }

  int unreadable() const { return unreadable_; }

 private:
  // Whether a name in folder would be taken, a media file or (with
  // recursive) a folder, asked relative to the folder for a path too long.
  bool Wanted(const std::string& folder, const std::string& name) const {
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    bool found = dir >= 0 && fstatat(dir, name.c_str(), &st, 0) == 0;
    if (dir >= 0) close(dir);
    return found && ((S_ISDIR(st.st_mode) && recursive_) ||
                     (S_ISREG(st.st_mode) && IsMediaFileName(name) && !IsReservedOutputName(name)));
  }

  bool recursive_;
  std::vector<std::string>& files_;
  const std::function<void(const std::string&, const std::string&)>& problem_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  int unreadable_ = 0;
};

}  // namespace

int ListMediaFiles(const std::string& folder, bool recursive, std::vector<std::string>& files,
                   const std::function<void(const std::string& path, const std::string& why)>& problem) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    problem(folder, std::string("the folder cannot be read: ") + std::strerror(errno ? errno : ENOTDIR));
    return 1;
  }
  Walk walk(recursive, files, problem);
  walk.Folder(folder, st);
  return walk.unreadable();
}

}  // namespace pcm
