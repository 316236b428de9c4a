// One window per person: a later start hands its paths to the running one,
// a socket left by a killed window is taken over, and garbage on the socket
// changes nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "WindowFixture.h"
#include "gui/SingleInstance.h"
#include "queue/ListStore.h"

namespace pcmtest {
namespace {

// Runs a blocking client on its own thread while this one serves events.
template <class F>
auto OnThread(F f) {
  decltype(f()) result{};
  bool done = false;
  std::thread t([&] {
    result = f();
    done = true;
  });
  WaitUntil([&] { return done; }, 30000);
  t.join();
  return result;
}

TEST(SingleInstance, HandsOverTakesOverStaleSocketsAndIgnoresGarbage) {
  std::string dir = MakeTempDir("instance");
  QString name = QString::fromStdString(dir + "/sock");
  // A socket file whose owner was killed: nobody listens on it.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", qPrintable(name));
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  EXPECT_FALSE(OnThread([&] { return pcm::SingleInstance::HandOver(name, {"/a"}, 2000); }));

  // Of two starts at once only one takes the lock, and with it the socket;
  // the lock is free again once its holder is gone.
  {
    pcm::SingleInstance a, b;
    EXPECT_EQ(a.TakeLock(name), pcm::SingleInstance::Lock::Taken);
    EXPECT_EQ(b.TakeLock(name), pcm::SingleInstance::Lock::HeldElsewhere);
  }
  pcm::SingleInstance first;
  ASSERT_EQ(first.TakeLock(name), pcm::SingleInstance::Lock::Taken);
  ASSERT_TRUE(first.Listen(name));
  std::vector<std::vector<std::string>> received;
  first.pathsHook = [&](const std::vector<std::string>& p) { received.push_back(p); };
  // A second window on the same name finds the first alive.
  pcm::SingleInstance second;
  EXPECT_FALSE(second.Listen(name));

  // Garbage, a cut-short message and a hostile path are dropped.
  for (std::string junk : {std::string("GET / HTTP/1.0\r\n\r\n"), std::string("popclipmill-open 2\n/a"),
                           std::string("popclipmill-open 1\n../../etc/passwd", 36)}) {
    OnThread([&] {
      QLocalSocket s;
      s.connectToServer(name);
      if (!s.waitForConnected(2000)) return 0;
      s.write(junk.data(), qint64(junk.size()));
      s.waitForBytesWritten(2000);
      s.disconnectFromServer();
      return 1;
    });
  }
  std::vector<std::string> paths = {"/home/p/a b.mp3", "/home/p/\xc3\xa9.wav"};
  ASSERT_TRUE(OnThread([&] { return pcm::SingleInstance::HandOver(name, paths); }));
  ASSERT_TRUE(WaitUntil([&] { return !received.empty(); }, 10000));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], paths);
}

// Paths handed over while a dialog of the window is open raise the window
// but leave the dialog in front and active: a box behind the window would
// wait unseen.
TEST(SingleInstance, AHandOverDuringADialogKeepsTheDialogInFront) {
  WindowHarness h("popclipmill", MakeTempDir("handover-dialog-config"));
  pcm::MainWindow& w = h.Open();
  ASSERT_TRUE(h.Activate());
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(MakeTempDir("handover-dialog-runtime")));
  pcm::SingleInstance instance;
  ASSERT_FALSE(pcm::HandOverOrServe(instance, "popclipmill-dialog-test", {}, [&] { return &w; }));
  QDialog dialog(&w);
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return dialog.isActiveWindow(); }, 5000));
  const std::string file = MakeMedia("wav", 1);
  instance.pathsHook({file});
  // Time for the window to take the focus, which it must not.
  WaitUntil([&] { return !dialog.isActiveWindow(); }, 500);
  EXPECT_TRUE(dialog.isActiveWindow());
  EXPECT_TRUE(dialog.isVisible());
  dialog.close();
  ASSERT_TRUE(WaitUntil([&] { return h.app().list.Count() == 1; }, 20000));
  EXPECT_EQ(h.app().list.Row(0).filePath, file);
}

// The real program: a second start with a file hands it to the running
// window and ends at once with success.
TEST(SingleInstance, ASecondStartOfTheProgramAddsItsFileToTheFirst) {
  std::string config = MakeTempDir("handover-config");
  std::string runtime = MakeTempDir("handover-runtime");
  chmod(runtime.c_str(), 0700);
  std::string file = MakeTempDir("handover-media") + "/handed over.wav";
  ASSERT_TRUE(QFile::copy(QString::fromStdString(MakeMedia("wav", 2)), QString::fromStdString(file)));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(config + "/"));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  QString program = QString::fromStdString(BinDir() + "/popclipmill");
  QProcess first;
  first.setProcessEnvironment(env);
  first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  first.start(program, {});
  ASSERT_TRUE(first.waitForStarted(10000));
  // Listening once the socket is there.
  ASSERT_TRUE(WaitUntil([&] { return !QDir(QString::fromStdString(runtime)).isEmpty(QDir::System); }, 60000));

  QProcess second;
  second.setProcessEnvironment(env);
  second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  second.setWorkingDirectory(QFileInfo(QString::fromStdString(file)).absolutePath());
  second.start(program, {"handed over.wav"});
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);

  auto rows = [&] {
    std::ifstream in(config + "/popclipmill.list", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string error;
    auto r = pcm::DecodeList(ss.str(), error);
    return r ? *r : std::vector<pcm::ListRow>{};
  };
  ASSERT_TRUE(WaitUntil([&] { return rows().size() == 1; }, 60000));
  EXPECT_EQ(rows()[0].filePath, file);
  ::kill(pid_t(first.processId()), SIGKILL);
  first.waitForFinished(10000);

  // Two starts at once, each with a file, the socket of the killed window
  // left behind: one window, which restores its row and adds both files
  // (the one handed over while it was adding its own waits for it).
  const std::string other = file.substr(0, file.rfind('/')) + "/other.wav";
  ASSERT_TRUE(QFile::copy(QString::fromStdString(file), QString::fromStdString(other)));
  QProcess a, b;
  for (auto [p, name] : {std::pair{&a, file}, std::pair{&b, other}}) {
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(program, {QString::fromStdString(name)});
  }
  ASSERT_TRUE(a.waitForStarted(10000) && b.waitForStarted(10000));
  ASSERT_TRUE(WaitUntil(
      [&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; }, 60000));
  QProcess& ended = a.state() == QProcess::NotRunning ? a : b;
  QProcess& window = &ended == &a ? b : a;
  EXPECT_EQ(ended.exitCode(), 0);
  ASSERT_TRUE(WaitUntil([&] { return rows().size() == 3; }, 60000)) << rows().size();
  std::multiset<std::string> paths;
  for (const auto& r : rows()) paths.insert(r.filePath);
  EXPECT_EQ(paths, (std::multiset<std::string>{file, file, other}));
  EXPECT_EQ(window.state(), QProcess::Running);
  ::kill(pid_t(window.processId()), SIGKILL);
  window.waitForFinished(10000);
}

}  // namespace
}  // namespace pcmtest
