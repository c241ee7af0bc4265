// The protection loop and its per-frame pass.
//
// Nothing about peds is remembered between passes: the game forgets the flag on its own, so the
// same calls are made again every frame for whoever is to be protected now.
#include "protection/protection.h"

#include "common/settings.h"
#include "config/settings_file.h"
#include "host/host_ops.h"
#include "host/natives.h"
#include "input/keys.h"

void protectPed(int32_t ped) {
  invokeNative(native::kSetPedResetFlag, ped, kKeepHatOnFlag, 1);
}

namespace {

void protectPlayer() {
  // A dead player keeps the hat too: no dead-or-dying check in this mode.
  int32_t player = invokeNative32(native::kPlayerPedId);
  if (invokeNative32(native::kDoesEntityExist, player) != 0) {
    protectPed(player);
  }
}

void protectLivingPeds() {
  // Zeroed so that a host answering more handles than it wrote leaves only handle 0 behind, which
  // names no ped.
  int32_t peds[kPedBufferCapacity] = {};
  int32_t count = worldGetAllPeds(peds, kPedBufferCapacity);
  if (count > kPedBufferCapacity) {
    count = kPedBufferCapacity;  // never read past the buffer, whatever the host answers
  }
  for (int32_t i = 0; i < count; ++i) {
    if (invokeNative32(native::kDoesEntityExist, peds[i]) != 0 &&
        invokeNative32(native::kIsPedDeadOrDying, peds[i], 1) == 0) {
      protectPed(peds[i]);
    }
  }
}

}  // namespace

void protectionPass() {
  if (settings.affectAllPeds) {
    protectLivingPeds();
  } else {
    protectPlayer();
  }
}

void runPass() {
  reloadPhase();
  togglePhase();
  // Read after the toggle phase, so a toggle applies to this very pass.
  if (settings.active) {
    protectionPass();
  }
  scriptWait(0);
}

void runProtectionLoop() {
  loadSettings();
  for (;;) {
    runPass();
  }
}
