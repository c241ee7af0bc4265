// What the Windows build's host stands on: the script runs in a fiber of its own on the host's
// thread, and each frame switches to it once and back once, as the real host does; the plug-in is
// loaded by the real loader, and reads the real tick count from KERNEL32 itself.
#include <windows.h>

#include <atomic>
#include <string>

#include "tools/standin/internal.h"
#include "tools/standin/standin.h"

namespace {
// The loaded plug-in; null when none is loaded.
HMODULE plugin = nullptr;

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

extern "C" {

// The plug-in's clock is the system's: frames cannot move it.
void standinSetTickCount(uint32_t) {}
void standinAdvanceTickCount(uint32_t) {}
int64_t standinTickCountReads(void) {
  return -1;
}

int32_t standinLoadPlugin(const char* path) {
  if (plugin != nullptr) {
    return 0;
  }
  // Wide, so that a path in any language or longer than MAX_PATH (with \\?\) loads what it names.
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) {
    return 0;
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], length);
  // The plug-in's entry point registers with us during this call, under the loader lock.
  plugin = LoadLibraryW(wide.c_str());
  return plugin != nullptr ? 1 : 0;
}

void standinUnloadPlugin(void) {
  if (plugin == nullptr) {
    return;
  }
  FreeLibrary(plugin);
  plugin = nullptr;
}

}  // extern "C"
