#pragma once
#include <string>

namespace pcm {

// The flags every command consults before it acts.
struct RunState {
  bool converting = false;
  bool previewing = false;
  bool paused = false;
  bool dragging = false;
  bool trimWindowOpen = false;
  bool titleView = true;
};

// Program name and the variant it selects, taken once from the executable's
// file name and fixed for the run.
class ProgramInfo {
 public:
  ProgramInfo() = default;
  // programPath: the executable's path (argv[0] or an explicit path).
  explicit ProgramInfo(const std::string& programPath);

  const std::string& Name() const { return name_; }  // file name with extension
  std::string NameWithoutExtension() const;
  const std::string& Directory() const { return dir_; }  // with trailing '/'
  std::string BesideExecutable(const std::string& file) const { return dir_ + file; }

  bool DvdMode() const;       // lower-cased name contains "dvd"
  bool Branded() const;       // contains "quorv"
  bool AudioBranded() const;  // contains "mp3" or "audio"

 private:
  std::string name_;
  std::string dir_;
  std::string lower_;
};

}  // namespace pcm
