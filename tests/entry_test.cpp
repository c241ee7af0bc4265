// Loading and unloading the plug-in: what its entry point does, and what it must not do.
#include "host/entry.h"
#include "tests/plugin_fixture.h"

namespace {

constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;
constexpr uint32_t kThreadAttach = 2;
constexpr uint32_t kThreadDetach = 3;

std::vector<StandinHostEvent> hostEvents() {
  std::vector<StandinHostEvent> events(static_cast<size_t>(standinHostEventCount()));
  for (size_t i = 0; i < events.size(); ++i) {
    standinHostEventAt(static_cast<int32_t>(i), &events[i]);
  }
  return events;
}

using EntryTest = PluginTest;

TEST_F(EntryTest, AttachRegistersTheScriptThenTheKeyboardHandlerAndDoesNothingElse) {
  char module;
  EXPECT_EQ(DllMain(&module, kProcessAttach, nullptr), 1);
  std::vector<StandinHostEvent> events = hostEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, kStandinScriptRegister);
  EXPECT_EQ(events[0].module, &module);
  EXPECT_NE(events[0].function, nullptr);
  EXPECT_EQ(events[1].kind, kStandinKeyboardRegister);
  EXPECT_NE(events[1].function, nullptr);
  EXPECT_EQ(standinNativeCallTotal(), 0);
  EXPECT_EQ(standinCallCount(), 0);
  EXPECT_FALSE(fileExists());

  EXPECT_EQ(DllMain(&module, kProcessDetach, nullptr), 1);
  events = hostEvents();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[2].kind, kStandinScriptUnregister);
  EXPECT_EQ(events[2].module, &module);
  EXPECT_EQ(events[3].kind, kStandinKeyboardUnregister);
  EXPECT_EQ(events[3].function, events[1].function);
  EXPECT_EQ(standinScriptRegistered(), 0);
  EXPECT_EQ(standinKeyboardHandlerCount(), 0);
  // The script never ran, so the settings file was never looked at.
  EXPECT_FALSE(fileExists());
  EXPECT_EQ(standinNativeCallTotal(), 0);
}

TEST_F(EntryTest, ThreadNotificationsChangeNothing) {
  char module;
  for (uint32_t reason : {kThreadAttach, kThreadDetach, 7u}) {
    EXPECT_EQ(DllMain(&module, reason, nullptr), 1);
  }
  EXPECT_EQ(standinHostEventCount(), 0);
  EXPECT_FALSE(fileExists());
}

TEST_F(EntryTest, TheHostStartsTheScriptOnItsFirstFrameAndDetachStopsIt) {
  load();
  EXPECT_EQ(standinWaitCount(), 0);
  standinRunFrames(1);
  EXPECT_EQ(standinWaitCount(), 1);
  EXPECT_TRUE(fileExists());  // the first load created the defaults
  standinUnloadPlugin();
  standinRunFrames(3);
  EXPECT_EQ(standinWaitCount(), 1);
  EXPECT_EQ(standinCallsOutsideScript(), 0);
}

}  // namespace
