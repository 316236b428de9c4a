#include "dvd/DvdSource.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "dvd/DriveWait.h"
#include "dvd/DvdRowSource.h"
#include "engine/EventPump.h"
#include "engine/Progress.h"
#include "queue/OptionAssembly.h"
#include "queue/ConversionList.h"
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

void DvdSource::Reset() {
  files_.clear();
  parts_.list.Clear();
  titleChecks_.reset();
  chapterChecks_.reset();
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
  Reset();
  const bool found = AddFolderPath(folder);
  // IFO files that give no title at all would otherwise leave an empty list
  // without a word: the person hears that no titles were found.
  if (parts_.list.Count() == 0) {
    parts_.notifier.ui().Information(parts_.notifier.LoadMessage(33));
  } else {
    ShowListed();
  }
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
  switch (DvdPathOf(path)) {
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
  if (OnOpticalDrive(folder)) WaitForDrive(MountPointOf(folder));
  return ScanForIfoFiles(folder);
}

void DvdSource::AddIfoPath(const std::string& ifoPath) {
  files_.push_back(ifoPath);
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
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (lower == "video_ts" && ScanForIfoFiles(path)) {
        found = true;
        break;
      }
      continue;
    }
    if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".ifo") != 0 || lower == "video_ts.ifo")
      continue;
    if (parts_.run.titleView)
      ListTitles(path);
    else
      ListTitlesAndChapters(path);
    found = true;
  }
  return found;
}

void DvdSource::ListTitles(const std::string& ifoPath) {
  files_.push_back(ifoPath);
  ListFile(ifoPath, false);
}

void DvdSource::ListTitlesAndChapters(const std::string& ifoPath) {
  files_.push_back(ifoPath);
  ListFile(ifoPath, true);
}

void DvdSource::AppendRow(ListRow row) {
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
  parts_.list.Append(std::move(row));
}

void DvdSource::ListFile(const std::string& ifoPath, bool chapters) {
  for (ListRow& row : RowsOfFile(ifoPath, chapters, parts_.list.Count())) AppendRow(std::move(row));
}

std::vector<ListRow> DvdSource::RowsOfFile(const std::string& ifoPath, bool chapters, int listed) const {
  std::vector<ListRow> rows;
  ifo::Handle handle = opener_(ifoPath);
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

  for (const ifo::TitleInfo& t : h->titles) {
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
    row.caption = "Title_" + TwoDigitNumber(listed + int(rows.size()) + 1);
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

void DvdSource::ShowListed() {
  auto& checks = CurrentChecks();
  const int n = parts_.list.Count();
  if (checks) {
    // Rows beyond the marks kept (the files changed meanwhile) are checked.
    for (int i = 0; i < n; ++i)
      parts_.list.SetChecked(i, size_t(i) < checks->size() ? (*checks)[size_t(i)] : true);
  } else {
    checks = std::vector<bool>(size_t(n), true);
    for (int i = 0; i < n; ++i) parts_.list.SetChecked(i, true);
  }
  parts_.list.SelectOnly(SelectLongestEntry());
  if (listClickedHook)
    listClickedHook();
  else
    ListClickedEnd();
}

bool DvdSource::OpenIfoPaths(const std::vector<std::string>& paths) {
  if (Busy()) return false;
  Reset();
  for (const std::string& path : paths) {
    AddIfoPath(path);
    if (parts_.list.Count() == 0) {
      Changed();
      parts_.notifier.ui().Information(parts_.notifier.LoadMessage(34));
      parts_.notifier.UpdateCommandStates();
      return false;
    }
  }
  if (parts_.list.Count() > 0) ShowListed();
  Changed();
  parts_.notifier.UpdateCommandStates();
  return parts_.list.Count() > 0;
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
  parts_.run.titleView = !parts_.run.titleView;
  parts_.list.Clear();
  for (const std::string& path : files_) ListFile(path, !parts_.run.titleView);
  if (parts_.list.Count() > 0) ShowListed();
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
  if (selected < 0) return;
  if (auto& checks = CurrentChecks()) {
    const size_t n = std::min(checks->size(), size_t(parts_.list.Count()));
    for (size_t i = 0; i < n; ++i) (*checks)[i] = parts_.list.Row(int(i)).checked;
    Changed();
  }
  ShowEntryStreams(selected);
}

void DvdSource::ShowEntryStreams(int row) {
  if (!parts_.list.Valid(row)) return;
  const auto& dvd = parts_.list.Row(row).dvd;
  if (!dvd || !dvd->file) return;
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
