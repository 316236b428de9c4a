#pragma once
#include <cstdint>
#include <string>

#include "queue/RowSource.h"

namespace pcm {

// A row listed from a DVD: a title, or a chapter of one.
class DvdRowSource : public RowSource {
 public:
  // `base` holds the encoder path and working directory of every job.
  DvdRowSource(const intputrec& base, const OptionAssembly& options) : base_(base), options_(options) {}
  // The output named after the row's caption (leading blanks and any folder
  // part removed, for the numbered alternatives too), the options of the
  // current profile as for a file (the profile's own option line included,
  // or the encoder would get no codec), the row's playing time as the
  // duration, no start or length options, and as input the adapter's DVD
  // form: folder, title set, program chain, the row's sectors, the chosen
  // streams and the trim within the row. Throws CommandError for a row
  // without DVD data.
  intputrec JobRecord(const ListRow& row, const NameTaken& taken) const override;
  // The DVD form of the row's sectors (whole), the sound and subtitle the
  // player shows, and its trim within the row.
  PlayInput Play(const ListRow& row) const override;
  // The DVD form with the row's subtitle and without sound (a picture file
  // holds no sound).
  std::string StillInput(const ListRow& row) const override;
  // The trim record counts within the title, so a chapter's start is added.
  bool Trim(ListRow& row, int32_t begin, int32_t end) const override;
  std::string OutputCaption(const ListRow& row) const override;
  // Its IFO file and caption.
  std::string Describe(const ListRow& row) const override;
  bool ConvertsAlone() const override { return true; }
  // The title set's video files (VTS_NN_1.VOB, _2, ...) that should hold
  // the row's sectors: the first one missing is named.
  std::string SourceFault(const ListRow& row) const override;
  // The IFO file's streams, numbered as the selectors list them (subtitle
  // 0 is "No Subtitle").
  RowTracks Tracks(const ListRow& row) const override;
  bool ChooseTrack(ListRow& row, bool subtitle, bool byId, int value) const override;

 private:
  const intputrec& base_;
  const OptionAssembly& options_;
};

// Sets a DVD row's sound (subtitle) to the selector position given, with
// the stream id the disc names. False when the row has no such position.
bool ChooseDvdAudio(DvdRowData& dvd, int position);
bool ChooseDvdSubtitle(DvdRowData& dvd, int position);

// The sources of a list's rows: files and DVD rows.
class SourceKinds : public RowSources {
 public:
  SourceKinds(const intputrec& base, const OptionAssembly& options)
      : file_(base, options), dvd_(base, options) {}
  const RowSource& Of(const ListRow& row) const override;

 private:
  FileRowSource file_;
  DvdRowSource dvd_;
};

}  // namespace pcm
