// The stand-in host's own promises that other tests, the runner and the benchmarks rely on: the
// call log switch, a pass driven from the host's side, and logs that stay bounded.
#include <string>

#include "common/settings.h"
#include "host/entry.h"
#include "protection/protection.h"
#include "protection/toast.h"
#include "tests/plugin_fixture.h"

namespace {

using StandinTest = PluginTest;

TEST_F(StandinTest, WithTheCallLogOffNothingIsLoggedButEverythingIsCounted) {
  loadAndStart();
  standinClearCalls();
  standinSetCallLog(0);
  standinRunFrames(10);
  EXPECT_EQ(standinCallCount(), 0);
  EXPECT_EQ(standinWaitCount(), 11);
  EXPECT_EQ(standinProtectedFrames(standinPlayerPed()), 11);
  // Per frame: game timer, player ped, existence check, the hat flag.
  EXPECT_EQ(standinNativeCallTotal(), 11 * 4);

  // The switch outlives a fresh world; a fresh host turns it back on.
  standinResetWorld();
  standinRunFrames(1);
  EXPECT_EQ(standinCallCount(), 0);
  standinUnloadPlugin();
  standinResetAll();
  load();
  standinRunFrames(1);
  EXPECT_GT(standinCallCount(), 0);

  standinSetCallLog(0);
  standinSetCallLog(1);
  standinClearCalls();
  standinRunFrames(1);
  expectFrameCalls(standinFrameNumber(),
                   {expect::gameTimer(), expect::playerPed(), expect::exists(standinPlayerPed()),
                    expect::protect(standinPlayerPed()), expect::wait0()});
}

// A benchmark calls the pass itself, with no script running: the wait returns at once.
TEST_F(StandinTest, AWaitFromOutsideTheScriptReturnsAtOnce) {
  settings.affectAllPeds = true;
  int32_t ped = standinAddPed(1);
  for (int pass = 1; pass <= 3; ++pass) {
    runPass();
    EXPECT_EQ(standinWaitCount(), pass);
  }
  EXPECT_EQ(standinProtectCount(ped), 3);
  EXPECT_EQ(standinCallsOutsideScript(), standinNativeCallTotal());
  StandinCall last = {};
  ASSERT_EQ(standinCallAt(standinCallCount() - 1, &last), 1);
  EXPECT_EQ(last.kind, kStandinWait);
  EXPECT_EQ(last.inScript, 0);
}

// Player only and the game time standing still (no reloads), every frame makes the same five
// calls, so the numbering can be checked exactly.
TEST_F(StandinTest, TheCallLogKeepsTheLatestCallsAndNumbersThemAll) {
  loadAndStart();
  standinSetFrameMs(0);
  standinClearCalls();
  int32_t player = standinPlayerPed();
  constexpr int32_t kCallsPerFrame = 5;
  constexpr int32_t kFrames = kStandinCallLogCapacity / kCallsPerFrame + 100;
  standinRunFrames(kFrames);
  int32_t count = standinCallCount();
  ASSERT_EQ(count, kFrames * kCallsPerFrame);

  StandinCall call = {};
  EXPECT_EQ(standinCallAt(count - kStandinCallLogCapacity - 1, &call), 0);
  EXPECT_EQ(standinCallAt(count, &call), 0);
  ASSERT_EQ(standinCallAt(count - kStandinCallLogCapacity, &call), 1);
  // Call n of the run is call n % 5 of frame 2 + n / 5.
  int32_t oldest = count - kStandinCallLogCapacity;
  EXPECT_EQ(call.frame, 2 + oldest / kCallsPerFrame);
  ASSERT_EQ(standinCallAt(count - 1, &call), 1);
  EXPECT_EQ(call.kind, kStandinWait);
  EXPECT_EQ(call.frame, standinFrameNumber());
  EXPECT_TRUE(callsInFrame(2).empty());
  expectFrameCalls(standinFrameNumber(),
                   {expect::gameTimer(), expect::playerPed(), expect::exists(player),
                    expect::protect(player), expect::wait0()});

  standinClearCalls();
  EXPECT_EQ(standinCallCount(), 0);
  EXPECT_EQ(standinCallAt(0, &call), 0);
}

// Far more notices than are kept (and so far more text handles): the latest still read whole.
TEST_F(StandinTest, TheNoticeLogKeepsTheLatestNoticesWithTheirTexts) {
  constexpr int32_t kPosted = kStandinNoticeLogCapacity + 300;
  for (int32_t i = 0; i < kPosted; ++i) {
    std::string message = "notice " + std::to_string(i);
    EXPECT_EQ(showToggleToast(message.c_str()), i + 1);
  }
  ASSERT_EQ(standinNoticeCount(), kPosted);
  StandinNotice notice = {};
  EXPECT_EQ(standinNoticeAt(kPosted - kStandinNoticeLogCapacity - 1, &notice), 0);
  for (int32_t i : {kPosted - kStandinNoticeLogCapacity, kPosted - 2, kPosted - 1}) {
    ASSERT_EQ(standinNoticeAt(i, &notice), 1) << i;
    EXPECT_STREQ(notice.message, ("notice " + std::to_string(i)).c_str());
    EXPECT_STREQ(notice.title, "Quillmere");
    EXPECT_STREQ(notice.soundSet, "HUD_TOASTS");
  }
  EXPECT_EQ(notices().size(), static_cast<size_t>(kStandinNoticeLogCapacity));

  standinResetWorld();
  EXPECT_EQ(standinNoticeCount(), 0);
  EXPECT_EQ(standinNoticeAt(0, &notice), 0);
}

// A host that loads and unloads a plug-in many times keeps the latest registrations, in order.
TEST_F(StandinTest, TheRegistrationLogKeepsTheLatestEventsInOrder) {
  char module;
  constexpr int32_t kCycles = kStandinHostEventLogCapacity / 4 + 10;
  for (int32_t cycle = 0; cycle < kCycles; ++cycle) {
    DllMain(&module, 1, nullptr);
    DllMain(&module, 0, nullptr);
  }
  int32_t count = standinHostEventCount();
  ASSERT_EQ(count, kCycles * 4);
  StandinHostEvent event = {};
  EXPECT_EQ(standinHostEventAt(count - kStandinHostEventLogCapacity - 1, &event), 0);
  const int32_t kinds[] = {kStandinScriptRegister, kStandinKeyboardRegister,
                           kStandinScriptUnregister, kStandinKeyboardUnregister};
  for (int32_t i = count - kStandinHostEventLogCapacity; i < count; ++i) {
    ASSERT_EQ(standinHostEventAt(i, &event), 1) << i;
    EXPECT_EQ(event.kind, kinds[i % 4]) << i;
  }
  EXPECT_EQ(standinScriptRegistered(), 0);
  EXPECT_EQ(standinKeyboardHandlerCount(), 0);
}

}  // namespace
