#include "engine/EventPump.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace pcm {

bool PumpEventsUntil(const std::function<bool()>& pred, int timeoutMs,
                     const std::function<void()>& onTimeout) {
  QElapsedTimer t;
  t.start();
  // A periodic wake-up so that conditions changed without an event are seen.
  QTimer tick;
  tick.setInterval(10);
  tick.start();
  bool timedOut = false;
  QEventLoop loop;
  while (!pred()) {
    if (timeoutMs >= 0 && t.elapsed() > timeoutMs) {
      if (timedOut || !onTimeout) return pred();
      timedOut = true;
      onTimeout();
      t.restart();
    }
    loop.processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void ProcessPendingEvents() {
  QEventLoop loop;
  loop.processEvents();
  loop.processEvents();
}

void HandOver(QObject& owner, const std::function<void()>& fn) {
  if (QThread::currentThread() == owner.thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(&owner, fn, Qt::BlockingQueuedConnection);
}

}  // namespace pcm
