#include "ui/HelpAddress.h"

#include <QFileInfo>
#include <QUrl>

#include "ui/RunState.h"
#include "ui/SystemActions.h"
#include "ui/UserInterface.h"

namespace pcm {

namespace {

// "help.html#support" -> {"help.html", "support"}.
std::pair<std::string, std::string> SplitFragment(const std::string& address) {
  size_t hash = address.find('#');
  if (hash == std::string::npos) return {address, {}};
  return {address.substr(0, hash), address.substr(hash + 1)};
}

bool HasScheme(const std::string& address) {
  QUrl url(QString::fromStdString(address));
  return url.isValid() && !url.scheme().isEmpty() && !url.isRelative();
}

}  // namespace

std::string ResolveAddress(const ProgramInfo& program, const std::string& address) {
  if (address.empty() || HasScheme(address)) return address;
  auto [file, fragment] = SplitFragment(address);
  // Only a page beside the executable: no way up or out of its folder.
  if (file.empty() || file.find('/') != std::string::npos) return {};
  QString path = QString::fromStdString(program.BesideExecutable(file));
  if (!QFileInfo(path).isFile()) return {};
  QUrl url = QUrl::fromLocalFile(path);
  if (!fragment.empty()) url.setFragment(QString::fromStdString(fragment));
  return url.toString(QUrl::FullyEncoded).toStdString();
}

void OpenShippedAddress(const ProgramInfo& program, SystemActions& system, UserInterface& ui,
                        const std::string& address) {
  if (address.empty()) return;
  std::string url = ResolveAddress(program, address);
  if (url.empty()) {
    ui.Warning("The help page " + program.BesideExecutable(SplitFragment(address).first) +
               " is missing; reinstalling the program brings it back.");
    return;
  }
  if (!system.OpenAddress(url))
    ui.Warning("No program could be found to open " + url +
               ". Install a web browser, or open that address in one yourself.");
}

}  // namespace pcm
