#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/DvdRow.h"
#include "engine/MediaInfo.h"

namespace pcm {

// Entry record: what the probe found about the source, as numbers.
struct Toriginalinfo {
  std::string sourcePath;
  std::string duration;  // hh:mm:ss, the length to convert
  // The picture as shown (pixel aspect and rotation applied); 320x240 when
  // the probe found none.
  int32_t width = 320;
  int32_t height = 240;
  // The source's rates in kbit/s, never above what the file's size allows.
  int32_t videoKbps = 768;
  int32_t audioKbps = 128;
  // The file's tags are kept on its sound stream, as Ogg keeps them, and
  // none at the file's level.
  bool soundKeepsTags = false;
  // Every stream of the file (a DVD row: its picture from the IFO); empty
  // for a row kept by an older version, whose streams are not known.
  std::vector<StreamInfo> streams;
  // The sound chosen by hand: 1 + its place among the audio streams; 0
  // takes the default track.
  int32_t audioChoice = 0;
};

// The sound the entry converts: the one chosen by hand, else the default
// track, else the first; null when there is none.
const StreamInfo* ConvertedAudio(const Toriginalinfo& e);

// The source has sound and no picture (known only when its streams are).
bool SoundOnly(const Toriginalinfo& e);
// The frame size as text, "640x480".
std::string FrameSizeText(const Toriginalinfo& e);

// Trim record, in seconds.
struct TrimRecord {
  int32_t total = 0;
  int32_t begin = 0;
  int32_t end = 0;
};

// Where an entry stands in the batch; its "Status" column is made from this
// and its progress.
enum class EntryState {
  Blank,       // shows nothing
  Waiting,     // "Status": added, not converted yet
  Converting,  // its progress, "12.34%"
  Finished,    // "Finish"
  Failed,      // "Failed"
  Stopped,     // "Stop"
  Playing,     // "Play": being previewed
  Paused,      // "Pause": its preview is paused
  Ready,       // "Ready": a DVD row listed, not converted yet
  Skipped,     // "Skipped": its output file existed, nothing was converted
};

// One row of the conversion list with everything that belongs to it, so that
// the columns, the states and the hidden records can never fall out of step.
struct ListRow {
  std::string caption;                   // column 0: entry name
  std::string filePath;                  // column 1
  std::string time;                      // column 2
  std::string outputSize;                // column 3
  EntryState state = EntryState::Blank;  // column 4, with the progress
  int32_t progress = 0;                  // 0..10000 (more when overrun)
  bool checked = true;
  bool selected = false;
  Toriginalinfo entry;
  TrimRecord trim;
  // Why the last conversion of this entry failed: the encoder's last lines.
  std::vector<std::string> failureLines;
  // The encoder's output of the entry's last conversion, bounded.
  std::vector<std::string> encoderOutput;
  // Output file of the entry's last conversion (empty before one started);
  // for a skipped entry the file that was there.
  std::string outputFile;
  // The folder below the output folder that the entry is written to, ""
  // or ending in "/": where its source lay below a folder added with its
  // subfolders kept.
  std::string outputSubfolder;
  // Restored from the saved list while its source file was gone.
  bool sourceMissing = false;
  // Set for a row listed from a DVD: its part of the disc and its streams.
  std::optional<DvdRowData> dvd;
};

// The text of the "Status" column for the row.
std::string StatusText(const ListRow& row);

// Column captions and widths of the list.
struct ListColumn {
  const char* caption;
  int width;
};
inline constexpr ListColumn kListColumns[5] = {
    {"File Name", 150}, {"File Path", 300}, {"Time", 80}, {"Output Size", 80}, {"Status", 98}};

}  // namespace pcm
