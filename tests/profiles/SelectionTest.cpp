// Profile selection: the splitting rule, the list rules, the per-profile
// choices file and what a bad "profiles.pop" does.
#include <gtest/gtest.h>

#include <fstream>

#include "ProfileTestBed.h"
#include "profiles/Ini.h"

using namespace pcmtest;
using pcm::ChoiceKey;
using Items = std::vector<std::string>;

TEST(SplitBlankList, CutsAtBlanksAndStopsAtAnEmptyPiece) {
  EXPECT_EQ(pcm::SplitBlankList("320x240 640x480"), (Items{"320x240", "640x480"}));
  EXPECT_EQ(pcm::SplitBlankList("320x240 640x480 "), (Items{"320x240", "640x480"}));
  EXPECT_EQ(pcm::SplitBlankList("a b c"), (Items{"a", "b"}));
  EXPECT_EQ(pcm::SplitBlankList("*"), Items{});
  EXPECT_EQ(pcm::SplitBlankList(""), Items{});
  EXPECT_EQ(pcm::SplitBlankList(" 300 400"), Items{});
  EXPECT_EQ(pcm::SplitBlankList("300  400 500"), Items{"300"});
  EXPECT_EQ(pcm::SplitBlankList("320x240(4:3) 640x480"), (Items{"320x240(4:3)", "640x480"}));
}

TEST(SizeList, SourceEntryOnlyForComputedProfilesWithSeveralSizesAndNotMp4) {
  ProfileTestBed bed("popclipmill", {{1, {"320x240 640x480", "1 2 3 4 5", ""}},
                                     {118, {"320x240 640x480", "1 2 3 4 5", ""}},
                                     {6, {"320x240", "1 2 3 4 5", ""}},
                                     {10, {"", "1 2 3 4 5", ""}},
                                     {112, {"352x288 999x1", "", ""}}});
  auto& p = bed.profiles();
  p.SelectProfile(1);
  EXPECT_EQ(p.cb_size.items, (Items{"320x240", "640x480", pcm::kOriginalSize}));
  p.SelectProfile(118);
  EXPECT_EQ(p.cb_size.items, (Items{"320x240", "640x480"}));
  p.SelectProfile(6);
  EXPECT_EQ(p.cb_size.items, Items{"320x240"});
  p.SelectProfile(10);
  EXPECT_EQ(p.cb_size.items, Items{pcm::kNoVideo});
  p.FillSizeList("");
  EXPECT_EQ(p.cb_size.SelectedText(), pcm::kNoVideo);
  p.SelectProfile(112);
  EXPECT_EQ(p.cb_size.items, (Items{"PAL", "NTSC"}));
  EXPECT_EQ(p.cb_size.SelectedText(), "PAL");
  EXPECT_TRUE(p.cb_size.enabled);
  EXPECT_FALSE(p.cb_videobitrate.enabled);
  EXPECT_FALSE(p.cb_audiobitrate.enabled);
  EXPECT_FALSE(p.cb_channel.enabled);
}

TEST(RateLine, StoredReversedAndOnlyWhenTheLineSplits) {
  ProfileTestBed bed("popclipmill", {{27, {"320x240", "300 400 500 600 700", ""}},
                                     {28, {"320x240", " 1 2 3 4 5", ""}},
                                     {29, {"320x240 640x480", "*", ""}},
                                     {30, {"320x240", "11 22 33", ""}}});
  auto& p = bed.profiles();
  p.SelectProfile(27);
  EXPECT_EQ(p.rateSteps, (std::array<std::string, 5>{"700", "600", "500", "400", "300"}));
  // A leading blank stores nothing; "*" with two sizes is no audio profile.
  p.SelectProfile(28);
  EXPECT_EQ(p.RateStep(0), "700");
  p.SelectProfile(29);
  EXPECT_EQ(p.RateStep(0), "700");
  EXPECT_TRUE(p.cb_videobitrate.enabled);
  EXPECT_EQ(p.cb_videobitrate.items.size(), 5u);
  // Fewer than five keep the higher steps.
  p.SelectProfile(30);
  EXPECT_EQ(p.rateSteps, (std::array<std::string, 5>{"700", "600", "33", "22", "11"}));
  EXPECT_EQ(p.RateStep(5), "");
}

