// The scenario parser of the session runner: every command, every error message, the bounds, and
// the scenario files of the tree.
#include "tools/runner/scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

using namespace std::string_literals;

namespace {

Scenario parsed(const std::string& text) {
  Scenario scenario;
  std::string error;
  EXPECT_TRUE(parseScenario(text, &scenario, &error)) << text << "\n" << error;
  return scenario;
}

Step only(const std::string& text) {
  Scenario scenario = parsed(text);
  EXPECT_EQ(scenario.steps.size(), 1u) << text;
  return scenario.steps.empty() ? Step{} : scenario.steps[0];
}

std::string errorOf(const std::string& text) {
  Scenario scenario;
  std::string error;
  EXPECT_FALSE(parseScenario(text, &scenario, &error)) << text;
  return error;
}

// One line of each command, and what it must parse to.
struct CommandCase {
  const char* text;
  Command command;
  int64_t number;
  std::string detail;  // text, or the ped / who / state / dead flag by name
};

const CommandCase kCommandCases[] = {
    {"frames 60", Command::kFrames, 60, ""},
    {"frame-ms 0x20", Command::kFrameMs, 32, ""},
    {"advance-game-time 5000", Command::kAdvanceGameTime, 5000, ""},
    {"sleep 400", Command::kSleep, 400, ""},
    {"press F3", Command::kPress, 114, ""},
    {"release vk_return", Command::kRelease, 13, ""},
    {"tap 254", Command::kTap, 254, ""},
    {"add-peds 3", Command::kAddPeds, 3, "living"},
    {"add-peds 1 dead", Command::kAddPeds, 1, "dead"},
    {"kill-ped last", Command::kKillPed, 0, "last"},
    {"revive-ped player", Command::kRevivePed, 0, "player"},
    {"remove-ped -8708", Command::kRemovePed, -8708, "handle"},
    {"write-settings\nenabled=true\nend", Command::kWriteSettings, 0, "enabled=true\r\n"},
    {"edit-settings toggle-key=VK_F5", Command::kEditSettings, 0, "toggle-key=VK_F5"},
    {"delete-settings", Command::kDeleteSettings, 0, ""},
    {"settings-directory", Command::kSettingsDirectory, 0, ""},
    {"lock-settings", Command::kLockSettings, 0, ""},
    {"deny-reading-settings", Command::kDenyReadingSettings, 0, ""},
    {"unlock-settings", Command::kUnlockSettings, 0, ""},
    {"expect notices 2", Command::kExpectNotices, 2, ""},
    {"expect last-notice \"Script has been ~COLOR_RED~disabled~s~\"", Command::kExpectLastNotice, 0,
     "Script has been ~COLOR_RED~disabled~s~"},
    {"expect protected all-living", Command::kExpectProtected, 0, "all-living"},
    {"expect protected 3", Command::kExpectProtected, 3, "count"},
    {"expect settings-file unchanged", Command::kExpectSettingsFile, 0, "unchanged"},
    {"expect file-writes 1", Command::kExpectFileWrites, 1, ""},
};

std::string detailOf(const Step& step) {
  switch (step.command) {
    case Command::kAddPeds:
      return step.dead ? "dead" : "living";
    case Command::kKillPed:
    case Command::kRevivePed:
    case Command::kRemovePed:
      return step.ped == PedRef::kPlayer ? "player" : step.ped == PedRef::kLast ? "last" : "handle";
    case Command::kExpectProtected:
      return step.who == Who::kPlayer      ? "player"
             : step.who == Who::kNobody    ? "nobody"
             : step.who == Who::kAllLiving ? "all-living"
                                           : "count";
    case Command::kExpectSettingsFile:
      return step.file == FileState::kDefault   ? "default"
             : step.file == FileState::kMissing ? "missing"
                                                : "unchanged";
    default:
      return step.text;
  }
}

TEST(ScenarioTest, EveryCommandParsesToItsStep) {
  std::set<Command> covered;
  for (const CommandCase& c : kCommandCases) {
    Step step = only(c.text);
    EXPECT_EQ(step.command, c.command) << c.text;
    EXPECT_EQ(step.number, c.number) << c.text;
    EXPECT_EQ(detailOf(step), c.detail) << c.text;
    EXPECT_EQ(step.line, 1) << c.text;
    covered.insert(c.command);
  }
  for (size_t i = 0; i < kCommandRowCount; ++i) {
    EXPECT_EQ(covered.count(kCommandRows[i].command), 1u)
        << kCommandRows[i].name << " has no case here";
    EXPECT_EQ(&commandRow(kCommandRows[i].command), &kCommandRows[i]);
    EXPECT_NE(scenarioHelp().find(kCommandRows[i].usage), std::string::npos);
  }
}

TEST(ScenarioTest, WordsAsWrittenForTheAccount) {
  EXPECT_EQ(only("  expect   last-notice \"a  b\"  # why").written, "expect last-notice a  b");
  EXPECT_EQ(only("tap\tF3\r").written, "tap F3");
  // Escape sequences and bells reach no terminal, and a megabyte word makes no megabyte line.
  EXPECT_EQ(only("edit-settings \"k=\x1b[2J\x07\"").written, "edit-settings k=\\x1B[2J\\x07");
  EXPECT_EQ(only("expect last-notice " + std::string(1 << 20, 'w')).written,
            "expect last-notice " + std::string(40, 'w') + "... (1048576 bytes)");
}

// Each row: the text, and what the one-line message must name after "line 1: ": the bad text as
// written (escaped, in quotes), or what is missing. The rest of the sentence is free to change.
struct ErrorCase {
  std::string text;
  std::string names;
};

const ErrorCase kErrorCases[] = {
    {"fram 1", "unknown command \"fram\""},
    {"expect", "expect: what to expect is missing"},
    {"expect notice 1", "expect: unknown expectation \"notice\""},
    {"expect last-notice \"abc", "a quote is not closed in \"expect last-notice \\\"abc\""},
    {"frames", "frames: N is missing"},
    {"frames 1 2", "frames: unexpected \"2\""},
    {"frames ten", "frames: \"ten\" is not a number"},
    {"frames -5", "frames: \"-5\" is out of range"},
    {"frames 99999999999", "frames: \"99999999999\" is more frames than one step runs"},
    {"sleep 60001", "sleep: \"60001\" is out of range"},
    {"tap F33", "tap: \"F33\" is not a key"},
    {"press 999999", "press: key code \"999999\" is out of range"},
    {"release", "release: KEY is missing"},
    {"add-peds 3 alive", "add-peds: \"alive\" is not \"dead\""},
    {"add-peds 1 dead now", "add-peds: unexpected \"now\""},
    {"kill-ped bob", "kill-ped: \"bob\" is not a ped"},
    {"remove-ped 2147483648", "remove-ped: \"2147483648\" is out of range"},
    {"delete-settings now", "delete-settings: unexpected \"now\""},
    {"write-settings\nenabled=true", "write-settings: no line \"end\" closes it"},
    {"edit-settings toggle-key", "edit-settings: \"toggle-key\" is not KEY=VALUE"},
    {"edit-settings =VK_F5", "edit-settings: \"=VK_F5\" is not KEY=VALUE"},
    {"expect last-notice Script has been", "expect last-notice: unexpected \"has\""},
    {"expect protected everyone", "expect protected: \"everyone\" is not player"},
    {"expect protected -1", "expect protected: \"-1\" is out of range"},
    {"expect settings-file gone", "expect settings-file: \"gone\" is not default"},
    {"expect notices", "expect notices: N is missing"},
    {"\xFF\xFE"
     "f\0r\0"s,
     "the file is UTF-16 text"},
};

TEST(ScenarioTest, EveryMistakeGetsOneLineNamingTheLineAndTheText) {
  for (const ErrorCase& c : kErrorCases) {
    std::string error = errorOf(c.text);
    EXPECT_EQ(error.compare(0, 8 + c.names.size(), "line 1: " + c.names), 0) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.text;
  }
  // A command's usage comes with a mistake in its words.
  EXPECT_NE(errorOf("frames ten").find("(usage: frames N, N from 0 to 1000000)"),
            std::string::npos);
  EXPECT_NE(errorOf("tap F33").find("the names are F1, F2, F3"), std::string::npos);
}

TEST(ScenarioTest, TheLineNamedIsTheLineInTheFile) {
  // Blank lines, comments, a settings body and CR LF line ends all count; a byte order mark does
  // not make a line.
  const std::string text =
      "\xEF\xBB\xBF# a comment\r\n\r\nframes 1\r\nwrite-settings\r\nenabled=true\r\nend\r\n"
      "tap F33\r\n";
  EXPECT_EQ(errorOf(text).compare(0, 13, "line 7: tap: "), 0) << errorOf(text);
  Scenario scenario = parsed("\n\nframes 1\n  # x\nexpect notices 0");
  ASSERT_EQ(scenario.steps.size(), 2u);
  EXPECT_EQ(scenario.steps[0].line, 3);
  EXPECT_EQ(scenario.steps[1].line, 5);
  // An old Mac editor's CR alone ends a line too, as does CR LF, and LF.
  EXPECT_EQ(errorOf("# a comment\rframes 1\r\n\nexpect notices 0\rtap F33\r")
                .compare(0, 13, "line 5: tap: "),
            0);
}

TEST(ScenarioTest, BadBytesAreShownEscapedAndCutShort) {
  std::string garbage =
      "\x7f"
      "ELF\x02\x01\x01"s +
      std::string(100, '\0') + "\xC0\x13";
  std::string error = errorOf(garbage + " 1\n");
  std::string zeros;
  for (int i = 0; i < 33; ++i) {
    zeros += "\\x00";
  }
  const std::string shown =
      "line 1: unknown command \"\\x7FELF\\x02\\x01\\x01" + zeros + "\"... (109 bytes)";
  EXPECT_EQ(error.compare(0, shown.size(), shown), 0) << error;
  for (char c : error) {
    EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(static_cast<unsigned char>(c));
  }
  EXPECT_NE(errorOf("tap \"a\\b\"\n").find("\"a\\\\b\" is not a key"), std::string::npos);
}

// Every number a row takes: its bounds are accepted, one past either is refused.
TEST(ScenarioTest, EveryNumberIsAcceptedUpToItsBoundsAndRefusedPastThem) {
  for (size_t i = 0; i < kCommandRowCount; ++i) {
    const CommandRow& row = kCommandRows[i];
    bool numbered = row.args == Args::kNumber || row.args == Args::kPeds ||
                    row.args == Args::kKey || row.args == Args::kPed || row.args == Args::kWho;
    if (!numbered) {
      continue;
    }
    std::string name = row.name;
    for (int64_t value : {row.low, row.high}) {
      Step step = only(name + " " + std::to_string(value));
      EXPECT_EQ(step.number, value) << name;
    }
    for (int64_t value : {row.low - 1, row.high + 1}) {
      std::string error = errorOf(name + " " + std::to_string(value));
      EXPECT_NE(error.find("\"" + std::to_string(value) + "\""), std::string::npos) << error;
      EXPECT_NE(error.find("(usage: " + std::string(row.usage)), std::string::npos) << error;
    }
  }
  EXPECT_EQ(commandRow(Command::kFrames).high, kMostFramesPerStep);
  EXPECT_EQ(commandRow(Command::kTap).high, kHighestKeyCode);
}

TEST(ScenarioTest, NumbersAreDecimalOrHexAndNothingElse) {
  EXPECT_EQ(only("frames 010").number, 10) << "leading zeros are not octal";
  EXPECT_EQ(only("frames 0x1F").number, 31);
  EXPECT_EQ(only("frames 0X1f").number, 31);
  for (const char* word : {"+5", "1e3", "0x", "-", "5x", "0x1G", "\"\"", " 5 6"}) {
    std::string error = errorOf("frames " + std::string(word));
    EXPECT_EQ(error.compare(0, 15, "line 1: frames:"), 0) << word << ": " << error;
  }
}

TEST(ScenarioTest, KeysByNameInAnyCaseWithOrWithoutPrefixOrByCode) {
  for (const char* word : {"F5", "f5", "VK_F5", "vk_F5", "0x74", "116"}) {
    EXPECT_EQ(only("tap " + std::string(word)).number, 116) << word;
  }
  EXPECT_EQ(only("tap ESCAPE").number, 27);
  EXPECT_EQ(only("tap 0").number, 0);
  EXPECT_NE(errorOf("tap VK_").find("\"VK_\" is not a key"), std::string::npos);
}

TEST(ScenarioTest, QuotesGroupAndCommentsEndALine) {
  EXPECT_EQ(only("expect last-notice \"a # b\" # c").text, "a # b");
  EXPECT_EQ(only("expect last-notice \"\"").text, "");
  EXPECT_EQ(only("edit-settings \"toggle-key= VK_F5\"").text, "toggle-key= VK_F5");
  EXPECT_NE(errorOf("frames 5#x").find("\"5#x\" is not a number"), std::string::npos)
      << "a # inside a word starts no comment";
}

TEST(ScenarioTest, ASettingsBodyIsTakenAsItStands) {
  Step step = only("write-settings\n# enabled=false \"q\"\n\n  toggle-key=VK_F5  \r\nend\r\n");
  EXPECT_EQ(step.text, "# enabled=false \"q\"\r\n\r\n  toggle-key=VK_F5  \r\n");
  EXPECT_EQ(only("write-settings\nend").text, "");
  EXPECT_EQ(parsed("write-settings\nend \nend\nframes 1").steps.size(), 2u)
      << "only a line that is exactly \"end\" ends the body";
}

TEST(ScenarioTest, WarnsAboutAScenarioThatRunsNothing) {
  EXPECT_EQ(parsed("").warnings.size(), 1u);
  EXPECT_NE(parsed("# only\n\n").warnings[0].find("no commands"), std::string::npos);
  EXPECT_NE(parsed("frames 0\nexpect notices 0").warnings[0].find("runs no frame"),
            std::string::npos);
  EXPECT_TRUE(parsed("frames 1").warnings.empty());
  EXPECT_TRUE(parsed("\xEF\xBB\xBF"
                     "frames 1")
                  .warnings.empty())
      << "a byte order mark is skipped";
}

TEST(ScenarioTest, TheScenarioFilesOfTheTreeParseCleanly) {
  for (const char* file :
       {"tools/runner/default.scn", "tests/wine/key_window.scn",
        "tests/wine/unreadable_settings.scn", "tests/wine/runner_reports_failures.scn"}) {
    std::ifstream in(std::string(QUILLMERE_SOURCE_DIR) + "/" + file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::stringstream text;
    text << in.rdbuf();
    Scenario scenario = parsed(text.str());
    EXPECT_FALSE(scenario.steps.empty()) << file;
    EXPECT_TRUE(scenario.warnings.empty()) << file;
  }
}

}  // namespace
