// The DVD listing's side of the saved list: its state as stored, and the
// checks a restored DVD row passes before it is listed again.
#include <sys/stat.h>

#include <algorithm>

#include "dvd/DvdSource.h"
#include "queue/ConversionList.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

// An absolute path whose name is an IFO file's: a relative one would be
// read from wherever the program happens to start.
bool IfoPathPlausible(const std::string& path) {
  return !path.empty() && path.front() == '/' && ifo::TitleSetFromName(path.substr(path.rfind('/') + 1)) >= 0;
}

// The stream id a selector position stands for, as the selectors set it.
int AudioIdOf(const DvdFileRecord& f, int choice) {
  return f.audio.empty() ? 0 : StreamIdValue(StreamIdFromText(f.audio[size_t(choice)]));
}

// Whether the stored values hang together as a listing makes them: the
// file record names a title set's IFO file in its own folder, the sectors
// and times describe one title or one chapter, the chosen streams are the
// file's, and the trim lies within the row. Checked without the disc, so a
// row whose disc is gone is still sound when it comes back.
bool Consistent(const ListRow& row) {
  const DvdRowData& d = *row.dvd;
  const DvdFileRecord& f = *d.file;
  if (!IfoPathPlausible(f.ifoPath)) return false;
  const size_t slash = f.ifoPath.rfind('/');
  if (f.titleSet < 1 || ifo::TitleSetFromName(f.ifoPath.substr(slash + 1)) != f.titleSet ||
      f.folder != (slash == 0 ? "/" : f.ifoPath.substr(0, slash)))
    return false;
  if (d.programChain < 1 || d.sectors.empty() || d.seconds <= 0) return false;
  for (const DvdSectorRange& r : d.sectors)
    if (r.first > r.last) return false;
  if (d.firstSector != d.sectors.front().first || d.lastSector != d.sectors.back().last) return false;
  if (int64_t(d.end) != int64_t(d.begin) + d.seconds) return false;
  if (d.chapter ? d.sectors.size() != 1 : d.begin != 0) return false;
  if (d.audioChoice > 0 && size_t(d.audioChoice) >= f.audio.size()) return false;
  if (d.audioId != AudioIdOf(f, d.audioChoice)) return false;
  if (size_t(d.subtitleChoice) > f.subtitles.size()) return false;
  const int subtitleId =
      d.subtitleChoice == 0 ? 0 : StreamIdValue(StreamIdFromText(f.subtitles[size_t(d.subtitleChoice) - 1]));
  if (d.subtitleId != subtitleId) return false;
  return row.trim.begin >= d.begin && row.trim.begin <= row.trim.end && row.trim.end <= d.end;
}

// The same part of the same disc with the same streams on offer.
bool SamePart(const DvdRowData& a, const DvdRowData& b) {
  return a.chapter == b.chapter && a.programChain == b.programChain && a.firstSector == b.firstSector &&
         a.lastSector == b.lastSector && a.sectors == b.sectors && a.seconds == b.seconds &&
         a.begin == b.begin && a.end == b.end && a.file->folder == b.file->folder &&
         a.file->titleSet == b.file->titleSet && a.file->audio == b.file->audio &&
         a.file->subtitles == b.file->subtitles;
}

}  // namespace

DvdViewState DvdSource::ViewState() const {
  return {files_, parts_.run.titleView, titleChecks_, chapterChecks_};
}

bool DvdSource::StillOnDisc(const DvdRowData& dvd,
                            std::map<std::string, std::vector<ListRow>>& listed) const {
  auto it = listed.find(dvd.file->ifoPath);
  // Chapters are listed too, so title rows and chapter rows are both found.
  if (it == listed.end())
    it = listed.emplace(dvd.file->ifoPath, RowsOfFile(dvd.file->ifoPath, true, 0)).first;
  return std::any_of(it->second.begin(), it->second.end(),
                     [&](const ListRow& r) { return SamePart(*r.dvd, dvd); });
}

int DvdSource::AdoptRestored(std::vector<ListRow>& rows, const DvdViewState& view) {
  std::map<std::string, std::vector<ListRow>> listed;
  auto leftOut = std::remove_if(rows.begin(), rows.end(), [&](ListRow& row) {
    if (!row.dvd) return false;
    if (!row.dvd->file || !Consistent(row)) return true;
    struct stat st;
    // The disc or its folder has gone: the row stays, marked, as a file
    // row whose file has gone does.
    if (stat(row.dvd->file->ifoPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      row.sourceMissing = true;
      return false;
    }
    if (StillOnDisc(*row.dvd, listed)) return false;
    // An IFO file that lists nothing now cannot be told from a damaged
    // one: the row is kept, marked; one the disc lists otherwise is not.
    if (listed[row.dvd->file->ifoPath].empty()) {
      row.sourceMissing = true;
      return false;
    }
    return true;
  });
  const int refused = int(rows.end() - leftOut);
  rows.erase(leftOut, rows.end());

  files_.clear();
  for (const std::string& path : view.files)
    if (IfoPathPlausible(path)) files_.push_back(path);
  parts_.run.titleView = view.titleView;
  titleChecks_ = view.titleChecks;
  chapterChecks_ = view.chapterChecks;
  return refused;
}

}  // namespace pcm
