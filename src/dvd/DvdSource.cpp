#include "dvd/DvdSource.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "dvd/DriveWait.h"
#include "dvd/DvdRowSource.h"
#include "engine/EventPump.h"
#include "engine/Progress.h"
#include "queue/ConversionList.h"
#include "queue/OptionAssembly.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The span of a title or chapter as the listing judges it: last minus first
// sector as signed numbers, so a range given backwards counts as nothing.
int64_t Span(uint32_t first, uint32_t last) { return int64_t(int32_t(last)) - int64_t(int32_t(first)); }

constexpr int64_t kMinimumSectors = 1000;

// Marks the scan as running for as long as it lives.
struct ListingGuard {
  ListingGuard(bool& flag, const std::function<void(bool)>& enable) : flag_(flag), enable_(enable) {
    flag_ = true;
    if (enable_) enable_(false);
  }
  ~ListingGuard() {
    flag_ = false;
    if (enable_) enable_(true);
  }
  ListingGuard(const ListingGuard&) = delete;
  ListingGuard& operator=(const ListingGuard&) = delete;
  bool& flag_;
  const std::function<void(bool)>& enable_;
};

}  // namespace

DvdSource::DvdSource(const Parts& parts, IfoOpener opener) : parts_(parts), opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const std::string& path) { return ifo::ifoOpen(path, 0); };
}

std::string DvdSource::FrameSize(const std::string& description) {
  size_t first = description.find(' ');
  if (first == std::string::npos) return {};
  size_t second = description.find(' ', first + 1);
  if (second == std::string::npos) return {};
  return description.substr(first + 1, second - first - 1);
}

void DvdSource::ApplyVideoDescription(Toriginalinfo& entry, const std::string& description) {
  // "MPEG-2 720x576 PAL 16:9": the stored size and the shape it is shown in.
  const std::string frame = FrameSize(description);
  size_t x = frame.find('x');
  StreamInfo video;
  video.kind = StreamInfo::Kind::Video;
  video.codec = description.rfind("MPEG-1", 0) == 0 ? "mpeg1video" : "mpeg2video";
  video.width = x == std::string::npos ? 0 : std::atoi(frame.substr(0, x).c_str());
  video.height = x == std::string::npos ? 0 : std::atoi(frame.substr(x + 1).c_str());
  if (video.width <= 0 || video.height <= 0) return;
  const bool wide = description.size() >= 4 && description.compare(description.size() - 4, 4, "16:9") == 0;
  // The pixel aspect that makes the stored frame the shown shape.
  video.sarNum = (wide ? 16 : 4) * video.height;
  video.sarDen = (wide ? 9 : 3) * video.width;
  pcm::FrameSize shown = DisplayedSize(video);
  entry.width = shown.width;
  entry.height = shown.height;
  entry.streams = {video};
}

bool DvdSource::Busy() { return listing_; }

bool DvdSource::TitleView() const { return parts_.run.titleView; }

std::optional<std::vector<bool>>& DvdSource::CurrentChecks() {
  return parts_.run.titleView ? titleChecks_ : chapterChecks_;
}

namespace {

// A DVD row's part of its disc, which a listing in either view finds again.
std::string PartKey(const ListRow& row) {
  const DvdRowData& d = *row.dvd;
  return d.file->ifoPath + '\n' + std::to_string(d.programChain) + (d.chapter ? ":c:" : ":t:") +
         std::to_string(d.firstSector) + ":" + std::to_string(d.lastSector);
}

bool IsListedDvdRow(const ListRow& row) { return row.dvd && row.dvd->file; }

// A caption as the listing numbers rows ("Title_04", "  Chapter_02"), which
// differs between the views; any other is a name the person gave.
bool IsListedName(const std::string& caption) {
  for (const char* head : {"Title_", "  Chapter_"}) {
    const std::string h = head;
    if (caption.size() > h.size() && caption.compare(0, h.size(), h) == 0 &&
        caption.find_first_not_of("0123456789", h.size()) == std::string::npos)
      return true;
  }
  return false;
}

}  // namespace

int DvdSource::DvdRowCount() const {
  int n = 0;
  for (const ListRow& row : parts_.list.Rows()) n += IsListedDvdRow(row) ? 1 : 0;
  return n;
}

