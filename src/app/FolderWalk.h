#pragma once
#include <functional>
#include <string>
#include <vector>

#include "queue/FolderTree.h"

namespace pcm {

// Whether the front end takes a file of this name from a folder: the
// common audio and video extensions, compared lower-cased. The window's
// Add Folder keeps its own shorter list.
bool IsMediaFileName(const std::string& fileName);

// The media files of a folder given on the command line, each with its
// folder relative to the given one, listed as ListFolderTree lists them.
// Returns how many folders could not be read.
int ListMediaFiles(const std::string& folder, bool recursive, std::vector<FoundFile>& files,
                   const std::function<void(const std::string& path, const std::string& why)>& problem);

}  // namespace pcm
