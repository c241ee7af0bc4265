// Windows and native versions of the platform seam declared in platform.h, and the library's
// entry point, which the operating system's loader calls by name.
#include "common/platform.h"

#include "host/entry.h"

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

uint32_t platformTickCount() {
  return GetTickCount();
}

std::FILE* platformOpenForReading(const char* name) {
  return _fsopen(name, "rb", _SH_DENYNO);
}

std::FILE* platformCreateNew(const char* name) {
  // msvcrt's fopen has no exclusive-create mode; _sopen does.
  int fd =
      _sopen(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) {
    _close(fd);
  }
  return file;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    onProcessAttach(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    onProcessDetach(module);
  }
  return TRUE;
}

#else

#include <fcntl.h>
#include <unistd.h>

// In the native build the stand-in host plays the operating system too, and provides the clock
// under its Windows name, so that tests can move it.
extern "C" uint32_t GetTickCount();

uint32_t platformTickCount() {
  return GetTickCount();
}

std::FILE* platformOpenForReading(const char* name) {
  return std::fopen(name, "rb");
}

std::FILE* platformCreateNew(const char* name) {
  int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    close(fd);
  }
  return file;
}

// The stand-in host's loader calls this the way Windows calls a DLL's entry point.
extern "C" int DllMain(void* module, uint32_t reason, void* /*reserved*/) {
  if (reason == 1) {
    onProcessAttach(module);
  } else if (reason == 0) {
    onProcessDetach(module);
  }
  return 1;
}

#endif
