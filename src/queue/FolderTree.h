#pragma once
#include <functional>
#include <string>
#include <vector>

namespace pcm {

// A file found in a folder that was added: its path, and the folder it lies
// in relative to the added folder, "" for the added folder itself, else
// ending in "/" ("Artist/Album/"). Both are bytes as the file system has
// them.
struct FoundFile {
  std::string path;
  std::string subfolder;
};

// The files of `folder` whose names `take` accepts, in byte order of their
// names so every run lists them alike; with `recursive` the subfolders too,
// each at its place in that order. Only regular files are taken (a pipe or a
// device would keep a probe waiting), never another run's unfinished output.
// A folder reached a second time (a symbolic link back up the tree, or two
// links to one folder) is not listed again, nor is one above the added
// folder (a link to the root would walk the whole machine) or one of the
// file systems the kernel makes up (/proc, /sys), and one that cannot be
// read is skipped; both are handed to `problem` with a sentence saying why, and
// whether the folder could not be read. Returns how many folders could not
// be read.
using FolderProblem = std::function<void(const std::string& path, const std::string& why, bool unreadable)>;
int ListFolderTree(const std::string& folder, bool recursive,
                   const std::function<bool(const std::string&)>& take, std::vector<FoundFile>& files,
                   const FolderProblem& problem);

}  // namespace pcm
