#include "gui/MainWindowEntry.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>

#include "gui/MainWindow.h"
#include "ui/StopSignals.h"

namespace pcm {

int RunMainWindow(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // The program name is the file name it was started by, so a link named
  // with "dvd" runs DVD mode; the directory is where the data files are.
  QString path = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
  if (!QFileInfo(path).exists())
    path = QCoreApplication::applicationDirPath() + "/" + QFileInfo(path).fileName();
  std::unique_ptr<MainWindow> window;
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
  StopSignalWatch stopWatch([&window] { window->StopAndQuit(); });
  return qapp.exec();
}

}  // namespace pcm
