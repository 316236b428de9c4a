#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pcm {

class ListCommands;
class Notifier;
class ProgramInfo;

// The files and folders a start of the program names ("popclipmill a.mp3
// b.wav", or handed over by a second start): added as Add Files and Add
// Folder add them, refused with the same notices while converting or while
// files are still being added.
class OpenedPaths {
 public:
  OpenedPaths(ListCommands& commands, const ProgramInfo& program, Notifier& notifier)
      : commands_(commands), program_(program), notifier_(notifier) {}

  // Adds each path in order: a folder by the folder rule (in the DVD variant
  // through openDvdFolderHook when it is set), a file as a chosen file. A
  // path that names nothing is reported by name. Returns how many paths
  // could not be added; -1 when the whole request was refused.
  int Add(const std::vector<std::string>& paths);

  // Opens a DVD folder as Add DVD does; set by the DVD entries.
  std::function<void(const std::string& folder)> openDvdFolderHook;

 private:
  ListCommands& commands_;
  const ProgramInfo& program_;
  Notifier& notifier_;
};

// The local paths of a drop's "text/uri-list" (RFC 2483: one URI a line,
// "#" lines are comments), percent-decoded to the bytes of the names, so a
// name that is not UTF-8 survives; "file:" URIs of this host only.
std::vector<std::string> LocalPathsOfUriList(const std::string& list);

// The message by which a second start hands its paths to the running window:
// "popclipmill-open N\n", then N absolute paths, each ended by a NUL byte.
std::string OpenMessage(const std::vector<std::string>& paths);

// Reading a message as it arrives: Incomplete until all of it is there,
// Bad for anything that is not such a message (another header, a count
// above kMaxOpenPaths, a relative or empty path, more than kMaxOpenMessage
// bytes or bytes after its end).
struct OpenMessageRead {
  enum Kind { Incomplete, Complete, Bad } kind = Incomplete;
  std::vector<std::string> paths;
};
constexpr size_t kMaxOpenMessage = size_t(1) << 20;
constexpr size_t kMaxOpenPaths = 10000;
OpenMessageRead ReadOpenMessage(const std::string& bytes);

}  // namespace pcm
