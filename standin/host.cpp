// The stand-in host: the nine host operations over a small world of peds, the natives the plug-in
// calls answered by hash, and the record of everything the plug-in did.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/host_ops.h"
#include "standin/internal.h"
#include "standin/standin.h"

namespace {

constexpr uint64_t kGetGameTimer = 0x4F67E8ECA7D3F667;
constexpr uint64_t kPlayerPedId = 0x096275889B8E0EE0;
constexpr uint64_t kDoesEntityExist = 0xD42BD6EB2E0F1677;
constexpr uint64_t kIsEntityDead = 0x3317DEDB88C95038;
constexpr uint64_t kSetPedConfigFlag = 0xC1E8A365BF3B29F2;
constexpr uint64_t kCreateVarString = 0xFA925AC00EB830B9;
constexpr uint64_t kGetHashKey = 0xFD340785ADF8CFB7;
constexpr uint64_t kUiFeedPostSampleToast = 0x26E87218390E6729;

constexpr int32_t kHatFlag = 245;
constexpr size_t kCallLogLimit = 1u << 20;
constexpr size_t kMaxPushed = 32;

// The game leaves whatever it likes in the upper half of a 32-bit result; so do we, so that a
// caller reading more than the low half is caught.
constexpr uint64_t kResultNoise = 0x5EED000000000000ull;

struct Ped {
  int32_t handle;
  bool exists;
  bool dead;
  int64_t protectCount;
  int64_t protectedFrames;
  int32_t lastProtectedFrame;
};

struct World {
  std::vector<Ped> peds;                         // in the order the enumeration lists them
  std::unordered_map<int32_t, size_t> pedIndex;  // handle to place in peds
  int32_t playerPed = 0;
  int32_t nextHandle = 0x2101;
  int32_t overstate = 0;
  int32_t gameTime = 0;
  int32_t frameMs = 16;
  int32_t frame = 0;
  int32_t waits = 0;
  std::vector<StandinCall> calls;
  int64_t nativeTotal = 0;
  int64_t outsideScript = 0;
  std::vector<StandinNotice> notices;
  std::vector<std::string> texts;                       // behind the text handles
  std::unordered_map<uint32_t, std::string> hashNames;  // names the plug-in asked hashes for
};

struct Host {
  void* module = nullptr;
  ScriptFunction script = nullptr;
  bool scriptStarted = false;
  std::vector<StandinHostEvent> events;
  std::mutex handlersLock;  // the window thread reads the handlers
  std::vector<KeyboardHandler> handlers;
};

World world;
Host host;

// The native being called: hash and arguments pushed so far, and the result area handed back.
uint64_t pendingHash = 0;
uint64_t pushed[kMaxPushed];
size_t pushedCount = 0;
uint64_t resultArea = 0;

// Every native of the all-peds pass looks a ped up: by index, so that a full world costs the
// stand-in little next to the plug-in it measures.
Ped* findPed(int32_t handle) {
  auto found = world.pedIndex.find(handle);
  return found == world.pedIndex.end() ? nullptr : &world.peds[found->second];
}

void addPed(int32_t handle, bool alive) {
  world.pedIndex[handle] = world.peds.size();
  world.peds.push_back({handle, true, !alive, 0, 0, -1});
}

void logCall(int32_t kind, uint64_t hash, const uint64_t* args, size_t argCount, uint64_t result) {
  if (world.calls.size() >= kCallLogLimit) {
    return;
  }
  StandinCall call = {};
  call.frame = world.frame;
  call.kind = kind;
  call.hash = hash;
  call.argCount = static_cast<int32_t>(argCount);
  call.inScript = scriptContextInside() ? 1 : 0;
  std::copy(args, args + std::min<size_t>(argCount, kStandinMaxArgs), call.args);
  call.result = result;
  world.calls.push_back(call);
}

void copyName(char* out, size_t capacity, const std::string& name) {
  std::snprintf(out, capacity, "%s", name.c_str());
}

std::string textBehind(uint64_t handle) {
  if ((handle & 0xFFFF000000000000ull) != kStandinTextHandleBase) {
    return "";
  }
  size_t index = static_cast<size_t>(handle & 0xFFFFFFFFull);
  return index < world.texts.size() ? world.texts[index] : "";
}

std::string stringAt(uint64_t address) {
  return address == 0 ? "" : std::string(reinterpret_cast<const char*>(address));
}

std::string hashName(uint64_t slot) {
  auto found = world.hashNames.find(static_cast<uint32_t>(slot));
  return found == world.hashNames.end() ? "" : found->second;
}

uint64_t answer32(uint32_t value) {
  return kResultNoise | value;
}

uint64_t postToast(const uint64_t* args) {
  StandinNotice notice = {};
  notice.frame = world.frame;
  std::memcpy(notice.options, reinterpret_cast<const void*>(args[0]), sizeof notice.options);
  std::memcpy(notice.content, reinterpret_cast<const void*>(args[1]), sizeof notice.content);
  notice.extraArgs[0] = args[2];
  notice.extraArgs[1] = args[3];
  notice.duration = static_cast<int32_t>(notice.options[0]);
  copyName(notice.soundSet, sizeof notice.soundSet, stringAt(notice.options[1]));
  copyName(notice.soundName, sizeof notice.soundName, stringAt(notice.options[2]));
  copyName(notice.title, sizeof notice.title, textBehind(notice.content[1]));
  copyName(notice.message, sizeof notice.message, textBehind(notice.content[2]));
  notice.textureHash = static_cast<uint32_t>(notice.content[4]);
  notice.iconHash = static_cast<uint32_t>(notice.content[5]);
  notice.colourHash = static_cast<uint32_t>(notice.content[6]);
  copyName(notice.textureName, sizeof notice.textureName, hashName(notice.content[4]));
  copyName(notice.iconName, sizeof notice.iconName, hashName(notice.content[5]));
  copyName(notice.colourName, sizeof notice.colourName, hashName(notice.content[6]));
  world.notices.push_back(notice);
  return answer32(static_cast<uint32_t>(world.notices.size()));
}

void setPedFlag(int32_t handle, int32_t flag, int32_t value) {
  Ped* ped = findPed(handle);
  if (ped == nullptr || !ped->exists || flag != kHatFlag || value != 1) {
    return;
  }
  ++ped->protectCount;
  if (ped->lastProtectedFrame != world.frame) {
    ped->lastProtectedFrame = world.frame;
    ++ped->protectedFrames;
  }
}

// Arguments the natives read are 32-bit values in 64-bit slots; the game reads the low half.
int32_t low32(uint64_t slot) {
  return static_cast<int32_t>(static_cast<uint32_t>(slot));
}

uint64_t answerNative(uint64_t hash, const uint64_t* args, size_t argCount) {
  auto arg = [&](size_t i) { return i < argCount ? args[i] : 0; };
  switch (hash) {
    case kGetGameTimer:
      return answer32(static_cast<uint32_t>(world.gameTime));
    case kPlayerPedId:
      return answer32(static_cast<uint32_t>(world.playerPed));
    case kDoesEntityExist: {
      Ped* ped = findPed(low32(arg(0)));
      return answer32(ped != nullptr && ped->exists ? 1 : 0);
    }
    case kIsEntityDead: {
      Ped* ped = findPed(low32(arg(0)));
      return answer32(ped != nullptr && ped->exists && ped->dead ? 1 : 0);
    }
    case kSetPedConfigFlag:
      setPedFlag(low32(arg(0)), low32(arg(1)), low32(arg(2)));
      return 0;
    case kCreateVarString:
      world.texts.push_back(stringAt(arg(2)));
      return kStandinTextHandleBase | (world.texts.size() - 1);
    case kGetHashKey: {
      std::string name = stringAt(arg(0));
      uint32_t hashed = standinNameHash(name.c_str());
      world.hashNames[hashed] = name;
      return answer32(hashed);
    }
    case kUiFeedPostSampleToast:
      return argCount >= 4 ? postToast(args) : 0;
    default:
      return 0;  // a native this stand-in does not know answers zero
  }
}

}  // namespace

