// The settings file: how its lines set the settings, the file a first start creates, and the
// reload every 5 s of game time.
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/settings.h"
#include "config/key_names.h"
#include "config/settings_file.h"
#include "tests/plugin_fixture.h"

using namespace std::string_literals;

namespace {

// Written out here byte for byte rather than taken from the plug-in, so that a slip in either
// shows up: CR LF line ends, nothing after the last setting.
const std::string kDefaultFile =
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
constexpr VirtualKey kVirtualKeys[] = {
    {"VK_F1", 0x70},    {"VK_F2", 0x71},     {"VK_F3", 0x72},      {"VK_F4", 0x73},
    {"VK_F5", 0x74},    {"VK_F6", 0x75},     {"VK_F7", 0x76},      {"VK_F8", 0x77},
    {"VK_F9", 0x78},    {"VK_F10", 0x79},    {"VK_F11", 0x7A},     {"VK_F12", 0x7B},
    {"VK_TAB", 0x09},   {"VK_SHIFT", 0x10},  {"VK_CONTROL", 0x11}, {"VK_MENU", 0x12},
    {"VK_SPACE", 0x20}, {"VK_RETURN", 0x0D}, {"VK_BACK", 0x08},    {"VK_ESCAPE", 0x1B},
};

constexpr uint32_t kF3 = 114;
constexpr uint32_t kF5 = 116;
constexpr uint32_t kF6 = 117;

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

// Two starting points that differ in every field (with toggle keys no file can name), so that a
// field set wrongly and a field wrongly left alone both show.
const Settings kStarts[] = {
    {true, 1001, true, false},
    {false, 1002, false, true},
};

void expectOutcome(const Settings& start, const Outcome& outcome) {
  EXPECT_EQ(settings.keybindEnabled, outcome.keybindEnabled.value_or(start.keybindEnabled));
  EXPECT_EQ(settings.toggleKey, outcome.toggleKey.value_or(start.toggleKey));
  EXPECT_EQ(settings.affectAllPeds, outcome.affectAllPeds.value_or(start.affectAllPeds));
  EXPECT_EQ(settings.active, start.active) << "loading never touches active";
}

void expectSettings(const Settings& expected) {
  EXPECT_EQ(settings.keybindEnabled, expected.keybindEnabled);
  EXPECT_EQ(settings.toggleKey, expected.toggleKey);
  EXPECT_EQ(settings.affectAllPeds, expected.affectAllPeds);
  EXPECT_EQ(settings.active, expected.active);
}

struct LineCase {
  const char* name;
  std::string text;
  Outcome outcome;
};

std::vector<LineCase> lineCases() {
  const std::string megabyte(1 << 20, 'x');
  const std::string blanks(1 << 20, ' ');
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

      // Lines of any length are judged whole.
      {"1 MB before the key", megabyte + "enabled=false", setsEnabled(false)},
      {"1 MB before the key, then another line",
       megabyte + "enabled=false\naffect-all-peds=true",
       {false, std::nullopt, true}},
      {"1 MB between the first = and the key", "x=" + megabyte + "enabled=true",
       setsEnabled(false)},
      {"1 MB of blanks around a key name", "toggle-key=" + blanks + "VK_F5" + blanks, setsKey(kF5)},
      {"1 MB of blanks then a key", "toggle-key=VK_F6" + blanks + "\ntoggle-key=" + blanks,
       setsKey(kF3)},
      {"1 MB value", "affect-all-peds=true" + megabyte, setsAllPeds(false)},
  };
}

using SettingsFileTest = PluginTest;

