// The plug-in's process-wide settings and the small shared types.
#pragma once

#include <cstdint>

// A virtual-key code; only codes 0 to 254 are ever recorded.
constexpr uint32_t kKeyCodeLimit = 255;
// F3, the toggle key when the settings file names none we know.
constexpr uint32_t kDefaultToggleKey = 114;

// The values a new settings file is written with are these same initial values.
struct Settings {
  bool keybindEnabled = true;              // false: the toggle key does nothing
  uint32_t toggleKey = kDefaultToggleKey;  // virtual-key code of the toggle key
  bool affectAllPeds = false;              // true: every living ped, not just the player
  bool active = true;                      // protection on; flipped only by the toggle key
};

// The one instance. Touched only from the host's script context (and the entry point, before
// the script runs), so it needs no lock.
extern Settings settings;
