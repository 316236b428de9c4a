#pragma once
#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>

#include "ui/SystemActions.h"

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
class QGroupBox;

namespace pcm {

struct ListRow;

// Tfm_dir: the folder chooser. "Ok" takes the selected folder and closes,
// or stays open when nothing is selected; "Cancel" and the close box leave
// no choice. The tree keeps its state from one use to the next.
class FolderDialog : public QDialog {
  Q_OBJECT
 public:
  explicit FolderDialog(QWidget* parent = nullptr);
  // Shows the chooser modally with the caption; empty for no choice.
  QString Choose(const QString& caption);
  QString choice() const { return choice_; }
  QTreeView* tree() const { return tree_; }
  QFileSystemModel* model() const { return model_; }
  // Selects a folder in the tree (used by tests and callers that preset).
  void SelectPath(const QString& path);

  void OkClicked();
  void CancelClicked();

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  QTreeView* tree_;
  QFileSystemModel* model_;
  QString choice_;
};

// Tfm_info: what the probe found out about the selected entry.
class InfoDialog : public QDialog {
  Q_OBJECT
 public:
  explicit InfoDialog(QWidget* parent = nullptr);
  void Fill(const ListRow& row);

 private:
  QLineEdit* duration_;
  QLineEdit* format_;
  QLineEdit* bitRate_;
  QLineEdit* sampleRate_;
  QLineEdit* channels_;
  QGroupBox* failure_;
  QPlainTextEdit* failureText_;
  QCheckBox* wholeOutput_;  // the entry's whole encoder output instead
  QString failureLines_;
  QString encoderOutput_;
  void ShowOutput();
};

// Tfm_about: the program's name and a Close button.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  AboutDialog(const QString& iconPath, QWidget* parent = nullptr);
  // Names the program and places the window relative to the main window.
  void Prepare(const QString& programName, QWidget* mainWindow);

 private:
  QLabel* label1_;
};

// Tfm_shutdown: the countdown before a power-off, with "Shut down now" and
// "Cancel". Closing the window cancels as well. The power-off runs at most
// once, when the count ends or "Shut down now" is pressed.
class ShutdownDialog : public QDialog {
  Q_OBJECT
 public:
  ShutdownDialog(std::function<void()> powerOff, int seconds, QWidget* parent = nullptr);
  const ShutdownCountdown& countdown() const { return countdown_; }
  QPushButton* nowButton() const { return now_; }
  QPushButton* cancelButton() const { return cancel_; }
  // One second has passed; the dialog's timer calls it.
  void Tick();

 protected:
  void done(int r) override;

 private:
  void Show();

  ShutdownCountdown countdown_;
  QTimer timer_;
  QLabel* text_;
  QPushButton* now_;
  QPushButton* cancel_;
};

}  // namespace pcm
