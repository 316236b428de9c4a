#pragma once
#include <QImage>
#include <QObject>
#include <QWidget>
#include <mutex>

#include "preview/Player.h"

class QTreeWidget;

namespace pcm {

class CoreApp;
class SkinForm;
class TrimSession;

// The trim window's video panel: paints the last picture the player handed
// over, scaled to fit, on black.
class TrimPanel : public QWidget, public preview::FrameSink {
  Q_OBJECT
 public:
  explicit TrimPanel(QWidget* parent);
  void ShowFrame(int width, int height, int stride, const uint8_t* pixels) override;
  void ClearFrame() override;
  // A copy of the last picture; null when there is none.
  QImage Frame() const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  mutable std::mutex mutex_;  // the player's render thread writes frame_
  QImage frame_;
};

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
  TrimPanel* Panel() const { return panel_; }

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
  TrimPanel* panel_;
};

}  // namespace pcm
