// The toggle key's phase of each pass: the 100 ms release window, the toggle, its notice and the
// protection that follows, the keybind switch and the clock reads.
#include <string>

#include "common/settings.h"
#include "input/keys.h"
#include "tests/plugin_fixture.h"
#include "tests/settings_model.h"
#include "tests/toggle_cases.h"

using namespace toggle_cases;

namespace {

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
  standinSetGameTime(model::kReloadIntervalMs - 16);
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

}  // namespace
