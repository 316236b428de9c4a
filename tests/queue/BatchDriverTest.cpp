// The batch driver over the scripted fake encoder (exact exit codes and
// output) and over the real adapter.
#include <csignal>

#include "QueueFixture.h"
#include "engine/EncoderEngine.h"

using pcm::ListRow;
using queuetest::Batch;
using queuetest::FakeApp;
using queuetest::FakeMedia;

namespace {

// Records the list's statuses at the moment of each system action.
class SnapshotActions : public pcm::SystemActions {
 public:
  bool OpenFolder(const std::string& path) override {
    Record("open-folder " + path);
    return true;
  }
  bool OpenAddress(const std::string& url) override {
    Record("open-address " + url);
    return true;
  }
  void Shutdown() override { Record("shutdown"); }
  pcm::ConversionList* list = nullptr;
  std::vector<std::string> calls;
  std::vector<std::vector<std::string>> statuses;

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    std::vector<std::string> s;
    for (const auto& r : list->Rows()) s.push_back(StatusText(r));
    statuses.push_back(s);
  }
};

}  // namespace

TEST(StartBatch, CheckedRowsOnlyTopToBottomThenTheFinishAction) {
  Batch b("rows13", {"r0.wav", "r1.wav", "r2.wav", "r3.wav", "r4.wav"});
  for (int i : {0, 2, 4}) b.app().list.SetChecked(i, false);
  b.app().settings.finishAction = pcm::kFinishOpenFolder;
  b.app().batch.StartBatch();
  EXPECT_TRUE(b.app().run.converting);
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.f.Calls(), (std::vector<std::string>{b.media + "/r1.wav", b.media + "/r3.wav"}));
  const char* want[] = {"Status", "Finish", "Status", "Finish", "Status"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(b.Status(i), want[i]) << i;
  EXPECT_EQ(b.app().list.Row(1).outputFile, b.out + "/r1.mp3");
  EXPECT_EQ(b.f.system.calls.size(), 1u);
  EXPECT_EQ(b.f.system.calls.at(0), "open-folder " + b.app().settings.outputDirectory);
  EXPECT_EQ(b.app().list.currentPosition, 5);
  EXPECT_EQ(b.app().display().StripWidth("convertpos"), 0);
}

TEST(StartBatch, UncheckingALaterRowDuringTheBatchSkipsIt) {
  Batch b("uncheck", {"r0.wav", "r1-wait.wav", "r2.wav", "r3.wav"});
  b.app().list.SetChecked(0, false);
  b.app().list.SetChecked(2, false);
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("r1-wait.wav"));
  b.app().list.SetChecked(3, false);
  b.Release("r1-wait.wav");
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.f.Calls(), std::vector<std::string>{b.media + "/r1-wait.wav"});
  EXPECT_EQ(b.Status(1), "Finish");
  EXPECT_EQ(b.Status(3), "Status");
}

TEST(StartBatch, NothingCheckedOrEmptyOrAlreadyRunning) {
  Batch b("nothing", {});
  b.app().batch.StartBatch();  // empty list: nothing at all
  EXPECT_TRUE(b.f.ui.boxes.empty());
  EXPECT_TRUE(b.app().listCommands.AddFileEntry(FakeMedia(b.media, "a-wait.wav")));
  b.app().list.SetChecked(0, false);
  b.app().batch.StartBatch();
  ASSERT_EQ(b.f.ui.boxes.size(), 1u);
  EXPECT_EQ(b.f.ui.boxes[0].kind, "information");
  EXPECT_EQ(b.f.ui.boxes[0].text, "Please select one file.");
  EXPECT_FALSE(b.app().run.converting);

  b.app().list.SetChecked(0, true);
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("a-wait.wav"));
  b.app().batch.StartBatch();  // running, not paused: refused
  EXPECT_EQ(b.f.ui.boxes.back().text, b.app().LoadMessage(26));
  b.Release("a-wait.wav");
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.f.Calls().size(), 1u);
}

TEST(StartBatch, RefusedWhilePreviewing) {
  Batch b("preview", {"a.wav"});
  b.app().run.previewing = true;
  b.app().batch.StartBatch();
  b.app().run.previewing = false;
  ASSERT_EQ(b.f.ui.boxes.size(), 1u);
  EXPECT_EQ(b.f.ui.boxes[0].text, b.app().LoadMessage(27));
  EXPECT_FALSE(b.app().run.converting);
}

