#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/DvdInputForm.h"

namespace pcm {

// What the rows of one IFO file share: where the file is and the streams it
// offers, in the order the selectors list them.
struct DvdFileRecord {
  std::string ifoPath;
  std::string folder;                  // the folder holding the IFO and VOB files
  int titleSet = 0;                    // 0 for the menu file
  std::vector<std::string> audio;      // descriptions such as "1: en AC3 2ch (0x80)"
  std::vector<std::string> subtitles;  // likewise, "1: en Subtitle (0x20)"
};

// The DVD part of a list row: which part of the disc it is and the streams
// chosen for it. Each row holds its file record, so the row's streams stay
// right when other rows are removed or the list is listed again.
struct DvdRowData {
  std::shared_ptr<const DvdFileRecord> file;
  bool chapter = false;  // a chapter row of the chapter view
  int programChain = 1;
  // The span used to find the main title: first sector of the first cell to
  // last sector of the last cell.
  uint32_t firstSector = 0;
  uint32_t lastSector = 0;
  // What is read, in order: one range per chapter of a title.
  std::vector<DvdSectorRange> sectors;
  int32_t seconds = 0;  // playing time of the title or chapter
  // Where the row lies within its title, in seconds.
  int32_t begin = 0;
  int32_t end = 0;
  // Chosen streams: ids as the disc names them (0 = none) and the
  // selectors' positions (audio 0 = first stream, subtitle 0 = none).
  int audioId = 0;
  int subtitleId = 0;
  int audioChoice = 0;
  int subtitleChoice = 0;
};

// What the DVD listing keeps beside the rows: the IFO files listed, in
// order, the view shown and each view's check marks. Stored with the list so
// that the chapter view toggles after a restart as it did before.
struct DvdViewState {
  std::vector<std::string> files;
  bool titleView = true;
  std::optional<std::vector<bool>> titleChecks;
  std::optional<std::vector<bool>> chapterChecks;
};

// The stream id of a description: the four characters before its first ")",
// "0" when it has none.
std::string StreamIdFromText(const std::string& description);
// The id as a number: "0x80" gives 0x80; 0 for "0" or anything unreadable.
int StreamIdValue(const std::string& id);
// "0" and the number for 0..9, the number otherwise ("05", "12", "100").
std::string TwoDigitNumber(int n);
// The output name of a DVD row's caption: leading blanks removed and
// anything up to a last "/" cut off ("  Chapter_03" gives "Chapter_03").
std::string DvdOutputCaption(const std::string& caption);

}  // namespace pcm