void DvdSource::ForgetUnlisted() {
  // A disc whose rows were all removed is not listed again by a toggle,
  // and may be added anew.
  std::vector<std::string> kept;
  for (const std::string& path : files_) {
    // A title set of a listed disc that could not be read stays too: it
    // keeps its place in the titles' numbering.
    const std::string folder = path.substr(0, path.rfind('/'));
    if (std::any_of(parts_.list.Rows().begin(), parts_.list.Rows().end(), [&](const ListRow& r) {
          return IsListedDvdRow(r) && (r.dvd->file->ifoPath == path || r.dvd->file->folder == folder);
        })) {
      kept.push_back(path);
      continue;
    }
    // What was chosen for its rows goes with it.
    for (auto it = kept_.begin(); it != kept_.end();)
      it = it->second.dvd->file->ifoPath == path ? kept_.erase(it) : std::next(it);
  }
  if (kept.size() != files_.size()) FilesChanged();
  files_ = std::move(kept);
}

void DvdSource::FilesChanged() {
  // The marks stored for the view not shown count its rows in order; with
  // other files they would fall on other rows.
  (parts_.run.titleView ? chapterChecks_ : titleChecks_).reset();
}

void DvdSource::OpenDvdFolder() {
  if (Busy() || parts_.notifier.Refused(true, true)) return;
  std::optional<std::string> folder = parts_.notifier.ui().ChooseFolder(parts_.notifier.LoadMessage(32));
  if (folder && !folder->empty()) {
    OpenFolderPath(*folder);
    return;
  }
  parts_.notifier.UpdateCommandStates();
}

bool DvdSource::OpenFolderPath(const std::string& folder) {
  if (Busy()) return false;
  // The disc's rows come after what the list holds: nothing a person put
  // there, trimmed or chose is thrown away.
  const int before = parts_.list.Count();
  sawListed_ = false;
  unreadable_.clear();
  const bool found = AddFolderPath(folder);
  // IFO files that give no title at all would otherwise leave the list as
  // it was without a word: the person hears that no titles were found. A
  // disc listed already just has its main title selected.
  if (parts_.list.Count() == before && sawListed_) {
    if (int main = LongestEntry(0, before); main >= 0) parts_.list.SelectOnly(main);
    // The selectors and the length show the row selected now.
    ShowClicked();
    // After the selection, whose showing may write the hint line.
    parts_.notifier.display().SetText("hint", "The disc in " + folder + " is on the list already.");
  } else if (parts_.list.Count() == before) {
    parts_.notifier.ui().Information(parts_.notifier.LoadMessage(33));
    // Nothing was added: the selectors and the length show the list's
    // selected row as it is.
    ShowClicked();
  } else {
    ShowListed(before, parts_.list.Count());
  }
  // After the message, whose reading writes the hint line.
  ShowUnreadable();
  Changed();
  parts_.notifier.UpdateCommandStates();
  return found;
}

namespace {

bool IsIfoName(const std::string& name) {
  std::string lower = Lower(name);
  return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".ifo") == 0;
}

// A folder that Add DVD would list: it holds IFO files or a VIDEO_TS folder.
bool HoldsDvd(const std::string& folder) {
  bool found = false;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      struct stat st;
      if (name == "." || name == ".." || stat((folder + "/" + name).c_str(), &st) != 0) continue;
      if ((S_ISDIR(st.st_mode) && Lower(name) == "video_ts") || (S_ISREG(st.st_mode) && IsIfoName(name))) {
        found = true;
        break;
      }
    }
    closedir(dir);
  }
  return found;
}

}  // namespace

DvdPath DvdPathOf(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return DvdPath::None;
  if (S_ISREG(st.st_mode))
    return IsIfoName(path.substr(path.rfind('/') + 1)) ? DvdPath::IfoFile : DvdPath::None;
  if (!S_ISDIR(st.st_mode)) return DvdPath::None;
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  name = name.substr(name.rfind('/') + 1);
  return Lower(name) == "video_ts" || HoldsDvd(path) ? DvdPath::Folder : DvdPath::None;
}

bool DvdSource::OpenDropped(const std::string& path) {
  const DvdPath kind = DvdPathOf(path);
  // A disc handed over during a preview or a conversion is refused as Add
  // DVD would be; it is taken care of all the same, not added as a folder.
  if (kind != DvdPath::None && parts_.notifier.Refused(true, true)) return true;
  switch (kind) {
    case DvdPath::IfoFile:
      OpenIfoPaths({path});
      return true;
    case DvdPath::Folder:
      OpenFolderPath(path);
      return true;
    default:
      return false;
  }
}

