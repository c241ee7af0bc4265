// How the account tells a read of the settings file: the one model's reading of it, with a remark
// on each line that does not do what it seems to, and the settings in effect in words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/settings.h"

// "toggle key F3, keybind on, protecting the player"
std::string describeSettings(const Settings& goingBy);

// A line that sets nothing though it looks like a setting, falls back, or sets something from a
// comment.
struct LineNote {
  int line;            // from 1
  std::string remark;  // names the line's text, escaped and cut short
};

struct SettingsReading {
  Settings settings;
  std::vector<LineNote> notes;  // at most kMostNotes
  size_t notesLeftOut = 0;      // remarks past that
};

constexpr size_t kMostNotes = 8;

// The file's bytes applied line by line over the settings held before the read.
SettingsReading readSettingsText(const std::string& bytes, const Settings& before);
