// The settings files against hostile contents: names with line breaks,
// numbers and paths that point nowhere useful, and things that are not
// files at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "ProfileTestBed.h"
#include "profiles/Ini.h"

using namespace pcmtest;

namespace {

std::string Music() {
  return QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString() + "/";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs fn on a thread and returns the text of the CommandError it throws
// ("" when it throws none). A reader stuck on the pipe fails the test after
// 30 s and is then released by opening the pipe's other end, so a hang
// never stalls the run.
std::string ErrorWithinTimeLimit(const std::string& fifo, const std::function<void()>& fn) {
  auto result = std::async(std::launch::async, [&]() -> std::string {
    try {
      fn();
    } catch (const pcm::CommandError& e) {
      return e.what();
    }
    return "";
  });
  if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "reading hangs on " << fifo;
    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  return result.get();
}

}  // namespace

TEST(SettingsFiles, NamedPipeInPlaceOfAnyOfTheThreeFilesIsAnErrorNamingIt) {
  for (const char* which : {"settings", "choices", "profiles"}) {
    SCOPED_TRACE(which);
    ProfileTestBed bed;
    auto& s = bed.app->settings;
    std::string path = std::string(which) == "settings"  ? s.SettingsPath()
                       : std::string(which) == "choices" ? s.ChoicesPath()
                                                         : bed.dir + "/profiles.pop";
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::string error = ErrorWithinTimeLimit(path, [&] { s.LoadSettings(); });
    EXPECT_NE(error.find(path), std::string::npos) << error;
    // Nothing was selected: a later selection starts from a clean state.
    EXPECT_EQ(bed.profiles().lastSelected, 0);
    if (std::string(which) != "profiles") {
      // Saving does not wait on the pipe either, and leaves it in place.
      error = ErrorWithinTimeLimit(path, [&] {
        s.SaveSettings();
        bed.profiles().SaveProfileChoices(7);
      });
      EXPECT_NE(error.find(path), std::string::npos) << error;
      struct stat st;
      ASSERT_EQ(stat(path.c_str(), &st), 0);
      EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
  }
}

TEST(SettingsFiles, FolderOrMissingFileInPlaceOfTheSettings) {
  ProfileTestBed bed;
  auto& s = bed.app->settings;
  ASSERT_EQ(mkdir(s.SettingsPath().c_str(), 0700), 0);
  EXPECT_THROW(s.LoadSettings(), pcm::CommandError);
  std::string text;
  EXPECT_EQ(pcm::ReadRegularFile(s.SettingsPath(), text), pcm::FileRead::NotRegular);
  EXPECT_EQ(pcm::ReadRegularFile(bed.configDir + "/none", text), pcm::FileRead::Missing);
  EXPECT_EQ(pcm::ReadRegularFile(bed.configDir + "/none/deeper", text), pcm::FileRead::Missing);
  // A missing settings file is a first start, not an error.
  rmdir(s.SettingsPath().c_str());
  EXPECT_NO_THROW(s.LoadSettings());
  EXPECT_EQ(bed.profiles().currentProfile, 17);
}

// A file far larger than any settings or profile file (here sparse, taking
// no room) is refused unread, naming it; one at the bound is read.
TEST(SettingsFiles, OversizedFilesAreRefusedUnread) {
  struct Case {
    const char* which;
    off_t size;
    const char* error;
  };
  for (Case c : {Case{"settings", off_t(2) << 30, " is larger than 1 MiB"},
                 Case{"choices", (off_t(1) << 20) + 1, " is larger than 1 MiB"},
                 Case{"profiles", (off_t(16) << 20) + 1, " is larger than 16 MiB"}}) {
    SCOPED_TRACE(c.which);
    ProfileTestBed bed;
    auto& s = bed.app->settings;
    std::string path = std::string(c.which) == "settings"  ? s.SettingsPath()
                       : std::string(c.which) == "choices" ? s.ChoicesPath()
                                                           : bed.dir + "/profiles.pop";
    ASSERT_EQ(truncate(path.c_str(), 0) == 0 || errno == ENOENT, true);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, c.size), 0);
    ::close(fd);
    std::string error;
    try {
      s.LoadSettings();
    } catch (const pcm::CommandError& e) {
      error = e.what();
    }
    EXPECT_NE(error.find(path + c.error), std::string::npos) << error;
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, c.size);
  }
  ProfileTestBed bed;
  std::string path = bed.app->settings.SettingsPath();
  std::string text = "[Settings]\n";
  text.resize(pcm::kMaxSettingsFileBytes, ' ');
  std::ofstream(path, std::ios::binary) << text;
  std::string read;
  EXPECT_EQ(pcm::ReadRegularFile(path, read, pcm::kMaxSettingsFileBytes), pcm::FileRead::Ok);
  EXPECT_EQ(read.size(), pcm::kMaxSettingsFileBytes);
  EXPECT_NO_THROW(bed.app->settings.LoadSettings());
}

