#pragma once
#include <QTimer>
#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "queue/ListRow.h"

namespace pcm {

class ConversionList;
class Notifier;
class RowSources;
class ProgramInfo;

// The stored fields of a row and of the records in it, by name. A new field
// of ListRow is stored by one more line in VisitFields(V&, ListRow&) below; a
// record member (or a std::optional of one) needs a VisitFields of its own
// for its fields. A field missing from an older file keeps its default.
template <class V, class R>
requires std::same_as<std::remove_const_t<R>, StreamInfo>
void VisitFields(V& v, R& s) {
  v("kind", s.kind);
  v("index", s.index);
  v("codec", s.codec);
  v("language", s.language);
  v("default", s.isDefault);
  v("attachedPicture", s.attachedPicture);
  v("tagged", s.tagged);
  v("channels", s.channels);
  v("sampleRate", s.sampleRate);
  v("kbps", s.kbps);
  v("width", s.width);
  v("height", s.height);
  v("sarNum", s.sarNum);
  v("sarDen", s.sarDen);
  v("rotation", s.rotation);
  v("fpsNum", s.fpsNum);
  v("fpsDen", s.fpsDen);
}

// The source facts of an older list file, kept as texts there: the frame
// size and the rates are read into numbers. Its texts of the sound are
// passed over: a stream made from them would pass for the file's only one.
struct OlderEntryTexts {
  std::string frameSize, videoRate, audioRate;
  void ApplyTo(Toriginalinfo& e) const;
};

template <class V, class R>
requires std::same_as<std::remove_const_t<R>, Toriginalinfo>
void VisitFields(V& v, R& e) {
  v("sourcePath", e.sourcePath);
  v("duration", e.duration);
  v("width", e.width);
  v("height", e.height);
  v("videoKbps", e.videoKbps);
  v("audioKbps", e.audioKbps);
  v("soundKeepsTags", e.soundKeepsTags);
  v("streams", e.streams);
  v("audioChoice", e.audioChoice);
  if constexpr (!std::is_const_v<R>) {
    OlderEntryTexts older;
    v("frameSize", older.frameSize);
    v("videoRate", older.videoRate);
    v("audioRate", older.audioRate);
    older.ApplyTo(e);
  }
}

template <class V, class R>
requires std::same_as<std::remove_const_t<R>, TrimRecord>
void VisitFields(V& v, R& t) {
  v("total", t.total);
  v("begin", t.begin);
  v("end", t.end);
}

// A DVD row's file record is stored once per list and named by its place
// in that table, so rows that shared a record share it again when read.
template <class V, class R>
requires std::same_as<std::remove_const_t<R>, DvdFileRecord>
void VisitFields(V& v, R& f) {
  v("ifoPath", f.ifoPath);
  v("folder", f.folder);
  v("titleSet", f.titleSet);
  v("audio", f.audio);
  v("subtitles", f.subtitles);
}

template <class V, class R>
requires std::same_as<std::remove_const_t<R>, DvdRowData>
void VisitFields(V& v, R& d) {
  v("file", d.file);
  v("chapter", d.chapter);
  v("programChain", d.programChain);
  v("firstSector", d.firstSector);
  v("lastSector", d.lastSector);
  v("sectors", d.sectors);
  v("seconds", d.seconds);
  v("begin", d.begin);
  v("end", d.end);
  v("audioId", d.audioId);
  v("subtitleId", d.subtitleId);
  v("audioChoice", d.audioChoice);
  v("subtitleChoice", d.subtitleChoice);
}

template <class V, class R>
requires std::same_as<std::remove_const_t<R>, DvdViewState>
void VisitFields(V& v, R& s) {
  v("files", s.files);
  v("titleView", s.titleView);
  v("titleChecks", s.titleChecks);
  v("chapterChecks", s.chapterChecks);
}

template <class V, class R>
requires std::same_as<std::remove_const_t<R>, ListRow>
void VisitFields(V& v, R& r) {
  v("caption", r.caption);
  v("filePath", r.filePath);
  v("time", r.time);
  v("outputSize", r.outputSize);
  v("state", r.state);
  v("checked", r.checked);
  v("entry", r.entry);
  v("trim", r.trim);
  v("failureLines", r.failureLines);
  v("outputFile", r.outputFile);
  v("dvd", r.dvd);
}

// What a list file holds: the rows and the DVD listing's state.
struct StoredList {
  std::vector<ListRow> rows;
  DvdViewState dvdView;
};

// The list file's text for these rows (JSON, one object per row, then the
// DVD file records the rows share and the DVD listing's state).
std::string EncodeList(const std::vector<ListRow>& rows, const DvdViewState& dvdView = {});

// The rows of a list file's text, all or nothing: text that is not a list
// file of ours (a raw control character is never written by one), a field of the wrong kind, a number out of
// range or a text holding a NUL byte gives nullopt and the reason in `error`. A row that was being converted
// comes back waiting (a DVD row ready), since its conversion never ended;
// a row being previewed comes back stopped. A DVD row must name one of the
// file's DVD records. Files of the previous format (no DVD rows) are read.
std::optional<StoredList> DecodeStoredList(const std::string& text, std::string& error);
// The rows alone.
std::optional<std::vector<ListRow>> DecodeList(const std::string& text, std::string& error);

// Keeps the conversion list in a file in the settings folder: restores it at
// the start, then writes it again after changes to entries: a second after
// the first change of a run of them (so adding or removing a thousand rows
// writes it a few times, not a thousand), and at once when a batch is over
// and when the store goes away at exit. Each write goes to a new file that
// is synced and then renamed over the old one, so a crash or a kill at any
// moment leaves the previous or the new list, never a mix; a kill more than
// a second after a change loses nothing. The headless front end never
// restores, so never writes.
class ListStore {
 public:
  // A list file larger than this is refused unread.
  static constexpr int64_t kMaxFileBytes = 64 << 20;
  static constexpr int kMaxRows = 100000;

