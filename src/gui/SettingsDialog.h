#pragma once
#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;

namespace pcm {

class CoreApp;
struct ChoiceList;

// Tfm_set: the four choice lists of the current profile, the finish action,
// the number of simultaneous conversions, what becomes of an entry whose
// output exists and whether added folders keep their subfolders. The lists
// are the settings themselves: a choice takes effect at once and stays on
// Cancel; the other settings wait for OK.
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
  // Simultaneous conversions: 1 to Settings::kMaxJobs, or 0 for one per
  // processor, as each item's data.
  QComboBox* cb_jobs;
  // When the output file exists: 0 make a new name, 1 skip the entry.
  QComboBox* cb_exists;
  // Add Folder and dropped folders take the subfolders and keep their tree.
  QCheckBox* ck_keepFolders;

 private:
  void FillLists();
  void Fill(QComboBox* box, const ChoiceList& list);
  void Connect(QComboBox* box, ChoiceList& list);

  CoreApp& app_;
  bool filling_ = false;
};

}  // namespace pcm
