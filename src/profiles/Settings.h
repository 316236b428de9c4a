#pragma once
#include <optional>
#include <string>

namespace pcm {

// What follows the last entry of a batch; the settings file stores the
// number.
enum FinishAction : int { kFinishNothing = 0, kFinishOpenFolder = 1, kFinishShutdown = 2 };
// The action a stored number names; any other number names none.
inline FinishAction FinishActionOf(int n) {
  return n >= kFinishNothing && n <= kFinishShutdown ? FinishAction(n) : kFinishNothing;
}

class ProfileState;
class ProgramInfo;

// The persisted settings: output directory, saved profile, highlighted
// category, finish action, the page flags of the two two-page categories,
// the number of simultaneous conversions, whether added folders keep their
// subfolders and what becomes of an entry whose output name is taken.
class Settings {
 public:
  // The program's name names the files; the profile state gets the saved
  // profile.
  Settings(const ProgramInfo& program, ProfileState& profiles) : program_(program), profiles_(profiles) {}

  std::string outputDirectory;  // the program's current output directory
  std::string outputField;      // text of the output folder field ed_output
  int highlightedCategory = -1;
  FinishAction finishAction = kFinishNothing;
  bool videoPageFlag = true, audioPageFlag = true;
  // Simultaneous conversions of a batch: how many entries convert at once;
  // 0 means one per processor. A stored number outside 0..kMaxJobs reads as
  // the default 1.
  static constexpr int kMaxJobs = 64;
  int jobs = 1;
  // The number of entries to convert at once: jobs, or the processors for 0.
  int JobCount() const;
  // Add Folder, a dropped folder and a folder named at the start take the
  // subfolders too, and each file is written below the output folder in
  // the folder it lay in below the added one. Off: the folder's own files,
  // all written to the output folder.
  bool keepFolders = false;
  // An entry whose output name (before any "_1") is taken is skipped
  // instead of converted to the next free name.
  bool skipExisting = false;
  // When set, neither the settings file nor the per-profile choices file is
  // ever written (a run from the command line changes nothing it loads).
  bool readOnly = false;

  // Reads the settings file and selects the saved profile (SelectProfile);
  // a selection error propagates and leaves the finish action at 0. Without
  // selectSavedProfile the saved number is only noted, for a caller that
  // selects another profile itself.
  void LoadSettings(bool selectSavedProfile = true);
  void SaveSettings();
  // Writes the settings file when a setting differs from what the file
  // holds, so that a change is kept at once and a program that is killed
  // loses none. Nothing is written before LoadSettings has run to its end
  // (the file would get the defaults of the settings not read yet), nor
  // when the values are those last read or written. A file that cannot be
  // written is passed over silently, as at the close.
  void SaveChanges();
  // Makes the text of the output field the output directory, with a
  // trailing '/', and saves it; a relative text is made absolute first
  // (AbsoluteFolder), in the field too. An empty text or one with a control
  // character (a line break, a tab) leaves the output directory as it was;
  // returns whether the text was taken.
  bool TakeOutputField();
  // The folder a typed or stored output folder names: "~" and "~/..." are
  // the home folder, any other relative name lies below the home folder,
  // never in the folder the program happens to run in. An absolute or empty
  // text is returned as it is.
  static std::string AbsoluteFolder(const std::string& text);

  // Settings file name: program name without extension, extension ".ini".
  std::string BaseName() const;
  // $POPCLIPMILL_CONFIG_DIR when set, else ~/.config/popclipmill/; with '/'.
  static std::string ConfigDir();
  // Throws CommandError naming the folder when its name holds a control
  // character (a line break, a tab, ...): such a name is refused wherever
  // an output folder is set.
  static void CheckFolderName(const std::string& dir);
  // The user's music folder with a trailing '/'.
  static std::string DefaultOutputDirectory();
  std::string SettingsPath() const;  // ConfigDir() + BaseName()
  std::string ChoicesPath() const;   // ConfigDir() + "pro " + BaseName()

 private:
  // The values of the settings file as last read or written.
  struct Stored {
    std::string outputDirectory;
    int profile, category, finish, jobs;
    bool videoPage, audioPage;
    bool keepFolders, skipExisting;
    bool operator==(const Stored&) const = default;
  };
  Stored Current() const;

  const ProgramInfo& program_;
  ProfileState& profiles_;
  std::optional<Stored> stored_;
};

}  // namespace pcm
