// A whole session driven through the window with the real encoder: add three
// real files, pick a profile on the picker, convert, see every row finished,
// close, start again and find the choices restored.
#include <gtest/gtest.h>

#include <QTableView>

#include "WindowFixture.h"
#include "gui/SettingsDialog.h"

namespace pcmtest {
namespace {

TEST(Session, AddPickConvertCloseAndRestart) {
  std::string config = MakeTempDir("session-config");
  std::string out = MakeTempDir("session-out");
  std::string programDir;
  {
    WindowHarness h("popclipmill", config);
    programDir = h.Directory();
    pcm::MainWindow& w = h.Open();
    h.ui.fileAnswers.push_back({MakeMedia("mp3", 2), MakeMedia("wav", 2), MakeMedia("ogg", 2)});
    w.ImageButtonClicked("bt_dvdopen");
    ASSERT_EQ(h.app().list.Count(), 3);
    EXPECT_EQ(w.listView()->model()->rowCount(), 3);
    EXPECT_EQ(w.listView()->model()->index(0, 0).data().toString(), "clip2");

    h.ui.folderAnswers.push_back(out);
    w.Click("browse");

    // WAV from the first audio page.
    w.Click("profiles");
    w.PicturePointed("btim_20");
    w.PictureClicked("btim_20");
    ASSERT_EQ(h.app().profiles.currentProfile, 20);

    // Open the folder when the batch is done.
    w.ImageButtonClicked("bt_set");
    w.settingsDialog()->rg_finish->button(1)->setChecked(true);
    w.settingsDialog()->OkClicked();

    w.ImageButtonClicked("bt_start");
    EXPECT_TRUE(h.app().run.converting);
    EXPECT_TRUE(w.Button("bt_start")->isHidden());
    EXPECT_TRUE(w.Button("Bt_Convertstop")->isEnabled());
    // Closing is refused while the batch runs, and the batch goes on.
    EXPECT_FALSE(w.close());
    ASSERT_TRUE(WaitUntil([&] { return !h.app().run.converting; }, 180000));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(StatusText(h.app().list.Row(i)), "Finish") << i;
      EXPECT_EQ(w.listView()->model()->index(i, 4).data().toString(), "Finish");
      ProbeInfo p = FfprobeFile(h.app().list.Row(i).outputFile);
      EXPECT_TRUE(p.ok) << h.app().list.Row(i).outputFile;
      EXPECT_EQ(p.formatName, "wav");
    }
    EXPECT_FALSE(w.Button("bt_start")->isHidden());
    bool opened = false;
    for (const auto& c : h.system.calls) opened = opened || c.rfind("open-folder", 0) == 0;
    EXPECT_TRUE(opened);
    EXPECT_TRUE(w.close());
  }
  WindowHarness again("popclipmill", config, programDir);
  pcm::MainWindow& w = again.Open();
  EXPECT_EQ(w.outputField()->text().toStdString(), out + "/");
  EXPECT_EQ(again.app().profiles.currentProfile, 20);
  EXPECT_EQ(w.display().Text("profilestext"), "WAV-Waveform Auido(*.wav)");
  EXPECT_EQ(again.app().settings.finishAction, 1);
}

}  // namespace
}  // namespace pcmtest
