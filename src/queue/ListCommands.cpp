#include "queue/ListCommands.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/WholeNumber.h"
#include "engine/EventPump.h"
#include "engine/MediaNames.h"
#include "engine/MediaProbe.h"
#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "profiles/Settings.h"
#include "queue/ConversionList.h"
#include "queue/OptionAssembly.h"
#include "ui/CommandError.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

const char* const ListCommands::kOpenFilter =
    "All Support Format|*.mp3;*.aac;*.m4a;*.ac3;*.wav;*.wma;*.ogg;|MP3 Format(*.mp3;)|*.mp3|WMA "
    "Format(*.wma;)|*.wma|AAC Format(*.aac;)|*.aac;|MPEG4 Audio Format(*.m4a;)|*.m4a;|WAV "
    "Format(*.wav)|*.wav|OGG Format(*.ogg)|*.ogg;|All File(*.*)|*.*;";

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : text) {
    if (c == sep) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

std::string Trimmed(const std::string& s) { return QString::fromStdString(s).trimmed().toStdString(); }

bool IsIfoFileName(const std::string& path) {
  return QString::fromStdString(path).endsWith(".ifo", Qt::CaseInsensitive);
}

}  // namespace

std::string ListCommands::QtFilterFromPairs(const std::string& filter) {
  auto parts = Split(filter, '|');
  std::string out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    // The description's own "(...)" note is replaced by Qt's pattern list.
    std::string desc = parts[i];
    size_t paren = desc.find('(');
    if (paren != std::string::npos) desc = desc.substr(0, paren);
    desc = Trimmed(desc);
    std::string patterns;
    for (const auto& p : Split(parts[i + 1], ';')) {
      std::string pat = Trimmed(p);
      if (pat.empty()) continue;
      if (pat == "*.*") pat = "*";
      if (!patterns.empty()) patterns += ' ';
      patterns += pat;
    }
    if (!out.empty()) out += ";;";
    out += desc + " (" + patterns + ")";
  }
  return out;
}

std::string ListCommands::ChooserFilter() {
  // The first filter takes every extension a folder gives, the sound and
  // video files this program converts in every layout; the others stay as
  // the system names them.
  std::string all = "All Support Format|";
  for (const std::string& e : MediaExtensions()) all += "*." + e + ";";
  const std::string system = kOpenFilter;
  const size_t first = system.find('|', system.find('|') + 1);
  return QtFilterFromPairs(all + system.substr(first));
}

