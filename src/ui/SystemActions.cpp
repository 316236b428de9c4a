#include "ui/SystemActions.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <utility>

#include "ui/UserInterface.h"

namespace pcm {

// xdg-open hands the folder to whatever the desktop uses for folders.
bool DesktopSystemActions::OpenFolder(const std::string& path) {
  if (QStandardPaths::findExecutable("xdg-open").isEmpty()) return false;
  return QProcess::startDetached("xdg-open", {QString::fromStdString(path)});
}

void OpenOutputFolder(SystemActions& system, UserInterface& ui, const std::string& folder) {
  if (!system.OpenFolder(folder))
    ui.Warning("No program could be found to open the folder " + folder +
               " (xdg-open is not installed). Open it in a file manager yourself.");
}

// xdg-open hands the address to the desktop's browser. Without a desktop it
// tries a default for web pages, $BROWSER, then the usual browsers: when none
// of them is there, nothing can open the address.
bool DesktopSystemActions::OpenAddress(const std::string& url) {
  if (QStandardPaths::findExecutable("xdg-open").isEmpty()) return false;
  bool browser = !qEnvironmentVariableIsEmpty("BROWSER");
  for (const char* b : {"x-www-browser", "www-browser", "sensible-browser", "firefox", "firefox-esr",
                        "chromium", "google-chrome", "epiphany", "konqueror", "falkon", "lynx", "w3m"})
    browser = browser || !QStandardPaths::findExecutable(b).isEmpty();
  if (!browser) {
    QProcess query;
    query.start("xdg-mime", {"query", "default", "text/html"});
    browser = query.waitForFinished(3000) && !query.readAllStandardOutput().trimmed().isEmpty();
  }
  return browser && QProcess::startDetached("xdg-open", {QString::fromStdString(url)});
}

void DesktopSystemActions::Shutdown() { QProcess::startDetached("systemctl", {"poweroff"}); }

ShutdownCountdown::ShutdownCountdown(std::function<void()> powerOff, int seconds)
    : powerOff_(std::move(powerOff)), left_(seconds < 0 ? 0 : seconds) {}

bool ShutdownCountdown::Tick() {
  if (over_) return false;
  if (left_ > 0) --left_;
  if (left_ == 0) PowerOff();
  return Pending();
}

void ShutdownCountdown::Now() {
  if (!over_) PowerOff();
}

void ShutdownCountdown::PowerOff() {
  over_ = true;
  left_ = 0;
  if (powerOff_) powerOff_();
}

std::string ShutdownCountdown::Text() const {
  return "The computer shuts down in " + std::to_string(left_) + (left_ == 1 ? " second." : " seconds.");
}

}  // namespace pcm
