#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/MediaNames.h"
#include "queue/FolderTree.h"

namespace pcm {

// The media files of a folder given on the command line, each with its
// folder relative to the given one, listed as ListFolderTree lists them.
// Returns how many folders could not be read.
int ListMediaFiles(const std::string& folder, bool recursive, std::vector<FoundFile>& files,
                   const std::function<void(const std::string& path, const std::string& why)>& problem);

}  // namespace pcm
