// The stand-in host: the registrations, the nine host operations, the frames, the record of every
// call the plug-in made, and the delivery of key events to the registered handlers, on the
// caller's thread or from a window thread of the host's own.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "host/host_ops.h"
#include "tools/standin/internal.h"
#include "tools/standin/ring.h"
#include "tools/standin/standin.h"

namespace {

constexpr size_t kMaxPushed = 32;

struct Host {
  void* module = nullptr;
  ScriptFunction script = nullptr;
  bool scriptStarted = false;
  std::mutex handlersLock;  // the window thread reads the handlers
  std::vector<KeyboardHandler> handlers;
};

// What happened since the world was reset: the frames, and the calls the plug-in made in them.
struct Record {
  int32_t frameMs = 16;
  int32_t frame = 0;
  int32_t waits = 0;
  bool logCalls = true;
  int64_t nativeTotal = 0;
  int64_t outsideScript = 0;
};

Host host;
Record record;
Ring<StandinHostEvent, kStandinHostEventLogCapacity> events;
Ring<StandinCall, kStandinCallLogCapacity> calls;

// The native being called: hash and arguments pushed so far, and the result area handed back.
uint64_t pendingHash = 0;
uint64_t pushed[kMaxPushed];
size_t pushedCount = 0;
uint64_t resultArea = 0;

// The window thread's queue of key events. Never destroyed: the detached thread still waits on it
// while the process exits, and destroying a condition variable that has a waiter blocks exit for
// ever.
struct Window {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::pair<uint32_t, int32_t>> queue;  // key, up
  bool delivering = false;
  bool started = false;
};
Window& window = *new Window;

// Delivers the queued events to the handlers, as the game's window procedure does while the script
// runs.
void windowThreadMain() {
  std::unique_lock<std::mutex> lock(window.lock);
  for (;;) {
    window.changed.wait(lock, [] { return !window.queue.empty(); });
    const auto event = window.queue.front();
    window.queue.pop_front();
    window.delivering = true;
    lock.unlock();
    standinKeyEvent(event.first, event.second);
    lock.lock();
    window.delivering = false;
    window.changed.notify_all();
  }
}

void logCall(int32_t kind, uint64_t hash, const uint64_t* args, size_t argCount, uint64_t result) {
  if (!record.logCalls) {
    return;
  }
  StandinCall& call = calls.push();
  call.frame = record.frame;
  call.kind = kind;
  call.hash = hash;
  call.argCount = static_cast<int32_t>(argCount);
  call.inScript = scriptContextInside();
  size_t kept = std::min<size_t>(argCount, kStandinMaxArgs);
  std::copy(args, args + kept, call.args);
  std::fill(call.args + kept, call.args + kStandinMaxArgs, 0);
  call.result = result;
}

void logHostEvent(int32_t kind, void* module, void* function) {
  events.push() = {kind, module, function, scriptContextInside()};
}

void forgetRegistrations() {
  scriptContextStop();
  host.module = nullptr;
  host.script = nullptr;
  host.scriptStarted = false;
}

}  // namespace

// ---- The nine host operations ----------------------------------------------------------------

