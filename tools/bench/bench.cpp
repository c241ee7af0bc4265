// `make bench`: each pass and reload of the plug-in against its floor, in time (Google Benchmark),
// instructions (this program run again under callgrind) and heap allocations; the DLL's size.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "config/default_settings.h"
#include "config/settings_file.h"
#include "config/settings_reader.h"
#include "host/natives.h"
#include "input/keys.h"
#include "protection/protection.h"
#include "tools/standin/standin.h"

// Every allocation goes through here, the C runtime's own (a stdio stream's buffer) included.
// NOLINTBEGIN(bugprone-reserved-identifier): glibc's own allocator, under its own names
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
// NOLINTEND(bugprone-reserved-identifier)
static long allocations = 0;  // the bench runs on one thread
extern "C" void* malloc(size_t size) noexcept {
  ++allocations;
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) noexcept {
  ++allocations;
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) noexcept {
  ++allocations;
  return __libc_realloc(block, size);
}

namespace {

namespace fs = std::filesystem;
std::string benchDir;  // a folder for each reload case's settings file

// One native, straight-line: what a floor makes of each host call.
template <typename... Args>
uint64_t call(uint64_t hash, Args... args) {
  nativeInit(hash);
  (nativePush64(static_cast<uint64_t>(args)), ...);
  return *nativeCall();
}
// What every pass must do by the rules, straight-line: the game timer against the last reload's
// time, the keybind switch and the toggle key's record, and `active`. What the plug-in does beyond
// this is its own structure: its phases as functions, and their calls.
void floorStart() {
  const auto now = static_cast<uint32_t>(call(native::kGetGameTimer));
  benchmark::DoNotOptimize(static_cast<int32_t>(now - static_cast<uint32_t>(lastLoadTime)) >=
                           kReloadIntervalMs);
  const uint32_t key = settings.toggleKey;
  benchmark::DoNotOptimize(settings.keybindEnabled && key < kKeyCodeLimit &&
                           keyTable[key].upFlag.load(std::memory_order_relaxed) != 0);
  benchmark::DoNotOptimize(settings.active);
}
void floorInactive() {
  floorStart();
  scriptWait(0);
}
void floorPlayerOnly() {
  floorStart();
  const uint64_t player = static_cast<uint32_t>(call(native::kPlayerPedId));
  benchmark::DoNotOptimize(call(native::kDoesEntityExist, player));
  benchmark::DoNotOptimize(call(native::kSetPedResetFlag, player, kKeepHatOnFlag, 1));
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
// What any reader of the file must do: open it, read to the limit, find its line ends, close it.
void floorReload() {
  static char text[kSettingsReadLimit + 1];
  const int file = platformOpenForReading(kSettingsFileName);
  const size_t length = file < 0 ? 0 : platformRead(file, text, sizeof text);
  platformClose(file);
  const char* const end = text + std::min(length, kSettingsReadLimit);
  long lineEnds = 0;
  for (const char* at = text; (at = static_cast<const char*>(std::memchr(at, '\n', end - at)));
       ++at) {
    ++lineEnds;
  }
  benchmark::DoNotOptimize(lineEnds);
}

// `peds` living peds at game time 0, the last reload's too, so that no pass reloads; the stand-in's
// call log off. No key event is ever recorded here, so the key table stays as loaded: all zero.
void preparePass(int32_t peds, bool active, bool allPeds) {
  standinResetWorld();
  standinSetCallLog(0);
  for (int32_t i = 1; i < peds; ++i) {  // the player is the first
    standinAddPed(1);
  }
  settings = Settings{};
  settings.active = active;
  settings.affectAllPeds = allPeds;
}
// One pass made this many native calls (so it did not reload) and waited once.
bool passDid(int64_t natives) {
  const int64_t nativesBefore = standinNativeCallTotal();
  const int32_t waitsBefore = standinWaitCount();
  runPass();
  return standinNativeCallTotal() - nativesBefore == natives &&
         standinWaitCount() == waitsBefore + 1;
}
void enter(const char* dir) {
  if (chdir((benchDir + "/" + dir).c_str()) != 0) {
    std::abort();
  }
}
// The setting last in the file, at the last byte a load reads, applied.
bool lastLineApplied() {
  settings.keybindEnabled = true;
  loadSettings();
  return !settings.keybindEnabled;
}

struct Case {
  const char* name;
  const char* id;
  void (*prepare)();
  void (*plugin)();  // runPass or loadSettings
  void (*floor)();
  bool (*check)();      // one run of the plug-in from `prepare` did what it must
  int runs;             // over which instructions and allocations are counted
  bool inInstructions;  // the target: instructions, or else time
  double limit;         // at most this many times the floor's, or the plug-in's in `against`
  const char* against;  // another case's id, or null
};
const Case kCases[] = {
    {"player-only pass", "player_only", [] { preparePass(1, true, false); }, runPass,
     floorPlayerOnly, [] { return passDid(4); }, 200, true, 1.25, nullptr},
    {"inactive pass", "inactive", [] { preparePass(1, false, false); }, runPass, floorInactive,
     [] { return passDid(1); }, 200, true, 1.25, nullptr},
    {"all-peds pass, 256 living peds", "all_peds", [] { preparePass(256, true, true); }, runPass,
     floorAllPeds, [] { return passDid(1 + 3 * 256); }, 20, true, 1.25, nullptr},
    {"reload: default file", "default", [] { enter("default"); }, loadSettings, floorReload,
     [] {
       settings = {false, 1000, true, true};
       loadSettings();
       return settings.keybindEnabled && settings.toggleKey == 114 && !settings.affectAllPeds;
     },
     20, false, 1.25, nullptr},
    {"reload: 64 KiB of comment lines", "comments", [] { enter("comments"); }, loadSettings,
     floorReload, lastLineApplied, 10, false, 2.0, nullptr},
    {"reload: one 64 KiB line", "long_line", [] { enter("long_line"); }, loadSettings, floorReload,
     lastLineApplied, 10, false, 2.0, nullptr},
    {"reload: 1 GiB file", "huge", [] { enter("huge"); }, loadSettings, floorReload,
     lastLineApplied, 10, false, 1.10, "comments"},
};

// Exactly as much as a load reads: `filler` over and over, '#' up to the setting, which is last.
std::string toTheLimit(const std::string& filler, const std::string& setting) {
  std::string text;
  while (text.size() + filler.size() + setting.size() <= kSettingsReadLimit) {
    text += filler;
  }
  return text + std::string(kSettingsReadLimit - text.size() - setting.size(), '#') + setting;
}
// `text`, then a hole, which costs no disk, up to `size` bytes.
void writeFile(const char* dir, const std::string& text, uintmax_t size) {
  fs::create_directory(benchDir + "/" + dir);
  const std::string path = benchDir + "/" + dir + "/" + kSettingsFileName;
  std::ofstream(path, std::ios::binary) << text;
  fs::resize_file(path, size);
}
void writeFiles() {
  const char* tmp = std::getenv("TMPDIR");
  benchDir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quillmere-bench-XXXXXX";
  if (mkdtemp(benchDir.data()) == nullptr) {
    std::perror(("bench: " + benchDir).c_str());
    std::exit(2);
  }
  std::string defaults;
  for (const char* literal : kDefaultContent) {
    for (const char* c = literal; *c != '\0'; ++c) {
      defaults += *c == '\n' ? "\r\n" : std::string(1, *c);
    }
  }
  const std::string comments = toTheLimit("# a short comment line\r\n", "enabled=false\r\n");
  writeFile("default", defaults, defaults.size());
  writeFile("comments", comments, comments.size());
  // A comment's words, which hold the letters the keys begin with, and no line end.
  writeFile("long_line",
            toTheLimit("# a comment that goes on and on without an end in sight ", "enabled=false"),
            kSettingsReadLimit);
  writeFile("huge", comments, uintmax_t{1} << 30);  // a load must not read the gigabyte
}

void nothing() {}
// Under callgrind, collection is on around the counted runs only; the count of a run of nothing
// takes the loop's own cost off. Not inlined, so that every run goes through the same loop.
__attribute__((noipa)) void countRuns(const Case& c, const char* side, void (*run)()) {
  c.prepare();
  run();  // a first run binds symbols and faults pages in
  CALLGRIND_TOGGLE_COLLECT;
  for (int i = 0; i < c.runs; ++i) {
    run();
  }
  CALLGRIND_TOGGLE_COLLECT;
  const std::string name = c.id + std::string(side);  // alive until valgrind has read it
  CALLGRIND_DUMP_STATS_AT(name.c_str());
}

// Instructions per run by "id/plug-in" and "id/floor"; none when callgrind could not run.
std::map<std::string, double> countInstructions() {
  const std::string command =
      "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + benchDir +
      "/callgrind '" + fs::read_symlink("/proc/self/exe").string() + "' --count >" + benchDir +
      "/callgrind.log 2>&1";
  std::map<std::string, double> totals, perRun;
  if (std::system(command.c_str()) != 0) {
    return perRun;
  }
  for (const auto& dump : fs::directory_iterator(benchDir)) {
    std::ifstream in(dump.path());
    std::string name;  // each dump names its runs, then gives their instructions
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("desc: Trigger: Client Request: ", 0) == 0) {
        name = line.substr(31);
      } else if (line.rfind("summary: ", 0) == 0) {
        totals[name] = std::atof(line.c_str() + 9);
      }
    }
  }
  for (const Case& c : kCases) {
    for (const char* side : {"/plug-in", "/floor"}) {
      const std::string name = c.id + std::string(side), nothing = c.id + std::string("/nothing");
      if (totals.count(name) != 0 && totals.count(nothing) != 0) {
        perRun[name] = (totals[name] - totals[nothing]) / c.runs;
      }
    }
  }
  return perRun;
}

}  // namespace

