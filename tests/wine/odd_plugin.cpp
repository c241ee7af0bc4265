// A plug-in that misbehaves as QUILLMERE_ODD says, for the session tests: whatever it does, the
// session's status must not be one it chose, nor a pass it did not earn.
//   exit-on-load   ends the process, with code 0, from its entry point
//   status-line    prints what a passing session prints, and ends the process, code 0
//   never-yields   its script never gives control back
//   rewrites       in its second frame, writes Quillmere.ini over with other settings
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host_ops.h"

namespace {

bool odd(const char* way) {
  const char* chosen = std::getenv("QUILLMERE_ODD");
  return chosen != nullptr && std::strcmp(chosen, way) == 0;
}

void script() {
  for (int frame = 1;; ++frame) {
    if (odd("status-line")) {
      std::printf("  expectations: 1 met, 0 failed\n");
      std::fflush(stdout);
      ExitProcess(0);
    }
    while (odd("never-yields")) {
      Sleep(1000);
    }
    std::FILE* file = frame == 2 && odd("rewrites") ? std::fopen("Quillmere.ini", "wb") : nullptr;
    if (file != nullptr) {
      std::fputs("enabled=false\r\n", file);
      std::fclose(file);
    }
    scriptWait(0);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH && odd("exit-on-load")) {
    ExitProcess(0);
  }
  if (reason == DLL_PROCESS_ATTACH) {
    scriptRegister(module, script);
  } else if (reason == DLL_PROCESS_DETACH) {
    scriptUnregister(module);
  }
  return TRUE;
}
