#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/JobRecord.h"
#include "queue/ListRow.h"

namespace pcm {

class OptionAssembly;

// Tells whether an output name is already planned for another entry.
using NameTaken = std::function<bool(const std::string&)>;

// What the player opens for a row: the input as the adapter writes it (a
// path, or a DVD form), the sound stream chosen (0: the player's own), and
// the part a conversion takes: from `begin` seconds of the input, `length`
// seconds long (0: not known).
struct PlayInput {
  std::string input;
  int audioStream = 0;
  int subtitleStream = 0;  // shown over the picture, as a conversion burns it in
  int32_t begin = 0;
  int32_t length = 0;
};

// One line of a row's stream listing: "audio" or "subtitle", the number a
// choice by place takes, whether it is the chosen one, and what it is.
struct TrackLine {
  const char* kind;
  int number;
  bool chosen;
  std::string what;
};
struct RowTracks {
  std::string audio = "-";     // the chosen sound, "-" when none is known
  std::string subtitle = "-";  // the chosen subtitle
  std::vector<TrackLine> lines;
};

// What one kind of source (a file, a DVD title or chapter, kinds to come)
// does for the rows it lists. Whatever depends on where a row comes from is
// asked of its source; nothing else looks at the kind.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // The job that converts the row: output path chosen (`taken` names are
  // planned for other entries), options filled, nothing reserved. Throws
  // CommandError like the option assembly.
  virtual intputrec JobRecord(const ListRow& row, const NameTaken& taken) const = 0;
  // What a preview of the row plays: the whole row, with the part that
  // will be converted.
  virtual PlayInput Play(const ListRow& row) const = 0;
  // What a still of the row is read from; positions count from the row's
  // start.
  virtual std::string StillInput(const ListRow& row) const = 0;
  // Whether the still input is read at the media's own timestamps (the
  // file the player read, whatever time its streams start at) rather than
  // at seconds from the start of what is read.
  virtual bool StillAtMediaTime() const { return false; }
  // Trims the row to begin..end seconds from its own start. False (row
  // unchanged) when the row ends at or before `begin`.
  virtual bool Trim(ListRow& row, int32_t begin, int32_t end) const = 0;
  // The caption numbered output names start from.
  virtual std::string OutputCaption(const ListRow& row) const { return row.caption; }
  // How messages name the row.
  virtual std::string Describe(const ListRow& row) const { return row.filePath; }
  // Rows that must be converted one at a time (a disc is read by one job),
  // and whose time is known only once the encoder has read the stream.
  virtual bool ConvertsAlone() const { return false; }
  // Marks a restored row's source missing or found. A kind that looks for
  // its rows' sources together (a disc's) keeps the mark that step set.
  virtual void LookForSource(ListRow& row) const {}
  // What is wrong with the row's source now, for the message of a play
  // that failed ("the file is missing"); empty when nothing is found.
  virtual std::string SourceFault(const ListRow& row) const { return {}; }
  // The row's streams as a listing shows them, with the chosen ones.
  virtual RowTracks Tracks(const ListRow& row) const = 0;
  // Chooses the row's sound (or subtitle) by the number its listing shows
  // or by stream id. False, row unchanged, when it has no such stream.
  virtual bool ChooseTrack(ListRow& row, bool subtitle, bool byId, int value) const = 0;
};

// Gives each row the kind of source that listed it.
class RowSources {
 public:
  virtual ~RowSources() = default;
  virtual const RowSource& Of(const ListRow& row) const = 0;
};

// A row made from one media file.
class FileRowSource : public RowSource {
 public:
  // `base` holds the encoder path and working directory of every job.
  FileRowSource(const intputrec& base, const OptionAssembly& options) : base_(base), options_(options) {}
  intputrec JobRecord(const ListRow& row, const NameTaken& taken) const override;
  PlayInput Play(const ListRow& row) const override;
  std::string StillInput(const ListRow& row) const override { return row.entry.sourcePath; }
  bool StillAtMediaTime() const override { return true; }
  bool Trim(ListRow& row, int32_t begin, int32_t end) const override;
  void LookForSource(ListRow& row) const override;
  std::string SourceFault(const ListRow& row) const override;
  RowTracks Tracks(const ListRow& row) const override;
  bool ChooseTrack(ListRow& row, bool subtitle, bool byId, int value) const override;

 private:
  const intputrec& base_;
  const OptionAssembly& options_;
};

// A row read back from the saved list as it is now: a row whose source is
// gone is marked missing, one whose source is back is not.
void SettleRestoredRow(ListRow& row, const RowSource& source);

}  // namespace pcm