TEST(Selection, AudioProfile17) {
  ProfileTestBed bed;
  auto& p = bed.profiles();
  p.SelectProfile(17);
  EXPECT_EQ(p.cb_size.items, Items{pcm::kNoVideo});
  EXPECT_FALSE(p.cb_size.enabled);
  Items video(std::begin(pcm::kQualitySteps), std::end(pcm::kQualitySteps));
  video.push_back(pcm::kNoVideo);
  EXPECT_EQ(p.cb_videobitrate.items, video);
  EXPECT_EQ(p.cb_videobitrate.selected, 5);
  EXPECT_FALSE(p.cb_videobitrate.enabled);
  EXPECT_EQ(p.RateStep(0), "*");
  EXPECT_EQ(p.cb_audiobitrate.selected, 2);
  EXPECT_EQ(p.cb_channel.selected, 1);
  EXPECT_EQ(p.ProfileOptions().Text(), " -vn -opt17");
  EXPECT_EQ(p.currentProfile, 17);
  EXPECT_EQ(p.lastSelected, 17);
  EXPECT_EQ(bed.app->display().Text("profilestext"), "MP3-MPEG Layer-3Audio(*.mp3)");
  EXPECT_EQ(bed.app->display().Picture("im_mainico"), bed.dir + "/images/main/2.bmp");
}

TEST(Selection, FileModeAndDvdModeDefaults) {
  ProfileTestBed file("popclipmill");
  file.profiles().SelectProfile(1);
  EXPECT_EQ(file.profiles().cb_videobitrate.SelectedText(), pcm::kOriginalVideo);
  EXPECT_EQ(file.profiles().cb_audiobitrate.SelectedText(), pcm::kOriginalAudio);
  EXPECT_EQ(file.profiles().cb_size.selected, 0);

  ProfileTestBed dvd("popclipmill-dvd");
  dvd.profiles().SelectProfile(1);
  EXPECT_EQ(dvd.profiles().cb_videobitrate.items.size(), 5u);
  EXPECT_EQ(dvd.profiles().cb_videobitrate.SelectedText(), "Normal");
  EXPECT_EQ(dvd.profiles().cb_audiobitrate.SelectedText(), "Normal");

  // Profile 4 (".mp4") offers no source entry, yet defaults to index 5.
  file.profiles().SelectProfile(4);
  EXPECT_EQ(file.profiles().cb_videobitrate.selected, -1);
  EXPECT_EQ(file.profiles().cb_audiobitrate.selected, -1);
  // Profile 123 (".MP4") is not ".mp4": it offers both quality entries.
  file.profiles().SelectProfile(123);
  EXPECT_EQ(file.profiles().cb_videobitrate.items.back(), pcm::kOriginalVideo);
  EXPECT_EQ(file.profiles().cb_audiobitrate.items.back(), pcm::kOriginalAudio);
  file.profiles().SelectProfile(122);
  EXPECT_EQ(file.profiles().cb_videobitrate.items.size(), 5u);
}

TEST(Selection, DefaultsTableSpotChecks) {
  EXPECT_EQ(pcm::DefaultChoice(4, ChoiceKey::Size, false), 5);
  EXPECT_EQ(pcm::DefaultChoice(4, ChoiceKey::Size, true), 2);
  EXPECT_EQ(pcm::DefaultChoice(7, ChoiceKey::Size, false), 1);
  EXPECT_EQ(pcm::DefaultChoice(111, ChoiceKey::Size, false), 2);
  EXPECT_EQ(pcm::DefaultChoice(131, ChoiceKey::Size, false), 4);
  EXPECT_EQ(pcm::DefaultChoice(89, ChoiceKey::Size, false), 1);
  EXPECT_EQ(pcm::DefaultChoice(97, ChoiceKey::Size, false), 2);
  EXPECT_EQ(pcm::DefaultChoice(116, ChoiceKey::Video, false), 2);
  EXPECT_EQ(pcm::DefaultChoice(113, ChoiceKey::Audio, false), 5);
  EXPECT_EQ(pcm::DefaultChoice(113, ChoiceKey::Audio, true), 2);
  EXPECT_EQ(pcm::ChoiceKeysOf(72), pcm::ChoiceKeys::All);
  EXPECT_EQ(pcm::ChoiceKeysOf(71), pcm::ChoiceKeys::AudioOnly);
  EXPECT_EQ(pcm::ChoiceKeysOf(98), pcm::ChoiceKeys::None);
  EXPECT_EQ(pcm::ChoiceKeysOf(0), pcm::ChoiceKeys::None);
}

