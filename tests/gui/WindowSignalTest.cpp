// Asked from outside to end (logout, a closed terminal, kill), the window
// stops a running batch, removes its unfinished output, saves the settings
// as a normal close does and quits.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <cstring>

#include "WindowFixture.h"

namespace pcmtest {
namespace {

// Whether the process has a handler of its own for sig.
bool Catches(qint64 pid, int sig) {
  QFile status(QString("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return false;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("SigCgt:")) return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
  return false;
}

TEST(WindowStopSignals, TheProgramQuitsCleanlyAndSavesItsSettings) {
  for (int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    std::string config = MakeTempDir("signal-config");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(config + "/"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(BinDir() + "/popclipmill"), {});
    ASSERT_TRUE(p.waitForStarted());
    // The signal is sent once the program has taken it over.
    ASSERT_TRUE(
        WaitUntil([&] { return Catches(p.processId(), sig) || p.state() != QProcess::Running; }, 60000));
    ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
    kill(pid_t(p.processId()), sig);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(config + "/popclipmill.ini")));
  }
}

TEST(WindowStopSignals, ARunningBatchIsStoppedBeforeQuitting) {
  // A slowed encoder keeps the conversion running until the stop.
  std::string tools = MakeTempDir("signal-slow");
  ASSERT_EQ(RunShell("printf '#!/bin/sh\\nexec ffmpeg -re \"$@\"\\n' > " + ShellQuote(tools + "/ffmpeg") +
                     " && chmod 755 " + ShellQuote(tools + "/ffmpeg")),
            0);
  ScopedEnv ffmpeg("POPCLIPMILL_FFMPEG", tools + "/ffmpeg");
  std::string config = MakeTempDir("signal-batch-config");
  std::string out = MakeTempDir("signal-batch-out");
  {
    WindowHarness h("popclipmill", config);
    pcm::MainWindow& w = h.Open();
    h.ui.fileAnswers.push_back({MakeMedia("mp4", 30)});
    w.ImageButtonClicked("bt_dvdopen");
    ASSERT_EQ(h.app().list.Count(), 1);
    h.ui.folderAnswers.push_back(out);
    w.Click("browse");
    w.ImageButtonClicked("bt_start");
    ASSERT_TRUE(h.app().run.converting);
    QDir folder(QString::fromStdString(out));
    bool writing = WaitUntil(
        [&] {
          qint64 size = 0;
          for (const QFileInfo& f : folder.entryInfoList(QDir::Files | QDir::Hidden)) size += f.size();
          return size > 4096 || !h.app().run.converting;
        },
        60000);
    ASSERT_TRUE(writing && h.app().run.converting);

    w.StopAndQuit();
    EXPECT_FALSE(h.app().run.converting);
    EXPECT_EQ(pcm::StatusText(h.app().list.Row(0)), "Stop");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(config + "/popclipmill.ini")));
  }
}

}  // namespace
}  // namespace pcmtest
