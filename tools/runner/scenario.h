// Scenarios: the small line-based language in which a session of the runner is written, parsed
// once into steps before the session starts. README.md describes the language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The settings file's steps stand together, kWriteSettings to kUnlockSettings; expectations last.
enum class Command {
  kFrames,
  kFrameMs,
  kAdvanceGameTime,
  kSleep,
  kPress,
  kRelease,
  kTap,
  kAddPeds,
  kKillPed,
  kRevivePed,
  kRemovePed,
  kWriteSettings,
  kEditSettings,
  kDeleteSettings,
  kSettingsDirectory,
  kLockSettings,
  kDenyReadingSettings,
  kUnlockSettings,
  kExpectNotices,
  kExpectLastNotice,
  kExpectProtected,
  kExpectSettingsFile,
  kExpectFileWrites
};

struct Step {
  int line = 0;  // in the scenario's text, from 1
  Command command = Command::kFrames;
  std::string written;  // its words as written, escaped and cut short, for messages
  int64_t number = 0;   // N, MS, a key code, a ped handle, a count
  std::string word;     // a named choice: "dead", "player", "last", "all-living", "default"...
  std::string text;     // edit-settings KEY=VALUE, the last-notice TEXT, a write-settings body
};

// The steps, or false and one line naming the scenario's line and the bad text.
bool parseScenario(const std::string& text, std::vector<Step>* steps, std::string* error);

// Text from outside the runner as one line of plain text: bytes other than printable ASCII as
// "\x7F", a quote or backslash escaped, only the first 40 bytes (with the length after them).
std::string escaped(const std::string& text);
std::string quoted(const std::string& text);  // the same between double quotes

constexpr size_t kMostScenarioBytes = 16u << 20;

// The default scenario, embedded at build time.
extern const char* const kDefaultScenario;
