// The platform seam of the native build: the stand-in host's clock and POSIX file opening.
#include <fcntl.h>
#include <unistd.h>

#include "common/platform.h"

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