TEST_F(SettingsFileTest, LineRulesFromTextAndFromTheFile) {
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

// The reader takes the file in pieces; a line end or a Ctrl-Z must mean the same wherever the
// pieces happen to be cut.
TEST_F(SettingsFileTest, LineEndsMeanTheSameAtAnyOffsetInTheFile) {
  const LineCase tails[] = {
      {"CR LF", "enabled=TRUE\r\n", setsEnabled(true)},
      {"lone CR", "enabled=tr\rue\n", setsEnabled(false)},
      {"lone CR at the end", "affect-all-peds=true\r", setsAllPeds(false)},
      {"Ctrl-Z",
       "toggle-key=VK_F6\r\n\x1a"
       "enabled=false",
       setsKey(kF6)},
  };
  std::vector<size_t> padding;
  for (size_t n = 0; n <= 1100; ++n) {
    padding.push_back(n);
  }
  // Around the usual buffer sizes as well.
  for (size_t around : {4096u, 8192u}) {
    for (size_t n = around - 24; n <= around + 4; ++n) {
      padding.push_back(n);
    }
  }
  for (const LineCase& tail : tails) {
    for (size_t n : padding) {
      SCOPED_TRACE(testing::Message() << tail.name << " after " << n << " bytes");
      writeFile(std::string(n, '#') + "\n" + tail.text);
      for (const Settings& start : kStarts) {
        settings = start;
        loadSettings();
        expectOutcome(start, tail.outcome);
      }
      if (HasFailure()) {
        return;  // one offset is enough to see the fault
      }
    }
  }
}

TEST_F(SettingsFileTest, EveryKeyNameGivesItsCodeAndNoOtherNameDoes) {
  ASSERT_EQ(std::size(keyNameTable), std::size(kVirtualKeys));
  for (const VirtualKey& key : kVirtualKeys) {
    SCOPED_TRACE(key.name);
    const std::string name = key.name;
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

TEST_F(SettingsFileTest, AFirstStartWritesTheDefaultFileAndDoesNotReadItBack) {
  settings = kStarts[1];
  loadAndStart();
  std::string written;
  ASSERT_TRUE(readFile(&written));
  EXPECT_EQ(written, kDefaultFile);
  expectSettings(kStarts[1]);

  // The next reload reads what was written: the initial settings, with active left alone.
  standinSetFrameMs(0);
  standinSetGameTime(5000);
  standinRunFrames(1);
  expectSettings({true, kF3, false, kStarts[1].active});
  ASSERT_TRUE(readFile(&written));
  EXPECT_EQ(written, kDefaultFile);
}

// The game time of each frame, set outright: the host adds nothing of its own.
void runFrameAt(int32_t gameTime) {
  standinSetFrameMs(0);
  standinSetGameTime(gameTime);
  standinRunFrames(1);
}

int gameTimerReads(int32_t frame) {
  int reads = 0;
  for (uint64_t hash : PluginTest::nativeHashesInFrame(frame)) {
    reads += hash == hashes::kGetGameTimer ? 1 : 0;
  }
  return reads;
}

// A frame reloads when it reads the game timer a second time (after loading, for lastLoadTime).
bool reloadedIn(int32_t frame) {
  int reads = gameTimerReads(frame);
  EXPECT_TRUE(reads == 1 || reads == 2) << reads << " game timer reads in frame " << frame;
  return reads == 2;
}

TEST_F(SettingsFileTest, AnEmptyFileSetsNothingAndIsNotRewritten) {
  writeFile("");
  settings = kStarts[0];
  loadAndStart();
  runFrameAt(5000);
  runFrameAt(10000);
  EXPECT_TRUE(reloadedIn(2));
  EXPECT_TRUE(reloadedIn(3));
  expectSettings(kStarts[0]);
  std::string content = "not read";
  ASSERT_TRUE(readFile(&content));
  EXPECT_EQ(content, "");
}

TEST_F(SettingsFileTest, ASettingWhoseLineIsDeletedKeepsItsLastValue) {
  writeFile("enabled=false\r\ntoggle-key=VK_F5\r\naffect-all-peds=true\r\n");
  loadAndStart();
  expectSettings({false, kF5, true, true});

  writeFile("toggle-key=VK_F6\r\n");
  runFrameAt(5000);
  ASSERT_TRUE(reloadedIn(2));
  expectSettings({false, kF6, true, true});

  writeFile("# all gone\r\n");
  runFrameAt(10000);
  ASSERT_TRUE(reloadedIn(3));
  expectSettings({false, kF6, true, true});
}

TEST_F(SettingsFileTest, LoadsNeverWriteActive) {
  writeFile("active=true\r\nenabled=true\r\n");
  settings.active = false;
  loadAndStart();
  runFrameAt(5000);
  ASSERT_TRUE(reloadedIn(2));
  EXPECT_FALSE(settings.active);
  EXPECT_EQ(standinProtectCount(standinPlayerPed()), 0);

  settings.active = true;
  writeFile("active=false\r\nenabled=false\r\n");
  runFrameAt(10000);
  ASSERT_TRUE(reloadedIn(3));
  EXPECT_TRUE(settings.active);
  EXPECT_FALSE(settings.keybindEnabled);
}

// lastLoadTime starts at 0, so the first pass reloads at once when the game time already stands
// at 5000 or more: the signed difference from 0 decides.
class FirstPassTest : public PluginTest, public testing::WithParamInterface<int32_t> {};

TEST_P(FirstPassTest, ReloadsRightAfterTheInitialLoadFromGameTime5000) {
  const int32_t start = GetParam();
  const bool reloads = start >= 5000;
  writeFile("toggle-key=VK_F6\r\n");
  standinSetFrameMs(0);
  standinSetGameTime(start);
  loadAndStart();
  EXPECT_EQ(settings.toggleKey, kF6) << "the initial load comes before the first pass";
  EXPECT_EQ(reloadedIn(1), reloads);
  EXPECT_EQ(lastLoadTime, reloads ? start : 0);
  // The reload is the first thing the pass does: before the protection pass.
  std::vector<uint64_t> natives = nativeHashesInFrame(1);
  ASSERT_GE(natives.size(), 2u);
  EXPECT_EQ(natives[0], hashes::kGetGameTimer);
  EXPECT_EQ(natives[1], reloads ? hashes::kGetGameTimer : hashes::kPlayerPedId);
}

INSTANTIATE_TEST_SUITE_P(GameTimes, FirstPassTest,
                         testing::Values(0, 16, 4999, 5000, 5001, 600000, INT32_MAX, -1, -5000,
                                         INT32_MIN));

// A run of frames after a reload at game time `base`: each step gives a frame's game time as an
// offset from base (wrapping like the game timer) and whether that frame reloads.
struct ReloadStep {
  int32_t offset;
  bool reloads;
};

const ReloadStep kReloadSteps[] = {
    {16, false},     {4999, false},  {5000, true},   // now 5000 after base
    {9999, false},   {10000, true},  {3000, false},  // the game timer went backwards
    {-50000, false}, {14999, false}, {15000, true}, {15000, false},
    {20001, true},   {25000, false}, {25001, true},
};

class ReloadTimingTest : public PluginTest, public testing::WithParamInterface<int32_t> {};

int32_t wrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

TEST_P(ReloadTimingTest, ReloadsWhen5000MsOfGameTimeHavePassedSinceTheLastReload) {
  const int32_t base = GetParam();
  writeFile("toggle-key=VK_F1\r\n");
  standinSetFrameMs(0);
  standinSetGameTime(base);
  loadAndStart();
  ASSERT_TRUE(reloadedIn(1));
  ASSERT_EQ(lastLoadTime, base);

  int32_t expectedLast = base;
  uint32_t nextKey = 1;
  for (const ReloadStep& step : kReloadSteps) {
    const int32_t now = wrappingAdd(base, step.offset);
    SCOPED_TRACE(testing::Message() << "base " << base << ", offset " << step.offset);
    // Each step names a new key, so the settings show whether the file was read.
    const VirtualKey& key = kVirtualKeys[nextKey++ % 12];
    writeFile("toggle-key="s + key.name + "\r\n");
    const uint32_t keyBefore = settings.toggleKey;

    runFrameAt(now);
    const int32_t frame = standinFrameNumber();
    EXPECT_EQ(reloadedIn(frame), step.reloads);
    if (step.reloads) {
      expectedLast = now;
    }
    EXPECT_EQ(lastLoadTime, expectedLast);
    EXPECT_EQ(settings.toggleKey, step.reloads ? key.code : keyBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Bases, ReloadTimingTest,
                         testing::Values(5000, 123456, INT32_MAX - 3000, INT32_MAX));

TEST_F(SettingsFileTest, ALiveEditOfAffectAllPedsAppliesInThePassOfTheReload) {
  const int32_t player = standinPlayerPed();
  const int32_t walker = standinAddPed(1);
  const int32_t corpse = standinAddPed(0);
  standinSetFrameMs(0);
  standinSetGameTime(100);
  loadAndStart();
  std::string content;
  ASSERT_TRUE(readFile(&content));
  const size_t at = content.find("affect-all-peds=false");
  ASSERT_NE(at, std::string::npos);
  content.replace(at, std::string("affect-all-peds=false").size(), "affect-all-peds=true");
  writeFile(content);

  runFrameAt(4999);
  const int32_t before = standinFrameNumber();
  runFrameAt(5000);
  const int32_t reload = standinFrameNumber();

  using namespace expect;
  expectFrameCalls(before, {gameTimer(), playerPed(), exists(player), protect(player), wait0()});
  expectFrameCalls(reload, {gameTimer(), gameTimer(), enumeration(), exists(player),
                            deadCheck(player), protect(player), exists(walker), deadCheck(walker),
                            protect(walker), exists(corpse), deadCheck(corpse), wait0()});
}

// Natively the test runs as root, for whom permissions stop nothing; this thread's file accesses
// are made as an ordinary user for a while instead (the file-system identity is per thread).
class OrdinaryUserFiles {
 public:
  OrdinaryUserFiles() {
    if (geteuid() != 0) {
      switched_ = true;  // already ordinary
      return;
    }
    setfsuid(kNobody);
    switched_ = setfsuid(kNobody) == static_cast<int>(kNobody);
    restore_ = true;
  }
  ~OrdinaryUserFiles() {
    if (restore_) {
      setfsuid(0);
    }
  }
  bool switched() const { return switched_; }

 private:
  static constexpr uid_t kNobody = 65534;
  bool switched_ = false;
  bool restore_ = false;
};

TEST_F(SettingsFileTest, AnExistingFileThatCannotBeReadIsLeftUntouched) {
  const std::string content = "enabled=false\r\ntoggle-key=VK_F7\r\n";
  writeFile(content);
  // Writable but not readable, in a directory anyone may write: a create that truncated would
  // succeed here.
  ASSERT_EQ(chmod(kSettingsFileName, 0222), 0);
  ASSERT_EQ(chmod(".", 0777), 0);
  settings = kStarts[0];
  {
    OrdinaryUserFiles user;
    ASSERT_TRUE(user.switched());
    std::FILE* readable = std::fopen(kSettingsFileName, "rb");
    ASSERT_EQ(readable, nullptr) << "the file can still be read; the test would prove nothing";
    int writable = open(kSettingsFileName, O_WRONLY);
    ASSERT_GE(writable, 0);
    close(writable);

    loadSettings();
    loadSettings();
  }
  expectSettings(kStarts[0]);
  std::string after;
  ASSERT_TRUE(readFile(&after));
  EXPECT_EQ(after, content);
}

TEST_F(SettingsFileTest, CreatingANewFileFailsOnAnExistingOneAndLeavesItAlone) {
  writeFile("toggle-key=VK_F7\r\n");
  EXPECT_EQ(platformCreateNew(kSettingsFileName), nullptr);
  std::string after;
  ASSERT_TRUE(readFile(&after));
  EXPECT_EQ(after, "toggle-key=VK_F7\r\n");

  std::filesystem::remove(kSettingsFileName);
  std::FILE* created = platformCreateNew(kSettingsFileName);
  ASSERT_NE(created, nullptr);
  std::fclose(created);
  ASSERT_TRUE(readFile(&after));
  EXPECT_EQ(after, "");
}

TEST_F(SettingsFileTest, ASettingsPathThatCannotBeCreatedChangesNothingAndIsTriedOnEveryReload) {
  ASSERT_TRUE(std::filesystem::create_directory(kSettingsFileName));
  settings = kStarts[0];
  standinSetFrameMs(0);
  standinSetGameTime(100);
  loadAndStart();
  runFrameAt(5100);
  runFrameAt(10100);
  EXPECT_TRUE(reloadedIn(2));
  EXPECT_TRUE(reloadedIn(3));
  expectSettings(kStarts[0]);
  EXPECT_TRUE(std::filesystem::is_directory(kSettingsFileName));
  EXPECT_EQ(standinWaitCount(), 3);

  // Once the name is free, the next reload creates the file, and the one after reads it.
  ASSERT_TRUE(std::filesystem::remove(kSettingsFileName));
  runFrameAt(15099);
  EXPECT_FALSE(fileExists());
  runFrameAt(15100);
  std::string written;
  ASSERT_TRUE(readFile(&written));
  EXPECT_EQ(written, kDefaultFile);
  expectSettings(kStarts[0]);
  runFrameAt(20100);
  expectSettings({true, kF3, false, kStarts[0].active});
}

}  // namespace
