#include "gui/MainWindowEntry.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "gui/MainWindow.h"
#include "gui/SingleInstance.h"
#include "ui/StopSignals.h"

namespace pcm {

namespace {

// A hook for scripts/screenshot, not part of the product: when
// POPCLIPMILL_SCREENSHOT_PREVIEW names a media file, it is added and
// previewed once the window is up, so that a screenshot shows the window
// while previewing.
void StartScreenshotPreview(MainWindow& window) {
  const QString file = qEnvironmentVariable("POPCLIPMILL_SCREENSHOT_PREVIEW");
  if (file.isEmpty()) return;
  QTimer::singleShot(300, &window, [&window, file] {
    CoreApp& app = window.app();
    bool added = false;
    app.RunCommand([&] { added = app.listCommands.AddFileWithRetry(file.toStdString()); });
    if (!added) return;
    app.list.SelectOnly(app.list.Count() - 1);
    app.RunCommand([&] { app.listCommands.ListClicked(); });
    window.RunCommandOf(Command::StartPreview);
  });
}

}  // namespace

int RunMainWindow(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // The program name is the file name it was started by, so a link named
  // with "dvd" runs DVD mode; the directory is where the data files are.
  QString path = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
  if (!QFileInfo(path).exists())
    path = QCoreApplication::applicationDirPath() + "/" + QFileInfo(path).fileName();
  // Started through a link in another folder (an installed bin/popclipmill),
  // the data files are beside the file the link leads to.
  else if (QFileInfo(path).isSymLink())
    path = QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath() + "/" + QFileInfo(path).fileName();
  std::unique_ptr<MainWindow> window;
  // A second start hands its files to the running window and ends.
  SingleInstance instance;
  if (HandOverOrServe(instance, QFileInfo(path).fileName().toStdString(), StartPaths(argc, argv),
                      [&window] { return window.get(); }))
    return 0;
  try {
    MainWindow::Options o;
    o.programPath = path.toStdString();
    window = std::make_unique<MainWindow>(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    QMessageBox::critical(nullptr, QFileInfo(path).fileName(), QString::fromStdString(e.what()));
    return 1;
  }
  // A frameless window gets no placement from the window manager: centre it.
  if (QScreen* screen = QGuiApplication::primaryScreen())
    window->move(screen->availableGeometry().center() - window->rect().center());
  window->show();
  StartScreenshotPreview(*window);
  StopSignalWatch stopWatch([&window] { window->StopAndQuit(); });
  return qapp.exec();
}

}  // namespace pcm
