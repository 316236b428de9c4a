#pragma once
#include <gtest/gtest.h>

#include <QFileInfo>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/Application.h"
#include "engine/Progress.h"
#include "preview/Playback.h"
#include "preview/PreviewSession.h"
#include "preview/TrimSession.h"
#include "support/Fixtures.h"

namespace trimtest {

// A player whose position the test sets: the tick rules depend on exact
// position sequences, which a real player cannot give.
class ScriptedPlayback : public pcm::Playback {
 public:
  bool Start(const pcm::preview::PlaySource& source, double start, pcm::preview::FrameSink*, int,
             int) override {
    if (failStart) return false;
    started.push_back(source.path);
    starts.push_back(start);
    playing = true;
    position = 0;
    return true;
  }
  void Seek(double seconds) override { seeks.push_back(seconds); }
  void Pause() override { paused = !paused; }
  void Stop() override {
    playing = false;
    ++stops;
  }
  double Position() const override { return position; }
  // The media ended by itself.
  void End() {
    playing = false;
    if (endedHook) endedHook(pcm::preview::PlayEnd::Ended);
  }

  bool failStart = false;
  bool playing = false;
  bool paused = false;
  int stops = 0;
  double position = 0;
  std::vector<std::string> started;
  std::vector<double> starts;
  std::vector<double> seeks;
};

// A CoreApp over the real adapter with settings in a fresh folder, and a
// trim session over a scripted player.
struct TrimApp {
  explicit TrimApp(const std::string& tag) {
    setenv("POPCLIPMILL_CONFIG_DIR", pcmtest::MakeTempDir(tag + "-config").c_str(), 1);
    programPath = pcmtest::MakeProgramDir(tag);
    app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{programPath, nullptr, &ui, &system});
    app->settings.LoadSettings();
    app->settings.outputField = out = pcmtest::MakeTempDir(tag + "-out");
    previewSession = std::make_unique<pcm::preview::PreviewSession>(playback);
    session = std::make_unique<pcm::TrimSession>(
        pcm::TrimSession::Parts{app->list, app->run, *app, app->options, *previewSession, app->sources});
  }
  // An entry of `seconds` as the probe would have described it.
  int AddEntry(const std::string& caption, int32_t seconds) {
    pcm::ListRow row;
    row.caption = caption;
    row.filePath = "/media/" + caption + ".avi";
    row.entry.sourcePath = row.filePath;
    row.entry.duration = row.time = pcm::FormatClock(seconds);
    row.entry.videoKbps = 800;
    row.trim = {seconds, 0, seconds};
    return app->list.Append(row);
  }
  std::string Shown(const char* element) { return app->display().Text(element); }
  // Plays on to `seconds` and lets the position timer tick once.
  void TickAt(double seconds) {
    playback.position = seconds;
    session->PositionTick();
  }

  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  std::string programPath;
  std::string out;
  std::unique_ptr<pcm::CoreApp> app;
  ScriptedPlayback playback;
  std::unique_ptr<pcm::preview::PreviewSession> previewSession;
  std::unique_ptr<pcm::TrimSession> session;
};

}  // namespace trimtest
