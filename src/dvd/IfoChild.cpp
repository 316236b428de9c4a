// Reading an IFO file in a child process: the child parses with libdvdread
// and sends the records back through a pipe; the parent decodes them. A
// child that dies or takes too long yields no records.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "dvd/IfoReader.h"

namespace pcm::ifo {

namespace fs = std::filesystem;

namespace {

constexpr int kChildTimeoutMs = 10000;
constexpr uint32_t kEndMark = 0x49464f21;  // closes a complete message

class Writer {
 public:
  void Int(int64_t v) { bytes_.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void Text(const std::string& s) {
    Int(int64_t(s.size()));
    bytes_ += s;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Reads what Writer wrote; any shortfall marks the message as bad.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  int64_t Int() {
    int64_t v = 0;
    if (at_ + sizeof v > bytes_.size()) {
      ok_ = false;
      return 0;
    }
    std::memcpy(&v, bytes_.data() + at_, sizeof v);
    at_ += sizeof v;
    return v;
  }
  std::string Text() {
    int64_t n = Int();
    if (n < 0 || uint64_t(n) > bytes_.size() - at_) {
      ok_ = false;
      return {};
    }
    std::string s = bytes_.substr(at_, size_t(n));
    at_ += size_t(n);
    return s;
  }
  // A count of records that follow, each at least `unit` bytes long.
  size_t Count(size_t unit) {
    int64_t n = Int();
    if (n < 0 || uint64_t(n) > (bytes_.size() - at_) / unit) {
      ok_ = false;
      return 0;
    }
    return size_t(n);
  }
  bool Ok() const { return ok_ && at_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

void PutStreams(Writer& w, const std::vector<StreamInfo>& list) {
  w.Int(int64_t(list.size()));
  for (const StreamInfo& s : list) {
    w.Int(s.number);
    w.Int(s.id);
    w.Text(s.language);
    w.Text(s.coding);
    w.Int(s.channels);
    w.Text(s.description);
  }
}

std::vector<StreamInfo> GetStreams(Reader& r) {
  std::vector<StreamInfo> list(r.Count(48));
  for (StreamInfo& s : list) {
    s.number = int(r.Int());
    s.id = int(r.Int());
    s.language = r.Text();
    s.coding = r.Text();
    s.channels = int(r.Int());
    s.description = r.Text();
  }
  return list;
}

std::string Encode(const IfoFile& f) {
  Writer w;
  w.Text(f.path);
  w.Text(f.folder);
  w.Int(f.titleSet);
  w.Text(f.videoDescription);
  w.Int(f.width);
  w.Int(f.height);
  PutStreams(w, f.audio);
  PutStreams(w, f.subpictures);
  w.Int(int64_t(f.titles.size()));
  for (const TitleInfo& t : f.titles) {
    for (int64_t v : {int64_t(t.titleSet), int64_t(t.programChain), t.milliseconds, int64_t(t.hours),
                      int64_t(t.minutes), int64_t(t.seconds), int64_t(t.firstSector), int64_t(t.lastSector)})
      w.Int(v);
    w.Int(int64_t(t.chapters.size()));
    for (const ChapterInfo& c : t.chapters)
      for (int64_t v : {int64_t(c.program), int64_t(c.firstCell), int64_t(c.lastCell), int64_t(c.firstSector),
                        int64_t(c.lastSector), c.milliseconds})
        w.Int(v);
    PutStreams(w, t.audio);
    PutStreams(w, t.subpictures);
  }
  w.Int(kEndMark);
  return w.Bytes();
}

std::unique_ptr<IfoFile> Decode(const std::string& bytes) {
  Reader r(bytes);
  auto f = std::make_unique<IfoFile>();
  f->path = r.Text();
  f->folder = r.Text();
  f->titleSet = int(r.Int());
  f->videoDescription = r.Text();
  f->width = int(r.Int());
  f->height = int(r.Int());
  f->audio = GetStreams(r);
  f->subpictures = GetStreams(r);
  f->titles.resize(r.Count(80));
  for (TitleInfo& t : f->titles) {
    t.titleSet = int(r.Int());
    t.programChain = int(r.Int());
    t.milliseconds = r.Int();
    t.hours = int(r.Int());
    t.minutes = int(r.Int());
    t.seconds = int(r.Int());
    t.firstSector = uint32_t(r.Int());
    t.lastSector = uint32_t(r.Int());
    t.chapters.resize(r.Count(48));
    for (ChapterInfo& c : t.chapters) {
      c.program = int(r.Int());
      c.firstCell = int(r.Int());
      c.lastCell = int(r.Int());
      c.firstSector = uint32_t(r.Int());
      c.lastSector = uint32_t(r.Int());
      c.milliseconds = r.Int();
    }
    t.audio = GetStreams(r);
    t.subpictures = GetStreams(r);
  }
  if (r.Int() != kEndMark || !r.Ok()) return nullptr;
  return f;
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += size_t(n);
  }
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
    bytes->append(buf, size_t(n));
  }
}

// Reads the file in a child process. `died` tells a child that crashed or
// hung from one that found the file unreadable.
std::unique_ptr<IfoFile> ReadInChild(const std::string& path, bool* died) {
  *died = false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return nullptr;
  }
  if (pid == 0) {
    // The child: nothing it prints is wanted, and it leaves without running
    // the parent's exit handlers.
    close(fds[0]);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      dup2(quiet, STDOUT_FILENO);
      dup2(quiet, STDERR_FILENO);
    }
    auto file = ReadIfoFileInProcess(path);
    if (file) WriteAll(fds[1], Encode(*file));
    _exit(0);
  }
  close(fds[1]);
  std::string bytes;
  bool closed = ReadUntilClosed(fds[0], &bytes);
  close(fds[0]);
  if (!closed) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  *died = !closed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  if (*died || bytes.empty()) return nullptr;
  return Decode(bytes);
}

}  // namespace

std::unique_ptr<IfoFile> ReadIfoFile(const std::string& path) {
  bool died = false;
  auto file = ReadInChild(path, &died);
  if (!died) return file;

  // libdvdread died on the file before it could turn to the backup: read the
  // backup alone, under the file's name, from a folder of its own.
  if (path.size() < 4) return nullptr;
  std::string backup = path.substr(0, path.size() - 3) + (path.back() == 'o' ? "bup" : "BUP");
  std::error_code error;
  if (!fs::is_regular_file(backup, error)) return nullptr;
  std::string folder = (fs::temp_directory_path(error) / "popclipmill-ifo-XXXXXX").string();
  if (error || !mkdtemp(folder.data())) return nullptr;
  std::string copy = folder + "/" + fs::path(path).filename().string();
  if (fs::copy_file(backup, copy, error)) file = ReadInChild(copy, &died);
  fs::remove_all(folder, error);
  if (file) {
    file->path = path;
    file->folder = fs::path(path).parent_path().string();
  }
  return file;
}

}  // namespace pcm::ifo
