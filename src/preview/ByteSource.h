#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct mpv_handle;
struct mpv_stream_cb_info;

namespace pcm::preview {

// Bytes that the player reads instead of a file: a DVD title read sector by
// sector, for example. Reads come from one of libmpv's threads, one at a
// time, usually in sequence but after seeks at any offset.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to size bytes starting at offset into buffer. Returns the
  // number copied, 0 at the end, -1 on a read error.
  virtual int64_t ReadAt(uint64_t offset, char* buffer, uint64_t size) = 0;
  // The total size in bytes, or -1 when it is not known.
  virtual int64_t Size() { return -1; }
  // Playback is being stopped: a ReadAt that waits for data (a device, a
  // pipe) should return -1 soon. Called on another of libmpv's threads.
  virtual void Cancel() {}
};

// Opens the source for a whole URI ("name://rest"); nullptr when it cannot.
using ByteSourceOpener = std::function<std::unique_ptr<ByteSource>(const std::string& uri)>;

// The stream protocols of one libmpv handle and the streams opened through
// them. libmpv may still cancel a stream while it closes it, so the record
// of every stream lives until the session ends; destroy the session only
// after mpv_terminate_destroy has returned.
class StreamSession {
 public:
  StreamSession();
  ~StreamSession();
  StreamSession(const StreamSession&) = delete;
  StreamSession& operator=(const StreamSession&) = delete;

  // Registers protocol name on handle so that "name://..." is read through
  // the sources opener makes. opener must outlive the session. Returns false
  // when libmpv refuses the name.
  bool Register(mpv_handle* handle, const std::string& name, const ByteSourceOpener* opener);

  struct Stream;

 private:
  struct Protocol {
    StreamSession* session;
    const ByteSourceOpener* opener;
  };
  static int Open(void* protocol, char* uri, mpv_stream_cb_info* info);

  std::mutex mutex_;
  std::vector<std::unique_ptr<Protocol>> protocols_;
  std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace pcm::preview
