// The stand-in host's control interface: a small world of peds, the clocks, the frames, the
// keyboard, and what the plug-in did (its registrations, every native call, the notices).
//
// The stand-in implements the host's nine operations (host/host_ops.h) over this world. The same
// sources build natively (linked with the plug-in, for unit tests and benchmarks) and as the
// Windows DLL ScriptHookRDR2.dll (loaded beside the real Quillmere.asi under Wine), where these
// functions are exported under their plain names. Plain C types only, so they cross that DLL
// boundary.
//
// What the stand-in records (registrations, calls, notices) is kept in logs of fixed size, so that
// a host run for hours holds no more than a short run. Each log numbers its entries from 0 at its
// last clear and keeps the latest ones (the capacities below); an entry that has been overwritten
// reads as out of range (the ...At functions answer 0), and the count goes on.
#pragma once

#include <cstdint>

// The natives the game answers, by the hashes the game knows them by. Written here apart from the
// plug-in's own list (host/natives.h), so that a wrong hash there is a native this game does not
// know; the tests and the session runner name natives through these.
namespace hashes {
constexpr uint64_t kGetGameTimer = 0x4F67E8ECA7D3F667;
constexpr uint64_t kPlayerPedId = 0x096275889B8E0EE0;
constexpr uint64_t kDoesEntityExist = 0xD42BD6EB2E0F1677;
constexpr uint64_t kIsPedDeadOrDying = 0x3317DEDB88C95038;  // true once the ped is dying
constexpr uint64_t kSetPedResetFlag = 0xC1E8A365BF3B29F2;   // the flag lasts one frame
constexpr uint64_t kCreateVarString = 0xFA925AC00EB830B9;
constexpr uint64_t kGetHashKey = 0xFD340785ADF8CFB7;
constexpr uint64_t kUiFeedPostSampleToast = 0x26E87218390E6729;
}  // namespace hashes

// Exported by the Windows DLL (the host's own operations by ScriptHookRDR2.def).
#ifdef _WIN32
#define STANDIN_API __declspec(dllexport)
#else
#define STANDIN_API
#endif

// The reset flag that keeps a ped's hat on.
constexpr int32_t kStandinHatFlag = 245;

