// The toggle key: recording keyboard events, the 100 ms release window, the toggle phase of each
// pass, its notice and the protection that follows, and events arriving from other threads.
#include <atomic>
#include <string>
#include <thread>

#include "common/settings.h"
#include "config/settings_file.h"
#include "input/keys.h"
#include "tests/plugin_fixture.h"

namespace {

constexpr uint32_t kF3 = 114;
constexpr uint32_t kF5 = 116;
constexpr const char* kDisabled = "Script has been ~COLOR_RED~disabled~s~";
constexpr const char* kEnabled = "Script has been ~COLOR_GREEN~enabled~s~";

// A key going down and coming up again, as the host reports a tap.
void tap(uint32_t key) {
  standinKeyEvent(key, 0);
  standinKeyEvent(key, 1);
}

// Runs one frame and answers its number.
int32_t runFrame() {
  standinRunFrames(1);
  return standinFrameNumber();
}

struct RecordWords {
  uint32_t stampMs;
  int32_t fifthArg;
  int32_t sixthArg;
  int32_t upFlag;
};

RecordWords record(uint32_t key) {
  const KeyRecord& r = keyTable[key];
  return {r.stampMs.load(), r.fifthArg.load(), r.sixthArg.load(), r.upFlag.load()};
}

class ToggleTest : public PluginTest {
 protected:
  // Any protection work at all in the frame: the player lookup, an existence or dead check, the
  // hat flag, or the ped enumeration.
  static bool protectionWorkIn(int32_t frame) {
    for (const StandinCall& call : callsInFrame(frame)) {
      if (call.kind == kStandinEnumeration ||
          (call.kind == kStandinNative && call.hash != hashes::kGetGameTimer &&
           call.hash != hashes::kCreateVarString && call.hash != hashes::kGetHashKey &&
           call.hash != hashes::kUiFeedPostSampleToast)) {
        return true;
      }
    }
    return false;
  }
  static bool hatSetIn(int32_t frame) {
    for (const StandinCall& call : callsInFrame(frame)) {
      if (call.kind == kStandinNative && call.hash == hashes::kSetPedConfigFlag) {
        return true;
      }
    }
    return false;
  }
  static int waitsIn(int32_t frame) {
    int waits = 0;
    for (const StandinCall& call : callsInFrame(frame)) {
      waits += call.kind == kStandinWait ? 1 : 0;
    }
    return waits;
  }
  // Notices must alternate disabled, enabled, disabled, ..., one per toggle.
  static void expectAlternatingNotices(const std::vector<StandinNotice>& posted) {
    for (size_t i = 0; i < posted.size(); ++i) {
      EXPECT_STREQ(posted[i].message, i % 2 == 0 ? kDisabled : kEnabled) << "notice " << i;
      EXPECT_STREQ(posted[i].title, "Quillmere") << "notice " << i;
    }
  }
};

TEST_F(ToggleTest, AReleaseTogglesOnceAndProtectionFollowsFromThatSamePass) {
  loadAndStart();
  EXPECT_TRUE(hatSetIn(1));

  tap(kF3);
  int32_t off = runFrame();
  std::vector<StandinNotice> posted = notices();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_STREQ(posted[0].message, kDisabled);
  EXPECT_STREQ(posted[0].title, "Quillmere");
  EXPECT_EQ(posted[0].frame, off);
  EXPECT_FALSE(settings.active);
  EXPECT_FALSE(protectionWorkIn(off));
  EXPECT_EQ(waitsIn(off), 1);

  standinRunFrames(3);
  for (int32_t frame = off + 1; frame <= off + 3; ++frame) {
    EXPECT_FALSE(protectionWorkIn(frame)) << "frame " << frame;
    EXPECT_EQ(waitsIn(frame), 1) << "frame " << frame;
  }
  EXPECT_EQ(notices().size(), 1u);

  tap(kF3);
  int32_t on = runFrame();
  posted = notices();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_STREQ(posted[1].message, kEnabled);
  EXPECT_STREQ(posted[1].title, "Quillmere");
  EXPECT_EQ(posted[1].frame, on);
  EXPECT_TRUE(settings.active);
  EXPECT_TRUE(hatSetIn(on));
  EXPECT_TRUE(hatSetIn(runFrame()));
  EXPECT_EQ(notices().size(), 2u);
}

TEST_F(ToggleTest, HoldingTheKeyDoesNothingUntilItsReleaseWhichTogglesOnce) {
  loadAndStart();
  standinKeyEvent(kF3, 0);
  for (int i = 0; i < 10; ++i) {
    // Auto-repeat while held: down again, was down before.
    standinKeyEventRaw(kF3, 1, 0x3D, 0, 0, 1, 0);
    EXPECT_TRUE(hatSetIn(runFrame()));
  }
  EXPECT_TRUE(notices().empty());

  standinKeyEvent(kF3, 1);
  standinRunFrames(10);
  EXPECT_EQ(notices().size(), 1u);
  EXPECT_FALSE(settings.active);
}

TEST_F(ToggleTest, TwoReleasesInOneFrameCountOnce) {
  loadAndStart();
  tap(kF3);
  tap(kF3);
  standinRunFrames(5);
  EXPECT_EQ(notices().size(), 1u);
  EXPECT_FALSE(settings.active);
}

TEST_F(ToggleTest, ALaterDownEventCancelsAReleaseNotYetSeen) {
  loadAndStart();
  tap(kF3);
  standinKeyEvent(kF3, 0);
  standinRunFrames(3);
  EXPECT_TRUE(notices().empty());
  EXPECT_TRUE(settings.active);

  standinKeyEvent(kF3, 1);
  standinRunFrames(1);
  EXPECT_EQ(notices().size(), 1u);
}

// The window is elapsed tick time since the release was recorded, whatever the frame length.
TEST_F(ToggleTest, AReleaseIsSeenOnlyWithinOneHundredMillisecondsAndAMissIsForGood) {
  struct Row {
    int32_t frameMs;     // added to the tick count as the frame starts
    uint32_t advanceMs;  // added between the release and the frame
    bool toggles;
  };
  const Row rows[] = {
      {0, 0, true},     {0, 99, true},          {0, 100, false},
      {0, 101, false},  {16, 83, true},         {16, 84, false},
      {0, 5000, false}, {0, 0x7FFFFFFF, false}, {0, 0xFFFFFF00, false},
  };
  loadAndStart();
  size_t expected = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "frame " << row.frameMs << " ms, advance " << row.advanceMs);
    standinSetFrameMs(row.frameMs);
    tap(kF3);
    RecordWords released = record(kF3);
    standinAdvanceTickCount(row.advanceMs);
    int32_t frame = runFrame();
    expected += row.toggles ? 1 : 0;
    ASSERT_EQ(notices().size(), expected);
    EXPECT_EQ(settings.active, expected % 2 == 0);
    EXPECT_EQ(hatSetIn(frame), settings.active);
    if (!row.toggles) {
      // Missed: left alone, and never acted on later.
      EXPECT_EQ(record(kF3).stampMs, released.stampMs);
      EXPECT_NE(record(kF3).upFlag, 0);
      standinSetFrameMs(16);
      standinRunFrames(3);
      EXPECT_EQ(notices().size(), expected);
    }
  }
}

