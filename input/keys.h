// The key-state table fed by the host's keyboard events, and the toggle phase of each pass.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/settings.h"

// A key release counts as "just released" for this long after it was recorded.
constexpr uint32_t kReleaseWindowMs = 100;

// The latest event seen for one key. Written by the host's window thread and read (and cleared)
// by the script, without a lock: each word is read and written whole, nothing more is relied on.
struct KeyRecord {
  std::atomic<uint32_t> stampMs;  // tick count when the event was recorded
  std::atomic<int32_t> fifthArg;  // stored as passed, never read
  std::atomic<int32_t> sixthArg;  // stored as passed, never read
  std::atomic<int32_t> upFlag;    // nonzero: the event reported the key going up
};

static_assert(sizeof(KeyRecord) == 16, "a key record is four 32-bit words");

// One record per virtual-key code 0 to 254, all zero until a key's first event.
extern KeyRecord keyTable[kKeyCodeLimit];

// The keyboard handler registered with the host: records the event for `key`, drops codes of 255
// and above.
void keyEventHandler(uint32_t key, uint16_t repeats, uint8_t scanCode, int32_t isExtended,
                     int32_t isWithAlt, int32_t wasDownBefore, int32_t isUpNow);

// The rest of isKeyJustReleased once the record's up flag is seen set: whether the release was
// recorded less than 100 ms ago, by the tick count; clears the record when it was.
[[gnu::cold]] bool isReleaseFresh(KeyRecord& record);

// True once for a release of `key` recorded less than 100 ms ago; clears the record when true.
// Inline, as is the toggle phase: every pass runs this much, and with no release recorded it is a
// few loads; the clock and everything after it are out of line.
inline bool isKeyJustReleased(uint32_t key) {
  if (key >= kKeyCodeLimit) {
    return false;
  }
  // The up flag first: nearly every pass finds no release, and then reads nothing more, the clock
  // least of all.
  KeyRecord& record = keyTable[key];
  return record.upFlag.load(std::memory_order_relaxed) != 0 && isReleaseFresh(record);
}

// Flips protection and posts the matching notice.
[[gnu::cold]] void toggleProtection();

// The toggle phase of a pass: flips protection when the toggle key has just been released.
inline void togglePhase() {
  if (settings.keybindEnabled && isKeyJustReleased(settings.toggleKey)) {
    toggleProtection();
  }
}
