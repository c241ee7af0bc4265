// The settings file's line rules written the obvious way, as a judge for the plug-in's reader:
// split the text into lines and search each with string_view's find. Nothing clever.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/settings.h"

namespace model {

// Plain linear lookup: 20 names, and the model must not share the plug-in's table.
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

inline bool isTrue(std::string_view value) {
  if (value.size() != 4) {
    return false;
  }
  std::string lower(value);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower == "true";
}

inline uint32_t keyCode(std::string_view value) {
  const char* blanks = " \t\r\n";
  const size_t first = value.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return 114;
  }
  const std::string_view name = value.substr(first, value.find_last_not_of(blanks) - first + 1);
  for (const KeyCode& key : kKeyCodes) {
    if (key.name == name) {
      return key.code;
    }
  }
  return 114;
}

inline void applyLine(std::string_view line, Settings& out) {
  const size_t equals = line.find('=');
  const std::string_view value = equals == std::string_view::npos ? "" : line.substr(equals + 1);
  if (line.find("enabled=") != std::string_view::npos) {
    out.keybindEnabled = isTrue(value);
  } else if (line.find("toggle-key=") != std::string_view::npos) {
    out.toggleKey = keyCode(value);
  } else if (line.find("affect-all-peds=") != std::string_view::npos) {
    out.affectAllPeds = isTrue(value);
  }
}

// Text-mode reading: Ctrl-Z ends the file, CR LF ends a line, a lone CR belongs to its line.
inline void applyText(std::string_view text, Settings& out) {
  text = text.substr(0, text.find('\x1a'));
  size_t start = 0;
  for (;;) {
    const size_t lineFeed = text.find('\n', start);
    std::string_view line = text.substr(
        start, lineFeed == std::string_view::npos ? std::string_view::npos : lineFeed - start);
    if (lineFeed != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    applyLine(line, out);
    if (lineFeed == std::string_view::npos) {
      return;
    }
    start = lineFeed + 1;
  }
}

inline bool same(const Settings& a, const Settings& b) {
  return a.keybindEnabled == b.keybindEnabled && a.toggleKey == b.toggleKey &&
         a.affectAllPeds == b.affectAllPeds && a.active == b.active;
}

// Starting values that vary with the input, so that a field wrongly set or wrongly kept shows
// either way; toggle keys no file can name.
inline Settings startFor(size_t size) {
  return {(size & 1) != 0, 1000 + static_cast<uint32_t>(size % 7), (size & 2) != 0,
          (size & 4) != 0};
}

inline void printMismatch(const char* what, const Settings& got, const Settings& expected) {
  std::fprintf(stderr,
               "%s: got enabled %d key %u all-peds %d active %d, "
               "expected enabled %d key %u all-peds %d active %d\n",
               what, got.keybindEnabled, got.toggleKey, got.affectAllPeds, got.active,
               expected.keybindEnabled, expected.toggleKey, expected.affectAllPeds,
               expected.active);
}

}  // namespace model
