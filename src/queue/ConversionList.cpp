#include "queue/ConversionList.h"

#include "engine/Progress.h"

namespace pcm {

const StreamInfo* ConvertedAudio(const Toriginalinfo& e) {
  if (e.audioChoice > 0) {
    int n = 0;
    for (const StreamInfo& s : e.streams)
      if (s.kind == StreamInfo::Kind::Audio && ++n == e.audioChoice)
        return s.sampleRate > 0 && s.channels > 0 ? &s : nullptr;
  }
  return ChosenAudio(e.streams);
}

bool SoundOnly(const Toriginalinfo& e) {
  return !e.streams.empty() && !MainVideo(e.streams) && ChosenAudio(e.streams);
}

std::string FrameSizeText(const Toriginalinfo& e) {
  return std::to_string(e.width) + "x" + std::to_string(e.height);
}

std::string StatusText(const ListRow& row) {
  if (row.sourceMissing && row.state != EntryState::Converting) return "Missing";
  switch (row.state) {
    case EntryState::Blank:
      return {};
    case EntryState::Waiting:
      return "Status";
    case EntryState::Converting:
      return ProgressPercentText(row.progress);
    case EntryState::Finished:
      return "Finish";
    case EntryState::Failed:
      return "Failed";
    case EntryState::Stopped:
      return "Stop";
    case EntryState::Playing:
      return "Play";
    case EntryState::Paused:
      return "Pause";
    case EntryState::Ready:
      return "Ready";
  }
  return {};
}

int ConversionList::Append(ListRow row) {
  rows_.push_back(std::move(row));
  int i = Count() - 1;
  Changed();
  emit rowInserted(i);
  return i;
}

void ConversionList::RemoveAt(int i) {
  if (!Valid(i)) return;
  rows_.erase(rows_.begin() + i);
  Changed();
  emit rowRemoved(i);
}

void ConversionList::RemoveRows(const std::vector<int>& places) {
  if (places.size() == 1) return RemoveAt(places[0]);
  size_t kept = 0, next = 0;
  for (size_t k = 0; k < rows_.size(); ++k) {
    if (next < places.size() && places[next] == int(k)) {
      ++next;
      continue;
    }
    if (kept != k) rows_[kept] = std::move(rows_[k]);
    ++kept;
  }
  if (kept == rows_.size()) return;
  rows_.resize(kept);
  Changed();
  emit listReset();
}

void ConversionList::ReplaceAll(std::vector<ListRow> rows) {
  rows_ = std::move(rows);
  Changed();
  emit listReset();
}

void ConversionList::Clear() {
  rows_.clear();
  Changed();
  emit listReset();
}

void ConversionList::SetState(int i, EntryState state) {
  if (!Valid(i)) return;
  rows_[size_t(i)].state = state;
  Changed();
  emit rowChanged(i);
}

void ConversionList::ShowCurrentProgress(int32_t value) { ShowProgress(currentPosition, value); }

void ConversionList::ShowProgress(int i, int32_t value) {
  if (!Valid(i)) return;
  ListRow& row = rows_[size_t(i)];
  row.state = EntryState::Converting;
  row.progress = value;
  emit rowChanged(i);
}

void ConversionList::SetCaption(int i, const std::string& caption) {
  if (!Valid(i)) return;
  rows_[size_t(i)].caption = caption;
  Changed();
  emit rowChanged(i);
}

void ConversionList::SetChecked(int i, bool checked) {
  if (!Valid(i)) return;
  rows_[size_t(i)].checked = checked;
  Changed();
  emit rowChanged(i);
}

void ConversionList::SetSelected(int i, bool selected) {
  if (!Valid(i)) return;
  rows_[size_t(i)].selected = selected;
  emit rowChanged(i);
}

void ConversionList::SelectOnly(int i) {
  for (int k = 0; k < Count(); ++k) {
    bool want = k == i;
    if (rows_[size_t(k)].selected != want) SetSelected(k, want);
  }
}

int ConversionList::FirstSelected() const {
  for (int k = 0; k < Count(); ++k)
    if (rows_[size_t(k)].selected) return k;
  return -1;
}

int ConversionList::SelectedCount() const {
  int n = 0;
  for (const auto& r : rows_) n += r.selected ? 1 : 0;
  return n;
}

}  // namespace pcm
