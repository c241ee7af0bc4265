// What `make bench` measures: each case is one run of the plug-in (a pass, or a reload) and its
// floor, the same host calls or the same file reading with nothing around them.
#pragma once

#include <cstddef>

struct BenchCase {
  const char* name;   // as the table shows it
  const char* id;     // for benchmark and dump names
  void (*prepare)();  // the world, the settings and the current directory the runs need
  void (*plugin)();   // one run of the plug-in
  void (*floor)();    // one run of its floor
  // After one run of the plug-in from `prepare`: what is wrong with what it did, or null.
  const char* (*check)();
  int countedRuns;  // runs over which instructions and allocations are counted
  // The targets, each plug-in against floor; 0 sets none.
  double instructionRatio;
  double timeRatio;
  // And the plug-in's time against its time in another case (by id), when one is named.
  const char* relativeTo;
  double relativeRatio;
};

extern const BenchCase kBenchCases[];
extern const size_t kBenchCaseCount;

// Writes the settings files the reload cases read into a fresh temporary directory, and enters
// it. Returns false when that cannot be done.
bool prepareBenchFiles();
// Leaves the temporary directory and removes it.
void removeBenchFiles();
