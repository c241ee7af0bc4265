// What the settings-file tests share: the keys the file may name, and settings to start from.
#pragma once

#include <cstdint>
#include <string>

#include "common/settings.h"
#include "tests/plugin_fixture.h"

namespace settings_cases {

// Written out here byte for byte rather than taken from the plug-in, so that a slip in either
// shows up: CR LF line ends, nothing after the last setting.
inline const std::string kDefaultFile =
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

// The Windows virtual-key codes of the keys the file may name.
struct VirtualKey {
  const char* name;
  uint32_t code;
};
inline constexpr VirtualKey kVirtualKeys[] = {
    {"VK_F1", 0x70},    {"VK_F2", 0x71},     {"VK_F3", 0x72},      {"VK_F4", 0x73},
    {"VK_F5", 0x74},    {"VK_F6", 0x75},     {"VK_F7", 0x76},      {"VK_F8", 0x77},
    {"VK_F9", 0x78},    {"VK_F10", 0x79},    {"VK_F11", 0x7A},     {"VK_F12", 0x7B},
    {"VK_TAB", 0x09},   {"VK_SHIFT", 0x10},  {"VK_CONTROL", 0x11}, {"VK_MENU", 0x12},
    {"VK_SPACE", 0x20}, {"VK_RETURN", 0x0D}, {"VK_BACK", 0x08},    {"VK_ESCAPE", 0x1B},
};

constexpr uint32_t kF3 = 114;
constexpr uint32_t kF5 = 116;
constexpr uint32_t kF6 = 117;

// Two starting points that differ in every field (with toggle keys no file can name), so that a
// field set wrongly and a field wrongly left alone both show.
inline const Settings kStarts[] = {
    {true, 1001, true, false},
    {false, 1002, false, true},
};

inline void expectSettings(const Settings& expected) {
  EXPECT_EQ(settings.keybindEnabled, expected.keybindEnabled);
  EXPECT_EQ(settings.toggleKey, expected.toggleKey);
  EXPECT_EQ(settings.affectAllPeds, expected.affectAllPeds);
  EXPECT_EQ(settings.active, expected.active);
}

}  // namespace settings_cases
