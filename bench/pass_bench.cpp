// Benchmarks of what runs every frame (the protection pass and the toggle phase) and of the
// settings reader, with a count of heap allocations made on the per-frame path.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "common/settings.h"
#include "config/settings_file.h"
#include "input/keys.h"
#include "protection/protection.h"
#include "standin/standin.h"

namespace {
std::atomic<int64_t> allocations{0};
}  // namespace

// Counts every C++ heap allocation in the process, so a benchmark can show that the per-frame path
// makes none.
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

// A world of `peds` living peds (the player among them), with the host's call log off, so that
// what is measured is the plug-in rather than the log.
void prepareWorld(int peds, bool allPeds) {
  standinResetWorld();
  standinSetCallLog(0);
  for (int i = 1; i < peds; ++i) {
    standinAddPed(1);
  }
  settings = Settings{};
  settings.affectAllPeds = allPeds;
}

void reportAllocations(benchmark::State& state, int64_t before) {
  state.counters["allocs/pass"] = benchmark::Counter(
      static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_ProtectionPassAllPeds(benchmark::State& state) {
  prepareWorld(static_cast<int>(state.range(0)), true);
  int64_t before = allocations.load();
  for (auto _ : state) {
    protectionPass();
  }
  reportAllocations(state, before);
  state.counters["native calls/pass"] =
      benchmark::Counter(static_cast<double>(3 * state.range(0)), benchmark::Counter::kDefaults);
}
BENCHMARK(BM_ProtectionPassAllPeds)->Arg(1)->Arg(64)->Arg(256);

void BM_ProtectionPassPlayerOnly(benchmark::State& state) {
  prepareWorld(1, false);
  int64_t before = allocations.load();
  for (auto _ : state) {
    protectionPass();
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_ProtectionPassPlayerOnly);

void BM_TogglePhaseNoRelease(benchmark::State& state) {
  prepareWorld(1, false);
  int64_t before = allocations.load();
  for (auto _ : state) {
    togglePhase();
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_TogglePhaseNoRelease);

const char kDefaultFile[] =
    "# Thank you for downloading Quillmere!\r\n\r\n[Keybind]\r\nenabled=true\r\n"
    "toggle-key=VK_F3\r\n\r\n[Optional]\r\naffect-all-peds=false";

void BM_ApplySettingsDefaultText(benchmark::State& state) {
  for (auto _ : state) {
    applySettingsText(kDefaultFile, sizeof kDefaultFile - 1);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sizeof kDefaultFile - 1));
}
BENCHMARK(BM_ApplySettingsDefaultText);

void BM_ApplySettingsOneMegabyteLine(benchmark::State& state) {
  std::string text = "toggle-key=" + std::string(1 << 20, ' ') + "VK_F5";
  for (auto _ : state) {
    applySettingsText(text.data(), text.size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ApplySettingsOneMegabyteLine);

// The whole reload as the game pays for it every 5 s: open, read, apply, close.
void BM_LoadSettingsFromFile(benchmark::State& state) {
  if (std::FILE* file = std::fopen(kSettingsFileName, "wb")) {
    std::fwrite(kDefaultFile, 1, sizeof kDefaultFile - 1, file);
    std::fclose(file);
  }
  for (auto _ : state) {
    loadSettings();
  }
  std::remove(kSettingsFileName);
}
BENCHMARK(BM_LoadSettingsFromFile);

}  // namespace

BENCHMARK_MAIN();
