// The settings file "Quillmere.ini": reading it, creating it with the default content, and the
// live reload.
#pragma once

#include <cstdint>

#include "host/natives.h"

constexpr const char* kSettingsFileName = "Quillmere.ini";

// The settings are read again when this much game time has passed since the last reload.
constexpr int32_t kReloadIntervalMs = 5000;

// Game time of the last periodic reload; 0 until the first one.
extern int32_t lastLoadTime;

// Reads the settings file into `settings`, or creates it with the default content when it cannot
// be opened for reading and does not exist yet. Never touches `settings.active`.
void loadSettings();

// Loads the settings and stores the game time after the load in lastLoadTime.
[[gnu::cold]] void reloadSettingsNow();

// The reload phase of a pass: reloads when 5000 ms or more of game time have passed. Inline, since
// every pass makes this test and only about one pass in 300 (at 60 frames a second) reloads.
inline void reloadPhase() {
  // Signed 32-bit difference, so the test holds when the game timer wraps.
  const uint32_t elapsed = static_cast<uint32_t>(invokeNative32(native::kGetGameTimer)) -
                           static_cast<uint32_t>(lastLoadTime);
  if (static_cast<int32_t>(elapsed) >= kReloadIntervalMs) {
    reloadSettingsNow();
  }
}
