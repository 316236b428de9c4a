// Reading an IFO file in a child process: the encoder adapter parses it
// with libdvdread and prints the records as lines; this process reads them
// back. A child that dies or takes too long yields no records.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "base/ProgramStart.h"
#include "dvd/IfoLines.h"
#include "dvd/IfoReader.h"

namespace pcm::ifo {

namespace fs = std::filesystem;

namespace {

constexpr int kChildTimeoutMs = 10000;
// Far more than the lines of any IFO file.
constexpr size_t kMaxMessage = 16 * 1024 * 1024;

std::mutex g_programMutex;
std::string g_program;

std::string ReaderProgram() {
  std::lock_guard<std::mutex> l(g_programMutex);
  if (!g_program.empty()) return g_program;
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string("register.dat") : (self.parent_path() / "register.dat").string();
}

// Collects the child's message until it closes the pipe or time runs out.
bool ReadUntilClosed(int fd, std::string* bytes) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildTimeoutMs);
  char buf[16384];
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p = {fd, POLLIN, 0};
    int ready = poll(&p, 1, int(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (bytes->size() + size_t(n) > kMaxMessage) return false;
    bytes->append(buf, size_t(n));
  }
}

// Reads the file in a child process. `died` tells a child that crashed or
// hung from one that found the file unreadable.
std::unique_ptr<IfoFile> ReadInChild(const std::string& path, bool* died) {
  *died = false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  // Nothing but the records is wanted from the child.
  int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
  ProgramStart how;
  how.args = {ReaderProgram(), "--describe-dvd", path};
  how.in = quiet;
  how.out = fds[1];
  how.err = quiet;
  StartedProgram child = StartProgram(how);
  close(fds[1]);
  if (quiet >= 0) close(quiet);
  if (!child.ok()) {
    close(fds[0]);
    *died = true;
    return nullptr;
  }
  std::string bytes;
  bool closed = ReadUntilClosed(fds[0], &bytes);
  close(fds[0]);
  // Not collected yet, so the pid is still the child's.
  if (!closed) kill(child.pid, SIGKILL);
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  *died = !closed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  if (*died || bytes.empty()) return nullptr;
  auto file = ParseIfoLines(bytes);
  if (!file) return nullptr;
  size_t slash = path.find_last_of('/');
  file->path = path;
  file->folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return file;
}

}  // namespace

void SetIfoReaderProgram(const std::string& path) {
  std::lock_guard<std::mutex> l(g_programMutex);
  g_program = path;
}

Handle ifoOpen(const std::string& path, int32_t) { return ReadIfoFile(path); }

namespace {

std::string BackupOf(const std::string& path) {
  return path.substr(0, path.size() - 3) + (path.back() == 'o' ? "bup" : "BUP");
}

// The backup read alone, under the file's name, from a folder of its own;
// the records name the file itself.
std::unique_ptr<IfoFile> ReadBackup(const std::string& path) {
  std::error_code error;
  const std::string backup = BackupOf(path);
  if (!fs::is_regular_file(backup, error)) return nullptr;
  std::string folder = (fs::temp_directory_path(error) / "popclipmill-ifo-XXXXXX").string();
  if (error || !mkdtemp(folder.data())) return nullptr;
  std::string copy = folder + "/" + fs::path(path).filename().string();
  std::unique_ptr<IfoFile> file;
  bool died = false;
  if (fs::copy_file(backup, copy, error)) file = ReadInChild(copy, &died);
  fs::remove_all(folder, error);
  if (file) {
    file->path = path;
    file->folder = fs::path(path).parent_path().string();
  }
  return file;
}

// Whether the two files' bytes differ; a copy that cannot be read differs.
bool FilesDiffer(const std::string& a, const std::string& b) {
  std::error_code error;
  const auto size = fs::file_size(a, error);
  if (error || size != fs::file_size(b, error) || error) return true;
  int fa = open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = open(b.c_str(), O_RDONLY | O_CLOEXEC);
  bool differ = fa < 0 || fb < 0;
  char ba[16384], bb[16384];
  while (!differ) {
    ssize_t na = read(fa, ba, sizeof ba), nb = na > 0 ? read(fb, bb, size_t(na)) : 0;
    if (na <= 0) {
      differ = na < 0;
      break;
    }
    differ = nb != na || std::memcmp(ba, bb, size_t(na)) != 0;
  }
  if (fa >= 0) close(fa);
  if (fb >= 0) close(fb);
  return differ;
}

// Titles a listing would show: those with a playing time.
size_t TimedTitles(const IfoFile& file) {
  size_t n = 0;
  for (const TitleInfo& t : file.titles) n += t.milliseconds >= 1000 ? 1 : 0;
  return n;
}

}  // namespace

std::unique_ptr<IfoFile> ReadIfoFile(const std::string& path) {
  bool died = false;
  auto file = ReadInChild(path, &died);
  std::error_code error;
  if (path.size() < 4) return died ? nullptr : std::move(file);
  // Something other than a file in the IFO file's place (a folder, a pipe)
  // is not read at all: its backup is read instead.
  if (!died && (file || fs::is_regular_file(path, error))) {
    // A disc's backup is the file's byte for byte; one that differs means
    // damage in either, which libdvdread notices only when the file cannot
    // be opened at all. The copy with fewer broken chains, then more
    // titles, is the one listed.
    if (!file || !FilesDiffer(path, BackupOf(path))) return file;
    auto backup = ReadBackup(path);
    const auto better = [](const IfoFile& a, const IfoFile& b) {
      if (a.damagedChains.size() != b.damagedChains.size())
        return a.damagedChains.size() < b.damagedChains.size();
      return TimedTitles(a) > TimedTitles(b);
    };
    return backup && better(*backup, *file) ? std::move(backup) : std::move(file);
  }
  // libdvdread died on the file before it could turn to the backup.
  return ReadBackup(path);
}

}  // namespace pcm::ifo
