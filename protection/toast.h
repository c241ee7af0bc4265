// The notice shown in the game's notification feed when protection is switched on or off.
#pragma once

#include <cstdint>

constexpr const char* kEnabledMessage = "Script has been ~COLOR_GREEN~enabled~s~";
constexpr const char* kDisabledMessage = "Script has been ~COLOR_RED~disabled~s~";

// What the game's toast native reads: 64-bit slots, 32-bit values zero-extended.
struct ToastOptions {
  uint64_t slots[13];  // duration in ms, sound set name, sound name, the rest zero
};
struct ToastContent {
  uint64_t slots[7];  // 0, title text, message text, 0, texture set, icon, icon colour hashes
};

// Posts `message` under the plug-in's name; returns the low 32 bits of the posting call.
int32_t showToggleToast(const char* message);
