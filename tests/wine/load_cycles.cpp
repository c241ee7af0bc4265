// The shipped plug-in loaded, run and unloaded a hundred times in one process, as a host that
// reloads scripts does: each cycle registers and unregisters in order under its own module
// handle, reads the settings afresh, and leaves nothing behind.
#include <cstring>

#include "tests/wine/wine_check.h"

namespace {

constexpr int kCycles = 100;
constexpr int kMeasureAfter = 10;  // cycles; the first ones settle the loader and the C runtime
// A cycle that kept its script's fiber would leave about 6 KB behind: this much shows it within a
// dozen cycles, while the loader's own bookkeeping (none was seen here) may still move a little.
constexpr SIZE_T kAllowedGrowth = 64u << 10;

// Even cycles protect every living ped and toggle with F3; odd ones the player alone with F5.
struct CycleSettings {
  const char* text;
  bool allPeds;
  uint32_t toggleKey;
  uint32_t otherKey;
};
constexpr const char* kAllPedsF3 =
    "[Keybind]\r\nenabled=true\r\ntoggle-key=VK_F3\r\naffect-all-peds=true\r\n";
constexpr const char* kPlayerF5 =
    "[Keybind]\r\nenabled=true\r\ntoggle-key=VK_F5\r\naffect-all-peds=false\r\n";
constexpr CycleSettings kSettingsOf[] = {{kAllPedsF3, true, kF3, kF5},
                                         {kPlayerF5, false, kF5, kF3}};

// The registration event at `index`, checked for its kind and module, and made from outside the
// script (from the entry point, on the loader's thread).
StandinHostEvent expectEvent(int32_t index, int32_t kind, void* module) {
  StandinHostEvent event = hostEvent(index);
  CHECK(event.kind == kind);
  CHECK(event.module == module);
  CHECK(event.inScript == 0);
  return event;
}

// One cycle; answers whether it went as it should.
bool runCycle(const char* plugin, int cycle) {
  int failuresBefore = failures;
  const CycleSettings& wanted = kSettingsOf[cycle % 2];
  writeSettingsFile(wanted.text);
  standinResetWorld();
  int32_t player = standinPlayerPed();
  int32_t living = standinAddPed(1);
  int32_t dead = standinAddPed(0);

  int32_t first = standinHostEventCount();
  CHECK(standinLoadPlugin(plugin) == 1);
  HMODULE module = GetModuleHandleA("Quillmere.asi");
  CHECK(module != nullptr);
  CHECK(standinHostEventCount() == first + 2);
  StandinHostEvent script = expectEvent(first, kStandinScriptRegister, module);
  CHECK(insideImage(module, script.function));
  StandinHostEvent keyboard = expectEvent(first + 1, kStandinKeyboardRegister, nullptr);
  CHECK(insideImage(module, keyboard.function));

  // A fresh script with fresh state: protection on, and this cycle's settings, not the last one's.
  standinRunFrames(3);
  CHECK(standinWaitCount() == 3);
  CHECK(standinProtectedFrames(player) == 3);
  CHECK(standinProtectedFrames(living) == (wanted.allPeds ? 3 : 0));
  CHECK(standinProtectedFrames(dead) == 0);
  tapKey(wanted.otherKey);
  standinRunFrames(1);
  CHECK(standinNoticeCount() == 0);
  tapKey(wanted.toggleKey);
  standinRunFrames(1);
  CHECK(standinNoticeCount() == 1);
  StandinNotice notice = {};
  CHECK(standinNoticeAt(0, &notice) == 1);
  CHECK(std::strstr(notice.message, "disabled") != nullptr);
  CHECK(standinProtectedFrames(player) == 4);

  // Unloaded while its script waits in the middle of its loop.
  standinUnloadPlugin();
  CHECK(GetModuleHandleA("Quillmere.asi") == nullptr);
  CHECK(standinHostEventCount() == first + 4);
  expectEvent(first + 2, kStandinScriptUnregister, module);
  CHECK(expectEvent(first + 3, kStandinKeyboardUnregister, nullptr).function == keyboard.function);
  CHECK(standinScriptRegistered() == 0);
  CHECK(standinKeyboardHandlerCount() == 0);

  // Frames go on without it: the script is never resumed, and keys reach no handler.
  int64_t natives = standinNativeCallTotal();
  tapKey(wanted.toggleKey);
  standinRunFrames(2);
  CHECK(standinWaitCount() == 5);
  CHECK(standinNativeCallTotal() == natives);
  CHECK(standinCallsOutsideScript() == 0);
  return failures == failuresBefore;
}

}  // namespace

void loadCycles(const char* plugin) {
  SIZE_T early = 0;
  int passed = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    passed += runCycle(plugin, cycle) ? 1 : 0;
    if (cycle + 1 == kMeasureAfter) {
      early = committedBytes();
    }
  }
  SIZE_T late = committedBytes();
  std::printf("%d of %d load cycles as they should be\n", passed, kCycles);
  std::printf("committed bytes after %d cycles: %zu, after %d: %zu\n", kMeasureAfter, early,
              kCycles, late);
  CHECK(passed == kCycles);
  CHECK(late <= early + kAllowedGrowth);
}
