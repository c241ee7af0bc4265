// A plug-in that misbehaves as QUILLMERE_ODD says, for the session tests: the account must tell
// what it did, and the session's status must not be one the plug-in chose.
//   exit-on-load   ends the process, with code 0, from its entry point
//   status-line    prints a status line as the runner once did, and ends the process, code 0
//   never-yields   its script never gives control back
//   rewrites       in its second frame, reads Quillmere.ini and writes it over while reading
//   deletes        removes Quillmere.ini in its second frame
//   entry-writes   writes Quillmere.ini from its entry point, before the runner can watch
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
      std::printf("quillmere-run: status 0\n");
      std::fflush(stdout);
      ExitProcess(0);
    }
    while (odd("never-yields")) {
      Sleep(1000);
    }
    std::FILE* file = frame == 2 && odd("rewrites") ? std::fopen("Quillmere.ini", "r+b") : nullptr;
    if (file != nullptr) {
      char bytes[16];
      const size_t got = std::fread(bytes, 1, sizeof bytes, file);
      std::fseek(file, 0, SEEK_SET);
      std::fwrite(bytes, 1, got, file);
      std::fclose(file);
    }
    if (frame == 2 && odd("deletes")) {
      std::remove("Quillmere.ini");
    }
    scriptWait(0);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH && odd("exit-on-load")) {
    ExitProcess(0);
  }
  std::FILE* file = reason == DLL_PROCESS_ATTACH && odd("entry-writes")
                        ? std::fopen("Quillmere.ini", "wb")
                        : nullptr;
  if (file != nullptr) {
    std::fputs("enabled=false\r\n", file);
    std::fclose(file);
  }
  if (reason == DLL_PROCESS_ATTACH) {
    scriptRegister(module, script);
  } else if (reason == DLL_PROCESS_DETACH) {
    scriptUnregister(module);
  }
  return TRUE;
}
