// The settings file "Quillmere.ini": its reader, its default content and the live reload.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr const char* kSettingsFileName = "Quillmere.ini";

// The settings are read again when this much game time has passed since the last reload.
constexpr int32_t kReloadIntervalMs = 5000;

// The file is read in pieces of this many bytes. A CR at the end of a piece waits for the next
// piece to tell whether it ends the line; the fuzz target puts bytes there on purpose.
constexpr size_t kSettingsReadPiece = 512;

// Game time of the last periodic reload; 0 until the first one.
extern int32_t lastLoadTime;

// Reads the settings file into `settings`, or creates it with the default content when it cannot
// be opened for reading and does not exist yet. Never touches `settings.active`.
void loadSettings();

// Applies settings text as it stands in the file, line by line. Reading stops at a Ctrl-Z byte.
void applySettingsText(const char* text, size_t length);

// The reload phase of a pass: reloads when 5000 ms or more of game time have passed.
void reloadPhase();
