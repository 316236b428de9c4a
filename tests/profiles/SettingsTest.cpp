// The settings file: names, first start, round trip and bad values.
#include <gtest/gtest.h>

#include <QStandardPaths>

#include "ProfileTestBed.h"
#include "profiles/Ini.h"

using namespace pcmtest;

TEST(SettingsNames, BaseNameFromTheProgramName) {
  const std::pair<const char*, const char*> cases[] = {{"abc", "abc.ini"},
                                                       {"abc.exe", "abc.ini"},
                                                       {"popclipmill", "popclipmill.ini"},
                                                       {"popclipmill-dvd", "popclipmill-dvd.ini"},
                                                       {"clip.v2.bin", "clip.ini"},
                                                       {"a.b", "a.ini"}};
  for (auto [program, base] : cases) {
    ProfileTestBed bed(program);
    EXPECT_EQ(bed.app->settings.BaseName(), base) << program;
    EXPECT_EQ(bed.app->settings.SettingsPath(), bed.configDir + "/" + base);
    EXPECT_EQ(bed.app->settings.ChoicesPath(), bed.configDir + "/pro " + base);
  }
}

TEST(SettingsNames, ConfigDirFromTheEnvironmentElseHome) {
  setenv("POPCLIPMILL_CONFIG_DIR", "/tmp/some/where", 1);
  EXPECT_EQ(pcm::Settings::ConfigDir(), "/tmp/some/where/");
  unsetenv("POPCLIPMILL_CONFIG_DIR");
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  EXPECT_EQ(pcm::Settings::ConfigDir(), home + "/.config/popclipmill/");
}

TEST(LoadSettings, FirstStartUsesTheDefaults) {
  ProfileTestBed bed;
  auto& s = bed.app->settings;
  s.LoadSettings();
  std::string music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString();
  EXPECT_EQ(s.outputDirectory, music + "/");
  EXPECT_EQ(s.outputField, music + "/");
  EXPECT_EQ(bed.profiles().currentProfile, 17);
  EXPECT_EQ(bed.app->display().Text("profilestext"), "MP3-MPEG Layer-3Audio(*.mp3)");
  EXPECT_EQ(s.finishAction, 0);
  EXPECT_EQ(s.highlightedCategory, 1);
  EXPECT_TRUE(s.videoPageFlag);
  EXPECT_TRUE(s.audioPageFlag);
}

TEST(LoadSettings, SavedValuesSurviveARestartWhateverTheCase) {
  std::string configDir;
  {
    ProfileTestBed bed;
    configDir = bed.configDir;
    auto& s = bed.app->settings;
    s.LoadSettings();
    bed.profiles().SelectProfile(3);
    s.outputDirectory = "/srv/out/";
    s.highlightedCategory = 9;
    s.finishAction = pcm::kFinishOpenFolder;
    s.videoPageFlag = false;
    s.SaveSettings();
  }
  std::string text;
  RunShell("cat " + ShellQuote(configDir + "/popclipmill.ini"), &text);
  EXPECT_NE(text.find("selcetsubindex"), std::string::npos) << text;
  EXPECT_NE(text.find("FinishSelcet"), std::string::npos) << text;

  ProfileTestBed bed;
  setenv("POPCLIPMILL_CONFIG_DIR", configDir.c_str(), 1);
  auto& s = bed.app->settings;
  s.LoadSettings();
  EXPECT_EQ(s.outputDirectory, "/srv/out/");
  EXPECT_EQ(s.outputField, "/srv/out/");
  EXPECT_EQ(s.highlightedCategory, 9);
  EXPECT_EQ(s.finishAction, 1);
  EXPECT_FALSE(s.videoPageFlag);
  EXPECT_TRUE(s.audioPageFlag);
  EXPECT_EQ(bed.profiles().currentProfile, 3);  // a category profile selects at start
  EXPECT_EQ(bed.profiles().currentDisplayName, "AVI-XviD Movie(*.avi)");
}

TEST(LoadSettings, MissingOrBadValuesReadAsDefaults) {
  ProfileTestBed bed;
  WriteFile(bed.app->settings.SettingsPath(),
            "[PROFILES]\nSELCETSUBINDEX=7x\nselcetindex=\nfinishselcet=5\n[Plane]\nVideo=0\nAudio=abc\n"
            "[output]\n");
  auto& s = bed.app->settings;
  s.LoadSettings();
  EXPECT_EQ(bed.profiles().currentProfile, 17);
  EXPECT_EQ(s.highlightedCategory, 1);
  EXPECT_EQ(s.finishAction, 0);  // 5 names no action
  EXPECT_FALSE(s.videoPageFlag);
  EXPECT_TRUE(s.audioPageFlag);
  EXPECT_FALSE(s.outputDirectory.empty());
}

TEST(LoadSettings, SavedNumberWithoutProfileSelectsTheDefault) {
  for (const char* saved : {"0", "-1", "133", "999"}) {
    ProfileTestBed bed;
    WriteFile(bed.app->settings.SettingsPath(), std::string("[profiles]\nselcetsubindex=") + saved + "\n");
    bed.app->settings.LoadSettings();
    EXPECT_EQ(bed.profiles().currentProfile, 17) << saved;
  }
}

TEST(LoadSettings, UnreadableProfileFileStopsBeforeTheFinishAction) {
  ProfileTestBed bed;
  WriteFile(bed.app->settings.SettingsPath(), "[profiles]\nselcetsubindex=7\nFinishSelcet=2\n");
  std::remove((bed.dir + "/profiles.pop").c_str());
  EXPECT_THROW(bed.app->settings.LoadSettings(), pcm::CommandError);
  EXPECT_EQ(bed.app->settings.finishAction, 0);
  EXPECT_EQ(bed.profiles().currentProfile, 7);
}

TEST(LoadSettings, DvdModeReadsItsOwnFiles) {
  ProfileTestBed bed("popclipmill-dvd");
  bed.app->settings.LoadSettings();
  bed.profiles().SelectProfile(1);
  EXPECT_EQ(bed.profiles().cb_videobitrate.SelectedText(), "Normal");
  pcm::IniFile ini(bed.configDir + "/pro popclipmill-dvd.ini");
  EXPECT_EQ(ini.GetInt("17", "audio bitrate", -9), 2);
}

// A configuration folder that cannot be made loses the settings silently.
TEST(SaveSettings, UnwritableFolderIsSilent) {
  ProfileTestBed bed;
  std::string blocker = bed.configDir + "/file";
  WriteFile(blocker, "x");
  setenv("POPCLIPMILL_CONFIG_DIR", (blocker + "/sub").c_str(), 1);
  bed.app->settings.LoadSettings();
  bed.profiles().SelectProfile(7);
  EXPECT_NO_THROW(bed.app->settings.SaveSettings());
  EXPECT_EQ(bed.profiles().currentProfile, 7);
}
