#include "profiles/Settings.h"

#include <QDir>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cstdlib>

#include "profiles/Catalog.h"
#include "profiles/Ini.h"
#include "profiles/ProfileState.h"
#include "ui/CommandError.h"
#include "ui/RunState.h"

namespace pcm {

namespace {
constexpr int kDefaultProfile = 17;
constexpr int kDefaultCategory = 1;

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}
}  // namespace

std::string Settings::ConfigDir() {
  const char* env = std::getenv("POPCLIPMILL_CONFIG_DIR");
  if (env && *env) return WithSlash(env);
  return WithSlash(QDir::homePath().toStdString() + "/.config/popclipmill");
}

std::string Settings::DefaultOutputDirectory() {
  QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (music.isEmpty()) music = QDir::homePath();
  return WithSlash(music.toStdString());
}

// The name without extension with its extension changed to ".ini": the part
// from the last "." on is replaced, or ".ini" is appended.
std::string Settings::BaseName() const {
  std::string name = program_.NameWithoutExtension();
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + ".ini";
}

std::string Settings::SettingsPath() const { return ConfigDir() + BaseName(); }
std::string Settings::ChoicesPath() const { return ConfigDir() + "pro " + BaseName(); }

void Settings::LoadSettings(bool selectSavedProfile) {
  IniFile ini(SettingsPath());
  videoPageFlag = ini.GetBool("plane", "video", true);
  audioPageFlag = ini.GetBool("plane", "audio", true);
  outputDirectory = ini.GetString("output", "path", DefaultOutputDirectory());
  // An empty saved path would put the output at the file system's root; a
  // relative one (saved by an older version) is read as the field reads it,
  // below the home folder, and kept absolute from then on.
  if (outputDirectory.empty() || HasControlCharacter(outputDirectory))
    outputDirectory = DefaultOutputDirectory();
  else
    outputDirectory = WithSlash(AbsoluteFolder(outputDirectory));
  outputField = outputDirectory;
  highlightedCategory = ini.GetInt("profiles", "selcetindex", kDefaultCategory);
  int profile = ini.GetInt("profiles", "selcetsubindex", kDefaultProfile);
  // A number without a block would make every start fail, and the feet of
  // the panels produce nothing.
  const ProfileRecord* rec = ProfileInfo(profile);
  if (!rec || !rec->displayName) profile = kDefaultProfile;
  profiles_.currentProfile = profile;
  if (selectSavedProfile) profiles_.SelectProfile(profile);
  finishAction = FinishActionOf(ini.GetInt("profiles", "FinishSelcet", 0));
  jobs = ini.GetInt("batch", "jobs", 1);
  if (jobs < 0 || jobs > kMaxJobs) jobs = 1;
  keepFolders = ini.GetBool("batch", "keepSubfolders", false);
  skipExisting = ini.GetInt("batch", "whenOutputExists", 0) == 1;
  stored_ = Current();
}

Settings::Stored Settings::Current() const {
  return {outputDirectory,
          profiles_.currentProfile,
          highlightedCategory,
          int(finishAction),
          jobs,
          videoPageFlag,
          audioPageFlag,
          keepFolders,
          skipExisting};
}

void Settings::SaveChanges() {
  if (readOnly || !stored_ || *stored_ == Current()) return;
  try {
    SaveSettings();
  } catch (const CommandError&) {
    // Something other than a file stands at its place; the values are
    // tried again at the next change.
  }
}

std::string Settings::AbsoluteFolder(const std::string& text) {
  if (text.empty() || text[0] == '/') return text;
  std::string rest = text;
  if (rest == "~")
    rest.clear();
  else if (rest.rfind("~/", 0) == 0)
    rest.erase(0, 2);
  while (rest.rfind("./", 0) == 0) rest.erase(0, 2);
  if (rest == ".") rest.clear();
  return WithSlash(QDir::homePath().toStdString()) + rest;
}

bool Settings::TakeOutputField() {
  std::string& field = outputField;
  // A tab is refused too: a conversion would refuse the folder.
  auto control = [](unsigned char c) { return c < 0x20 || c == 0x7f; };
  if (field.empty() || std::any_of(field.begin(), field.end(), control)) return false;
  field = AbsoluteFolder(field);
  outputDirectory = WithSlash(field);
  SaveChanges();
  return true;
}

int Settings::JobCount() const { return jobs > 0 ? jobs : std::max(1, QThread::idealThreadCount()); }

void Settings::CheckFolderName(const std::string& dir) {
  auto control = [](unsigned char c) { return c < 0x20 || c == 0x7f; };
  if (std::none_of(dir.begin(), dir.end(), control)) return;
  std::string shown;
  for (unsigned char c : dir) {
    if (control(c)) {
      static const char hex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += hex[c >> 4];
      shown += hex[c & 15];
    } else {
      shown += char(c);
    }
  }
  throw CommandError("The folder name \"" + shown +
                     "\" holds a control character (such as a line break or a tab). Please choose a "
                     "folder whose name has none.");
}

void Settings::SaveSettings() {
  if (readOnly) return;
  IniFile ini(SettingsPath());
  // A name the file cannot hold keeps the path saved before.
  ini.Set("output", "path", outputDirectory);
  ini.SetInt("profiles", "selcetsubindex", profiles_.currentProfile);
  ini.SetInt("profiles", "selcetindex", highlightedCategory);
  ini.SetInt("profiles", "FinishSelcet", finishAction);
  ini.SetBool("plane", "video", videoPageFlag);
  ini.SetBool("plane", "audio", audioPageFlag);
  ini.SetInt("batch", "jobs", jobs);
  ini.SetBool("batch", "keepSubfolders", keepFolders);
  // 0 makes a new name, 1 skips the entry.
  ini.SetInt("batch", "whenOutputExists", skipExisting ? 1 : 0);
  // Write failures are silent; the values are tried again at the next
  // change.
  if (ini.Save()) stored_ = Current();
}

}  // namespace pcm
