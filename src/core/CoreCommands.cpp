#include "core/CoreCommands.h"

#include "core/Application.h"
#include "engine/Progress.h"
#include "ui/HelpAddress.h"

namespace pcm {

namespace {

// Maker pages: sections of the help page shipped with the program.
const char* const kContactPage = "help.html#support";
const char* const kAboutPage = "help.html#about";

// No record, no address: nothing to open. A page that is missing or that no
// program can open is said in a warning.
void OpenAddress(CoreApp& app, const std::string& url) {
  OpenShippedAddress(app.program, app.system(), app.ui(), url);
}

}  // namespace

void RegisterCoreCommands(CoreApp& app) {
  CommandTable& t = app.commands;
  ListCommands& list = app.listCommands;
  BatchDriver& batch = app.batch;
  // One line per command; a new command adds its line here, or where the
  // piece that owns it is wired.
  t.Register(Command::AddFiles, [&list] { list.AddFiles(); });
  t.Register(Command::AddFolder, [&list] { list.AddFolder(); });
  t.Register(Command::Remove, [&list] { list.RemoveSelected(); });
  t.Register(Command::Clear, [&list] { list.ClearList(); });
  t.Register(Command::CheckAll, [&list] { list.CheckAll(); });
  t.Register(Command::UncheckAll, [&list] { list.UncheckAll(); });
  t.Register(Command::Convert, [&app] {
    Settings::CheckFolderName(app.settings.outputField);
    app.batch.StartBatch();
  });
  t.Register(Command::PauseOrContinue, [&batch] { batch.PauseOrContinue(); });
  t.Register(Command::StopConvert, [&batch] { batch.StopBatch(); });
  t.Register(Command::OpenOutput,
             [&app] { OpenOutputFolder(app.system(), app.ui(), app.options.OutputFolder()); });
  t.Register(Command::OpenHelpAddress,
             [&app] { OpenAddress(app, app.product ? app.product->supportAddress : ""); });
  t.Register(Command::OpenWebAddress,
             [&app] { OpenAddress(app, app.product ? app.product->webAddress : ""); });
  t.Register(Command::OpenContactPage, [&app] { OpenAddress(app, kContactPage); });
  t.Register(Command::OpenAboutPage, [&app] { OpenAddress(app, kAboutPage); });
  TrimSession& trim = app.trim;
  preview::PreviewControl& preview = app.preview;
  t.Register(Command::Cutter, [&trim] { trim.Open(); });
  t.Register(Command::OpenTrim, [&trim] { trim.Open(); });
  t.Register(Command::TrimPlay, [&trim] { trim.Play(); });
  t.Register(Command::TrimBegin, [&trim] { trim.SetBegin(); });
  t.Register(Command::TrimEnd, [&trim] { trim.SetEnd(); });
  t.Register(Command::TrimBack, [&trim] { trim.JumpBack(); });
  t.Register(Command::TrimForward, [&trim] { trim.JumpForward(); });
  t.Register(Command::CutClose, [&trim] { trim.Close(); });
  t.Register(Command::StartPreview, [&preview] { preview.StartPreview(); });
  t.Register(Command::StepBack, [&preview] { preview.StepBack(); });
  t.Register(Command::StepForward, [&preview] { preview.StepForward(); });
  // "stop" and "pause" of the trim window share their commands with the
  // main window's preview; while the trim window is open they are its own.
  t.Register(Command::StopPreview, [&trim, &preview] {
    if (trim.IsOpen())
      trim.Stop();
    else
      preview.StopPreview();
  });
  t.Register(Command::TogglePause, [&trim, &preview] {
    if (trim.IsOpen())
      trim.TogglePause();
    else
      preview.TogglePause();
  });
  // The still of the previewed entry at the shown position.
  t.Register(Command::Snapshot, [&app] {
    if (!app.preview.Previewing()) return;
    app.stills.SaveStill(app.preview.PreviewedIndex(), app.preview.ShownSeconds(), app.preview.MediaStart());
  });
  DvdSource& dvd = app.dvd;
  t.Register(Command::AddDvd, [&dvd] { dvd.OpenDvdFolder(); });
  t.Register(Command::AddIfo, [&dvd] { dvd.OpenIfoFiles(); });
  t.Register(Command::ToggleChapterView, [&dvd] { dvd.ToggleChapterView(); });
  t.Register(Command::DvdCheckAll, [&dvd] { dvd.CheckAll(); });
  t.Register(Command::DvdUncheckAll, [&dvd] { dvd.UncheckAll(); });
}

}  // namespace pcm