TEST(Choices, LeavingAProfileSavesItsSectionBeforeTheNextIsRestored) {
  ProfileTestBed bed;
  auto& p = bed.profiles();
  p.SelectProfile(8);
  p.SetSelected(p.cb_size, 3);
  p.SetSelected(p.cb_videobitrate, 4);
  p.SetSelected(p.cb_audiobitrate, 0);
  p.SetSelected(p.cb_channel, 0);
  p.SelectProfile(7);
  pcm::IniFile ini(bed.app->settings.ChoicesPath());
  EXPECT_EQ(ini.GetInt("8", "size", -9), 3);
  EXPECT_EQ(ini.GetInt("8", "VIDEO BITRATE", -9), 4);
  EXPECT_EQ(ini.GetInt("8", "audio bitrate", -9), 0);
  EXPECT_EQ(ini.GetInt("8", "channel", -9), 0);
  EXPECT_EQ(ini.GetInt("7", "size", -9), -9);  // 7's own are written only when it is left
  EXPECT_EQ(p.cb_size.selected, 1);            // 7's defaults
  p.SelectProfile(8);
  EXPECT_EQ(p.cb_size.selected, 3);
  EXPECT_EQ(p.cb_videobitrate.selected, 4);
  EXPECT_EQ(p.cb_audiobitrate.selected, 0);
  EXPECT_EQ(p.cb_channel.selected, 0);
  EXPECT_EQ(ini.GetInt("7", "size", -9), -9);
  EXPECT_EQ(pcm::IniFile(bed.app->settings.ChoicesPath()).GetInt("7", "size", -9), 1);
}

TEST(Choices, AudioProfilesAndFeetKeepOnlyTheirKeys) {
  ProfileTestBed bed;
  auto& p = bed.profiles();
  p.SelectProfile(17);
  p.SetSelected(p.cb_audiobitrate, 4);
  p.SelectProfile(26);  // a foot: nothing restored
  p.SetSelected(p.cb_audiobitrate, 1);
  p.SelectProfile(17);  // leaving the foot writes nothing
  EXPECT_EQ(p.cb_audiobitrate.selected, 4);
  pcm::IniFile ini(bed.app->settings.ChoicesPath());
  std::string value;
  EXPECT_FALSE(ini.Get("17", "size", value));
  EXPECT_FALSE(ini.Get("17", "video bitrate", value));
  EXPECT_FALSE(ini.Get("26", "audio bitrate", value));
}

TEST(Choices, MissingBadOrOutOfRangeKeysReadAsDefaultsOrNoSelection) {
  ProfileTestBed bed;
  WriteFile(bed.app->settings.ChoicesPath(),
            "[7]\nsize=abc\nvideo bitrate=\naudio bitrate=9\nChannel=0x1\n"
            "[9]\nSIZE=-1\nvideo bitrate= 3 \n");
  auto& p = bed.profiles();
  p.SelectProfile(7);
  EXPECT_EQ(p.cb_size.selected, 1);           // not a number: default
  EXPECT_EQ(p.cb_videobitrate.selected, 5);   // empty: default
  EXPECT_EQ(p.cb_audiobitrate.selected, -1);  // beyond the list: none
  EXPECT_EQ(p.cb_channel.selected, 1);
  p.SelectProfile(9);
  EXPECT_EQ(p.cb_size.selected, -1);
  EXPECT_EQ(p.cb_videobitrate.selected, 3);
  EXPECT_EQ(p.cb_audiobitrate.selected, 5);  // missing: default
}