// The tick counter wraps every 49.7 days; the window must hold across the wrap both ways.
TEST_F(ToggleTest, TheReleaseWindowHoldsAcrossTheTickCountersWrap) {
  struct Row {
    uint32_t stampMs;
    uint32_t seenAtMs;
    bool toggles;
  };
  const Row rows[] = {
      {0xFFFFFFC0, 0x00000010, true},   // 80 ms, across the wrap
      {0xFFFFFFC0, 0xFFFFFFD0, true},   // 16 ms, before the wrap, though stamp + 100 wraps
      {0xFFFFFFF0, 0x00000053, true},   // 99 ms across the wrap
      {0xFFFFFFF0, 0x00000054, false},  // 100 ms across the wrap
      {0xFFFFFF00, 0x00000010, false},  // 272 ms, stale across the wrap
      {0xFFFFFFA0, 0xFFFFFFF0, true},   // 80 ms, all before the wrap
      {0x80000000, 0x00000010, false},  // half the counter's range ago
  };
  loadAndStart();
  standinSetFrameMs(0);
  size_t expected = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << "stamp " << row.stampMs << " seen at " << row.seenAtMs);
    standinSetTickCount(row.stampMs);
    tap(kF3);
    EXPECT_EQ(record(kF3).stampMs, row.stampMs);
    standinSetTickCount(row.seenAtMs);
    runFrame();
    expected += row.toggles ? 1 : 0;
    EXPECT_EQ(notices().size(), expected);
  }
}