extern "C" {

void scriptRegister(void* module, ScriptFunction script) {
  logHostEvent(kStandinScriptRegister, module, reinterpret_cast<void*>(script));
  host.module = module;
  host.script = script;
  host.scriptStarted = false;
}

void scriptUnregister(void* module) {
  logHostEvent(kStandinScriptUnregister, module, nullptr);
  if (module == host.module) {
    forgetRegistrations();
  }
}

void keyboardHandlerRegister(KeyboardHandler handler) {
  logHostEvent(kStandinKeyboardRegister, nullptr, reinterpret_cast<void*>(handler));
  std::lock_guard<std::mutex> lock(host.handlersLock);
  host.handlers.push_back(handler);
}

void keyboardHandlerUnregister(KeyboardHandler handler) {
  logHostEvent(kStandinKeyboardUnregister, nullptr, reinterpret_cast<void*>(handler));
  std::lock_guard<std::mutex> lock(host.handlersLock);
  auto found = std::find(host.handlers.begin(), host.handlers.end(), handler);
  if (found != host.handlers.end()) {
    host.handlers.erase(found);
  }
}

void scriptWait(uint32_t ms) {
  uint64_t arg = ms;
  logCall(kStandinWait, 0, &arg, 1, 0);
  ++record.waits;
  scriptContextWait();
}

int32_t worldGetAllPeds(int32_t* peds, int32_t capacity) {
  int32_t answered = gameListPeds(peds, capacity);
  uint64_t arg = static_cast<uint32_t>(capacity);
  logCall(kStandinEnumeration, 0, &arg, 1, static_cast<uint32_t>(answered));
  return answered;
}

void nativeInit(uint64_t hash) {
  pendingHash = hash;
  pushedCount = 0;
}

void nativePush64(uint64_t value) {
  if (pushedCount < kMaxPushed) {
    pushed[pushedCount++] = value;
  }
}

uint64_t* nativeCall() {
  if (!scriptContextInside()) {
    ++record.outsideScript;
  }
  ++record.nativeTotal;
  resultArea = gameAnswerNative(pendingHash, pushed, pushedCount, record.frame);
  logCall(kStandinNative, pendingHash, pushed, pushedCount, resultArea);
  return &resultArea;
}

// ---- Control interface -----------------------------------------------------------------------

void standinResetWorld(void) {
  standinFlushKeyEvents();
  bool logCalls = record.logCalls;
  record = Record{};
  record.logCalls = logCalls;
  calls.clear();
  gameReset();
  standinSetTickCount(0);
}

void standinResetAll(void) {
  standinFlushKeyEvents();
  forgetRegistrations();
  events.clear();
  {
    std::lock_guard<std::mutex> lock(host.handlersLock);
    host.handlers.clear();
  }
  record.logCalls = true;
  standinResetWorld();
}

int32_t standinHostEventCount(void) {
  return events.count();
}

int32_t standinHostEventAt(int32_t index, StandinHostEvent* out) {
  return events.copy(index, out);
}

int32_t standinScriptRegistered(void) {
  return host.script != nullptr ? 1 : 0;
}

int32_t standinKeyboardHandlerCount(void) {
  std::lock_guard<std::mutex> lock(host.handlersLock);
  return static_cast<int32_t>(host.handlers.size());
}

void standinSetFrameMs(int32_t ms) {
  record.frameMs = ms;
}

void standinRunFrames(int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    ++record.frame;
    standinSetGameTime(static_cast<int32_t>(static_cast<uint32_t>(standinGameTime()) +
                                            static_cast<uint32_t>(record.frameMs)));
    standinAdvanceTickCount(static_cast<uint32_t>(record.frameMs));
    if (host.script == nullptr) {
      continue;
    }
    if (!host.scriptStarted) {
      scriptContextStart(host.script);
      host.scriptStarted = true;
    }
    scriptContextResume();
  }
}

int32_t standinFrameNumber(void) {
  return record.frame;
}
int32_t standinWaitCount(void) {
  return record.waits;
}

void standinKeyEvent(uint32_t key, int32_t up) {
  // As the game reports them: the release of a key that was down, or a fresh press.
  standinKeyEventRaw(key, 1, 0, 0, 0, up != 0 ? 1 : 0, up != 0 ? 1 : 0);
}

void standinKeyEventRaw(uint32_t key, uint16_t repeats, uint8_t scanCode, int32_t isExtended,
                        int32_t isWithAlt, int32_t wasDownBefore, int32_t isUpNow) {
  // Held while the handlers run, so that unregistering (and unloading the library that holds the
  // handler) waits for a delivery under way.
  std::lock_guard<std::mutex> lock(host.handlersLock);
  for (KeyboardHandler handler : host.handlers) {
    handler(key, repeats, scanCode, isExtended, isWithAlt, wasDownBefore, isUpNow);
  }
}

void standinPostKeyEvent(uint32_t key, int32_t up) {
  std::lock_guard<std::mutex> lock(window.lock);
  if (!window.started) {
    // Lives as long as the process, like the game's window.
    std::thread(windowThreadMain).detach();
    window.started = true;
  }
  window.queue.push_back({key, up});
  window.changed.notify_all();
}

void standinFlushKeyEvents(void) {
  std::unique_lock<std::mutex> lock(window.lock);
  window.changed.wait(lock, [] { return window.queue.empty() && !window.delivering; });
}

void standinSetCallLog(int32_t on) {
  record.logCalls = on != 0;
}

int32_t standinCallCount(void) {
  return calls.count();
}

int32_t standinCallAt(int32_t index, StandinCall* out) {
  return calls.copy(index, out);
}

void standinClearCalls(void) {
  calls.clear();
}
int64_t standinNativeCallTotal(void) {
  return record.nativeTotal;
}
int64_t standinCallsOutsideScript(void) {
  return record.outsideScript;
}

}  // extern "C"
