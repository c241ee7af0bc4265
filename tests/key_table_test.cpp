// The key-state table and the keyboard handler: what an event stores, what "just released"
// answers and clears, and the handler's registration.
#include "input/keys.h"
#include "tests/plugin_fixture.h"
#include "tests/toggle_cases.h"

using namespace toggle_cases;

namespace {

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

}  // namespace
