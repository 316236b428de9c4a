#include "preview/Player.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "preview/MpvApi.h"

namespace pcm::preview {
namespace {

// Ids of the observed properties, given back in their change events.
enum Observed : uint64_t { kTimePos = 1, kWidth = 2, kHeight = 3 };

std::string SecondsText(double seconds) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3);
  return std::string(text, result.ptr);
}

bool HeadlessByEnvironment() {
  const char* value = std::getenv("POPCLIPMILL_HEADLESS_PREVIEW");
  return value && std::strcmp(value, "1") == 0;
}

// Play on the main thread must keep the application's events flowing.
bool OnMainThread() {
  auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace

Player::Player() : Player(Options{}) {}

Player::Player(Options options) : options_(std::move(options)) {
  // libmpv refuses to start unless numbers are formatted the C way. Set on
  // the thread that makes the player (the main one), never on the play
  // thread: setlocale is not safe beside other running threads.
  std::setlocale(LC_NUMERIC, "C");
}

Player::~Player() { DestroyPreviewWindow(); }

bool Player::InitPreviewWindow(FrameSink* sink, int width, int height) {
  std::lock_guard lock(mutex_);
  if (playing_) return false;
  {
    std::lock_guard sinkLock(sinkMutex_);
    sink_ = sink;
  }
  panelWidth_ = std::max(0, width);
  panelHeight_ = std::max(0, height);
  open_ = true;
  stopped_ = false;
  start_ = 0;
  pendingSeek_.reset();
  wantPaused_ = false;
  paused_ = false;
  audioStream_ = 0;
  subtitleStream_ = 0;
  position_ = 0;
  mediaStart_ = 0;
  lastError_.clear();
  return true;
}

void Player::SetEventFuntion(EventFunction function) {
  std::lock_guard lock(mutex_);
  eventFunction_ = std::move(function);
}

void Player::Seek(double seconds) {
  if (!(seconds >= 0)) seconds = 0;  // negative or not a number
  std::lock_guard lock(mutex_);
  if (!playing_) {
    start_ = seconds;
  } else if (!handle_ || !loaded_) {
    // libmpv refuses a seek before the file has loaded.
    pendingSeek_ = seconds;
  } else {
    ApplySeek(handle_, seconds);
  }
}

void Player::ApplySeek(mpv_handle* handle, double seconds) {
  const std::string target = SecondsText(seconds);
  const char* command[] = {"seek", target.c_str(), "absolute+exact", nullptr};
  Mpv()->command_async(handle, 0, command);
}

void Player::SelectAudioStream(int streamId) {
  std::lock_guard lock(mutex_);
  audioStream_ = streamId;
}

void Player::SelectSubtitleStream(int streamId) {
  std::lock_guard lock(mutex_);
  subtitleStream_ = streamId;
}

void Player::ApplyStream(mpv_handle* handle, const char* type, const char* property, int streamId) {
  // libmpv numbers tracks in the order it found them; the container's own
  // id is the track's "src-id". MPEG audio streams carry 0x100 above the
  // id a DVD gives them.
  mpv_node list;
  if (Mpv()->get_property(handle, "track-list", MPV_FORMAT_NODE, &list) < 0) return;
  int64_t track = -1;
  if (list.format == MPV_FORMAT_NODE_ARRAY) {
    for (int i = 0; i < list.u.list->num && track < 0; ++i) {
      const mpv_node& entry = list.u.list->values[i];
      if (entry.format != MPV_FORMAT_NODE_MAP) continue;
      bool wanted = false;
      int64_t id = -1, source = -1;
      for (int k = 0; k < entry.u.list->num; ++k) {
        const char* key = entry.u.list->keys[k];
        const mpv_node& value = entry.u.list->values[k];
        if (!std::strcmp(key, "type") && value.format == MPV_FORMAT_STRING)
          wanted = !std::strcmp(value.u.string, type);
        else if (!std::strcmp(key, "id") && value.format == MPV_FORMAT_INT64)
          id = value.u.int64;
        else if (!std::strcmp(key, "src-id") && value.format == MPV_FORMAT_INT64)
          source = value.u.int64;
      }
      if (wanted && (source == streamId || source == streamId + 0x100)) track = id;
    }
  }
  Mpv()->free_node_contents(&list);
  if (track >= 0) Mpv()->set_property_async(handle, 0, property, MPV_FORMAT_INT64, &track);
}

void Player::Pause() {
  std::lock_guard lock(mutex_);
  wantPaused_ = !wantPaused_;
  paused_ = wantPaused_;
  if (handle_) {
    int flag = wantPaused_ ? 1 : 0;
    Mpv()->set_property_async(handle_, 0, "pause", MPV_FORMAT_FLAG, &flag);
  }
}

void Player::Stop() {
  std::lock_guard lock(mutex_);
  open_ = false;
  stopped_ = true;
  if (handle_) Mpv()->wakeup(handle_);
}

void Player::DestroyPreviewWindow() {
  Stop();
  FrameSink* old = nullptr;
  {
    // Taken while no frame is being handed over; none is handed after.
    std::lock_guard sinkLock(sinkMutex_);
    old = sink_;
    sink_ = nullptr;
  }
  if (old) old->ClearFrame();
  std::unique_lock lock(mutex_);
  // A Play on this very thread (a nested event loop) returns once control
  // goes back to it; waiting here would never end.
  if (playThread_ != std::this_thread::get_id()) playEnded_.wait(lock, [this] { return !playing_; });
}

std::string Player::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void Player::AddStreamProtocol(const std::string& name, ByteSourceOpener opener) {
  std::lock_guard lock(mutex_);
  protocols_.push_back(std::make_unique<Protocol>(Protocol{name, std::move(opener)}));
}

PlayEnd Player::Play(const std::string& path) {
  double start = 0;
  bool paused = false;
  std::vector<const Protocol*> protocols;
  {
    std::lock_guard lock(mutex_);
    // A Stop that came before Play began (the worker was slow to start)
    // must not let the file play on unseen.
    if (!playing_ && stopped_) return PlayEnd::Stopped;
    if (playing_ || !open_) {
      lastError_ = playing_ ? "a preview is already playing" : "no preview is open";
      return PlayEnd::Failed;
    }
    playing_ = true;
    playThread_ = std::this_thread::get_id();
    loaded_ = false;
    pendingSeek_.reset();
    lastError_.clear();
    start = start_;
    paused = wantPaused_;
    // The latest registration of a name wins.
    std::set<std::string> seen;
    for (auto it = protocols_.rbegin(); it != protocols_.rend(); ++it)
      if (seen.insert((*it)->name).second) protocols.push_back(it->get());
  }
  bool headless = HeadlessByEnvironment();
  {
    std::lock_guard sinkLock(sinkMutex_);
    headless = headless || !sink_;
  }
  videoWidth_ = 0;
  videoHeight_ = 0;

  PlayEnd result = PlayEnd::Failed;
  std::string error;
  // Outlives the handle: libmpv may call into its streams until it is gone.
  StreamSession streams;
  mpv_handle* handle = CreateHandle(headless, start, paused);
  if (!handle) {
    error = Mpv() ? "the player could not be started"
                  : "the player could not be started: libmpv cannot be loaded";
  } else {
    for (const Protocol* protocol : protocols) streams.Register(handle, protocol->name, &protocol->opener);
    if (!headless) StartRenderer(handle);
    bool stopped = false;
    {
      std::lock_guard lock(mutex_);
      stopped = !open_;
      if (!stopped) {
        handle_ = handle;
        // A pause that came while the player was being made.
        if (wantPaused_ != paused) {
          int flag = wantPaused_ ? 1 : 0;
          Mpv()->set_property_async(handle, 0, "pause", MPV_FORMAT_FLAG, &flag);
        }
      }
    }
    if (stopped) {
      result = PlayEnd::Stopped;
    } else {
      const char* command[] = {"loadfile", path.c_str(), nullptr};
      if (Mpv()->command(handle, command) < 0) {
        error = "the file could not be opened";
      } else {
        result = RunEvents(handle, OnMainThread());
      }
    }
    {
      std::lock_guard lock(mutex_);
      handle_ = nullptr;
    }
    StopRenderer();
    Mpv()->terminate_destroy(handle);
  }
  {
    std::lock_guard lock(mutex_);
    if (result == PlayEnd::Failed && lastError_.empty())
      lastError_ = error.empty() ? "playback failed" : error;
    playing_ = false;
    playThread_ = {};
  }
  playEnded_.notify_all();
  return result;
}

mpv_handle* Player::CreateHandle(bool headless, double start, bool paused) {
  if (!Mpv()) return nullptr;
  mpv_handle* handle = Mpv()->create();
  if (!handle) return nullptr;
  auto set = [handle](const char* name, const std::string& value) {
    Mpv()->set_option_string(handle, name, value.c_str());
  };
  // Play the one file given: no configuration, scripts, key bindings,
  // on-screen display, or files found beside it.
  set("config", "no");
  set("terminal", "no");
  set("idle", "yes");
  set("keep-open", "no");
  set("input-default-bindings", "no");
  set("input-vo-keyboard", "no");
  set("osc", "no");
  set("ytdl", "no");
  set("load-scripts", "no");
  set("load-stats-overlay", "no");
  set("load-osd-console", "no");
  set("load-auto-profiles", "no");
  set("osd-level", "0");
  set("sub-auto", "no");
  set("audio-file-auto", "no");
  set("audio-display", "no");
  // Exact seeks, also on MPEG program streams (DVD titles).
  set("hr-seek", "yes");
  set("hr-seek-demuxer-offset", "0.5");
  set("vo", headless ? "null" : "libmpv");
  if (headless) set("ao", "null");
  set("start", SecondsText(start));
  set("pause", paused ? "yes" : "no");
  for (const auto& [name, value] : options_.extra) set(name.c_str(), value);
  if (Mpv()->initialize(handle) < 0) {
    Mpv()->terminate_destroy(handle);
    return nullptr;
  }
  Mpv()->observe_property(handle, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
  Mpv()->observe_property(handle, kWidth, "dwidth", MPV_FORMAT_INT64);
  Mpv()->observe_property(handle, kHeight, "dheight", MPV_FORMAT_INT64);
  return handle;
}

PlayEnd Player::RunEvents(mpv_handle* handle, bool pumpQt) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!open_) return PlayEnd::Stopped;
    }
    // On the main thread wait briefly, then let the application run.
    mpv_event* event = Mpv()->wait_event(handle, pumpQt ? 0.01 : 1.0);
    switch (event->event_id) {
      case MPV_EVENT_SHUTDOWN:
        return PlayEnd::Stopped;
      case MPV_EVENT_FILE_LOADED: {
        std::lock_guard lock(mutex_);
        loaded_ = true;
        double start = 0;
        if (Mpv()->get_property(handle, "demuxer-start-time", MPV_FORMAT_DOUBLE, &start) >= 0 &&
            std::isfinite(start))
          mediaStart_ = start;
        if (audioStream_ > 0) ApplyStream(handle, "audio", "aid", audioStream_);
        // A DVD row's chosen subpicture is shown as the conversion burns it in.
        if (subtitleStream_ > 0) ApplyStream(handle, "sub", "sid", subtitleStream_);
        if (pendingSeek_) ApplySeek(handle, *pendingSeek_);
        pendingSeek_.reset();
        break;
      }
      case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* property = static_cast<mpv_event_property*>(event->data);
        if (event->reply_userdata == kTimePos && property->format == MPV_FORMAT_DOUBLE) {
          const double seconds = *static_cast<double*>(property->data);
          position_ = seconds;
          EventFunction report;
          {
            std::lock_guard lock(mutex_);
            report = eventFunction_;
          }
          if (report) report(seconds);
        } else if ((event->reply_userdata == kWidth || event->reply_userdata == kHeight) &&
                   property->format == MPV_FORMAT_INT64) {
          const int value = static_cast<int>(*static_cast<int64_t*>(property->data));
          (event->reply_userdata == kWidth ? videoWidth_ : videoHeight_) = value;
          // Draw the current picture again at its real size.
          std::lock_guard lock(renderMutex_);
          renderRedraw_ = true;
          renderWake_.notify_one();
        }
        break;
      }
      case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<mpv_event_end_file*>(event->data);
        if (end->reason == MPV_END_FILE_REASON_EOF) return PlayEnd::Ended;
        if (end->reason == MPV_END_FILE_REASON_STOP || end->reason == MPV_END_FILE_REASON_QUIT)
          return PlayEnd::Stopped;
        std::lock_guard lock(mutex_);
        // A playlist would go on to play other files: the preview plays one.
        lastError_ = end->reason == MPV_END_FILE_REASON_ERROR ? Mpv()->error_string(end->error)
                                                              : "a playlist or folder, not one media file";
        return PlayEnd::Failed;
      }
      default:
        break;
    }
    if (pumpQt) QCoreApplication::processEvents();
  }
}

