// Ctrl-C while the front end waits for a file's description.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <vector>

#include "support/Fixtures.h"

using pcmtest::ShellQuote;

// The encoder is a script whose description never comes (an input on a
// stalled disk, say): a real probe ends too soon for the signal to meet it.
// It logs each probe with the pid that then waits.
TEST(CliProbe, InterruptDuringAProbeActsAtOnce) {
  std::string program = pcmtest::MakeProgramDir("cli-slow-probe",
                                                "echo $$ >> \"$(dirname \"$0\")/probes.log\"\n"
                                                "exec sleep 120");
  std::string dir = QFileInfo(QString::fromStdString(program)).absolutePath().toStdString();
  ASSERT_TRUE(QFile::copy(QString::fromStdString(pcmtest::BinDir() + "/popclipmill"),
                          QString::fromStdString(program)));
  std::string log = dir + "/probes.log";
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("POPCLIPMILL_CONFIG_DIR", QString::fromStdString(pcmtest::MakeTempDir("cli-slow-probe-config")));
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString(program), {"--batch", QString::fromStdString(pcmtest::MakeMedia("mp3", 2)),
                                            QString::fromStdString(pcmtest::MakeMedia("wav", 2))});
  ASSERT_TRUE(p.waitForStarted());
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return QFile::exists(QString::fromStdString(log)); }, 60000));
  pid_t probe = -1;
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return static_cast<bool>(std::ifstream(log) >> probe); }, 20000));

  kill(pid_t(p.processId()), SIGINT);
  // The probe waits up to 30 s on its own; an answer well within that is
  // the interrupt's doing.
  bool ended = p.waitForFinished(10000);
  if (!ended) p.kill();
  EXPECT_TRUE(ended);
  std::string text = p.readAll().toStdString();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_NE(text.find("interrupted while adding"), std::string::npos) << text;
  EXPECT_EQ(text.find("not support"), std::string::npos) << text;
  // The probe runs of the first group only (one per core), no second try of
  // a file; and every probe is gone with the program.
  std::ifstream in(log);
  std::vector<pid_t> probes;
  for (pid_t pid; in >> pid;) probes.push_back(pid);
  EXPECT_LE(probes.size(), size_t(std::max(1, QThread::idealThreadCount())));
  for (pid_t pid : probes) {
    EXPECT_TRUE(pcmtest::WaitUntil([&] { return kill(pid, 0) != 0; }, 20000));
    if (kill(pid, 0) == 0) kill(pid, SIGKILL);
  }
}
