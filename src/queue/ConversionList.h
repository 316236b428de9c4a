#pragma once
#include <QObject>
#include <functional>
#include <vector>

#include "queue/ListRow.h"

namespace pcm {

// The conversion list: one vector of rows, the batch's current position and
// the previewed entry. Views observe it through the signals.
class ConversionList : public QObject {
  Q_OBJECT
 public:
  int Count() const { return int(rows_.size()); }
  bool Valid(int i) const { return i >= 0 && i < Count(); }
  ListRow& Row(int i) { return rows_.at(size_t(i)); }
  const ListRow& Row(int i) const { return rows_.at(size_t(i)); }
  const std::vector<ListRow>& Rows() const { return rows_; }

  // Appends a row and returns its index.
  int Append(ListRow row);
  void RemoveAt(int i);
  // Removes the rows at the given places (ascending, each once) as one
  // change: views hear of one removal, or of a reset when several go.
  void RemoveRows(const std::vector<int>& places);
  void Clear();
  // Puts these rows in place of all rows, as one change.
  void ReplaceAll(std::vector<ListRow> rows);

  // Column and state setters that tell the views.
  void SetState(int i, EntryState state);
  void SetCaption(int i, const std::string& caption);
  void SetChecked(int i, bool checked);
  void SetSelected(int i, bool selected);
  void SelectOnly(int i);
  // The progress (0..10000) of the entry the batch works on, when it is a
  // row.
  void ShowCurrentProgress(int32_t value);
  // The progress of entry i, converting beside others. Progress is not kept
  // in the list file, so neither announces a stored change.
  void ShowProgress(int i, int32_t value);
  // Any other change made through Row(i) is announced with this.
  void NotifyRowChanged(int i) {
    Changed();
    emit rowChanged(i);
  }

  int FirstSelected() const;
  bool AnySelected() const { return FirstSelected() >= 0; }
  int SelectedCount() const;

  // Index of the entry the batch works on; beyond the last row means none.
  int currentPosition = 0;
  // Index of the row last clicked (used by preview and snapshots).
  int previewedEntry = -1;

  // Called after every change of an entry's stored data (rows added or
  // removed, state, caption, check mark, anything announced through
  // NotifyRowChanged), before the views hear of it; not for the selection or
  // the running progress. The list store sets it to write the list.
  std::function<void()> changedHook;

 signals:
  void rowChanged(int index);
  void rowInserted(int index);
  void rowRemoved(int index);
  void listReset();

 private:
  void Changed() {
    if (changedHook) changedHook();
  }

  std::vector<ListRow> rows_;
};

}  // namespace pcm
