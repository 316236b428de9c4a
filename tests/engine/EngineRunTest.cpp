// Encoder jobs for real: register.dat over ffmpeg, and scripted fake
// encoders where an exact output or a misbehaviour is needed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileInfo>
#include <csignal>
#include <cstdlib>

#include "core/Application.h"
#include "engine/JobRun.h"
#include "support/Fixtures.h"

using namespace pcm;
using enginetest::JobRun;

namespace {

bool GroupAlive(pid_t pgid) { return kill(-pgid, 0) == 0; }

double PercentOf(const std::string& status) { return std::atof(status.c_str()); }

}  // namespace

TEST(EngineRun, RealConversionShowsRisingProgressAndEndsOnce) {
  JobRun run(pcmtest::MakeProgramDir("convert"));
  std::string in = pcmtest::MakeMedia("avi", 5);
  std::string out = pcmtest::MakeTempDir("convert-out") + "/clip.mp4";
  auto job = run.Start(in, out, 5, {"-vcodec", "mpeg4", "-acodec", "aac", "-f", "mp4"});
  ASSERT_TRUE(run.WaitEnd());
  // Let any late hand-over arrive: it must not end the job a second time.
  pcmtest::WaitUntil([] { return false; }, 300);
  EXPECT_EQ(run.endedIds.size(), 1u);
  EXPECT_TRUE(run.outcome.Succeeded()) << run.outcome.exitCode;
  ASSERT_FALSE(run.statuses.empty());
  double last = 0;
  for (auto& s : run.statuses) {
    EXPECT_GE(PercentOf(s), last) << s;
    last = PercentOf(s);
  }
  EXPECT_NEAR(last, 100.0, 5.0);
  // After the end the strip is reset.
  EXPECT_EQ(run.app.display().StripWidth("convertpos"), 0);
  auto info = pcmtest::FfprobeFile(out);
  ASSERT_TRUE(info.ok);
  EXPECT_NEAR(info.duration, 5.0, 0.5);
  EXPECT_EQ(info.videoStreams, 1);
  EXPECT_EQ(info.audioStreams, 1);
  EXPECT_FALSE(GroupAlive(job->pid));
}

TEST(EngineRun, PauseReallyPausesAndContinueCompletes) {
  JobRun run(pcmtest::MakeProgramDir("pause"));
  std::string in = pcmtest::MakeMedia("avi", 6);
  std::string out = pcmtest::MakeTempDir("pause-out") + "/clip.avi";
  // Reading at the native rate makes the job last as long as the clip.
  auto job = run.Start(in, out, 6, {"-vcodec", "mpeg4", "-acodec", "mp2"}, {"-re"});
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return QFileInfo(QString::fromStdString(out)).size() > 0; }, 10000));
  pcmtest::WaitUntil([] { return false; }, 1000);
  run.app.engine.Pause();
  EXPECT_TRUE(run.app.engine.IsPaused());
  pcmtest::WaitUntil([] { return false; }, 500);  // what was under way settles
  qint64 before = QFileInfo(QString::fromStdString(out)).size();
  pcmtest::WaitUntil([] { return false; }, 2500);
  EXPECT_EQ(QFileInfo(QString::fromStdString(out)).size(), before);
  EXPECT_TRUE(run.endedIds.empty());
  run.app.engine.Resume();
  EXPECT_FALSE(run.app.engine.IsPaused());
  ASSERT_TRUE(run.WaitEnd());
  EXPECT_TRUE(run.outcome.Succeeded());
  EXPECT_GT(QFileInfo(QString::fromStdString(out)).size(), before);
}

TEST(EngineRun, StopLeavesNoProcessOfTheGroup) {
  for (bool pausedFirst : {false, true}) {
    JobRun run(pcmtest::MakeProgramDir("stop"));
    std::string in = pcmtest::MakeMedia("avi", 20);
    std::string out = pcmtest::MakeTempDir("stop-out") + "/clip.avi";
    auto job = run.Start(in, out, 20, {"-vcodec", "mpeg4", "-acodec", "mp2"}, {"-re"});
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return QFileInfo(QString::fromStdString(out)).size() > 0; }, 10000));
    if (pausedFirst) run.app.engine.Pause();
    run.app.engine.Terminate();
    ASSERT_TRUE(run.WaitEnd(1, 15000)) << pausedFirst;
    EXPECT_TRUE(run.outcome.stoppedByUser);
    EXPECT_FALSE(run.outcome.Succeeded());
    EXPECT_TRUE(pcmtest::WaitUntil([&] { return !GroupAlive(job->pid); }, 5000)) << pausedFirst;
  }
}