bool DvdSource::AddFolderPath(const std::string& folder) {
  if (Busy()) return false;
  ListingGuard guard(listing_, listEnabledHook);
  // Once before the folder's files: a title set of it that cannot be read
  // has no rows until the next set's are listed.
  ForgetUnlisted();
  if (OnOpticalDrive(folder)) WaitForDrive(MountPointOf(folder));
  return ScanForIfoFiles(folder);
}

void DvdSource::AddIfoPath(const std::string& ifoPath) {
  // A disc listed already is not listed twice.
  if (std::find(files_.begin(), files_.end(), ifoPath) != files_.end()) {
    sawListed_ = true;
    return;
  }
  files_.push_back(ifoPath);
  FilesChanged();
  ListFile(ifoPath, !parts_.run.titleView);
}

bool DvdSource::ScanForIfoFiles(const std::string& folder) {
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';
  std::vector<std::string> names;
  if (DIR* dir = opendir(base.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  // The file system's own order is arbitrary on Linux; by name, title set 1
  // comes before title set 2.
  std::sort(names.begin(), names.end());
  bool found = false;
  for (const std::string& name : names) {
    // The window stays responsive through a long scan; the DVD commands
    // refuse while it runs and the window disables the list.
    ProcessPendingEvents();
    std::string lower = Lower(name);
    std::string path = base + name;
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode) && lower == "video_ts") {
      if (ScanForIfoFiles(path)) {
        found = true;
        break;
      }
      continue;
    }
    // A folder, a pipe or a broken link under an IFO file's name is listed
    // too, as a title set that cannot be read.
    if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".ifo") != 0 || lower == "video_ts.ifo")
      continue;
    AddIfoPath(path);
    found = true;
  }
  return found;
}

ListRow DvdSource::Completed(ListRow row) const {
  row.entry.duration = FormatClock(row.dvd->seconds);
  row.time = row.entry.duration;
  // The second column shows the stored frame size.
  const StreamInfo* video = MainVideo(row.entry.streams);
  row.filePath = video ? std::to_string(video->width) + "x" + std::to_string(video->height) : std::string();
  row.state = EntryState::Ready;
  row.checked = true;
  try {
    row.outputSize = parts_.options.EstimateOutputSize(row);
  } catch (const std::exception&) {
    // A profile that cannot estimate leaves the column empty; the row is
    // listed all the same.
  }
  return row;
}

void DvdSource::ListFile(const std::string& ifoPath, bool chapters) {
  // Titles are numbered on from the DVD rows listed, whatever file rows
  // stand beside them; a title set that cannot be read keeps one number:
  // the titles after it are numbered as if it listed one title.
  const int listed = DvdRowCount() + UnreadableTitles();
  bool unreadable = false;
  std::vector<LostTitle> lost;
  for (ListRow& row : RowsOfFile(ifoPath, chapters, listed, &unreadable, &lost))
    parts_.list.Append(Completed(std::move(row)));
  if (unreadable) NoteUnreadable(ifoPath);
  NoteLostTitles(ifoPath, lost);
}

int DvdSource::UnreadableTitles() const {
  int n = 0;
  for (const Unreadable& u : unreadable_) n += u.titles;
  return n;
}

void DvdSource::NoteLostTitles(const std::string& ifoPath, const std::vector<LostTitle>& lost) {
  if (lost.empty()) return;
  const std::string name = ifoPath.substr(ifoPath.rfind('/') + 1);
  std::string titles;
  for (const LostTitle& t : lost)
    titles += (titles.empty() ? "" : ", ") + ("Title_" + TwoDigitNumber(t.number)) + " (program chain " +
              std::to_string(t.chain) + ")";
  const int set = ifo::TitleSetFromName(name);
  unreadable_.push_back({ifoPath,
                         "title set " + std::to_string(set) + ": " + titles + " cannot be read: " + name +
                             " and its backup are damaged there; " +
                             (lost.size() == 1 ? "it is" : "they are") + " left out",
                         int(lost.size())});
}

