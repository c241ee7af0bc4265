// The protection pass as the game sees it: the exact natives of each frame, in order.
#include <vector>

#include "common/settings.h"
#include "tests/plugin_fixture.h"

namespace {

using namespace expect;

class ProtectionTest : public PluginTest {
 protected:
  // All peds mode, chosen the way a player does: in the settings file.
  void startAllPeds() {
    writeFile("affect-all-peds=true\r\n");
    loadAndStart();
    ASSERT_TRUE(settings.affectAllPeds);
  }
};

TEST_F(ProtectionTest, PlayerOnlyPassProtectsThePlayerEveryFrame) {
  int32_t player = standinPlayerPed();
  loadAndStart();
  standinRunFrames(2);
  for (int32_t frame = 1; frame <= 3; ++frame) {
    expectFrameCalls(frame, {gameTimer(), playerPed(), exists(player), protect(player), wait0()});
  }
  EXPECT_EQ(standinProtectCount(player), 3);
}

TEST_F(ProtectionTest, PlayerOnlyPassSkipsAPlayerPedThatDoesNotExist) {
  int32_t player = standinPlayerPed();
  standinSetPedExists(player, 0);
  loadAndStart();
  expectFrameCalls(1, {gameTimer(), playerPed(), exists(player), wait0()});
}

TEST_F(ProtectionTest, PlayerOnlyPassProtectsADeadPlayerWithoutADeadCheck) {
  int32_t player = standinPlayerPed();
  standinSetPedDead(player, 1);
  loadAndStart();
  expectFrameCalls(1, {gameTimer(), playerPed(), exists(player), protect(player), wait0()});
}

TEST_F(ProtectionTest, PedHandlesTravelZeroExtended) {
  // A handle with its top bit set must arrive as 0x00000000FFFFFFxx, not sign-extended.
  standinAddPedWithHandle(-2, 1);
  standinSetPlayerPed(-2);
  loadAndStart();
  expectFrameCalls(1, {gameTimer(), playerPed(), exists(-2), protect(-2), wait0()});
}

TEST_F(ProtectionTest, AllPedsPassProtectsLivingPedsInBufferOrder) {
  int32_t player = standinPlayerPed();
  int32_t alive = standinAddPed(1);
  int32_t dead = standinAddPed(0);
  int32_t stale = standinAddPed(1);
  standinSetPedExists(stale, 0);
  int32_t negative = standinAddPedWithHandle(-7, 1);
  startAllPeds();
  expectFrameCalls(
      1, {gameTimer(), enumeration(), exists(player), deadCheck(player), protect(player),
          exists(alive), deadCheck(alive), protect(alive), exists(dead), deadCheck(dead),
          exists(stale), exists(negative), deadCheck(negative), protect(negative), wait0()});
}

TEST_F(ProtectionTest, AllPedsPassSkipsADeadPlayer) {
  int32_t player = standinPlayerPed();
  standinSetPedDead(player, 1);
  startAllPeds();
  standinRunFrames(5);
  EXPECT_EQ(standinProtectCount(player), 0);
}

TEST_F(ProtectionTest, AllPedsPassTakesNoMoreThanTheBufferHolds) {
  std::vector<int32_t> peds;
  for (int i = 0; i < 299; ++i) {
    peds.push_back(standinAddPed(1));
  }
  startAllPeds();
  // The player and the first 255 added fill the 256 places; the rest wait for a later frame.
  EXPECT_EQ(standinProtectCount(standinPlayerPed()), 1);
  EXPECT_EQ(standinProtectCount(peds[254]), 1);
  EXPECT_EQ(standinProtectCount(peds[255]), 0);
  EXPECT_EQ(standinProtectCount(peds[298]), 0);
  std::vector<StandinCall> calls = callsInFrame(1);
  EXPECT_EQ(calls.size(), 2u + 3u * 256u + 1u);
}

TEST_F(ProtectionTest, AHostThatOverstatesTheCountCannotMakeThePassReadPastItsBuffer) {
  int32_t ped = standinAddPed(1);
  standinOverstatePedCount(1000);  // answers 1002 having written 2
  startAllPeds();
  size_t existenceChecks = 0;
  for (const StandinCall& call : callsInFrame(1)) {
    if (call.kind == kStandinNative && call.hash == hashes::kDoesEntityExist) {
      ++existenceChecks;
      if (existenceChecks > 2) {
        // Places the host never wrote hold no ped.
        EXPECT_EQ(call.args[0], 0u);
      }
    }
  }
  EXPECT_EQ(existenceChecks, 256u);
  EXPECT_EQ(standinProtectCount(ped), 1);
  EXPECT_EQ(standinProtectCount(standinPlayerPed()), 1);
}

TEST_F(ProtectionTest, AnEnumerationOfZeroOrLessMakesNoCalls) {
  for (int32_t overstate : {-1, -1000}) {
    SCOPED_TRACE(overstate);
    standinOverstatePedCount(overstate - standinPedCount());
    standinClearCalls();
    if (!standinScriptRegistered()) {
      startAllPeds();
    } else {
      standinRunFrames(1);
    }
    expectFrameCalls(standinFrameNumber(), {gameTimer(), enumeration(), wait0()});
  }
}

TEST_F(ProtectionTest, InactiveProtectionMakesNoPedCallsButStillWaitsOncePerPass) {
  settings.active = false;
  standinAddPed(1);
  loadAndStart();
  standinRunFrames(3);
  for (int32_t frame = 1; frame <= 4; ++frame) {
    expectFrameCalls(frame, {gameTimer(), wait0()});
  }
  settings.affectAllPeds = true;
  standinRunFrames(1);
  expectFrameCalls(5, {gameTimer(), wait0()});
}

TEST_F(ProtectionTest, EveryPassWaitsExactlyOnce) {
  for (int i = 0; i < 40; ++i) {
    standinAddPed(i % 3 != 0);
  }
  startAllPeds();
  standinRunFrames(199);
  EXPECT_EQ(standinFrameNumber(), 200);
  EXPECT_EQ(standinWaitCount(), 200);
  EXPECT_EQ(standinProtectedFrames(standinPlayerPed()), 200);
  EXPECT_EQ(standinCallsOutsideScript(), 0);
}

}  // namespace
