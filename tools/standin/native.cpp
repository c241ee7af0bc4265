// What the native build's host stands on. The script context: the script runs on a thread of its
// own, and exactly one of the host and the script runs at a time, handing a baton back and forth.
// That gives the plug-in the same one-frame-at-a-time life as in the real host's fiber, and the
// hand-over orders memory, so sanitizers see the host and the script as one strand of execution.
// The operating system: the tick count the plug-in reads, and "loading" the plug-in, which is
// linked into the same program, by calling its entry point.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "tools/standin/internal.h"
#include "tools/standin/standin.h"

// The plug-in's entry point, called as Windows calls a DLL's.
extern "C" int DllMain(void* module, uint32_t reason, void* reserved);

namespace {

std::atomic<uint32_t> tickCount{0};
std::atomic<int64_t> tickCountReads{0};
// Stands for the module handle Windows would pass: any distinct address will do.
char moduleImage;
bool loaded = false;

enum class Turn { kHost, kScript };

std::mutex batonLock;
std::condition_variable batonMoved;
Turn turn = Turn::kHost;
bool stopping = false;
bool running = false;   // the script thread was started and not yet joined
bool finished = false;  // the script thread has ended
pthread_t scriptThread;
ScriptFunction scriptFunction = nullptr;
thread_local bool insideScript = false;

// Ends the script thread where it waits; its frames hold nothing that needs cleaning up.
[[noreturn]] void leaveScript(std::unique_lock<std::mutex>& lock) {
  turn = Turn::kHost;
  finished = true;
  lock.unlock();
  batonMoved.notify_all();
  pthread_exit(nullptr);
}

void* scriptThreadMain(void*) {
  insideScript = true;
  {
    std::unique_lock<std::mutex> lock(batonLock);
    batonMoved.wait(lock, [] { return turn == Turn::kScript; });
    if (stopping) {
      leaveScript(lock);
    }
  }
  scriptFunction();
  // A script that returns is done; hand control back for good.
  std::unique_lock<std::mutex> lock(batonLock);
  leaveScript(lock);
}

}  // namespace

void scriptContextStart(ScriptFunction script) {
  scriptContextStop();
  scriptFunction = script;
  stopping = false;
  finished = false;
  turn = Turn::kHost;
  running = pthread_create(&scriptThread, nullptr, scriptThreadMain, nullptr) == 0;
}

void scriptContextResume() {
  if (!running) {
    return;
  }
  std::unique_lock<std::mutex> lock(batonLock);
  if (finished) {
    return;
  }
  turn = Turn::kScript;
  batonMoved.notify_all();
  batonMoved.wait(lock, [] { return turn == Turn::kHost; });
}

void scriptContextWait() {
  if (!insideScript) {
    // Only the script may hand control back. A caller on the host's side (a benchmark driving one
    // pass directly) goes on at once, as in the Windows build.
    return;
  }
  std::unique_lock<std::mutex> lock(batonLock);
  turn = Turn::kHost;
  batonMoved.notify_all();
  batonMoved.wait(lock, [] { return turn == Turn::kScript; });
  if (stopping) {
    leaveScript(lock);
  }
}

void scriptContextStop() {
  if (!running) {
    return;
  }
  {
    std::unique_lock<std::mutex> lock(batonLock);
    stopping = true;
    turn = Turn::kScript;
    batonMoved.notify_all();
  }
  pthread_join(scriptThread, nullptr);
  running = false;
  finished = false;
  stopping = false;
  turn = Turn::kHost;
}

bool scriptContextInside() {
  return insideScript;
}

extern "C" uint32_t GetTickCount() {
  tickCountReads.fetch_add(1, std::memory_order_relaxed);
  return tickCount.load(std::memory_order_relaxed);
}

extern "C" {

void standinSetTickCount(uint32_t ms) {
  tickCount.store(ms, std::memory_order_relaxed);
}
void standinAdvanceTickCount(uint32_t ms) {
  tickCount.fetch_add(ms, std::memory_order_relaxed);
}
int64_t standinTickCountReads(void) {
  return tickCountReads.load(std::memory_order_relaxed);
}

int32_t standinLoadPlugin(const char* /*path*/) {
  if (loaded) {
    return 0;
  }
  loaded = true;
  DllMain(&moduleImage, 1, nullptr);
  return 1;
}

void standinUnloadPlugin(void) {
  if (!loaded) {
    return;
  }
  DllMain(&moduleImage, 0, nullptr);
  loaded = false;
}

}  // extern "C"