// ---- The nine host operations ----------------------------------------------------------------

extern "C" {

void scriptRegister(void* module, ScriptFunction script) {
  host.events.push_back({kStandinScriptRegister, module, reinterpret_cast<void*>(script),
                         scriptContextInside() ? 1 : 0});
  host.module = module;
  host.script = script;
  host.scriptStarted = false;
}

void scriptUnregister(void* module) {
  host.events.push_back({kStandinScriptUnregister, module, nullptr, scriptContextInside() ? 1 : 0});
  if (module == host.module) {
    scriptContextStop();
    host.script = nullptr;
    host.module = nullptr;
    host.scriptStarted = false;
  }
}

void keyboardHandlerRegister(KeyboardHandler handler) {
  host.events.push_back({kStandinKeyboardRegister, nullptr, reinterpret_cast<void*>(handler),
                         scriptContextInside() ? 1 : 0});
  std::lock_guard<std::mutex> lock(host.handlersLock);
  host.handlers.push_back(handler);
}

void keyboardHandlerUnregister(KeyboardHandler handler) {
  host.events.push_back({kStandinKeyboardUnregister, nullptr, reinterpret_cast<void*>(handler),
                         scriptContextInside() ? 1 : 0});
  std::lock_guard<std::mutex> lock(host.handlersLock);
  auto found = std::find(host.handlers.begin(), host.handlers.end(), handler);
  if (found != host.handlers.end()) {
    host.handlers.erase(found);
  }
}

void scriptWait(uint32_t ms) {
  uint64_t arg = ms;
  logCall(kStandinWait, 0, &arg, 1, 0);
  ++world.waits;
  scriptContextWait();
}

int32_t worldGetAllPeds(int32_t* peds, int32_t capacity) {
  int32_t written = 0;
  for (const Ped& ped : world.peds) {
    if (written >= capacity) {
      break;
    }
    peds[written++] = ped.handle;
  }
  int32_t answered = written + world.overstate;
  uint64_t arg = static_cast<uint32_t>(capacity);
  logCall(kStandinEnumeration, 0, &arg, 1, static_cast<uint32_t>(answered));
  return answered;
}

void nativeInit(uint64_t hash) {
  pendingHash = hash;
  pushedCount = 0;
}

void nativePush64(uint64_t value) {
  if (pushedCount < kMaxPushed) {
    pushed[pushedCount++] = value;
  }
}

uint64_t* nativeCall() {
  if (!scriptContextInside()) {
    ++world.outsideScript;
  }
  ++world.nativeTotal;
  resultArea = answerNative(pendingHash, pushed, pushedCount);
  logCall(kStandinNative, pendingHash, pushed, pushedCount, resultArea);
  return &resultArea;
}

// ---- Control interface -----------------------------------------------------------------------

void standinResetWorld(void) {
  windowThreadFlush();
  world = World{};
  addPed(world.nextHandle, true);
  world.playerPed = world.nextHandle;
  world.nextHandle += 0x103;
  standinSetTickCount(0);
}

void standinResetAll(void) {
  windowThreadFlush();
  scriptContextStop();
  host.module = nullptr;
  host.script = nullptr;
  host.scriptStarted = false;
  host.events.clear();
  {
    std::lock_guard<std::mutex> lock(host.handlersLock);
    host.handlers.clear();
  }
  standinResetWorld();
}

int32_t standinHostEventCount(void) {
  return static_cast<int32_t>(host.events.size());
}

int32_t standinHostEventAt(int32_t index, StandinHostEvent* out) {
  if (index < 0 || static_cast<size_t>(index) >= host.events.size()) {
    return 0;
  }
  *out = host.events[static_cast<size_t>(index)];
  return 1;
}

int32_t standinScriptRegistered(void) {
  return host.script != nullptr ? 1 : 0;
}

int32_t standinKeyboardHandlerCount(void) {
  std::lock_guard<std::mutex> lock(host.handlersLock);
  return static_cast<int32_t>(host.handlers.size());
}

int32_t standinAddPed(int32_t alive) {
  while (findPed(world.nextHandle) != nullptr) {
    world.nextHandle += 0x103;
  }
  int32_t handle = world.nextHandle;
  world.nextHandle += 0x103;
  addPed(handle, alive != 0);
  return handle;
}

int32_t standinAddPedWithHandle(int32_t handle, int32_t alive) {
  if (findPed(handle) != nullptr) {
    return 0;
  }
  addPed(handle, alive != 0);
  return handle;
}

int32_t standinPlayerPed(void) {
  return world.playerPed;
}
void standinSetPlayerPed(int32_t handle) {
  world.playerPed = handle;
}

void standinSetPedDead(int32_t handle, int32_t dead) {
  if (Ped* ped = findPed(handle)) {
    ped->dead = dead != 0;
  }
}

void standinSetPedExists(int32_t handle, int32_t exists) {
  if (Ped* ped = findPed(handle)) {
    ped->exists = exists != 0;
  }
}

void standinRemovePed(int32_t handle) {
  world.peds.erase(std::remove_if(world.peds.begin(), world.peds.end(),
                                  [&](const Ped& ped) { return ped.handle == handle; }),
                   world.peds.end());
  world.pedIndex.clear();
  for (size_t i = 0; i < world.peds.size(); ++i) {
    world.pedIndex[world.peds[i].handle] = i;
  }
}

int32_t standinPedCount(void) {
  return static_cast<int32_t>(world.peds.size());
}
void standinOverstatePedCount(int32_t extra) {
  world.overstate = extra;
}

void standinSetGameTime(int32_t ms) {
  world.gameTime = ms;
}
int32_t standinGameTime(void) {
  return world.gameTime;
}
void standinSetFrameMs(int32_t ms) {
  world.frameMs = ms;
}

void standinRunFrames(int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    ++world.frame;
    world.gameTime = static_cast<int32_t>(static_cast<uint32_t>(world.gameTime) +
                                          static_cast<uint32_t>(world.frameMs));
    clockAdvance(static_cast<uint32_t>(world.frameMs));
    if (host.script == nullptr) {
      continue;
    }
    if (!host.scriptStarted) {
      scriptContextStart(host.script);
      host.scriptStarted = true;
    }
    scriptContextResume();
  }
}

