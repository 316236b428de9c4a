#include "app/FolderWalk.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "engine/MediaNames.h"
#include "engine/OutputFiles.h"

namespace pcm {

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
      // Links are followed; a dangling one is no media file.
      if (stat(path.c_str(), &entry) != 0) continue;
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
