#include "app/FolderWalk.h"

#include "engine/MediaNames.h"

namespace pcm {

int ListMediaFiles(const std::string& folder, bool recursive, std::vector<FoundFile>& files,
                   const std::function<void(const std::string& path, const std::string& why)>& problem) {
  return ListFolderTree(folder, recursive, IsMediaFileName, files,
                        [&](const std::string& path, const std::string& why, bool) { problem(path, why); });
}

}  // namespace pcm
