// The profile picker driven through the window, and the product record.
#include <gtest/gtest.h>

#include <fstream>

#include "WindowFixture.h"
#include "gui/GuiServices.h"
#include "gui/ProfilePicker.h"
#include "profiles/Catalog.h"
#include "profiles/ProductInfo.h"

namespace pcmtest {
namespace {

bool Lit(pcm::MainWindow& w, int n) {
  std::string p = w.display().Picture("btim_" + std::to_string(n));
  return p.find("sub/move/" + std::to_string(n) + ".bmp") != std::string::npos;
}

TEST(Picker, SubPanelKeepsItsParentLit) {
  WindowHarness h;
  pcm::MainWindow& w = h.Open();
  w.Click("categories");
  w.PicturePointed("img_gvideo1");
  ASSERT_TRUE(w.pickerWidgets().Visible("pl_video1"));
  w.PicturePointed("btim_2");
  EXPECT_TRUE(Lit(w, 2));
  EXPECT_TRUE(w.pickerWidgets().Visible("pl_avi"));
  EXPECT_EQ(w.pickerWidgets().Geometry("pl_avi").left, w.pickerWidgets().Geometry("pl_video1").left + 170);
  w.PicturePointed("btim_104");
  EXPECT_TRUE(Lit(w, 2));
  EXPECT_TRUE(Lit(w, 104));
  EXPECT_TRUE(w.pickerWidgets().Visible("pl_avi"));
  // Back onto 2 from its own sub-panel: the sub-panel stays open, 104 goes
  // out.
  w.PicturePointed("btim_2");
  EXPECT_TRUE(w.pickerWidgets().Visible("pl_avi"));
  EXPECT_TRUE(Lit(w, 2));
  EXPECT_FALSE(Lit(w, 104));
  w.PicturePointed("btim_104");
  // Back to 3: 2 goes out, its sub-panel closes, 3's opens.
  w.PicturePointed("btim_3");
  EXPECT_FALSE(Lit(w, 2));
  EXPECT_TRUE(Lit(w, 3));
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_avi"));
  EXPECT_TRUE(w.pickerWidgets().Visible("pl_mpeg"));
  // The backdrop picture counts as button 109.
  w.PicturePointed("btim_112");
  w.PicturePointed("Image13");
  EXPECT_TRUE(Lit(w, 109));
  EXPECT_FALSE(Lit(w, 112));
}

TEST(Picker, PointingTwiceLoadsOnceAndClickingSelects) {
  WindowHarness h;
  pcm::MainWindow& w = h.Open();
  w.Click("profiles");
  ASSERT_TRUE(w.pickerWidgets().Visible("pl_audio1"));
  EXPECT_EQ(w.pickerWidgets().Geometry("pl_audio1").left, 94);
  w.PicturePointed("btim_18");
  int loads = w.display().Loads("btim_18");
  w.PicturePointed("btim_18");
  EXPECT_EQ(w.display().Loads("btim_18"), loads);
  // Pointing does not change what gets converted; clicking does.
  EXPECT_EQ(h.app().profiles.currentProfile, 17);
  w.PictureClicked("btim_18");
  EXPECT_EQ(h.app().profiles.currentProfile, 18);
  for (const std::string& p : pcm::PickerState::Panels()) EXPECT_FALSE(w.pickerWidgets().Visible(p)) << p;
  w.Click("profiles");
  w.PicturePointed("btim_17");
  w.PictureClicked("btim_17");
  EXPECT_EQ(h.app().profiles.currentProfile, 17);
  EXPECT_EQ(w.display().Text("profilestext"), "MP3-MPEG Layer-3Audio(*.mp3)");
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_audio1"));
  // A foot applies nothing.
  w.Click("profiles");
  w.PictureClicked("btim_26");
  EXPECT_EQ(h.app().profiles.currentProfile, 17);
  // A press anywhere on the skin closes the panels.
  w.Click("profiles");
  w.Press("hint", {1, 1});
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_audio1"));
}

TEST(Picker, PagesAndAudioNames) {
  {
    WindowHarness h;
    pcm::MainWindow& w = h.Open();
    w.Click("profiles");
    w.PictureClicked("Image2");
    EXPECT_TRUE(w.pickerWidgets().Visible("pl_audio2"));
    EXPECT_FALSE(w.pickerWidgets().Visible("pl_audio1"));
    EXPECT_TRUE(h.app().settings.audioPageFlag);
    w.PictureClicked("Image5");
    EXPECT_TRUE(w.pickerWidgets().Visible("pl_audio1"));
    EXPECT_EQ(w.pickerWidgets().Geometry("pl_audio1").left, 94);
    // Video pages flip the flag that the settings keep.
    w.Click("categories");
    w.PicturePointed("img_gvideo1");
    w.PictureClicked("Image94");
    EXPECT_FALSE(h.app().settings.videoPageFlag);
    EXPECT_TRUE(w.pickerWidgets().Visible("pl_video2"));
    w.PicturePointed("img_ipod");
    EXPECT_TRUE(w.pickerWidgets().Visible("pl_ipod"));
    EXPECT_FALSE(w.pickerWidgets().Visible("pl_video2"));
    EXPECT_EQ(h.app().settings.highlightedCategory, 3);
    w.PicturePointed("img_gvideo1");
    EXPECT_TRUE(w.pickerWidgets().Visible("pl_video2")) << "the second page opens while the flag says so";
    w.PictureClicked("Image93");
    EXPECT_TRUE(h.app().settings.videoPageFlag);
  }
  {
    WindowHarness h("mp3conv.exe");
    pcm::MainWindow& w = h.Open();
    w.Click("profiles");
    w.PictureClicked("Image2");
    w.PictureClicked("Image5");
    EXPECT_EQ(w.pickerWidgets().Geometry("pl_audio1").left, 53);
    EXPECT_TRUE(w.pickerWidgets().Visible("pl_audio1"));
  }
}

// Every button of every panel, reached as a person reaches it (the category
// pointed at, the page turned, the parent pointed at), in the two layouts
// whose places differ most (the others place the panels like one of them):
// what its face names is what a click does. A profile's name applies that
// profile; a family's name keeps the sub-panel open whose profiles are all
// of that family; a blank face changes nothing.
TEST(Picker, EveryButtonOpensOrSelectsWhatItNames) {
  for (const char* name : {"popclipmill", "quorvclip-dvd"}) {
    SCOPED_TRACE(name);
    WindowHarness h(name);
    pcm::MainWindow& w = h.Open();
    pcm::ProfilePicker& p = w.pickerWidgets();
    auto open = [&](int n) {
      const pcm::ProfileRecord* r = pcm::ProfileInfo(n);
      int parent = 0;
      for (int k = 2; k <= 5; ++k)
        if (r->panel == std::string(pcm::PickerState::SubPanelOf(k))) parent = k;
      const int category = r->category;
      w.Click("categories");
      // Another category first, so pointing at this one opens its panel.
      w.PicturePointed(category == 3 ? "img_iphone" : "img_ipod");
      w.PicturePointed(category == 1 ? QString("img_gvideo1")
                                     : QString(pcm::PickerState::CategoryPicture(category)).chopped(4));
      const QString panel = r->panel;
      if (panel == "pl_video2" && !p.Visible("pl_video2")) w.PictureClicked("Image94");
      if (parent || (panel == "pl_video1" && !p.Visible("pl_video1"))) w.PictureClicked("Image93");
      if (panel == "pl_audio2") w.PictureClicked("Image2");
      if (panel == "pl_audio1" && !p.Visible("pl_audio1")) w.PictureClicked("Image5");
      if (parent) w.PicturePointed(QString("btim_%1").arg(parent));
      return panel;
    };
    for (int n = 1; n <= pcm::kProfileCount; ++n) {
      SCOPED_TRACE(n);
      const QString panel = open(n);
      const QString button = QString("btim_%1").arg(n);
      ASSERT_TRUE(p.Visible(panel.toStdString()));
      ASSERT_TRUE(p.Picture(button)->isVisible());
      const int before = h.app().profiles.currentProfile;
      w.PicturePointed(button);
      w.PictureClicked(button);
      const std::string caption = pcm::PickerState::ButtonCaption(n);
      if (const char* sub = pcm::PickerState::SubPanelOf(n)) {
        EXPECT_EQ(h.app().profiles.currentProfile, before);
        ASSERT_TRUE(p.Visible(sub));
        // Each profile on the sub-panel is of the family named: its badge
        // and its extension.
        const std::string badge = caption.substr(0, caption.find('-'));
        const std::string exts = caption.substr(caption.find('('));
        int shown = 0;
        for (int m = 1; m <= pcm::kProfileCount; ++m) {
          if (pcm::PickerState::ParentOf(m) != n || !pcm::PickerState::Selectable(m)) continue;
          ++shown;
          const std::string other = pcm::ProfileInfo(m)->displayName;
          EXPECT_NE(other.find(badge), std::string::npos) << other;
          EXPECT_NE(exts.find(QString::fromStdString(pcm::ExtensionOfName(other)).toLower().toStdString()),
                    std::string::npos)
              << other;
        }
        EXPECT_GE(shown, 5);
      } else if (!caption.empty()) {
        EXPECT_EQ(h.app().profiles.currentProfile, n);
        EXPECT_EQ(w.display().Text("profilestext"), caption);
        EXPECT_FALSE(p.Visible(panel.toStdString()));
      } else {
        EXPECT_EQ(h.app().profiles.currentProfile, before);
      }
    }
    // The audio page that "profiles" opens holds the same buttons.
    for (int n = 15; n <= 25; ++n) {
      w.Click("profiles");
      if (n >= 22) w.PictureClicked("Image2");
      ASSERT_TRUE(p.Picture(QString("btim_%1").arg(n))->isVisible()) << n;
      w.PictureClicked(QString("btim_%1").arg(n));
      EXPECT_EQ(h.app().profiles.currentProfile, n);
    }
  }
}

TEST(Picker, ProfilesRefusedWhileConverting) {
  WindowHarness h;
  pcm::MainWindow& w = h.Open();
  h.app().run.converting = true;
  w.Click("profiles");
  EXPECT_EQ(h.ui.boxes.back().kind, "warning");
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_audio1"));
  size_t boxes = h.ui.boxes.size();
  w.PictureClicked("im_mainico");
  EXPECT_EQ(h.ui.boxes.size(), boxes + 1);
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_audio1"));
  w.Click("categories");
  EXPECT_FALSE(w.pickerWidgets().Visible("pl_main"));
}

TEST(ProductRecords, FindByKeyAndSurviveBadFiles) {
  std::string dir = MakeTempDir("softinfo");
  std::string path = dir + "/softinfo.dat";
  {
    std::ofstream out(path, std::ios::binary);
    out << pcm::MakeProductRecord("other", "x", "http://other/", "http://other/help")
        << pcm::MakeProductRecord("clip", "unused", "http://clip/", "http://clip/support");
    // A torn record at the end is not read.
    out << std::string(100, '\x05');
  }
  auto r = pcm::ReadProductRecord(path, "clip");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->webAddress, "http://clip/");
  EXPECT_EQ(r->supportAddress, "http://clip/support");
  EXPECT_FALSE(pcm::ReadProductRecord(path, "clipx"));
  EXPECT_FALSE(pcm::ReadProductRecord(dir + "/missing.dat", "clip"));
  // A length byte beyond its field is cut to the field, not read past it.
  std::string rec = pcm::MakeProductRecord("k", "", std::string(150, 'w'), "s");
  ASSERT_EQ(rec.size(), size_t(pcm::kProductRecordSize));
  rec[31 + 151] = char(255);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << rec;
  }
  r = pcm::ReadProductRecord(path, "k");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->webAddress, std::string(150, 'w'));
  EXPECT_EQ(r->supportAddress, "s");
  // The shipped file has both programs.
  EXPECT_TRUE(pcm::ReadProductRecord(BinDir() + "/softinfo.dat", "popclipmill"));
  EXPECT_TRUE(pcm::ReadProductRecord(BinDir() + "/softinfo.dat", "popclipmill-dvd"));
}

}  // namespace
}  // namespace pcmtest
