// The stand-in host's own promises that other tests, the runner and the benchmarks rely on: the
// call log switch and a pass driven from the host's side.
#include "common/settings.h"
#include "protection/protection.h"
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

}  // namespace
