#include "gui/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <deque>
#include <thread>

#include "gui/MainWindow.h"
#include "profiles/Settings.h"
#include "queue/OpenedPaths.h"

namespace pcm {

namespace {
// A connection that has not sent a whole message by then is dropped.
constexpr int kReadTimeoutMs = 5000;
constexpr char kAnswer[] = "ok\n";
// A start that finds the lock held waits this long for its holder to listen.
constexpr int kLockRetryMs = 50;
constexpr int kLockTries = 200;
// How soon paths that could not be added yet are tried again.
constexpr int kAddRetryMs = 100;
}  // namespace

QString SingleInstance::ServerName(const std::string& programName) {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  QByteArray key = QByteArray::fromStdString(Settings::ConfigDir() + "\n" + programName);
  QString hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16);
  return dir + "/popclipmill-" + QString::number(getuid()) + "-" + hash;
}

bool SingleInstance::HandOver(const QString& name, const std::vector<std::string>& paths, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(timeoutMs)) return false;
  std::string message = OpenMessage(paths);
  socket.write(message.data(), qint64(message.size()));
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // The window answers once it has the whole message.
  QByteArray answer;
  while (answer.size() < qsizetype(sizeof kAnswer - 1) && socket.waitForReadyRead(timeoutMs))
    answer += socket.readAll();
  return answer.startsWith(kAnswer);
}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
  // The lock goes with the descriptor, after the socket is closed.
  if (lockFd_ >= 0) close(lockFd_);
}

SingleInstance::Lock SingleInstance::TakeLock(const QString& name) {
  if (lockFd_ >= 0) return Lock::Taken;
  const std::string path = QFile::encodeName(name + ".lock").toStdString();
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Lock::Unavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lockFd_ = fd;
    return Lock::Taken;
  }
  const bool held = errno == EWOULDBLOCK;
  close(fd);
  return held ? Lock::HeldElsewhere : Lock::Unavailable;
}

bool SingleInstance::Listen(const QString& name) {
  if (!server_) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
  }
  // Someone answering there is a live instance. A socket file nobody
  // answers on was left by a killed one and is taken over (the lock is
  // ours by then, so no live instance is starting on it).
  QLocalSocket probe;
  probe.connectToServer(name);
  if (probe.waitForConnected(1000)) return false;
  QLocalServer::removeServer(name);
  return server_->listen(name);
}

void SingleInstance::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    auto buffer = std::make_shared<std::string>();
    QPointer<QLocalSocket> guard(socket);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kReadTimeoutMs, socket, [guard] {
      if (guard) guard->abort();
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      QByteArray data = socket->readAll();
      buffer->append(data.constData(), size_t(data.size()));
      OpenMessageRead read = ReadOpenMessage(*buffer);
      if (read.kind == OpenMessageRead::Incomplete) return;
      if (read.kind == OpenMessageRead::Bad) {
        socket->abort();
        return;
      }
      socket->write(kAnswer);
      socket->disconnectFromServer();
      // Adding runs events while it probes: never inside this handler.
      QTimer::singleShot(0, this, [this, paths = std::move(read.paths)] {
        if (pathsHook) pathsHook(paths);
      });
    });
  }
}

std::vector<std::string> StartPaths(int argc, char** argv) {
  std::vector<std::string> paths;
  std::string cwd;
  if (char* here = getcwd(nullptr, 0)) {
    cwd = here;
    free(here);
  }
  // The bytes as given: a name that is not UTF-8 is still a name. A first
  // "--" only says that names follow (one may start with "-").
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.empty() || (i == 1 && arg == "--")) continue;
    paths.push_back(arg.front() == '/' || cwd.empty() ? arg : (cwd == "/" ? "" : cwd) + "/" + arg);
  }
  return paths;
}

bool HandOverOrServe(SingleInstance& instance, const std::string& programName,
                     const std::vector<std::string>& paths, const std::function<MainWindow*()>& window) {
  QString name = SingleInstance::ServerName(programName);
  // The lock decides which of two starts at once becomes the window: the
  // other hands over as soon as the first listens.
  for (int tries = 0;; ++tries) {
    if (SingleInstance::HandOver(name, paths)) return true;
    SingleInstance::Lock lock = instance.TakeLock(name);
    if (lock == SingleInstance::Lock::Taken) {
      instance.Listen(name);
      break;
    }
    // Without the lock (a folder that cannot hold it, or a holder that
    // never listens) the window still works, only alone.
    if (lock == SingleInstance::Lock::Unavailable || tries >= kLockTries) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLockRetryMs));
  }
  // Paths that come while the window is not there yet or is adding others
  // (its own start paths, a dialog's files) wait for it in a queue, in
  // their order: the start that handed them over was told they were taken.
  struct Pending {
    std::deque<std::vector<std::string>> lists;
    bool waiting = false;
  };
  auto pending = std::make_shared<Pending>();
  auto drain = std::make_shared<std::function<void()>>();
  *drain = [window, pending, again = std::weak_ptr(drain)] {
    pending->waiting = false;
    while (!pending->lists.empty()) {
      MainWindow* w = window();
      if (!w || w->app().listCommands.AddingFiles()) {
        pending->waiting = true;
        QTimer::singleShot(kAddRetryMs, [again] {
          if (auto d = again.lock()) (*d)();
        });
        return;
      }
      std::vector<std::string> p = std::move(pending->lists.front());
      pending->lists.pop_front();
      w->StartUp();
      w->app().RunCommand([&] { w->app().openedPaths.Add(p); });
      w->UpdateCommandStates();
    }
  };
  auto add = [pending, drain](const std::vector<std::string>& p) {
    pending->lists.push_back(p);
    if (!pending->waiting) (*drain)();
  };
  instance.pathsHook = [add, window](const std::vector<std::string>& p) {
    if (MainWindow* w = window()) {
      w->show();
      w->raise();
      w->activateWindow();
      // A dialog or box the person has open stays in front of the window
      // it belongs to: raised behind it, it would wait unseen.
      if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
      }
    }
    add(p);
  };
  if (!paths.empty()) QTimer::singleShot(0, [add, paths] { add(paths); });
  return false;
}

}  // namespace pcm
