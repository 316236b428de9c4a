#include "DvdDescribe.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/WriteAll.h"
#include "dvd/IfoLines.h"
#include "dvd/IfoReader.h"

namespace adapter {

int DescribeDvd(const std::string& path, pid_t parent) {
  // It runs no program to pass a stop request on to.
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(128 + SIGKILL);  // the parent is gone already

  // Refused as a crash would end it, so that the backup is read instead.
  if (pcm::ifo::TripsTheLibrary(path)) {
    static const char kRefused[] = "error the IFO file would corrupt the DVD library's memory\n";
    (void)!write(STDOUT_FILENO, kRefused, sizeof kRefused - 1);
    return 1;
  }
  auto file = pcm::ifo::ReadIfoFileInProcess(path);
  std::string text = file ? pcm::ifo::IfoLines(*file) : std::string("error the IFO file cannot be read\n");
  return pcm::WriteAll(STDOUT_FILENO, text.data(), text.size()) ? 0 : 1;
}

}  // namespace adapter
