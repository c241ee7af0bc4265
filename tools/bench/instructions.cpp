// Instruction counts of each case: this program runs itself under callgrind with collection off,
// and switches it on around the counted runs only; each case's count is dumped to a file of its
// own, named after the case, and the parent reads the files back.
#include "tools/bench/instructions.h"

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/bench/cases.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define QUILLMERE_HAVE_CALLGRIND 1
#endif

namespace {

const char* const kLoopId = "loop";  // the counting loop around an empty run

void nothing() {}

#if defined(QUILLMERE_HAVE_CALLGRIND)
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
#endif

// "summary: N" and "desc: Trigger: Client Request: NAME" lines of one dump.
bool readDump(const std::filesystem::path& path, std::string* name, double* total) {
  std::ifstream in(path);
  const std::string trigger = "desc: Trigger: Client Request: ";
  const std::string summary = "summary: ";
  bool haveName = false;
  bool haveTotal = false;
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, trigger.size(), trigger) == 0) {
      *name = line.substr(trigger.size());
      haveName = true;
    } else if (line.compare(0, summary.size(), summary) == 0) {
      *total = std::strtod(line.c_str() + summary.size(), nullptr);
      haveTotal = true;
    }
  }
  return haveName && haveTotal;
}

}  // namespace

int runInstructionCounting() {
#if defined(QUILLMERE_HAVE_CALLGRIND)
  if (!prepareBenchFiles()) {
    return 2;
  }
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    const std::string id = bench.id;
    bench.prepare();
    countRuns(id + "/plug-in", bench.plugin, bench.countedRuns);
    bench.prepare();
    countRuns(id + "/floor", bench.floor, bench.countedRuns);
    countRuns(id + "/" + kLoopId, nothing, bench.countedRuns);
  }
  removeBenchFiles();
  return 0;
#else
  return 3;
#endif
}

InstructionCounts countInstructions(const std::string& self) {
  InstructionCounts counts;
#if !defined(QUILLMERE_HAVE_CALLGRIND)
  counts.why = "built without valgrind/callgrind.h (Debian's valgrind package)";
  return counts;
#else
  if (std::system("command -v valgrind >/dev/null 2>&1") != 0) {
    counts.why = "valgrind is not installed (Debian's valgrind package)";
    return counts;
  }
  char pattern[] = "/tmp/quillmere-callgrind-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    counts.why = "no temporary directory for callgrind's files";
    return counts;
  }
  const std::string dir = pattern;
  const std::string command =
      "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + dir + "/out '" +
      self + "' --count-instructions >" + dir + "/log 2>&1";
  const int status = std::system(command.c_str());
  std::map<std::string, double> totals;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    std::string name;
    double total = 0;
    if (readDump(entry.path(), &name, &total)) {
      totals[name] = total;
    }
  }
  std::filesystem::remove_all(dir, error);
  if (status != 0) {
    counts.why = "the run under callgrind failed";
    return counts;
  }
  for (size_t i = 0; i < kBenchCaseCount; ++i) {
    const BenchCase& bench = kBenchCases[i];
    const std::string id = bench.id;
    const auto loop = totals.find(id + "/" + kLoopId);
    for (const char* side : {"/plug-in", "/floor"}) {
      const auto found = totals.find(id + side);
      if (found == totals.end() || loop == totals.end()) {
        counts.why = "callgrind left no count for " + id + side;
        return counts;
      }
      counts.perRun[id + side] = (found->second - loop->second) / bench.countedRuns;
    }
  }
  counts.available = true;
  return counts;
#endif
}
