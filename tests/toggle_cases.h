// What the toggle-key tests share: keys, the two notices, and a fixture that reads a frame's
// calls for protection work.
#pragma once

#include <cstdint>
#include <vector>

#include "input/keys.h"
#include "tests/plugin_fixture.h"

namespace toggle_cases {

inline constexpr uint32_t kF3 = 114;
inline constexpr uint32_t kF5 = 116;
inline constexpr const char* kDisabled = "Script has been ~COLOR_RED~disabled~s~";
inline constexpr const char* kEnabled = "Script has been ~COLOR_GREEN~enabled~s~";

// A key going down and coming up again, as the host reports a tap.
inline void tap(uint32_t key) {
  standinKeyEvent(key, 0);
  standinKeyEvent(key, 1);
}

// Runs one frame and answers its number.
inline int32_t runFrame() {
  standinRunFrames(1);
  return standinFrameNumber();
}

struct RecordWords {
  uint32_t stampMs;
  int32_t fifthArg;
  int32_t sixthArg;
  int32_t upFlag;
};

inline RecordWords record(uint32_t key) {
  const KeyRecord& r = keyTable[key];
  return {r.stampMs.load(), r.fifthArg.load(), r.sixthArg.load(), r.upFlag.load()};
}

class ToggleTest : public PluginTest {
 protected:
  // Any protection work at all in the frame: the player lookup, an existence or dead-or-dying
  // check, the hat flag, or the ped enumeration.
  static bool protectionWorkIn(int32_t frame) {
    for (const StandinCall& call : callsInFrame(frame)) {
      if (call.kind == kStandinEnumeration ||
          (call.kind == kStandinNative && call.hash != hashes::kGetGameTimer &&
           call.hash != hashes::kCreateVarString && call.hash != hashes::kGetHashKey &&
           call.hash != hashes::kUiFeedPostSampleToast)) {
        return true;
      }
    }
    return false;
  }
  static bool hatSetIn(int32_t frame) {
    for (const StandinCall& call : callsInFrame(frame)) {
      if (call.kind == kStandinNative && call.hash == hashes::kSetPedResetFlag) {
        return true;
      }
    }
    return false;
  }
  static int waitsIn(int32_t frame) {
    int waits = 0;
    for (const StandinCall& call : callsInFrame(frame)) {
      waits += call.kind == kStandinWait ? 1 : 0;
    }
    return waits;
  }
  // Notices must alternate disabled, enabled, disabled, ..., one per toggle.
  static void expectAlternatingNotices(const std::vector<StandinNotice>& posted) {
    for (size_t i = 0; i < posted.size(); ++i) {
      EXPECT_STREQ(posted[i].message, i % 2 == 0 ? kDisabled : kEnabled) << "notice " << i;
      EXPECT_STREQ(posted[i].title, "Quillmere") << "notice " << i;
    }
  }
};

}  // namespace toggle_cases
