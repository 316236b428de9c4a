// No ffmpeg (or sox) outlives the adapter, however the adapter ends.
#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>
#include <fstream>
#include <sstream>

#include "AdapterHarness.h"
#include "support/Fixtures.h"

using namespace adaptertest;
using pcmtest::ShellQuote;

namespace {

// A conversion that runs for a minute unless stopped: -re reads the
// generated input at its own pace. It prints nothing, so a lost reader does
// not end it through a broken pipe: only the adapter's care does.
const QStringList kLongRun{"-re",   "-nostats", "-loglevel",           "quiet", "-y",   "-f",
                           "lavfi", "-i",       "testsrc=duration=60", "-f",    "null", "-"};

struct Started {
  QProcess process;
  pid_t adapter = -1;
  pid_t child = -1;
};

void Start(Started& s, const QStringList& args) {
  s.process.setProcessChannelMode(QProcess::MergedChannels);
  s.process.start(QString::fromStdString(Adapter()), args);
  ASSERT_TRUE(s.process.waitForStarted());
  s.adapter = static_cast<pid_t>(s.process.processId());
  s.child = WaitForChild(s.adapter);
  ASSERT_GT(s.child, 0);
}

}  // namespace

TEST(Lifetime, SigkillOfTheAdapterTakesFfmpegAlong) {
  Started s;
  Start(s, kLongRun);
  kill(s.adapter, SIGKILL);
  EXPECT_TRUE(s.process.waitForFinished(20000));
  EXPECT_TRUE(WaitGone(s.child));
  if (!Gone(s.child)) kill(s.child, SIGKILL);  // no orphan even when failing
}

TEST(Lifetime, SigtermIsForwardedAndTheAdapterEnds) {
  Started s;
  Start(s, kLongRun);
  kill(s.adapter, SIGTERM);
  ASSERT_TRUE(s.process.waitForFinished(20000));
  EXPECT_EQ(s.process.exitStatus(), QProcess::NormalExit);  // it waited for ffmpeg and exited
  EXPECT_NE(s.process.exitCode(), 0);
  EXPECT_TRUE(Gone(s.child));
}

TEST(Lifetime, DeathOfTheParentEndsAdapterAndFfmpeg) {
  // A shell starts the adapter and is then killed: the adapter must not
  // live on as an orphan.
  QProcess shell;
  QString command = "\"$0\" \"$@\" >/dev/null 2>&1 & echo $!; wait";
  QStringList args{"-c", command, QString::fromStdString(Adapter())};
  args << kLongRun;
  shell.start("/bin/sh", args);
  ASSERT_TRUE(shell.waitForStarted());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return shell.canReadLine(); }, 20000));
  pid_t adapter = static_cast<pid_t>(shell.readLine().trimmed().toInt());
  ASSERT_GT(adapter, 0);
  pid_t ffmpeg = WaitForChild(adapter);
  ASSERT_GT(ffmpeg, 0);
  kill(static_cast<pid_t>(shell.processId()), SIGKILL);
  shell.waitForFinished(20000);
  EXPECT_TRUE(WaitGone(adapter));
  EXPECT_TRUE(WaitGone(ffmpeg));
  for (pid_t pid : {adapter, ffmpeg})
    if (!Gone(pid)) kill(pid, SIGKILL);  // no orphan even when failing
}

TEST(Lifetime, SigkillDuringAmrTakesBothProgramsAlong) {
  std::string out = pcmtest::MakeTempDir("amr-kill") + "/long.amr";
  Started s;
  Start(s,
        {"-re", "-y", "-f", "lavfi", "-i", "sine=duration=60", "-ab", "12200", QString::fromStdString(out)});
  // sox starts first, then ffmpeg.
  pid_t sox = s.child;
  pid_t ffmpeg = -1;
  pcmtest::WaitUntil(
      [&] {
        QProcess ps;
        ps.start("pgrep", {"-P", QString::number(s.adapter)});
        ps.waitForFinished();
        for (auto& line : QString(ps.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
          if (line.toInt() != sox) ffmpeg = line.toInt();
        return ffmpeg > 0;
      },
      20000);
  ASSERT_GT(ffmpeg, 0);
  kill(s.adapter, SIGKILL);
  EXPECT_TRUE(WaitGone(ffmpeg));
  EXPECT_TRUE(WaitGone(sox));
}

namespace {

// A zero-filled file of 100 GB that takes no room: the probe reads it until
// its own limits end it.
std::string HugeSparseMp3() {
  std::string path = pcmtest::MakeTempDir("sparse") + "/zeros.mp3";
  pcmtest::RunShell("truncate -s 100G " + ShellQuote(path));
  return path;
}

// Waits until the probe module is loaded, that is the probing is under way.
bool Probing(pid_t pid) {
  return pcmtest::WaitUntil(
      [&] {
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        std::stringstream text;
        text << maps.rdbuf();
        return text.str().find("register-probe.so") != std::string::npos;
      },
      20000);
}

}  // namespace

TEST(Lifetime, AProbeEndsWithItsParentAndOnAStopRequest) {
  // The probe is stopped once under way, so that neither its own limits nor
  // the end of its input can end it: only its parent's death or the request.
  std::string huge = HugeSparseMp3();
  QProcess shell;
  shell.start("/bin/sh", {"-c", "\"$0\" -i \"$1\" >/dev/null 2>&1 & echo $!; wait",
                          QString::fromStdString(Adapter()), QString::fromStdString(huge)});
  ASSERT_TRUE(shell.waitForStarted());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return shell.canReadLine(); }, 20000));
  pid_t orphan = static_cast<pid_t>(shell.readLine().trimmed().toInt());
  ASSERT_GT(orphan, 0);
  ASSERT_TRUE(Probing(orphan));
  kill(orphan, SIGSTOP);
  kill(static_cast<pid_t>(shell.processId()), SIGKILL);
  shell.waitForFinished(20000);
  EXPECT_TRUE(WaitGone(orphan));
  if (!Gone(orphan)) kill(orphan, SIGKILL);  // no orphan even when failing

  QProcess probe;
  probe.start(QString::fromStdString(Adapter()), {"-i", QString::fromStdString(huge)});
  ASSERT_TRUE(probe.waitForStarted());
  pid_t pid = static_cast<pid_t>(probe.processId());
  ASSERT_TRUE(Probing(pid));
  kill(pid, SIGSTOP);
  kill(pid, SIGTERM);
  // A stopped process keeps the request pending until it runs again, and
  // then acts on it before anything else.
  kill(pid, SIGCONT);
  EXPECT_TRUE(probe.waitForFinished(20000));
  EXPECT_EQ(probe.exitStatus(), QProcess::CrashExit);
  if (!Gone(pid)) kill(pid, SIGKILL);
}
