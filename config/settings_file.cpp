// Reading, creating and reloading the settings file.
#include "config/settings_file.h"

#include <cstdio>

#include "common/platform.h"
#include "config/default_settings.h"
#include "config/settings_reader.h"
#include "host/natives.h"

int32_t lastLoadTime = 0;

namespace {

// The reader and its 64 KiB of pieces live here rather than on the script's stack, whose size
// the host chooses; a reload allocates nothing either way. Only the script context reloads, one
// reload at a time.
SettingsReader reader;

void writeDefaultContent(std::FILE* file) {
  for (const char* literal : kDefaultContent) {
    for (const char* c = literal; *c != '\0'; ++c) {
      if (*c == '\n') {
        std::fputc('\r', file);
      }
      std::fputc(*c, file);
    }
  }
}

}  // namespace

void loadSettings() {
  const int file = platformOpenForReading(kSettingsFileName);
  if (file >= 0) {
    beginSettingsText(reader);
    size_t got = 0;
    while ((got = platformRead(file, settingsPieceSpace(reader), kSettingsReadPiece)) > 0 &&
           takeSettingsPiece(reader, got)) {
    }
    endSettingsText(reader);
    platformClose(file);
    return;
  }
  // Only a file that is not there is created: one that exists but could not be read this time
  // (held open by another program, say) keeps the player's settings.
  std::FILE* created = platformCreateNew(kSettingsFileName);
  if (created != nullptr) {
    writeDefaultContent(created);
    std::fclose(created);
  }
}

void reloadSettingsNow() {
  loadSettings();
  lastLoadTime = invokeNative32(native::kGetGameTimer);
}