void DvdSource::NoteUnreadable(const std::string& ifoPath) {
  const std::string name = ifoPath.substr(ifoPath.rfind('/') + 1);
  const int set = ifo::TitleSetFromName(name);
  struct stat st;
  const bool file = stat(ifoPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  unreadable_.push_back({ifoPath, (set > 0 ? "title set " + std::to_string(set) + " cannot be read: "
                                           : std::string("cannot be read: ")) +
                                      name + (file ? " and its backup are damaged" : " is not a file") +
                                      "; its titles are left out"});
}

void DvdSource::ShowUnreadable() {
  if (unreadable_.empty()) return;
  std::string hint;
  for (const Unreadable& u : unreadable_) {
    std::string sentence = u.why + ".";
    sentence[0] = char(std::toupper(static_cast<unsigned char>(sentence[0])));
    hint += (hint.empty() ? "" : " ") + sentence;
  }
  parts_.notifier.display().SetText("hint", hint);
}

std::vector<ListRow> DvdSource::RowsOfFile(const std::string& ifoPath, bool chapters, int listed,
                                           bool* unreadable, std::vector<LostTitle>* lost) const {
  std::vector<ListRow> rows;
  ifo::Handle handle = opener_(ifoPath);
  if (unreadable) *unreadable = !handle;
  if (!handle) return rows;
  const ifo::IfoFile* h = handle.get();
  auto file = std::make_shared<DvdFileRecord>();
  file->ifoPath = ifoPath;
  file->folder = h->folder;
  file->titleSet = h->titleSet;
  for (const ifo::StreamInfo& a : h->audio) file->audio.push_back(a.description);
  for (const ifo::StreamInfo& p : h->subpictures) file->subtitles.push_back(p.description);
  const int audioId = file->audio.empty() ? 0 : StreamIdValue(StreamIdFromText(file->audio.front()));
  const std::string& description = h->videoDescription;

  // A damaged chain keeps the number its title would have had, so the
  // titles after it keep their names.
  size_t damaged = 0;
  int kept = 0;
  auto keepNumbers = [&](int beforeChain) {
    for (; damaged < h->damagedChains.size() && h->damagedChains[damaged] < beforeChain; ++damaged, ++kept)
      if (lost) lost->push_back({h->damagedChains[damaged], listed + int(rows.size()) + kept + 1});
  };
  for (const ifo::TitleInfo& t : h->titles) {
    keepNumbers(t.programChain);
    const std::vector<ifo::ChapterInfo>& cells = t.chapters;
    if (cells.empty()) continue;
    const int32_t seconds = ifo::SecondsFromTime(t.hours, t.minutes, t.seconds);
    if (seconds == 0) continue;
    const uint32_t first = cells.front().firstSector;
    const uint32_t last = cells.back().lastSector;
    if (Span(first, last) < kMinimumSectors) continue;

    DvdRowData title;
    title.file = file;
    title.programChain = t.programChain;
    title.firstSector = first;
    title.lastSector = last;
    for (const ifo::ChapterInfo& c : cells) title.sectors.push_back({c.firstSector, c.lastSector});
    title.seconds = seconds;
    title.begin = 0;
    title.end = seconds;
    title.audioId = audioId;
    ListRow row;
    row.caption = "Title_" + TwoDigitNumber(listed + int(rows.size()) + kept + 1);
    ApplyVideoDescription(row.entry, description);
    row.trim = {seconds, 0, seconds};
    row.dvd = title;
    rows.push_back(std::move(row));
    if (!chapters) continue;

    int32_t begin = 0;  // playing time of the cells before, listed or not
    for (size_t j = 0; j < cells.size(); ++j) {
      const int32_t cellSeconds = int32_t(cells[j].milliseconds / 1000);
      const int32_t cellBegin = begin;
      begin += cellSeconds;
      const uint32_t from = cells[j].firstSector, to = cells[j].lastSector;
      if (cellSeconds == 0 || Span(from, to) < kMinimumSectors) continue;
      DvdRowData chapter = title;
      chapter.chapter = true;
      chapter.firstSector = from;
      chapter.lastSector = to;
      chapter.sectors = {{from, to}};
      chapter.seconds = cellSeconds;
      chapter.begin = cellBegin;
      chapter.end = cellBegin + cellSeconds;
      ListRow chapterRow;
      chapterRow.caption = "  Chapter_" + TwoDigitNumber(int(j) + 1);
      ApplyVideoDescription(chapterRow.entry, description);
      chapterRow.trim = {cellSeconds, cellBegin, cellBegin + cellSeconds};
      chapterRow.dvd = chapter;
      rows.push_back(std::move(chapterRow));
    }
  }
  keepNumbers(INT_MAX);
  return rows;
}

int DvdSource::LongestEntry(int from, int to) const {
  int best = -1;
  int64_t bestSpan = -1;
  for (int i = std::max(0, from); i < std::min(to, parts_.list.Count()); ++i) {
    const auto& dvd = parts_.list.Row(i).dvd;
    if (!dvd) continue;
    int64_t span = Span(dvd->firstSector, dvd->lastSector);
    if (span > bestSpan) {
      bestSpan = span;
      best = i;
    }
  }
  return best;
}

int DvdSource::SelectLongestEntry() const { return std::max(0, LongestEntry(0, parts_.list.Count())); }

void DvdSource::RecordChecks() {
  std::vector<bool> marks;
  for (const ListRow& row : parts_.list.Rows())
    if (IsListedDvdRow(row)) marks.push_back(row.checked);
  CurrentChecks() = std::move(marks);
}

void DvdSource::ShowListed(int from, int to) {
  RecordChecks();
  parts_.list.SelectOnly(std::max(from, LongestEntry(from, to)));
  ShowClicked();
}

void DvdSource::ShowClicked() {
  if (listClickedHook)
    listClickedHook();
  else
    ListClickedEnd();
}

bool DvdSource::OpenIfoPaths(const std::vector<std::string>& paths) {
  if (Busy()) return false;
  // Added after what the list holds; a file that gives no rows changes
  // nothing and the rest are not read.
  const int before = parts_.list.Count();
  std::string refused;  // the file that gave no rows, and why
  std::string listed;   // a file listed before
  unreadable_.clear();
  ForgetUnlisted();
  for (const std::string& path : paths) {
    const int was = parts_.list.Count();
    const bool listedAlready = std::find(files_.begin(), files_.end(), path) != files_.end();
    AddIfoPath(path);
    if (listedAlready) listed = path;
    if (parts_.list.Count() == was && !listedAlready) {
      files_.erase(std::remove(files_.begin(), files_.end(), path), files_.end());
      const bool damaged = !unreadable_.empty() && unreadable_.back().ifoPath == path;
      struct stat st;
      refused = path + (!damaged ? " lists no titles"
                        : stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                            ? ": the file and its backup are damaged"
                            : " is not a file");
      break;
    }
  }
  if (parts_.list.Count() > before) ShowListed(before, parts_.list.Count());
  Changed();
  if (!refused.empty())
    parts_.notifier.ui().InformationWithReason(parts_.notifier.LoadMessage(34), refused + ".");
  else if (parts_.list.Count() == before && !listed.empty())
    parts_.notifier.display().SetText("hint", listed + " is on the list already.");
  // After the message, whose reading writes the hint line.
  ShowUnreadable();
  parts_.notifier.UpdateCommandStates();
  return refused.empty();
}

void DvdSource::OpenIfoFiles() {
  if (Busy() || parts_.notifier.Refused(true, true)) return;
  std::vector<std::string> chosen = parts_.notifier.ui().ChooseFiles("IFO Files (*.ifo *.IFO)");
  if (chosen.empty()) {
    parts_.notifier.UpdateCommandStates();
    return;
  }
  OpenIfoPaths(chosen);
}

void DvdSource::ToggleChapterView() {
  if (Busy() || parts_.notifier.Refused(true, true)) return;
  ForgetUnlisted();
  // The DVD rows shown now are kept with everything chosen for them (trim,
  // streams, name, mark, state) and come back as they were when their view
  // returns; file rows stay where they are.
  std::vector<ListRow> rows;
  int at = -1;
  for (const ListRow& row : parts_.list.Rows()) {
    if (!IsListedDvdRow(row)) {
      rows.push_back(row);
      rows.back().selected = false;
      continue;
    }
    if (at < 0) at = int(rows.size());
    kept_[PartKey(row)] = row;
  }
  if (at < 0) at = int(rows.size());
  parts_.run.titleView = !parts_.run.titleView;
  const std::optional<std::vector<bool>> marks = CurrentChecks();
  std::vector<ListRow> listed;
  unreadable_.clear();
  for (const std::string& path : files_) {
    bool unreadable = false;
    std::vector<LostTitle> lost;
    for (ListRow& row : RowsOfFile(path, !parts_.run.titleView, int(listed.size()) + UnreadableTitles(),
                                   &unreadable, &lost)) {
      // Each view keeps its own marks; a row listed before keeps the rest,
      // and its name when the person gave it one.
      const size_t k = listed.size();
      auto it = kept_.find(PartKey(row));
      if (it != kept_.end()) {
        if (!IsListedName(it->second.caption)) row.caption = it->second.caption;
        std::string caption = row.caption;
        row = it->second;
        row.caption = caption;
        row.selected = false;
        // Listed from its disc just now: a row restored while the disc was
        // away is found again.
        row.sourceMissing = false;
        listed.push_back(std::move(row));
      } else {
        listed.push_back(Completed(std::move(row)));
      }
      listed.back().checked = !marks || k >= marks->size() || (*marks)[k];
    }
    if (unreadable) NoteUnreadable(path);
    NoteLostTitles(path, lost);
  }
  const int count = int(listed.size());
  rows.insert(rows.begin() + at, std::make_move_iterator(listed.begin()),
              std::make_move_iterator(listed.end()));
  parts_.list.ReplaceAll(std::move(rows));
  if (count > 0) ShowListed(at, at + count);
  ShowUnreadable();
  Changed();
  parts_.notifier.UpdateCommandStates();
}

void DvdSource::CheckAll() {
  for (int i = 0; i < parts_.list.Count(); ++i) parts_.list.SetChecked(i, true);
  if (auto& checks = CurrentChecks()) std::fill(checks->begin(), checks->end(), true);
  Changed();
  parts_.notifier.UpdateCommandStates();
}

void DvdSource::UncheckAll() {
  for (int i = 0; i < parts_.list.Count(); ++i) parts_.list.SetChecked(i, false);
  if (auto& checks = CurrentChecks()) std::fill(checks->begin(), checks->end(), false);
  Changed();
  parts_.notifier.UpdateCommandStates();
}

void DvdSource::ListClickedEnd() {
  if (parts_.run.converting || parts_.run.previewing) return;
  const int selected = parts_.list.FirstSelected();
  if (selected < 0) {
    ShowEntryStreams(selected);
    return;
  }
  if (CurrentChecks()) {
    RecordChecks();
    Changed();
  }
  ShowEntryStreams(selected);
}

void DvdSource::ShowEntryStreams(int row) {
  if (!parts_.list.Valid(row) || !IsListedDvdRow(parts_.list.Row(row))) {
    // No disc's row is selected (none at all, a file row, a list cleared
    // or emptied): the selectors show what they show at the start, not
    // the streams of a row that is gone or another.
    selectors_ = Selectors{};
    selectors_.subtitles.clear();
    selectors_.subtitleIndex = -1;
    emit selectorsChanged();
    return;
  }
  const auto& dvd = parts_.list.Row(row).dvd;
  selectors_.audio = dvd->file->audio;
  selectors_.audioIndex = dvd->file->audio.empty() ? -1 : dvd->audioChoice;
  selectors_.subtitles = {"No Subtitle"};
  selectors_.subtitles.insert(selectors_.subtitles.end(), dvd->file->subtitles.begin(),
                              dvd->file->subtitles.end());
  selectors_.subtitleIndex = dvd->subtitleChoice;
  emit selectorsChanged();
}

void DvdSource::AudioChanged(int position) {
  const int selected = parts_.list.FirstSelected();
  if (selected < 0) return;
  auto& dvd = parts_.list.Row(selected).dvd;
  if (!dvd || !ChooseDvdAudio(*dvd, position)) return;
  selectors_.audioIndex = position;
  parts_.list.NotifyRowChanged(selected);
}

void DvdSource::SubtitleChanged(int position) {
  const int selected = parts_.list.FirstSelected();
  if (selected < 0) return;
  auto& dvd = parts_.list.Row(selected).dvd;
  if (!dvd || !ChooseDvdSubtitle(*dvd, position)) return;
  selectors_.subtitleIndex = position;
  parts_.list.NotifyRowChanged(selected);
}

}  // namespace pcm
