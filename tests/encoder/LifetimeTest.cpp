// No ffmpeg (or sox) outlives the adapter, however the adapter ends.
#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>

#include "AdapterHarness.h"
#include "support/Fixtures.h"

using namespace adaptertest;

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
