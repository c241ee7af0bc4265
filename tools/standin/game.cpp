// The game behind the stand-in host: its peds, the natives the plug-in calls answered by hash, the
// text handles, the notification feed and the game's name hash.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "tools/standin/internal.h"
#include "tools/standin/ring.h"
#include "tools/standin/standin.h"

namespace {

// Text handles the game still knows. A notice's two handles are made just before it is posted;
// an older handle names nothing, as in a game that has let go of it.
constexpr size_t kTextsKept = 64;
// Handles of added peds step by this, so that neighbouring handles are never both peds.
constexpr int32_t kHandleStep = 0x103;

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
};

// The text behind one text handle, cut to what a notice keeps of it.
struct Text {
  char bytes[sizeof StandinNotice::message];
};

World world;
Ring<StandinNotice, kStandinNoticeLogCapacity> notices;
Ring<Text, kTextsKept> texts;  // a handle's low half is its number here

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

// Copies a zero-terminated text into `out`, cut to fit.
void copyCut(char* out, size_t capacity, const char* text) {
  size_t length = strnlen(text, capacity - 1);
  std::memcpy(out, text, length);
  out[length] = '\0';
}

// The zero-terminated string at an address the plug-in passed.
void copyString(char* out, size_t capacity, uint64_t address) {
  copyCut(out, capacity, address == 0 ? "" : reinterpret_cast<const char*>(address));
}

uint64_t makeText(uint64_t address) {
  uint64_t number = static_cast<uint64_t>(texts.total);
  Text& text = texts.push();
  copyString(text.bytes, sizeof text.bytes, address);
  return kStandinTextHandleBase | (number & 0xFFFFFFFFull);
}

void copyTextBehind(char* out, size_t capacity, uint64_t handle) {
  const Text* text = nullptr;
  if ((handle & 0xFFFF000000000000ull) == kStandinTextHandleBase) {
    text = texts.at(static_cast<int64_t>(handle & 0xFFFFFFFFull));
  }
  copyCut(out, capacity, text != nullptr ? text->bytes : "");
}

uint32_t hashNameAt(uint64_t address) {
  return standinNameHash(address == 0 ? "" : reinterpret_cast<const char*>(address));
}

uint64_t answer32(uint32_t value) {
  return kResultNoise | value;
}

uint64_t postToast(const uint64_t* args, int32_t frame) {
  StandinNotice& notice = notices.push();
  notice.frame = frame;
  std::memcpy(notice.options, reinterpret_cast<const void*>(args[0]), sizeof notice.options);
  std::memcpy(notice.content, reinterpret_cast<const void*>(args[1]), sizeof notice.content);
  notice.extraArgs[0] = args[2];
  notice.extraArgs[1] = args[3];
  copyString(notice.soundSet, sizeof notice.soundSet, notice.options[1]);
  copyString(notice.soundName, sizeof notice.soundName, notice.options[2]);
  copyTextBehind(notice.title, sizeof notice.title, notice.content[1]);
  copyTextBehind(notice.message, sizeof notice.message, notice.content[2]);
  return answer32(static_cast<uint32_t>(notices.total));
}

void setPedFlag(int32_t handle, int32_t flag, int32_t value, int32_t frame) {
  Ped* ped = findPed(handle);
  if (ped == nullptr || !ped->exists || flag != kStandinHatFlag || value != 1) {
    return;
  }
  ++ped->protectCount;
  if (ped->lastProtectedFrame != frame) {
    ped->lastProtectedFrame = frame;
    ++ped->protectedFrames;
  }
}

// Arguments the natives read are 32-bit values in 64-bit slots; the game reads the low half.
int32_t low32(uint64_t slot) {
  return static_cast<int32_t>(static_cast<uint32_t>(slot));
}

}  // namespace

// ---- What the host asks of the game ----------------------------------------------------------

void gameReset() {
  world = World{};
  notices.clear();
  texts.clear();
  addPed(world.nextHandle, true);
  world.playerPed = world.nextHandle;
  world.nextHandle += kHandleStep;
}

int32_t gameListPeds(int32_t* peds, int32_t capacity) {
  int32_t written = 0;
  for (const Ped& ped : world.peds) {
    if (written >= capacity) {
      break;
    }
    peds[written++] = ped.handle;
  }
  return written + world.overstate;
}

uint64_t gameAnswerNative(uint64_t hash, const uint64_t* args, size_t argCount, int32_t frame) {
  auto arg = [&](size_t i) { return i < argCount ? args[i] : 0; };
  switch (hash) {
    case hashes::kGetGameTimer:
      return answer32(static_cast<uint32_t>(world.gameTime));
    case hashes::kPlayerPedId:
      return answer32(static_cast<uint32_t>(world.playerPed));
    case hashes::kDoesEntityExist: {
      Ped* ped = findPed(low32(arg(0)));
      return answer32(ped != nullptr && ped->exists ? 1 : 0);
    }
    case hashes::kIsPedDeadOrDying: {
      Ped* ped = findPed(low32(arg(0)));
      return answer32(ped != nullptr && ped->exists && ped->dead ? 1 : 0);
    }
    case hashes::kSetPedResetFlag:
      setPedFlag(low32(arg(0)), low32(arg(1)), low32(arg(2)), frame);
      return 0;
    case hashes::kCreateVarString:
      return makeText(arg(2));
    case hashes::kGetHashKey:
      return answer32(hashNameAt(arg(0)));
    case hashes::kUiFeedPostSampleToast:
      return argCount >= 4 ? postToast(args, frame) : 0;
    default:
      return 0;  // a native this stand-in does not know answers zero
  }
}

// ---- Control interface: the world ------------------------------------------------------------

extern "C" {

int32_t standinAddPed(int32_t alive) {
  while (findPed(world.nextHandle) != nullptr) {
    world.nextHandle += kHandleStep;
  }
  int32_t handle = world.nextHandle;
  world.nextHandle += kHandleStep;
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

int64_t standinProtectCount(int32_t handle) {
  Ped* ped = findPed(handle);
  return ped != nullptr ? ped->protectCount : 0;
}

int64_t standinProtectedFrames(int32_t handle) {
  Ped* ped = findPed(handle);
  return ped != nullptr ? ped->protectedFrames : 0;
}

int32_t standinNoticeCount(void) {
  return notices.count();
}

int32_t standinNoticeAt(int32_t index, StandinNotice* out) {
  return notices.copy(index, out);
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
