// Scenarios: the small line-based language in which a session of the runner is written.
//
// One command per line; blank lines and lines starting with "#" are ignored, and " #" outside
// quotes starts a comment at the end of a line. Numbers are decimal or 0x-hex. KEY is a key name
// of the plug-in's table with or without its "VK_" prefix (F3, VK_F3, TAB, VK_RETURN, ...) or a
// virtual-key code as a number. PED is "player", "last" (the ped added last) or a handle.
//
//   frames N                  run N game frames (the script's pass runs once in each)
//   frame-ms MS               game time added by each frame (16 unless changed)
//   advance-game-time MS      move the game timer on without running a frame
//   sleep MS                  let MS of real time pass (the key window is 100 ms of real time)
//   press KEY | release KEY   one key event, delivered by the host's window thread
//   tap KEY                   press, then release
//   add-peds N [dead]         N more peds in the world, living unless "dead"
//   kill-ped PED | revive-ped PED | remove-ped PED
//   write-settings            Quillmere.ini becomes the lines that follow, up to a line "end",
//                             each ended by CR LF
//   edit-settings KEY=VALUE   the first line holding "KEY=" becomes "KEY=VALUE" (appended when
//                             no line holds it), as a player editing the file would
//   delete-settings           removes Quillmere.ini
//   settings-directory        puts a directory named Quillmere.ini in place, so that it can be
//                             neither read nor created
//   lock-settings             holds Quillmere.ini open with no sharing, until unlock-settings
//   deny-reading-settings     holds it open sharing writes only: reads fail, a truncating open
//                             would not, until unlock-settings
//   unlock-settings
//
// Expectations make a scenario a test; a failed one is reported and makes the exit status 1:
//
//   expect notices N                    N notices posted since the start
//   expect last-notice "TEXT"           the latest notice's message, markup included
//   expect protected WHO                who was protected in the latest frame: player, nobody,
//                                       all-living (every living ped, no dead one) or N peds
//   expect settings-file STATE          default (the default content byte for byte), missing,
//                                       unchanged (as the scenario last wrote it)
//   expect file-writes N                times the plug-in wrote Quillmere.ini
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Step {
  int line;                        // in the scenario's text, from 1
  std::string command;             // as written
  std::vector<std::string> words;  // the arguments, quotes removed
  std::string body;                // write-settings: the lines up to "end", each ended by CR LF
};

// Parses a whole scenario; on a mistake returns false with a message naming the line.
bool parseScenario(const std::string& text, std::vector<Step>* steps, std::string* error);

// A key by name (F3, VK_F3) or number; false when it is neither.
bool parseKey(const std::string& word, uint32_t* code);

// The name a key code goes by in the account: "F3", or the number.
std::string keyName(uint32_t code);

// A decimal or 0x-hex number that fits in 32 bits signed; false otherwise.
bool parseNumber(const std::string& word, int64_t* value);

// The default scenario, embedded at build time.
extern const char* const kDefaultScenario;
