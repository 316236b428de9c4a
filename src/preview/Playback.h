#pragma once
#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "preview/PlaySource.h"
#include "preview/PreviewLibrary.h"

namespace pcm {

// What a preview needs of a player: a play that returns at once, so that
// clicks and timer ticks keep working while it runs, and the position it
// last reported. The preview session drives it; tests give a scripted one.
class Playback {
 public:
  virtual ~Playback() = default;
  // Opens the preview into sink (headless without one) and starts playing
  // the source from `start` seconds with its audio stream. False when it
  // cannot start.
  virtual bool Start(const preview::PlaySource& source, double start, preview::FrameSink* sink, int width,
                     int height) = 0;
  virtual void Seek(double seconds) = 0;
  // Toggles between paused and playing.
  virtual void Pause() = 0;
  // Ends the play and removes the surface; endedHook is not called for it.
  virtual void Stop() = 0;
  // The last position reported, in seconds; 0 after Start.
  virtual double Position() const = 0;
  // The first position above 0 reported since Start (where the media
  // starts); 0 before there is one.
  virtual double FirstPosition() const { return Position(); }
  // Why the last play failed, "" when not known.
  virtual std::string LastError() const { return {}; }
  // The media's own time at position 0 of the play.
  virtual double MediaStart() const { return 0; }

  // Runs on the main thread when a play ended by itself (the media's end or
  // a failure), after the play has returned.
  std::function<void(preview::PlayEnd)> endedHook;
};

// The real one: a player (libmpv's, or a test's) with its blocking Play on
// a worker thread. The position is the value the player's event function
// stores; the end of the play is queued to the main thread.
class WorkerPlayback : public QObject, public Playback {
 public:
  explicit WorkerPlayback(preview::PreviewLibrary& player) : player_(player) {}
  ~WorkerPlayback() override;

  bool Start(const preview::PlaySource& source, double start, preview::FrameSink* sink, int width,
             int height) override;
  void Seek(double seconds) override { player_.Seek(seconds); }
  void Pause() override { player_.Pause(); }
  void Stop() override;
  double Position() const override { return position_.load(); }
  double FirstPosition() const override { return first_.load(); }
  std::string LastError() const override { return player_.LastError(); }
  double MediaStart() const override { return player_.MediaStart(); }

 private:
  preview::PreviewLibrary& player_;
  std::thread worker_;
  std::atomic<double> position_{0};
  std::atomic<double> first_{0};
  // Counts the plays, so that the end of a play that was stopped meanwhile
  // is ignored when it reaches the main thread.
  uint64_t generation_ = 0;
};

}  // namespace pcm
