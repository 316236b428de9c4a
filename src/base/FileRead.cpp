#include "base/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace pcm {

FileRead ReadRegularFile(const std::string& path, std::string& text, size_t maxBytes) {
  text.clear();
  // Opening without waiting: a named pipe without a writer would otherwise
  // block here for good.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Failed;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return FileRead::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileRead::NotRegular;
  }
  if (st.st_size < 0 || uint64_t(st.st_size) > maxBytes) {
    ::close(fd);
    return FileRead::TooLarge;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      text.clear();
      return FileRead::Failed;
    }
    if (n == 0) break;
    text.append(buffer, size_t(n));
    // A file that grows while it is read is held to the same bound.
    if (text.size() > maxBytes) {
      ::close(fd);
      text.clear();
      return FileRead::TooLarge;
    }
  }
  ::close(fd);
  return FileRead::Ok;
}

}  // namespace pcm
