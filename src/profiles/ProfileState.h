#pragma once
#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/JobRecord.h"
#include "engine/MediaLimits.h"

namespace pcm {

class Notifier;
class ProgramInfo;
class Settings;
class IniFile;

// A block's frame sides and rate steps stay within the bounds of a
// plausible medium.
inline constexpr long long kMaxRateStepKbps = kMaxKbps;

// One drop-down list of the settings dialog: its texts, the selected index
// (-1 for none) and whether it can be changed.
struct ChoiceList {
  std::vector<std::string> items;
  int selected = -1;
  bool enabled = true;
  std::string SelectedText() const;  // "" when nothing is selected
  bool HasSelection() const { return selected >= 0 && selected < int(items.size()); }
};

// Texts of the lists.
inline constexpr const char* kQualitySteps[5] = {"Higher Quality", "High Quality", "Normal", "Low Quality",
                                                 "Lower Quality"};
inline constexpr const char* kOriginalSize = "The original width and height";
inline constexpr const char* kOriginalVideo = "The Original Video Quliay";
inline constexpr const char* kOriginalAudio = "The Original Audio Quliay";
inline constexpr const char* kNoVideo = "No Video";

// Cuts a text at blanks from the left; an empty piece ends the cutting and a
// last piece of fewer than two characters is dropped.
std::vector<std::string> SplitBlankList(const std::string& text);

// The keys of the per-profile choices file, one per list.
enum class ChoiceKey { Size, Video, Audio, Channel };

// Which keys profile n keeps in the choices file.
enum class ChoiceKeys { All, AudioOnly, None };
ChoiceKeys ChoiceKeysOf(int n);
// The index a profile starts with when nothing is saved for it.
int DefaultChoice(int n, ChoiceKey key, bool dvdMode);

// The selected profile, its four choice lists, rate steps and option line.
class ProfileState : public QObject {
  Q_OBJECT
 public:
  // The notifier's display shows the profile's name and icon; the program
  // finds "profiles.pop" and the variant; the settings give the choices file.
  ProfileState(Notifier& notifier, const ProgramInfo& program, Settings& settings);

  // Called at the end of every selection, once the lists hold the new
  // profile's choices (the size estimates are refreshed there).
  std::function<void()> selectedHook;

  int currentProfile = -1;  // saved as "selcetsubindex"
  int lastSelected = 0;
  std::string currentDisplayName;  // UTF-8
  ChoiceList cb_size, cb_videobitrate, cb_audiobitrate, cb_channel;
  std::array<std::string, 5> rateSteps;
  // The block's option line as written, split into arguments once when the
  // profile is selected.
  OptionField profileOptions;

  // Makes profile n the selected one. Throws CommandError, with nothing
  // changed, when "profiles.pop" cannot be read or lacks block n, or when
  // the choices file is not a regular file; a ProfileFileError when the
  // block holds a rate step that is not a whole number or a size or rate
  // beyond the limits above.
  void SelectProfile(int n);
  // Reloads the main icon and shows the display name of n (the current one
  // when n has none) in "profilestext".
  void ShowProfileName(int n);
  // Extension of the current display name, e.g. ".mp4" (case kept).
  std::string OutputExtension() const;
  // Size list rule for the profile in currentProfile.
  void FillSizeList(const std::string& sizeLine);
  void StoreRateSteps(const std::string& rateLine);
  std::string RateStep(int i) const;
  // Step i as a number of kbit/s; a step that is missing or not a whole
  // number raises a ProfileFileError naming the current block's rate line.
  int64_t RateStepValue(int i) const;
  const OptionField& ProfileOptions() const { return profileOptions; }
  // Write or read the choices file's section of profile n; throw
  // CommandError when the choices file is not a regular file.
  void SaveProfileChoices(int n);
  void RestoreProfileChoices(int n);
  // Setting a list's selection from the outside (dialog, front end) goes
  // through here so views update. An index the list lacks selects nothing.
  void SetSelected(ChoiceList& list, int index);

  // The index the options use for a list: the selection when there is one,
  // else the current profile's default, else "Normal" for the quality lists,
  // the first size and "Stereo". -1 only for an empty list.
  int EffectiveIndex(const ChoiceList& list, ChoiceKey key) const;
  ChoiceList& ListOf(ChoiceKey key);
  const ChoiceList& ListOf(ChoiceKey key) const;

 signals:
  void listsChanged();
  void profileChanged(int n);

 private:
  struct Block {
    std::string sizeLine, rateLine, optionLine;
  };
  Block ReadBlock(int n) const;
  void ApplyRateLine(int n, const std::string& rateLine);
  void SaveChoicesTo(int n, IniFile& ini);
  void RestoreChoicesFrom(int n, const IniFile& ini);
  void ResetQualityLists();

  Notifier& notifier_;
  const ProgramInfo& program_;
  Settings& settings_;
};

}  // namespace pcm
