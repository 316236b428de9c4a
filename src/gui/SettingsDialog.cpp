#include "gui/SettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include "core/Application.h"

namespace pcm {

static QComboBox* MakeList(const char* name, QWidget* parent, QRect r) {
  auto* b = new QComboBox(parent);
  b->setObjectName(name);
  b->setEditable(false);
  b->setGeometry(r);
  return b;
}

static void MakeLabel(const char* name, const char* text, QWidget* parent, QPoint at) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->move(at);
  l->adjustSize();
}

SettingsDialog::SettingsDialog(CoreApp& app, QWidget* parent) : QDialog(parent), app_(app) {
  setObjectName("Tfm_set");
  setWindowTitle("Settings");
  setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  setModal(true);
  setFixedSize(362, 390);
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);
  auto* group = new QGroupBox("Format Settings", this);
  group->setObjectName("GroupBox1");
  group->setGeometry(8, 9, 337, 121);
  MakeLabel("Label1", "Video Size:", group, {21, 18});
  cb_size = MakeList("cb_size", group, {12, 34, 149, 24});
  cb_size->setToolTip("Video Quality");
  MakeLabel("Label2", "Video Quality:", group, {184, 17});
  cb_videobitrate = MakeList("cb_videobitrate", group, {172, 34, 149, 24});
  MakeLabel("Label4", "Channl:", group, {21, 67});
  cb_channel = MakeList("cb_channel", group, {12, 84, 149, 24});
  MakeLabel("Label3", "Audio Quality:", group, {179, 67});
  cb_audiobitrate = MakeList("cb_audiobitrate", group, {172, 84, 149, 24});

  auto* finish = new QGroupBox("Output Settings", this);
  finish->setObjectName("rg_finish");
  finish->setGeometry(8, 141, 338, 97);
  rg_finish = new QButtonGroup(this);
  const char* items[3] = {"Do nothing after converting finished",
                          "Open the target folder after converting finished",
                          "Automatically shutdown after converting finished"};
  for (int i = 0; i < 3; ++i) {
    auto* r = new QRadioButton(items[i], finish);
    r->setGeometry(14, 22 + i * 23, 316, 20);
    rg_finish->addButton(r, i);
  }
  // Between the finish action and the buttons: how many entries a batch
  // converts at once.
  MakeLabel("lbl_jobs", "Simultaneous conversions:", this, {16, 243});
  cb_jobs = MakeList("cb_jobs", this, {190, 240, 156, 20});
  cb_jobs->addItem(QString("One per processor (%1)").arg(QThread::idealThreadCount()), 0);
  for (int n = 1; n <= 16; ++n) cb_jobs->addItem(QString::number(n), n);
  // Converting a library again: a new name beside an existing output, or
  // the entry skipped; and whether a folder's tree is kept.
  MakeLabel("lbl_exists", "When the output file exists:", this, {16, 271});
  cb_exists = MakeList("cb_exists", this, {190, 268, 156, 20});
  cb_exists->addItem("make a new name", 0);
  cb_exists->addItem("skip the entry", 1);
  ck_keepFolders = new QCheckBox("Keep subfolders", this);
  ck_keepFolders->setObjectName("ck_keepFolders");
  ck_keepFolders->setGeometry(16, 294, 330, 20);
  ck_keepFolders->setToolTip(
      "Add Folder and dropped folders take their subfolders too; each file is written to the same "
      "subfolder below the output folder.");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("Button1");
  ok->setGeometry(48, 322, 81, 27);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("Button2");
  cancel->setGeometry(200, 322, 81, 27);
  connect(ok, &QPushButton::clicked, this, &SettingsDialog::OkClicked);
  connect(cancel, &QPushButton::clicked, this, &SettingsDialog::CancelClicked);
  Connect(cb_size, app_.profiles.cb_size);
  Connect(cb_videobitrate, app_.profiles.cb_videobitrate);
  Connect(cb_audiobitrate, app_.profiles.cb_audiobitrate);
  Connect(cb_channel, app_.profiles.cb_channel);
  // A list change refills the lists only: the finish action chosen in the
  // open dialog stays until OK or Cancel.
  connect(&app_.profiles, &ProfileState::listsChanged, this, [this] {
    if (isVisible()) FillLists();
  });
}

void SettingsDialog::Connect(QComboBox* box, ChoiceList& list) {
  connect(box, &QComboBox::currentIndexChanged, this, [this, &list](int i) {
    if (!filling_) app_.profiles.SetSelected(list, i);
  });
}

void SettingsDialog::Fill(QComboBox* box, const ChoiceList& list) {
  box->clear();
  for (const auto& item : list.items) box->addItem(QString::fromStdString(item));
  box->setCurrentIndex(list.HasSelection() ? list.selected : -1);
  box->setEnabled(list.enabled);
}

void SettingsDialog::FillLists() {
  filling_ = true;
  Fill(cb_size, app_.profiles.cb_size);
  Fill(cb_videobitrate, app_.profiles.cb_videobitrate);
  Fill(cb_audiobitrate, app_.profiles.cb_audiobitrate);
  Fill(cb_channel, app_.profiles.cb_channel);
  filling_ = false;
}

void SettingsDialog::Prepare() {
  FillLists();
  int action = app_.settings.finishAction;
  if (auto* b = rg_finish->button(action >= 0 && action <= 2 ? action : 0)) b->setChecked(true);
  // A stored number beyond the usual items gets one of its own.
  const int jobs = app_.settings.jobs;
  if (cb_jobs->findData(jobs) < 0) cb_jobs->addItem(QString::number(jobs), jobs);
  cb_jobs->setCurrentIndex(cb_jobs->findData(jobs));
  cb_exists->setCurrentIndex(app_.settings.skipExisting ? 1 : 0);
  ck_keepFolders->setChecked(app_.settings.keepFolders);
}

void SettingsDialog::OkClicked() {
  app_.settings.finishAction = FinishActionOf(rg_finish->checkedId());
  if (cb_jobs->currentIndex() >= 0) app_.settings.jobs = cb_jobs->currentData().toInt();
  app_.settings.skipExisting = cb_exists->currentData().toInt() == 1;
  app_.settings.keepFolders = ck_keepFolders->isChecked();
  app_.settings.SaveChanges();
  app_.RunCommand([this] { app_.options.RefreshSizeEstimates(); });
  accept();
}

void SettingsDialog::CancelClicked() { reject(); }

}  // namespace pcm