void Player::StartRenderer(mpv_handle* handle) {
  mpv_render_param params[] = {{MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
                               {MPV_RENDER_PARAM_INVALID, nullptr}};
  if (Mpv()->render_context_create(&render_, handle, params) < 0) {
    render_ = nullptr;  // plays without a picture
    return;
  }
  {
    std::lock_guard lock(renderMutex_);
    renderUpdate_ = false;
    renderRedraw_ = false;
    renderQuit_ = false;
  }
  Mpv()->render_context_set_update_callback(render_, &Player::OnRenderUpdate, this);
  renderThread_ = std::thread(&Player::RenderLoop, this);
}

void Player::StopRenderer() {
  if (!render_) return;
  {
    std::lock_guard lock(renderMutex_);
    renderQuit_ = true;
    renderWake_.notify_one();
  }
  renderThread_.join();
  Mpv()->render_context_free(render_);
  render_ = nullptr;
}

void Player::OnRenderUpdate(void* self) {
  auto* player = static_cast<Player*>(self);
  std::lock_guard lock(player->renderMutex_);
  player->renderUpdate_ = true;
  player->renderWake_.notify_one();
}

void Player::RenderLoop() {
  for (;;) {
    bool redraw = false;
    {
      std::unique_lock lock(renderMutex_);
      renderWake_.wait(lock, [this] { return renderUpdate_ || renderRedraw_ || renderQuit_; });
      if (renderQuit_) return;
      redraw = renderRedraw_;
      renderUpdate_ = false;
      renderRedraw_ = false;
    }
    const uint64_t flags = Mpv()->render_context_update(render_);
    if (!(flags & MPV_RENDER_UPDATE_FRAME) && !redraw) continue;
    // libmpv waits for every new frame to be drawn, so draw it even while
    // its size is not known yet; it is handed on only at its real size.
    const int videoWidth = videoWidth_, videoHeight = videoHeight_;
    const bool known = videoWidth > 0 && videoHeight > 0;
    int width = known ? videoWidth : 16, height = known ? videoHeight : 16;
    if (known && panelWidth_ > 0 && panelHeight_ > 0 && (width > panelWidth_ || height > panelHeight_)) {
      const double scale = std::min(double(panelWidth_) / width, double(panelHeight_) / height);
      width = std::max(1, int(std::lround(width * scale)));
      height = std::max(1, int(std::lround(height * scale)));
    }
    size_t stride = (size_t(width) * 4 + 63) & ~size_t(63);
    frame_.resize(stride * height + 64);
    auto* pixels =
        reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(frame_.data()) + 63) & ~uintptr_t(63));
    int size[2] = {width, height};
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SW_SIZE, size},
                                 {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("rgb0")},
                                 {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                                 {MPV_RENDER_PARAM_SW_POINTER, pixels},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (Mpv()->render_context_render(render_, params) < 0 || !known) continue;
    // The fourth byte is left undefined by libmpv: make it opaque.
    for (int y = 0; y < height; ++y) {
      uint8_t* row = pixels + y * stride;
      for (int x = 0; x < width; ++x) row[x * 4 + 3] = 0xFF;
    }
    std::lock_guard sinkLock(sinkMutex_);
    if (sink_) sink_->ShowFrame(width, height, int(stride), pixels);
  }
}

}  // namespace pcm::preview
