#pragma once
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace pcm {

// Writes all of size bytes to fd, again after an interrupted or partial
// write; false when the other end is gone or the write fails (errno tells).
inline bool WriteAll(int fd, const void* data, size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace pcm
