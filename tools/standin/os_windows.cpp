// What Windows provides in the Windows build: the real loader for the plug-in and the real tick
// count, which the plug-in reads from KERNEL32 itself.
#include <windows.h>

#include <string>

#include "tools/standin/internal.h"
#include "tools/standin/standin.h"

namespace {
// The loaded plug-in; null when none is loaded.
HMODULE plugin = nullptr;
}  // namespace

// The plug-in's clock is the system's: frames cannot move it.
void clockAdvance(uint32_t) {}

extern "C" {

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
