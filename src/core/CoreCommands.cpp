#include "core/CoreCommands.h"

#include "core/Application.h"

namespace pcm {

namespace {

// Maker pages: installation data of ours.
const char* const kContactPage = "https://popclipmill.example.org/contact/";
const char* const kAboutPage = "https://popclipmill.example.org/about/";

// No record, no address: nothing to open.
void OpenAddress(CoreApp& app, const std::string& url) {
  if (!url.empty()) app.system().OpenAddress(url);
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
  t.Register(Command::OpenOutput, [&app] { app.system().OpenFolder(app.settings.outputField); });
  t.Register(Command::OpenHelpAddress,
             [&app] { OpenAddress(app, app.product ? app.product->supportAddress : ""); });
  t.Register(Command::OpenWebAddress,
             [&app] { OpenAddress(app, app.product ? app.product->webAddress : ""); });
  t.Register(Command::OpenContactPage, [&app] { OpenAddress(app, kContactPage); });
  t.Register(Command::OpenAboutPage, [&app] { OpenAddress(app, kAboutPage); });
  DvdSource& dvd = app.dvd;
  t.Register(Command::AddDvd, [&dvd] { dvd.OpenDvdFolder(); });
  t.Register(Command::AddIfo, [&dvd] { dvd.OpenIfoFiles(); });
  t.Register(Command::ToggleChapterView, [&dvd] { dvd.ToggleChapterView(); });
  t.Register(Command::DvdCheckAll, [&dvd] { dvd.CheckAll(); });
  t.Register(Command::DvdUncheckAll, [&dvd] { dvd.UncheckAll(); });
  t.Register(Command::Cutter, [&app] {
    if (app.Refused(true, true)) return;
    if (app.program.DvdMode() && !app.run.titleView) app.ui().Warning(app.LoadMessage(28));
  });
}

}  // namespace pcm
