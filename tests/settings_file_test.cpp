// The settings file as a whole: the file a first start creates, the reload every 5 s of game
// time, and files that cannot be read or created.
#include <fcntl.h>
#include <signal.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/platform.h"
#include "common/settings.h"
#include "config/settings_file.h"
#include "tests/plugin_fixture.h"
#include "tests/settings_cases.h"

using namespace std::string_literals;
using namespace settings_cases;

namespace {

using SettingsFileTest = PluginTest;

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

// What a player's editor may save, as the player's readme tells it: UTF-16 ("Unicode" in older
// Notepad) sets nothing and stays as saved; a UTF-8 byte order mark does no harm.
TEST_F(SettingsFileTest, AFileSavedAsUtf16SetsNothingAndAUtf8ByteOrderMarkDoesNoHarm) {
  const std::string text = "enabled=false\r\ntoggle-key=VK_F7\r\naffect-all-peds=false\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) {
    utf16 += c + "\0"s;
  }
  writeFile(utf16);
  settings = kStarts[0];
  loadAndStart();
  runFrameAt(5000);
  EXPECT_TRUE(reloadedIn(2));
  expectSettings(kStarts[0]);
  std::string content;
  ASSERT_TRUE(readFile(&content));
  EXPECT_EQ(content, utf16);

  writeFile("\xEF\xBB\xBF" + text);
  runFrameAt(10000);
  EXPECT_TRUE(reloadedIn(3));
  expectSettings({false, 118, false, kStarts[0].active});
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
    const model::KeyCode& key = kKeyCodes[nextKey++ % 12];
    writeFile("toggle-key=" + std::string(key.name) + "\r\n");
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

// A settings file that never ends (a link to an endless device) costs one bounded read: the loads
// return, the passes go on, and what was read (NUL bytes, no line end) sets nothing.
TEST_F(SettingsFileTest, AFileThatNeverEndsIsReadOnlyUpToTheLimit) {
  ASSERT_EQ(symlink("/dev/zero", model::kFileName), 0);
  settings = kStarts[0];
  loadAndStart();
  runFrameAt(5000);
  EXPECT_TRUE(reloadedIn(2));
  EXPECT_EQ(standinWaitCount(), 2);
  expectSettings(kStarts[0]);
  EXPECT_TRUE(std::filesystem::is_symlink(model::kFileName));
}

// The disk fills during the first write, then frees. The file-size limit stands in for the full
// disk: past it, writes fail as they would with no space left.
TEST_F(SettingsFileTest, ADefaultFileCutShortIsRemovedAndWrittenWholeOnALaterReload) {
  rlimit unlimited{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  const rlimit full{100, unlimited.rlim_max};
  auto* const oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  loadAndStart();
  const bool leftBehind = fileExists();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(leftBehind) << "a cut-off settings file was left behind";

  runFrameAt(5000);
  std::string written;
  ASSERT_TRUE(readFile(&written));
  EXPECT_EQ(written, kDefaultFile);
}

// Permissions stop nothing for root, so as root this thread's file accesses are made as an
// ordinary user for a while (the file-system identity is per thread); an ordinary user running the
// test needs no switch.
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
  ASSERT_EQ(chmod(model::kFileName, 0222), 0);
  ASSERT_EQ(chmod(".", 0777), 0);
  settings = kStarts[0];
  {
    OrdinaryUserFiles user;
    ASSERT_TRUE(user.switched());
    std::FILE* readable = std::fopen(model::kFileName, "rb");
    ASSERT_EQ(readable, nullptr) << "the file can still be read; the test would prove nothing";
    int writable = open(model::kFileName, O_WRONLY);
    ASSERT_GE(writable, 0);
    close(writable);

    loadSettings();
    loadSettings();
  }
  expectSettings(kStarts[0]);
  // Readable again, so that an ordinary user running the test can check the bytes too.
  ASSERT_EQ(chmod(model::kFileName, 0644), 0);
  std::string after;
  ASSERT_TRUE(readFile(&after));
  EXPECT_EQ(after, content);
}

TEST_F(SettingsFileTest, CreatingANewFileFailsOnAnExistingOneAndLeavesItAlone) {
  writeFile("toggle-key=VK_F7\r\n");
  EXPECT_EQ(platformCreateNew(model::kFileName), nullptr);
  std::string after;
  ASSERT_TRUE(readFile(&after));
  EXPECT_EQ(after, "toggle-key=VK_F7\r\n");

  std::filesystem::remove(model::kFileName);
  std::FILE* created = platformCreateNew(model::kFileName);
  ASSERT_NE(created, nullptr);
  std::fclose(created);
  ASSERT_TRUE(readFile(&after));
  EXPECT_EQ(after, "");
}

TEST_F(SettingsFileTest, ASettingsPathThatCannotBeCreatedChangesNothingAndIsTriedOnEveryReload) {
  ASSERT_TRUE(std::filesystem::create_directory(model::kFileName));
  settings = kStarts[0];
  standinSetFrameMs(0);
  standinSetGameTime(100);
  loadAndStart();
  runFrameAt(5100);
  runFrameAt(10100);
  EXPECT_TRUE(reloadedIn(2));
  EXPECT_TRUE(reloadedIn(3));
  expectSettings(kStarts[0]);
  EXPECT_TRUE(std::filesystem::is_directory(model::kFileName));
  EXPECT_EQ(standinWaitCount(), 3);

  // Once the name is free, the next reload creates the file, and the one after reads it.
  ASSERT_TRUE(std::filesystem::remove(model::kFileName));
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
