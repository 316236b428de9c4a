#include "gui/MainWindowEntry.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gui/MainWindow.h"
#include "gui/SingleInstance.h"
#include "gui/Skin.h"
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

// How much smaller than now the windows must be drawn for the main window
// to fit the screen's free area: 1 when it fits. A skin that cannot be read
// is reported by the window itself.
double FitScale(const QString& skinPath) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 1;
  QSize size;
  try {
    SkinFile skin;
    skin.Load(skinPath);
    size = skin.Form("popclipmill").size;
  } catch (const SkinError&) {
    return 1;
  }
  const QRect free = screen->availableGeometry();
  if (free.isEmpty()) return 1;
  return std::min({1.0, double(free.width()) / size.width(), double(free.height()) / size.height()});
}

}  // namespace

int RunMainWindow(int argc, char** argv) {
  auto qapp = std::make_unique<QApplication>(argc, argv);
  // The program name is the file name it was started by, so a link named
  // with "dvd" runs DVD mode; the directory is where the data files are.
  QString path = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
  if (!QFileInfo(path).exists())
    path = QCoreApplication::applicationDirPath() + "/" + QFileInfo(path).fileName();
  // Started through a link in another folder (an installed bin/popclipmill),
  // the data files are beside the file the link leads to.
  else if (QFileInfo(path).isSymLink())
    path = QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath() + "/" + QFileInfo(path).fileName();
  // The window has a fixed size: on a screen too small for it at the
  // desktop's scale (a scale of 2 on a 1280 x 900 screen) it is drawn
  // smaller, so that all of it, its title row above all, can be reached.
  // Qt fixes the scale when the application is made: it is made again,
  // before anything else exists.
  if (const double fit = FitScale(QFileInfo(path).absolutePath() + "/skn.skn"); fit < 1) {
    bool set = false;
    double scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&set);
    if (!set || scale <= 0) scale = 1;
    qputenv("QT_SCALE_FACTOR", QByteArray::number(std::floor(scale * fit * 1000) / 1000, 'f', 3));
    qapp.reset();
    qapp = std::make_unique<QApplication>(argc, argv);
  }
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
  // A frameless window gets no placement from the window manager: centre it
  // in the free area, its top left corner never outside it.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect free = screen->availableGeometry();
    QRect placed = window->rect();
    placed.moveCenter(free.center());
    window->move(std::max(free.left(), placed.left()), std::max(free.top(), placed.top()));
  }
  window->show();
  StartScreenshotPreview(*window);
  StopSignalWatch stopWatch([&window] { window->StopAndQuit(); });
  return qapp->exec();
}

}  // namespace pcm
