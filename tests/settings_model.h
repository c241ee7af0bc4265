// The settings file's rules written the obvious way, apart from the plug-in's reader, as the one
// judge of it: the unit tests and the fuzz target go by this.
// Split the text into lines and search each with string_view's find. Nothing clever.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/settings.h"

namespace model {

// The judge's own copy of the names a toggle-key value may give, with their virtual-key codes.
struct KeyCode {
  std::string_view name;
  uint32_t code;
};
inline constexpr KeyCode kKeyCodes[] = {
    {"VK_F1", 112},  {"VK_F2", 113},   {"VK_F3", 114},    {"VK_F4", 115},   {"VK_F5", 116},
    {"VK_F6", 117},  {"VK_F7", 118},   {"VK_F8", 119},    {"VK_F9", 120},   {"VK_F10", 121},
    {"VK_F11", 122}, {"VK_F12", 123},  {"VK_TAB", 9},     {"VK_SHIFT", 16}, {"VK_CONTROL", 17},
    {"VK_MENU", 18}, {"VK_SPACE", 32}, {"VK_RETURN", 13}, {"VK_BACK", 8},   {"VK_ESCAPE", 27},
};

// The file, by its bare name in the current directory, and how much game time passes between
// reloads.
inline constexpr const char* kFileName = "Quillmere.ini";
constexpr int32_t kReloadIntervalMs = 5000;

// F3: what a toggle-key value that names no key means.
constexpr uint32_t kFallbackKey = 114;

// A missing file is created with this, byte for byte: CR LF line ends (the Windows C runtime's
// text mode), nothing after the last setting.
inline constexpr std::string_view kDefaultFile =
    "# Thank you for downloading Quillmere!\r\n"
    "\r\n"
    "# You can change what key you want to use to toggle this script below.\r\n"
    "# Check the readme file that comes with this script for a list of available keys.\r\n"
    "# IMPORTANT: If the 'enabled' option below is set to false, the keybind will be disabled and "
    "the script will always remain active.\r\n"
    "# Please endorse this script on Ardentine and give me your kudos if you're enjoying it. It "
    "would mean a lot!\r\n"
    "# This config updates live. You don't need to restart your game for changes to apply!\r\n"
    "\r\n"
    "[Keybind]\r\n"
    "enabled=true\r\n"
    "toggle-key=VK_F3\r\n"
    "\r\n"
    "[Optional]\r\n"
    "# If set to true, the hats of all NPCs will be protected from getting knocked off, until they "
    "die and hit the ground. This may cause the game to softlock during some missions or events. "
    "Set to false by default.\r\n"
    "affect-all-peds=false";

inline std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower;
}

// Exactly four characters, "true" in any case; no trimming.
inline bool isTrue(std::string_view value) {
  return lowerCase(value) == "true";
}

inline std::string_view trimmed(std::string_view value) {
  const char* blanks = " \t\r\n";
  const size_t first = value.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return value.substr(first, value.find_last_not_of(blanks) - first + 1);
}

// Exact and case-sensitive; nullptr when no key has that name.
inline const KeyCode* findKey(std::string_view name) {
  for (const KeyCode& key : kKeyCodes) {
    if (key.name == name) {
      return &key;
    }
  }
  return nullptr;
}

// The first of the three keys, in their fixed order, that the line holds decides what it sets, and
// the value is everything after the line's first '=', whichever key matched.
inline void applyLine(std::string_view line, Settings& out) {
  const size_t equals = line.find('=');
  const std::string_view value = equals == std::string_view::npos ? "" : line.substr(equals + 1);
  if (line.find("enabled=") != std::string_view::npos) {
    out.keybindEnabled = isTrue(value);
  } else if (line.find("toggle-key=") != std::string_view::npos) {
    const KeyCode* key = findKey(trimmed(value));
    out.toggleKey = key != nullptr ? key->code : kFallbackKey;
  } else if (line.find("affect-all-peds=") != std::string_view::npos) {
    out.affectAllPeds = isTrue(value);
  }
}

// Only the first kReadLimit bytes of the file are read; a file that holds more is known to by one
// byte beyond them.
constexpr size_t kReadLimit = 65536;

// The text that counts in a file: its first kReadLimit bytes, up to a Ctrl-Z (text-mode reading
// ends the file there). When the file holds more and no Ctrl-Z ended it, the line the limit cuts
// was not read whole, so the text ends after the last line feed within the limit.
inline std::string_view readText(std::string_view file) {
  std::string_view text = file.substr(0, kReadLimit);
  if (const size_t ctrlZ = text.find('\x1a'); ctrlZ != std::string_view::npos) {
    return text.substr(0, ctrlZ);
  }
  if (file.size() <= kReadLimit) {
    return text;
  }
  const size_t lastLineFeed = text.rfind('\n');
  return lastLineFeed == std::string_view::npos ? "" : text.substr(0, lastLineFeed + 1);
}

// Each line of the file's text in order: CR LF ends a line, a lone CR belongs to its line.
inline void applyText(std::string_view file, Settings& out) {
  std::string_view text = readText(file);
  for (;;) {
    const size_t lineFeed = text.find('\n');
    std::string_view line = text.substr(0, lineFeed);
    if (lineFeed != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    applyLine(line, out);
    if (lineFeed == std::string_view::npos) {
      return;
    }
    text.remove_prefix(lineFeed + 1);
  }
}

// The three fields the file sets, and `active`, which it never does.
inline bool same(const Settings& a, const Settings& b) {
  return a.keybindEnabled == b.keybindEnabled && a.toggleKey == b.toggleKey &&
         a.affectAllPeds == b.affectAllPeds && a.active == b.active;
}

}  // namespace model
