// The line rules of the settings file: what each line sets, read from text and from the file, at
// the read limit too; and the key names it accepts.
#include <cctype>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "config/key_names.h"
#include "config/settings_file.h"
#include "config/settings_reader.h"
#include "tests/plugin_fixture.h"
#include "tests/settings_cases.h"

using namespace std::string_literals;
using namespace settings_cases;

namespace {

// What a settings text must leave behind; a field without a value keeps whatever it held.
struct Outcome {
  std::optional<bool> keybindEnabled;
  std::optional<uint32_t> toggleKey;
  std::optional<bool> affectAllPeds;
};

Outcome setsNothing() {
  return {};
}
Outcome setsEnabled(bool value) {
  return {value, std::nullopt, std::nullopt};
}
Outcome setsKey(uint32_t code) {
  return {std::nullopt, code, std::nullopt};
}
Outcome setsAllPeds(bool value) {
  return {std::nullopt, std::nullopt, value};
}

void expectOutcome(const Settings& start, const Outcome& outcome) {
  EXPECT_EQ(settings.keybindEnabled, outcome.keybindEnabled.value_or(start.keybindEnabled));
  EXPECT_EQ(settings.toggleKey, outcome.toggleKey.value_or(start.toggleKey));
  EXPECT_EQ(settings.affectAllPeds, outcome.affectAllPeds.value_or(start.affectAllPeds));
  EXPECT_EQ(settings.active, start.active) << "loading never touches active";
}

struct LineCase {
  const char* name;
  std::string text;
  Outcome outcome;
};

// `first`, then a line of '#', then `last`, whose final byte is the file's byte number `end`.
std::string endingAt(size_t end, const std::string& first, const std::string& last) {
  return first + std::string(end - first.size() - last.size() - 1, '#') + "\n" + last;
}

std::vector<LineCase> lineCases() {
  constexpr size_t kLimit = kSettingsReadLimit;
  const std::string longLine(60000, 'x');
  const std::string blanks(30000, ' ');
  std::string tenMegabytes;
  while (tenMegabytes.size() < (10u << 20)) {
    tenMegabytes += "# a comment line\r\n";
  }
  return {
      // Booleans: lower-cased, then compared with "true" exactly, untrimmed.
      {"enabled true", "enabled=true", setsEnabled(true)},
      {"enabled TRUE", "enabled=TRUE", setsEnabled(true)},
      {"enabled True", "enabled=True", setsEnabled(true)},
      {"enabled tRuE", "enabled=tRuE", setsEnabled(true)},
      {"enabled false", "enabled=false", setsEnabled(false)},
      {"enabled blank before", "enabled= true", setsEnabled(false)},
      {"enabled blank after", "enabled=true ", setsEnabled(false)},
      {"enabled tab before", "enabled=\ttrue", setsEnabled(false)},
      {"enabled 1", "enabled=1", setsEnabled(false)},
      {"enabled yes", "enabled=yes", setsEnabled(false)},
      {"enabled empty", "enabled=", setsEnabled(false)},
      {"enabled tru", "enabled=tru", setsEnabled(false)},
      {"enabled truex", "enabled=truex", setsEnabled(false)},
      {"enabled truetrue", "enabled=truetrue", setsEnabled(false)},
      {"all peds true", "affect-all-peds=true", setsAllPeds(true)},
      {"all peds TRUE", "affect-all-peds=TRUE", setsAllPeds(true)},
      {"all peds True", "affect-all-peds=True", setsAllPeds(true)},
      {"all peds false", "affect-all-peds=false", setsAllPeds(false)},
      {"all peds blank before", "affect-all-peds= true", setsAllPeds(false)},
      {"all peds blank after", "affect-all-peds=true ", setsAllPeds(false)},
      {"all peds 1", "affect-all-peds=1", setsAllPeds(false)},
      {"all peds empty", "affect-all-peds=", setsAllPeds(false)},

      // Key names: trimmed of " \t\r\n", then looked up exactly.
      {"key F5", "toggle-key=VK_F5", setsKey(kF5)},
      {"key F5 in blanks", "toggle-key=  VK_F5  ", setsKey(kF5)},
      {"key F5 in tabs", "toggle-key=\t\tVK_F5\t", setsKey(kF5)},
      {"key F5 lower case", "toggle-key=vk_f5", setsKey(kF3)},
      {"key F5 without prefix", "toggle-key=F5", setsKey(kF3)},
      {"key empty", "toggle-key=", setsKey(kF3)},
      {"key only blanks", "toggle-key= \t ", setsKey(kF3)},
      {"key F5 with a blank inside", "toggle-key=VK_ F5", setsKey(kF3)},
      {"key F5 with more after it", "toggle-key=VK_F5 x", setsKey(kF3)},
      {"key prefix of a name", "toggle-key=VK_F", setsKey(kF3)},
      {"key longer than any name", "toggle-key=VK_F123456789", setsKey(kF3)},
      {"key F1 is not F10", "toggle-key=VK_F1", setsKey(112)},
      {"key F10 is not F1", "toggle-key=VK_F10", setsKey(121)},
      {"key with no name here", "toggle-key=VK_LEFT", setsKey(kF3)},
      {"key unknown after a known one", "toggle-key=VK_F5\ntoggle-key=VK_A", setsKey(kF3)},

      // Which line counts, and for what.
      {"no key", "[Keybind]\n\n; nothing here\nkeybind=true", setsNothing()},
      {"key needs its =", "enabled true\ntoggle-key VK_F5", setsNothing()},
      {"blank before =", "enabled = false", setsNothing()},
      {"keys are case-sensitive", "Enabled=false\nTOGGLE-KEY=VK_F5\nAffect-All-Peds=true",
       setsNothing()},
      {"active is not a setting", "active=false\nactive=true", setsNothing()},
      {"comment still counts", "# enabled=false", setsEnabled(false)},
      {"semicolon comment still counts", "; toggle-key=VK_F5", setsKey(kF5)},
      {"key inside a word", "disabled=true", setsNothing()},
      {"key anywhere in the line", "xxenabled=true", setsEnabled(true)},
      {"value cut at first =", "other=1 enabled=true", setsEnabled(false)},
      {"value cut at first = for keys", "a=b toggle-key=VK_F5", setsKey(kF3)},
      {"value with a second =", "enabled=true=true", setsEnabled(false)},
      {"enabled before toggle-key", "toggle-key=VK_F5 enabled=false", setsEnabled(false)},
      {"enabled in a toggle-key value", "toggle-key=enabled=true", setsEnabled(false)},
      {"toggle-key before affect-all-peds", "affect-all-peds=true toggle-key=VK_F5", setsKey(kF3)},
      {"enabled before affect-all-peds", "affect-all-peds=enabled=true", setsEnabled(false)},
      {"later line wins", "enabled=false\nenabled=TRUE", setsEnabled(true)},
      {"later key wins", "toggle-key=VK_F5\ntoggle-key=VK_F6", setsKey(kF6)},
      {"later false wins", "affect-all-peds=true\naffect-all-peds=no", setsAllPeds(false)},
      {"three settings",
       "enabled=false\ntoggle-key=VK_SPACE\naffect-all-peds=true",
       {false, 32u, true}},
      {"default file", kDefaultFile, {true, kF3, false}},
      {"empty text", "", setsNothing()},

      // Line ends: LF ends a line, a CR right before it is part of the line end.
      {"CR LF", "enabled=TRUE\r\naffect-all-peds=true\r\n", {true, std::nullopt, true}},
      {"LF", "enabled=TRUE\naffect-all-peds=true\n", {true, std::nullopt, true}},
      {"lone CR joins lines", "enabled=true\raffect-all-peds=true", setsEnabled(false)},
      {"lone CR at the end", "enabled=true\r", setsEnabled(false)},
      {"CR CR LF", "enabled=true\r\r\n", setsEnabled(false)},
      {"key trims a lone CR", "toggle-key=VK_F5\r\r\n", setsKey(kF5)},
      {"CR inside a key", "enab\r\nled=false", setsNothing()},
      {"LF CR", "enabled=true\n\raffect-all-peds=TRUE\n\r", {true, std::nullopt, true}},

      // Ctrl-Z ends the file, even in the middle of a line.
      {"Ctrl-Z ends the file", "enabled=false\n\x1a\nenabled=true", setsEnabled(false)},
      {"Ctrl-Z cuts a value", "enabled=tr\x1aue", setsEnabled(false)},
      {"Ctrl-Z cuts a key", "enab\x1aled=false", setsNothing()},
      {"Ctrl-Z after CR", "enabled=true\r\x1a\n", setsEnabled(false)},
      {"Ctrl-Z after the value", "toggle-key=VK_F6\x1a", setsKey(kF6)},
      {"Ctrl-Z first",
       "\x1a"
       "enabled=false",
       setsNothing()},

      // NUL bytes are ordinary bytes of the line.
      {"NUL before the key", "\0enabled=false"s, setsEnabled(false)},
      {"NUL inside the key", "ena\0bled=false"s, setsNothing()},
      {"NUL after the value", "enabled=true\0"s, setsEnabled(false)},
      {"NUL before the value", "enabled=\0true"s, setsEnabled(false)},
      {"NUL after a key name", "toggle-key=VK_F5\0"s, setsKey(kF3)},
      {"NUL lines", "\0\0\0\ntoggle-key=VK_F6\n\0"s, setsKey(kF6)},

      // Lines of any length within the read limit are judged whole.
      {"a long line before the key", longLine + "enabled=false", setsEnabled(false)},
      {"a long line before the key, then another line",
       longLine + "enabled=false\naffect-all-peds=true",
       {false, std::nullopt, true}},
      {"a long line between the first = and the key", "x=" + longLine + "enabled=true",
       setsEnabled(false)},
      {"blanks around a key name", "toggle-key=" + blanks + "VK_F5" + blanks, setsKey(kF5)},
      {"blanks then a key", "toggle-key=VK_F6" + blanks + "\ntoggle-key=" + blanks, setsKey(kF3)},
      {"a long value", "affect-all-peds=true" + longLine, setsAllPeds(false)},

      // Only the first 64 KiB are read. When the file goes on past them, the line the limit cuts
      // is left out, since its end was not read; a Ctrl-Z within them ends the text as anywhere.
      {"a file of exactly the limit is read whole", endingAt(kLimit, "", "enabled=false"),
       setsEnabled(false)},
      {"a line whose LF is the limit's last byte", endingAt(kLimit, "", "enabled=false\r\n") + "x",
       setsEnabled(false)},
      {"the line the limit cuts is left out",
       endingAt(kLimit, "enabled=TRUE\n", "enabled=false") + "\n", setsEnabled(true)},
      {"a key name the limit cuts",
       endingAt(kLimit, "toggle-key=VK_F6\n", "toggle-key=VK_F1") + "0\n", setsKey(kF6)},
      {"a CR LF the limit cuts", endingAt(kLimit, "enabled=false\n", "enabled=true\r") + "\n",
       setsEnabled(false)},
      {"a Ctrl-Z within the limit", endingAt(kLimit, "enabled=TRUE\n", "enabled=false\x1a") + "x",
       setsEnabled(false)},
      {"a Ctrl-Z just past the limit", endingAt(kLimit, "enabled=TRUE\n", "enabled=false") + "\x1a",
       setsEnabled(true)},
      {"a line longer than the limit", "enabled=false" + std::string(kLimit, ' ') + "\n",
       setsNothing()},
      {"10 MB of comments after a setting",
       "affect-all-peds=true\r\n" + tenMegabytes + "affect-all-peds=false", setsAllPeds(true)},
  };
}

using SettingsLinesTest = PluginTest;

TEST_F(SettingsLinesTest, LineRulesFromTextAndFromTheFile) {
  for (const LineCase& line : lineCases()) {
    for (const Settings& start : kStarts) {
      SCOPED_TRACE(testing::Message()
                   << line.name << ", starting with enabled " << start.keybindEnabled);
      settings = start;
      applySettingsText(line.text.data(), line.text.size());
      {
        SCOPED_TRACE("applySettingsText");
        expectOutcome(start, line.outcome);
      }

      writeFile(line.text);
      settings = start;
      loadSettings();
      {
        SCOPED_TRACE("loadSettings");
        expectOutcome(start, line.outcome);
      }
      std::string after;
      ASSERT_TRUE(readFile(&after));
      EXPECT_TRUE(after == line.text) << "a file that could be read was rewritten";
    }
  }
}

TEST_F(SettingsLinesTest, EveryKeyNameGivesItsCodeAndNoOtherNameDoes) {
  ASSERT_EQ(std::size(keyNameTable), std::size(kKeyCodes));
  for (const model::KeyCode& key : kKeyCodes) {
    SCOPED_TRACE(key.name);
    const std::string name(key.name);
    std::string lower = name;
    for (char& c : lower) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const struct {
      std::string value;
      uint32_t code;
    } values[] = {
        {name, key.code},
        {" \t" + name + "\t ", key.code},
        {lower, kF3},
        {name.substr(3), kF3},
        {name + "x", kF3},
        // One letter short: "VK_F1" for the three two-digit F keys, otherwise no name.
        {name.substr(0, name.size() - 1), key.code >= 121 && key.code <= 123 ? 112 : kF3},
    };
    for (const auto& value : values) {
      settings.toggleKey = 1001;
      std::string line = "toggle-key=" + value.value;
      applySettingsText(line.data(), line.size());
      EXPECT_EQ(settings.toggleKey, value.code) << '"' << value.value << '"';
    }
    // The lookup itself is exact: the reader's trimming is what lets blanks through.
    uint32_t code = 0;
    EXPECT_TRUE(lookupKeyName(name.data(), name.size(), &code));
    EXPECT_EQ(code, key.code);
    const std::string withBlank = name + " ";
    EXPECT_FALSE(lookupKeyName(withBlank.data(), withBlank.size(), &code));
  }
}

}  // namespace
