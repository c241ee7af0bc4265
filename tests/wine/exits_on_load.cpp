// A DLL that ends the whole process, with code 0, from its entry point, as a broken plug-in
// might: the session it was loaded for never ran, and must not pass.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    ExitProcess(0);
  }
  return TRUE;
}