TEST_F(ToggleTest, OtherKeysAndOutOfRangeCodesNeverToggleNorCrash) {
  loadAndStart();
  const uint32_t inRange[] = {0, 1, 113, 115, 116, 254};
  const uint32_t outOfRange[] = {255, 256, 0x10000, 0x80000000, 0xFFFFFFFF};
  for (uint32_t key : inRange) {
    tap(key);
    EXPECT_TRUE(hatSetIn(runFrame())) << key;
    // Recorded by the same rule as the toggle key, and merely not looked at.
    EXPECT_NE(record(key).upFlag, 0) << key;
  }
  for (uint32_t key : outOfRange) {
    tap(key);
    keyEventHandler(key, 1, 0, 1, 1, 1, 1);  // straight in as well, for the sanitizers
    EXPECT_FALSE(isKeyJustReleased(key)) << key;
    EXPECT_TRUE(hatSetIn(runFrame())) << key;
  }
  EXPECT_TRUE(notices().empty());
  EXPECT_TRUE(settings.active);

  // A toggle key that can never be recorded is simply never released.
  for (uint32_t key : outOfRange) {
    settings.toggleKey = key;
    tap(key);
    EXPECT_TRUE(hatSetIn(runFrame())) << key;
  }
  EXPECT_TRUE(notices().empty());
}

TEST_F(ToggleTest, AnotherToggleKeyWorksAndF3NoLongerDoes) {
  loadAndStart();
  settings.toggleKey = kF5;
  tap(kF3);
  standinRunFrames(2);
  EXPECT_TRUE(notices().empty());

  tap(kF5);
  standinRunFrames(1);
  ASSERT_EQ(notices().size(), 1u);
  EXPECT_FALSE(settings.active);
}

TEST_F(ToggleTest, KeybindOffLeavesTheReleaseForAnEnableWithinTheWindow) {
  loadAndStart();
  settings.keybindEnabled = false;
  tap(kF3);
  RecordWords released = record(kF3);
  EXPECT_TRUE(hatSetIn(runFrame()));
  EXPECT_TRUE(notices().empty());
  EXPECT_EQ(record(kF3).stampMs, released.stampMs);
  EXPECT_NE(record(kF3).upFlag, 0);

  settings.keybindEnabled = true;  // 32 ms after the release
  int32_t frame = runFrame();
  ASSERT_EQ(notices().size(), 1u);
  EXPECT_EQ(notices()[0].frame, frame);
  EXPECT_FALSE(protectionWorkIn(frame));
}

TEST_F(ToggleTest, KeybindEnabledByAReloadTogglesInThatSamePass) {
  writeFile("[Keybind]\nenabled=false\n");
  loadAndStart();
  ASSERT_FALSE(settings.keybindEnabled);
  tap(kF3);
  standinRunFrames(1);
  EXPECT_TRUE(notices().empty());

  writeFile("[Keybind]\nenabled=true\n");
  // The next frame brings the game time to the reload point, 32 ms after the release.
  standinSetGameTime(kReloadIntervalMs - 16);
  int32_t frame = runFrame();
  EXPECT_TRUE(settings.keybindEnabled);
  ASSERT_EQ(notices().size(), 1u);
  EXPECT_EQ(notices()[0].frame, frame);
  EXPECT_FALSE(protectionWorkIn(frame));
}

