// The runner's own model of the settings file: the key names, the line rules, and what the
// plug-in should do under the settings they give. Written from the rules the player's readme and
// the tests state, not from the plug-in's reader, so that each judges the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tools/runner/escaped.h"

// A key the settings file may name, as "VK_" + name; the scenario's key words use the same names.
struct SettingsKey {
  const char* name;  // without the "VK_" prefix
  uint32_t code;     // the Windows virtual-key code
};
extern const SettingsKey kSettingsKeys[];
extern const size_t kSettingsKeyCount;

// F3: what the plug-in starts with, and what a toggle-key value naming no key falls back to.
constexpr uint32_t kFallbackToggleKey = 114;

// "F3" for a key of the table, "key 200" for another code.
std::string keyName(uint32_t code);

// What the plug-in goes by after a read. It starts with the values of the default file.
struct EffectiveSettings {
  bool keybind = true;  // the toggle key switches protection
  uint32_t toggleKey = kFallbackToggleKey;
  bool allPeds = false;  // every living ped rather than the player
};

bool operator==(const EffectiveSettings& a, const EffectiveSettings& b);

// "toggle key F3, keybind on, protecting the player"
std::string describeSettings(const EffectiveSettings& settings);

// A line of the file that does something other than what it seems to: sets nothing though it
// looks like a setting, falls back, or sets something from a comment.
struct LineNote {
  int line;            // from 1
  std::string remark;  // names the line's text, escaped and cut short
};

struct SettingsReading {
  EffectiveSettings settings;
  std::vector<LineNote> notes;  // at most kMostNotes
  size_t notesLeftOut = 0;      // remarks past that
};

constexpr size_t kMostNotes = 8;

// Applies the file's bytes, line by line, over the settings held before the read: a line that
// sets nothing leaves them as they were.
SettingsReading readSettingsText(const std::string& bytes, const EffectiveSettings& before);

// The first line holding "KEY=" becomes "KEY=VALUE", keeping its line end; with no such line,
// "KEY=VALUE" is appended on a line of its own. `setting` holds an '='.
std::string editedSettings(const std::string& bytes, const std::string& setting);

// ---- What the plug-in should do ----------------------------------------------------------------

// How a frame saw the latest event of the toggle key, from the runner's clock readings around it.
enum class ToggleDue {
  kNo,     // keybind off, or the key's latest event is no release, or the release is surely too old
  kYes,    // released, and surely inside the 100 ms window when the frame ran
  kMaybe,  // released, near the window's edge: either outcome is right
};

constexpr uint32_t kToggleWindowMs = 100;

// `up`: the toggle key's latest event was a release; `latestMs` bounds the time from the release to
// the frame's check from above, `earliestMs` from below.
ToggleDue toggleDue(const EffectiveSettings& settings, bool hasEvent, bool up, uint32_t earliestMs,
                    uint32_t latestMs);

// What is wrong about a frame that did (`toggled`) or did not post a notice; "" when nothing is.
std::string toggleDisagreement(const EffectiveSettings& settings, ToggleDue due, bool toggled);

// The world as the runner made it.
struct PedWorld {
  int32_t player;
  bool playerPresent;        // not removed from the world
  std::set<int32_t> living;  // living peds still in the world, the player among them if so
  size_t pedsInWorld;        // dead ones too
};

// The plug-in enumerates at most this many peds a frame.
constexpr size_t kPedsEnumerated = 256;

// What is wrong about who a frame protected, given whether protection is on; "" when nothing is.
std::string protectionDisagreement(const EffectiveSettings& settings, bool active,
                                   const std::set<int32_t>& protectedPeds, const PedWorld& world);
