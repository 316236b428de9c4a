#pragma once
#include <functional>

class QObject;

namespace pcm {

// Processes events on the calling (main) thread until pred() holds. Sleeps in
// the event loop rather than polling, so a worker's hand-over runs as soon as
// it is posted. When timeoutMs (>= 0) passes first, onTimeout runs once and
// the wait goes on until pred() holds or twice the time has passed. Returns
// whether pred() held.
bool PumpEventsUntil(const std::function<bool()>& pred, int timeoutMs,
                     const std::function<void()>& onTimeout = {});

// Runs the events already posted on the calling (main) thread, twice, so
// that events posted by the first round run as well.
void ProcessPendingEvents();

// Runs fn on the thread of `owner` (the main thread) and waits for it; a
// direct call when already there. The workers' hand-overs go through here.
void HandOver(QObject& owner, const std::function<void()>& fn);

}  // namespace pcm