extern "C" {

// ---- Lifecycle -------------------------------------------------------------------------------

// A fresh world: a living player ped and no other, game time 0, tick count 0 (native build), the
// frame length 16 ms, no call log, no notices. Registrations and a running script are kept.
STANDIN_API void standinResetWorld(void);

// A fresh host as well: stops a running script, forgets every registration and host event.
STANDIN_API void standinResetAll(void);

// Loads the plug-in as the operating system would and calls its entry point with attach. Natively
// the plug-in is linked in and `path` is ignored; on Windows it is loaded with LoadLibrary, `path`
// in UTF-8. Returns 0 on failure.
STANDIN_API int32_t standinLoadPlugin(const char* path);

// Calls the entry point with detach (and unloads the library on Windows).
STANDIN_API void standinUnloadPlugin(void);

// ---- Registrations, as the host saw them -----------------------------------------------------

enum StandinHostEventKind {
  kStandinScriptRegister = 1,
  kStandinScriptUnregister = 2,
  kStandinKeyboardRegister = 3,
  kStandinKeyboardUnregister = 4,
};

struct StandinHostEvent {
  int32_t kind;      // StandinHostEventKind
  void* module;      // for script (un)registration
  void* function;    // the script function or keyboard handler
  int32_t inScript;  // nonzero: made from inside the script context
};

constexpr int32_t kStandinHostEventLogCapacity = 256;

STANDIN_API int32_t standinHostEventCount(void);  // since standinResetAll
STANDIN_API int32_t standinHostEventAt(int32_t index, StandinHostEvent* out);
STANDIN_API int32_t standinScriptRegistered(void);  // a script is registered
STANDIN_API int32_t standinKeyboardHandlerCount(void);

// ---- The world -------------------------------------------------------------------------------

// Adds a ped with the next free handle and returns that handle.
STANDIN_API int32_t standinAddPed(int32_t alive);
// Adds a ped under a handle of the caller's choosing; 0 when that handle is taken.
STANDIN_API int32_t standinAddPedWithHandle(int32_t handle, int32_t alive);
STANDIN_API int32_t standinPlayerPed(void);
STANDIN_API void standinSetPlayerPed(int32_t handle);
STANDIN_API void standinSetPedDead(int32_t handle, int32_t dead);
// A ped that stays in the enumeration but fails the existence check (a handle gone stale).
STANDIN_API void standinSetPedExists(int32_t handle, int32_t exists);
// Takes a ped out of the world altogether.
STANDIN_API void standinRemovePed(int32_t handle);
STANDIN_API int32_t standinPedCount(void);
// The ped enumeration answers this many more than it wrote, as a misbehaving host might.
STANDIN_API void standinOverstatePedCount(int32_t extra);

// ---- Clocks and frames -----------------------------------------------------------------------

STANDIN_API void standinSetGameTime(int32_t ms);
STANDIN_API int32_t standinGameTime(void);
// Game time (and, natively, the tick count) added at the start of every frame.
STANDIN_API void standinSetFrameMs(int32_t ms);
// The tick count the plug-in reads. Natively a controlled clock; on Windows the real one, and the
// setters do nothing.
STANDIN_API void standinSetTickCount(uint32_t ms);
STANDIN_API void standinAdvanceTickCount(uint32_t ms);
// How often the plug-in has read the tick count since the process started (its keyboard handler
// reads it once per event); -1 on Windows, whose clock is the system's.
STANDIN_API int64_t standinTickCountReads(void);

// Runs `count` frames: each advances the clocks, then resumes the script (starting it on the first
// frame after registration) until it waits again.
STANDIN_API void standinRunFrames(int32_t count);
STANDIN_API int32_t standinFrameNumber(void);  // frames run since the world was reset
STANDIN_API int32_t standinWaitCount(void);    // scriptWait calls since the world was reset

// ---- Keyboard --------------------------------------------------------------------------------

// Calls every registered keyboard handler on the caller's thread, as the host does for a key
// going down (up = 0) or up (up = 1).
STANDIN_API void standinKeyEvent(uint32_t key, int32_t up);
// The same with all seven arguments as given.
STANDIN_API void standinKeyEventRaw(uint32_t key, uint16_t repeats, uint8_t scanCode,
                                    int32_t isExtended, int32_t isWithAlt, int32_t wasDownBefore,
                                    int32_t isUpNow);
// Queues the event for the stand-in's window thread, which calls the handlers as the game's window
// procedure does, alongside the script.
STANDIN_API void standinPostKeyEvent(uint32_t key, int32_t up);
// Returns once every queued event has been delivered.
STANDIN_API void standinFlushKeyEvents(void);

// ---- What the plug-in did --------------------------------------------------------------------

enum StandinCallKind {
  kStandinNative = 1,       // hash, args, result
  kStandinWait = 2,         // args[0]: the milliseconds asked for
  kStandinEnumeration = 3,  // args[0]: the capacity passed; result: the count answered
};

constexpr int32_t kStandinMaxArgs = 8;

struct StandinCall {
  int32_t frame;
  int32_t kind;  // StandinCallKind
  uint64_t hash;
  int32_t argCount;
  int32_t inScript;  // nonzero: made from inside the script context
  uint64_t args[kStandinMaxArgs];
  uint64_t result;
};

// Turns the per-call log on (the default) or off; the counts below go on either way. Off, a
// benchmark measures the plug-in rather than the log. Kept by standinResetWorld, turned back on by
// standinResetAll.
STANDIN_API void standinSetCallLog(int32_t on);

// Enough for a few dozen frames over a full world, or thousands over the player alone.
constexpr int32_t kStandinCallLogCapacity = 1 << 16;

// Calls since the last clear (or the world's reset).
STANDIN_API int32_t standinCallCount(void);
STANDIN_API int32_t standinCallAt(int32_t index, StandinCall* out);
STANDIN_API void standinClearCalls(void);
STANDIN_API int64_t standinNativeCallTotal(void);  // all native calls since the world was reset
STANDIN_API int64_t standinCallsOutsideScript(void);

// How often the hat flag (ped, 245, 1) was set on this ped since the world was reset.
STANDIN_API int64_t standinProtectCount(int32_t handle);
// How many frames since the world was reset set that flag on this ped at least once.
STANDIN_API int64_t standinProtectedFrames(int32_t handle);

// One posted toast: the records as posted, and the strings behind them.
struct StandinNotice {
  int32_t frame;
  char soundSet[64];     // the name at options slot 1
  char soundName[64];    // the name at options slot 2
  char title[128];       // the text behind content slot 1
  char message[256];     // the text behind content slot 2
  uint64_t options[13];  // the records as posted
  uint64_t content[7];
  uint64_t extraArgs[2];  // the two arguments after the records
};

constexpr int32_t kStandinNoticeLogCapacity = 1024;

STANDIN_API int32_t standinNoticeCount(void);  // since the world was reset
STANDIN_API int32_t standinNoticeAt(int32_t index, StandinNotice* out);

// The game's name hash: Jenkins' one-at-a-time over the lower-cased name.
STANDIN_API uint32_t standinNameHash(const char* name);

// Text handles handed out by the text native all carry these high bits, so a caller that keeps
// only the low half of a handle is caught. Only the latest 64 handles name a text; a notice that
// is handed an older one shows an empty string.
constexpr uint64_t kStandinTextHandleBase = 0x7E57000000000000ull;

}  // extern "C"