TEST(EngineRun, MissingEncoderEndsAtOnceAsFailed) {
  JobRun run(pcmtest::MakeProgramDir("noencoder", "exit 0"));
  std::remove((run.app.program.Directory() + "register.dat").c_str());
  run.Start("/nonexistent/in.avi", "/tmp/never.mp4", 5);
  EXPECT_TRUE(run.endedIds.empty());  // ends after the caller has returned
  ASSERT_TRUE(run.WaitEnd(1, 5000));
  EXPECT_FALSE(run.outcome.started);
  EXPECT_FALSE(run.outcome.Succeeded());
  EXPECT_NE(run.outcome.error.find("register.dat"), std::string::npos);
}

TEST(EngineRun, MissingFfmpegEndsQuicklyAsFailed) {
  JobRun run(pcmtest::MakeProgramDir("noffmpeg"));
  pcmtest::ScopedEnv ffmpeg("POPCLIPMILL_FFMPEG", "/nonexistent/ffmpeg");
  run.Start(pcmtest::MakeMedia("mp3", 2), pcmtest::MakeTempDir("noffmpeg-out") + "/a.mp3", 2);
  bool ended = run.WaitEnd(1, 15000);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(run.outcome.started);
  EXPECT_FALSE(run.outcome.Succeeded());
  ASSERT_FALSE(run.outcome.lastLines.empty());
  EXPECT_NE(run.outcome.lastLines.back().find("ffmpeg"), std::string::npos);
}

TEST(EngineRun, AnOlderJobsEndLeavesTheNewJobAlone) {
  // Scripted encoders: the first ends after a moment, the second keeps
  // running, so the first one's end step runs while the second is current.
  JobRun run(pcmtest::MakeProgramDir("twojobs",
                                     "if [ \"$3\" = first ]; then sleep 1; exit 0; fi\n"
                                     "printf 'time=3.00 bitrate=1\\r'; sleep 30"));
  auto first = run.Start("first", "/tmp/first.out", 10);
  auto second = run.Start("second", "/tmp/second.out", 10);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return StatusText(run.app.list.Row(0)) == "30.00%"; }, 10000));
  ASSERT_TRUE(run.WaitEnd(1, 10000));
  EXPECT_EQ(run.endedIds[0], first->id);
  EXPECT_TRUE(first->ended);
  EXPECT_FALSE(second->ended);
  EXPECT_EQ(run.app.display().StripWidth("convertpos"), 215);  // still the second job's 30 %
  EXPECT_EQ(run.app.engine.CurrentJob(), second);
  run.app.engine.Terminate();
  ASSERT_TRUE(run.WaitEnd(2, 10000));
  EXPECT_EQ(run.endedIds[1], second->id);
}

TEST(EngineRun, OutputWithoutLineEndsStaysBounded) {
  // A scripted encoder that prints 400 kB (six times the bound) without a line end, then
  // one report and a failure message.
  JobRun run(
      pcmtest::MakeProgramDir("flood",
                              "head -c 400000 /dev/zero | tr '\\000' a\nprintf 'time=5.00 bitrate=1\\r'\n"
                              "echo 'something went wrong' >&2\nexit 3"));
  run.Start("in", "/tmp/flood.out", 10);
  ASSERT_TRUE(run.WaitEnd(1, 30000));
  EXPECT_LE(run.accumulatedAtEnd, EncoderEngine::kMaxAccumulated);
  EXPECT_EQ(run.outcome.exitCode, 3);
  EXPECT_FALSE(run.outcome.Succeeded());
  ASSERT_FALSE(run.outcome.lastLines.empty());
  EXPECT_EQ(run.outcome.lastLines.back(), "something went wrong");
  EXPECT_EQ(run.statuses.back(), "50.00%");
}
