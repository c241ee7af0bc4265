// Scenarios: the small line-based language in which a session of the runner is written, parsed
// once into steps. The command table is in commands.cpp; README.md describes the language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
  kExpectFileWrites,
};

enum class Args {
  kNone,       // no words
  kNumber,     // N, within the row's bounds
  kKey,        // a key name or a code from 0 to 254
  kPeds,       // N [dead]
  kPed,        // player, last or a handle
  kSetting,    // KEY=VALUE
  kText,       // one word, or several in double quotes
  kWho,        // player, nobody, all-living or a count
  kFileState,  // default, missing, unchanged
  kBody,       // no words; the lines up to "end" follow
};

struct CommandRow {
  const char* name;  // as written; an expectation's is "expect WHAT"
  Command command;
  Args args;
  int64_t low, high;  // the bounds of its number, where it takes one
  const char* usage;  // e.g. "frames N"
  const char* help;   // what it does, one line
};

extern const CommandRow kCommandRows[];
extern const size_t kCommandRowCount;

enum class PedRef { kPlayer, kLast, kHandle };
enum class Who { kPlayer, kNobody, kAllLiving, kCount };
enum class FileState { kDefault, kMissing, kUnchanged };

struct Step {
  int line = 0;  // in the scenario's text, from 1
  Command command = Command::kFrames;
  std::string written;  // its words as written, quotes removed, each escaped and cut short
  int64_t number = 0;   // N, MS, a key code, a ped handle, a count
  bool dead = false;    // add-peds N dead
  PedRef ped = PedRef::kPlayer;
  Who who = Who::kPlayer;
  FileState file = FileState::kDefault;
  std::string text;  // edit-settings KEY=VALUE, the last-notice TEXT, a write-settings body
};

struct Scenario {
  std::vector<Step> steps;
  std::vector<std::string> warnings;  // it runs, yet maybe not as meant
};

// On a mistake, false and a one-line message naming the line and the bad text.
bool parseScenario(const std::string& text, Scenario* scenario, std::string* error);

const CommandRow& commandRow(Command command);
// Its usage line with the bounds: "frames N, N from 0 to 1000000".
std::string usageOf(const CommandRow& row);
// Every command's usage and help, a line each, for --help.
std::string scenarioHelp();

constexpr int64_t kHighestKeyCode = 254;  // the plug-in records codes 0 to 254
constexpr int64_t kMostFramesPerStep = 1000000;
constexpr size_t kMostScenarioBytes = 16u << 20;

// A key's name without its "VK_" ("F3"), or "key 200" for a code the settings file cannot name.
std::string keyName(uint32_t code);
std::string upperCase(std::string text);

// The default scenario, embedded at build time.
extern const char* const kDefaultScenario;

// Text from outside the runner as one line of plain text, escaped and cut short as README.md says
// ("\x7F", "... (N bytes)"); quoted() adds double quotes.
std::string escaped(const std::string& text);
std::string quoted(const std::string& text);
