// Window benchmark helper for bench/run-window: the main window offscreen,
// as a person uses it, with a list of a thousand files.
//
//   bench_window PROGRAM FOLDER
//     Opens the window of PROGRAM (its folder holds the encoder and the
//     profiles), adds every file of FOLDER as Add Folder does, then selects
//     every row and removes them. Prints the milliseconds of the adding and
//     of the removing, and the number of rows added, on one line.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <string>

#include "core/Application.h"
#include "gui/MainWindow.h"
#include "ui/SystemActions.h"
#include "ui/UserInterface.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_window PROGRAM FOLDER\n");
    return 2;
  }
  pcm::ScriptedUserInterface ui;
  pcm::RecordingSystemActions system;
  pcm::MainWindow window({argv[1], &ui, &system});
  window.modalsDisabled = true;
  window.show();
  window.StartUp();
  pcm::CoreApp& app = window.app();

  QElapsedTimer clock;
  clock.start();
  app.RunCommand([&] { app.listCommands.AddFolderPath(argv[2]); });
  QApplication::processEvents();
  const qint64 addMs = clock.elapsed();
  const int rows = app.list.Count();

  for (int i = 0; i < rows; ++i) app.list.SetSelected(i, true);
  clock.restart();
  app.RunCommand([&] { app.commands.Run(pcm::Command::Remove); });
  QApplication::processEvents();
  const qint64 removeMs = clock.elapsed();
  std::printf("%lld %lld %d\n", static_cast<long long>(addMs), static_cast<long long>(removeMs), rows);
  window.close();
  return 0;
}
