// End-to-end checks of the shipped plug-in under Wine that a scenario cannot express: what the
// loader hands the host, the notice records slot by slot, the settings file's first read, a long
// soak with memory watched, and (load_cycles.cpp) the plug-in loaded and unloaded a hundred times.
// Usage: quillmere-wine-checks CHECK PLUGIN, run in a directory of the check's own.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tests/wine/wine_check.h"

namespace {

// Attach and detach through the real loader: the registrations in order, under the module handle
// the loader gave the plug-in, and nothing else done at attach or detach.
void attachDetach(const char* plugin) {
  standinResetWorld();
  CHECK(standinLoadPlugin(plugin) == 1);
  HMODULE module = GetModuleHandleA("Quillmere.asi");
  CHECK(module != nullptr);
  CHECK(standinHostEventCount() == 2);
  StandinHostEvent script = hostEvent(0);
  StandinHostEvent keyboard = hostEvent(1);
  CHECK(script.kind == kStandinScriptRegister);
  CHECK(script.module == module);
  CHECK(insideImage(module, script.function));
  CHECK(keyboard.kind == kStandinKeyboardRegister);
  CHECK(insideImage(module, keyboard.function));

  // Thread attach and detach notifications change nothing.
  std::thread([] {}).join();
  CHECK(standinHostEventCount() == 2);

  standinUnloadPlugin();
  CHECK(standinHostEventCount() == 4);
  CHECK(hostEvent(2).kind == kStandinScriptUnregister);
  CHECK(hostEvent(2).module == module);
  CHECK(hostEvent(3).kind == kStandinKeyboardUnregister);
  CHECK(hostEvent(3).function == keyboard.function);
  CHECK(GetModuleHandleA("Quillmere.asi") == nullptr);
  // The script never ran: no native call, and so no settings file.
  CHECK(standinNativeCallTotal() == 0);
  CHECK(!settingsFileExists());

  // Unloaded while its script waits in its fiber, then loaded again: the script starts afresh.
  for (int round = 0; round < 2; ++round) {
    standinResetWorld();
    CHECK(standinLoadPlugin(plugin) == 1);
    standinRunFrames(3);
    CHECK(standinWaitCount() == 3);
    CHECK(standinProtectedFrames(standinPlayerPed()) == 3);
    CHECK(standinCallsOutsideScript() == 0);
    CHECK(settingsFileExists());
    int32_t before = standinHostEventCount();
    standinUnloadPlugin();
    CHECK(standinHostEventCount() == before + 2);
    CHECK(standinScriptRegistered() == 0);
    CHECK(standinKeyboardHandlerCount() == 0);
  }
}

void checkNotice(int32_t index, const char* message) {
  StandinNotice notice = {};
  CHECK(standinNoticeAt(index, &notice) == 1);
  CHECK(std::strcmp(notice.title, "Quillmere") == 0);
  CHECK(std::strcmp(notice.message, message) == 0);
  CHECK(notice.options[0] == 3000);
  CHECK(std::strcmp(notice.soundSet, "HUD_TOASTS") == 0);
  CHECK(std::strcmp(notice.soundName, "Toast_On") == 0);
  for (int slot = 3; slot < 13; ++slot) {
    CHECK(notice.options[slot] == 0);
  }
  CHECK(notice.content[0] == 0);
  CHECK(notice.content[3] == 0);
  // Hashes stand zero-extended in their slots.
  CHECK(notice.content[4] == standinNameHash("menu_textures"));
  CHECK(notice.content[5] == standinNameHash("menu_icon_holster"));
  CHECK(notice.content[6] == standinNameHash("COLOR_WHITE"));
  CHECK(notice.extraArgs[0] == 1);
  CHECK(notice.extraArgs[1] == 1);
}

// A real key release from the window thread toggles protection, and each toggle posts one notice
// whose two records hold exactly what the game reads.
void noticeRecords(const char* plugin) {
  standinResetWorld();
  CHECK(standinLoadPlugin(plugin) == 1);
  int32_t player = standinPlayerPed();
  standinRunFrames(1);
  tapKey(kF3);
  standinRunFrames(1);
  CHECK(standinNoticeCount() == 1);
  checkNotice(0, "Script has been ~COLOR_RED~disabled~s~");
  // Off from the very frame of the toggle.
  CHECK(standinProtectedFrames(player) == 1);

  tapKey(kF3);
  standinRunFrames(1);
  CHECK(standinNoticeCount() == 2);
  checkNotice(1, "Script has been ~COLOR_GREEN~enabled~s~");
  CHECK(standinProtectedFrames(player) == 2);
  standinUnloadPlugin();
}

// The first frame of a freshly loaded plug-in, with the settings file held open by an editor (write
// access, every kind of sharing): the file is read all the same, since the plug-in denies no other
// opener; and with the last reload at game time 0, a first frame below 5000 ms reads the game timer
// once, for the reload phase's test, and does not load again.
void firstRead(const char* plugin) {
  writeSettingsFile("affect-all-peds=true\r\n");
  HANDLE editor = CreateFileA(model::kFileName, GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(editor != INVALID_HANDLE_VALUE);
  standinResetWorld();
  int32_t walker = standinAddPed(1);
  CHECK(standinLoadPlugin(plugin) == 1);
  standinRunFrames(1);
  CHECK(standinGameTime() < 5000);
  CHECK(standinProtectedFrames(walker) == 1);
  int timerReads = 0;
  for (int32_t i = 0; i < standinCallCount(); ++i) {
    StandinCall call = {};
    standinCallAt(i, &call);
    timerReads += call.kind == kStandinNative && call.hash == hashes::kGetGameTimer ? 1 : 0;
  }
  CHECK(timerReads == 1);
  CloseHandle(editor);
  standinUnloadPlugin();
}

// 100,000 frames over 256 peds in the all-peds mode, keys arriving from the window thread while
// the frames run: nothing crashes, every pass waits once, and memory stays flat.
void soak(const char* plugin) {
  constexpr int32_t kFrames = 100000;
  constexpr int32_t kBatch = 50;  // frames between clearing the host's call log
  constexpr int32_t kMeasureFrom = 10000;
  constexpr SIZE_T kAllowedGrowth = 4u << 20;  // what the host itself records is far less

  writeSettingsFile("affect-all-peds=true\r\n");
  standinResetWorld();
  int32_t peds[256] = {standinPlayerPed()};
  for (int32_t i = 1; i < 256; ++i) {
    peds[i] = standinAddPed(i % 16 == 0 ? 0 : 1);
  }
  CHECK(standinLoadPlugin(plugin) == 1);

  SIZE_T early = 0;
  for (int32_t frame = 0; frame < kFrames; frame += kBatch) {
    if (frame == kMeasureFrom) {
      early = committedBytes();
    }
    if (frame % 1000 == 0) {
      standinPostKeyEvent(kF3, 0);
      standinPostKeyEvent(kF3, 1);
    }
    standinPostKeyEvent(300, 1);  // beyond the key table
    standinPostKeyEvent(65, 1);
    standinRunFrames(kBatch);
    standinClearCalls();
  }
  standinFlushKeyEvents();
  SIZE_T late = committedBytes();
  std::printf("committed bytes after %d frames: %zu, after %d: %zu\n", kMeasureFrom, early, kFrames,
              late);
  CHECK(late < early + kAllowedGrowth);

  CHECK(standinFrameNumber() == kFrames);
  CHECK(standinWaitCount() == kFrames);
  CHECK(standinCallsOutsideScript() == 0);
  // Living peds were protected on the same frames as the player, dead ones never.
  int64_t playerFrames = standinProtectedFrames(peds[0]);
  CHECK(playerFrames > 0);
  for (int32_t i = 1; i < 256; ++i) {
    CHECK(standinProtectedFrames(peds[i]) == (i % 16 == 0 ? 0 : playerFrames));
  }
  // Toggles alternate, whatever number of them landed within their 100 ms.
  for (int32_t i = 0; i < standinNoticeCount(); ++i) {
    StandinNotice notice = {};
    standinNoticeAt(i, &notice);
    CHECK(std::strstr(notice.message, i % 2 == 0 ? "disabled" : "enabled") != nullptr);
  }
  std::printf("%d toggles landed\n", standinNoticeCount());
  standinUnloadPlugin();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs(
        "usage: quillmere-wine-checks attach_detach|notice_records|first_read|soak|load_cycles "
        "PLUGIN\n",
        stderr);
    return 2;
  }
  // The directory is the check's own; a settings file left by an earlier run would mislead it.
  DeleteFileA(model::kFileName);
  std::string check = argv[1];
  if (check == "attach_detach") {
    attachDetach(argv[2]);
  } else if (check == "notice_records") {
    noticeRecords(argv[2]);
  } else if (check == "first_read") {
    firstRead(argv[2]);
  } else if (check == "soak") {
    soak(argv[2]);
  } else if (check == "load_cycles") {
    loadCycles(argv[2]);
  } else {
    std::fprintf(stderr, "unknown check %s\n", argv[1]);
    return 2;
  }
  std::printf("%s: %s\n", argv[1], failures == 0 ? "passed" : "FAILED");
  return failures == 0 ? 0 : 1;
}
