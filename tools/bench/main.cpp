// `make bench`: each pass and reload of the plug-in against its floor, measured in the same run:
// times (Google Benchmark, the two sides interleaved), instruction counts (callgrind), heap
// allocations, and the size of the shipped DLL; then one table, with the targets each must meet.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tools/bench/cases.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define QUILLMERE_NO_CALLGRIND "built without valgrind/callgrind.h (Debian's valgrind package)"
#define CALLGRIND_TOGGLE_COLLECT
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

// ---- Heap allocations ------------------------------------------------------------------------
// This program stands in for the C runtime's allocator and hands each request on to glibc's own.
// operator new allocates through malloc, so C and C++ allocations are both seen, and so are those
// the C runtime makes for itself (a stdio stream's FILE and buffer, say).

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<int64_t> heapAllocations{0};
}  // namespace

extern "C" {
void* malloc(std::size_t size) noexcept {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(std::size_t items, std::size_t size) noexcept {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(items, size);
}
void* realloc(void* block, std::size_t size) noexcept {
  heapAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, size);
}
void free(void* block) noexcept {
  __libc_free(block);
}
}  // extern "C"

namespace {

// Allocations per run of each side, counted over the case's counted runs after a first run.
double allocationsPerRun(const BenchCase& bench, void (*run)()) {
  bench.prepare();
  run();
  const int64_t before = heapAllocations.load(std::memory_order_relaxed);
  for (int i = 0; i < bench.countedRuns; ++i) {
    run();
  }
  return static_cast<double>(heapAllocations.load(std::memory_order_relaxed) - before) /
         bench.countedRuns;
}

// ---- Instruction counts ----------------------------------------------------------------------
// This program runs itself under callgrind with collection off, and the child switches it on
// around the counted runs only; each count is dumped to a file of its own, named after the case
// and side, and the parent reads the files back. Instruction counts are stable where times are
// noisy.

const char* const kSides[] = {"/plug-in", "/floor", "/loop"};  // the loop: around an empty run

void nothing() {}

// Collection is on for exactly the runs; the loop's own cost is counted apart and taken off, and
// the compiler may not make a copy of this function for one run in particular.
__attribute__((noipa)) void countRuns(const std::string& name, void (*run)(), int times) {
  run();  // the first run may still bind symbols or fault pages in
  CALLGRIND_TOGGLE_COLLECT;
  for (int i = 0; i < times; ++i) {
    run();
  }
  CALLGRIND_TOGGLE_COLLECT;
  CALLGRIND_DUMP_STATS_AT(name.c_str());
}

// The child, under callgrind: counts each case's runs. Returns the exit code.
int countUnderCallgrind() {
  if (!prepareBenchFiles()) {
    return 2;
  }
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    const std::string id = bench.id;
    bench.prepare();
    countRuns(id + kSides[0], bench.plugin, bench.countedRuns);
    bench.prepare();
    countRuns(id + kSides[1], bench.floor, bench.countedRuns);
    countRuns(id + kSides[2], nothing, bench.countedRuns);
  }
  removeBenchFiles();
  return 0;
}

// The parent: instructions per run by "<case id>/plug-in" and "<case id>/floor"; empty, with
// `why` said, when there are none.
std::map<std::string, double> countInstructions(std::string* why) {
#if defined(QUILLMERE_NO_CALLGRIND)
  *why = QUILLMERE_NO_CALLGRIND;
  return {};
#endif
  if (std::system("command -v valgrind >/dev/null 2>&1") != 0) {
    *why = "valgrind is not installed (Debian's valgrind package)";
    return {};
  }
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  self[std::max<ssize_t>(length, 0)] = '\0';
  char pattern[] = "/tmp/quillmere-callgrind-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    *why = "no temporary directory for callgrind's files";
    return {};
  }
  const std::string dir = pattern;
  const std::string command =
      "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + dir + "/out '" +
      self + "' --count-instructions >" + dir + "/log 2>&1";
  const int status = std::system(command.c_str());
  // Each dump's "desc: Trigger: Client Request: NAME" and "summary: N" lines.
  const std::string trigger = "desc: Trigger: Client Request: ";
  std::map<std::string, double> totals;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    std::ifstream in(entry.path());
    std::string name;
    double total = -1;
    for (std::string line; std::getline(in, line);) {
      if (line.compare(0, trigger.size(), trigger) == 0) {
        name = line.substr(trigger.size());
      } else if (line.compare(0, 9, "summary: ") == 0) {
        total = std::strtod(line.c_str() + 9, nullptr);
      }
    }
    if (!name.empty() && total >= 0) {
      totals[name] = total;
    }
  }
  std::filesystem::remove_all(dir, error);
  if (status != 0) {
    *why = "the run under callgrind failed";
    return {};
  }
  std::map<std::string, double> perRun;
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const std::string id = kBenchCases[i].id;
    for (const char* side : {kSides[0], kSides[1]}) {
      if (totals.count(id + side) == 0 || totals.count(id + kSides[2]) == 0) {
        *why = "callgrind left no count for " + id + side;
        return {};
      }
      perRun[id + side] = (totals[id + side] - totals[id + kSides[2]]) / kBenchCases[i].countedRuns;
    }
  }
  return perRun;
}