// The up flag is looked at before the clock: a pass with no release recorded asks for no tick
// count, while one with a release, fresh or stale, must.
TEST_F(ToggleTest, OnlyARecordedReleaseMakesAPassReadTheClock) {
  loadAndStart();
  struct Row {
    const char* what;
    void (*events)();
    int64_t readsPerPass;
  };
  const Row rows[] = {
      {"no event", [] {}, 0},
      {"toggle key held down", [] { standinKeyEvent(kF3, 0); }, 0},
      {"another key released", [] { tap(65); }, 0},
      {"keybind off, toggle key released",
       [] {
         settings.keybindEnabled = false;
         tap(kF3);
       },
       0},
      {"toggle key released 100 ms ago",
       [] {
         settings.keybindEnabled = true;
         tap(kF3);
         standinAdvanceTickCount(100);
       },
       1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.events();
    const int64_t before = standinTickCountReads();
    ASSERT_GE(before, 0);
    standinRunFrames(3);
    EXPECT_EQ(standinTickCountReads() - before, 3 * row.readsPerPass);
  }
  EXPECT_TRUE(notices().empty());

  // A fresh release: the one pass that sees it reads the clock once, and clears the record.
  tap(kF3);
  const int64_t before = standinTickCountReads();
  standinRunFrames(3);
  EXPECT_EQ(standinTickCountReads() - before, 1);
  EXPECT_EQ(notices().size(), 1u);
}

TEST_F(ToggleTest, JustReleasedAnswersYesOnceAndThenClearsTheRecord) {
  standinSetTickCount(5000);
  keyEventHandler(kF3, 1, 0x3D, 0, 7, 1, 1);
  EXPECT_TRUE(isKeyJustReleased(kF3));
  RecordWords cleared = record(kF3);
  EXPECT_EQ(cleared.stampMs, 0u);
  EXPECT_EQ(cleared.fifthArg, 0);
  EXPECT_EQ(cleared.sixthArg, 0);
  EXPECT_EQ(cleared.upFlag, 0);
  EXPECT_FALSE(isKeyJustReleased(kF3));

  // Any nonzero up flag is a release.
  for (int32_t up : {-1, 2, INT32_MIN}) {
    keyEventHandler(kF3, 1, 0, 0, 0, 1, up);
    EXPECT_TRUE(isKeyJustReleased(kF3)) << up;
  }

  // A no leaves the record alone: a press, and a stale release.
  keyEventHandler(kF3, 1, 0, 0, 3, 0, 0);
  EXPECT_FALSE(isKeyJustReleased(kF3));
  EXPECT_EQ(record(kF3).stampMs, 5000u);
  EXPECT_EQ(record(kF3).fifthArg, 3);
  keyEventHandler(kF3, 1, 0, 0, 4, 1, 1);
  standinAdvanceTickCount(100);
  EXPECT_FALSE(isKeyJustReleased(kF3));
  EXPECT_EQ(record(kF3).stampMs, 5000u);
  EXPECT_EQ(record(kF3).upFlag, 1);
}

TEST_F(ToggleTest, TheHandlerStoresTheTickCountAndItsLastThreeArgumentsAsPassed) {
  struct Row {
    uint32_t key;
    uint32_t tick;
    uint16_t repeats;
    uint8_t scanCode;
    int32_t isExtended, fifth, sixth, seventh;
  };
  const Row rows[] = {
      {65, 1234, 1, 0x1E, 0, 0, 0, 0},
      {254, 0xFFFFFFFF, 0xFFFF, 0xFF, 1, -7, 12345, 1},
      {0, 0x80000000, 0, 0, -1, INT32_MIN, INT32_MAX, -1},
      {kF3, 42, 3, 0x3D, 1, 1, -1, 0x7FFF0000},
  };
  load();
  for (const Row& row : rows) {
    standinSetTickCount(row.tick);
    standinKeyEventRaw(row.key, row.repeats, row.scanCode, row.isExtended, row.fifth, row.sixth,
                       row.seventh);
    RecordWords stored = record(row.key);
    EXPECT_EQ(stored.stampMs, row.tick) << row.key;
    EXPECT_EQ(stored.fifthArg, row.fifth) << row.key;
    EXPECT_EQ(stored.sixthArg, row.sixth) << row.key;
    EXPECT_EQ(stored.upFlag, row.seventh) << row.key;
  }
}

TEST_F(ToggleTest, TheHandlerIsRegisteredRightAfterTheScriptAndWithdrawnRightAfterIt) {
  load();
  ASSERT_EQ(standinHostEventCount(), 2);
  StandinHostEvent script;
  StandinHostEvent keyboard;
  standinHostEventAt(0, &script);
  standinHostEventAt(1, &keyboard);
  EXPECT_EQ(script.kind, kStandinScriptRegister);
  EXPECT_EQ(keyboard.kind, kStandinKeyboardRegister);
  EXPECT_EQ(keyboard.function, reinterpret_cast<void*>(&keyEventHandler));
  standinKeyEvent(65, 1);
  EXPECT_NE(record(65).upFlag, 0);

  standinUnloadPlugin();
  ASSERT_EQ(standinHostEventCount(), 4);
  StandinHostEvent unscript;
  StandinHostEvent unkeyboard;
  standinHostEventAt(2, &unscript);
  standinHostEventAt(3, &unkeyboard);
  EXPECT_EQ(unscript.kind, kStandinScriptUnregister);
  EXPECT_EQ(unscript.module, script.module);
  EXPECT_EQ(unkeyboard.kind, kStandinKeyboardUnregister);
  EXPECT_EQ(unkeyboard.function, keyboard.function);
  EXPECT_EQ(standinKeyboardHandlerCount(), 0);
  standinKeyEvent(66, 1);
  EXPECT_EQ(record(66).upFlag, 0);
}

// ---- Events from other threads while passes run -------------------------------------------------

TEST_F(ToggleTest, NonToggleEventsFromTheWindowThreadNeverToggleWhilePassesRun) {
  loadAndStart();
  const uint32_t outOfRange[] = {255, 256, 0xFFFFFFFF};
  for (uint32_t i = 0; i < 300; ++i) {
    for (uint32_t j = 0; j < 8; ++j) {
      uint32_t key = (i * 8 + j) % kKeyCodeLimit;
      if (key == kF3) {
        standinPostKeyEvent(kF3, 0);  // the toggle key only ever goes down
      } else {
        standinPostKeyEvent(key, static_cast<int32_t>(j % 2));
      }
    }
    standinPostKeyEvent(outOfRange[i % 3], 1);
    standinRunFrames(1);  // while the window thread is still delivering
  }
  standinFlushKeyEvents();
  standinRunFrames(1);

  EXPECT_TRUE(notices().empty());
  EXPECT_TRUE(settings.active);
  EXPECT_EQ(standinProtectedFrames(standinPlayerPed()), standinFrameNumber());
  EXPECT_NE(record(kF3).stampMs, 0u);  // the presses did arrive
  EXPECT_EQ(record(kF3).upFlag, 0);
}

TEST_F(ToggleTest, EachSeparatedReleaseFromTheWindowThreadTogglesExactlyOnce) {
  constexpr int kReleases = 40;
  loadAndStart();
  for (int i = 0; i < kReleases; ++i) {
    standinPostKeyEvent(kF3, 0);
    standinPostKeyEvent(kF3, 1);
    standinPostKeyEvent(65, 1);
    standinFlushKeyEvents();
    int32_t frame = runFrame();
    ASSERT_EQ(notices().size(), static_cast<size_t>(i + 1));
    EXPECT_EQ(notices().back().frame, frame);
    EXPECT_EQ(hatSetIn(frame), settings.active);
  }
  expectAlternatingNotices(notices());
  EXPECT_TRUE(settings.active);
}

// Presses and releases of the toggle key racing the passes: however they interleave, every toggle
// posts its notice in its pass, and each pass protects exactly when protection is on after it.
TEST_F(ToggleTest, TogglesRacingThePassesKeepNoticesAndProtectionInStep) {
  loadAndStart();
  std::atomic<bool> stop{false};
  std::atomic<int64_t> sent{0};
  std::thread typist([&] {
    for (uint32_t i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      uint32_t key = i % 4 == 3 ? 65 + i % 26 : kF3;
      standinKeyEvent(key, static_cast<int32_t>(i % 2));
      sent.fetch_add(1, std::memory_order_relaxed);
      if (i % 64 == 0) {
        std::this_thread::yield();
      }
    }
  });
  // On a busy machine the typist may not run at all during 300 quick frames: let it start first.
  while (sent.load(std::memory_order_relaxed) == 0) {
    std::this_thread::yield();
  }
  standinRunFrames(300);
  stop.store(true);
  typist.join();
  EXPECT_GT(sent.load(), 0);

  std::vector<StandinNotice> posted = notices();
  expectAlternatingNotices(posted);
  bool active = true;
  int64_t activeFrames = 0;
  size_t next = 0;
  for (int32_t frame = 1; frame <= standinFrameNumber(); ++frame) {
    if (next < posted.size() && posted[next].frame == frame) {
      active = !active;
      ++next;
    }
    ASSERT_TRUE(next == posted.size() || posted[next].frame != frame)
        << "two notices in frame " << frame;
    EXPECT_EQ(hatSetIn(frame), active) << "frame " << frame;
    activeFrames += active ? 1 : 0;
  }
  EXPECT_EQ(next, posted.size());
  EXPECT_EQ(settings.active, active);
  EXPECT_EQ(standinProtectedFrames(standinPlayerPed()), activeFrames);
}

}  // namespace
