// The scenario language, one row per command: its name, its words and their bounds, its usage line
// and what it does. The parser, its error messages and --help all read this table.
#include "tools/runner/scenario.h"

const CommandRow kCommandRows[] = {
    {"frames", Command::kFrames, Args::kNumber, 0, kMostFramesPerStep, "frames N",
     "run N game frames (the script's pass runs once in each)"},
    {"frame-ms", Command::kFrameMs, Args::kNumber, 0, 60000, "frame-ms MS",
     "game time added by each frame (16 unless changed)"},
    {"advance-game-time", Command::kAdvanceGameTime, Args::kNumber, 0, INT32_MAX,
     "advance-game-time MS", "move the game timer on without running a frame"},
    {"sleep", Command::kSleep, Args::kNumber, 0, 60000, "sleep MS",
     "let MS of real time pass (the key window is 100 ms of real time)"},
    {"press", Command::kPress, Args::kKey, 0, kHighestKeyCode, "press KEY",
     "a key going down, delivered by the host's window thread"},
    {"release", Command::kRelease, Args::kKey, 0, kHighestKeyCode, "release KEY",
     "a key going up, delivered by the host's window thread"},
    {"tap", Command::kTap, Args::kKey, 0, kHighestKeyCode, "tap KEY", "press, then release"},
    {"add-peds", Command::kAddPeds, Args::kPeds, 0, 10000, "add-peds N [dead]",
     "N more peds in the world, living unless \"dead\""},
    {"kill-ped", Command::kKillPed, Args::kPed, INT32_MIN, INT32_MAX, "kill-ped PED",
     "a ped of the world dies (PED: player, last or a handle)"},
    {"revive-ped", Command::kRevivePed, Args::kPed, INT32_MIN, INT32_MAX, "revive-ped PED",
     "a dead ped lives again"},
    {"remove-ped", Command::kRemovePed, Args::kPed, INT32_MIN, INT32_MAX, "remove-ped PED",
     "a ped leaves the world"},
    {"write-settings", Command::kWriteSettings, Args::kBody, 0, 0, "write-settings ... end",
     "Quillmere.ini becomes the lines that follow, up to a line \"end\", each ended by CR LF"},
    {"edit-settings", Command::kEditSettings, Args::kSetting, 0, 0, "edit-settings KEY=VALUE",
     "the first line holding \"KEY=\" becomes \"KEY=VALUE\" (appended when none does)"},
    {"delete-settings", Command::kDeleteSettings, Args::kNone, 0, 0, "delete-settings",
     "removes Quillmere.ini"},
    {"settings-directory", Command::kSettingsDirectory, Args::kNone, 0, 0, "settings-directory",
     "a directory named Quillmere.ini in its place: neither readable nor creatable"},
    {"lock-settings", Command::kLockSettings, Args::kNone, 0, 0, "lock-settings",
     "holds Quillmere.ini open with no sharing, until unlock-settings"},
    {"deny-reading-settings", Command::kDenyReadingSettings, Args::kNone, 0, 0,
     "deny-reading-settings",
     "holds it open sharing writes only (reads fail, emptying would not), until unlock-settings"},
    {"unlock-settings", Command::kUnlockSettings, Args::kNone, 0, 0, "unlock-settings",
     "lets go of Quillmere.ini"},
    {"expect notices", Command::kExpectNotices, Args::kNumber, 0, INT32_MAX, "expect notices N",
     "N notices posted since the start"},
    {"expect last-notice", Command::kExpectLastNotice, Args::kText, 0, 0,
     "expect last-notice \"TEXT\"", "the latest notice's message, markup included"},
    {"expect protected", Command::kExpectProtected, Args::kWho, 0, INT32_MAX,
     "expect protected WHO",
     "who the latest frame protected: player, nobody, all-living or N peds"},
    {"expect settings-file", Command::kExpectSettingsFile, Args::kFileState, 0, 0,
     "expect settings-file STATE",
     "default (byte for byte), missing, or unchanged since the scenario wrote it"},
    {"expect file-writes", Command::kExpectFileWrites, Args::kNumber, 0, INT32_MAX,
     "expect file-writes N", "times the plug-in wrote Quillmere.ini"},
};
const size_t kCommandRowCount = sizeof kCommandRows / sizeof kCommandRows[0];

// The rows stand in the order of Command.
const CommandRow& commandRow(Command command) {
  return kCommandRows[static_cast<size_t>(command)];
}

std::string usageOf(const CommandRow& row) {
  bool numbered = row.args == Args::kNumber || row.args == Args::kPeds;
  return std::string(row.usage) +
         (numbered ? ", N from " + std::to_string(row.low) + " to " + std::to_string(row.high)
                   : "");
}

std::string scenarioHelp() {
  std::string help;
  for (const CommandRow& row : kCommandRows) {
    const std::string usage = row.usage;
    help += "  " + usage + std::string(usage.size() < 28 ? 28 - usage.size() : 1, ' ') + row.help +
            "\n";
  }
  return help;
}
