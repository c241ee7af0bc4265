// Keyboard events, the "just released" test and the toggle phase.
#include "input/keys.h"

#include "common/platform.h"
#include "protection/toast.h"

// Zero-initialised at load time: no key has an event yet.
KeyRecord keyTable[kKeyCodeLimit];

void keyEventHandler(uint32_t key, uint16_t /*repeats*/, uint8_t /*scanCode*/,
                     int32_t /*isExtended*/, int32_t isWithAlt, int32_t wasDownBefore,
                     int32_t isUpNow) {
  if (key >= kKeyCodeLimit) {
    return;
  }
  // Every event overwrites the record, so a press after an unseen release cancels that release.
  KeyRecord& record = keyTable[key];
  record.stampMs.store(platformTickCount(), std::memory_order_relaxed);
  record.fifthArg.store(isWithAlt, std::memory_order_relaxed);
  record.sixthArg.store(wasDownBefore, std::memory_order_relaxed);
  record.upFlag.store(isUpNow, std::memory_order_relaxed);
}

bool isKeyJustReleased(uint32_t key) {
  if (key >= kKeyCodeLimit) {
    return false;
  }
  KeyRecord& record = keyTable[key];
  // The up flag before the clock: a pass with no release recorded reads no clock.
  if (record.upFlag.load(std::memory_order_relaxed) == 0) {
    return false;
  }
  // The stamp before the clock, so a fresh event cannot look as if it came from the future; the
  // elapsed time in wrapping arithmetic, so the window holds across the tick counter's wrap.
  const uint32_t stampMs = record.stampMs.load(std::memory_order_relaxed);
  if (platformTickCount() - stampMs >= kReleaseWindowMs) {
    return false;
  }
  // Cleared so that one release is reported once.
  record.stampMs.store(0, std::memory_order_relaxed);
  record.fifthArg.store(0, std::memory_order_relaxed);
  record.sixthArg.store(0, std::memory_order_relaxed);
  record.upFlag.store(0, std::memory_order_relaxed);
  return true;
}

void togglePhase() {
  if (settings.keybindEnabled && isKeyJustReleased(settings.toggleKey)) {
    settings.active = !settings.active;
    showToggleToast(settings.active ? kEnabledMessage : kDisabledMessage);
  }
}
