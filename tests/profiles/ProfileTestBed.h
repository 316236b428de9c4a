#pragma once
#include <QLocale>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "core/Application.h"
#include "profiles/Catalog.h"
#include "queue/OptionAssembly.h"
#include "profiles/ProfileState.h"
#include "profiles/Settings.h"
#include "queue/ConversionList.h"
#include "support/Fixtures.h"
#include "ui/Notifier.h"

namespace pcmtest {

// One block of a test "profiles.pop".
struct PopBlock {
  std::string sizeLine, rateLine, optionLine;
};

// The block a test gets unless it gives its own: audio profiles "*" and no
// size, every other number six sizes and five rates.
inline PopBlock DefaultBlock(int n) {
  const pcm::ProfileRecord* rec = pcm::ProfileInfo(n);
  if (rec && rec->media == pcm::Media::Audio) return {"", "*", " -vn -opt" + std::to_string(n)};
  return {"176x144 320x240 640x480 1280x720 720x576 640x360", "300 400 500 600 700",
          " -opt" + std::to_string(n)};
}

inline std::string PopText(const std::map<int, PopBlock>& blocks, int count = pcm::kProfileCount) {
  std::string text;
  for (int n = 1; n <= count; ++n) {
    auto it = blocks.find(n);
    PopBlock b = it == blocks.end() ? DefaultBlock(n) : it->second;
    text += "label " + std::to_string(n) + "\r\n" + b.sizeLine + "\r\n" + b.rateLine + "\r\n" + b.optionLine +
            "\r\n";
  }
  return text;
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// A program directory of its own with a "profiles.pop", a fresh
// configuration folder, and a CoreApp started with the given program name.
class ProfileTestBed {
 public:
  explicit ProfileTestBed(const std::string& programName = "popclipmill",
                          const std::map<int, PopBlock>& blocks = {}) {
    dir = MakeTempDir("profiles-bin");
    configDir = MakeTempDir("profiles-config");
    setenv("POPCLIPMILL_CONFIG_DIR", configDir.c_str(), 1);
    WritePop(PopText(blocks));
    app = std::make_unique<pcm::CoreApp>(pcm::CoreApp::Options{dir + "/" + programName});
  }

  void WritePop(const std::string& text) { WriteFile(dir + "/profiles.pop", text); }

  pcm::ProfileState& profiles() { return app->profiles; }
  pcm::OptionAssembly& options() { return app->options; }

  // Selects n and then the given list indexes (-2 leaves a list alone).
  void Choose(int n, int size, int video, int audio, int channel = 1) {
    auto& p = app->profiles;
    p.SelectProfile(n);
    if (size != -2) p.SetSelected(p.cb_size, size);
    if (video != -2) p.SetSelected(p.cb_videobitrate, video);
    if (audio != -2) p.SetSelected(p.cb_audiobitrate, audio);
    if (channel != -2) p.SetSelected(p.cb_channel, channel);
  }

  std::string dir, configDir;
  std::unique_ptr<pcm::CoreApp> app;
};

// A notifier with a headless display, scripted answers and recorded system
// actions, that refuses nothing and has no messages.
class QuietNotifier : public pcm::Notifier {
 public:
  std::string LoadMessage(int) override { return {}; }
  bool Refused(bool, bool) override { return false; }
  void UpdateCommandStates() override {}
  void ShowConvertProgress(int32_t) override {}
  pcm::Display& display() override { return display_; }
  pcm::UserInterface& ui() override { return ui_; }
  pcm::SystemActions& system() override { return system_; }

 private:
  pcm::HeadlessDisplay display_;
  pcm::ScriptedUserInterface ui_;
  pcm::RecordingSystemActions system_;
};

// The option assembly without the application: only the pieces it reads
// (profile state, settings, list), built from a test "profiles.pop" as the
// application builds them.
class OptionBed {
 public:
  explicit OptionBed(const std::string& programName = "popclipmill",
                     const std::map<int, PopBlock>& blocks = {})
      : dir(MakeTempDir("options-bin")),
        program(dir + "/" + programName),
        profiles_(notifier, program, settings_),
        settings_(program, profiles_),
        options_(profiles_, settings_, list) {
    setenv("POPCLIPMILL_CONFIG_DIR", MakeTempDir("options-config").c_str(), 1);
    WriteFile(dir + "/profiles.pop", PopText(blocks));
  }

  pcm::ProfileState& profiles() { return profiles_; }
  pcm::Settings& settings() { return settings_; }
  pcm::OptionAssembly& options() { return options_; }

  // Selects n and then the given list indexes (-2 leaves a list alone).
  void Choose(int n, int size, int video, int audio, int channel = 1) {
    profiles_.SelectProfile(n);
    if (size != -2) profiles_.SetSelected(profiles_.cb_size, size);
    if (video != -2) profiles_.SetSelected(profiles_.cb_videobitrate, video);
    if (audio != -2) profiles_.SetSelected(profiles_.cb_audiobitrate, audio);
    if (channel != -2) profiles_.SetSelected(profiles_.cb_channel, channel);
  }

  std::string dir;
  pcm::ProgramInfo program;
  QuietNotifier notifier;
  pcm::ConversionList list;

 private:
  pcm::ProfileState profiles_;
  pcm::Settings settings_;
  pcm::OptionAssembly options_;
};

// An entry as the probe leaves it.
inline pcm::ListRow Entry(const std::string& caption = "clip", const std::string& frameSize = "320x240",
                          const std::string& videoRate = "768", const std::string& audioRate = "128",
                          const std::string& duration = "00:01:30") {
  pcm::ListRow row;
  row.caption = caption;
  row.filePath = "/media/" + caption + ".avi";
  row.entry.sourcePath = row.filePath;
  size_t x = frameSize.find('x');
  row.entry.width = std::atoi(frameSize.substr(0, x).c_str());
  row.entry.height = std::atoi(frameSize.substr(x + 1).c_str());
  row.entry.videoKbps = std::atoi(videoRate.c_str());
  row.entry.audioKbps = std::atoi(audioRate.c_str());
  row.entry.duration = duration;
  return row;
}

}  // namespace pcmtest
