// The session runner's own model of the settings file: it must read every text as the plug-in's
// reader does (the two are written apart, so each checks the other), remark on the lines that do
// not read as they seem, and judge what the plug-in then does.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/settings.h"
#include "config/settings_reader.h"
#include "tests/plugin_fixture.h"
#include "tests/settings_cases.h"
#include "tools/runner/settings_model.h"

using namespace std::string_literals;

namespace {

using RunnerModelTest = PluginTest;

// The plug-in's reading of `text` over `start`, and the model's, side by side.
void expectSameReading(const std::string& text, const EffectiveSettings& start) {
  settings = Settings{start.keybind, start.toggleKey, start.allPeds, true};
  applySettingsText(text.data(), text.size());
  EffectiveSettings model = readSettingsText(text, start).settings;
  EXPECT_EQ(model.keybind, settings.keybindEnabled) << quoted(text, 200);
  EXPECT_EQ(model.toggleKey, settings.toggleKey) << quoted(text, 200);
  EXPECT_EQ(model.allPeds, settings.affectAllPeds) << quoted(text, 200);
}

const EffectiveSettings kStartA = {true, 1001, true};
const EffectiveSettings kStartB = {false, 1002, false};

TEST_F(RunnerModelTest, ReadsTheLineRulesAsThePlugInDoes) {
  const std::string cases[] = {
      settings_cases::kDefaultFile,
      "",
      "enabled=TRUE\r\ntoggle-key=VK_F6\r\naffect-all-peds=tRuE",
      "enabled= true\nenabled=true \nenabled=1\naffect-all-peds=yes",
      "toggle-key=  VK_F5\t\r\r\n",
      "toggle-key=vk_f5",
      "toggle-key=F5",
      "toggle-key=VK_F5 x",
      "# enabled=false\n; toggle-key=VK_SPACE",
      "other=1 enabled=true",
      "toggle-key=VK_F5 enabled=false",
      "affect-all-peds=true toggle-key=VK_F5",
      "Enabled=false\nTOGGLE-KEY=VK_F5",
      "enabled=true\raffect-all-peds=true",
      "enabled=false\n\x1a\nenabled=true",
      "enab\x1aled=false",
      "\0enabled=false\ntoggle-key=VK_F5\0"s,
      "x=" + std::string(70000, 'y') + "enabled=true",
  };
  for (const std::string& text : cases) {
    expectSameReading(text, kStartA);
    expectSameReading(text, kStartB);
  }
}

// Random texts from the pieces the rules turn on; a fixed seed, so a failure repeats.
TEST_F(RunnerModelTest, ReadsRandomTextsAsThePlugInDoes) {
  const char* pieces[] = {"enabled=", "toggle-key=", "affect-all-peds=",
                          "true",     "TRUE",        "false",
                          "VK_F5",    "VK_F12",      "vk_f1",
                          " ",        "\t",          "\r",
                          "\n",       "\r\n",        "=",
                          "#",        "x",           "\x1a",
                          "enabled",  "VK_"};
  std::mt19937 random(12345);
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    size_t count = random() % 12;
    for (size_t i = 0; i < count; ++i) {
      text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
    }
    expectSameReading(text, round % 2 == 0 ? kStartA : kStartB);
  }
}

// Each row: a text, and what the remark on its one remarked line must hold ("" for none).
struct NoteCase {
  std::string text;
  int line;
  std::string remark;
};

