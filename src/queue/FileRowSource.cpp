#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/ClockText.h"
#include "engine/MediaInfo.h"
#include "profiles/Settings.h"
#include "queue/OptionAssembly.h"
#include "queue/RowSource.h"
#include "queue/Trim.h"

namespace pcm {

intputrec FileRowSource::JobRecord(const ListRow& row, const NameTaken& taken) const {
  intputrec rec = base_;  // keeps EncoderPath and WorkDir
  rec.TempFile.clear();   // reserved only when the entry starts
  // The field may have been edited since the batch started.
  Settings::CheckFolderName(options_.OutputFolder());
  rec.OutputFile = options_.OutputFilePath(row, taken);
  rec.InputFile = row.entry.sourcePath;
  options_.FillProfileOptions(rec, row);
  rec.DurationSecs = ParseClock(row.entry.duration);
  // An untrimmed entry is converted whole. A seek before the input lands
  // on a key frame's packet and loses the sound and pictures before it
  // (half a second of a real AVI), and a length in whole seconds from the
  // header cuts the last part second, or more when the header lies: only a
  // trimmed entry seeks and is cut. A length of nothing (a clip shorter
  // than a second, an unknown length) would make the encoder write an
  // empty file, so then the whole rest is converted.
  const bool trimmed = row.trim.begin > 0 || (row.trim.total > 0 && row.trim.end < row.trim.total);
  rec.StartOpt = row.trim.begin > 0 ? OptionField({"-ss", FormatClock(row.trim.begin)}) : OptionField();
  bool someLength = row.entry.duration.find_first_of("123456789") != std::string::npos;
  rec.LengthOpt = trimmed && someLength ? OptionField({"-t", row.entry.duration}) : OptionField();
  return rec;
}

PlayInput FileRowSource::Play(const ListRow& row) const {
  return {row.entry.sourcePath, 0, 0, row.trim.begin, ParseClock(row.entry.duration)};
}

bool FileRowSource::Trim(ListRow& row, int32_t begin, int32_t end) const {
  return ApplyTrim(row, begin, end);
}

void FileRowSource::LookForSource(ListRow& row) const {
  const std::string& source = row.entry.sourcePath.empty() ? row.filePath : row.entry.sourcePath;
  // Looked up by its bytes: a name that is not UTF-8 is no less there.
  struct stat st;
  row.sourceMissing = source.empty() || stat(source.c_str(), &st) != 0;
}

std::string FileRowSource::SourceFault(const ListRow& row) const {
  const std::string& source = row.entry.sourcePath.empty() ? row.filePath : row.entry.sourcePath;
  struct stat st;
  if (stat(source.c_str(), &st) != 0) return errno == ENOENT ? "the file is missing" : std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "it is not a file any more";
  return {};
}

RowTracks FileRowSource::Tracks(const ListRow& row) const {
  RowTracks t;
  const StreamInfo* chosen = ConvertedAudio(row.entry);
  if (chosen) t.audio = StreamSummary(*chosen);
  int audios = 0, subtitles = 0;
  for (const StreamInfo& s : row.entry.streams) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "id 0x%x, ", unsigned(s.index));
    std::string id = hex + StreamSummary(s);
    if (s.kind == StreamInfo::Kind::Audio) t.lines.push_back({"audio", audios++, &s == chosen, id});
    if (s.kind == StreamInfo::Kind::Subtitle) t.lines.push_back({"subtitle", ++subtitles, false, id});
  }
  return t;
}

bool FileRowSource::ChooseTrack(ListRow& row, bool subtitle, bool byId, int value) const {
  // A file's subtitles are not converted: there is nothing to choose.
  if (subtitle) return true;
  // The sound by its place among the audio streams or by the file's stream
  // number, as the listing shows them.
  int place = 0, found = 0;
  for (const StreamInfo& s : row.entry.streams) {
    if (s.kind != StreamInfo::Kind::Audio) continue;
    if (byId ? s.index == value : place == value) found = place + 1;
    ++place;
  }
  if (found == 0) return false;
  row.entry.audioChoice = found;
  return true;
}

}  // namespace pcm