TEST(StopBatch, DuringTheSecondOfThree) {
  Batch b("stop", {"a.wav", "b-wait.wav", "c.wav"});
  b.app().settings.finishAction = pcm::kFinishShutdown;
  int over = 0;
  b.app().batch.batchOverHook = [&] { ++over; };
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("b-wait.wav"));
  pid_t pid = b.app().engine.CurrentJob()->pid;
  b.app().batch.StopBatch();
  EXPECT_FALSE(b.app().run.converting);
  EXPECT_EQ(b.Status(1), "Stop");
  EXPECT_EQ(b.app().list.currentPosition, 4);
  EXPECT_EQ(b.app().display().StripWidth("convertpos"), 0);
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  EXPECT_EQ(b.Status(1), "Stop");  // the job's end does not overwrite it
  EXPECT_EQ(b.Status(2), "Status");
  EXPECT_TRUE(b.f.system.calls.empty());  // no finish action after a stop
  EXPECT_EQ(over, 1);
  EXPECT_NE(kill(pid, 0), 0);  // the encoder is gone
  EXPECT_EQ(b.f.Calls().size(), 2u);
  b.app().batch.StopBatch();  // not converting: nothing
  EXPECT_EQ(b.Status(2), "Status");
}

TEST(PauseOrContinue, ContinueThroughStartBatch) {
  Batch b("pause", {"a-wait.wav", "b.wav"});
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitStarted("a-wait.wav"));
  EXPECT_EQ(b.app().batch.pauseCaption, "Pause");
  b.app().batch.PauseOrContinue();
  EXPECT_EQ(b.app().batch.pauseCaption, "Continue");
  EXPECT_TRUE(b.app().engine.IsPaused());
  b.app().batch.StartBatch();  // "Convert" while paused continues
  EXPECT_EQ(b.app().batch.pauseCaption, "Pause");
  EXPECT_FALSE(b.app().engine.IsPaused());
  EXPECT_TRUE(b.f.ui.boxes.empty());
  b.app().batch.PauseOrContinue();
  b.app().batch.PauseOrContinue();
  EXPECT_EQ(b.app().batch.pauseCaption, "Pause");
  b.Release("a-wait.wav");
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  EXPECT_EQ(b.Status(1), "Finish");
}

TEST(FinishAction, ShutdownOnceAfterTheLastFinish) {
  FakeApp f("shutdown");
  SnapshotActions actions;
  pcm::CoreApp app({f.programPath, nullptr, &f.ui, &actions});
  actions.list = &app.list;
  app.settings.LoadSettings();
  std::string media = pcmtest::MakeTempDir("shutdown-media");
  app.settings.outputField = pcmtest::MakeTempDir("shutdown-out");
  for (const char* n : {"a.wav", "b.wav", "c.wav"})
    ASSERT_TRUE(app.listCommands.AddFileEntry(FakeMedia(media, n)));
  app.settings.finishAction = pcm::kFinishShutdown;
  app.batch.StartBatch();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 60000));
  ASSERT_EQ(actions.calls, std::vector<std::string>{"shutdown"});
  EXPECT_EQ(actions.statuses[0], (std::vector<std::string>{"Finish", "Finish", "Finish"}));
}

TEST(FailedEntries, AreFailedAndTheBatchGoesOn) {
  Batch b("failed", {"a-fail.wav", "b-empty.wav", "c-crash.wav", "d.wav"});
  b.app().settings.finishAction = pcm::kFinishOpenFolder;
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Failed");
  EXPECT_EQ(b.Status(1), "Failed");
  EXPECT_EQ(b.Status(2), "Failed");
  EXPECT_EQ(b.Status(3), "Finish");
  const auto& lines = b.app().list.Row(0).failureLines;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Error: scripted failure");  // the cause first
  const auto& empty = b.app().list.Row(1).failureLines;
  ASSERT_FALSE(empty.empty());
  EXPECT_NE(empty.front().find("No output"), std::string::npos);
  EXPECT_TRUE(b.app().list.Row(3).failureLines.empty());
  EXPECT_EQ(b.f.system.calls.size(), 1u);  // the finish action still runs
}

TEST(FailedEntries, EncoderThatCannotStart) {
  Batch b("nostart", {"a.wav", "b.wav"});
  ASSERT_EQ(std::remove((b.f.dir + "register.dat").c_str()), 0);
  b.app().settings.finishAction = pcm::kFinishOpenFolder;
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Failed");
  EXPECT_EQ(b.Status(1), "Failed");
  EXPECT_FALSE(b.app().list.Row(0).failureLines.empty());
  EXPECT_EQ(b.f.system.calls.size(), 1u);
}

TEST(FailedEntries, UnwritableOutputFolder) {
  Batch b("badopts", {"a.wav", "b.wav"});
  // The folder cannot be created, so the encoder writes nothing.
  b.app().settings.outputField = "/proc/popclipmill-no-such-dir";
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Failed");
  EXPECT_EQ(b.Status(1), "Failed");
}

