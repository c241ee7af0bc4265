// The platform seam of the Windows build: KERNEL32's clock and the C runtime's files.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include "common/platform.h"

uint32_t platformTickCount() {
  return GetTickCount();
}

int platformOpenForReading(const char* name) {
  return _sopen(name, _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO);
}

size_t platformRead(int file, char* buffer, size_t capacity) {
  size_t length = 0;
  int got = 0;
  while (length < capacity &&
         (got = _read(file, buffer + length, static_cast<unsigned>(capacity - length))) > 0) {
    length += static_cast<size_t>(got);
  }
  return length;
}

void platformClose(int file) {
  _close(file);
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