// A bad parameter file abandons the selection with a message and changes
// nothing: lists, steps, option line, name and saved choices stay.
class BadPopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bed = std::make_unique<ProfileTestBed>();
    bed->profiles().SelectProfile(27);
    bed->profiles().SetSelected(bed->profiles().cb_videobitrate, 4);
    before = bed->profiles().cb_videobitrate.items;
  }
  void ExpectUnchanged() {
    auto& p = bed->profiles();
    EXPECT_EQ(p.currentProfile, 27);
    EXPECT_EQ(p.lastSelected, 27);
    EXPECT_EQ(p.cb_videobitrate.items, before);
    EXPECT_EQ(p.cb_videobitrate.selected, 4);
    EXPECT_EQ(p.RateStep(4), "300");
    EXPECT_EQ(p.ProfileOptions().Text(), " -opt27");
    EXPECT_EQ(bed->app->display().Text("profilestext"), pcm::ProfileInfo(27)->displayName);
  }
  std::string ErrorOf(int n) {
    try {
      bed->profiles().SelectProfile(n);
    } catch (const pcm::CommandError& e) {
      return e.what();
    }
    return "no error";
  }
  std::unique_ptr<ProfileTestBed> bed;
  Items before;
};

TEST_F(BadPopTest, MissingFile) {
  std::remove((bed->dir + "/profiles.pop").c_str());
  EXPECT_NE(ErrorOf(17).find("profiles.pop"), std::string::npos);
  ExpectUnchanged();
}

TEST_F(BadPopTest, FileEndsInsideTheBlock) {
  std::string text = PopText({});
  size_t cut = text.find("label 30\r\n") + 20;  // cut inside block 30's size line
  bed->WritePop(text.substr(0, cut));
  std::string error = ErrorOf(30);
  EXPECT_NE(error.find("profiles.pop"), std::string::npos) << error;
  EXPECT_NE(error.find("30"), std::string::npos) << error;
  ExpectUnchanged();
}

