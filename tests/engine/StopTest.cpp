// The user's stop reaches the encoder once, and the encoder ends its work
// properly: a second request would make ffmpeg drop its file's index.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cstdlib>

#include "core/Application.h"
#include "engine/JobRun.h"
#include "support/Fixtures.h"

using namespace pcm;
using enginetest::JobRun;

namespace {

std::string ReadAll(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

}  // namespace

// A scripted encoder that runs a helper in its process group, as the adapter
// runs ffmpeg. The stop goes to the encoder, which passes it on; the helper
// hears nothing from the engine directly.
TEST(Stop, GoesToTheEncoderOnly) {
  JobRun run(pcmtest::MakeProgramDir(
      "stop-once",
      "here=$(dirname \"$0\")\n"
      "sh -c 'trap \"echo helper >> \\\"$0/signals.log\\\"; exit 0\" TERM; touch \"$0/ready\";"
      " while :; do sleep 0.05; done' \"$here\" &\n"
      "trap 'echo encoder >> \"$here/signals.log\"; exit 255' TERM\n"
      "while :; do sleep 0.05; done"));
  std::string dir = run.app.program.Directory();
  auto job = run.Start("in", "/dev/null", 0);
  ASSERT_TRUE(
      pcmtest::WaitUntil([&] { return QFile::exists(QString::fromStdString(dir + "ready")); }, 30000));
  run.app.engine.Terminate();
  ASSERT_TRUE(run.WaitEnd(1, 30000));
  EXPECT_TRUE(run.outcome.stoppedByUser);
  EXPECT_EQ(run.outcome.exitCode, 255);
  EXPECT_EQ(ReadAll(dir + "signals.log"), "encoder\n");
  // The helper goes with the group.
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return kill(-job->pid, 0) != 0; }, 10000));
}

// The real adapter and ffmpeg, slowed to the input's own pace so the stop
// arrives mid-way: the MP4 written so far is complete and readable.
TEST(Stop, RealMp4EndsWithItsIndex) {
  std::string slow = pcmtest::MakeTempDir("stop-slow") + "/ffmpeg";
  {
    QFile f(QString::fromStdString(slow));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nexec ffmpeg -re \"$@\"\n");
  }
  ASSERT_EQ(chmod(slow.c_str(), 0755), 0);
  pcmtest::ScopedEnv ffmpeg("POPCLIPMILL_FFMPEG", slow);
  JobRun run(pcmtest::MakeProgramDir("stop-mp4"));
  std::string out = pcmtest::MakeTempDir("stop-mp4-out") + "/clip.mp4";
  run.Start(pcmtest::MakeMedia("mp4", 30), out, 0, {"-vcodec", "mpeg4", "-acodec", "aac", "-f", "mp4"});
  bool writing =
      pcmtest::WaitUntil([&] { return QFileInfo(QString::fromStdString(out)).size() > 4096; }, 60000);
  run.app.engine.Terminate();
  ASSERT_TRUE(run.WaitEnd());
  ASSERT_TRUE(writing);
  std::string lines;
  for (const auto& l : run.outcome.lastLines) lines += l + "\n";
  EXPECT_EQ(lines.find("Immediate exit requested"), std::string::npos) << lines;
  auto info = pcmtest::FfprobeFile(out);
  EXPECT_TRUE(info.ok) << lines;
  EXPECT_GT(info.duration, 0.0);
  EXPECT_LT(info.duration, 29.0);
}
