// End-to-end checks of the shipped plug-in under Wine: what the loader hands the host, the notice
// records slot by slot, the settings file's first read and the files it cannot read, and
// (load_cycles.cpp) the plug-in loaded and unloaded a hundred times.
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

int gameTimerReads() {
  int reads = 0;
  for (int32_t i = 0; i < standinCallCount(); ++i) {
    StandinCall call = {};
    standinCallAt(i, &call);
    reads += call.kind == kStandinNative && call.hash == hashes::kGetGameTimer ? 1 : 0;
  }
  return reads;
}

// The first frame of a freshly loaded plug-in, with the settings file held open by an editor (write
// access, every kind of sharing): the file is read all the same, since the plug-in denies no other
// opener. The last reload stands at game time 0 when the DLL is loaded: a first frame below 5000 ms
// reads the game timer once, for the reload phase's test, and one at 5000 reloads at once.
void firstRead(const char* plugin) {
  writeSettingsFile("affect-all-peds=true\r\n");
  HANDLE editor = CreateFileA(model::kFileName, GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(editor != INVALID_HANDLE_VALUE);
  for (int32_t start : {0, 5000 - 16}) {
    standinResetWorld();
    standinSetGameTime(start);
    int32_t walker = standinAddPed(1);
    CHECK(standinLoadPlugin(plugin) == 1);
    standinRunFrames(1);
    CHECK(standinProtectedFrames(walker) == 1);
    CHECK(gameTimerReads() == (start == 0 ? 1 : 2));
    standinUnloadPlugin();
  }
  CloseHandle(editor);
}

// A settings file the plug-in cannot read: held open by another program with no sharing, then
// shared for writing only (reading fails, while an open that empties it would not), then a
// directory in its place. The plug-in keeps the settings it has, never empties, rewrites or creates
// over the file, and reads it once it can.
void unreadable(const char* plugin) {
  const std::string text = "toggle-key=VK_F5\r\naffect-all-peds=true\r\n";
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_WRITE}}) {
    writeSettingsFile(text.c_str());
    HANDLE holder = CreateFileA(model::kFileName, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(holder != INVALID_HANDLE_VALUE);
    standinResetWorld();
    int32_t walker = standinAddPed(1);
    CHECK(standinLoadPlugin(plugin) == 1);
    standinRunFrames(kReloadFrames + 5);  // the load at start, and one reload
    CHECK(standinProtectedFrames(walker) == 0);
    CloseHandle(holder);
    CHECK(settingsFileText() == text);
    standinRunFrames(kReloadFrames);
    CHECK(standinProtectedFrames(walker) > 0);
    tapKey(kF5);
    standinRunFrames(1);
    CHECK(standinNoticeCount() == 1);
    standinUnloadPlugin();
  }
  DeleteFileA(model::kFileName);
  CHECK(CreateDirectoryA(model::kFileName, nullptr) != 0);
  standinResetWorld();
  CHECK(standinLoadPlugin(plugin) == 1);
  standinRunFrames(kReloadFrames + 5);
  CHECK(standinProtectedFrames(standinPlayerPed()) == kReloadFrames + 5);
  CHECK((GetFileAttributesA(model::kFileName) & FILE_ATTRIBUTE_DIRECTORY) != 0);
  // Once the name is free, the next reload creates the file with the default content.
  CHECK(RemoveDirectoryA(model::kFileName) != 0);
  standinRunFrames(kReloadFrames);
  CHECK(settingsFileText() == model::kDefaultFile);
  standinUnloadPlugin();
}

}  // namespace

// Wide, so that the plug-in's path reaches the loader as given, in any language: the ANSI
// arguments hold only what the prefix's code page can spell.
int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs(
        "usage: quillmere-wine-checks attach_detach|notice_records|first_read|unreadable|"
        "load_cycles PLUGIN\n",
        stderr);
    return 2;
  }
  const std::string check = utf8(argv[1]);
  const std::string path = utf8(argv[2]);
  const char* plugin = path.c_str();
  // The directory is the check's own; a settings file left by an earlier run would mislead it.
  DeleteFileA(model::kFileName);
  if (check == "attach_detach") {
    attachDetach(plugin);
  } else if (check == "notice_records") {
    noticeRecords(plugin);
  } else if (check == "first_read") {
    firstRead(plugin);
  } else if (check == "unreadable") {
    unreadable(plugin);
  } else if (check == "load_cycles") {
    loadCycles(plugin);
  } else {
    std::fprintf(stderr, "unknown check %s\n", check.c_str());
    return 2;
  }
  std::printf("%s: %s\n", check.c_str(), failures == 0 ? "passed" : "FAILED");
  return failures == 0 ? 0 : 1;
}
