#pragma once
#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>

#include "ui/SystemActions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QGroupBox;

namespace pcm {

struct ListRow;

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
  QLabel* reason_;  // the first of the failure lines: why the entry failed
  QPlainTextEdit* failureText_;
  QCheckBox* wholeOutput_;  // the entry's whole encoder output instead
  QString reasonLine_;
  QString failureLines_;  // the lines after the reason
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
  // `heading` says how the batch ended, above the count.
  ShutdownDialog(std::function<void()> powerOff, int seconds, const QString& heading,
                 QWidget* parent = nullptr);
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
