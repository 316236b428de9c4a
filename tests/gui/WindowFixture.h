#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
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
  std::string Hint() { return window->display().Text("hint"); }
  std::string Directory() const { return programPath.substr(0, programPath.rfind('/')); }
  // The last box shown, as "kind: text".
  std::string LastBox() const {
    return ui.boxes.empty() ? std::string() : ui.boxes.back().kind + ": " + ui.boxes.back().text;
  }
};

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
  row.entry.videoRate = "0";
  row.entry.audioRate = "128";
  row.entry.audioCodec = "mp3";
  row.entry.sampleRate = " 44100 Hz";
  row.entry.channels = " stereo";
  row.entry.frameSize = "320x240";
  row.trim = {10, 0, 10};
  int i = app.list.Append(row);
  if (selected) app.list.SelectOnly(i);
  return i;
}

}  // namespace pcmtest