TEST(OutputNames, ATakenNameGetsACounter) {
  Batch b("movie", {});
  b.app().profiles.SelectProfile(4);  // MP4-MPEG-4 Video(*.mp4)
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(b.app().listCommands.AddFileEntry(FakeMedia(b.media, "movie.avi")));
  }
  queuetest::WriteFile(b.out + "/movie.mp4", "already here");
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.app().list.Row(0).outputFile, b.out + "/movie_1.mp4");
  EXPECT_EQ(b.app().list.Row(1).outputFile, b.out + "/movie_2.mp4");
  EXPECT_EQ(queuetest::ReadLines(b.out + "/movie.mp4"), std::vector<std::string>{"already here"});
}

TEST(FileEntryStep, StartOnlyWhenTrimmedLengthAlwaysGiven) {
  Batch b("record", {"clip.final.avi"});
  b.app().profiles.SelectProfile(17);
  b.app().list.Row(0).trim.begin = 10;
  b.app().list.Row(0).entry.duration = "00:01:00";
  pcm::intputrec rec = b.app().batch.JobRecordOf(b.app().list.Row(0));
  EXPECT_EQ(rec.StartOpt.Text(), " -ss 00:00:10");
  EXPECT_EQ(rec.LengthOpt.Text(), " -t 00:01:00");
  EXPECT_EQ(rec.DurationSecs, 60);
  EXPECT_EQ(rec.InputFile, b.media + "/clip.final.avi");
  EXPECT_EQ(rec.OutputFile, b.out + "/clip.final.mp3");  // the title keeps its inner dot
  EXPECT_EQ(rec.EncoderPath, b.f.dir + "register.dat");
  b.app().list.Row(0).trim.begin = 0;
  // A seek before the input would lose the start of an untrimmed entry.
  EXPECT_EQ(b.app().batch.JobRecordOf(b.app().list.Row(0)).StartOpt.Text(), "");
}

// An entry whose job cannot be built fails with the reason and the batch
// goes on; the DVD variant converts file rows as files.
TEST(DvdMode, FileRowsTakeTheFileStepDvdRowsNeedTheirOwn) {
  Batch b("dvd", {"a.wav", "b.wav", "c.wav"}, "popclipmill-dvd");
  b.app().settings.finishAction = pcm::kFinishOpenFolder;
  // Row 1 stands for a row listed from a DVD whose disc record is lost:
  // it fails alone, the file rows around it are converted.
  b.app().list.Row(1).dvd = pcm::DvdRowData{};
  b.app().batch.StartBatch();
  ASSERT_TRUE(b.WaitIdle());
  EXPECT_EQ(b.Status(0), "Finish");
  EXPECT_EQ(b.Status(1), "Failed");
  EXPECT_EQ(b.Status(2), "Finish");
  EXPECT_EQ(b.app().list.Row(1).failureLines, std::vector<std::string>{"The DVD entry b names no DVD file"});
  EXPECT_EQ(b.f.Calls(), (std::vector<std::string>{b.media + "/a.wav", b.media + "/c.wav"}));
  EXPECT_FALSE(b.app().progress.CreepRunning());
  EXPECT_EQ(b.f.system.calls.size(), 1u);
}

// Real conversions through the real adapter and ffmpeg.
TEST(RealBatch, RowsOneAndThreeOfFive) {
  setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir("real-batch-config").c_str(), 1);
  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  pcm::CoreApp app({pcmtest::BinDir() + "/popclipmill", nullptr, &ui, &system});
  app.settings.LoadSettings();
  app.profiles.SelectProfile(17);
  std::string out = pcmtest::MakeTempDir("real-batch-out");
  app.settings.outputField = out;
  const char* kinds[] = {"wav", "ogg", "mp4", "m4a", "avi"};
  for (const char* k : kinds) ASSERT_TRUE(app.listCommands.AddFileEntry(pcmtest::MakeMedia(k, 2))) << k;
  for (int i : {0, 2, 4}) app.list.SetChecked(i, false);
  app.settings.finishAction = pcm::kFinishShutdown;
  app.batch.StartBatch();
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
  for (int i : {1, 3}) {
    ASSERT_EQ(StatusText(app.list.Row(i)), "Finish") << i;
    auto info = pcmtest::FfprobeFile(app.list.Row(i).outputFile);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.formatName, "mp3");
    EXPECT_NEAR(info.duration, 2.0, 0.2);
  }
  for (int i : {0, 2, 4}) EXPECT_EQ(StatusText(app.list.Row(i)), "Status");
  EXPECT_EQ(system.calls, std::vector<std::string>{"shutdown"});
}
