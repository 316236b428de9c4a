#include "gui/SingleInstance.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

#include "gui/MainWindow.h"
#include "profiles/Settings.h"
#include "queue/OpenedPaths.h"

namespace pcm {

namespace {
// A connection that has not sent a whole message by then is dropped.
constexpr int kReadTimeoutMs = 5000;
constexpr char kAnswer[] = "ok\n";
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
}

bool SingleInstance::Listen(const QString& name) {
  if (!server_) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
  }
  // Someone answering there is a live instance. A socket file nobody
  // answers on was left by a killed one and is taken over.
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

std::vector<std::string> StartPaths() {
  std::vector<std::string> paths;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i)
    if (!args[i].isEmpty()) paths.push_back(QFileInfo(args[i]).absoluteFilePath().toStdString());
  return paths;
}

bool HandOverOrServe(SingleInstance& instance, const std::string& programName,
                     const std::vector<std::string>& paths, const std::function<MainWindow*()>& window) {
  QString name = SingleInstance::ServerName(programName);
  if (SingleInstance::HandOver(name, paths)) return true;
  // Without the socket the window still works, only alone.
  instance.Listen(name);
  auto add = [window](const std::vector<std::string>& p) {
    MainWindow* w = window();
    if (!w) return;
    w->StartUp();
    w->app().RunCommand([&] { w->app().openedPaths.Add(p); });
    w->UpdateCommandStates();
  };
  instance.pathsHook = [add, window](const std::vector<std::string>& p) {
    if (MainWindow* w = window()) {
      w->show();
      w->raise();
      w->activateWindow();
    }
    add(p);
  };
  if (!paths.empty()) QTimer::singleShot(0, [add, paths] { add(paths); });
  return false;
}

}  // namespace pcm
