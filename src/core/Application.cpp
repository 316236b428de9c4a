#include "core/Application.h"

#include <QCoreApplication>
#include <QThread>
#include <sstream>

#include "core/CoreCommands.h"
#include "dvd/IfoReader.h"
#include "preview/DvdByteSource.h"
#include "profiles/Ini.h"
#include "ui/MulDiv.h"

namespace pcm {

// The given implementation, or a default one owned by the application.
template <class Interface, class Default>
static Interface* OrOwn(Interface* given, std::unique_ptr<Default>& own) {
  if (given) return given;
  own = std::make_unique<Default>();
  return own.get();
}

CoreApp::CoreApp(const Options& o)
    : program(o.programPath),
      progress([this](int32_t v) {
        // The strip and the row of the entry being converted, if any.
        ShowConvertProgress(v);
        list.ShowCurrentProgress(v);
      }),
      engine(progress, *this, run),
      probe(program.BesideExecutable("register.dat"), program.Directory()),
      profiles(*this, program, settings),
      options(profiles, settings, list),
      sources(engine.record, options),
      settings(program, profiles),
      listCommands({list, probe, options, run, program, *this}),
      batch({list, engine, progress, options, settings, run, program, *this, sources}),
      player(o.playerOptions),
      playback(player),
      session(playback),
      preview({list, run, *this, session, sources}),
      dvd({list, options, run, *this}),
      listStore(list, program, *this, sources),
      openedPaths(listCommands, program, *this),
      trim({list, run, *this, options, session, sources}),
      stills({list, engine, options, run, *this, sources}) {
  display_ = OrOwn(o.display, ownDisplay_);
  ui_ = OrOwn(o.ui, ownUi_);
  system_ = OrOwn(o.system, ownSystem_);
  engine.record.EncoderPath = program.BesideExecutable("register.dat");
  ifo::SetIfoReaderProgram(engine.record.EncoderPath);
  engine.record.WorkDir = program.Directory();
  profiles.selectedHook = [this] { options.RefreshSizeEstimates(); };
  progress.creepHeld = [this] { return engine.IsPaused(); };
  // The DVD end of a click on the list.
  listCommands.dvdClickedHook = [this] { dvd.ListClickedEnd(); };
  dvd.listClickedHook = [this] { listCommands.ListClicked(); };
  // A DVD folder or IFO file dropped on the window or named at the start
  // opens as Add DVD or Add IFO would.
  listCommands.dropDvdHook = [this](const std::string& path) { return dvd.OpenDropped(path); };
  openedPaths.openDvdFolderHook = [this](const std::string& path) {
    if (!dvd.OpenDropped(path)) listCommands.AddFolderPath(path);
  };
  // The saved list keeps DVD rows with the listing's files, view and marks.
  listStore.dvdViewHook = [this] { return dvd.ViewState(); };
  listStore.dvdRestoreHook = [this](std::vector<ListRow>& rows, const DvdViewState& view) {
    return dvd.AdoptRestored(rows, view);
  };
  dvd.changedHook = [this] { listStore.SaveAfterChange(); };
  batch.listSettledHook = [this] { listStore.Flush(); };
  RegisterCoreCommands(*this);
  preview.listClickedHook = [this] { listCommands.ListClicked(); };
  player.AddStreamProtocol(preview::kDvdProtocol, preview::OpenDvdStream);
}

CoreApp::~CoreApp() {
  // Jobs and probes end before the state their hand-overs touch goes away.
  engine.Shutdown();
  probe.Shutdown();
}

std::string CoreApp::LoadMessage(int n) {
  if (run.converting && n != 26) return {};
  std::string path = program.BesideExecutable("language.info");
  std::string text;
  switch (ReadRegularFile(path, text)) {
    case FileRead::Ok:
      break;
    case FileRead::NotRegular:
      // A named pipe in its place would block the window for good.
      throw CommandError("I/O error: " + path + " is not a regular file");
    default:
      throw CommandError("I/O error: cannot read " + path);
  }
  std::istringstream in(text);
  std::string line, last;
  int i = 0;
  bool found = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    last = line;
    if (++i == n) {
      found = true;
      break;
    }
  }
  // A file shorter than N lines yields an empty message; the hint then shows
  // the last line read.
  std::string message = found ? line : std::string();
  if (n < 25) {
    display_->SetText("hint", last);
  } else if (n == 25) {
    display_->SetText("hint", last + " " + program.NameWithoutExtension() + ".");
  }
  return message;
}

void CoreApp::ShowStrip(const std::string& element, int fullWidth, int32_t p) {
  pcm::ShowStrip(*display_, element, fullWidth, p);
}

void CoreApp::ShowConvertProgress(int32_t p) {
  ShowStrip("convertpos", kConvertStripWidth, p);
  display_->SetText("hint", progress.statusLine);
}

bool CoreApp::Refused(bool whilePreviewing, bool whileConverting) {
  if (whilePreviewing && run.previewing) {
    ui_->Warning(LoadMessage(27));
    return true;
  }
  if (whileConverting && run.converting) {
    ui_->Warning(LoadMessage(26));
    return true;
  }
  return false;
}

void CoreApp::RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    ui_->Error(e.what());
  }
}

bool CoreApp::Execute(Command c) {
  if (!commands.Available(c)) return false;
  RunCommand([&] { commands.Run(c); });
  UpdateCommandStates();
  return true;
}

}  // namespace pcm
