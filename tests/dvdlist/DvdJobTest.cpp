// The DVD entry step: the job record a DVD row gives the encoder, and a
// batch in the DVD variant that converts a DVD row and a file row, each by
// its own step, with the real adapter and ffmpeg.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "core/Application.h"
#include "dvd/DvdRowSource.h"
#include "support/DvdFixtures.h"
#include "support/Fixtures.h"

namespace {

struct DvdApp {
  explicit DvdApp(const std::string& tag) {
    setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir(tag + "-config").c_str(), 1);
    app = std::make_unique<pcm::CoreApp>(
        pcm::CoreApp::Options{pcmtest::MakeProgramDir(tag, "", "popclipmill-dvd"), nullptr, &ui, &system});
    app->settings.LoadSettings();
    out = pcmtest::MakeTempDir(tag + "-out");
    app->settings.outputField = out;
  }
  pcm::DvdInputForm Form(const pcm::intputrec& rec) {
    pcm::DvdInputForm form;
    std::string error;
    EXPECT_TRUE(pcm::DecodeDvdInput(rec.InputFile, &form, &error)) << error;
    return form;
  }
  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  std::unique_ptr<pcm::CoreApp> app;
  std::string out;
};

}  // namespace

// What each kind of row gives the encoder, trimmed or not.
TEST(DvdJob, RecordsOfTitleAndChapterRows) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  DvdApp d("dvdjob-records");
  d.app->profiles.SelectProfile(17);
  d.app->dvd.ToggleChapterView();
  ASSERT_TRUE(d.app->dvd.OpenFolderPath(disc));
  pcm::CoreApp& app = *d.app;
  ASSERT_EQ(app.list.Row(2).caption, "  Chapter_02");

  // The whole title: every chapter's sectors, no trim, no start or length.
  pcm::intputrec title = app.batch.JobRecordOf(app.list.Row(0));
  pcm::DvdInputForm form = d.Form(title);
  EXPECT_EQ(form.folder, disc + "/VIDEO_TS");
  EXPECT_EQ(form.titleSet, 1);
  EXPECT_EQ(form.programChain, 1);
  EXPECT_EQ(form.sectors.size(), 3u);
  EXPECT_EQ(form.audioId, 0x80);
  EXPECT_EQ(form.subtitleId, 0);
  EXPECT_EQ(form.trimBegin, 0);
  EXPECT_EQ(form.trimEnd, 0);
  EXPECT_EQ(title.StartOpt.Text(), "");
  EXPECT_EQ(title.LengthOpt.Text(), "");
  EXPECT_EQ(title.DurationSecs, pcmtest::kMainTitleSeconds);
  EXPECT_FALSE(title.TargetOpt.empty());  // the profile's own options: the codec
  EXPECT_EQ(title.OutputFile, d.out + "/Title_01.mp3");

  // A chapter trimmed by a second at each end: the trim counts from the
  // chapter's own start; the name loses the caption's leading blanks, the
  // numbered alternative too.
  app.list.SelectOnly(2);
  app.dvd.SubtitleChanged(1);
  pcm::ListRow& chapter = app.list.Row(2);
  ASSERT_EQ(chapter.dvd->seconds, 3);
  ASSERT_TRUE(app.sources.Of(chapter).Trim(chapter, 1, 2));
  EXPECT_EQ(chapter.trim.begin, chapter.dvd->begin + 1);
  EXPECT_EQ(chapter.trim.end, chapter.dvd->begin + 2);
  EXPECT_EQ(chapter.entry.duration, "00:00:01");
  EXPECT_FALSE(app.sources.Of(chapter).Trim(chapter, 3, 5));  // begins where the chapter ends
  pcm::intputrec rec =
      app.batch.JobRecordOf(chapter, [&](const std::string& p) { return p == d.out + "/Chapter_02.mp3"; });
  form = d.Form(rec);
  ASSERT_EQ(form.sectors.size(), 1u);
  EXPECT_EQ(form.sectors[0], chapter.dvd->sectors[0]);
  EXPECT_EQ(form.subtitleId, 0x20);
  EXPECT_EQ(form.trimBegin, 1);
  EXPECT_EQ(form.trimEnd, 2);
  EXPECT_EQ(rec.DurationSecs, 1);
  EXPECT_EQ(rec.OutputFile, d.out + "/Chapter_02_1.mp3");

  // A DVD row that lost its disc's record has no job.
  pcm::ListRow plain;
  plain.caption = "x";
  plain.dvd = pcm::DvdRowData{};
  EXPECT_THROW(app.batch.JobRecordOf(plain), std::exception);
}