  // How long after a first change the list is written.
  static constexpr int kWriteDelayMs = 1000;

  // `sources` settle each restored row by the kind of its source.
  ListStore(ConversionList& list, const ProgramInfo& program, Notifier& notifier, const RowSources& sources);
  // Writes what is not written yet, saying nothing of a failure.
  ~ListStore();
  ListStore(const ListStore&) = delete;
  ListStore& operator=(const ListStore&) = delete;

  // "<settings folder>/<program name>.list": each variant keeps its own.
  std::string Path() const;

  // Appends the stored rows to the list and says on the hint line how many
  // came back and how many of them lost their file (marked, not dropped). A
  // damaged file restores nothing, is kept beside as "<name>.damaged" so the
  // next write does not destroy it, and the hint says so. From then on every
  // change of the list is written.
  void Restore();

  // Writes the list now; false with the reason in `error` when it could not.
  // Nothing is written while the text is the one last written.
  bool Save(std::string& error);

  bool restored() const { return restored_; }

  // Has the list written within the delay after a change, also one the list
  // does not announce itself (the DVD listing's files, view and marks);
  // nothing before the restore.
  void SaveAfterChange();
  // Writes at once what changed since the last write.
  void Flush();
  // Whether a change waits for its write.
  bool Pending() const { return pending_; }

  // The DVD listing's side, set by the application: the state stored beside
  // the rows, and the step that takes restored DVD rows back. That step may
  // mark rows as missing and leave rows out; it returns how many it left
  // out.
  std::function<DvdViewState()> dvdViewHook;
  std::function<int(std::vector<ListRow>&, const DvdViewState&)> dvdRestoreHook;

 private:
  std::string ListText() const;

  ConversionList& list_;
  const ProgramInfo& program_;
  Notifier& notifier_;
  const RowSources& sources_;
  std::string lastWritten_;
  bool restored_ = false;
  bool writing_ = false;  // set once the restore is over
  bool failing_ = false;
  bool pending_ = false;
  QTimer writeTimer_;
};

}  // namespace pcm
