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

// True once for a release of `key` recorded less than 100 ms ago; clears the record when true.
bool isKeyJustReleased(uint32_t key);

// The toggle phase of a pass: flips protection, and posts the matching notice, when the toggle key
// has just been released.
void togglePhase();
