#include "dvd/DvdRowSource.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "base/ClockText.h"
#include "engine/DvdInputForm.h"
#include "profiles/Settings.h"
#include "queue/ListRow.h"
#include "queue/OptionAssembly.h"
#include "ui/CommandError.h"

namespace pcm {

namespace {

const DvdRowData& DvdOf(const ListRow& row) {
  if (!row.dvd || !row.dvd->file) throw CommandError("The DVD entry " + row.caption + " names no DVD file");
  return *row.dvd;
}

// The row's part of the disc, whole, without streams chosen.
DvdInputForm RowForm(const DvdRowData& dvd) {
  DvdInputForm form;
  form.folder = dvd.file->folder;
  form.titleSet = dvd.file->titleSet;
  form.programChain = dvd.programChain;
  form.sectors = dvd.sectors;
  return form;
}

}  // namespace

intputrec DvdRowSource::JobRecord(const ListRow& row, const NameTaken& taken) const {
  const DvdRowData& dvd = DvdOf(row);
  intputrec rec = base_;
  rec.TempFile.clear();
  Settings::CheckFolderName(options_.OutputFolder());
  ListRow named = row;
  named.caption = OutputCaption(row);
  rec.OutputFile = options_.OutputFilePath(named, taken);
  options_.FillProfileOptions(rec, row);
  rec.DurationSecs = ParseClock(row.entry.duration);
  rec.StartOpt = {};
  rec.LengthOpt = {};

  DvdInputForm form = RowForm(dvd);
  form.audioId = dvd.audioId;
  form.subtitleId = dvd.subtitleId;
  // The trim record counts seconds within the title; the adapter counts
  // them from the start of the row's own sectors.
  const int32_t begin = std::max(0, row.trim.begin - dvd.begin);
  const int32_t end = row.trim.end - dvd.begin;
  if (begin > 0 || (end > 0 && end < dvd.seconds)) {
    form.trimBegin = begin;
    form.trimEnd = end > begin ? end : 0;
  }
  rec.InputFile = EncodeDvdInput(form);
  return rec;
}

PlayInput DvdRowSource::Play(const ListRow& row) const {
  const DvdRowData& dvd = DvdOf(row);
  DvdInputForm form = RowForm(dvd);
  form.audioId = dvd.audioId;
  // The trim record counts within the title, the play from the row's start.
  return {EncodeDvdInput(form), dvd.audioId, dvd.subtitleId, std::max(0, row.trim.begin - dvd.begin),
          ParseClock(row.entry.duration)};
}

std::string DvdRowSource::StillInput(const ListRow& row) const {
  const DvdRowData& dvd = DvdOf(row);
  DvdInputForm form = RowForm(dvd);
  form.subtitleId = dvd.subtitleId;
  return EncodeDvdInput(form);
}

std::string DvdRowSource::SourceFault(const ListRow& row) const {
  if (!row.dvd || !row.dvd->file) return {};
  const DvdFileRecord& file = *row.dvd->file;
  uint64_t needed = 0;
  for (const DvdSectorRange& r : row.dvd->sectors) needed = std::max<uint64_t>(needed, uint64_t(r.last) + 1);
  needed *= 2048;
  // The title set's sectors run through its video files in turn; the disc
  // reader finds each by name in either case.
  std::vector<std::pair<std::string, uint64_t>> present;
  if (DIR* dir = opendir(file.folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      struct stat st;
      if (stat((file.folder + "/" + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
        present.push_back({e->d_name, uint64_t(st.st_size)});
    }
    closedir(dir);
  }
  uint64_t have = 0;
  for (int part = 1; part <= 9 && have < needed; ++part) {
    char name[16];
    std::snprintf(name, sizeof name, "VTS_%02d_%d.VOB", file.titleSet % 100, part);
    auto it = std::find_if(present.begin(), present.end(),
                           [&](const auto& p) { return strcasecmp(p.first.c_str(), name) == 0; });
    if (it == present.end()) return std::string("the disc's video file ") + name + " is missing";
    have += it->second;
  }
  return {};
}

bool DvdRowSource::Trim(ListRow& row, int32_t begin, int32_t end) const {
  const DvdRowData& dvd = DvdOf(row);
  if (begin >= dvd.seconds) return false;
  row.trim.begin = dvd.begin + begin;
  row.trim.end = dvd.begin + std::min(end, dvd.seconds);
  row.entry.duration = FormatClock(row.trim.end - row.trim.begin);
  row.time = row.entry.duration;
  return true;
}

std::string DvdRowSource::OutputCaption(const ListRow& row) const { return DvdOutputCaption(row.caption); }

std::string DvdRowSource::Describe(const ListRow& row) const {
  if (!row.dvd || !row.dvd->file) return row.filePath;
  return row.dvd->file->ifoPath + " " + DvdOutputCaption(row.caption);
}

RowTracks DvdRowSource::Tracks(const ListRow& row) const {
  RowTracks t;
  if (!row.dvd || !row.dvd->file) return t;
  const DvdRowData& d = *row.dvd;
  t.audio = d.file->audio.empty() ? "No Audio" : d.file->audio[size_t(d.audioChoice)];
  t.subtitle = d.subtitleChoice == 0 ? "No Subtitle" : d.file->subtitles[size_t(d.subtitleChoice) - 1];
  for (size_t k = 0; k < d.file->audio.size(); ++k)
    t.lines.push_back({"audio", int(k), int(k) == d.audioChoice, d.file->audio[k]});
  for (size_t k = 0; k < d.file->subtitles.size(); ++k)
    t.lines.push_back({"subtitle", int(k) + 1, int(k) + 1 == d.subtitleChoice, d.file->subtitles[k]});
  return t;
}

bool DvdRowSource::ChooseTrack(ListRow& row, bool subtitle, bool byId, int value) const {
  if (!row.dvd || !row.dvd->file) return false;
  DvdRowData& d = *row.dvd;
  const std::vector<std::string>& descriptions = subtitle ? d.file->subtitles : d.file->audio;
  // The selector position: by id, or the number given when the row has it.
  // Subtitle 0 is "No Subtitle", the first description position 1.
  const int first = subtitle ? 1 : 0;
  int position = -1;
  if (!byId) {
    if (subtitle && value == 0)
      position = 0;
    else if (value >= first && value - first < int(descriptions.size()))
      position = value;
  } else {
    for (size_t k = 0; k < descriptions.size(); ++k)
      if (StreamIdValue(StreamIdFromText(descriptions[k])) == value) position = int(k) + first;
  }
  if (position < 0) return false;
  return subtitle ? ChooseDvdSubtitle(d, position) : ChooseDvdAudio(d, position);
}

bool ChooseDvdAudio(DvdRowData& dvd, int position) {
  if (!dvd.file || position < 0 || size_t(position) >= dvd.file->audio.size()) return false;
  dvd.audioChoice = position;
  dvd.audioId = StreamIdValue(StreamIdFromText(dvd.file->audio[size_t(position)]));
  return true;
}

bool ChooseDvdSubtitle(DvdRowData& dvd, int position) {
  if (!dvd.file || position < 0 || size_t(position) > dvd.file->subtitles.size()) return false;
  dvd.subtitleChoice = position;
  dvd.subtitleId =
      position == 0 ? 0 : StreamIdValue(StreamIdFromText(dvd.file->subtitles[size_t(position) - 1]));
  return true;
}

const RowSource& SourceKinds::Of(const ListRow& row) const {
  if (row.dvd) return dvd_;
  return file_;
}

}  // namespace pcm
