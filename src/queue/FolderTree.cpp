#include "queue/FolderTree.h"

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

namespace {

using FolderId = std::pair<dev_t, ino_t>;

// The folders above `folder` up to the root, by device and inode: a link
// to one of them would walk the added folder again from above, a link to
// the root the whole machine.
std::set<FolderId> FoldersAbove(const std::string& folder) {
  std::set<FolderId> above;
  std::string path = folder;
  struct stat here, up;
  if (stat(path.c_str(), &here) != 0) return above;
  // A bounded climb: each step goes one level up until the root, which is
  // its own parent.
  for (int level = 0; level < 4096; ++level) {
    path += "/..";
    if (stat(path.c_str(), &up) != 0 || (up.st_dev == here.st_dev && up.st_ino == here.st_ino)) break;
    above.insert({up.st_dev, up.st_ino});
    here = up;
  }
  return above;
}

class Walk {
 public:
  Walk(bool recursive, const std::function<bool(const std::string&)>& take, std::vector<FoundFile>& files,
       const FolderProblem& problem, std::set<FolderId> above)
      : recursive_(recursive), take_(take), files_(files), problem_(problem), above_(std::move(above)) {}

  // `subfolder` is the folder's path below the added one, with its "/".
  void Folder(const std::string& folder, const std::string& subfolder, const struct stat& st) {
    // A folder is known by its device and inode, whatever path leads to it.
    if (!seen_.insert({st.st_dev, st.st_ino}).second) {
      problem_(folder, "already listed (a link back into the tree); not followed", false);
      return;
    }
    if (above_.count({st.st_dev, st.st_ino})) {
      problem_(folder, "a link to a folder above the added one (or to the root); not followed", false);
      return;
    }
    if (SystemFileSystem(folder)) {
      problem_(folder, "a folder of the system's own (processes, devices); not followed", false);
      return;
    }
    // Without search permission its entries could be named but not opened.
    DIR* d = access(folder.c_str(), R_OK | X_OK) == 0 ? opendir(folder.c_str()) : nullptr;
    if (!d) {
      problem_(folder, std::string("the folder cannot be read: ") + std::strerror(errno), true);
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
          problem_(path, "the path is longer than the system takes; not added", true);
          ++unreadable_;
        }
        continue;
      }
      if (S_ISDIR(entry.st_mode)) {
        if (recursive_) Folder(path, subfolder + n + "/", entry);
      } else if (S_ISREG(entry.st_mode) && !IsReservedOutputName(n) && take_(n)) {
        // Another run's unfinished output is not media to convert.
        files_.push_back({path, subfolder});
      }
    }
  }

  int unreadable() const { return unreadable_; }

 private:
  // Whether a name in folder would be taken, a file to add or (with
  // recursive) a folder, asked relative to the folder for a path too long.
  bool Wanted(const std::string& folder, const std::string& name) const {
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    bool found = dir >= 0 && fstatat(dir, name.c_str(), &st, 0) == 0;
    if (dir >= 0) close(dir);
    return found && ((S_ISDIR(st.st_mode) && recursive_) ||
                     (S_ISREG(st.st_mode) && !IsReservedOutputName(name) && take_(name)));
  }

  bool recursive_;
  const std::function<bool(const std::string&)>& take_;
  std::vector<FoundFile>& files_;
  const FolderProblem& problem_;
  std::set<FolderId> seen_;
  const std::set<FolderId> above_;
  int unreadable_ = 0;
};

}  // namespace

int ListFolderTree(const std::string& folder, bool recursive,
                   const std::function<bool(const std::string&)>& take, std::vector<FoundFile>& files,
                   const FolderProblem& problem) {
  struct stat st;
  errno = 0;
  if (folder.empty() || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    const int error = errno != 0 ? errno : ENOTDIR;
    problem(folder, std::string("the folder cannot be read: ") + std::strerror(error), true);
    return 1;
  }
  Walk walk(recursive, take, files, problem, FoldersAbove(folder));
  walk.Folder(folder, "", st);
  return walk.unreadable();
}

}  // namespace pcm