TEST(RunnerModelNotes, RemarksOnLinesThatDoNotReadAsTheySeem) {
  const NoteCase cases[] = {
      {settings_cases::kDefaultFile, 0, ""},
      {"[Keybind]\n# a comment = with an equals sign\nenabled=FALSE\ntoggle-key=VK_ESCAPE", 0, ""},
      {"enabled=true\ntoogle-key=VK_F5", 2, "\"toogle-key=VK_F5\" sets nothing"},
      {"Enabled=false", 1, "\"Enabled=false\" sets nothing"},
      {"toggle-key=VK_NOPE", 1, "toggle-key: the value \"VK_NOPE\" names no key, so it means F3"},
      {"toggle-key=vk_f5", 1, "(names are case-sensitive: VK_F5)"},
      {"toggle-key=F5", 1, "(names take the VK_ prefix: VK_F5)"},
      {"toggle-key=", 1, "the value \"\" names no key"},
      {"enabled=yes", 1, "enabled: the value \"yes\" is not true, so it means false"},
      {"affect-all-peds=1", 1, "affect-all-peds: the value \"1\" is not true"},
      {"enabled=true ", 1, "the value \"true \" is not true, so it means false (blanks count)"},
      {"# enabled=false", 1, "the comment \"# enabled=false\" still sets enabled false"},
      {"; toggle-key=VK_F6", 1, "still sets the toggle key F6"},
      {"toggle-key=VK_F5 enabled=false", 1, "holds more than one setting, and enabled= decides"},
      {"\n\nenabled=\x01\x02", 3, "the value \"\\x01\\x02\""},
  };
  for (const NoteCase& c : cases) {
    SettingsReading reading = readSettingsText(c.text, {});
    if (c.remark.empty()) {
      EXPECT_TRUE(reading.notes.empty()) << c.text << ": " << reading.notes[0].remark;
      continue;
    }
    ASSERT_EQ(reading.notes.size(), 1u) << c.text;
    EXPECT_EQ(reading.notes[0].line, c.line) << c.text;
    EXPECT_NE(reading.notes[0].remark.find(c.remark), std::string::npos)
        << c.text << ": " << reading.notes[0].remark;
  }
}

TEST(RunnerModelNotes, RemarksStopAfterAFewAndTheRestAreCounted) {
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text += "enabled=no\n";
  }
  SettingsReading reading = readSettingsText(text, {});
  EXPECT_EQ(reading.notes.size(), kMostNotes);
  EXPECT_EQ(reading.notesLeftOut, 1000 - kMostNotes);
  EXPECT_EQ(reading.notes.back().line, static_cast<int>(kMostNotes));
}

TEST(RunnerModelNotes, DescribesTheSettingsInEffect) {
  EXPECT_EQ(describeSettings({}), "toggle key F3, keybind on, protecting the player");
  EXPECT_EQ(describeSettings({false, 27, true}),
            "toggle key ESCAPE, keybind off (no key toggles), protecting all living peds");
  EXPECT_EQ(keyName(200), "key 200");
}

