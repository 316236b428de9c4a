#pragma once
#include <string>
#include <vector>

namespace pcm {

// The extensions of the common audio and video files, lower-case, without
// the dot, in byte order: the files a folder gives to the list (Add Folder,
// a dropped folder, a folder named on the command line) and the first
// filter of the file chooser.
const std::vector<std::string>& MediaExtensions();

// Whether a file of this name ends in one of them, compared lower-cased.
bool IsMediaFileName(const std::string& fileName);

}  // namespace pcm
