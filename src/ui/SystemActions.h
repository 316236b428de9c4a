#pragma once
#include <string>
#include <vector>

namespace pcm {

// Actions with effects outside the program. Tests replace them with a
// recording implementation; nothing in a test ever shuts the machine down.
class SystemActions {
 public:
  virtual ~SystemActions() = default;
  virtual void OpenFolder(const std::string& path) = 0;
  virtual void OpenAddress(const std::string& url) = 0;
  virtual void Shutdown() = 0;
};

// The real actions: the desktop's handler for folders and addresses, and an
// immediate power-off request.
class DesktopSystemActions : public SystemActions {
 public:
  void OpenFolder(const std::string& path) override;
  void OpenAddress(const std::string& url) override;
  void Shutdown() override;
};

class RecordingSystemActions : public SystemActions {
 public:
  void OpenFolder(const std::string& path) override { calls.push_back("open-folder " + path); }
  void OpenAddress(const std::string& url) override { calls.push_back("open-address " + url); }
  void Shutdown() override { calls.push_back("shutdown"); }
  std::vector<std::string> calls;
};

}  // namespace pcm
