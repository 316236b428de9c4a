// A stand-in for the probe module, playing a decoder taken over by a crafted
// file: instead of describing the file it tries to read it and the file
// named by PROBE_STANDIN_SECRET, to write beside it, in the working folder
// and to /dev/null, and to connect to the local TCP port named by
// PROBE_STANDIN_PORT. It prints one line per try, "WHAT: REASON"
// ("done" when it worked). The real module never writes, so only a stand-in
// can show that a probe cannot.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Report(const std::string& what, bool done) {
  std::string line = what + ": " + (done ? "done" : std::strerror(errno)) + "\n";
  (void)!write(STDOUT_FILENO, line.data(), line.size());
}

void TryOpen(const std::string& what, const std::string& path, int flags) {
  int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
  Report(what, fd >= 0);
  if (fd >= 0) close(fd);
}

}  // namespace

extern "C" int adapter_run_probe(const char* path) {
  const char* secret = std::getenv("PROBE_STANDIN_SECRET");
  TryOpen("read the file", path, O_RDONLY);
  TryOpen("read elsewhere", secret ? secret : "", O_RDONLY);
  TryOpen("beside the file", std::string(path) + ".written", O_WRONLY | O_CREAT | O_EXCL);
  TryOpen("the file itself", path, O_WRONLY);
  TryOpen("working folder", "written-by-probe", O_WRONLY | O_CREAT | O_EXCL);
  TryOpen("/dev/null", "/dev/null", O_WRONLY);
  const char* port = std::getenv("PROBE_STANDIN_PORT");
  int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port ? std::atoi(port) : 0));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Report("connect", sock >= 0 && connect(sock, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0);
  if (sock >= 0) close(sock);
  return 0;
}
