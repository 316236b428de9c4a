#pragma once
#include <functional>
#include <string>
#include <vector>

namespace pcm {

// The media files of a folder given on the command line, in byte order of
// their names so every run lists them alike. With `recursive` the subfolders
// are listed too, each at its place in that order. A folder reached a second
// time (a symbolic link back up the tree, or two links to one folder) is not
// listed again, and one that cannot be read is skipped; both are handed to
// `problem` with a sentence saying why. Paths are bytes, as the file system
// has them. Returns how many folders could not be read.
int ListMediaFiles(const std::string& folder, bool recursive, std::vector<std::string>& files,
                   const std::function<void(const std::string& path, const std::string& why)>& problem);

}  // namespace pcm
