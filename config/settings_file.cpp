// Reading, creating and reloading the settings file.
#include "config/settings_file.h"

#include <cstdio>

#include "common/platform.h"
#include "config/default_settings.h"
#include "config/settings_reader.h"
#include "host/natives.h"

int32_t lastLoadTime = 0;

namespace {

// One load's text: as much as a load reads, and one byte more that tells whether the file goes
// on. Here rather than on the script's stack, whose size the host chooses; a load allocates
// nothing either way. Only the script context loads, one load at a time.
char fileText[kSettingsReadLimit + 1];

// False as soon as a byte could not be written; a full disk may show only when the file is closed.
bool writeDefaultContent(std::FILE* file) {
  for (const char* literal : kDefaultContent) {
    for (const char* c = literal; *c != '\0'; ++c) {
      if ((*c == '\n' && std::fputc('\r', file) == EOF) || std::fputc(*c, file) == EOF) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

void loadSettings() {
  const int file = platformOpenForReading(kSettingsFileName);
  if (file >= 0) {
    const size_t length = platformRead(file, fileText, sizeof fileText);
    platformClose(file);
    applySettingsText(fileText, length);
    return;
  }
  // Only a file that is not there is created: one that exists but could not be read this time
  // (held open by another program, say) keeps the player's settings.
  std::FILE* created = platformCreateNew(kSettingsFileName);
  if (created != nullptr) {
    const bool written = writeDefaultContent(created);
    // A file cut short by a full disk would be read at every later reload and never written
    // again. The file was created just now, so nobody else's settings are lost by removing it,
    // and a later reload tries again.
    if (std::fclose(created) != 0 || !written) {
      std::remove(kSettingsFileName);
    }
  }
}

void reloadPhase() {
  // A signed 32-bit difference, so the test holds when the game timer wraps.
  const int32_t now = invokeNative32(native::kGetGameTimer);
  if (static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(lastLoadTime)) >=
      kReloadIntervalMs) {
    loadSettings();
    lastLoadTime = invokeNative32(native::kGetGameTimer);
  }
}
