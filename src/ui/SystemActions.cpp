#include "ui/SystemActions.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace pcm {

// xdg-open hands the folder to whatever the desktop uses for folders.
void DesktopSystemActions::OpenFolder(const std::string& path) {
  QProcess::startDetached("xdg-open", {QString::fromStdString(path)});
}

void DesktopSystemActions::OpenAddress(const std::string& url) {
  QProcess::startDetached("xdg-open", {QString::fromStdString(url)});
}

void DesktopSystemActions::Shutdown() { QProcess::startDetached("systemctl", {"poweroff"}); }

}  // namespace pcm
