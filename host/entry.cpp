// The library's entry point, the registrations it makes with the host, and the script function.
//
// The entry point runs under the operating system's loader lock, so it does nothing but register:
// no file access and no native call. Everything else happens once the host starts the script.
#include "host/entry.h"

#include "host/host_ops.h"
#include "input/keys.h"
#include "protection/protection.h"

namespace {
constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;
}  // namespace

extern "C" int DllMain(void* module, uint32_t reason, void* /*reserved*/) {
  if (reason == kProcessAttach) {
    scriptRegister(module, scriptEntry);
    keyboardHandlerRegister(keyEventHandler);
  } else if (reason == kProcessDetach) {
    // Nothing is saved: the process-wide state goes with the library.
    scriptUnregister(module);
    keyboardHandlerUnregister(keyEventHandler);
  }
  return 1;
}

void scriptEntry() {
  runProtectionLoop();
}
