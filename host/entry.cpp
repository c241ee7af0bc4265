// Registration with the host and the script function it runs.
//
// The entry point runs under the operating system's loader lock, so it does nothing but register:
// no file access and no native call. Everything else happens once the host starts the script.
#include "host/entry.h"

#include "host/host_ops.h"
#include "input/keys.h"
#include "protection/protection.h"

void onProcessAttach(void* module) {
  scriptRegister(module, scriptEntry);
  keyboardHandlerRegister(keyEventHandler);
}

void onProcessDetach(void* module) {
  scriptUnregister(module);
  keyboardHandlerUnregister(keyEventHandler);
}

void scriptEntry() {
  runProtectionLoop();
}