int main(int argc, char** argv) {
  writeFiles();
  if (argc == 2 && std::strcmp(argv[1], "--count") == 0) {  // the run under callgrind
    for (const Case& c : kCases) {
      countRuns(c, "/plug-in", c.plugin);
      countRuns(c, "/floor", c.floor);
      countRuns(c, "/nothing", nothing);
    }
    fs::remove_all(benchDir);
    return 0;
  }
  // Our defaults first, so that BENCH_ARGS may override them.
  std::string dll = "dist/Quillmere.asi";
  std::vector<std::string> flags = {argv[0],
                                    "--benchmark_repetitions=9",
                                    "--benchmark_min_time=0.2",
                                    "--benchmark_enable_random_interleaving=true",
                                    "--benchmark_report_aggregates_only=true",
                                    "--benchmark_out_format=console",
                                    "--benchmark_out=" + benchDir + "/times"};
  for (int i = 1; i < argc; ++i) {
    std::strncmp(argv[i], "--dll=", 6) == 0 ? void(dll = argv[i] + 6) : flags.push_back(argv[i]);
  }
  struct stat dllFile {};  // looked at before the cases change the current directory
  const bool haveDll = stat(dll.c_str(), &dllFile) == 0;

  int missed = 0;
  std::map<std::string, double> allocs;
  for (const Case& c : kCases) {
    c.prepare();
    if (!c.check()) {
      std::printf("%s: the plug-in did not do what the case needs\n", c.name);
      ++missed;
    }
    const long before = allocations;
    for (int i = 0; i < c.runs; ++i) {
      c.plugin();
    }
    allocs[c.id] = static_cast<double>(allocations - before) / c.runs;
    for (auto [side, run] : {std::pair{"/plug-in", c.plugin}, std::pair{"/floor", c.floor}}) {
      auto measure = [&c, run = run](benchmark::State& state) {
        c.prepare();
        for (auto _ : state) {
          run();
        }
      };
      benchmark::RegisterBenchmark((c.id + std::string(side)).c_str(), measure)
          ->Unit(benchmark::kNanosecond);
    }
  }
  std::fprintf(stderr, "Counting instructions under callgrind...\n");
  std::map<std::string, double> irs = countInstructions();
  std::vector<char*> args;
  args.reserve(flags.size());
  for (std::string& flag : flags) {
    args.push_back(flag.data());
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data()) ||
      benchmark::RunSpecifiedBenchmarks() == 0) {
    fs::remove_all(benchDir);
    return 2;
  }
  // The file's aggregate lines: "id/side_median  12.3 ns ..." and "id/side_cv  4.56 % ...".
  std::map<std::string, double> medians, noise;
  std::ifstream times(benchDir + "/times");
  for (std::string line; std::getline(times, line);) {
    std::string name;
    double value = 0;
    std::istringstream(line) >> name >> value;
    const size_t cut = std::min(name.rfind('_'), name.size());
    if (name.compare(cut, std::string::npos, "_median") == 0) {
      medians[name.substr(0, cut)] = value;
    } else if (name.compare(cut, std::string::npos, "_cv") == 0) {
      noise[name.substr(0, cut)] = value;
    }
  }
  fs::remove_all(benchDir);

  std::printf("\n%-32s %10s %10s %6s %6s  %10s %10s %6s  %6s  %s\n", "case", "plug-in", "floor",
              "ratio", "noise", "plug-in Ir", "floor Ir", "ratio", "allocs", "target");
  for (const Case& c : kCases) {
    const std::string plugin = c.id + std::string("/plug-in"), floor = c.id + std::string("/floor");
    const std::string measure = c.against != nullptr ? c.against + std::string("/plug-in") : floor;
    if (medians.count(plugin) == 0 || medians.count(measure) == 0) {
      continue;  // left out by a --benchmark_filter
    }
    const bool counted = irs.count(plugin) != 0 && irs.count(floor) != 0;
    const double irRatio = counted ? irs[plugin] / irs[floor] : INFINITY;
    const double ratio = c.inInstructions ? irRatio : medians[plugin] / medians[measure];
    const bool met = ratio <= c.limit && allocs[c.id] == 0;
    missed += met ? 0 : 1;
    std::printf(
        "%-32s %7.0f ns %7.0f ns %5.2fx %5.1f%%  %10.0f %10.0f %5.2fx  %6.2f  %s <= %.2fx%s%s: "
        "%s\n",
        c.name, medians[plugin], medians[floor], medians[plugin] / medians[floor],
        std::max(noise[plugin], noise[floor]), irs[plugin], irs[floor], irRatio, allocs[c.id],
        c.inInstructions ? "Ir" : "time", c.limit, c.against != nullptr ? " of " : "",
        c.against != nullptr ? c.against : "", met ? "met" : "MISSED");
  }
  if (haveDll) {
    const bool small = dllFile.st_size <= off_t{64} * 1024;
    std::printf("%s: %lld bytes, stripped (at most 65536): %s\n", dll.c_str(),
                static_cast<long long>(dllFile.st_size), small ? "met" : "MISSED");
    missed += small ? 0 : 1;
  } else {
    std::printf("%s: not there, so its size is not checked (`make` builds it)\n", dll.c_str());
  }
  std::printf("targets missed: %d\n", missed);
  return 0;
}
