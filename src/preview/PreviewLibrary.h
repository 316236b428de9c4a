#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace pcm::preview {

// Receives the pictures of the playing video. The window implements it and
// paints the last frame inside its panel.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // One picture of width x height pixels whose rows lie stride bytes apart;
  // each pixel is the four bytes R, G, B, 0xFF (QImage::Format_RGBX8888).
  // Called on the player's render thread; the pixels are valid only during
  // the call, so copy them. Must not wait for the thread that calls Stop or
  // DestroyPreviewWindow.
  virtual void ShowFrame(int width, int height, int stride, const uint8_t* pixels) = 0;
  // The surface is gone (DestroyPreviewWindow): drop the last picture.
  // Called on the thread that calls DestroyPreviewWindow.
  virtual void ClearFrame() {}
};

// How Play ended.
enum class PlayEnd {
  Ended,    // the media played to its end
  Stopped,  // Stop or DestroyPreviewWindow ended it
  Failed,   // the file could not be played, or Play was called out of sequence
};

// The seven operations the preview drives: the player over libmpv
// implements them; a test replaces it where it must script the positions.
class PreviewLibrary {
 public:
  using EventFunction = std::function<void(double seconds)>;
  virtual ~PreviewLibrary() = default;
  virtual bool InitPreviewWindow(FrameSink* sink, int width, int height) = 0;
  virtual void SetEventFuntion(EventFunction function) = 0;
  virtual void Seek(double seconds) = 0;
  // Blocks until playback ends, fails or is stopped.
  virtual PlayEnd Play(const std::string& path) = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;
  // Stops and waits for a Play on another thread to return.
  virtual void DestroyPreviewWindow() = 0;
  // The audio stream to play, by the id the container gives it (a DVD's
  // 0x80, 0x81, ...); 0 leaves the player's choice. Set after
  // InitPreviewWindow, before Play.
  virtual void SelectAudioStream(int streamId) { (void)streamId; }
  // The subtitle to show, likewise (a DVD's 0x20, ...); 0 shows none chosen.
  virtual void SelectSubtitleStream(int streamId) { (void)streamId; }
  // Why the last Play failed, for messages; "" when it is not known.
  virtual std::string LastError() const { return {}; }
  // The media's own time at the player's 0, once the file has loaded: the
  // player counts from the start time of a file whose timestamps start
  // later (a transport stream's), not from one before 0.
  virtual double MediaStart() const { return 0; }
};

}  // namespace pcm::preview
