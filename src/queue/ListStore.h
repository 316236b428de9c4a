#pragma once
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "queue/ListRow.h"

namespace pcm {

class ConversionList;
class Notifier;
class ProgramInfo;

// The stored fields of a row and of the records in it, by name. A new field
// of ListRow is stored by one more line in VisitFields(V&, ListRow&) below; a
// record member (or a std::optional of one) needs a VisitFields of its own
// for its fields. A field missing from an older file keeps its default.
template <class V, class R>
requires std::same_as<std::remove_const_t<R>, Toriginalinfo>
void VisitFields(V& v, R& e) {
  v("sourcePath", e.sourcePath);
  v("frameSize", e.frameSize);
  v("duration", e.duration);
  v("videoRate", e.videoRate);
  v("audioRate", e.audioRate);
  v("audioCodec", e.audioCodec);
  v("sampleRate", e.sampleRate);
  v("channels", e.channels);
}

template <class V, class R>
requires std::same_as<std::remove_const_t<R>, TrimRecord>
void VisitFields(V& v, R& t) {
  v("total", t.total);
  v("begin", t.begin);
  v("end", t.end);
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
}

// The list file's text for these rows (JSON, one object per row).
std::string EncodeList(const std::vector<ListRow>& rows);

// The rows of a list file's text, all or nothing: text that is not a list
// file of ours (a raw control character is never written by one), a field of the wrong kind, a number out of
// range or a text holding a NUL byte gives nullopt and the reason in `error`. A row that was being converted
// comes back waiting, since its conversion never ended.
std::optional<std::vector<ListRow>> DecodeList(const std::string& text, std::string& error);

// Keeps the conversion list in a file in the settings folder: restores it at
// the start, then writes it again after every change to an entry. Each
// write goes to a new file that is synced and then renamed over the old one,
// so a crash or a kill at any moment leaves the previous or the new list,
// never a mix. The headless front end never restores, so never writes.
class ListStore {
 public:
  // A list file larger than this is refused unread.
  static constexpr int64_t kMaxFileBytes = 64 << 20;
  static constexpr int kMaxRows = 100000;

  ListStore(ConversionList& list, const ProgramInfo& program, Notifier& notifier)
      : list_(list), program_(program), notifier_(notifier) {}

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

 private:
  void SaveAfterChange();

  ConversionList& list_;
  const ProgramInfo& program_;
  Notifier& notifier_;
  std::string lastWritten_;
  bool restored_ = false;
  bool failing_ = false;
};

}  // namespace pcm
