#pragma once
#include <QObject>
#include <QWidget>

#include "gui/PreviewPanel.h"

class QTreeWidget;

namespace pcm {

class CoreApp;
class SkinForm;
class TrimSession;

// The trim window "Tfm_dvdcutter" on the skin form "cutter": the list of
// entries with their begin and end times and the video panel, shown while
// the trim session is open. It shows the session's state and forwards the
// clicks; the skin elements' commands reach the session through the
// command table.
class TrimWindow : public QObject {
  Q_OBJECT
 public:
  // window: the trim window; form: its skin form; main: the main window,
  // below whose top the trim window is placed.
  TrimWindow(CoreApp& app, QWidget* window, SkinForm* form, QWidget* main);
  // Stops a play first: the player must not draw into a panel that is gone.
  // Deleted before the trim window's widgets.
  ~TrimWindow() override;

  QTreeWidget* List() const { return lv_; }
  PreviewPanel* Panel() const { return panel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void Fill();
  void ShowRow(int row);
  void Show();

  CoreApp& app_;
  TrimSession& session_;
  QWidget* window_;
  SkinForm* form_;
  QWidget* main_;
  QTreeWidget* lv_;
  PreviewPanel* panel_;
};

}  // namespace pcm
