#include "profiles/ProfileState.h"

#include <initializer_list>
#include <sstream>

#include "base/WholeNumber.h"
#include "profiles/Catalog.h"
#include "profiles/Ini.h"
#include "profiles/Settings.h"
#include "ui/CommandError.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

std::string ChoiceList::SelectedText() const {
  return HasSelection() ? items[size_t(selected)] : std::string();
}

std::vector<std::string> SplitBlankList(const std::string& text) {
  std::vector<std::string> pieces;
  std::string rest = text;
  size_t blank;
  while ((blank = rest.find(' ')) != std::string::npos) {
    if (blank == 0) return pieces;  // an empty piece ends the splitting
    pieces.push_back(rest.substr(0, blank));
    rest.erase(0, blank + 1);
  }
  if (rest.size() >= 2) pieces.push_back(rest);
  return pieces;
}

// ---- Defaults of the per-profile choices ----

namespace {

bool In(int n, std::initializer_list<int> set) {
  for (int v : set)
    if (v == n) return true;
  return false;
}
bool Range(int n, int lo, int hi) { return n >= lo && n <= hi; }

// The groups of the defaults table by their "size" default in file and DVD
// mode and whether their quality defaults to the source-quality entry.
struct DefaultRow {
  int sizeFile, sizeDvd, qualityFile;
};

bool AudioOnlyProfile(int n) { return Range(n, 15, 25) || In(n, {33, 40, 45, 59, 71, 80}); }
bool FootProfile(int n) { return In(n, {26, 52, 67, 74, 82, 90, 98, 101, 109, 117, 124, 132}); }

DefaultRow DefaultsOf(int n) {
  if (n == 1 || IsDiscProfile(n)) return {0, 0, 5};
  if (In(n, {2, 3, 5, 6}) || Range(n, 10, 13) || Range(n, 102, 108) || Range(n, 125, 130)) return {4, 4, 5};
  if (In(n, {4, 110})) return {5, 2, 5};
  if (In(n, {7, 14})) return {1, 1, 5};
  if (In(n, {8, 9, 111})) return {2, 2, 5};
  if (Range(n, 118, 123)) return {5, 2, 2};
  if (In(n, {55, 58, 68}) || Range(n, 61, 66) || Range(n, 91, 97)) return {2, 2, 2};
  if (In(n, {69, 77, 89}) || Range(n, 83, 85)) return {1, 1, 2};
  if (In(n, {99, 100, 131})) return {4, 4, 2};
  return {0, 0, 2};  // the table's largest group: the other video profiles
}

const char* KeyName(ChoiceKey key) {
  switch (key) {
    case ChoiceKey::Size:
      return "size";
    case ChoiceKey::Video:
      return "video bitrate";
    case ChoiceKey::Audio:
      return "audio bitrate";
    case ChoiceKey::Channel:
      return "Channel";
  }
  return "";
}

bool WholeNumber(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A whole number no larger than limit; longer digit runs are simply too large.
bool WholeNumberUpTo(const std::string& text, long long limit) {
  if (!WholeNumber(text)) return false;
  auto v = ReadWholeNumber<unsigned long long>(text);
  return v && *v <= static_cast<unsigned long long>(limit);
}

// "in block 28 (line 111) of the profile file /path/profiles.pop"
std::string Where(const std::string& path, int n, int lineOfBlock) {
  return " in block " + std::to_string(n) + " (line " + std::to_string(4 * n - 4 + lineOfBlock) +
         ") of the profile file " + path;
}

// A number with a sign ("-320", "+0"), which the aspect computation takes
// as a number too.
bool SignedWholeNumber(const std::string& text) {
  return text.size() > 1 && (text[0] == '-' || text[0] == '+') && WholeNumber(text.substr(1));
}

// Sizes whose sides are written as numbers must be frames that exist: a side
// of 0, below 0 or of millions would reach the rate computation and the
// encoder. A side that is not a number is allowed: it gives no video part.
void CheckSizeLine(const std::string& sizeLine, const std::string& path, int n) {
  for (const std::string& piece : SplitBlankList(sizeLine)) {
    size_t x = piece.find('x');
    if (x == std::string::npos) continue;
    size_t paren = piece.find('(', x + 1);
    for (const std::string& side :
         {piece.substr(0, x), piece.substr(x + 1, paren == std::string::npos ? paren : paren - x - 1)}) {
      if (SignedWholeNumber(side) || (WholeNumber(side) && (!WholeNumberUpTo(side, kMaxFrameSide) ||
                                                            ReadWholeNumber<long long>(side) == 0)))
        throw ProfileFileError("The frame size \"" + piece + "\"" + Where(path, n, 2) +
                               " is not a frame of 1 to " + std::to_string(kMaxFrameSide) + " pixels a side");
    }
  }
}

}  // namespace

ChoiceKeys ChoiceKeysOf(int n) {
  if (n < 1 || n > kProfileCount || FootProfile(n)) return ChoiceKeys::None;
  if (AudioOnlyProfile(n)) return ChoiceKeys::AudioOnly;
  return ChoiceKeys::All;
}

int DefaultChoice(int n, ChoiceKey key, bool dvdMode) {
  if (key == ChoiceKey::Channel) return 1;
  DefaultRow row = DefaultsOf(n);
  switch (key) {
    case ChoiceKey::Size:
      return dvdMode ? row.sizeDvd : row.sizeFile;
    case ChoiceKey::Video:
    case ChoiceKey::Audio:
      return dvdMode ? 2 : row.qualityFile;
    default:
      return 1;
  }
}

// ---- The state ----

ProfileState::ProfileState(Notifier& notifier, const ProgramInfo& program, Settings& settings)
    : notifier_(notifier), program_(program), settings_(settings) {
  ResetQualityLists();
  cb_channel.items = {"Mono", "Stereo"};
  cb_channel.selected = 1;
}

ChoiceList& ProfileState::ListOf(ChoiceKey key) {
  switch (key) {
    case ChoiceKey::Size:
      return cb_size;
    case ChoiceKey::Video:
      return cb_videobitrate;
    case ChoiceKey::Audio:
      return cb_audiobitrate;
    case ChoiceKey::Channel:
      break;
  }
  return cb_channel;
}

const ChoiceList& ProfileState::ListOf(ChoiceKey key) const {
  return const_cast<ProfileState*>(this)->ListOf(key);
}

void ProfileState::SetSelected(ChoiceList& list, int index) {
  list.selected = (index >= 0 && index < int(list.items.size())) ? index : -1;
  // A choice is kept at once, so that a program that is killed keeps it
  // too; a choices file that cannot be written loses it silently.
  if (lastSelected != 0 && lastSelected == currentProfile) {
    try {
      SaveProfileChoices(lastSelected);
    } catch (const CommandError&) {
    }
  }
  emit listsChanged();
}

int ProfileState::EffectiveIndex(const ChoiceList& list, ChoiceKey key) const {
  int count = int(list.items.size());
  if (count == 0) return -1;
  if (list.HasSelection()) return list.selected;
  int def = DefaultChoice(currentProfile, key, program_.DvdMode());
  if (def >= 0 && def < count) return def;
  int fallback = key == ChoiceKey::Size ? 0 : key == ChoiceKey::Channel ? 1 : 2;
  return fallback < count ? fallback : 0;
}

void ProfileState::ShowProfileName(int n) {
  notifier_.display().SetPicture("im_mainico", program_.BesideExecutable("images/main/2.bmp"));
  const ProfileRecord* rec = ProfileInfo(n);
  if (rec && rec->displayName) currentDisplayName = rec->displayName;
  notifier_.display().SetText("profilestext", currentDisplayName);
}

std::string ProfileState::OutputExtension() const { return ExtensionOfName(currentDisplayName); }

void ProfileState::ResetQualityLists() {
  for (ChoiceList* list : {&cb_videobitrate, &cb_audiobitrate}) {
    list->items.assign(std::begin(kQualitySteps), std::end(kQualitySteps));
    list->selected = -1;
  }
}

void ProfileState::FillSizeList(const std::string& sizeLine) {
  int n = currentProfile;
  cb_size.items = SplitBlankList(sizeLine);
  cb_size.selected = -1;
  if (IsDiscProfile(n)) cb_size.items = {"PAL", "NTSC"};
  bool sizeOffersSource = Range(n, 1, 14) || Range(n, 102, 111);
  if (sizeOffersSource && cb_size.items.size() > 1 && OutputExtension() != ".mp4")
    cb_size.items.push_back(kOriginalSize);
  if (cb_size.items.empty()) {
    cb_size.items = {kNoVideo};
    cb_size.selected = 0;
  }
}

void ProfileState::StoreRateSteps(const std::string& rateLine) {
  std::vector<std::string> pieces = SplitBlankList(rateLine);
  for (size_t i = 0; i < pieces.size() && i < 5; ++i) rateSteps[4 - i] = pieces[i];
}

std::string ProfileState::RateStep(int i) const {
  if (i < 0 || i > 4) return {};
  return rateSteps[size_t(i)];
}

int64_t ProfileState::RateStepValue(int i) const {
  std::string step = RateStep(i);
  if (WholeNumberUpTo(step, kMaxRateStepKbps)) return *ReadWholeNumber<long long>(step);
  // The steps are checked when a block is selected, so a bad one was left
  // by a selection that failed (the saved profile at start-up, say). The
  // block is read again to name its actual fault.
  int n = currentProfile;
  try {
    ReadBlock(n);
  } catch (const ProfileFileError&) {
    throw;
  } catch (const CommandError& e) {
    throw ProfileFileError(e.what());
  }
  std::string path = program_.BesideExecutable("profiles.pop");
  if (step.empty())
    throw ProfileFileError("There is no video rate for \"" +
                           std::string(kQualitySteps[i < 0 || i > 4 ? 2 : i]) + "\"" + Where(path, n, 3));
  throw ProfileFileError("The video rate \"" + step + "\"" + Where(path, n, 3) +
                         " is not a whole number of kbit/s up to " + std::to_string(kMaxRateStepKbps));
}

void ProfileState::ApplyRateLine(int n, const std::string& rateLine) {
  ResetQualityLists();
  if (IsDiscProfile(n)) {
    cb_videobitrate.enabled = cb_audiobitrate.enabled = cb_channel.enabled = false;
    cb_size.enabled = true;
    return;
  }
  cb_videobitrate.enabled = cb_audiobitrate.enabled = cb_channel.enabled = true;
  if (IsComputedProfile(n) && OutputExtension() != ".mp4" && !program_.DvdMode()) {
    cb_videobitrate.items.push_back(kOriginalVideo);
    cb_audiobitrate.items.push_back(kOriginalAudio);
  }
  if (rateLine == "*" && cb_size.items.size() == 1) {
    rateSteps[0] = "*";
    cb_videobitrate.items.push_back(kNoVideo);
    cb_videobitrate.selected = int(cb_videobitrate.items.size()) - 1;
    cb_size.enabled = cb_videobitrate.enabled = false;
    return;
  }
  cb_size.enabled = cb_videobitrate.enabled = true;
  StoreRateSteps(rateLine);
}

// Reads the whole block of profile n before anything changes, so that a bad
// file leaves the selection as it was.
ProfileState::Block ProfileState::ReadBlock(int n) const {
  std::string path = program_.BesideExecutable("profiles.pop");
  std::string text;
  FileRead read = ReadRegularFile(path, text);
  if (read == FileRead::NotRegular) throw CommandError("The profile file " + path + " is not a regular file");
  if (read == FileRead::TooLarge) throw CommandError("The profile file " + path + " is larger than 16 MiB");
  if (read != FileRead::Ok) throw CommandError("Cannot read the profile file " + path);
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> lines;
  int number = 0;
  int first = 4 * n - 3;
  while (lines.size() < 4 && std::getline(in, line)) {
    if (++number < first) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.size() < 4)
    throw CommandError("The profile file " + path + " ends before the block of profile " + std::to_string(n));
  Block block{lines[1], lines[2], lines[3]};
  // Table profiles convert their steps to numbers; check them now rather
  // than when a conversion starts. The disc profiles' sizes are not read.
  if (!IsDiscProfile(n)) CheckSizeLine(block.sizeLine, path, n);
  if (IsTableProfile(n)) {
    std::vector<std::string> pieces = SplitBlankList(block.rateLine);
    bool audio = block.rateLine == "*" && SplitBlankList(block.sizeLine).size() <= 1;
    for (size_t i = 0; !audio && i < pieces.size() && i < 5; ++i) {
      if (!WholeNumberUpTo(pieces[i], kMaxRateStepKbps))
        throw ProfileFileError("The video rate \"" + pieces[i] + "\"" + Where(path, n, 3) +
                               " is not a whole number of kbit/s up to " + std::to_string(kMaxRateStepKbps));
    }
  }
  return block;
}

void ProfileState::SelectProfile(int n) {
  if (!ProfileInfo(n)) throw CommandError("There is no profile " + std::to_string(n));
  Block block = ReadBlock(n);
  // The choices file is read before anything changes as well.
  IniFile choices(settings_.ChoicesPath());
  ShowProfileName(n);
  if (lastSelected != 0) SaveChoicesTo(lastSelected, choices);
  currentProfile = n;
  FillSizeList(block.sizeLine);
  ApplyRateLine(n, block.rateLine);
  profileOptions = OptionField::Written(SplitCommandLine(block.optionLine), block.optionLine);
  RestoreChoicesFrom(n, choices);
  lastSelected = n;
  emit listsChanged();
  emit profileChanged(n);
  if (selectedHook) selectedHook();
}

void ProfileState::SaveProfileChoices(int n) {
  IniFile ini(settings_.ChoicesPath());
  SaveChoicesTo(n, ini);
}

void ProfileState::RestoreProfileChoices(int n) {
  IniFile ini(settings_.ChoicesPath());
  RestoreChoicesFrom(n, ini);
}

void ProfileState::SaveChoicesTo(int n, IniFile& ini) {
  ChoiceKeys keys = ChoiceKeysOf(n);
  if (keys == ChoiceKeys::None || settings_.readOnly) return;
  std::string section = std::to_string(n);
  for (ChoiceKey key : {ChoiceKey::Size, ChoiceKey::Video, ChoiceKey::Audio, ChoiceKey::Channel}) {
    if (keys == ChoiceKeys::AudioOnly && (key == ChoiceKey::Size || key == ChoiceKey::Video)) continue;
    ini.SetInt(section, KeyName(key), ListOf(key).selected);
  }
  ini.Save();  // a file that cannot be written loses the choices silently
}

void ProfileState::RestoreChoicesFrom(int n, const IniFile& ini) {
  ChoiceKeys keys = ChoiceKeysOf(n);
  if (keys == ChoiceKeys::None) return;
  std::string section = std::to_string(n);
  bool dvd = program_.DvdMode();
  for (ChoiceKey key : {ChoiceKey::Size, ChoiceKey::Video, ChoiceKey::Audio, ChoiceKey::Channel}) {
    if (keys == ChoiceKeys::AudioOnly && (key == ChoiceKey::Size || key == ChoiceKey::Video)) continue;
    ChoiceList& list = ListOf(key);
    int index = ini.GetInt(section, KeyName(key), DefaultChoice(n, key, dvd));
    list.selected = (index >= 0 && index < int(list.items.size())) ? index : -1;
  }
  emit listsChanged();
}

}  // namespace pcm
