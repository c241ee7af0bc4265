// `make bench`: each pass and reload of the plug-in against its floor, measured in the same run:
// times (Google Benchmark, the two sides interleaved), instruction counts (callgrind), heap
// allocations, and the size of the shipped DLL; then one table, with the targets each must meet.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/bench/cases.h"
#include "tools/bench/heap_count.h"
#include "tools/bench/instructions.h"

namespace {

// What each case must meet. A ratio of 0 sets no target on that figure.
struct Target {
  double instructionRatio;
  double timeRatio;
  double milliseconds;  // the plug-in's time
};

const std::map<std::string, Target> kTargets = {
    {"player_only", {1.10, 0, 0}},      {"inactive", {1.25, 0, 0}},
    {"all_peds", {1.10, 0, 0}},         {"reload_default", {0, 1.25, 0}},
    {"reload_comments", {0, 3.0, 6.9}}, {"reload_long_line", {0, 0, 0}},
};
constexpr long kDllSizeLimit = 64 * 1024;

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
  } else if (ns < 1e6) {
    std::snprintf(text, sizeof text, "%.2f us", ns / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
  }
  return text;
}

std::string formatCount(double count) {
  char text[32];
  std::snprintf(text, sizeof text, count < 10 ? "%.2f" : "%.0f", count);
  return text;
}

std::string verdict(bool met) {
  return met ? "met" : "MISSED";
}

// The targets of one case, each with whether it was met.
std::string checkTargets(const Target& target, double timeRatio, double pluginNs,
                         double instructionRatio, bool haveInstructions, double allocations) {
  char text[160];
  std::string out;
  if (target.instructionRatio > 0) {
    std::snprintf(
        text, sizeof text, "instructions <= %.2fx: %s; ", target.instructionRatio,
        haveInstructions ? verdict(instructionRatio <= target.instructionRatio).c_str() : "n/a");
    out += text;
  }
  if (target.timeRatio > 0) {
    std::snprintf(text, sizeof text, "time <= %.2fx: %s; ", target.timeRatio,
                  verdict(timeRatio <= target.timeRatio).c_str());
    out += text;
  }
  if (target.milliseconds > 0) {
    std::snprintf(text, sizeof text, "< %.1f ms: %s; ", target.milliseconds,
                  verdict(pluginNs < target.milliseconds * 1e6).c_str());
    out += text;
  }
  return out + "no allocation: " + verdict(allocations == 0);
}

// Allocations per run of each side, counted over the case's counted runs after a first run.
double allocationsPerRun(const BenchCase& bench, void (*run)()) {
  bench.prepare();
  run();
  const int64_t before = heapAllocations();
  for (int i = 0; i < bench.countedRuns; ++i) {
    run();
  }
  return static_cast<double>(heapAllocations() - before) / bench.countedRuns;
}

std::string selfPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--count-instructions") == 0) {
    return runInstructionCounting();
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
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    kBenchCases[i].prepare();
    if (const char* wrong = kBenchCases[i].check()) {
      std::fprintf(stderr, "bench: %s: %s\n", kBenchCases[i].name, wrong);
      removeBenchFiles();
      return 2;
    }
  }
  std::map<std::string, double> allocations;
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    allocations[std::string(bench.id) + "/plug-in"] = allocationsPerRun(bench, bench.plugin);
    allocations[std::string(bench.id) + "/floor"] = allocationsPerRun(bench, bench.floor);
  }

  InstructionCounts counts;
  counts.why = "left out (--no-instructions)";
  if (instructions) {
    std::fprintf(stderr, "Counting instructions under callgrind...\n");
    counts = countInstructions(selfPath());
  }

  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase* bench = &kBenchCases[i];
    for (bool floor : {false, true}) {
      const std::string name = std::string(bench->id) + (floor ? "/floor" : "/plug-in");
      benchmark::RegisterBenchmark(name.c_str(), runCase, bench, floor)
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
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  removeBenchFiles();

  std::printf(
      "\n\nTimes are medians of the repetitions, the two sides interleaved; noise is the larger\n"
      "coefficient of variation of the two. Ir: instructions per run under callgrind.\n"
      "allocs: heap allocations per run, of the plug-in and of its floor.\n\n");
  std::printf("%-32s %10s %10s %6s %6s  %10s %10s %6s  %6s %5s\n", "case", "plug-in", "floor",
              "ratio", "noise", "plug-in Ir", "floor Ir", "ratio", "allocs", "floor");
  int missed = 0;
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    const std::string id = bench.id;
    if (reporter.medians.count(id + "/plug-in") == 0 ||
        reporter.medians.count(id + "/floor") == 0) {
      continue;  // filtered out by --benchmark_filter
    }
    const double pluginNs = reporter.medians[id + "/plug-in"];
    const double floorNs = reporter.medians[id + "/floor"];
    const double pluginIr = counts.available ? counts.perRun[id + "/plug-in"] : 0;
    const double floorIr = counts.available ? counts.perRun[id + "/floor"] : 0;
    const double irRatio = counts.available ? pluginIr / floorIr : 0;
    const double pluginAllocs = allocations[id + "/plug-in"];
    const double noise =
        std::max(reporter.variations[id + "/plug-in"], reporter.variations[id + "/floor"]);
    char irRatioText[16] = "n/a";
    if (counts.available) {
      std::snprintf(irRatioText, sizeof irRatioText, "%.2fx", irRatio);
    }
    std::printf("%-32s %10s %10s %5.2fx %5.1f%%  %10s %10s %6s  %6s %5s\n", bench.name,
                formatTime(pluginNs).c_str(), formatTime(floorNs).c_str(), pluginNs / floorNs,
                100 * noise, counts.available ? formatCount(pluginIr).c_str() : "n/a",
                counts.available ? formatCount(floorIr).c_str() : "n/a", irRatioText,
                formatCount(pluginAllocs).c_str(), formatCount(allocations[id + "/floor"]).c_str());
    const std::string targets = checkTargets(kTargets.at(id), pluginNs / floorNs, pluginNs, irRatio,
                                             counts.available, pluginAllocs);
    missed += targets.find("MISSED") != std::string::npos ? 1 : 0;
    std::printf("%-32s targets: %s\n", "", targets.c_str());
  }
  if (!counts.available) {
    std::printf("instruction counts: %s\n", counts.why.c_str());
  }
  if (haveDll) {
    std::printf("%s: %ld bytes, stripped (at most %ld): %s\n", dll.c_str(),
                static_cast<long>(dllStat.st_size), kDllSizeLimit,
                verdict(dllStat.st_size <= kDllSizeLimit).c_str());
    missed += dllStat.st_size <= kDllSizeLimit ? 0 : 1;
  } else {
    std::printf("%s: not there, so its size is left out (`make` builds it)\n", dll.c_str());
  }
  std::printf("targets missed: %d\n", missed);
  return 0;
}
