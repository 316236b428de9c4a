#include "preview/ByteSource.h"

#include <mpv/client.h>
#include <mpv/stream_cb.h>

namespace pcm::preview {
namespace {

// One open stream: its source and where the next sequential read starts.
struct OpenStream {
  std::unique_ptr<ByteSource> source;
  uint64_t offset = 0;
};

int64_t ReadNext(void* cookie, char* buffer, uint64_t size) {
  auto* stream = static_cast<OpenStream*>(cookie);
  int64_t got = -1;
  try {
    got = stream->source->ReadAt(stream->offset, buffer, size);
  } catch (...) {
    // An exception must not cross libmpv's C frames: it is a read error.
    got = -1;
  }
  if (got < 0) return -1;
  // A source that claims more than asked would make libmpv read past its buffer.
  const uint64_t count = static_cast<uint64_t>(got) > size ? size : static_cast<uint64_t>(got);
  stream->offset += count;
  return static_cast<int64_t>(count);
}

// The source's size, -1 when unknown or when asking throws.
int64_t SourceSize(ByteSource& source) {
  try {
    return source.Size();
  } catch (...) {
    return -1;
  }
}

int64_t SeekTo(void* cookie, int64_t offset) {
  auto* stream = static_cast<OpenStream*>(cookie);
  if (offset < 0) return int64_t{MPV_ERROR_GENERIC};
  const int64_t size = SourceSize(*stream->source);
  if (size >= 0 && offset > size) return int64_t{MPV_ERROR_GENERIC};
  stream->offset = static_cast<uint64_t>(offset);
  return offset;
}

int64_t SizeOf(void* cookie) {
  const int64_t size = SourceSize(*static_cast<OpenStream*>(cookie)->source);
  return size >= 0 ? size : int64_t{MPV_ERROR_UNSUPPORTED};
}

void CancelReads(void* cookie) {
  try {
    static_cast<OpenStream*>(cookie)->source->Cancel();
  } catch (...) {
    // Nothing to undo: the stream is being stopped anyway.
  }
}

void Close(void* cookie) { delete static_cast<OpenStream*>(cookie); }

int Open(void* userData, char* uri, mpv_stream_cb_info* info) {
  const auto* opener = static_cast<const ByteSourceOpener*>(userData);
  std::unique_ptr<ByteSource> source;
  try {
    source = (*opener)(uri);
  } catch (...) {
    // An exception must not cross libmpv's C frames.
    source.reset();
  }
  if (!source) return MPV_ERROR_LOADING_FAILED;
  info->cookie = new OpenStream{std::move(source), 0};
  info->read_fn = ReadNext;
  info->seek_fn = SeekTo;
  info->size_fn = SizeOf;
  info->close_fn = Close;
  info->cancel_fn = CancelReads;
  return 0;
}

}  // namespace

bool RegisterStreamProtocol(mpv_handle* handle, const std::string& name, const ByteSourceOpener* opener) {
  return mpv_stream_cb_add_ro(handle, name.c_str(), const_cast<ByteSourceOpener*>(opener), Open) >= 0;
}

}  // namespace pcm::preview
