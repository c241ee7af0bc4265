// What the operating system provides in the native build: the tick count the plug-in reads, and
// "loading" the plug-in, which is linked into the same program, by calling its entry point.
#include <atomic>

#include "tools/standin/internal.h"
#include "tools/standin/standin.h"

// The plug-in's entry point, called as Windows calls a DLL's.
extern "C" int DllMain(void* module, uint32_t reason, void* reserved);

namespace {
std::atomic<uint32_t> tickCount{0};
std::atomic<int64_t> tickCountReads{0};
// Stands for the module handle Windows would pass: any distinct address will do.
char moduleImage;
bool loaded = false;
}  // namespace

extern "C" uint32_t GetTickCount() {
  tickCountReads.fetch_add(1, std::memory_order_relaxed);
  return tickCount.load(std::memory_order_relaxed);
}

void clockAdvance(uint32_t ms) {
  tickCount.fetch_add(ms, std::memory_order_relaxed);
}

extern "C" {

void standinSetTickCount(uint32_t ms) {
  tickCount.store(ms, std::memory_order_relaxed);
}
void standinAdvanceTickCount(uint32_t ms) {
  clockAdvance(ms);
}
int64_t standinTickCountReads(void) {
  return tickCountReads.load(std::memory_order_relaxed);
}

int32_t standinLoadPlugin(const char* /*path*/) {
  if (loaded) {
    return 0;
  }
  loaded = true;
  DllMain(&moduleImage, 1, nullptr);
  return 1;
}

void standinUnloadPlugin(void) {
  if (!loaded) {
    return;
  }
  DllMain(&moduleImage, 0, nullptr);
  loaded = false;
}

}  // extern "C"