TEST(RunnerModelEdits, AnEditReplacesTheFirstLineHoldingTheKeyOrAppendsOne) {
  struct {
    std::string before;
    std::string setting;
    std::string after;
  } cases[] = {
      {"a\r\ntoggle-key=VK_F3\r\nb", "toggle-key=VK_F5", "a\r\ntoggle-key=VK_F5\r\nb"},
      {"toggle-key=VK_F3\ntoggle-key=VK_F4\n", "toggle-key=X", "toggle-key=X\ntoggle-key=VK_F4\n"},
      {"# toggle-key=old\r\n", "toggle-key=VK_F5", "toggle-key=VK_F5\r\n"},
      {"enabled=true", "toogle-key=VK_F5", "enabled=true\r\ntoogle-key=VK_F5\r\n"},
      {"enabled=true\r\n", "affect-all-peds=true", "enabled=true\r\naffect-all-peds=true\r\n"},
      {"", "enabled=false", "enabled=false\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(editedSettings(c.before, c.setting), c.after) << c.before;
  }
}

TEST(RunnerModelJudging, WhenATogglesIsDue) {
  const EffectiveSettings on = {};
  const EffectiveSettings off = {false, kFallbackToggleKey, false};
  EXPECT_EQ(toggleDue(on, true, true, 0, 99), ToggleDue::kYes);
  EXPECT_EQ(toggleDue(on, true, true, 0, 100), ToggleDue::kMaybe);
  EXPECT_EQ(toggleDue(on, true, true, 99, 400), ToggleDue::kMaybe);
  EXPECT_EQ(toggleDue(on, true, true, 100, 400), ToggleDue::kNo);
  EXPECT_EQ(toggleDue(on, true, false, 0, 1), ToggleDue::kNo) << "a press toggles nothing";
  EXPECT_EQ(toggleDue(on, false, false, 0, 0), ToggleDue::kNo);
  EXPECT_EQ(toggleDue(off, true, true, 0, 1), ToggleDue::kNo);

  EXPECT_EQ(toggleDisagreement(on, ToggleDue::kYes, true), "");
  EXPECT_EQ(toggleDisagreement(on, ToggleDue::kNo, false), "");
  EXPECT_EQ(toggleDisagreement(on, ToggleDue::kMaybe, false), "");
  EXPECT_EQ(toggleDisagreement(on, ToggleDue::kMaybe, true), "");
  EXPECT_NE(toggleDisagreement(on, ToggleDue::kYes, false).find("F3 was released"),
            std::string::npos);
  EXPECT_NE(toggleDisagreement(on, ToggleDue::kNo, true).find("F3, the toggle key, was not"),
            std::string::npos);
  EXPECT_NE(toggleDisagreement(off, ToggleDue::kNo, true).find("keybind is off"),
            std::string::npos);
}

TEST(RunnerModelJudging, WhoShouldBeProtected) {
  const EffectiveSettings player = {};
  const EffectiveSettings all = {true, kFallbackToggleKey, true};
  const PedWorld world = {1, true, {1, 2, 3}, 4};  // ped 4 is dead
  const PedWorld gone = {1, false, {2, 3}, 3};
  struct {
    EffectiveSettings settings;
    bool active;
    std::set<int32_t> protectedPeds;
    PedWorld world;
    bool agrees;
  } cases[] = {
      {player, true, {1}, world, true},    {player, true, {1, 2}, world, false},
      {player, true, {}, world, false},    {player, false, {}, world, true},
      {player, false, {1}, world, false},  {player, true, {}, gone, true},
      {all, true, {1, 2, 3}, world, true}, {all, true, {1, 2, 3, 4}, world, false},
      {all, true, {1}, world, false},      {all, false, {}, world, true},
      {all, true, {2, 3}, gone, true},
  };
  for (const auto& c : cases) {
    std::string wrong = protectionDisagreement(c.settings, c.active, c.protectedPeds, c.world);
    EXPECT_EQ(wrong.empty(), c.agrees) << wrong;
  }
  EXPECT_EQ(protectionDisagreement(all, true, {1}, world),
            "protected the player, yet by the settings in effect it should protect all 3 living "
            "peds");
}

TEST(RunnerModelJudging, PastTheEnumerationOnlyTheFirstPedsCanBeProtected) {
  const EffectiveSettings all = {true, kFallbackToggleKey, true};
  PedWorld world = {1, true, {}, 300};  // 290 living, 10 dead
  std::set<int32_t> first;
  for (int32_t ped = 1; ped <= 290; ++ped) {
    world.living.insert(ped);
    if (ped <= 256) {
      first.insert(ped);
    }
  }
  EXPECT_EQ(protectionDisagreement(all, true, first, world), "");
  // Of the 256 enumerated, up to the 10 dead ones may be skipped: 246 living must be protected.
  std::set<int32_t> fewer(first.begin(), std::next(first.begin(), 246));
  EXPECT_EQ(protectionDisagreement(all, true, fewer, world), "");
  std::set<int32_t> tooFew(first.begin(), std::next(first.begin(), 245));
  EXPECT_NE(protectionDisagreement(all, true, tooFew, world), "");
  first.insert(1000);  // no living ped
  EXPECT_NE(protectionDisagreement(all, true, first, world), "");
}

TEST(RunnerModelText, QuotedEscapesAndCutsShort) {
  EXPECT_EQ(quoted("plain"), "\"plain\"");
  EXPECT_EQ(quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(quoted("\x01\x7f\xff\t"), "\"\\x01\\x7F\\xFF\\x09\"");
  EXPECT_EQ(quoted(std::string(50, 'x'), 4), "\"xxxx\"... (50 bytes)");
}

}  // namespace
