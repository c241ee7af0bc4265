// Putting the plug-in's process-wide values back as a freshly loaded library has them. Natively
// the library is never unloaded, so tests and benchmarks that need a fresh plug-in call this.
#pragma once

#include "common/settings.h"
#include "config/settings_file.h"
#include "input/keys.h"

inline void resetPluginState() {
  settings = Settings{};
  lastLoadTime = 0;
  for (KeyRecord& record : keyTable) {
    record.stampMs = 0;
    record.fifthArg = 0;
    record.sixthArg = 0;
    record.upFlag = 0;
  }
}
