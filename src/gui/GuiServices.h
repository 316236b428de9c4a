#pragma once
#include <QLabel>
#include <QMap>
#include <QPointer>
#include <map>
#include <string>
#include <vector>

#include "gui/Dialogs.h"
#include "ui/Display.h"
#include "ui/SystemActions.h"
#include "ui/UserInterface.h"

namespace pcm {

class SkinElement;
class SkinForm;

// A picture control (profile buttons, category pictures, page pictures,
// im_mainico, img_name). Reports pointing, pressing and clicking with its
// object name.
class PictureLabel : public QLabel {
  Q_OBJECT
 public:
  PictureLabel(const QString& name, QWidget* parent);

 signals:
  void pointed(const QString& name);
  void pressed(const QString& name, const QPoint& pos);
  void moved(const QString& name, const QPoint& pos, Qt::MouseButtons buttons);
  void released(const QString& name);
  void clicked(const QString& name);

 protected:
  void enterEvent(QEnterEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  bool down_ = false;
};

// The display items of the core over the skinned window: text elements,
// strips (which keep the rectangle they had when the window was first
// shown) and picture controls.
class SkinDisplay : public Display {
 public:
  // Adds a form whose elements the display writes (the main window's, the
  // trim window's); element names are unique across them.
  void Attach(SkinForm* form);
  void AddPicture(const std::string& name, PictureLabel* label) { labels_[name] = label; }

  void SetText(const std::string& element, const std::string& text) override;
  std::string Text(const std::string& element) const override;
  void SetStripWidth(const std::string& element, int pixels) override;
  int StripWidth(const std::string& element) const override;
  // Throws CommandError when the file cannot be loaded; the picture keeps
  // its previous look.
  void SetPicture(const std::string& element, const std::string& path) override;
  // How many pictures were loaded into an element.
  int Loads(const std::string& element) const;

 private:
  SkinElement* Find(const std::string& element) const;
  std::vector<QPointer<SkinForm>> forms_;
  std::map<std::string, std::string> texts_;  // items the form lacks
  std::map<std::string, int> strips_;
  std::map<std::string, QRect> stripRects_;
  std::map<std::string, PictureLabel*> labels_;
  std::map<std::string, int> loads_;
};

// Message boxes, file chooser and folder chooser of the window. The folder
// chooser is the desktop's folder dialog (a path field, the places and
// bookmarks), opened where the last choice was made.
class QtUserInterface : public UserInterface {
 public:
  explicit QtUserInterface(QWidget* parent) : parent_(parent) {}
  void SetTitle(const QString& title) { title_ = title; }

  void Warning(const std::string& text) override;
  void Information(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  void Error(const std::string& text) override;
  std::vector<std::string> ChooseFiles(const std::string& filter) override;
  std::optional<std::string> ChooseFolder(const std::string& caption) override;

 private:
  QWidget* parent_;
  QString lastFolder_;
  QString title_ = "PopClipMill";
};

// The window's system actions: opening a folder or an address goes straight
// to the given actions; a shutdown first shows the countdown dialog, and only
// its end or "Shut down now" reaches the given actions' Shutdown.
class WindowSystemActions : public SystemActions {
 public:
  WindowSystemActions(QWidget* parent, SystemActions& actions) : parent_(parent), actions_(actions) {}
  ~WindowSystemActions() override;
  bool OpenFolder(const std::string& path) override { return actions_.OpenFolder(path); }
  bool OpenAddress(const std::string& url) override { return actions_.OpenAddress(url); }
  // Shows the countdown; while one runs, a second request only raises it.
  void Shutdown() override;

  // The length of the countdown in seconds.
  int countdownSeconds = ShutdownCountdown::kSeconds;
  // The countdown's heading: how the batch ended.
  std::function<std::string()> headingHook;
  // The countdown dialog of the last request, null before the first.
  ShutdownDialog* countdownDialog() const { return dialog_; }

 private:
  QWidget* parent_;
  SystemActions& actions_;
  QPointer<ShutdownDialog> dialog_;
};

}  // namespace pcm
