#pragma once
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pcmtest {

// Directory of the runnable build tree (register.dat, data files).
std::string BinDir();
// A fresh empty directory below the test temp root, removed at exit.
std::string MakeTempDir(const std::string& tag);
// Runs a command line through /bin/sh; returns its exit status and, when
// asked, its standard output.
int RunShell(const std::string& command, std::string* output = nullptr);
// Quotes a path for /bin/sh.
std::string ShellQuote(const std::string& text);

// Media made with ffmpeg's lavfi sources, cached per test program: the same
// (kind, seconds) request returns the same file. kind is one of
// "mp3", "wav", "ogg", "m4a", "avi", "mp4" (H.264 + AAC), "mpg", "txt.mp3".
std::string MakeMedia(const std::string& kind, int seconds = 2);

// ffprobe's view of a file: format name, duration, streams.
struct ProbeInfo {
  bool ok = false;
  std::string formatName;
  double duration = 0;
  int videoStreams = 0;
  int audioStreams = 0;
  int width = 0;
  int height = 0;
  std::string videoCodec;
  std::string audioCodec;
  int sampleRate = 0;
  int channels = 0;
};
ProbeInfo FfprobeFile(const std::string& path);

// A program directory of its own: the data files of the build tree copied
// in, and register.dat either linked to the real adapter or, when a script
// is given, replaced by that shell script (a scripted fake encoder). Returns
// the program path (directory + "/" + programName) to build a CoreApp with.
std::string MakeProgramDir(const std::string& tag, const std::string& fakeEncoderScript = "",
                           const std::string& programName = "popclipmill");

// Pumps the Qt event loop until pred() holds or the time runs out.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);

// Sets an environment variable for a scope and puts back what was there
// before (or nothing) when the scope ends, also when an assertion leaves it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Command lines of running processes (other than this one) that contain
// `part`, each as "PID: command line".
std::vector<std::string> ProcessesMentioning(const std::string& part);

// The kernel's Landlock ABI version; 0 when it has none, and the encoder
// then runs unconfined.
int LandlockAbi();

// A TCP socket listening on 127.0.0.1 at a free port, for showing that a
// confined program cannot connect.
class LocalListener {
 public:
  LocalListener();
  ~LocalListener();
  LocalListener(const LocalListener&) = delete;
  LocalListener& operator=(const LocalListener&) = delete;
  int port() const { return port_; }
  // Whether a connection is waiting; one that connect() completed is, since
  // the kernel finishes the handshake before a connect returns.
  bool Connected() const;

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Zero crossings per second of raw 16-bit mono samples at `rate` (twice a
// tone's pitch); 0 for an empty file.
double RawCrossingsPerSecond(const std::string& rawPath, int rate);

}  // namespace pcmtest
