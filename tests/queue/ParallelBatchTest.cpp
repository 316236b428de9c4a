// Batches that convert several entries at once: the scripted fake encoder
// where a job must wait, fail or be paused on cue, the real adapter for the
// outputs themselves.
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "QueueFixture.h"
#include "engine/EncoderEngine.h"

using queuetest::Batch;

namespace {

bool GroupAlive(pid_t pgid) { return kill(-pgid, 0) == 0; }

std::vector<pid_t> RunningPids(pcm::CoreApp& app) {
  std::vector<pid_t> pids;
  for (auto& j : app.engine.runner().RunningJobs()) pids.push_back(j->pid);
  return pids;
}

bool Called(Batch& b, const std::string& name) {
  for (const auto& c : b.f.Calls())
    if (c == b.media + "/" + name) return true;
  return false;
}

}  // namespace

TEST(ParallelBatch, AFailureAPauseAndTheFinishActionOnceAtTheEnd) {
  Batch b("par-pause", {"a-wait.wav", "b-fail.wav", "c-wait.wav", "d.wav", "e.wav", "f.wav"});
  b.app().list.SetChecked(5, false);
  b.app().settings.jobs = 3;
  b.app().settings.finishAction = pcm::kFinishOpenFolder;
  b.app().batch.StartBatch();
  // The failing entry frees its place at once; the two waiting ones keep
  // theirs while d and e pass through the third.
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return b.Status(3) == "Finish" && b.Status(4) == "Finish"; }, 60000));
  EXPECT_EQ(b.Status(1), "Failed");
  EXPECT_FALSE(b.app().list.Row(1).failureLines.empty());
  EXPECT_TRUE(b.app().run.converting);
  EXPECT_TRUE(b.f.system.calls.empty());
  ASSERT_EQ(RunningPids(b.app()).size(), 2u);
  // Unchecked before its turn: never started.
  EXPECT_FALSE(Called(b, "f.wav"));

  // Pause reaches every running encoder: released now, neither can end.
  b.app().batch.PauseOrContinue();
  EXPECT_EQ(b.app().batch.pauseCaption, "Continue");
  for (auto& j : b.app().engine.runner().RunningJobs()) EXPECT_TRUE(j->Paused());
  b.Release("a-wait.wav");
  b.Release("c-wait.wav");
  pcmtest::WaitUntil([] { return false; }, 500);
  EXPECT_EQ(RunningPids(b.app()).size(), 2u);
  EXPECT_TRUE(b.app().run.converting);
  b.app().batch.StartBatch();  // continues
  ASSERT_TRUE(b.WaitIdle());
  const char* want[] = {"Finish", "Failed", "Finish", "Finish", "Finish", "Status"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b.Status(i), want[i]) << i;
  for (const char* name : {"a-wait", "c-wait", "d", "e"})
    EXPECT_TRUE(queuetest::Exists(b.out + "/" + name + ".mp3"));
  EXPECT_EQ(b.f.system.calls, std::vector<std::string>{"open-folder " + b.app().settings.outputDirectory});
  EXPECT_EQ(b.app().display().StripWidth("convertpos"), 0);
}

TEST(ParallelBatch, StopEndsEveryRunningEntryAndLeavesNoProcess) {
  Batch b("par-stop", {"a-wait.wav", "b-wait.wav", "c-wait.wav", "d.wav"});
  b.app().settings.jobs = 3;
  b.app().batch.StartBatch();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return b.f.Calls().size() == 3; }, 60000));
  auto pids = RunningPids(b.app());
  ASSERT_EQ(pids.size(), 3u);
  b.app().batch.StopBatch();
  EXPECT_FALSE(b.app().run.converting);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(b.Status(i), "Stop") << i;
  EXPECT_EQ(b.Status(3), "Status");
  ASSERT_TRUE(b.WaitIdle());
  for (pid_t pid : pids) EXPECT_TRUE(pcmtest::WaitUntil([&] { return !GroupAlive(pid); }, 10000));
  EXPECT_FALSE(Called(b, "d.wav"));
  // Late reports of the stopped jobs change no row; nothing half-written
  // is left, under its name or a reserved one.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(b.Status(i), "Stop") << i;
  EXPECT_TRUE(std::filesystem::is_empty(b.out));
  EXPECT_TRUE(b.f.system.calls.empty());
}

// Six entries of different lengths, two of them with one name, converted by
// the real adapter three at a time and one at a time: the same outputs.
TEST(ParallelBatch, RealConversionsGiveTheSameOutputsAsOneAtATime) {
  std::string other = pcmtest::MakeTempDir("par-real-same");
  std::filesystem::copy_file(pcmtest::MakeMedia("wav", 2), other + "/clip2.wav");
  std::vector<std::string> inputs = {pcmtest::MakeMedia("wav", 5), pcmtest::MakeMedia("wav", 1),
                                     pcmtest::MakeMedia("wav", 2), pcmtest::MakeMedia("wav", 4),
                                     other + "/clip2.wav",         pcmtest::MakeMedia("wav", 3)};
  std::map<int, std::map<std::string, double>> outputs;
  for (int jobs : {3, 1}) {
    setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir("par-real-config").c_str(), 1);
    pcm::ScriptedUserInterface ui;
    pcm::RecordingSystemActions system;
    pcm::CoreApp app({pcmtest::BinDir() + "/popclipmill", nullptr, &ui, &system});
    app.settings.LoadSettings();
    app.profiles.SelectProfile(17);
    std::string out = pcmtest::MakeTempDir("par-real-out");
    app.settings.outputField = out;
    app.settings.jobs = jobs;
    app.settings.finishAction = pcm::kFinishShutdown;
    for (const auto& in : inputs) ASSERT_TRUE(app.listCommands.AddFileEntry(in)) << in;
    app.batch.StartBatch();
    size_t most = 0;
    ASSERT_TRUE(pcmtest::WaitUntil(
        [&] {
          most = std::max(most, app.engine.runner().RunningJobs().size());
          return !app.run.converting && !app.engine.Running();
        },
        180000));
    EXPECT_LE(most, size_t(jobs));
    EXPECT_EQ(system.calls, std::vector<std::string>{"shutdown"});
    for (int i = 0; i < app.list.Count(); ++i) {
      ASSERT_EQ(StatusText(app.list.Row(i)), "Finish") << jobs << " " << i;
      const std::string& file = app.list.Row(i).outputFile;
      auto info = pcmtest::FfprobeFile(file);
      EXPECT_TRUE(info.ok) << file;
      outputs[jobs][file.substr(out.size() + 1)] = info.duration;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 6);
  }
  ASSERT_EQ(outputs[3].size(), 6u);
  EXPECT_TRUE(outputs[3].count("clip2.mp3") && outputs[3].count("clip2_1.mp3"));
  for (const auto& [name, seconds] : outputs[1]) {
    ASSERT_TRUE(outputs[3].count(name)) << name;
    EXPECT_NEAR(outputs[3][name], seconds, 0.2) << name;
  }
}