// In the DVD variant a DVD row runs with the creep until its first time
// report, a file row by the file step without it; both finish.
TEST(DvdJob, DvdRowAndFileRowInOneBatch) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  DvdApp d("dvdjob-batch");
  pcm::CoreApp& app = *d.app;
  app.profiles.SelectProfile(17);
  ASSERT_TRUE(app.dvd.OpenFolderPath(disc));
  app.list.SetChecked(1, false);
  ASSERT_TRUE(app.listCommands.AddFileEntry(pcmtest::MakeMedia("wav", 2)));
  ASSERT_EQ(app.list.Count(), 3);

  std::vector<std::pair<int, bool>> starts;  // row, creep running at its start
  bool creepSeenOff = false;
  QObject::connect(&app.list, &pcm::ConversionList::rowChanged, [&](int i) {
    if (app.run.converting && app.list.Row(i).state == pcm::EntryState::Converting && i == 0 &&
        !app.progress.CreepRunning())
      creepSeenOff = true;
  });
  app.batch.StartBatch();
  starts.push_back({app.list.currentPosition, app.progress.CreepRunning()});
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return app.list.currentPosition != 0; }, 120000));
  starts.push_back({app.list.currentPosition, app.progress.CreepRunning()});
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
  EXPECT_EQ(starts, (std::vector<std::pair<int, bool>>{{0, true}, {2, false}}));
  EXPECT_TRUE(creepSeenOff);  // the first time report switched it off
  EXPECT_FALSE(app.progress.CreepRunning());
  EXPECT_EQ(pcm::StatusText(app.list.Row(0)), "Finish")
      << (app.list.Row(0).failureLines.empty() ? "" : app.list.Row(0).failureLines[0]);
  EXPECT_EQ(pcm::StatusText(app.list.Row(1)), "Ready");
  EXPECT_EQ(pcm::StatusText(app.list.Row(2)), "Finish");
  EXPECT_NEAR(pcmtest::FfprobeFile(d.out + "/Title_01.mp3").duration, pcmtest::kMainTitleSeconds, 0.5);
  EXPECT_NEAR(pcmtest::FfprobeFile(d.out + "/clip2.mp3").duration, 2, 0.5);
}

// The creep stands still while the batch is paused, so a paused DVD entry's
// progress and the batch's time left do not move; it goes on after Continue.
TEST(DvdJob, ThePausedEntryDoesNotCreep) {
  std::string disc = pcmtest::StandardDvd();
  ASSERT_FALSE(disc.empty());
  DvdApp d("dvdjob-pause");
  pcm::CoreApp& app = *d.app;
  app.profiles.SelectProfile(17);
  ASSERT_TRUE(app.dvd.OpenFolderPath(disc));
  for (int i = 1; i < app.list.Count(); ++i) app.list.SetChecked(i, false);
  app.batch.StartBatch();
  ASSERT_TRUE(app.progress.CreepRunning());
  app.batch.PauseOrContinue();
  ASSERT_TRUE(app.engine.IsPaused());
  // The timer's ticks, without waiting for them.
  const int32_t creep = app.progress.creep, shown = app.list.Row(0).progress;
  for (int i = 0; i < 3; ++i) app.progress.CreepTick();
  EXPECT_EQ(app.progress.creep, creep);
  EXPECT_EQ(app.list.Row(0).progress, shown);
  app.batch.PauseOrContinue();
  ASSERT_FALSE(app.engine.IsPaused());
  app.progress.CreepTick();
  EXPECT_EQ(app.progress.creep, creep + 1);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 120000));
  EXPECT_EQ(pcm::StatusText(app.list.Row(0)), "Finish");
}
