#pragma once
#include <functional>

namespace pcm {

// Processes events on the calling (main) thread until pred() holds. Sleeps in
// the event loop rather than polling, so a worker's hand-over runs as soon as
// it is posted. When timeoutMs (>= 0) passes first, onTimeout runs once and
// the wait goes on until pred() holds or twice the time has passed. Returns
// whether pred() held.
bool PumpEventsUntil(const std::function<bool()>& pred, int timeoutMs,
                     const std::function<void()>& onTimeout = {});

}  // namespace pcm
