#include "gui/ListModel.h"

#include <QBrush>
#include <QColor>

#include "queue/ConversionList.h"

namespace pcm {

ListModel::ListModel(ConversionList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), shown_(list.Count()), firstCaption_(kListColumns[0].caption) {
  // The list has already changed when it tells us; the views learn of one
  // row at a time so their selection and scroll position survive.
  connect(&list_, &ConversionList::rowInserted, this, [this](int i) {
    reshaping_ = true;
    beginInsertRows({}, i, i);
    ++shown_;
    endInsertRows();
    reshaping_ = false;
  });
  connect(&list_, &ConversionList::rowRemoved, this, [this](int i) {
    reshaping_ = true;
    beginRemoveRows({}, i, i);
    --shown_;
    endRemoveRows();
    reshaping_ = false;
  });
  connect(&list_, &ConversionList::listReset, this, [this] {
    reshaping_ = true;
    beginResetModel();
    shown_ = list_.Count();
    endResetModel();
    reshaping_ = false;
  });
  connect(&list_, &ConversionList::rowChanged, this,
          [this](int i) { emit dataChanged(index(i, 0), index(i, columnCount() - 1)); });
}

void ListModel::SetFirstCaption(const QString& caption) {
  firstCaption_ = caption;
  emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void ListModel::SetCheckBoxes(bool shown) {
  beginResetModel();
  checkBoxes_ = shown;
  endResetModel();
}

int ListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

int ListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !list_.Valid(index.row())) return {};
  const ListRow& row = list_.Row(index.row());
  const bool failed = row.state == EntryState::Failed;
  const std::string status = StatusText(row);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
      const std::string* texts[5] = {&row.caption, &row.filePath, &row.time, &row.outputSize, &status};
      return QString::fromStdString(*texts[index.column()]);
    }
    case Qt::CheckStateRole:
      if (index.column() == 0 && checkBoxes_) return row.checked ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::ToolTipRole: {
      // The reason first, then the encoder's last lines that led to it.
      if (index.column() == 4 && failed && !row.failureLines.empty()) {
        QString tip = QString::fromStdString(row.failureLines.front());
        for (size_t i = 1; i < row.failureLines.size(); ++i)
          tip += (i == 1 ? "\n\n" : "\n") + QString::fromStdString(row.failureLines[i]);
        return tip;
      }
      // A skipped entry names the file that stood in its way.
      if (index.column() == 4 && row.state == EntryState::Skipped && !row.outputFile.empty())
        return "Skipped: " + QString::fromStdString(row.outputFile) + " exists";
      if (index.column() == 1) return QString::fromStdString(row.filePath);
      return {};
    }
    case Qt::ForegroundRole:
      if (index.column() == 4) {
        // A row whose source is gone says so in the failure's colour, not in
        // the colour of the state it had before (a green "Missing" read as
        // done).
        const bool missing = row.sourceMissing && row.state != EntryState::Converting;
        if (failed || missing) return QBrush(QColor("#c0392b"));
        if (row.state == EntryState::Finished) return QBrush(QColor("#2f9e5b"));
        if (row.state == EntryState::Stopped) return QBrush(QColor("#b7791f"));
        if (row.state == EntryState::Skipped) return QBrush(QColor("#6b7280"));
      }
      return {};
    default:
      return {};
  }
}

bool ListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != 0 || !list_.Valid(index.row())) return false;
  list_.SetChecked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0 && checkBoxes_) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant ListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || section < 0 || section >= 5) return {};
  if (role == Qt::DisplayRole) return section == 0 ? firstCaption_ : QString(kListColumns[section].caption);
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

}  // namespace pcm
