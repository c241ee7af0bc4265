// The names the settings file may give the toggle key, and their virtual-key codes.
#pragma once

#include <cstddef>
#include <cstdint>

struct KeyName {
  const char* name;
  uint32_t code;
};

// Exactly these 20 names; fixed at compile time, so it is in place before the entry point runs.
constexpr KeyName keyNameTable[] = {
    {"VK_F1", 112},  {"VK_F2", 113},   {"VK_F3", 114},    {"VK_F4", 115},   {"VK_F5", 116},
    {"VK_F6", 117},  {"VK_F7", 118},   {"VK_F8", 119},    {"VK_F9", 120},   {"VK_F10", 121},
    {"VK_F11", 122}, {"VK_F12", 123},  {"VK_TAB", 9},     {"VK_SHIFT", 16}, {"VK_CONTROL", 17},
    {"VK_MENU", 18}, {"VK_SPACE", 32}, {"VK_RETURN", 13}, {"VK_BACK", 8},   {"VK_ESCAPE", 27},
};

// Exact, case-sensitive lookup of `length` bytes at `name`; false when the name is not in the
// table.
bool lookupKeyName(const char* name, size_t length, uint32_t* code);
