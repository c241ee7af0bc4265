// The cases of `make bench`, their floors and their targets.
//
// A pass is run by calling runPass() directly: the stand-in's scriptWait returns at once when
// called from outside the script, and its call log is off, so the host costs no more than it must
// and its cost does not hide the plug-in's. The floor of a pass makes the same host calls with the
// same arguments, straight-line, and reads the toggle key's record once, as every pass must. The
// floor of a reload is what any reader of the file must do: open it through the plug-in's own
// platform calls, read what the read limit allows, find its line ends with one memchr pass, and
// close it.
#include "tools/bench/cases.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/platform.h"
#include "common/settings.h"
#include "config/default_settings.h"
#include "config/settings_file.h"
#include "config/settings_reader.h"
#include "host/host_ops.h"
#include "host/natives.h"
#include "input/keys.h"
#include "protection/protection.h"
#include "tests/plugin_state.h"
#include "tools/standin/standin.h"

namespace {

constexpr int32_t kWorldPeds = 256;

std::string benchDir;            // the temporary directory, empty until made
std::vector<int32_t> worldPeds;  // the handles of the pass cases' peds

// ---- Passes -------------------------------------------------------------------------------------

// A world of `peds` living peds, the player among them; game time 0, which is also the last
// reload's, so no pass reloads; no key event recorded.
void preparePass(int32_t peds, bool active, bool allPeds) {
  standinResetWorld();
  standinSetCallLog(0);
  standinSetGameTime(0);
  worldPeds.assign(1, standinPlayerPed());
  for (int32_t i = 1; i < peds; ++i) {
    worldPeds.push_back(standinAddPed(1));
  }
  resetPluginState();
  settings.active = active;
  settings.affectAllPeds = allPeds;
}

// One native with its arguments, inlined: the floors stay straight-line code.
template <typename... Args>
uint64_t& call(uint64_t hash, Args... args) {
  nativeInit(hash);
  (nativePush64(static_cast<uint64_t>(args)), ...);
  return *nativeCall();
}

// What every pass does first: the reload's timer check and the toggle key's record.
void floorStart() {
  benchmark::DoNotOptimize(call(native::kGetGameTimer));
  benchmark::DoNotOptimize(keyTable[kDefaultToggleKey].upFlag.load(std::memory_order_relaxed));
}

void floorPlayerOnly() {
  floorStart();
  const uint64_t player = static_cast<uint32_t>(call(native::kPlayerPedId));
  benchmark::DoNotOptimize(call(native::kDoesEntityExist, player));
  benchmark::DoNotOptimize(call(native::kSetPedResetFlag, player, kKeepHatOnFlag, 1));
  scriptWait(0);
}

void floorInactive() {
  floorStart();
  scriptWait(0);
}

void floorAllPeds() {
  floorStart();
  int32_t peds[kPedBufferCapacity];
  const int32_t count = worldGetAllPeds(peds, kPedBufferCapacity);
  for (int32_t i = 0; i < count; ++i) {
    const uint64_t ped = static_cast<uint32_t>(peds[i]);
    benchmark::DoNotOptimize(call(native::kDoesEntityExist, ped));
    benchmark::DoNotOptimize(call(native::kIsPedDeadOrDying, ped, 1));
    benchmark::DoNotOptimize(call(native::kSetPedResetFlag, ped, kKeepHatOnFlag, 1));
  }
  scriptWait(0);
}

int64_t protections() {
  int64_t total = 0;
  for (int32_t ped : worldPeds) {
    total += standinProtectCount(ped);
  }
  return total;
}

// One pass from `prepare`: the natives it must make, the peds it must protect, one wait.
const char* checkPass(int64_t natives, int64_t protectedPeds) {
  const int64_t nativesBefore = standinNativeCallTotal();
  const int64_t protectionsBefore = protections();
  const int32_t waitsBefore = standinWaitCount();
  runPass();
  if (standinNativeCallTotal() - nativesBefore != natives) {
    return "the pass made another number of native calls";
  }
  if (protections() - protectionsBefore != protectedPeds) {
    return "the pass protected another number of peds";
  }
  return standinWaitCount() - waitsBefore == 1 ? nullptr : "the pass did not wait once";
}

// ---- Reloads ------------------------------------------------------------------------------------

const char* const kDefaultDir = "default-file";
const char* const kCommentsDir = "comment-lines";
const char* const kLongLineDir = "one-long-line";
const char* const kHugeDir = "huge-file";
constexpr size_t kHugeBytes = size_t{1} << 30;

std::string defaultFile() {
  std::string text;
  for (const char* literal : kDefaultContent) {
    for (const char* c = literal; *c != '\0'; ++c) {
      text += *c == '\n' ? "\r\n" : std::string(1, *c);
    }
  }
  return text;
}

// Exactly as much as a load reads: `filler` over and over, '#' to make up the rest, and the one
// setting last, its last byte the last byte read.
std::string upToTheLimit(const std::string& filler, const std::string& setting) {
  std::string text;
  while (text.size() + filler.size() + setting.size() <= kSettingsReadLimit) {
    text += filler;
  }
  return text + std::string(kSettingsReadLimit - text.size() - setting.size(), '#') + setting;
}

// Short comment lines, as a broken tool might leave them.
std::string commentsFile() {
  return upToTheLimit("# a short comment line\r\n", "enabled=false\r\n");
}

// One line with no line end: a comment's words, which hold the letters the keys begin with.
std::string longLineFile() {
  return upToTheLimit("# a comment that goes on and on without an end in sight ", "enabled=false");
}

// `size` bytes: `text`, and a hole for the rest, which costs no disk.
bool writeFile(const std::string& dir, const std::string& text, size_t size) {
  std::error_code error;
  std::filesystem::create_directory(benchDir + "/" + dir, error);
  const std::string path = benchDir + "/" + dir + "/" + kSettingsFileName;
  {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush()) {
      return false;
    }
  }
  std::filesystem::resize_file(path, size, error);
  return !error;
}

