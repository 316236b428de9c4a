// The program: the window, or the headless batch front end when one of its
// options is given.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

#include "app/BatchFrontEnd.h"
#ifdef POPCLIPMILL_HAVE_GUI
#include "gui/MainWindowEntry.h"
#endif

namespace {

// The program's directory holds the data files; its name as started selects
// the variant (a link named with "dvd" runs DVD mode).
std::string ProgramPath(const char* argv0) {
  QString name = QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
  return (QCoreApplication::applicationDirPath() + "/" + name).toStdString();
}

// A standard descriptor the program was started without ("2>&-") would be
// taken by the next file opened, and the report or the messages would be
// written into that file: each closed one is opened on /dev/null first.
void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardDescriptors();
  if (pcm::IsHeadlessInvocation(argc, argv)) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return pcm::RunHeadless(ProgramPath(argv[0]), args);
  }
#ifdef POPCLIPMILL_HAVE_GUI
  // Without a display Qt would abort with a message about its platform
  // plugins; the person is told what happened and what works instead.
  if (std::string problem = pcm::WindowPlatformProblem(argc, argv); !problem.empty()) {
    std::string message =
        pcm::NoDisplayText(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toStdString(), problem);
    std::fputs(message.c_str(), stderr);
    return pcm::kExitUsage;
  }
  return pcm::RunMainWindow(argc, argv);
#else
  QCoreApplication app(argc, argv);
  if (argc > 1) {
    std::fprintf(stderr, "%s: unexpected argument %s\n\n%s", argv[0], argv[1],
                 pcm::UsageText(QFileInfo(argv[0]).fileName().toStdString()).c_str());
    return pcm::kExitUsage;
  }
  return pcm::RunDemonstration(ProgramPath(argv[0]));
#endif
}