std::string ListCommands::EntryName(const std::string& path) {
  // By its bytes: the output name is made from it, and a file name that is
  // not UTF-8 must keep them.
  std::string name = path.substr(path.rfind('/') + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  return name.substr(0, dot);
}

ListCommands::ListCommands(const Parts& parts)
    : probesAtOnce(std::max(1, QThread::idealThreadCount())), parts_(parts) {}

void ListCommands::SelectFirstWhenNone() {
  if (parts_.list.Count() > 0 && !parts_.list.AnySelected()) parts_.list.SetSelected(0, true);
}

// Adding waits for the files' probes with events running, so the person may
// ask for another add meanwhile. Adds are one at a time: the new add is
// refused with a notice until the running one is done, so no row can take
// the values of another file's probe.
bool ListCommands::RefusedWhileAdding() {
  if (adding_ == 0) return false;
  parts_.notifier.ui().Information(kStillAdding);
  return true;
}

void ListCommands::AddFiles() {
  if (parts_.notifier.Refused(false, true) || RefusedWhileAdding()) return;
  Adding busy(adding_);
  auto files = parts_.notifier.ui().ChooseFiles(ChooserFilter());
  if (!files.empty()) {
    if (showListHook) showListHook();
    AddFileList(files);
  }
  SelectFirstWhenNone();
  ListClicked();
  parts_.notifier.UpdateCommandStates();
}

void ListCommands::AddFolder() {
  if (parts_.notifier.Refused(false, true) || RefusedWhileAdding()) return;
  auto folder = parts_.notifier.ui().ChooseFolder("File Directory");
  if (!folder || folder->empty()) return;
  AddFolderPath(*folder);
}

int ListCommands::AddFolderPath(const std::string& folder) {
  Adding busy(adding_);
  if (showListHook) showListHook();
  std::vector<FoundFile> files;
  int failed = 0;
  if (parts_.settings.keepFolders) {
    // The whole tree in name order, each file with its folder below this
    // one. Folders that cannot be read are named in one notice; a link back
    // into the tree is simply not followed again.
    std::string unreadable;
    failed = ListFolderTree(folder, true, IsMediaFileName, files,
                            [&](const std::string& path, const std::string& why, bool cannotRead) {
                              if (cannotRead) unreadable += "\n" + path + ": " + why;
                            });
    if (!unreadable.empty()) parts_.notifier.ui().Information("Some folders were left out:" + unreadable);
  } else {
    // Regular files only, hidden ones included, no recursion, in byte
    // order of their names as the command line takes them (the file
    // system's order is no order a person can follow). Pipes and devices
    // are left out: probing one would wait for a writer that never comes.
    // Names are kept as bytes, so one that is not UTF-8 still opens.
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
      while (const dirent* e = readdir(d)) names.emplace_back(e->d_name);
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string base = folder;
    if (base.empty() || base.back() != '/') base += '/';
    for (const std::string& n : names) {
      struct stat st;
      // Another run's unfinished output is not media to convert.
      if (!IsMediaFileName(n) || IsReservedOutputName(n) || stat((base + n).c_str(), &st) != 0 ||
          !S_ISREG(st.st_mode))
        continue;
      files.push_back({base + n, {}});
    }
  }
  failed += AddFileList(files);
  SelectFirstWhenNone();
  parts_.notifier.UpdateCommandStates();
  return failed;
}

int ListCommands::AddFileList(const std::vector<std::string>& paths, size_t* tried) {
  std::vector<FoundFile> files;
  files.reserve(paths.size());
  for (const std::string& p : paths) files.push_back({p, {}});
  return AddFileList(files, tried);
}

ListRow ListCommands::UnprobedRow(const FoundFile& file) {
  ListRow row;
  row.entry.sourcePath = file.path;
  row.caption = EntryName(file.path);
  row.filePath = file.path;
  row.outputSubfolder = file.subfolder;
  return row;
}

int ListCommands::AddFileList(const std::vector<FoundFile>& files, size_t* tried) {
  Adding busy(adding_);
  profileFault_ = false;
  int failed = 0;
  if (tried) *tried = 0;
  // With rowAddedHook each row comes as soon as its file is described,
  // while the probes of the files after it run on. Then one probe run at a
  // time is enough: a file is described in a fraction of the time it takes
  // to convert, and a second run would load the media libraries once more
  // beside the conversions.
  const bool eachAtOnce = bool(rowAddedHook);
  const int places = eachAtOnce ? 1 : std::max(1, probesAtOnce);
  // The files skipped without a probe, by the output that is there.
  std::vector<std::string> skipAs(files.size());
  if (unprobedSkipHook)
    for (size_t k = 0; k < files.size(); ++k) skipAs[k] = unprobedSkipHook(UnprobedRow(files[k]));
  // Descriptions of the files from `probedFrom` on, probed ahead together;
  // `probeIndex` is a file's place among the probed ones, -1 for a file not
  // probed (it is no regular file).
  std::vector<ProbeResult> probed;
  std::vector<long> probeIndex;
  size_t probedFrom = 0;
  QElapsedTimer sinceEvents;
  const uint64_t clearsAtStart = clears_;
  bool gaveUp = false;
  for (size_t i = 0; i < files.size(); ++i) {
    // Safe to run events here: every list command checks its flags, and an
    // add asked for now is refused while this one runs. The rows of a probed
    // group come at once; a view redrawn for each of them spent more than
    // the probes took, so events run about once a frame.
    if (!sinceEvents.isValid() || sinceEvents.elapsed() >= kEventsEveryMs) {
      ProcessPendingEvents();
      sinceEvents.start();
    }
    if (stopAddingHook && stopAddingHook()) {
      gaveUp = true;
      break;
    }
    if (!skipAs[i].empty()) {
      ListRow row = UnprobedRow(files[i]);
      row.outputFile = skipAs[i];
      row.state = EntryState::Skipped;
      row.checked = false;
      AppendRow(std::move(row));
      if (tried) ++*tried;
      continue;
    }
    if (i >= probedFrom + probed.size()) {
      // The next group: a full run of the encoder for every probe place
      // (starting the encoder costs more than describing a file), few
      // enough that rows keep coming and a stop is asked often. The first
      // group starts at once with the first file: a probe run alone for it
      // would delay every batch by a whole encoder start. Only regular
      // files are probed: a pipe would keep its probe waiting.
      // Files skipped without a probe do not count towards a group.
      const size_t most = MediaProbe::kMaxFilesPerRun * size_t(places);
      std::vector<std::string> regular;
      probeIndex.clear();
      size_t end = i;
      for (size_t toProbe = 0; end < files.size() && toProbe < most; ++end) {
        struct stat st;
        const bool probe =
            skipAs[end].empty() && stat(files[end].path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        probeIndex.push_back(probe ? long(regular.size()) : -1);
        if (!skipAs[end].empty()) continue;
        ++toProbe;
        if (probe) regular.push_back(files[end].path);
      }
      probedFrom = i;
      parts_.probe.StartAll(regular, places);
      probed.assign(end - i, ProbeResult{});
      if (!eachAtOnce) {
        std::vector<ProbeResult> results = parts_.probe.WaitForAll();
        for (size_t k = 0; k < probed.size(); ++k)
          if (probeIndex[k] >= 0) probed[k] = results[size_t(probeIndex[k])];
      }
      // A stop during the group gives every file of it up without a notice.
      if (parts_.probe.Stopped()) break;
    }
    const long index = probeIndex[i - probedFrom];
    if (eachAtOnce && index >= 0) {
      probed[i - probedFrom] = parts_.probe.WaitFor(size_t(index));
      if (parts_.probe.Stopped()) break;
    }
    // The list was cleared meanwhile: the person wants it empty.
    if (clears_ != clearsAtStart) {
      gaveUp = true;
      break;
    }
    if (!AddWithRetry(files[i], index >= 0 ? &probed[i - probedFrom] : nullptr)) ++failed;
    if (tried) ++*tried;
    // Every other file would fail on the same block: it was said once.
    if (profileFault_ || parts_.probe.Stopped()) {
      gaveUp = true;
      break;
    }
  }
  // Files left out need no description.
  if (gaveUp) parts_.probe.GiveUpAll();
  return failed;
}

void ListCommands::AppendRow(ListRow row) {
  const int pos = parts_.list.Append(std::move(row));
  // While a batch converts, its position is the entry converting: the one
  // progress without a row of its own goes there.
  if (!parts_.run.converting) parts_.list.currentPosition = pos;
  if (rowAddedHook) rowAddedHook(pos);
}

bool ListCommands::AddFileWithRetry(const std::string& path) { return AddWithRetry({path, {}}, nullptr); }

bool ListCommands::AddWithRetry(const FoundFile& file, const ProbeResult* described) {
  const std::string& path = file.path;
  try {
    // A probe given up on a stop request ends the adding without a second
    // try and without a notice.
    bool first = described ? AddDescribedEntry(file, *described) : AddFileEntry(path, file.subfolder);
    if (first || (!parts_.probe.Stopped() && AddFileEntry(path, file.subfolder))) return true;
  } catch (const ProfileFileError& e) {
    // The profile's block is at fault, not the file: say which block.
    parts_.notifier.ui().Error(e.what());
    profileFault_ = true;
    return false;
  }
  if (parts_.probe.Stopped()) return false;
  // The whole path: files of one name from several folders are told apart.
  // The encoder's own failure says more than calling the file unsupported.
  if (!parts_.probe.result.ProbeFailure.empty()) {
    parts_.notifier.ui().Information(path + " cannot be added: " + parts_.probe.result.ProbeFailure);
    return false;
  }
  // A file the probe was not allowed to read may well be media: say why.
  if (access(path.c_str(), R_OK) != 0 && errno == EACCES) {
    parts_.notifier.ui().Information(path + " cannot be read: permission denied");
    return false;
  }
  parts_.notifier.ui().InformationWithReason(path + " is not support!", refusal_);
  return false;
}

bool ListCommands::AddFileEntry(const std::string& path, const std::string& subfolder) {
  // Only regular files are media: a pipe or a device would keep the probe
  // waiting, a missing file has nothing to describe.
  struct stat st;
  const bool found = stat(path.c_str(), &st) == 0;
  if (!found || !S_ISREG(st.st_mode)) {
    const int error = errno;
    // No description: the notice must not take another file's reason.
    parts_.probe.result = ProbeResult{};
    refusal_ = !found                ? std::string(std::strerror(error)) + "."
               : S_ISDIR(st.st_mode) ? "It is a folder, not a file."
                                     : "It is no regular file but a pipe or a device.";
    return false;
  }
  Adding busy(adding_);
  parts_.probe.ProbeAndWait(path);
  const ProbeResult described = parts_.probe.result;
  return AddDescribedEntry({path, subfolder}, described);
}

bool ListCommands::AddDescribedEntry(const FoundFile& file, const ProbeResult& p) {
  const std::string& path = file.path;
  const MediaInfo& m = p.media;
  const StreamInfo* video = MainVideo(m.streams);
  const StreamInfo* audio = ChosenAudio(m.streams);
  if (!m.described) {
    // The library's reason without the path, which the notice names.
    std::string why = p.fileError;
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    if (!why.empty() && why.back() != '.') why += '.';
    refusal_ = why.empty() ? "The encoder could not describe it." : why;
    return false;
  }
  if (!video && !audio) {
    refusal_ = "It holds no picture and no sound the encoder can read.";
    return false;
  }
  // No file can carry more than its size over its length: a stated rate
  // beyond that (a broken header) would become the encoder's target.
  // A bound below any real medium's rate means the stated length is the
  // lie (a header claiming 999 hours): then it bounds nothing.
  int64_t bound = RateBoundKbps(m.bytes, m.durationMs);
  if (bound < 4) bound = 0;
  auto capped = [bound](int64_t kbps) { return bound > 0 ? std::min(kbps, bound) : kbps; };
  int64_t total = capped(m.kbps);
  int64_t a = audio ? capped(audio->kbps) : 0;
  int64_t v = video ? capped(video->kbps) : 0;
  if (total <= 0) total = v + a;
  if (total <= 0 && bound <= 0) {
    refusal_ = "Neither its bit rate nor its length can be told.";
    return false;
  }
  // The rates the file does not state are what is left of the total.
  if (video && v <= 0) v = std::max<int64_t>(0, total - a);
  if (audio && a <= 0) a = std::max<int64_t>(0, total - v);

  ListRow row;
  row.entry.sourcePath = path;
  if (video) {
    FrameSize shown = DisplayedSize(*video);
    row.entry.width = shown.width;
    row.entry.height = shown.height;
  }
  // A length beyond 999 hours is no real one: it counts as unknown.
  constexpr int64_t kMaxSeconds = 999 * 3600 + 59 * 60 + 59;
  const int64_t seconds = WholeSeconds(m.durationMs);
  const std::string duration = m.durationMs < 0        ? "N/A"
                               : seconds > kMaxSeconds ? std::string()
                                                       : FormatClock(int32_t(seconds));
  row.entry.duration = duration;
  row.entry.videoKbps = video && v > 0 ? int32_t(v) : 768;
  row.entry.audioKbps = audio && a > 0 ? int32_t(a) : 128;
  // Other containers' stream tags name the track (a film's "Commentary"),
  // not the work, and carry values of their own (a track's length).
  row.entry.soundKeepsTags = m.container == "ogg" && audio && audio->tagged && !m.tagged;
  row.entry.streams = m.streams;
  row.trim.total = ParseClock(duration);
  row.trim.begin = 0;
  row.trim.end = row.trim.total;
  row.caption = EntryName(path);
  row.filePath = path;
  row.outputSubfolder = file.subfolder;
  row.time = duration;
  row.state = EntryState::Waiting;
  row.checked = true;
  try {
    row.outputSize = parts_.options.EstimateOutputSize(row);
  } catch (const ProfileFileError&) {
    throw;
  } catch (const std::exception& e) {
    // The estimate could not be made from these values: the file is not
    // usable, and the callers' second attempt and notice apply.
    refusal_ = e.what();
    return false;
  }
  AppendRow(std::move(row));
  return true;
}

void ListCommands::AddDropped(const std::vector<std::string>& paths) {
  if (paths.empty() || parts_.notifier.Refused(true, true) || RefusedWhileAdding()) return;
  Adding busy(adding_);
  if (showListHook) showListHook();
  // Files dropped next to each other are added together, so their probes
  // run at the same time; a folder or a DVD adds its rows where it stands.
  // False when the files ended the drop (a stop, or a fault of the profile
  // file, which every other file would meet as well).
  std::vector<std::string> files;
  auto addFiles = [&] {
    if (files.empty()) return true;
    AddFileList(files);
    files.clear();
    return !profileFault_ && !parts_.probe.Stopped();
  };
  bool goOn = true;
  for (const std::string& path : paths) {
    struct stat st;
    const bool folder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    // Only a folder or an IFO file can be a DVD; other files stay together.
    const bool dvdHook = parts_.program.DvdMode() && dropDvdHook && (folder || IsIfoFileName(path));
    if (!folder && !dvdHook) {
      files.push_back(path);
      continue;
    }
    if (!(goOn = addFiles())) break;
    if (dvdHook && dropDvdHook(path)) continue;
    // Each add runs events; a stop asked for meanwhile ends the drop there.
    if (stopAddingHook && stopAddingHook()) {
      goOn = false;
      break;
    }
    if (!folder) {
      files.push_back(path);
      continue;
    }
    profileFault_ = false;
    AddFolderPath(path);
    if (profileFault_) {
      goOn = false;
      break;
    }
  }
  if (goOn) addFiles();
  SelectFirstWhenNone();
  ListClicked();
  parts_.notifier.UpdateCommandStates();
}

void ListCommands::RemoveSelected() {
  if (parts_.notifier.Refused(true, true)) return;
  if (!parts_.list.AnySelected()) return;
  // The rows to remove are taken before any goes and removed as one change:
  // whatever a view does with its selection while it catches up, the rows
  // that go are exactly the ones selected now. Each row carries its own
  // records, so removing it keeps the rest aligned.
  std::vector<int> chosen;
  for (int k = 0; k < parts_.list.Count(); ++k)
    if (parts_.list.Row(k).selected) chosen.push_back(k);
  parts_.list.RemoveRows(chosen);
  // The row that followed the last removed one is selected next.
  int next = chosen.back() - int(chosen.size()) + 1;
  renameRow = -1;
  if (parts_.list.Count() > 0) {
    parts_.list.SelectOnly(std::min(next, parts_.list.Count() - 1));
    if (focusListHook) focusListHook();
  }
  // The length and the DVD selectors show the row selected now; the
  // command states follow with them.
  ListClicked();
}

void ListCommands::ClearList() {
  if (parts_.notifier.Refused(true, true)) return;
  if (parts_.list.Count() > 0 && parts_.notifier.ui().Confirm(parts_.notifier.LoadMessage(29))) {
    parts_.list.Clear();
    renameRow = -1;
    ++clears_;
    // Nothing is selected now: no length, no streams; the command states
    // follow with them.
    ListClicked();
    return;
  }
  parts_.notifier.UpdateCommandStates();
}

std::optional<std::string> ListCommands::BeginRename() {
  int i = parts_.list.FirstSelected();
  if (i < 0) return std::nullopt;
  renameRow = i;
  return parts_.list.Row(i).caption;
}

void ListCommands::EndRename(const std::string& text) {
  int i = renameRow;
  renameRow = -1;
  if (text.empty() || !parts_.list.Valid(i)) return;
  // The editor holds the name as shown: for one that is not UTF-8 that is
  // not its bytes, so a name confirmed unchanged keeps them.
  const std::string& caption = parts_.list.Row(i).caption;
  if (QString::fromStdString(caption).toStdString() == text) return;
  parts_.list.SetCaption(i, text);
}

void ListCommands::CheckAll() {
  for (int i = 0; i < parts_.list.Count(); ++i) parts_.list.SetChecked(i, true);
  parts_.notifier.UpdateCommandStates();
}

void ListCommands::UncheckAll() {
  for (int i = 0; i < parts_.list.Count(); ++i) parts_.list.SetChecked(i, false);
  parts_.notifier.UpdateCommandStates();
}

void ListCommands::ListClicked() {
  if (parts_.run.converting || parts_.run.previewing) return;
  int i = parts_.list.FirstSelected();
  parts_.notifier.UpdateCommandStates();
  if (i < 0) {
    // Nothing selected (the list emptied, say): no length of a row that is
    // gone, and the DVD selectors say nothing either.
    parts_.notifier.display().SetText("alltime", "00:00:00");
    if (parts_.program.DvdMode() && dvdClickedHook) dvdClickedHook();
    return;
  }
  parts_.notifier.display().SetText("alltime", parts_.list.Row(i).entry.duration);
  parts_.list.previewedEntry = i;
  if (parts_.program.DvdMode() && dvdClickedHook) dvdClickedHook();
}

}  // namespace pcm
