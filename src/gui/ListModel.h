#pragma once
#include <QAbstractTableModel>
#include <QString>

namespace pcm {

class ConversionList;

// Shows the conversion list in the item view: five columns, a check box in
// the first one when the layout shows them, the encoder's last lines as the
// tooltip of a failed entry.
class ListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  ListModel(ConversionList& list, QObject* parent = nullptr);

  void SetFirstCaption(const QString& caption);
  void SetCheckBoxes(bool shown);
  // True while rows are being inserted, removed or reset: the views' own
  // selection then still counts rows the list no longer has (or not yet),
  // so it must not be copied into the list.
  bool Reshaping() const { return reshaping_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  ConversionList& list_;
  int shown_ = 0;  // rows the views know about
  QString firstCaption_;
  bool checkBoxes_ = true;
  bool reshaping_ = false;
};

}  // namespace pcm
