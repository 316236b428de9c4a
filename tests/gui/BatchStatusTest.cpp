// A running batch seen from the window, with the real encoder: the hint line
// tells the place in the batch, says so when the batch is paused (the tray
// tip too), and sums the batch up at its end; with no batch running the
// hint line is left alone.
#include <gtest/gtest.h>

#include <QFile>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>

#include "WindowFixture.h"
#include "gui/BatchStatus.h"

namespace pcmtest {
namespace {

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// Three entries, the second of which loses its file before the batch: the
// first batch is paused on its first entry and continued; it ends with two
// finished and one failed. A second batch over the same rows is stopped on
// its first entry: the "Finish" and "Failed" left from the first batch are
// not counted as done.
TEST(BatchStatus, PlacePauseAndSummaryInTheHintLine) {
  WindowHarness h("popclipmill", MakeTempDir("status-config"));
  pcm::MainWindow& w = h.Open();
  pcm::CoreApp& app = h.app();
  const std::string gone = MakeTempDir("status-in") + "/gone.wav";
  ASSERT_TRUE(QFile::copy(QString::fromStdString(MakeMedia("wav", 3)), QString::fromStdString(gone)));
  h.ui.fileAnswers.push_back({MakeMedia("wav", 20), gone, MakeMedia("mp3", 20)});
  w.ImageButtonClicked("bt_dvdopen");
  ASSERT_EQ(app.list.Count(), 3);
  QFile::remove(QString::fromStdString(gone));
  h.ui.folderAnswers.push_back(MakeTempDir("status-out"));
  w.Click("browse");
  w.Click("profiles");
  w.PicturePointed("btim_20");
  w.PictureClicked("btim_20");

  // No batch: command state refreshes leave the hint line as it is.
  const std::string resting = h.Hint();
  w.UpdateCommandStates();
  EXPECT_EQ(h.Hint(), resting);

  w.ImageButtonClicked("bt_start");
  ASSERT_TRUE(app.run.converting);
  EXPECT_TRUE(StartsWith(h.Hint(), "entry 1 of 3")) << h.Hint();
  // The first entry's job has started; its end is handed over through the
  // event loop, so the pause lands on it.
  w.RunCommandOf(pcm::Command::PauseOrContinue);
  ASSERT_TRUE(app.engine.IsPaused());
  EXPECT_TRUE(StartsWith(h.Hint(), "Paused at entry 1 of 3")) << h.Hint();
  EXPECT_NE(h.Hint().find("Choose Continue"), std::string::npos) << h.Hint();
  // Progress reports and the start-up creep go on arriving while paused;
  // the hint keeps saying so.
  WaitUntil([] { return false; }, 1500);
  EXPECT_TRUE(StartsWith(h.Hint(), "Paused at entry 1 of 3")) << h.Hint();
  w.RunCommandOf(pcm::Command::PauseOrContinue);
  EXPECT_FALSE(app.engine.IsPaused());
  EXPECT_TRUE(StartsWith(h.Hint(), "entry ")) << h.Hint();
  ASSERT_TRUE(WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 180000));
  EXPECT_EQ(StatusText(app.list.Row(1)), "Failed");
  EXPECT_EQ(h.Hint(), "Conversion over: 2 finished, 1 failed, 0 stopped.");
  EXPECT_EQ(w.batchStatus().lastSummary(), h.Hint());

  w.ImageButtonClicked("bt_start");
  ASSERT_TRUE(app.run.converting);
  EXPECT_TRUE(StartsWith(h.Hint(), "entry 1 of 3")) << h.Hint();
  w.RunCommandOf(pcm::Command::StopConvert);
  // The encoder's end, after the batch's, clears the hint line; the summary
  // comes back.
  const std::string stopped = "Conversion over: 0 finished, 0 failed, 1 stopped, 2 not started.";
  EXPECT_EQ(h.Hint(), stopped);
  ASSERT_TRUE(WaitUntil([&] { return !app.engine.Running(); }, 60000));
  EXPECT_TRUE(WaitUntil([&] { return h.Hint() == stopped; }, 10000)) << h.Hint();
  // Hover hints work again once the batch is over.
  w.Hover("clear");
  EXPECT_NE(h.Hint(), stopped);
}

// Two entries at once: the hint names both places and keeps them while
// the entries report (the batch's strip does not wipe it), and the summary
// follows.
TEST(BatchStatus, TwoAtOnceKeepTheirPlacesInTheHintLine) {
  std::string config = MakeTempDir("status-two-config");
  WindowHarness h("popclipmill", config);
  pcm::MainWindow& w = h.Open();
  pcm::CoreApp& app = h.app();
  app.settings.jobs = 2;
  h.ui.fileAnswers.push_back({MakeMedia("wav", 120), MakeMedia("mp3", 120)});
  w.ImageButtonClicked("bt_dvdopen");
  ASSERT_EQ(app.list.Count(), 2);
  w.outputField()->setText(QString::fromStdString(MakeTempDir("status-two-out")));
  // The hint as the window shows it between events, and right after each
  // report has been taken in (the batch status hears of a row first).
  std::vector<std::string> seen;
  auto look = [&] {
    if (app.run.converting) seen.push_back(h.Hint());
  };
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, look);
  QObject::connect(&app.list, &pcm::ConversionList::rowChanged, &sample, look);
  sample.start(5);
  w.ImageButtonClicked("bt_start");
  ASSERT_TRUE(WaitUntil([&] { return !app.run.converting && !app.engine.Running(); }, 180000));
  sample.stop();
  ASSERT_FALSE(seen.empty());
  for (const std::string& hint : seen) EXPECT_TRUE(StartsWith(hint, "entr")) << hint;
  EXPECT_NE(std::find_if(seen.begin(), seen.end(),
                         [](const std::string& t) { return StartsWith(t, "entries 1 and 2 of 2"); }),
            seen.end());
  EXPECT_EQ(h.Hint(), "Conversion over: 2 finished, 0 failed, 0 stopped.");
}

}  // namespace
}  // namespace pcmtest