int32_t standinFrameNumber(void) {
  return world.frame;
}
int32_t standinWaitCount(void) {
  return world.waits;
}

void standinKeyEvent(uint32_t key, int32_t up) {
  // As the game reports them: the release of a key that was down, or a fresh press.
  deliverKeyEvent(key, 1, 0, 0, 0, up != 0 ? 1 : 0, up != 0 ? 1 : 0);
}

void standinKeyEventRaw(uint32_t key, uint16_t repeats, uint8_t scanCode, int32_t isExtended,
                        int32_t isWithAlt, int32_t wasDownBefore, int32_t isUpNow) {
  deliverKeyEvent(key, repeats, scanCode, isExtended, isWithAlt, wasDownBefore, isUpNow);
}

void standinPostKeyEvent(uint32_t key, int32_t up) {
  windowThreadPost(key, up);
}
void standinFlushKeyEvents(void) {
  windowThreadFlush();
}

int32_t standinCallCount(void) {
  return static_cast<int32_t>(world.calls.size());
}

int32_t standinCallAt(int32_t index, StandinCall* out) {
  if (index < 0 || static_cast<size_t>(index) >= world.calls.size()) {
    return 0;
  }
  *out = world.calls[static_cast<size_t>(index)];
  return 1;
}

void standinClearCalls(void) {
  world.calls.clear();
}
int64_t standinNativeCallTotal(void) {
  return world.nativeTotal;
}
int64_t standinCallsOutsideScript(void) {
  return world.outsideScript;
}

