// The stand-in's window thread: delivers queued keyboard events to the handlers from a thread of
// its own, as the game's window procedure does while the script runs.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/standin/internal.h"
#include "tools/standin/standin.h"

namespace {

struct QueuedKey {
  uint32_t key;
  int32_t up;
};

// Never destroyed: the detached window thread still waits on them while the process exits, and
// destroying a condition variable that has a waiter blocks exit for ever.
std::mutex& queueLock = *new std::mutex;
std::condition_variable& queueChanged = *new std::condition_variable;
std::deque<QueuedKey>& queue = *new std::deque<QueuedKey>;
bool delivering = false;
bool started = false;

void windowThreadMain() {
  std::unique_lock<std::mutex> lock(queueLock);
  for (;;) {
    queueChanged.wait(lock, [] { return !queue.empty(); });
    QueuedKey event = queue.front();
    queue.pop_front();
    delivering = true;
    lock.unlock();
    standinKeyEvent(event.key, event.up);
    lock.lock();
    delivering = false;
    queueChanged.notify_all();
  }
}

}  // namespace

void windowThreadPost(uint32_t key, int32_t up) {
  std::lock_guard<std::mutex> lock(queueLock);
  if (!started) {
    // Lives as long as the process, like the game's window.
    std::thread(windowThreadMain).detach();
    started = true;
  }
  queue.push_back({key, up});
  queueChanged.notify_all();
}

void windowThreadFlush() {
  std::unique_lock<std::mutex> lock(queueLock);
  queueChanged.wait(lock, [] { return queue.empty() && !delivering; });
}