// ---- Times and the table ---------------------------------------------------------------------

// Keeps the median of every benchmark's repetitions, in nanoseconds, and their coefficient of
// variation, by benchmark name; prints the library's context, and the runs only as progress.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> medians;
  std::map<std::string, double> variations;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        medians[run.run_name.function_name] =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
        std::fputc('.', stderr);
      } else if (run.aggregate_name == "cv") {
        variations[run.run_name.function_name] = run.real_accumulated_time;  // a fraction
      }
    }
  }
};

void runCase(benchmark::State& state, const BenchCase* bench, bool floor) {
  bench->prepare();
  void (*run)() = floor ? bench->floor : bench->plugin;
  for (auto _ : state) {
    run();
  }
}

std::string formatTime(double ns) {
  char text[32];
  if (ns < 1e3) {
    std::snprintf(text, sizeof text, "%.1f ns", ns);
  } else {
    std::snprintf(text, sizeof text, "%.2f %s", ns < 1e6 ? ns / 1e3 : ns / 1e6,
                  ns < 1e6 ? "us" : "ms");
  }
  return text;
}

// A count, or "n/a" when it is missing.
std::string formatCount(const std::map<std::string, double>& counts, const std::string& key) {
  const auto found = counts.find(key);
  char text[32] = "n/a";
  if (found != counts.end()) {
    std::snprintf(text, sizeof text, found->second < 10 ? "%.2f" : "%.0f", found->second);
  }
  return text;
}

