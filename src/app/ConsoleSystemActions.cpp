#include "app/ConsoleSystemActions.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "base/WholeNumber.h"

namespace pcm {

void ConsoleSystemActions::Shutdown() {
  const char* replacement = std::getenv("POPCLIPMILL_POWEROFF_COMMAND");
  QString program = "systemctl";
  QStringList args = {"poweroff"};
  if (replacement && *replacement) {
    program = QString::fromLocal8Bit(replacement);
    args.clear();
  }
  shutdownError.clear();
  if (!QProcess::startDetached(program, args))
    shutdownError = "the power-off command " + program.toStdString() + " could not be started";
}

int ShutdownCountdownSeconds() {
  const char* text = std::getenv("POPCLIPMILL_SHUTDOWN_COUNTDOWN");
  if (!text) return 60;
  auto v = ReadWholeNumber<int>(text);
  return v && *v >= 0 && *v <= 3600 ? *v : 60;
}

bool CountDownToShutdown(const std::string& prog, int seconds, const bool& cancelled) {
  const char* p = prog.c_str();
  const bool terminal = isatty(STDERR_FILENO) == 1;
  int left = seconds;
  auto show = [&] {
    // A terminal line is rewritten each second; elsewhere a line each ten.
    if (terminal)
      std::fprintf(stderr, "\r\033[K%s: shutting down in %d s; Ctrl-C cancels", p, left);
    else if (left == seconds || left % 10 == 0)
      std::fprintf(stderr, "%s: shutting down in %d s; Ctrl-C cancels\n", p, left);
    std::fflush(stderr);
  };
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    --left;
    if (left > 0) show();
  });
  if (left > 0) {
    show();
    tick.start(1000);
  }
  while (left > 0 && !cancelled) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  tick.stop();
  const char* end = terminal && seconds > 0 ? "\n" : "";
  if (cancelled) {
    std::fprintf(stderr, "%s%s: shutdown cancelled\n", end, p);
    return false;
  }
  std::fprintf(stderr, "%s%s: shutting down now\n", end, p);
  return true;
}

}  // namespace pcm
