// What the settings-file tests share: the one model's default file and key names, and settings
// to start from.
#pragma once

#include <cstdint>
#include <string>

#include "common/settings.h"
#include "tests/plugin_fixture.h"
#include "tests/settings_model.h"

namespace settings_cases {

inline const std::string kDefaultFile(model::kDefaultFile);
using model::kKeyCodes;

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