TEST_F(BadPopTest, RateStepNotANumber) {
  bed->WritePop(PopText({{28, {"320x240", "300 4OO 500 600 700", ""}}}));
  // The choice made in SetUp is kept at once; the failed selection writes
  // nothing over it.
  pcm::IniFile saved(bed->app->settings.ChoicesPath());
  EXPECT_EQ(saved.GetInt("27", "video bitrate", -9), 4);
  const auto read = [&] {
    std::ifstream in(bed->app->settings.ChoicesPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = read();
  std::string error = ErrorOf(28);
  EXPECT_NE(error.find("4OO"), std::string::npos) << error;
  ExpectUnchanged();
  EXPECT_EQ(read(), before);
}

TEST_F(BadPopTest, NumberWithoutProfile) {
  EXPECT_NE(ErrorOf(0), "no error");
  EXPECT_NE(ErrorOf(133), "no error");
  ExpectUnchanged();
}

TEST(Selection, NumberWithoutNameKeepsTheNameAndExtension) {
  ProfileTestBed bed;
  auto& p = bed.profiles();
  p.SelectProfile(7);
  p.SelectProfile(26);
  EXPECT_EQ(p.currentDisplayName, "WMV-Windows Media Video(*.wmv)");
  EXPECT_EQ(p.OutputExtension(), ".wmv");
  EXPECT_EQ(p.currentProfile, 26);
  EXPECT_EQ(bed.app->display().Text("profilestext"), "WMV-Windows Media Video(*.wmv)");
}

TEST(Selection, EstimatesRefreshedWithoutMovingTheBatch) {
  ProfileTestBed bed;
  bed.app->list.Append(Entry("a", "320x240", "768", "128", "00:01:00"));
  bed.app->list.Append(Entry("b", "320x240", "768", "128", "00:00:00"));
  bed.app->list.currentPosition = 1;
  int changed = 0;
  QObject::connect(&bed.app->list, &pcm::ConversionList::rowChanged, [&](int) { ++changed; });
  bed.profiles().SelectProfile(17);  // 128 kbit/s for 60 s
  EXPECT_EQ(bed.app->list.Row(0).outputSize, "0.92MB");
  EXPECT_EQ(bed.app->list.Row(1).outputSize, "0.00MB");
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(bed.app->list.currentPosition, 1);
  // A row with a broken rate gets no estimate; the others are still done.
  bed.app->list.Row(0).entry.audioKbps = -1;
  EXPECT_THROW(bed.profiles().SelectProfile(1), pcm::CommandError);  // source audio by default
  EXPECT_EQ(bed.profiles().currentProfile, 1);
  bed.profiles().SetSelected(bed.profiles().cb_size, 1);
  bed.profiles().SetSelected(bed.profiles().cb_videobitrate, 2);
  bed.app->list.Row(1).entry.duration = "00:01:00";
  EXPECT_THROW(bed.options().RefreshSizeEstimates(), pcm::CommandError);
  EXPECT_EQ(bed.app->list.Row(0).outputSize, "");
  EXPECT_EQ(bed.app->list.Row(1).outputSize, "6.63MB");  // (799 + 128) x 60
}

// The parameter file that ships: every block selects, and every named
// profile's default choices give the options its kind needs.
TEST(ShippedParameterFile, EveryProfileSelectsWithCompleteOptions) {
  std::string config = MakeTempDir("profiles-config");
  setenv("POPCLIPMILL_CONFIG_DIR", config.c_str(), 1);
  pcm::CoreApp app({BinDir() + "/popclipmill"});
  auto row = Entry("clip", "320x240", "768", "128");
  for (int n = 1; n <= pcm::kProfileCount; ++n) {
    ASSERT_NO_THROW(app.profiles.SelectProfile(n)) << n;
    const pcm::ProfileRecord* rec = pcm::ProfileInfo(n);
    if (!rec->displayName) continue;
    pcm::intputrec job;
    ASSERT_NO_THROW(app.options.FillProfileOptions(job, row)) << n;
    EXPECT_GT(app.options.TotalBitRate(row), 0) << n;
    if (pcm::IsDiscProfile(n)) {
      EXPECT_EQ(job.TargetOpt.Text().rfind(" -target pal-", 0), 0u) << n;
      continue;
    }
    EXPECT_EQ(job.AudioRateOpt.Text().rfind(" -ab ", 0), 0u) << n;
    EXPECT_FALSE(job.SampleRateOpt.empty()) << n;
    if (rec->media == pcm::Media::Audio) {
      EXPECT_EQ(job.SizeOpt.Text(), "") << n;
      EXPECT_EQ(job.VideoRateOpt.Text(), "") << n;
    } else {
      EXPECT_TRUE(job.SizeOpt.Text().starts_with(" -s ") || job.SizeOpt.Text().starts_with(" -vf scale="))
          << n;
      EXPECT_EQ(job.AspectOpt.Text().rfind(" -aspect ", 0), 0u) << n;
      EXPECT_EQ(job.VideoRateOpt.Text().rfind(" -r 25 -b ", 0), 0u) << n;
      EXPECT_EQ(job.VideoRateOpt.Text().find('-', 10), std::string::npos) << n << job.VideoRateOpt.Text();
    }
  }
}

// A window that cannot load the main icon stops the selection before anything
// changes.
TEST(Selection, IconThatCannotLoadChangesNothing) {
  struct FailingDisplay : pcm::HeadlessDisplay {
    bool fail = false;
    void SetPicture(const std::string& element, const std::string& path) override {
      if (fail) throw pcm::CommandError("cannot load " + path);
      pcm::HeadlessDisplay::SetPicture(element, path);
    }
  } display;
  ProfileTestBed bed;
  pcm::CoreApp app({bed.dir + "/popclipmill", &display});
  app.profiles.SelectProfile(7);
  display.fail = true;
  EXPECT_THROW(app.profiles.SelectProfile(17), pcm::CommandError);
  EXPECT_EQ(app.profiles.currentProfile, 7);
  EXPECT_EQ(app.profiles.currentDisplayName, "WMV-Windows Media Video(*.wmv)");
  EXPECT_EQ(app.profiles.ProfileOptions().Text(), " -opt7");
  EXPECT_EQ(display.Text("profilestext"), "WMV-Windows Media Video(*.wmv)");
}
