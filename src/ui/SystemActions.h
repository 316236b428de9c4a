#pragma once
#include <functional>
#include <string>
#include <vector>

namespace pcm {

// Actions with effects outside the program. Tests replace them with a
// recording implementation; nothing in a test ever shuts the machine down.
class SystemActions {
 public:
  virtual ~SystemActions() = default;
  // Hands the folder to the desktop; false when no program can open it.
  virtual bool OpenFolder(const std::string& path) = 0;
  // Hands the address to the desktop; false when no program can open it.
  virtual bool OpenAddress(const std::string& url) = 0;
  virtual void Shutdown() = 0;
};

// The real actions: the desktop's handler for folders and addresses, and an
// immediate power-off request.
class DesktopSystemActions : public SystemActions {
 public:
  bool OpenFolder(const std::string& path) override;
  bool OpenAddress(const std::string& url) override;
  void Shutdown() override;
};

// The wait before a power-off, so that the person (and other programs'
// unsaved work) get a chance: one tick a second counts down, and the end of
// the count or "now" powers off exactly once; "cancel" drops it for good.
class ShutdownCountdown {
 public:
  static constexpr int kSeconds = 60;
  explicit ShutdownCountdown(std::function<void()> powerOff, int seconds = kSeconds);

  int SecondsLeft() const { return left_; }
  // Neither powered off nor cancelled yet.
  bool Pending() const { return !over_; }
  // One second has passed; powers off when the count reaches zero. Returns
  // Pending() afterwards.
  bool Tick();
  void Now();
  void Cancel() { over_ = true; }
  // "The computer shuts down in 60 seconds."
  std::string Text() const;

 private:
  void PowerOff();

  std::function<void()> powerOff_;
  int left_;
  bool over_ = false;
};

class UserInterface;
// Opens the output folder, or says in a warning that nothing could.
void OpenOutputFolder(SystemActions& system, UserInterface& ui, const std::string& folder);

class RecordingSystemActions : public SystemActions {
 public:
  bool OpenFolder(const std::string& path) override {
    calls.push_back("open-folder " + path);
    return folderOpens;
  }
  // What OpenFolder answers: whether a program took the folder.
  bool folderOpens = true;
  bool OpenAddress(const std::string& url) override {
    calls.push_back("open-address " + url);
    return addressOpens;
  }
  // What OpenAddress answers: whether a program took the address.
  bool addressOpens = true;
  void Shutdown() override { calls.push_back("shutdown"); }
  std::vector<std::string> calls;
};

}  // namespace pcm
