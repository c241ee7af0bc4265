// The settings file "Quillmere.ini": reading it, creating it with the default content, and the
// live reload.
#pragma once

#include <cstdint>

constexpr const char* kSettingsFileName = "Quillmere.ini";

// The settings are read again when this much game time has passed since the last reload.
constexpr int32_t kReloadIntervalMs = 5000;

// Game time of the last periodic reload; 0 until the first one.
extern int32_t lastLoadTime;

// Reads the settings file into `settings`, or creates it with the default content when it cannot
// be opened for reading and does not exist yet. Never touches `settings.active`.
void loadSettings();

// The reload phase of a pass: reloads when 5000 ms or more of game time have passed since the
// last reload, then stores the game time after the load in lastLoadTime.
void reloadPhase();
