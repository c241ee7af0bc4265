// The platform seam of the Windows build: KERNEL32's clock and the C runtime's file opening.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include "common/platform.h"

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
