#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "preview/ByteSource.h"
#include "preview/PreviewLibrary.h"

struct mpv_handle;
struct mpv_render_context;

// The preview player: plays one media file at a time through libmpv, reports
// the position while it plays and draws the picture into a frame sink. The
// calls follow one sequence: InitPreviewWindow, SetEventFuntion, Seek (the
// start), Play (blocks), then Stop and DestroyPreviewWindow; Pause and Seek
// may come from any thread while Play runs.
namespace pcm::preview {

class Player : public PreviewLibrary {
 public:
  // Called with the current position in seconds, on the thread that runs
  // Play, each time libmpv reports a new position.
  using EventFunction = PreviewLibrary::EventFunction;

  // Options that the product leaves alone; tests use them to speed playback
  // up (for example "speed" or "untimed").
  struct Options {
    std::map<std::string, std::string> extra;  // libmpv option name -> value, set before playing
  };

  Player();
  explicit Player(Options options);
  // Stops a running Play, waits for it to leave and destroys libmpv. Must
  // not run from inside a Play's event loop on the same thread.
  ~Player() override;
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Opens a preview: the picture goes to sink (scaled down to fit width x
  // height when the video is larger; never enlarged). Without a sink, or
  // with POPCLIPMILL_HEADLESS_PREVIEW=1, the preview runs headless: no video
  // output and no sound. Resets the position, the start and the pause.
  // Returns false while a Play is still running.
  bool InitPreviewWindow(FrameSink* sink, int width, int height) override;
  void SetEventFuntion(EventFunction function) override;
  // Moves playback to seconds (0 and above). Before Play it sets where
  // playback starts; before the file has loaded it is kept until then.
  void Seek(double seconds) override;
  // Plays path (a file or "protocol://..." of a registered protocol) until
  // it ends, fails or is stopped. On the application's main thread it keeps
  // the Qt event loop running meanwhile. Returns at once: Stopped after a
  // Stop that came before it, Failed before InitPreviewWindow or while
  // another Play is running.
  PlayEnd Play(const std::string& path) override;
  // Toggles between paused and playing; before Play it sets whether
  // playback starts paused.
  void Pause() override;
  // Ends playback: a running Play returns; a Play that has not begun yet
  // returns at once. The preview stays closed until the next
  // InitPreviewWindow.
  void Stop() override;
  // Stops, waits for a Play on another thread to return, and lets go of the
  // sink: it is not called again after this returns.
  void DestroyPreviewWindow() override;
  void SelectAudioStream(int streamId) override;
  void SelectSubtitleStream(int streamId) override;

  // The last position reported, in seconds; 0 after InitPreviewWindow.
  double Position() const { return position_.load(); }
  bool Paused() const { return paused_.load(); }
  bool Playing() const { return playing_.load(); }
  // libmpv's reason for the last Failed, for messages.
  std::string LastError() const override;
  double MediaStart() const override { return mediaStart_.load(); }

  // Registers a stream protocol for the next Play: "name://rest" is read
  // through the source opener returns for the whole URI. The opener runs on
  // one of libmpv's threads and returns nullptr when the URI cannot be
  // opened.
  void AddStreamProtocol(const std::string& name, ByteSourceOpener opener);

 private:
  struct Protocol {
    std::string name;
    ByteSourceOpener opener;
  };

  mpv_handle* CreateHandle(bool headless, double start, bool paused);
  PlayEnd RunEvents(mpv_handle* handle, bool pumpQt);
  void ApplySeek(mpv_handle* handle, double seconds);
  // Selects the track of `type` ("audio", "sub") whose container id is
  // streamId through `property` ("aid", "sid").
  void ApplyStream(mpv_handle* handle, const char* type, const char* property, int streamId);
  void StartRenderer(mpv_handle* handle);
  void StopRenderer();
  void RenderLoop();
  static void OnRenderUpdate(void* self);

  const Options options_;
  mutable std::mutex mutex_;  // guards the fields below up to the atomics
  std::condition_variable playEnded_;
  mpv_handle* handle_ = nullptr;  // set only while Play runs
  bool open_ = false;             // between InitPreviewWindow and Stop
  bool stopped_ = false;          // Stop closed the preview
  bool stopRequested_ = false;
  bool loaded_ = false;  // the file of the running Play has loaded
  double start_ = 0;
  std::optional<double> pendingSeek_;
  bool wantPaused_ = false;
  int audioStream_ = 0;
  int subtitleStream_ = 0;
  EventFunction eventFunction_;
  std::string lastError_;
  std::vector<std::unique_ptr<Protocol>> protocols_;
  int panelWidth_ = 0, panelHeight_ = 0;
  std::thread::id playThread_;

  std::atomic<double> position_{0};
  std::atomic<double> mediaStart_{0};
  std::atomic<bool> paused_{false};
  std::atomic<bool> playing_{false};

  // Rendering: the render thread draws each new frame into frame_ and hands
  // it to the sink. videoWidth_/videoHeight_ come from the Play thread.
  std::mutex sinkMutex_;
  FrameSink* sink_ = nullptr;
  std::mutex renderMutex_;
  std::condition_variable renderWake_;
  bool renderUpdate_ = false;  // libmpv has something new to draw
  bool renderRedraw_ = false;  // the video size changed: draw the current picture again
  bool renderQuit_ = false;
  mpv_render_context* render_ = nullptr;
  std::thread renderThread_;
  std::atomic<int> videoWidth_{0}, videoHeight_{0};
  std::vector<uint8_t> frame_;
};

}  // namespace pcm::preview