// The targets of one case, each with whether it was met; an instruction ratio below 0 is missing,
// and so is a relative ratio (the plug-in's time against its time in bench.relativeTo).
std::string checkTargets(const BenchCase& bench, double timeRatio, double relativeRatio,
                         double instructionRatio, double allocations) {
  std::string out;
  char text[64];
  auto add = [&](const char* format, double limit, const char* verdict) {
    std::snprintf(text, sizeof text, format, limit);
    out += text + std::string(verdict) + "; ";
  };
  auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  if (bench.instructionRatio > 0) {
    add("instructions <= %.2fx: ", bench.instructionRatio,
        instructionRatio < 0 ? "n/a" : verdict(instructionRatio <= bench.instructionRatio));
  }
  if (bench.timeRatio > 0) {
    add("time <= %.2fx: ", bench.timeRatio, verdict(timeRatio <= bench.timeRatio));
  }
  if (bench.relativeTo != nullptr) {
    std::snprintf(text, sizeof text, "time <= %.2fx %s's: ", bench.relativeRatio, bench.relativeTo);
    out += text +
           std::string(relativeRatio < 0 ? "n/a" : verdict(relativeRatio <= bench.relativeRatio)) +
           "; ";
  }
  return out + "no allocation: " + verdict(allocations == 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--count-instructions") == 0) {
    return countUnderCallgrind();
  }
  // Our own flags; the rest go to Google Benchmark, after defaults that they may override.
  std::string dll = "dist/Quillmere.asi";
  bool instructions = true;
  std::vector<char*> args = {argv[0]};
  std::string defaults[] = {"--benchmark_repetitions=9", "--benchmark_min_time=0.2",
                            "--benchmark_enable_random_interleaving=true",
                            "--benchmark_report_aggregates_only=true"};
  for (std::string& flag : defaults) {
    args.push_back(flag.data());
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--dll=", 6) == 0) {
      dll = argv[i] + 6;
    } else if (std::strcmp(argv[i], "--no-instructions") == 0) {
      instructions = false;
    } else {
      args.push_back(argv[i]);
    }
  }
  struct stat dllStat;
  const bool haveDll = stat(dll.c_str(), &dllStat) == 0;

  if (!prepareBenchFiles()) {
    std::fprintf(stderr, "bench: cannot write the settings files under /tmp\n");
    return 2;
  }
  std::map<std::string, double> allocs;
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    bench.prepare();
    if (const char* wrong = bench.check()) {
      std::fprintf(stderr, "bench: %s: %s\n", bench.name, wrong);
      removeBenchFiles();
      return 2;
    }
    allocs[std::string(bench.id) + kSides[0]] = allocationsPerRun(bench, bench.plugin);
    allocs[std::string(bench.id) + kSides[1]] = allocationsPerRun(bench, bench.floor);
  }

  std::string why = "left out (--no-instructions)";
  std::map<std::string, double> irs;
  if (instructions) {
    std::fprintf(stderr, "Counting instructions under callgrind...\n");
    irs = countInstructions(&why);
  }

  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    for (bool floor : {false, true}) {
      const std::string name = kBenchCases[i].id + std::string(kSides[floor ? 1 : 0]);
      benchmark::RegisterBenchmark(name.c_str(), runCase, &kBenchCases[i], floor)
          ->Unit(benchmark::kNanosecond);
    }
  }
  int benchArgc = static_cast<int>(args.size());
  benchmark::Initialize(&benchArgc, args.data());
  if (benchmark::ReportUnrecognizedArguments(benchArgc, args.data())) {
    removeBenchFiles();
    return 2;
  }
  MedianReporter reporter;
  const size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  removeBenchFiles();
  if (ran == 0) {
    std::fprintf(stderr, "bench: no case ran (a --benchmark_filter that matches none?)\n");
    return 2;
  }

  std::printf(
      "\n\nTimes are medians of the repetitions, the two sides interleaved; noise is the larger\n"
      "coefficient of variation of the two. Ir: instructions per run under callgrind.\n"
      "allocs: heap allocations per run, of the plug-in and of its floor.\n\n");
  std::printf("%-32s %10s %10s %6s %6s  %10s %10s %6s  %6s %5s\n", "case", "plug-in", "floor",
              "ratio", "noise", "plug-in Ir", "floor Ir", "ratio", "allocs", "floor");
  int missed = 0;
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    const std::string plugin = bench.id + std::string(kSides[0]);
    const std::string floor = bench.id + std::string(kSides[1]);
    if (reporter.medians.count(plugin) == 0 || reporter.medians.count(floor) == 0) {
      continue;  // filtered out by --benchmark_filter
    }
    const double pluginNs = reporter.medians[plugin];
    const double floorNs = reporter.medians[floor];
    const double noise = std::max(reporter.variations[plugin], reporter.variations[floor]);
    const double irRatio = irs.empty() ? -1 : irs[plugin] / irs[floor];
    char irRatioText[16] = "n/a";
    if (irRatio >= 0) {
      std::snprintf(irRatioText, sizeof irRatioText, "%.2fx", irRatio);
    }
    std::printf("%-32s %10s %10s %5.2fx %5.1f%%  %10s %10s %6s  %6s %5s\n", bench.name,
                formatTime(pluginNs).c_str(), formatTime(floorNs).c_str(), pluginNs / floorNs,
                100 * noise, formatCount(irs, plugin).c_str(), formatCount(irs, floor).c_str(),
                irRatioText, formatCount(allocs, plugin).c_str(),
                formatCount(allocs, floor).c_str());
    const std::string other =
        bench.relativeTo != nullptr ? bench.relativeTo + std::string(kSides[0]) : "";
    const double relativeRatio =
        reporter.medians.count(other) != 0 ? pluginNs / reporter.medians[other] : -1;
    const std::string targets =
        checkTargets(bench, pluginNs / floorNs, relativeRatio, irRatio, allocs[plugin]);
    missed += targets.find("MISSED") != std::string::npos ? 1 : 0;
    std::printf("%-32s targets: %s\n", "", targets.c_str());
  }
  if (irs.empty()) {
    std::printf("instruction counts: %s\n", why.c_str());
  }
  if (haveDll) {
    const long limit = 64 * 1024;
    std::printf("%s: %ld bytes, stripped (at most %ld): %s\n", dll.c_str(),
                static_cast<long>(dllStat.st_size), limit,
                dllStat.st_size <= limit ? "met" : "MISSED");
    missed += dllStat.st_size <= limit ? 0 : 1;
  } else {
    std::printf("%s: not there, so its size is left out (`make` builds it)\n", dll.c_str());
  }
  std::printf("targets missed: %d\n", missed);
  return 0;
}