// A line break in the saved folder would let the rest of the name be read
// as further settings: here it would switch the finish action to shut down.
TEST(SettingsFiles, FolderNameWithALineBreakNeverReachesTheFile) {
  ProfileTestBed bed;
  auto& s = bed.app->settings;
  s.LoadSettings();
  s.outputDirectory = "/srv/out/";
  s.SaveSettings();
  s.outputDirectory = "/srv/x\n[profiles]\nFinishSelcet=2\n";
  s.SaveSettings();
  std::string text = ReadAll(s.SettingsPath());
  EXPECT_EQ(text.find("/srv/x"), std::string::npos) << text;

  ProfileTestBed again;
  setenv("POPCLIPMILL_CONFIG_DIR", bed.configDir.c_str(), 1);
  again.app->settings.LoadSettings();
  EXPECT_EQ(again.app->settings.finishAction, 0);
  EXPECT_EQ(again.app->settings.outputDirectory, "/srv/out/");  // the last name the file could hold

  // The INI layer refuses such values whoever asks, in any part of the line.
  pcm::IniFile ini(bed.configDir + "/other.ini");
  EXPECT_TRUE(ini.Set("s", "k", "tab\tand ünïcode"));
  EXPECT_FALSE(ini.Set("s", "k", "cr\rlf"));
  EXPECT_FALSE(ini.Set("s", "k\n[x]", "v"));
  EXPECT_FALSE(ini.Set("s]\n[t", "k", "v"));
  EXPECT_FALSE(ini.Set("s", "k", std::string("nul\0x", 5)));
  EXPECT_EQ(ini.GetString("s", "k", ""), "tab\tand ünïcode");
}

TEST(SettingsFiles, FolderNameCheckNamesTheProblem) {
  for (const char* bad : {"/tmp/a\nb/", "/tmp/a\rb", "/tmp/\tx", "/tmp/\x7f", "\x1b[31m/red"}) {
    try {
      pcm::Settings::CheckFolderName(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const pcm::CommandError& e) {
      std::string what = e.what();
      EXPECT_NE(what.find("control character"), std::string::npos) << what;
      // The name is shown with its control characters escaped, not raw.
      for (char c : what) EXPECT_FALSE((unsigned char)c < 0x20 || c == 0x7f) << what;
    }
  }
  EXPECT_NO_THROW(pcm::Settings::CheckFolderName("/tmp/Müsik mit Leerzeichen/#1/"));
  EXPECT_NO_THROW(pcm::Settings::CheckFolderName(""));
}

// Saved values that would select nothing useful read as the defaults. A
// relative folder (an older version saved what was typed) names the folder
// below the home folder, as the field reads it, never one below wherever
// the program starts.
TEST(SettingsFiles, SavedProfileAndFolderThatLeadNowhere) {
  struct Case {
    const char* profile;
    int expected;
  };
  // The feet of the panels produce nothing; category profiles and the two
  // profiles without a button are reachable only this way and stay.
  const Case cases[] = {{"26", 17}, {"52", 17}, {"98", 17}, {"101", 17}, {"132", 17},
                        {"3", 3},   {"13", 13}, {"14", 14}, {"131", 131}};
  for (const Case& c : cases) {
    ProfileTestBed bed;
    WriteFile(bed.app->settings.SettingsPath(),
              std::string("[profiles]\nselcetsubindex=") + c.profile + "\n[output]\npath=\n");
    bed.app->settings.LoadSettings();
    EXPECT_EQ(bed.profiles().currentProfile, c.expected) << c.profile;
    EXPECT_EQ(bed.profiles().lastSelected, c.expected) << c.profile;
    EXPECT_EQ(bed.app->settings.outputDirectory, Music()) << "an empty folder is not the root";
  }
  const std::string home = QDir::homePath().toStdString();
  const std::pair<const char*, std::string> folders[] = {
      {"out", home + "/out/"}, {"./out/", home + "/out/"}, {"~/Music", home + "/Music/"}, {"~", home + "/"}};
  for (const auto& [path, expected] : folders) {
    ProfileTestBed bed;
    WriteFile(bed.app->settings.SettingsPath(), std::string("[output]\npath=") + path + "\n");
    bed.app->settings.LoadSettings();
    EXPECT_EQ(bed.app->settings.outputDirectory, expected) << path;
    EXPECT_EQ(bed.app->settings.outputField, expected) << path;
    EXPECT_EQ(bed.options().OutputFolder(), expected) << path;
  }
}
