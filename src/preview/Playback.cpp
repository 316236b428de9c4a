#include "preview/Playback.h"

#include <system_error>

namespace pcm {

WorkerPlayback::~WorkerPlayback() { Stop(); }

bool WorkerPlayback::Start(const preview::PlaySource& source, double start, preview::FrameSink* sink,
                           int width, int height) {
  Stop();
  if (!player_.InitPreviewWindow(sink, width, height)) return false;
  position_ = 0;
  first_ = 0;
  player_.SetEventFuntion([this](double seconds) {
    position_ = seconds;
    double none = 0.0;
    if (seconds > 0.0) first_.compare_exchange_strong(none, seconds);
  });
  player_.Seek(start);
  player_.SelectAudioStream(source.audioStream);
  const std::string path = source.path;
  uint64_t generation = ++generation_;
  try {
    worker_ = std::thread([this, path, generation] {
      const preview::PlayEnd end = player_.Play(path);
      // Queued, not handed over: Stop on the main thread joins this worker,
      // and a blocking hand-over would wait for it. A Stop that came first
      // has raised the generation already, so its end is ignored.
      QMetaObject::invokeMethod(
          this,
          [this, generation, end] {
            if (generation != generation_) return;
            ++generation_;
            if (worker_.joinable()) worker_.join();
            player_.DestroyPreviewWindow();
            if (endedHook) endedHook(end);
          },
          Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    // No worker: nothing plays.
    player_.DestroyPreviewWindow();
    return false;
  }
  return true;
}

void WorkerPlayback::Stop() {
  ++generation_;
  if (!worker_.joinable()) return;
  player_.Stop();
  // Waits for the worker's Play to return; the surface goes with it.
  player_.DestroyPreviewWindow();
  worker_.join();
}

}  // namespace pcm
