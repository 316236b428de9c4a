#pragma once
#include <QDialog>

class QButtonGroup;
class QComboBox;

namespace pcm {

class CoreApp;
struct ChoiceList;

// Tfm_set: the four choice lists of the current profile and the finish
// action. The lists are the settings themselves: a choice takes effect at
// once and stays on Cancel; only the finish action waits for OK.
class SettingsDialog : public QDialog {
  Q_OBJECT
 public:
  SettingsDialog(CoreApp& app, QWidget* parent = nullptr);

  // Fills the lists from the current profile and selects the finish action.
  void Prepare();
  void OkClicked();
  void CancelClicked();

  QComboBox* cb_size;
  QComboBox* cb_videobitrate;
  QComboBox* cb_audiobitrate;
  QComboBox* cb_channel;
  QButtonGroup* rg_finish;

 private:
  void FillLists();
  void Fill(QComboBox* box, const ChoiceList& list);
  void Connect(QComboBox* box, ChoiceList& list);

  CoreApp& app_;
  bool filling_ = false;
};

}  // namespace pcm
