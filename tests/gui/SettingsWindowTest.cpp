// What the window keeps between runs and what it does at the end of a
// batch: the finish action chosen in the settings dialog, the current
// profile's choices at exit, output folder names the settings file cannot
// hold, every change on disk at once, and the countdown before a shutdown.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <fstream>

#include "WindowFixture.h"
#include "gui/Dialogs.h"
#include "gui/SettingsDialog.h"
#include "profiles/Ini.h"

namespace pcmtest {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// The saved action is "shut down"; the person picks another one, then
// changes one of the four lists, which refills the dialog. OK must store
// what the person picked, for each list and each other action.
TEST(SettingsWindow, FinishActionChosenInTheDialogSurvivesAListChange) {
  std::string config = MakeTempDir("finish-config");
  WriteText(config + "/popclipmill.ini", "[profiles]\nselcetsubindex=7\nFinishSelcet=2\n");
  WindowHarness h("popclipmill", config);
  pcm::MainWindow& w = h.Open();
  pcm::SettingsDialog* d = w.settingsDialog();
  QComboBox* lists[] = {d->cb_size, d->cb_videobitrate, d->cb_audiobitrate, d->cb_channel};
  for (QComboBox* list : lists) {
    for (int action : {0, 1}) {
      SCOPED_TRACE(list->objectName().toStdString() + " " + std::to_string(action));
      h.app().settings.finishAction = pcm::kFinishShutdown;
      ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
      ASSERT_TRUE(d->rg_finish->button(2)->isChecked());
      d->rg_finish->button(action)->setChecked(true);
      ASSERT_GT(list->count(), 1);
      list->setCurrentIndex(list->currentIndex() == 0 ? 1 : 0);
      EXPECT_TRUE(d->rg_finish->button(action)->isChecked());
      d->OkClicked();
      EXPECT_EQ(h.app().settings.finishAction, action);
    }
  }
  // What OK stored is what the next start reads.
  EXPECT_TRUE(w.close());
  WindowHarness again("popclipmill", config, h.Directory());
  again.Open();
  EXPECT_EQ(again.app().settings.finishAction, 1);
}

// Simultaneous conversions: one at a time unless the person asks; Cancel
// keeps what was stored, OK stores the choice and the next start reads it
// back. A stored number the list lacks keeps its own item; one out of range
// or not a number reads as one at a time.
TEST(SettingsWindow, SimultaneousConversionsAreSavedAndReadBack) {
  std::string config = MakeTempDir("jobs-config");
  std::string programDir;
  {
    WindowHarness h("popclipmill", config);
    programDir = h.Directory();
    pcm::MainWindow& w = h.Open();
    pcm::SettingsDialog* d = w.settingsDialog();
    EXPECT_EQ(h.app().settings.jobs, 1);
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    EXPECT_EQ(d->cb_jobs->currentData().toInt(), 1);
    d->cb_jobs->setCurrentIndex(d->cb_jobs->findData(0));
    d->CancelClicked();
    EXPECT_EQ(h.app().settings.jobs, 1);
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    EXPECT_EQ(d->cb_jobs->currentData().toInt(), 1);
    d->cb_jobs->setCurrentIndex(d->cb_jobs->findData(3));
    d->OkClicked();
    EXPECT_EQ(h.app().settings.jobs, 3);
    EXPECT_EQ(h.app().settings.JobCount(), 3);
    EXPECT_TRUE(w.close());
  }
  {
    WindowHarness again("popclipmill", config, programDir);
    pcm::MainWindow& w = again.Open();
    EXPECT_EQ(again.app().settings.jobs, 3);
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    EXPECT_EQ(w.settingsDialog()->cb_jobs->currentText(), "3");
    // One per processor is stored as 0 and counts at least one.
    w.settingsDialog()->cb_jobs->setCurrentIndex(0);
    w.settingsDialog()->OkClicked();
    EXPECT_EQ(again.app().settings.jobs, 0);
    EXPECT_GE(again.app().settings.JobCount(), 1);
    EXPECT_TRUE(w.close());
  }
  const std::string saved = ReadAll(config + "/popclipmill.ini");
  EXPECT_NE(saved.find("[batch]"), std::string::npos) << saved;
  EXPECT_NE(saved.find("jobs = 0"), std::string::npos) << saved;
  for (const char* stored : {"40", "-2", "65", "x", "99999999999"}) {
    SCOPED_TRACE(stored);
    WriteText(config + "/popclipmill.ini", std::string("[batch]\njobs=") + stored + "\n");
    WindowHarness h("popclipmill", config, programDir);
    pcm::MainWindow& w = h.Open();
    const int expected = std::string(stored) == "40" ? 40 : 1;
    EXPECT_EQ(h.app().settings.jobs, expected);
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    EXPECT_EQ(w.settingsDialog()->cb_jobs->currentData().toInt(), expected);
    w.settingsDialog()->CancelClicked();
  }
}

// Every setting changed in a session is on disk at once: a program killed
// before it closes (kill -9) loses none. The first window is never closed
// until the second, started on the same files, has read them; at its close
// the choices of the profile in use are saved again.
TEST(SettingsWindow, ChangesAreOnDiskBeforeTheWindowCloses) {
  std::string config = MakeTempDir("kill-config");
  WriteText(config + "/popclipmill.ini", "[profiles]\nselcetsubindex=7\n");
  const std::string typed = MakeTempDir("kill-typed");
  std::string programDir;
  {
    WindowHarness h("popclipmill", config);
    programDir = h.Directory();
    pcm::MainWindow& w = h.Open();
    ASSERT_EQ(h.app().profiles.currentProfile, 7);
    const std::string before = ReadAll(config + "/popclipmill.ini");
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    pcm::SettingsDialog* d = w.settingsDialog();
    ASSERT_GT(d->cb_size->count(), 3);
    d->cb_size->setCurrentIndex(3);
    d->cb_videobitrate->setCurrentIndex(4);
    d->cb_channel->setCurrentIndex(0);
    // Cancel keeps the lists (they are the settings) but not the action.
    d->rg_finish->button(1)->setChecked(true);
    d->CancelClicked();
    EXPECT_EQ(ReadAll(config + "/popclipmill.ini"), before) << "nothing of the settings file changed";
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    d->rg_finish->button(1)->setChecked(true);
    d->cb_jobs->setCurrentIndex(d->cb_jobs->findData(2));
    d->OkClicked();
    // A profile clicked in the picker; a category pointed at; the second
    // video page turned to.
    w.Click("categories");
    w.PicturePointed("img_gvideo1");
    w.PictureClicked("Image94");
    w.PicturePointed("img_xbox");
    w.Click("profiles");
    w.PictureClicked("btim_18");
    ASSERT_EQ(h.app().profiles.currentProfile, 18);
    // A folder typed into the field counts when the editing ends; a
    // relative one names a folder below the home folder, shown in full.
    w.outputField()->setText("relative/out");
    PressKey(w.outputField(), Qt::Key_Return);
    const std::string below = QDir::homePath().toStdString() + "/relative/out";
    EXPECT_EQ(w.outputField()->text().toStdString(), below);
    EXPECT_EQ(pcm::IniFile(config + "/popclipmill.ini").GetString("output", "path", ""), below + "/");
    w.outputField()->setText(QString::fromStdString(typed));
    EXPECT_NE(h.app().settings.outputDirectory, typed + "/") << "not at every key";
    PressKey(w.outputField(), Qt::Key_Return);
    EXPECT_EQ(h.app().settings.outputDirectory, typed + "/");

    WindowHarness again("popclipmill", config, programDir);
    again.Open();
    pcm::CoreApp& a = again.app();
    EXPECT_EQ(a.profiles.currentProfile, 18);
    EXPECT_EQ(a.settings.finishAction, pcm::kFinishOpenFolder);
    EXPECT_EQ(a.settings.jobs, 2);
    EXPECT_EQ(a.settings.highlightedCategory, 8);
    EXPECT_FALSE(a.settings.videoPageFlag);
    EXPECT_EQ(a.settings.outputDirectory, typed + "/");
    EXPECT_EQ(a.settings.outputField, typed + "/");
    // The choices of profile 7, made while it was in use.
    a.profiles.SelectProfile(7);
    EXPECT_EQ(a.profiles.cb_size.selected, 3);
    EXPECT_EQ(a.profiles.cb_videobitrate.selected, 4);
    EXPECT_EQ(a.profiles.cb_channel.selected, 0);
    again.window.reset();

    // Back to 7; its choices changed once more are saved at the close too.
    w.Click("categories");
    w.PicturePointed("img_gvideo1");
    w.PictureClicked("btim_7");
    ASSERT_EQ(h.app().profiles.currentProfile, 7);
    ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
    d->cb_size->setCurrentIndex(2);
    d->OkClicked();
    EXPECT_TRUE(w.close());
  }
  WindowHarness again("popclipmill", config, programDir);
  pcm::MainWindow& w = again.Open();
  EXPECT_EQ(again.app().profiles.currentProfile, 7);
  EXPECT_EQ(again.app().profiles.cb_size.selected, 2);
  EXPECT_EQ(again.app().profiles.cb_videobitrate.selected, 4);
  EXPECT_EQ(again.app().profiles.cb_channel.selected, 0);
  ASSERT_TRUE(w.TriggerMenuItem("zm_pop_tools", "Settings"));
  EXPECT_EQ(w.settingsDialog()->cb_size->currentIndex(), 2);
}

// Neither the folder chooser nor the output field can bring a name with a
// line break into the settings, where it would read back as further
// settings (here: shut down after converting).
TEST(SettingsWindow, OutputFolderWithAControlCharacterIsRefused) {
  std::string config = MakeTempDir("folder-config");
  std::string bad = MakeTempDir("folder-out") + "/x\n[profiles]\nFinishSelcet=2";
  WindowHarness h("popclipmill", config);
  pcm::MainWindow& w = h.Open();
  std::string before = w.outputField()->text().toStdString();
  h.ui.folderAnswers.push_back(bad);
  w.Click("browse");
  EXPECT_EQ(h.LastBox().rfind("error: The folder name", 0), 0u) << h.LastBox();
  EXPECT_EQ(w.outputField()->text().toStdString(), before);
  EXPECT_EQ(h.app().settings.outputDirectory, before);

  AddRow(h.app(), "song");
  w.outputField()->setText(QString::fromStdString(bad));
  size_t boxes = h.ui.boxes.size();
  w.ImageButtonClicked("bt_start");
  EXPECT_FALSE(h.app().run.converting);
  ASSERT_EQ(h.ui.boxes.size(), boxes + 1);
  EXPECT_EQ(h.LastBox().rfind("error: The folder name", 0), 0u) << h.LastBox();

  EXPECT_TRUE(w.close());
  EXPECT_EQ(ReadAll(config + "/popclipmill.ini").find("FinishSelcet=2"), std::string::npos);
  WindowHarness again("popclipmill", config, h.Directory());
  again.Open();
  EXPECT_EQ(again.app().settings.finishAction, 0);
  EXPECT_EQ(again.app().settings.outputDirectory, before);
}

// The machine is never really shut down here: the window's actions end in
// the harness's recording actions, which only note the request.
TEST(ShutdownCountdown, CancelMeansNoPowerOffNowAndTheEndPowerOffOnce) {
  WindowHarness h;
  pcm::MainWindow& w = h.Open();
  // A real batch whose finish action is to shut down.
  h.ui.fileAnswers.push_back({MakeMedia("mp3", 1)});
  w.ImageButtonClicked("bt_dvdopen");
  ASSERT_EQ(h.app().list.Count(), 1);
  w.outputField()->setText(QString::fromStdString(MakeTempDir("countdown-out")));
  h.app().settings.finishAction = pcm::kFinishShutdown;
  w.ImageButtonClicked("bt_start");
  ASSERT_TRUE(WaitUntil([&] { return !h.app().run.converting; }, 120000));
  EXPECT_EQ(StatusText(h.app().list.Row(0)), "Finish");
  pcm::ShutdownDialog* d = w.windowSystem().countdownDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(d->countdown().SecondsLeft(), 60);
  EXPECT_EQ(d->findChild<QLabel*>("lb_heading")->text(), "All conversions are finished.");
  EXPECT_EQ(d->findChild<QLabel*>("lb_countdown")->text(), "The computer shuts down in 60 seconds.");
  EXPECT_TRUE(d->cancelButton()->isDefault());  // Enter does not power off
  EXPECT_TRUE(h.system.calls.empty());
  // A second request while counting does not start a second countdown.
  h.app().system().Shutdown();
  EXPECT_EQ(w.windowSystem().countdownDialog(), d);
  for (int i = 0; i < 59; ++i) d->Tick();
  EXPECT_EQ(d->findChild<QLabel*>("lb_countdown")->text(), "The computer shuts down in 1 second.");
  d->cancelButton()->click();
  EXPECT_FALSE(d->isVisible());
  d->Tick();
  d->nowButton()->click();
  EXPECT_TRUE(h.system.calls.empty());

  // "Shut down now" powers off at once, and only once.
  h.app().system().Shutdown();
  d = w.windowSystem().countdownDialog();
  ASSERT_TRUE(d->isVisible());
  d->nowButton()->click();
  EXPECT_EQ(h.system.calls, std::vector<std::string>{"shutdown"});
  EXPECT_FALSE(d->isVisible());
  d->Tick();
  d->nowButton()->click();
  EXPECT_EQ(h.system.calls.size(), 1u);

  // The end of a (shortened) count powers off once; the dialog's own timer
  // drives it.
  h.system.calls.clear();
  w.windowSystem().countdownSeconds = 2;
  h.app().system().Shutdown();
  d = w.windowSystem().countdownDialog();
  EXPECT_EQ(d->countdown().SecondsLeft(), 2);
  ASSERT_TRUE(WaitUntil([&] { return !h.system.calls.empty(); }, 20000));
  EXPECT_EQ(h.system.calls, std::vector<std::string>{"shutdown"});
  EXPECT_FALSE(d->isVisible());
  d->Tick();
  EXPECT_EQ(h.system.calls.size(), 1u);

  // Closing the countdown window is a cancel as well.
  h.system.calls.clear();
  h.app().system().Shutdown();
  d = w.windowSystem().countdownDialog();
  d->close();
  d->Tick();
  d->Tick();
  EXPECT_TRUE(h.system.calls.empty());
  // Other actions go straight through.
  h.app().system().OpenFolder("/srv/out/");
  EXPECT_EQ(h.system.calls, std::vector<std::string>{"open-folder /srv/out/"});
}

TEST(ShutdownCountdown, ZeroOrNegativeLengthPowersOffAtTheFirstTick) {
  for (int seconds : {0, -5}) {
    int powerOffs = 0;
    pcm::ShutdownCountdown c([&] { ++powerOffs; }, seconds);
    EXPECT_TRUE(c.Pending());
    EXPECT_EQ(powerOffs, 0);  // never without a tick or "now"
    EXPECT_FALSE(c.Tick());
    c.Now();
    c.Tick();
    EXPECT_EQ(powerOffs, 1) << seconds;
  }
}

}  // namespace
}  // namespace pcmtest
