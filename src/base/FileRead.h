#pragma once
#include <cstddef>
#include <string>

namespace pcm {

// How reading a whole file went.
enum class FileRead { Ok, Missing, NotRegular, TooLarge, Failed };

// The most a data file beside the program is read to; settings files are
// far smaller and are held to kMaxSettingsFileBytes.
constexpr size_t kMaxDataFileBytes = size_t(16) << 20;
constexpr size_t kMaxSettingsFileBytes = size_t(1) << 20;

// Reads a whole regular file into text. Anything else at the path (a named
// pipe, a device, a folder) is refused without being read, so a reader
// never waits on it; a file of more than maxBytes is refused unread.
FileRead ReadRegularFile(const std::string& path, std::string& text, size_t maxBytes = kMaxDataFileBytes);

}  // namespace pcm
