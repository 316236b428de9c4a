#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "dvd/DvdRowSource.h"
#include "dvd/DvdSource.h"
#include "engine/EncoderEngine.h"
#include "engine/MediaProbe.h"
#include "engine/Progress.h"
#include "preview/Player.h"
#include "preview/PreviewControl.h"
#include "preview/Still.h"
#include "preview/Playback.h"
#include "preview/PreviewSession.h"
#include "preview/TrimSession.h"
#include "profiles/ProductInfo.h"
#include "profiles/ProfileState.h"
#include "profiles/Settings.h"
#include "queue/BatchDriver.h"
#include "queue/ConversionList.h"
#include "queue/ListCommands.h"
#include "queue/ListStore.h"
#include "queue/OpenedPaths.h"
#include "queue/OptionAssembly.h"
#include "ui/CommandError.h"
#include "ui/CommandTable.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"
#include "ui/SystemActions.h"
#include "ui/UserInterface.h"

namespace pcm {

// The application object: owns every piece of state of one run (run flags,
// program variant, list, job, probe, profiles, settings, batch) so that tests
// can build a fresh one, and gives each piece what it uses. Lives on the main
// thread. It is the pieces' notifier; no piece knows it.
class CoreApp : public QObject, public Notifier {
  Q_OBJECT
 public:
  struct Options {
    std::string programPath;          // the executable's path; its name selects the variant
    Display* display = nullptr;       // headless display when null
    UserInterface* ui = nullptr;      // scripted answers when null
    SystemActions* system = nullptr;  // recording actions when null
    // libmpv options for the player beyond the product's own (tests use
    // them to speed playback up or to write the sound to a file).
    preview::Player::Options playerOptions = {};
  };
  explicit CoreApp(const Options& options);
  ~CoreApp() override;

  // Messages from "language.info" beside the executable, read anew each time.
  // Throws CommandError when the file cannot be read.
  std::string LoadMessage(int n) override;

  // Conversion strip and the "hint" status line.
  void ShowConvertProgress(int32_t p) override;
  // Sets a strip of full width `fullWidth` to fraction p of 0..10000.
  void ShowStrip(const std::string& element, int fullWidth, int32_t p);

  // Re-evaluates which commands are enabled; a no-op until a window sets the
  // hook.
  void UpdateCommandStates() override {
    if (commandStatesHook) commandStatesHook();
  }
  std::function<void()> commandStatesHook;

  // The refusal convention: message 27 while previewing, then 26 while
  // converting, each in a warning box. Returns true when the command must not
  // run.
  bool Refused(bool whilePreviewing, bool whileConverting) override;

  // Runs a command; an exception leaving it reaches the error box and the
  // command is abandoned.
  void RunCommand(const std::function<void()>& command);
  // Runs a command from the table as RunCommand does, then re-evaluates the
  // command states. False when the command is not available.
  bool Execute(Command c);

  Display& display() override { return *display_; }
  UserInterface& ui() override { return *ui_; }
  SystemActions& system() override { return *system_; }

  RunState run;
  ProgramInfo program;
  ConversionList list;
  Progress progress;
  EncoderEngine engine;
  MediaProbe probe;
  ProfileState profiles;
  OptionAssembly options;
  // The kinds of source the list's rows come from.
  SourceKinds sources;
  Settings settings;
  ListCommands listCommands;
  BatchDriver batch;
  // The one player, its play on a worker, and the preview session the main
  // preview and the trim window share.
  preview::Player player;
  WorkerPlayback playback;
  preview::PreviewSession session;
  preview::PreviewControl preview;
  DvdSource dvd;
  // Every command's function: the core's own and those a window adds.
  CommandTable commands;
  // The program's record from "softinfo.dat", read by the window at start.
  std::optional<ProductRecord> product;
  ListStore listStore;
  OpenedPaths openedPaths;
  // The trim window's rules, and the stills.
  TrimSession trim;
  StillWriter stills;

 private:
  std::unique_ptr<HeadlessDisplay> ownDisplay_;
  std::unique_ptr<ScriptedUserInterface> ownUi_;
  std::unique_ptr<RecordingSystemActions> ownSystem_;
  Display* display_;
  UserInterface* ui_;
  SystemActions* system_;
};

}  // namespace pcm
