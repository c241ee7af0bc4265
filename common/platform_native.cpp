// The platform seam of the native build: the stand-in host's clock and POSIX files.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "common/platform.h"

// In the native build the stand-in host plays the operating system too, and provides the clock
// under its Windows name, so that tests can move it.
extern "C" uint32_t GetTickCount();

uint32_t platformTickCount() {
  return GetTickCount();
}

int platformOpenForReading(const char* name) {
  return open(name, O_RDONLY | O_CLOEXEC);
}

size_t platformRead(int file, char* buffer, size_t capacity) {
  size_t length = 0;
  while (length < capacity) {
    const ssize_t got = read(file, buffer + length, capacity - length);
    if (got > 0) {
      length += static_cast<size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;  // a signal is no reason to stop reading the file early
    }
  }
  return length;
}

void platformClose(int file) {
  close(file);
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