void prepareReload(const char* dir) {
  if (chdir((benchDir + "/" + dir).c_str()) != 0) {
    std::abort();
  }
  settings = Settings{};
}

void floorReload() {
  static char text[kSettingsReadLimit + 1];
  const int file = platformOpenForReading(kSettingsFileName);
  if (file < 0) {
    std::abort();
  }
  const size_t length = platformRead(file, text, sizeof text);
  platformClose(file);
  const char* const end = text + std::min(length, kSettingsReadLimit);
  size_t lineEnds = 0;
  for (const char* at = text;
       (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at))));
       ++at) {
    ++lineEnds;
  }
  benchmark::DoNotOptimize(lineEnds);
}

// Each reload starts from settings that differ from the file's in every field it sets.
const char* checkDefault() {
  settings = {false, 1000, true, true};
  loadSettings();
  return settings.keybindEnabled && settings.toggleKey == kDefaultToggleKey &&
                 !settings.affectAllPeds
             ? nullptr
             : "the reload did not apply the default file";
}
// The setting stands last among the bytes a load reads.
const char* checkSettingAtTheEnd() {
  settings.keybindEnabled = true;
  loadSettings();
  return !settings.keybindEnabled ? nullptr : "the reload did not find the setting at the end";
}
}  // namespace

const BenchCase kBenchCases[] = {
    {"player-only pass", "player_only", [] { preparePass(1, true, false); }, runPass,
     floorPlayerOnly, [] { return checkPass(4, 1); }, 200, 1.10, 0, nullptr, 0},
    {"inactive pass", "inactive", [] { preparePass(1, false, false); }, runPass, floorInactive,
     [] { return checkPass(1, 0); }, 200, 1.25, 0, nullptr, 0},
    {"all-peds pass, 256 living peds", "all_peds", [] { preparePass(kWorldPeds, true, true); },
     runPass, floorAllPeds, [] { return checkPass(1 + 3 * kWorldPeds, kWorldPeds); }, 20, 1.10, 0,
     nullptr, 0},
    {"reload: default file", "reload_default", [] { prepareReload(kDefaultDir); }, loadSettings,
     floorReload, checkDefault, 20, 0, 1.25, nullptr, 0},
    {"reload: 64 KiB of comment lines", "reload_comments", [] { prepareReload(kCommentsDir); },
     loadSettings, floorReload, checkSettingAtTheEnd, 10, 0, 2.0, nullptr, 0},
    {"reload: one 64 KiB line", "reload_long_line", [] { prepareReload(kLongLineDir); },
     loadSettings, floorReload, checkSettingAtTheEnd, 10, 0, 2.0, nullptr, 0},
    // The comment lines again, and then a gigabyte that a load must not read.
    {"reload: 1 GiB file", "reload_huge", [] { prepareReload(kHugeDir); }, loadSettings,
     floorReload, checkSettingAtTheEnd, 10, 0, 0, "reload_comments", 1.10},
};
const size_t kBenchCaseCount = sizeof kBenchCases / sizeof kBenchCases[0];

bool prepareBenchFiles() {
  char pattern[] = "/tmp/quillmere-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return false;
  }
  benchDir = pattern;
  const std::string comments = commentsFile();
  return writeFile(kDefaultDir, defaultFile(), defaultFile().size()) &&
         writeFile(kCommentsDir, comments, comments.size()) &&
         writeFile(kLongLineDir, longLineFile(), kSettingsReadLimit) &&
         writeFile(kHugeDir, comments, kHugeBytes) && chdir(benchDir.c_str()) == 0;
}

void removeBenchFiles() {
  if (benchDir.empty()) {
    return;
  }
  std::error_code error;
  std::filesystem::current_path("/", error);
  std::filesystem::remove_all(benchDir, error);
}
