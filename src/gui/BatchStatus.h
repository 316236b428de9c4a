#pragma once
#include <QObject>
#include <QString>
#include <QTimer>

#include "queue/BatchEstimate.h"

class QSystemTrayIcon;
class QWidget;

namespace pcm {

class CoreApp;

// Shows a running batch where the person looks: "entry n of N" and the time
// left for the whole batch before the encoder's line in the hint line, a
// pause in the hint line and the tray tip, and at the end how many entries
// finished, failed and stopped (in a tray message when the window is
// hidden). When no batch runs it leaves the hint line and the tip alone.
class BatchStatus : public QObject {
  Q_OBJECT
 public:
  // `window` is hidden while the program runs in the notification area;
  // `restingTip` is the tray tip when no batch runs.
  BatchStatus(CoreApp& app, QSystemTrayIcon* tray, QWidget* window, QString restingTip);
  ~BatchStatus() override;

  // Follows the run state and the list; called after every command and row
  // change, and every second while a batch runs so the time left moves on.
  void Refresh();
  // What the hint line says at the end of a batch (also shown in the tray
  // message when the window is hidden).
  const std::string& lastSummary() const { return summary_; }

 private:
  void BatchOver();

  CoreApp& app_;
  QSystemTrayIcon* tray_;
  QWidget* window_;
  QString restingTip_;
  BatchEstimate estimate_;
  QTimer tick_;
  bool running_ = false;
  // A stopped batch ends before its encoder does, and the encoder's end
  // clears the hint line: the summary is shown again once it has ended.
  bool summaryAfterEnd_ = false;
  std::string summary_;
};

}  // namespace pcm
