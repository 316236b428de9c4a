#include "dvd/DvdJob.h"

#include <algorithm>

#include "engine/DvdInputForm.h"
#include "engine/Progress.h"
#include "queue/OptionAssembly.h"
#include "profiles/Settings.h"
#include "queue/ListRow.h"
#include "queue/Trim.h"
#include "ui/CommandError.h"

namespace pcm {

intputrec DvdJobRecord(const intputrec& base, OptionAssembly& options, const ListRow& row,
                       const std::function<bool(const std::string&)>& reserved) {
  if (!row.dvd || !row.dvd->file) throw CommandError("The entry " + row.caption + " is not from a DVD");
  const DvdRowData& dvd = *row.dvd;
  intputrec rec = base;
  rec.TempFile.clear();
  Settings::CheckFolderName(options.OutputFolder());
  ListRow named = row;
  named.caption = DvdOutputCaption(row.caption);
  rec.OutputFile = options.OutputFilePath(named, reserved);
  options.FillProfileOptions(rec, row);
  rec.DurationSecs = ParseClock(row.entry.duration);
  rec.StartOpt.clear();
  rec.LengthOpt.clear();

  DvdInputForm form;
  form.folder = dvd.file->folder;
  form.titleSet = dvd.file->titleSet;
  form.programChain = dvd.programChain;
  form.sectors = dvd.sectors;
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

namespace {

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

std::string PlayInputOf(const ListRow& row) {
  // A file row plays the source its conversion reads.
  if (!row.dvd || !row.dvd->file) return row.entry.sourcePath;
  DvdInputForm form = RowForm(*row.dvd);
  form.audioId = row.dvd->audioId;
  return EncodeDvdInput(form);
}

std::string StillInputOf(const ListRow& row) {
  if (!row.dvd || !row.dvd->file) return row.entry.sourcePath;
  DvdInputForm form = RowForm(*row.dvd);
  form.subtitleId = row.dvd->subtitleId;
  return EncodeDvdInput(form);
}

bool ApplyRowTrim(ListRow& row, int32_t begin, int32_t end) {
  if (!row.dvd) return ApplyTrim(row, begin, end);
  const DvdRowData& dvd = *row.dvd;
  if (begin >= dvd.seconds) return false;
  row.trim.begin = dvd.begin + begin;
  row.trim.end = dvd.begin + std::min(end, dvd.seconds);
  row.entry.duration = FormatClock(row.trim.end - row.trim.begin);
  row.time = row.entry.duration;
  return true;
}

}  // namespace pcm
