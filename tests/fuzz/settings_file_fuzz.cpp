// Fuzzing the settings file reader: any bytes, written to Quillmere.ini across the read limit and
// loaded, must set exactly what the plain model sets; and a file that could be read is never
// rewritten.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "config/settings_file.h"
#include "tests/fuzz/settings_judging.h"
#include "tests/settings_model.h"

namespace {

// loadSettings uses the current directory; the fuzzer's own paths (corpus, crash files) are
// relative to the directory it was started in. Each input moves between the two.
int fuzzerDir = -1;
int settingsDir = -1;
char settingsPath[] = "/tmp/quillmere-fuzz-XXXXXX";

void enter(int dir) {
  if (fchdir(dir) != 0) {
    std::abort();
  }
}

// Back where the fuzzer keeps its files first, so that the crash input is saved there.
[[noreturn]] void fail() {
  enter(fuzzerDir);
  std::abort();
}

// The settings directory goes when the run ends normally; after a failure it stays, for a look.
void removeSettingsDir() {
  std::string file = std::string(settingsPath) + "/" + model::kFileName;
  unlink(file.c_str());
  rmdir(settingsPath);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  if (mkdtemp(settingsPath) == nullptr) {
    std::abort();
  }
  fuzzerDir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  settingsDir = open(settingsPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fuzzerDir < 0 || settingsDir < 0) {
    std::abort();
  }
  std::atexit(removeSettingsDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file =
      fuzz::aroundTheReadLimit(std::string_view(reinterpret_cast<const char*>(data), size));
  const Settings start = fuzz::startFor(size);
  Settings expected = start;
  model::applyText(file, expected);

  enter(settingsDir);
  std::FILE* out = std::fopen(model::kFileName, "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    fail();
  }
  settings = start;
  loadSettings();
  if (!model::same(settings, expected)) {
    fuzz::printMismatch("loadSettings", settings, expected);
    fail();
  }
  struct stat after;
  if (stat(model::kFileName, &after) != 0 || static_cast<size_t>(after.st_size) != file.size()) {
    std::fprintf(stderr, "loadSettings changed a file it could read\n");
    fail();
  }
  enter(fuzzerDir);
  return 0;
}
