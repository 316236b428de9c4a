#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <memory>
#include <string>

#include "gui/MainWindow.h"
#include "support/Fixtures.h"

namespace pcmtest {

// A main window in a program directory of its own, with scripted boxes and
// choosers, recorded system actions and a settings directory of its own.
struct WindowHarness {
  std::string programPath;
  std::string configDir;
  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  std::unique_ptr<pcm::MainWindow> window;

  explicit WindowHarness(const std::string& name = "popclipmill", const std::string& configDir = "",
                         const std::string& programDir = "") {
    programPath = programDir.empty() ? MakeProgramDir("gui", "", name) : programDir + "/" + name;
    this->configDir = configDir.empty() ? MakeTempDir("config") : configDir;
    qputenv("POPCLIPMILL_CONFIG_DIR", QByteArray::fromStdString(this->configDir + "/"));
  }
  ~WindowHarness() {
    if (window) {
      window->app().run.converting = false;
      window->close();
    }
  }
  pcm::MainWindow& Open() {
    pcm::MainWindow::Options o;
    o.programPath = programPath;
    o.ui = &ui;
    o.system = &system;
    window = std::make_unique<pcm::MainWindow>(o);
    window->modalsDisabled = true;
    window->show();
    window->StartUp();
    return *window;
  }
  pcm::CoreApp& app() { return window->app(); }
  // Makes the window the active one, as a person's click would: keys reach
  // its shortcuts only then.
  bool Activate() {
    window->activateWindow();
    return WaitUntil([&] { return window->isActiveWindow(); }, 5000);
  }
  std::string Hint() { return window->display().Text("hint"); }
  std::string Directory() const { return programPath.substr(0, programPath.rfind('/')); }
  // The last box shown, as "kind: text".
  std::string LastBox() const {
    return ui.boxes.empty() ? std::string() : ui.boxes.back().kind + ": " + ui.boxes.back().text;
  }
};

// A click on a row of the list as the mouse gives it, with its modifiers.
inline void ClickRow(QTableView* view, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* port = view->viewport();
  QPointF at = view->visualRect(view->model()->index(row, 1)).center();
  QPointF global = port->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, mods);
  QApplication::sendEvent(port, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, mods);
  QApplication::sendEvent(port, &release);
}

// A key pressed and released on a widget as the keyboard gives it; the
// window's shortcuts see it first.
inline void PressKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                     const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(target, &release);
}

// Appends a row as the list commands would, without a probe.
inline int AddRow(pcm::CoreApp& app, const std::string& caption, bool selected = false) {
  pcm::ListRow row;
  row.caption = caption;
  row.filePath = "/media/" + caption + ".mp3";
  row.time = "00:00:10";
  row.outputSize = "0.16MB";
  row.state = pcm::EntryState::Waiting;
  row.entry.sourcePath = row.filePath;
  row.entry.duration = "00:00:10";
  row.entry.videoKbps = 0;
  pcm::StreamInfo sound;
  sound.kind = pcm::StreamInfo::Kind::Audio;
  sound.codec = "mp3";
  sound.sampleRate = 44100;
  sound.channels = 2;
  sound.kbps = 128;
  row.entry.streams = {sound};
  row.trim = {10, 0, 10};
  int i = app.list.Append(row);
  if (selected) app.list.SelectOnly(i);
  return i;
}

}  // namespace pcmtest