int64_t standinProtectCount(int32_t handle) {
  Ped* ped = findPed(handle);
  return ped != nullptr ? ped->protectCount : 0;
}

int64_t standinProtectedFrames(int32_t handle) {
  Ped* ped = findPed(handle);
  return ped != nullptr ? ped->protectedFrames : 0;
}

int32_t standinNoticeCount(void) {
  return static_cast<int32_t>(world.notices.size());
}

int32_t standinNoticeAt(int32_t index, StandinNotice* out) {
  if (index < 0 || static_cast<size_t>(index) >= world.notices.size()) {
    return 0;
  }
  *out = world.notices[static_cast<size_t>(index)];
  return 1;
}

uint32_t standinNameHash(const char* name) {
  uint32_t h = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    char lower = (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c;
    h += static_cast<uint8_t>(lower);
    h += h << 10;
    h ^= h >> 6;
  }
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  return h;
}

}  // extern "C"

void deliverKeyEvent(uint32_t key, uint16_t repeats, uint8_t scanCode, int32_t isExtended,
                     int32_t isWithAlt, int32_t wasDownBefore, int32_t isUpNow) {
  // Held while the handlers run, so that unregistering (and unloading the library that holds the
  // handler) waits for a delivery under way.
  std::lock_guard<std::mutex> lock(host.handlersLock);
  for (KeyboardHandler handler : host.handlers) {
    handler(key, repeats, scanCode, isExtended, isWithAlt, wasDownBefore, isUpNow);
  }
}
