// The script context of the Windows build: the script runs in a fiber of its own on the host's
// thread, and each frame switches to it once and back once, as the real host does.
#include <windows.h>

#include <atomic>

#include "tools/standin/internal.h"

namespace {

// The host thread's own fiber; null until the first script is started.
void* hostFiber = nullptr;
std::atomic<DWORD> hostThread{0};  // the window thread reads it
// The script's fiber; null when no script is prepared.
void* scriptFiber = nullptr;
ScriptFunction scriptFunction = nullptr;
// True from the switch into the script until it switches back.
bool insideScript = false;
// The script function returned: there is nothing left to resume.
bool finished = false;

void CALLBACK scriptFiberMain(void*) {
  scriptFunction();
  // A fiber whose function returns ends its thread, the host's; park it instead.
  finished = true;
  for (;;) {
    insideScript = false;
    SwitchToFiber(hostFiber);
  }
}

}  // namespace

void scriptContextStart(ScriptFunction script) {
  scriptContextStop();
  if (hostFiber == nullptr) {
    // Once, on the thread that runs the frames; it stays a fiber for the process's life.
    hostFiber = ConvertThreadToFiber(nullptr);
    hostThread = GetCurrentThreadId();
  }
  if (hostFiber == nullptr) {
    return;  // no fibers, no script: frames run without it
  }
  scriptFunction = script;
  finished = false;
  scriptFiber = CreateFiber(0, scriptFiberMain, nullptr);
}

void scriptContextResume() {
  if (scriptFiber == nullptr || finished) {
    return;
  }
  insideScript = true;
  SwitchToFiber(scriptFiber);
  insideScript = false;
}

void scriptContextWait() {
  if (!insideScript) {
    return;  // only the script fiber may hand control back
  }
  insideScript = false;
  SwitchToFiber(hostFiber);
}

void scriptContextStop() {
  // The fiber waits inside the plug-in's code; deleting it here, from the host side, frees its
  // stack before that code can be unloaded.
  if (scriptFiber == nullptr || scriptContextInside()) {
    return;
  }
  DeleteFiber(scriptFiber);
  scriptFiber = nullptr;
  finished = false;
}

bool scriptContextInside() {
  // The window thread asks too; only the host thread ever runs the script fiber.
  return GetCurrentThreadId() == hostThread.load() && insideScript;
}
