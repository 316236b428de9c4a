#include "preview/ByteSource.h"

#include "preview/MpvApi.h"

namespace pcm::preview {

// One stream libmpv opened: its source and where the next sequential read
// starts. Reads, seeks and the close come from the stream's own thread; a
// cancel may come from any thread, also while the stream closes.
struct StreamSession::Stream {
  std::mutex mutex;  // between closing the source and cancelling its reads
  std::unique_ptr<ByteSource> source;
  uint64_t offset = 0;
};

namespace {

using Stream = StreamSession::Stream;

int64_t ReadNext(void* cookie, char* buffer, uint64_t size) {
  auto* stream = static_cast<Stream*>(cookie);
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
  auto* stream = static_cast<Stream*>(cookie);
  if (offset < 0) return int64_t{MPV_ERROR_GENERIC};
  const int64_t size = SourceSize(*stream->source);
  if (size >= 0 && offset > size) return int64_t{MPV_ERROR_GENERIC};
  stream->offset = static_cast<uint64_t>(offset);
  return offset;
}

int64_t SizeOf(void* cookie) {
  const int64_t size = SourceSize(*static_cast<Stream*>(cookie)->source);
  return size >= 0 ? size : int64_t{MPV_ERROR_UNSUPPORTED};
}

void CancelReads(void* cookie) {
  auto* stream = static_cast<Stream*>(cookie);
  std::lock_guard lock(stream->mutex);
  if (!stream->source) return;  // already closed
  try {
    stream->source->Cancel();
  } catch (...) {
    // Nothing to undo: the stream is being stopped anyway.
  }
}

// Closes the source; the record stays for a late cancel.
void Close(void* cookie) {
  auto* stream = static_cast<Stream*>(cookie);
  std::unique_ptr<ByteSource> closing;
  std::lock_guard lock(stream->mutex);
  closing = std::move(stream->source);
}

}  // namespace

StreamSession::StreamSession() = default;
StreamSession::~StreamSession() = default;

bool StreamSession::Register(mpv_handle* handle, const std::string& name, const ByteSourceOpener* opener) {
  Protocol* protocol = nullptr;
  {
    std::lock_guard lock(mutex_);
    protocols_.push_back(std::make_unique<Protocol>(Protocol{this, opener}));
    protocol = protocols_.back().get();
  }
  return Mpv()->stream_cb_add_ro(handle, name.c_str(), protocol, &StreamSession::Open) >= 0;
}

int StreamSession::Open(void* userData, char* uri, mpv_stream_cb_info* info) {
  const auto* protocol = static_cast<const Protocol*>(userData);
  std::unique_ptr<ByteSource> source;
  try {
    source = (*protocol->opener)(uri);
  } catch (...) {
    // An exception must not cross libmpv's C frames.
    source.reset();
  }
  if (!source) return MPV_ERROR_LOADING_FAILED;
  auto stream = std::make_unique<Stream>();
  stream->source = std::move(source);
  info->cookie = stream.get();
  info->read_fn = ReadNext;
  info->seek_fn = SeekTo;
  info->size_fn = SizeOf;
  info->close_fn = Close;
  info->cancel_fn = CancelReads;
  std::lock_guard lock(protocol->session->mutex_);
  protocol->session->streams_.push_back(std::move(stream));
  return 0;
}

}  // namespace pcm::preview
