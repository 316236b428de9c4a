#include "engine/MediaNames.h"

#include <algorithm>

namespace pcm {

const std::vector<std::string>& MediaExtensions() {
  static const std::vector<std::string> sorted = [] {
    std::vector<std::string> e = {
        // sound
        "mp3", "m4a", "m4b", "aac", "ac3", "eac3", "dts", "rm", "ra", "wav", "wma", "ogg", "oga", "opus",
        "flac", "aif", "aiff", "aifc", "mka", "mp2", "mpa", "wv", "ape", "amr", "au", "snd", "caf", "tta",
        // pictures and sound
        "mp4", "m4v", "mkv", "webm", "avi", "mov", "qt", "mpg", "mpeg", "m2v", "vob", "ts", "m2ts", "mts",
        "3gp", "3g2", "flv", "f4v", "wmv", "asf", "ogv", "rmvb", "dv", "divx", "mxf"};
    std::sort(e.begin(), e.end());
    return e;
  }();
  return sorted;
}

bool IsMediaFileName(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string ext = fileName.substr(dot + 1);
  for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return std::binary_search(MediaExtensions().begin(), MediaExtensions().end(), ext);
}

}  // namespace pcm
