#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

namespace pcm {

class MainWindow;

// One window per person, program name and settings folder: the first start
// listens on a local socket, a later start hands its paths over that socket
// and ends. The socket lives in the person's runtime folder (else the temp
// folder) and only its owner may connect.
class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // The socket's path for this program name and the current settings folder.
  static QString ServerName(const std::string& programName);

  // Hands the paths to a running window; true when it took them.
  static bool HandOver(const QString& name, const std::vector<std::string>& paths, int timeoutMs = 5000);

  ~SingleInstance() override;
  // The lock file beside the socket, held for the instance's life: of two
  // starts at once only one takes it.
  enum class Lock { Taken, HeldElsewhere, Unavailable };
  Lock TakeLock(const QString& name);
  // Listens on `name`. A socket left by a killed instance (nobody answers
  // on it) is taken over; false when a live instance listens there.
  bool Listen(const QString& name);

  // Called on the main thread, outside any socket handler, with the paths
  // of each well-formed message; anything else is dropped unread.
  std::function<void(const std::vector<std::string>&)> pathsHook;

 private:
  void Accept();
  QLocalServer* server_ = nullptr;
  int lockFd_ = -1;
};

// The paths of a window start's command line, byte for byte, made absolute
// against the current folder; argc and argv as the toolkit left them (its
// own options are gone from them by then).
std::vector<std::string> StartPaths(int argc, char** argv);

// The open-with part of a window start: when a window already runs, hands
// it `paths` and returns true (the start then ends). Otherwise listens for
// later starts and, once the window has started up, adds `paths` to it;
// handed-over paths are added as they come and raise the window.
bool HandOverOrServe(SingleInstance& instance, const std::string& programName,
                     const std::vector<std::string>& paths, const std::function<MainWindow*()>& window);

}  // namespace pcm
