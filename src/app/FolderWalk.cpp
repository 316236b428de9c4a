#include "app/FolderWalk.h"

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

int ListMediaFiles(const std::string& folder, bool recursive, std::vector<FoundFile>& files,
                   const std::function<void(const std::string& path, const std::string& why)>& problem) {
  return ListFolderTree(folder, recursive, IsMediaFileName, files,
                        [&](const std::string& path, const std::string& why, bool) { problem(path, why); });
}

}  // namespace pcm
